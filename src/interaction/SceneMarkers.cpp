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
#include "SceneViewSettings.h"
#include "SeedMarker.h"
#include "VRInteractionState.h"
#include "VolumeRenderingManager.h"
#include "VolumeRepresentation.h"
#include "kvg/DrawableScene.h"
#include "kvg/OpenGLRenderer.h"
#include "kvg/SceneCanvasRenderer.h"
#include "ToolGeometry.h"

namespace {
// The poly-data mappers clip with at most six planes, whatever the driver offers.
constexpr GLint kMapperClipPlaneLimit = 6;
}  // namespace

namespace {

// Marker lists follow the source's: surplus entries leave the renderer, entries the target
// already has take the source's shape, missing ones (and empty ones left while there was no
// renderer) are built in the renderer, or stay empty without one. An empty source entry (left
// the same way in the other buffer) has no shape to give and is skipped.
template <typename Marker, typename List, typename Copy, typename Create>
void followMarkers(List& target, const List& source, vtkRenderer* renderer, Copy copy, Create create) {
  const size_t n = source.size();
  for (size_t i = n; i < target.size(); ++i)
    if (target[i].isValid()) target[i]->removeFromRenderer(renderer);
  if (target.size() > n) target.erase(target.begin() + n, target.end());
  target.resize(n);
  for (size_t i = 0; i < n; ++i) {
    if (source[i].isNull()) continue;
    const Marker& from = source[i].template cast<Marker>();
    if (target[i].isValid()) {
      copy(*target[i], from);
    } else if (renderer) {
      kvg::Ptr<Marker> marker(new Marker());
      create(*marker, renderer, from);
      target[i] = marker;
    }
  }
}

vtkRenderer* modelRendererOf(kvg::DrawableScene& scene) {
  kvg::SceneCanvasRenderer* model = scene.hasModelRenderer();
  return model ? model->getVTKRenderer() : nullptr;
}

}  // namespace

void CreateMarkers(VRInteractionState& destination, const VRInteractionState& source, kvg::DrawableScene& scene) {
  if (&destination == &source) return;
  OpenVRRenderWindow* window = OpenVRRenderWindow::SafeDownCast(scene.getRenderWindow());
  vtkRenderer* renderer = modelRendererOf(scene);

  followMarkers<SeedMarker>(
      destination.seedMarkers, source.seedMarkers, renderer,
      [](SeedMarker& to, const SeedMarker& from) { to.copyShapeFrom(from); },
      [](SeedMarker& to, vtkRenderer* r, const SeedMarker& from) { to.createFrom(r, from); });
  const std::array<double, 3> color = GetConfigVector3("seedMarkerRGB", {0.0, 0.37255, 0.52941});
  for (const auto& marker : destination.seedMarkers)
    if (marker.isValid()) marker->setColor(color.data());

  vtkRenderer* models = window ? window->GetLayerRenderer(OpenVRRenderWindow::ModelLayer) : nullptr;
  while (destination.isoValueMarkers.size() < source.isoValueMarkers.size()) {
    const kvg::Ptr<IsoValueMarker>& from = source.isoValueMarkers[destination.isoValueMarkers.size()];
    kvg::Ptr<IsoValueMarker> marker;
    if (from.isNull()) {
      marker = IsoValueMarker::create(models);
    } else {
      marker = new IsoValueMarker();
      marker->buildLike(models, *from);
    }
    marker->setVisibility(false);
    destination.isoValueMarkers.push_back(marker);
  }

  // The markers draw this buffer's textures: one rendered in both windows would have its GL
  // wrapper released through the other buffer's context, which another thread may own.
  const auto& textures = destination.planeSectionTextures;
  vtkTexture* normalLook = textures.size() > 0 ? textures[0].GetPointer() : nullptr;
  vtkTexture* highlighted = textures.size() > 1 ? textures[1].GetPointer() : nullptr;
  followMarkers<ClipMarker>(
      destination.planeSectionMarkers, source.planeSectionMarkers, renderer,
      [](ClipMarker& to, const ClipMarker& from) { to.setGeometryAlt(from); },
      [&](ClipMarker& to, vtkRenderer* r, const ClipMarker& from) { to.createFrom(r, from, normalLook, highlighted); });
}

