#pragma once
// The drawable scenes of one session, each registered under a scene key (a canvas key).
#include <memory>
#include <string>
#include <vector>

#include "kvg/GenericWindowResourceManager.h"

namespace kvg {

class DrawableScene;
class DrawableSession;

class DrawableScenes {
 public:
  explicit DrawableScenes(DrawableSession& session);
  ~DrawableScenes();
  DrawableScenes(const DrawableScenes&) = delete;
  DrawableScenes& operator=(const DrawableScenes&) = delete;

  // The scenes registered under the key, in creation order; empty when there is none.
  std::vector<DrawableScene*> hasScene(const std::string& key) const;
  // A new scene under the key, drawing into the manager's window. The session owns the scene
  // and the scene owns the manager (which may be null for a scene without a window).
  DrawableScene* createScene(GenericWindowResourceManager* windowResources, const std::string& key);
  DrawableScene* createScene(std::unique_ptr<GenericWindowResourceManager> windowResources, const std::string& key);
  bool removeScene(DrawableScene* scene);
  void clear();

  std::vector<DrawableScene*> getScenes() const;
  size_t size() const { return _scenes.size(); }

 private:
  DrawableSession& _session;
  std::vector<std::unique_ptr<DrawableScene>> _scenes;
};

}  // namespace kvg
