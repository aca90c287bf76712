// The VR start-up of a drawable session's scene (back-buffer updater thread) and the reset of
// the volume state (that thread at start-up, the render thread for the reset button).
#include <algorithm>
#include <cstdio>

#include <vtkImageData.h>
#include <vtkRenderWindow.h>
#include <vtkRenderer.h>

#include "ClipMarker.h"
#include "CollabSession.h"
#include "Configuration.h"
#include "IconTextureCache.h"
#include "IsoValueMarker.h"
#include "OpenVRCamera.h"
#include "OpenVRRenderWindow.h"
#include "OpenVRTexture.h"
#include "ParticleAdvectionManager.h"
#include "RenderLock.h"
#include "SceneMarkers.h"
#include "SceneViewSettings.h"
#include "SeedMarker.h"
#include "ToolGeometry.h"
#include "VRInteractionState.h"
#include "VolumeRenderingManager.h"
#include "kvg/DrawableScene.h"
#include "kvg/OpenGLRenderer.h"

namespace {

vtkRenderer* layer(OpenVRRenderWindow* window, int index) {
  return window ? window->GetLayerRenderer(index) : nullptr;
}

vtkSmartPointer<OpenVRTexture> cachedTexture(IconTextureCache* cache, const std::string& name) {
  vtkSmartPointer<OpenVRTexture> texture;
  if (cache) cache->getTexture(texture, name, 1);
  return texture;
}

}  // namespace

void VRInteractionState::startSessionScene(OpenVRRenderWindow* window, vtkRenderer* modelRenderer,
                                           kvg::DrawableScene& scene, int bufferIndex,
                                           const SceneViewSettings& settings, const CollabSession& collab,
                                           VRWidgetCommandHandler* commandHandler, const std::string& sceneKey) {
  Lock::AutoLock lock(GetRenderLock());
  kvg::DrawableSession* session = scene.getSession();
  kvg::VolumeRenderingManager& volumes = kvg::VolumeRenderingManager::getSingleton(session);
  kvg::ParticleAdvectionManager& particles = kvg::ParticleAdvectionManager::getSingleton(session);
  vtkRenderer* background = layer(window, OpenVRRenderWindow::BackgroundLayer);
  vtkRenderer* widgets = layer(window, OpenVRRenderWindow::WidgetLayer);
  vtkRenderer* models = layer(window, OpenVRRenderWindow::ModelLayer);

  volumes.setVolRendQuality(settings.volumeRenderingQuality);
  volumes.setUseStencilClipping(settings.accurateVolumeClipping);
  particles.setParticleCount(settings.particleCount);
  particles.setNumParticlesPerFrame(settings.particlesPerFrame);

  for (ToolSet& tools : toolSets) {
    tools.setQuickStartVisible(true);
    tools.selectQuickStartPage(-1);
  }
  frameCounter = 0;

  updateEyeMatrices(camera);
  for (vtkRenderer* renderer : {widgets, models, background})
    if (renderer) renderer->SetActiveCamera(camera);

  identityMatrix4x4(modelMatrix);
  clipPlaneNodes.clear();
  SyncViewMatrixFromCamera(*this, modelRenderer);
  applyVolumeRendering(modelRenderer, session, window, settings);

  avatarGroup.setup(collab.getCID(), bufferIndex, collab.getTS(), window);
  widgetManager.initialize(commandHandler, sceneKey, window ? window->GetInteractor() : nullptr);

  controllerTypeName.clear();
  for (int hand = 0; hand < 2; ++hand) {
    handIdentification[hand].clear();
    controllerModels[hand].init(true);
    if (avatarGroup.avatarCount() > 0) {
      SetActorColor(controllerModels[hand], avatarGroup.currentColor());
      controllerModels[hand].setTextureEnabled(false);
    }
  }

  char hudName[32];
  std::snprintf(hudName, sizeof(hudName), "HUD%d", bufferIndex);
  vtkSmartPointer<OpenVRTexture> hudTexture = cachedTexture(iconCache, hudName);
  if (hudTexture && window) hudTexture->SetInputData(window->GetHudImage());
  overlays[HudPanel].build(widgets, hudTexture, settings.hudSize, settings.hudDist);
  overlays[HudPanel].requestTextureUpload();

  for (int hand = 0; hand < 2; ++hand) {
    toolSets[hand].setLinkedOverlayTexture(avatarGroup.linkedOverlayTexture());
    toolSets[hand].init(widgets, hand, iconCache);
  }

  const std::string assets = getVRAssetsDir();
  const char* icons[3] = {"Updating2.png", "Flymode.png", "Link.png"};
  for (int i = 0; i < 3; ++i)
    overlays[UpdatingIcon + i].build(widgets, cachedTexture(iconCache, assets + icons[i]), settings.hudSize,
                                     settings.hudDist - 0.0001 * (i + 1));
  hudMessage.build(widgets);

  environment.buildEnvironment(background, iconCache, settings);
  medianParticleSpeed = particles.computeMedianMagnitude();

  planeSectionTextures.clear();
  if (iconCache)
    iconCache->getTextureEx({assets + "planesection.png", assets + "planesection_bw.png"}, planeSectionTextures, 2);
  refreshVolumeRepresentations(*this, modelRenderer, scene);

  hudDistance = 1.0;
  colorBarPosition = 0.5;
  scalarFieldName.clear();
  handsSwapped = false;
  if (settings.swapLeftRight) {
    toolSets[0].swapPostIts(toolSets[1]);
    handsSwapped = true;
  }
  if (!interactiveIsoMarker.isValid()) interactiveIsoMarker = IsoValueMarker::create(models);
  if (sceneBoundsValid) CreateClipToolVisual(*this, window);

  for (HudOverlay& overlay : overlays) setPropVisible(overlay, false);
  environment.setVisible(false);
  for (ControllerModel& model : controllerModels) model.actor()->SetVisibility(0);
  volumes.setEnableVolRend(false);
}

