#include "VRInteractionState.h"

#include <cstring>

#include <vtkCamera.h>
#include <vtkPlane.h>
#include <vtkRenderer.h>
#include <vtkTransform.h>

#include "ClipMarker.h"
#include "IsoValueMarker.h"
#include "OpenVRCamera.h"
#include "OpenVRTexture.h"
#include "ParticleAdvectionManager.h"
#include "RenderLock.h"
#include "SceneMarkers.h"
#include "SceneViewSettings.h"
#include "SeedMarker.h"
#include "VolumeRenderingManager.h"
#include "VolumeRepresentation.h"
#include "kvg/DrawableScene.h"
#include "kvg/DrawableSession.h"
#include "kvg/IsoSurfaceAttributes.h"
#include "kvg/Plane.h"
#include "kvg/SceneCanvas.h"
#include "kvg/SceneCanvasRenderer.h"
#include "kvg/VolumeRenderingAttributes.h"

VRInteractionState::VRInteractionState(IconTextureCache* iconCache)
    : modelScale(1.0),
      particleStepScale(1.0),
      particleRadiusScale(1.0),
      sceneClipPlaneCount(0),
      maxClipPlanes(0),
      updatingFrameCount(0),
      frameCounter(0),
      camera(OpenVRCamera::New()),
      modelTransform(vtkTransform::New()),
      interactiveIsoValue(0.0),
      flyMode(false),
      hudShown(true),
      viewResetLatch(false),
      floorShown(true),
      sceneBoundsValid(false),
      handsSwapped(false),
      colorBarPosition(0.0),
      smallestSceneSide(1.0),
      largestSceneSide(1.0),
      medianParticleSpeed(1.0),
      frameTime(20.0),
      frameTimeFactor(1.0),
      hudDistance(1.0),
      iconCache(iconCache),
      isoMarkerLimit(10),
      sceneIsoValueCount(0),
      avatarGroup(iconCache) {
  std::memset(headRotation, 0, sizeof(headRotation));
  std::memset(headPosition, 0, sizeof(headPosition));
  std::memset(modelMatrix, 0, sizeof(modelMatrix));
  std::memset(sceneCameraOrientation, 0, sizeof(sceneCameraOrientation));
}

VRInteractionState::~VRInteractionState() {
  modelTransform->Delete();
  camera->Delete();
}

void VRInteractionState::syncFrom(VRInteractionState& source, kvg::DrawableScene& scene,
                                  const SceneViewSettings& settings, int startIndex) {
  copyStateFrom(source);
  CreateMarkers(*this, source, scene);
  CreateSeedMarkersFromParticles(*this, scene);
  if (source.sceneBoundsValid) {
    modelScale = source.modelScale;
    updateHmdProjection(camera, modelScale);
    UpdatePointRadii(*this, scene.getSession());
  }
  widgetManager.syncFrom(source.widgetManager, scene, settings, startIndex);
}

void VRInteractionState::copyStateFrom(const VRInteractionState& source) {
  const bool self = &source == this;
  for (int hand = 0; hand < 2; ++hand) toolSets[hand].copyFrom(source.toolSets[hand], 0, 0);
  environment.copyStateFrom(source.environment);
  copyPropVisibility(overlays[HudPanel], source.overlays[HudPanel]);
  copyPropVisibility(overlays[UpdatingIcon], source.overlays[UpdatingIcon]);
  hudMessage.copyFrom(source.hudMessage);
  frameCounter = source.frameCounter;
  updatingFrameCount = 0;
  if (!self) std::memcpy(controllerInputs, source.controllerInputs, sizeof(controllerInputs));
  std::memmove(headRotation, source.headRotation, sizeof(headRotation));
  std::memmove(headPosition, source.headPosition, sizeof(headPosition));
  if (source.sceneBoundsValid) {
    std::memmove(modelMatrix, source.modelMatrix, sizeof(modelMatrix));
    sceneBoundsValid = source.sceneBoundsValid;
    modelScale = source.modelScale;
    smallestSceneSide = source.smallestSceneSide;
    largestSceneSide = source.largestSceneSide;
  }
  particleStepScale = source.particleStepScale;
  particleRadiusScale = source.particleRadiusScale;

  // Each buffer keeps planes of its own: a change in one must not reach the other.
  std::deque<vtkSmartPointer<vtkPlane>> planes;
  for (const auto& plane : source.clipPlanes) {
    auto copy = vtkSmartPointer<vtkPlane>::New();
    copy->SetNormal(plane->GetNormal());
    copy->SetOrigin(plane->GetOrigin());
    planes.push_back(copy);
  }
  clipPlanes.swap(planes);

  maxClipPlanes = source.maxClipPlanes;
  if (!self) {
    for (int32_t i = 0; i < maxClipPlanes; ++i) {
      if (size_t(i) >= clipMarkerPool.size() || size_t(i) >= source.clipMarkerPool.size()) break;
      // An empty entry on either side has nothing to give or take; a wrong type still throws.
      if (clipMarkerPool[i].isNull() || source.clipMarkerPool[i].isNull()) continue;
      clipMarkerPool[i]->setGeometryAlt(*source.clipMarkerPool[i]);
    }
  }

  flyMode = source.flyMode;
  hudShown = source.hudShown;
  viewResetLatch = source.viewResetLatch;
  floorShown = source.floorShown;
  frameTime = source.frameTime;
  frameTimeFactor = source.frameTimeFactor;
  hudDistance = source.hudDistance;
  if (!self) interactiveIsoField = source.interactiveIsoField;
  interactiveIsoValue = source.interactiveIsoValue;
  colorBarPosition = source.colorBarPosition;
  if (!self) scalarFieldName = source.scalarFieldName;
  if (!self) {
    persistentIsoValues = source.persistentIsoValues;
    interactivePlaneSection = source.interactivePlaneSection;
    persistentPlaneSections = source.persistentPlaneSections;
  }
  avatarGroup.copySettings(source.avatarGroup);
  unrealisedSharedSeeds = source.unrealisedSharedSeeds;
  unmarkedSharedClipPlanes = source.unmarkedSharedClipPlanes;
  std::memmove(sceneCameraOrientation, source.sceneCameraOrientation, sizeof(sceneCameraOrientation));
  if (handsSwapped != source.handsSwapped) {
    toolSets[0].swapPostIts(toolSets[1]);
    handsSwapped = source.handsSwapped;
  }
  widgetManager = source.widgetManager;
  for (int hand = 0; hand < 2; ++hand) controllerModels[hand].setRenderModel(source.controllerModels[hand]);
}