void CreateSeedMarkersFromParticles(VRInteractionState& state, kvg::DrawableScene& scene) {
  // Seeds placed in the other buffer's session, or handed over with its particles, get their
  // markers here: the seed list and the marker list stay index for index.
  vtkRenderer* renderer = modelRendererOf(scene);
  kvg::DrawableSession* session = scene.getSession();
  if (!session) return;
  const std::vector<kvg::Point3> seeds = kvg::ParticleAdvectionManager::getSingleton(session).getSeedPositions();
  for (size_t i = state.seedMarkers.size(); renderer && i < seeds.size(); ++i) {
    const double centre[3] = {seeds[i][0], seeds[i][1], seeds[i][2]};
    double flow[3];
    if (!probeParticleDirection(centre, flow, session)) flow[0] = flow[1] = flow[2] = 0.0;
    double height = 0.0, angle = 0.0;
    GetSeedMarkerShape(state, flow, height, angle);
    double against[3] = {-flow[0], -flow[1], -flow[2]};
    if (Normalize3(against) == 0.0) against[0] = -1.0;
    kvg::Ptr<SeedMarker> marker(new SeedMarker());
    marker->createActor(renderer, centre, against, height, angle);
    state.seedMarkers.push_back(marker);
  }
  refreshSeedMarkerShapes(state, session);
}

void refreshSeedMarkerShapes(VRInteractionState& state, kvg::DrawableSession* session) {
  if (!session) return;
  for (const auto& marker : state.seedMarkers) {
    if (!marker.isValid()) continue;
    const double* p = marker->getCenter();
    double flow[3];
    if (!probeParticleDirection(p, flow, session)) continue;
    double height = 0.0, angle = 0.0;
    GetSeedMarkerShape(state, flow, height, angle);
    double n[3] = {-flow[0], -flow[1], -flow[2]};
    Normalize3(n);
    const double centre[3] = {p[0], p[1], p[2]};
    marker->setShape(centre, n, height, angle);
  }
}

void ApplyIsoValues(VRInteractionState& state, kvg::DrawableScene& scene, const SceneViewSettings& settings) {
  if (kvg::isNoValue(state.interactiveIsoValue)) state.colorBarPosition = 0.5;
  kvg::VolumeRenderingManager& volumes = kvg::VolumeRenderingManager::getSingleton(scene.getSession());
  kvg::IsoValueList values(state.persistentIsoValues.begin(), state.persistentIsoValues.end());
  values.insert(values.end(), state.peerIsoValues.begin(), state.peerIsoValues.end());
  volumes.setPersistentIsoValues(values);
  volumes.setInteractiveIsoValue(kvg::IsoValue(state.interactiveIsoField, state.interactiveIsoValue));
  const int hand = settings.swapLeftRight ? 1 : 0;
  const ControllerInput& input = state.controllerInputs[hand];
  for (const auto& marker : state.isoValueMarkers)
    if (marker.isValid() && marker->getVisibility())
      marker->updateTransform(state.modelMatrix, input.pose, input.position);
  if (state.interactiveIsoMarker.isValid() && state.interactiveIsoMarker->getVisibility()) {
    state.interactiveIsoMarker->computeToolOffset(0.0, input, hand);
    state.interactiveIsoMarker->updateTransform(state.modelMatrix, input.pose, input.position);
  }
}

void SetInteractiveIsoValue(VRInteractionState& state, kvg::DrawableScene& scene, vtkRenderer* renderer, bool on) {
  if (on) {
    state.handleColorBarTool(1, 0, renderer, scene);
    state.handleColorBarTool(0, 0, renderer, scene);
  } else {
    state.interactiveIsoField.clear();
    state.interactiveIsoValue = kvg::NoValue;
  }
  const ControllerInput& input = state.controllerInputs[1];
  auto show = [&](IsoValueMarker& marker) {
    marker.setVisibility(on);
    if (on) marker.updateTransform(state.modelMatrix, input.pose, input.position);
  };
  if (state.interactiveIsoMarker.isValid()) show(*state.interactiveIsoMarker);
  for (const auto& marker : state.isoValueMarkers)
    if (marker.isValid()) show(*marker);
  state.avatarGroup.setIsoMarkersVisible(on);
  kvg::VolumeRenderingManager::getSingleton(scene.getSession())
      .setInteractiveIsoValue(kvg::IsoValue(state.interactiveIsoField, state.interactiveIsoValue));
}

void SetInteractivePlaneSection(VRInteractionState& state, kvg::DrawableScene& scene, vtkRenderer* renderer,
                                const SceneViewSettings& settings, bool on) {
  if (on)
    state.handlePlaneSectionTool(0, 0, renderer, scene, settings);
  else
    state.interactivePlaneSection.setOrigin(kvg::NoValue, kvg::NoValue, kvg::NoValue);
  kvg::VolumeRenderingManager::getSingleton(scene.getSession()).setInteractivePlaneSection(state.interactivePlaneSection);
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
  const std::array<double, 3> volumeColor = GetConfigVector3("volumeBoundsRGB", {0.0, 0.37255, 0.52941});
  for (const auto& box : bounds) {
    kvg::Ptr<VolumeRepresentation> representation(new VolumeRepresentation());
    representation->build(renderer, box.data(), 0.005, false);
    representation->setColor(volumeColor.data());
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