void VRInteractionState::applyVolumeRendering(vtkRenderer* renderer, kvg::DrawableSession* session,
                                              OpenVRRenderWindow* window, const SceneViewSettings& settings) {
  kvg::VolumeRenderingManager& volumes = kvg::VolumeRenderingManager::getSingleton(session);
  volumes.setEnableVolRend(GetConfigBool("enableVolRend", false));
  volumes.setIsosurfaceOpacity(settings.isoSurfaceOpacity);
  volumes.setLocalLightingForVRIsosurfaces(GetConfigBool("useLocalLightingForIsosurfaces", true));
  volumes.setUseNoisyStartPosition(GetConfigBool("useNoisyStartPositionForVolRend", false));

  double bounds[6];
  sceneBoundsValid = computeSceneBounds(renderer, bounds, sceneCameraOrientation);
  const double extents[3] = {bounds[1] - bounds[0], bounds[3] - bounds[2], bounds[5] - bounds[4]};
  largestSceneSide = std::max({extents[0], extents[1], extents[2]});
  smallestSceneSide = std::min({extents[0], extents[1], extents[2]});

  for (const auto& marker : seedMarkers)
    if (marker.isValid()) marker->removeFromRenderer(renderer);
  for (const auto& marker : planeSectionMarkers)
    if (marker.isValid()) marker->removeFromRenderer(renderer);
  kvg::ParticleAdvectionManager& particles = kvg::ParticleAdvectionManager::getSingleton(session);
  particles.clearSeeds();
  particles.resetParticles();
  clearIsoValueMarkers(*this, window);

  seedMarkers.clear();
  planeSectionMarkers.clear();
  persistentIsoValues.clear();
  persistentPlaneSections.clear();
  particleStepScale = 1.0;
  particleRadiusScale = 1.0;
  clipPlanes.clear();

  floorShown = true;
  environment.setVisible(true);
  hudShown = true;
  setPropVisible(overlays[HudPanel], true);
  if (flyMode) ToggleFlyMode(*this);
  for (ToolSet& tools : toolSets) tools.setPalettePage(0);
  resetView(renderer, settings.preserveOrientation, session);
  widgetManager.refreshWidgets(5);
}
