#include "SceneMarkers.h"

#include <vtk_glew.h>

#include <algorithm>

#include <vtkImageData.h>  // OpenVRRenderWindow.h uses it without including it

#include "ClipMarker.h"
#include "Configuration.h"
#include "IconTextureCache.h"
#include "IsoValueMarker.h"
#include "OpenVRRenderWindow.h"
#include "ParticleAdvectionManager.h"
#include "SeedMarker.h"
#include "VRInteractionState.h"
#include "VolumeRenderingManager.h"
#include "VolumeRepresentation.h"
#include "kvg/DrawableScene.h"
#include "kvg/OpenGLRenderer.h"

namespace {
// The poly-data mappers clip with at most six planes, whatever the driver offers.
constexpr GLint kMapperClipPlaneLimit = 6;
}  // namespace

void CreateMarkers(VRInteractionState& destination, const VRInteractionState& source, kvg::DrawableScene& scene) {
  // Markers are made only by the seed, clip, plane-section and iso-value tools; the iso-value
  // markers a source grew are grown here too, so both buffers can show the same values.
  OpenVRRenderWindow* window = OpenVRRenderWindow::SafeDownCast(scene.getRenderWindow());
  vtkRenderer* models = window ? window->GetLayerRenderer(OpenVRRenderWindow::ModelLayer) : nullptr;
  while (destination.isoValueMarkers.size() < source.isoValueMarkers.size())
    destination.isoValueMarkers.push_back(IsoValueMarker::create(models));
}

void CreateSeedMarkersFromParticles(VRInteractionState& state, kvg::DrawableSession* session) {
  // Seed markers exist exactly for the seeds the seed tool placed; seeds of other origins get
  // theirs from the tool that adds them.
}

void ApplyIsoValues(VRInteractionState& state, kvg::DrawableScene& scene, const SceneViewSettings& settings) {
  kvg::VolumeRenderingManager& volumes = kvg::VolumeRenderingManager::getSingleton(scene.getSession());
  kvg::IsoValueList values(state.persistentIsoValues.begin(), state.persistentIsoValues.end());
  values.insert(values.end(), state.peerIsoValues.begin(), state.peerIsoValues.end());
  volumes.setPersistentIsoValues(values);
  volumes.setInteractiveIsoValue(kvg::IsoValue(state.interactiveIsoField, state.interactiveIsoValue));
}

void SetInteractiveIsoValue(VRInteractionState& state, kvg::DrawableScene& scene, const kvg::IsoValue* value) {
  kvg::VolumeRenderingManager::getSingleton(scene.getSession())
      .setInteractiveIsoValue(value ? *value : kvg::IsoValue(std::string(), kvg::NoValue));
  if (state.interactiveIsoMarker.isValid()) state.interactiveIsoMarker->setVisibility(value != nullptr);
}

void SetInteractivePlaneSection(VRInteractionState& state, kvg::DrawableScene& scene,
                                const kvg::SimplePlaneSection* section) {
  kvg::VolumeRenderingManager::getSingleton(scene.getSession())
      .setInteractivePlaneSection(section ? *section : kvg::SimplePlaneSection());
}

void CreateClipToolVisual(VRInteractionState& state, OpenVRRenderWindow* window) {
  if (!state.clipMarkerPool.empty() || !window) return;
  GLint planes = 0;
  glGetIntegerv(GL_MAX_CLIP_PLANES, &planes);
  planes = std::max<GLint>(0, std::min(planes, kMapperClipPlaneLimit));
  state.maxClipPlanes = planes;
  std::vector<vtkSmartPointer<OpenVRTexture>> textures;
  if (state.iconCache) {
    const std::string assets = getVRAssetsDir();
    state.iconCache->getTextureEx({assets + "clip2.png", assets + "clip_bw2.png"}, textures, 2);
  }
  vtkTexture* normal = textures.size() > 0 ? static_cast<vtkTexture*>(textures[0]) : nullptr;
  vtkTexture* highlighted = textures.size() > 1 ? static_cast<vtkTexture*>(textures[1]) : nullptr;
  vtkRenderer* widgets = window->GetLayerRenderer(OpenVRRenderWindow::WidgetLayer);
  // A unit square in the x-z plane until the clip tool places it.
  const double center[3] = {0.0, 0.0, 0.0}, up[3] = {1.0, 0.0, 0.0}, right[3] = {0.0, 0.0, 1.0};
  for (GLint i = 0; i < planes; ++i) {
    kvg::Ptr<ClipMarker> marker(new ClipMarker());
    marker->createTextured(widgets, center, up, right, 1.0, normal, highlighted);
    marker->setVisibility(false);
    state.clipMarkerPool.push_back(marker);
  }
}

bool refreshVolumeRepresentations(VRInteractionState& state, vtkRenderer* renderer, kvg::DrawableScene& scene) {
  if (!renderer) return false;
  const std::vector<std::array<double, 6>> bounds =
      kvg::VolumeRenderingManager::getSingleton(scene.getSession()).getBounds(scene);
  bool same = bounds.size() == state.volumeRepresentations.size();
  for (size_t i = 0; same && i < bounds.size(); ++i)
    same = std::equal(bounds[i].begin(), bounds[i].end(), state.volumeRepresentations[i]->getBounds());
  if (same) return true;
  for (const auto& box : state.volumeRepresentations) box->removeFromRenderer(renderer);
  state.volumeRepresentations.clear();
  for (const auto& box : bounds) {
    kvg::Ptr<VolumeRepresentation> representation(new VolumeRepresentation());
    representation->build(renderer, box.data(), 0.005, false);
    state.volumeRepresentations.push_back(representation);
  }
  return true;
}

void clearIsoValueMarkers(VRInteractionState& state, OpenVRRenderWindow* window) {
  vtkRenderer* models = window ? window->GetLayerRenderer(OpenVRRenderWindow::ModelLayer) : nullptr;
  for (const auto& marker : state.isoValueMarkers)
    if (marker.isValid()) marker->removeFromRenderer(models);
  std::deque<kvg::Ptr<IsoValueMarker>>().swap(state.isoValueMarkers);
}

bool probeParticleDirection(const double point[3], double direction[3], kvg::DrawableSession* session) {
  direction[0] = 1.0;
  direction[1] = direction[2] = 0.0;
  if (!session) return false;
  const kvg::ParticleAdvectionManager& particles = kvg::ParticleAdvectionManager::getSingleton(session);
  if (!particles.checkInsideResampledVolume(point)) return false;
  particles.getDirection(point, direction);
  return !(kvg::isNoValue(direction[0]) || kvg::isNoValue(direction[1]) || kvg::isNoValue(direction[2]));
}
