// The analysis managers as services of a drawable session: one of each per session, fed with
// the session's volume drawables at every scene update and drawn in the scenes' model
// renderers.
#include "ParticleAdvectionManager.h"
#include "VolumeRenderingManager.h"

#include "InternalError.h"
#include "kvg/BaseAttributes.h"
#include "kvg/CollectionNode.h"
#include "kvg/DrawableScene.h"
#include "kvg/DrawableSession.h"
#include "kvg/SceneCanvas.h"
#include "kvg/SceneCanvasRenderer.h"
#include "kvg/SessionExtension.h"
#include "kvg/VolumeDrawable.h"

#include <map>

namespace kvg {

namespace {

const char* const kVolumeRenderingName = "VolumeRenderingManager";
const char* const kParticleAdvectionName = "ParticleAdvectionManager";

// The visible volume drawables of the scene's canvas, nested collections included.
std::vector<VolumeSource> CollectVolumes(DrawableScene& scene) {
  std::vector<VolumeSource> volumes;
  SceneCanvas* canvas = scene.getSceneCanvas();
  if (!canvas) return volumes;
  CollectionNode::Iterator it(*canvas->getDrawables());
  while (it.traverse()) {
    auto* drawable = it.getNode().tryCast<VolumeDrawable>();
    if (!drawable) continue;
    BaseAttributes* base = drawable->hasBaseAttributes();
    if (base && !base->getVisibility()) continue;
    ImageDataNode* node = drawable->getImageDataNode();
    if (!node || node->getImageData()->GetNumberOfPoints() == 0) continue;
    VolumeSource v;
    v.name = drawable->getName();
    v.data = node->getImageData();
    v.scalarName = node->getScalarArrayName();
    v.vectorName = node->getVectorArrayName();
    if (base) {
      v.colorMap = base->getColorMap();
      v.hasScalarRange = base->hasScalarRange();
      base->getScalarRange(v.scalarRange);
    }
    if (VolumeRenderingAttributes* rendering = drawable->hasVolumeRenderingAttributes()) {
      v.colorMap = rendering->getColorMap();
      v.opacity = rendering->getOpacity();
      v.isoSurfaceMode = rendering->getRenderingMode() == VolumeRenderingAttributes::IsoSurfaces;
    }
    if (IsoSurfaceAttributes* iso = drawable->hasIsoSurfaceAttributes()) {
      for (double value : iso->getIsoValues()) v.sceneIsoValues.emplace_back(iso->getFieldName(), value);
    }
    volumes.push_back(v);
  }
  return volumes;
}

class VolumeRenderingService : public SessionExtension {
 public:
  explicit VolumeRenderingService(DrawableSession&) {}

  // Updater thread, the scene's context current.
  void sceneUpdated(DrawableScene& scene) override {
    manager.setSceneVolumes(&scene, CollectVolumes(scene));
    if (SceneCanvasRenderer* model = scene.hasModelRenderer()) {
      manager.attachRenderer(model->getVTKRenderer(), &scene, model->getClippingPlanes());
      // The volumes' props exist from now on, so the tools find them before the first render.
      manager.prepareRenderer(model->getVTKRenderer());
    }
  }

  void sceneRemoved(DrawableScene& scene) override {
    if (SceneCanvasRenderer* model = scene.hasModelRenderer()) manager.detachRenderer(model->getVTKRenderer());
    manager.removeScene(&scene);
  }

  VolumeRenderingManager manager;
};

class ParticleAdvectionService : public SessionExtension {
 public:
  explicit ParticleAdvectionService(DrawableSession&) {}

  // Updater thread.
  void sceneUpdated(DrawableScene& scene) override {
    _volumes[&scene] = CollectVolumes(scene);
    publish();
  }

  void sceneRemoved(DrawableScene& scene) override {
    _volumes.erase(&scene);
    publish();
  }

  ParticleAdvectionManager manager;

 private:
  void publish() {
    std::vector<VolumeSource> all;
    for (const auto& entry : _volumes) all.insert(all.end(), entry.second.begin(), entry.second.end());
    manager.setVolumes(all);
  }

  std::map<const DrawableScene*, std::vector<VolumeSource>> _volumes;
};

}  // namespace

VolumeRenderingManager& VolumeRenderingManager::getSingleton(DrawableSession& session) {
  return session.getOrCreateExtension<VolumeRenderingService>(kVolumeRenderingName).manager;
}

VolumeRenderingManager& VolumeRenderingManager::getSingleton(DrawableSession* session) {
  INTERNAL_CHECK(session != nullptr, "DrawableSession can't be null", "VolumeRenderingManager");
  return getSingleton(*session);
}

std::vector<std::array<double, 6>> VolumeRenderingManager::getBounds(DrawableScene& scene) const {
  return getSceneBounds(&scene);
}

VolumeRenderingManager::ClosestProp VolumeRenderingManager::findClosestProp(const double p[3], DrawableScene& scene) const {
  SceneCanvasRenderer* model = scene.hasModelRenderer();
  return findClosestProp(p, model ? model->getVTKRenderer() : nullptr);
}

ParticleAdvectionManager& ParticleAdvectionManager::getSingleton(DrawableSession& session) {
  return session.getOrCreateExtension<ParticleAdvectionService>(kParticleAdvectionName).manager;
}

ParticleAdvectionManager& ParticleAdvectionManager::getSingleton(DrawableSession* session) {
  INTERNAL_CHECK(session != nullptr, "DrawableSession can't be null", "ParticleAdvectionManager");
  return getSingleton(*session);
}

}  // namespace kvg