void VRInteractionState::setQuickStartPage(int hand, int page) {
  if (hand < 0 || hand > 1) return;
  toolSets[hand].setQuickStartVisible(true);
  toolSets[hand].selectQuickStartPage(page);
}

int VRInteractionState::getQuickStartPage(int hand) const {
  if (hand < 0 || hand > 1) return -1;
  return toolSets[hand].quickStartPage();
}

void VRInteractionState::CopyPoseMatrixA(double out[16]) const {
  std::memcpy(out, headRotation, sizeof(headRotation));
  out[3] = headPosition[0];
  out[7] = headPosition[1];
  out[11] = headPosition[2];
}

void VRInteractionState::CopyPoseMatrixB(double out[16]) const { std::memcpy(out, modelMatrix, sizeof(modelMatrix)); }

void VRInteractionState::applySceneVolumeState(int toggleMask, OpenVRRenderWindow* window, kvg::DrawableScene& scene,
                                               vtkRenderer* renderer, bool volumeRendering, bool takeIsoValue,
                                               bool takePlaneSection) {
  toolSets[0].setAllVisible(false);
  toolSets[1].setAllVisible(false);
  toolSets[0].setPalettePage(toggleMask);
  kvg::VolumeRenderingManager::getSingleton(scene.getSession()).setEnableVolRend(volumeRendering);
  SetInteractiveIsoValue(*this, scene, renderer, takeIsoValue);
  // No settings reach a scene change: the tool takes the default snapping.
  SetInteractivePlaneSection(*this, scene, renderer, SceneViewSettings(), takePlaneSection);
}

void VRInteractionState::resetToolSets() {
  toolSets[0].reset();
  toolSets[1].reset();
}

void VRInteractionState::attachPaletteImages() {
  toolSets[0].attachPaletteImages(iconCache);
  toolSets[1].attachPaletteImages(iconCache);
}

void VRInteractionState::AnalyseSceneOnLoad(kvg::DrawableScene& scene, vtkCamera* previousCamera) {
  kvg::SceneCanvasRenderer* model = scene.hasModelRenderer();
  vtkRenderer* renderer = model ? model->getVTKRenderer() : nullptr;
  sceneClipPlaneCount = 0;
  if (renderer) {
    if (previousCamera) renderer->SetActiveCamera(previousCamera);
    if (kvg::SceneCanvas* canvas = model->hasSceneCanvas())
      if (kvg::ClipPlanesAttributes* clip = canvas->hasClipPlanesAttributes())
        if (kvg::CollectionNode* planes = clip->hasClippingPlanes())
          sceneClipPlaneCount = static_cast<int32_t>(planes->getNumberOfNodes());
  }
  overlays[HudPanel].requestTextureUpload();
  kvg::DrawableSession* session = scene.getSession();
  medianParticleSpeed = kvg::ParticleAdvectionManager::getSingleton(session).computeMedianMagnitude();
  refreshVolumeRepresentations(*this, renderer, scene);
  widgetManager.collectPartProps(renderer);

  const kvg::NodeRegistry& registry = session->getNodeRegistry();
  // Counted afresh for every scene: a scene without iso-surface nodes has none.
  sceneIsoValueCount = 0;
  bool isoSurfaceMode = false;
  for (kvg::VolumeRenderingAttributes* attributes : registry.findNodesOfClass<kvg::VolumeRenderingAttributes>())
    if (attributes->getRenderingMode() == kvg::VolumeRenderingAttributes::IsoSurfaces) isoSurfaceMode = true;
  if (!isoSurfaceMode) {
    sceneIsoValueCount = 0;
    return;
  }
  for (kvg::IsoSurfaceAttributes* attributes : registry.findNodesOfClass<kvg::IsoSurfaceAttributes>())
    sceneIsoValueCount = static_cast<int32_t>(attributes->getIsoValues().size());
}

std::string GetTrackedDeviceString(vr::IVRSystem* system, vr::TrackedDeviceIndex_t device,
                                   vr::ETrackedDeviceProperty property) {
  if (!system) return std::string();
  Lock::AutoLock lock(GetRenderLock());
  const uint32_t length = system->GetStringTrackedDeviceProperty(device, property, nullptr, 0, nullptr);
  if (length == 0) return std::string();
  std::string buffer(length, '\0');
  system->GetStringTrackedDeviceProperty(device, property, &buffer[0], length, nullptr);
  const size_t end = buffer.find('\0');
  if (end != std::string::npos) buffer.resize(end);
  return buffer;
}

std::string SanitizeFileName(const std::string& name) {
  std::string out = name;
  for (char& c : out)
    if (std::strchr("<>:\"/\\|?* ", c) && c != '\0') c = '_';
  return out;
}
