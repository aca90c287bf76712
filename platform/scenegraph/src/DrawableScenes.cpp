#include "kvg/DrawableScenes.h"

#include "kvg/DrawableScene.h"
#include "kvg/DrawableSession.h"

namespace kvg {

DrawableScenes::DrawableScenes(DrawableSession& session) : _session(session) {}

DrawableScenes::~DrawableScenes() { clear(); }

std::vector<DrawableScene*> DrawableScenes::hasScene(const std::string& key) const {
  std::vector<DrawableScene*> out;
  for (const auto& s : _scenes)
    if (s->getKey() == key) out.push_back(s.get());
  return out;
}

DrawableScene* DrawableScenes::createScene(GenericWindowResourceManager* windowResources, const std::string& key) {
  return createScene(std::unique_ptr<GenericWindowResourceManager>(windowResources), key);
}

DrawableScene* DrawableScenes::createScene(std::unique_ptr<GenericWindowResourceManager> windowResources,
                                           const std::string& key) {
  _scenes.push_back(std::make_unique<DrawableScene>(_session, std::move(windowResources), key));
  return _scenes.back().get();
}

bool DrawableScenes::removeScene(DrawableScene* scene) {
  for (auto it = _scenes.begin(); it != _scenes.end(); ++it)
    if (it->get() == scene) {
      for (SessionExtension* e : _session.getExtensions()) e->sceneRemoved(*scene);
      _scenes.erase(it);
      return true;
    }
  return false;
}

void DrawableScenes::clear() {
  // Newest first, so a scene never outlives one made before it.
  while (!_scenes.empty()) _scenes.pop_back();
}

std::vector<DrawableScene*> DrawableScenes::getScenes() const {
  std::vector<DrawableScene*> out;
  for (const auto& s : _scenes) out.push_back(s.get());
  return out;
}

}  // namespace kvg
