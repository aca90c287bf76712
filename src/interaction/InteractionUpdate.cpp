// The interaction step of every VR frame: the update, the tool dispatch, the per-frame marker
// refresh, the quick-start paging, the pad-direction icons and the palette handler. Render
// thread, inside the scene view's frame, on the active buffer's state.
#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstring>

#include <vtkMatrix4x4.h>

#include <vtkImageData.h>  // OpenVRRenderWindow.h uses it without including it
#include <vtkPlane.h>
#include <vtkRenderer.h>
#include <vtkTransform.h>

#include "ClipMarker.h"
#include "Configuration.h"
#include "IsoValueMarker.h"
#include "OpenVRCamera.h"
#include "OpenVRRenderWindow.h"
#include "PaletteImages.h"
#include "ParticleAdvectionManager.h"
#include "SceneMarkers.h"
#include "SceneViewSettings.h"
#include "SeedMarker.h"
#include "ToolGeometry.h"
#include "VRInteractionState.h"
#include "VolumeRenderingManager.h"
#include "VolumeRepresentation.h"
#include "kvg/DrawableScene.h"
#include "kvg/OpenGLRenderer.h"
#include "kvg/SceneCanvas.h"
#include "kvg/SceneCanvasRenderer.h"

namespace {

int64_t nowNanoseconds() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

bool isNorthOrSouth(int direction) { return direction == DirectionNorth || direction == DirectionSouth; }
bool isEastOrWest(int direction) { return direction == DirectionEast || direction == DirectionWest; }

// The hand's direction while it is active, none otherwise.
int activeDirection(const ControllerInput& input) {
  return input.directionActive ? input.direction : int(DirectionNone);
}

}  // namespace

bool areBothTriggersHeld(const ControllerInput& a, const ControllerInput& b) {
  // A press time of 0 means no press was seen (a trigger already held when the hand appeared).
  if (!a.triggerHeld || !b.triggerHeld || a.triggerPressTime == 0 || b.triggerPressTime == 0) return false;
  const int64_t now = nowNanoseconds();
  const double held = std::min(now - b.triggerPressTime, now - a.triggerPressTime) * 1e-9;
  if (!(held > GetConfigReal("bothTriggersPressedDelay", 0.75))) return false;
  const double apart = std::abs(double(a.triggerPressTime - b.triggerPressTime)) * 1e-9;
  return apart < GetConfigReal("bothTriggersPressedTolerance", 0.05);
}

void VRInteractionState::update(kvg::DrawableScene& scene, bool updateInProgress, const SceneViewSettings& settings,
                                bool openQuickStart) {
  ++frameCounter;
  OpenVRRenderWindow* window = OpenVRRenderWindow::SafeDownCast(scene.getRenderWindow());
  kvg::DrawableSession* session = scene.getSession();
  kvg::SceneCanvasRenderer* model = scene.hasModelRenderer();
  vtkRenderer* renderer = model ? model->getVTKRenderer() : nullptr;

  refreshMarkersAndClipPlanes(renderer, scene, settings, openQuickStart);
  bool valid[2];
  pollControllers(valid);

  if (viewResetLatch) {
    avatarGroup.resetMatrix();
    widgetManager.refreshWidgets(3);
  } else {
    if (areBothTriggersHeld(controllerInputs[0], controllerInputs[1]) && !widgetManager.hasSelectedPart()) {
      resetView(renderer, settings.preserveOrientation, session);
      viewResetLatch = true;
    }
    pageQuickStart();
    if (renderer) {
      if (isActiveController(controllerInputs[0], controllerInputs[1]))
        dispatchTool(window, renderer, scene, 0, settings);
      else if (isActiveController(controllerInputs[1], controllerInputs[0]))
        dispatchTool(window, renderer, scene, 1, settings);
      for (ToolSet& tools : toolSets) {
        tools.setPalettePanelVisible(false);
        tools.setTeleportOverlayVisible(false);
        tools.setLinkedOverlayVisible(false);
        tools.setupLasers(GetPaletteAngle());
      }
      avatarGroup.updateAvatarPoses(controllerInputs, modelMatrix, modelScale);
      handlePaletteButtons(window, renderer, scene, settings);
    }
  }

  colorPadIcons(settings);

  ToolSet& left = toolSets[0];
  left.setQuickStartVisible(left.quickStartPage() >= 0 && left.toolIconPage(0) == 0 && !left.isPalettePanelVisible() &&
                            !left.isLaserVisible() && !left.isColorBarVisible());

  camera->setFromPose(headRotation, headPosition, modelMatrix);
  ApplyIsoValues(*this, scene, settings);
  IdentifyControllers(*this, scene, window, modelMatrix);

  const bool panelOpen = toolSets[0].isPalettePanelVisible() || toolSets[1].isPalettePanelVisible() ||
                         toolSets[0].quickStartPage() >= 0 || toolSets[1].quickStartPage() >= 0;
  if (GetConfigBool("hudMoveToBackForPalette", true) && panelOpen && !widgetManager.isInteracting())
    hudDistance = std::min(hudDistance + 0.1, 2.0);
  else
    hudDistance = std::max(hudDistance - 0.1, 1.0);

  double headPose[16];
  camera->getPoseMatrix(headPose);
  updatingFrameCount = updateInProgress ? updatingFrameCount + 1 : 0;
  overlays[HudPanel].update(headPose, renderer != nullptr && hudShown, hudDistance);
  overlays[FlyModeIcon].update(headPose, flyMode, 1.0);
  overlays[LinkIcon].update(headPose, avatarGroup.isBoxVisible(), 1.0);
  overlays[UpdatingIcon].update(headPose, updatingFrameCount > GetConfigInt("updateScreenTreshold", 50), 1.0);
  // A part command the server refused: the reason is shown to the user, not only logged.
  const std::string refusal = widgetManager.takeRefusalMessage();
  if (!refusal.empty()) hudMessage.show(refusal);
  hudMessage.update(headPose);
  environment.followPose(modelMatrix, floorShown);

  for (const auto& marker : seedMarkers)
    if (marker.isValid() && marker->getVisibility()) marker->scaleAboutCenter(particleRadiusScale * modelScale);
  for (const auto& marker : planeSectionMarkers)
    if (marker.isValid() && marker->getVisibility()) marker->scaleAboutCenter(modelScale);
  for (const auto& marker : clipMarkerPool)
    if (marker.isValid() && marker->getVisibility()) marker->scaleAboutCenter(modelScale);

  kvg::ParticleAdvectionManager& particles = kvg::ParticleAdvectionManager::getSingleton(session);
  double step = medianParticleSpeed > 0.0
                    ? GetConfigReal("baseParticleStepSize", 0.001) / medianParticleSpeed * largestSceneSide
                    : 0.01;
  particles.stepLength = step * particleStepScale * frameTimeFactor;
  particles.pointRadius = float(GetConfigReal("defaultPointRadius", 0.005) * particleRadiusScale * modelScale);

  kvg::VolumeRenderingManager& volumes = kvg::VolumeRenderingManager::getSingleton(session);
  volumes.setInteractivePlaneSection(interactivePlaneSection);
  std::vector<kvg::SimplePlaneSection> sections(persistentPlaneSections);
  sections.insert(sections.end(), peerPlaneSections.begin(), peerPlaneSections.end());
  volumes.setPersistentPlaneSections(sections);
  const bool volumeRendering = volumes.getEnableVolRend();
  for (const auto& box : volumeRepresentations)
    if (box.isValid()) box->setVisibility(!volumeRendering);

  if (window)
    if (kvg::OpenGLRenderer* background = window->GetLayerRenderer(OpenVRRenderWindow::BackgroundLayer))
      background->setFogDensity(GetConfigReal("fogDensity", 0.1));

  widgetManager.updateInteractive(controllerInputs, toolSets, modelMatrix, modelScale, particleRadiusScale);
}

void VRInteractionState::pageQuickStart() {
  const ControllerInput& h0 = controllerInputs[0];
  const ControllerInput& h1 = controllerInputs[1];
  auto page = [this](bool next) {
    const int half = toolSets[0].quickStartPageCount() / 2;
    const int current = getQuickStartPage(0);
    // Fewer than two pages have no halves to page through.
    if (half == 0) return setQuickStartPage(0, -1);
    if (current < 0) {
      const bool firstHalf = controllerTypeName.empty() || controllerTypeName == "vive_controller";
      return setQuickStartPage(0, firstHalf ? 0 : half);
    }
    if (next) return setQuickStartPage(0, (current + 1) % half == 0 ? -1 : current + 1);
    if (current % half > 0) setQuickStartPage(0, current - 1);
  };
  if (h0.menuPressed) {
    if (h1.menuHeld || (h1.menuPressed && h0.menuHeld)) setQuickStartPage(0, -1);
    else page(false);
  } else if (h1.menuPressed) {
    if (h0.menuHeld) setQuickStartPage(0, -1);
    else page(true);
  }
}

void VRInteractionState::colorPadIcons(const SceneViewSettings& settings) {
  static const double white[3] = {1.0, 1.0, 1.0};
  const std::array<double, 3> highlight = GetConfigVector3("controllerHighlightColorRGB", {0.0, 1.0, 1.0});
  const std::array<double, 3> pressed = GetConfigVector3("controllerPressedColorRGB", {0.0, 0.37255, 1.0});
  const std::array<double, 3> failed = GetConfigVector3("controllerFailedColorRGB", {0.5, 0.5, 0.5});
  const bool partSelected = widgetManager.hasSelectedPart();
  const int rightRole = settings.swapLeftRight ? 0 : 1;
  for (int h = 0; h < 2; ++h) {
    const ControllerInput& mine = controllerInputs[h];
    const ControllerInput& other = controllerInputs[1 - h];
    ToolSet& tools = toolSets[h];
    tools.setPostItsVisible(true);
    for (int icon = DirectionNorth; icon >= DirectionWest; --icon) {
      const double* color = white;
      int state = DirectionNone;
      if (partSelected) {
        state = 5;
      } else if (mine.hasDevice() && other.hasDevice() && other.directionActive &&
                 (!mine.directionActive || other.activationFrame < mine.activationFrame)) {
        state = other.direction;
        if (isEastOrWest(icon) && isEastOrWest(other.direction)) color = highlight.data();
      }
      if (mine.directionActive && mine.direction == icon) {
        color = pressed.data();
        if (!tools.toolStatus.get(icon, state)) color = failed.data();
      }
      if (h == rightRole && isNorthOrSouth(icon) && flyMode && !partSelected) state = 6;
      tools.setPostItColor(icon, color);
      tools.selectPostItPage(icon, state);
    }
  }
}

bool VRInteractionState::dispatchTool(OpenVRRenderWindow* window, vtkRenderer* renderer, kvg::DrawableScene& scene,
                                      int hand, const SceneViewSettings& settings) {
  const int other = 1 - hand;
  ControllerInput& mine = controllerInputs[hand];
  ControllerInput& theirs = controllerInputs[other];
  ButtonStateTable& theirTable = toolSets[other].toolStatus;
  const bool leftRole = hand == (settings.swapLeftRight ? 1 : 0);
  kvg::DrawableSession* session = scene.getSession();
  const double lower = settings.sceneMinificationFactor;
  const double upper = settings.sceneMagnificationLimit;
  const int d = activeDirection(mine);
  const int e = activeDirection(theirs);
  const bool otherActs = theirs.directionPressed;
  // The other hand's result of a combination: stored, and a failure felt in that hand.
  auto recordForOther = [&](int row, int column, bool result) {
    theirTable.set(row, column, result);
    if (!result) triggerHapticPulse(theirs);
  };

  if (isNorthOrSouth(e)) {
    if (leftRole) handleDolly(other, e == DirectionNorth);
    else if (!handleZoom(other, e == DirectionNorth, session, lower, upper)) triggerHapticPulse(mine);
  }
  if (widgetManager.handleTool(scene, hand, controllerInputs, toolSets, modelMatrix, largestSceneSide, modelScale,
                               particleRadiusScale, renderer, settings))
    return true;

  bool own = false;
  switch (d) {
    case DirectionSouth:
    case DirectionNorth:
      if (leftRole) {
        own = handleZoom(hand, d == DirectionNorth, session, lower, upper);
        if (!own) triggerHapticPulse(mine);
        // The combination is recorded in the column of this hand's actual direction, which
        // is the column the other hand's icon shows.
        if (e == DirectionEast) return placeSeedMarker(other, DirectionEast, d, renderer, scene);
        if (e == DirectionWest) return handleClipTool(other, 0, settings);
      } else {
        own = handleDolly(hand, d == DirectionNorth);
        if (e == DirectionEast) recordForOther(DirectionEast, d, handleColorBarTool(other, 0, renderer, scene));
        if (e == DirectionWest)
          recordForOther(DirectionWest, d, handlePlaneSectionTool(other, 0, renderer, scene, settings));
      }
      return own;
    case DirectionEast:
      if (leftRole) {
        own = handleColorBarTool(hand, 0, renderer, scene);
        toolSets[hand].toolStatus.set(DirectionEast, DirectionNone, own);
        if (!own) triggerHapticPulse(mine);
        if (e == DirectionEast) {
          if (otherActs) theirTable.set(DirectionEast, DirectionEast, handleColorBarTool(hand, 1, renderer, scene));
          if (!theirTable.get(DirectionEast, DirectionEast)) triggerHapticPulse(theirs);
          return false;
        }
        if (e == DirectionWest) {
          if (otherActs) theirTable.set(DirectionWest, DirectionEast, handleColorBarTool(hand, 2, renderer, scene));
          if (!theirTable.get(DirectionWest, DirectionEast)) triggerHapticPulse(theirs);
        }
      } else {
        own = placeSeedMarker(hand, DirectionEast, DirectionNone, renderer, scene);
        if (e == DirectionEast) {
          bool result = false;
          if (otherActs) {
            result = handleSeedTool(hand, 1, renderer, scene);
            theirTable.set(DirectionEast, DirectionEast, result);
          }
          if (!theirTable.get(DirectionEast, DirectionEast)) triggerHapticPulse(theirs);
          return result;
        }
        if (e == DirectionWest) {
          if (otherActs) theirTable.set(DirectionWest, DirectionEast, handleSeedTool(hand, 2, renderer, scene));
          if (!theirTable.get(DirectionWest, DirectionEast)) triggerHapticPulse(theirs);
        }
      }
      return own;
    case DirectionWest:
      if (leftRole) {
        own = handlePlaneSectionTool(hand, 0, renderer, scene, settings);
        toolSets[hand].toolStatus.set(DirectionWest, DirectionNone, own);
        if (!own) triggerHapticPulse(mine);
        if (e == DirectionEast && otherActs) return handlePlaneSectionTool(hand, 1, renderer, scene, settings);
        if (e == DirectionWest) {
          if (otherActs)
            theirTable.set(DirectionWest, DirectionWest, handlePlaneSectionTool(hand, 2, renderer, scene, settings));
          if (!theirTable.get(DirectionWest, DirectionWest)) triggerHapticPulse(theirs);
        }
      } else {
        own = handleClipTool(hand, 0, settings);
        if (e == DirectionEast && otherActs) return handleClipTool(hand, 1, settings);
        if (e == DirectionWest) {
          if (otherActs) theirTable.set(DirectionWest, DirectionWest, handleClipTool(hand, 2, settings));
          if (!theirTable.get(DirectionWest, DirectionWest)) triggerHapticPulse(theirs);
        }
      }
      return own;
    default:
      return false;
  }
}

void VRInteractionState::refreshMarkersAndClipPlanes(vtkRenderer* renderer, kvg::DrawableScene& scene,
                                                     const SceneViewSettings& settings, bool openQuickStart) {
  OpenVRRenderWindow* window = OpenVRRenderWindow::SafeDownCast(scene.getRenderWindow());
  kvg::DrawableSession* session = scene.getSession();
  if (window && environment.differsFrom(settings))
    environment.build(window->GetLayerRenderer(OpenVRRenderWindow::BackgroundLayer), iconCache, settings);

  if (renderer) {
    if (renderer->GetErase()) renderer->SetErase(false);
    kvg::SceneCanvasRenderer* model = scene.hasModelRenderer();
    kvg::SceneCanvas* canvas = model ? model->hasSceneCanvas() : nullptr;
    kvg::ClipPlanesAttributes* clip = canvas ? canvas->hasClipPlanesAttributes() : nullptr;
    if (clip && clip->hasClippingPlanes() && model->getClippingPlanes())
      syncClipPlanes(*clip->hasClippingPlanes(), model->getClippingPlanes());
    vtkProp* particles = kvg::ParticleAdvectionManager::getSingleton(session).getRenderingTriggerProp();
    if (particles && !renderer->HasViewProp(particles)) renderer->AddViewProp(particles);
    if (!sceneBoundsValid) {
      SyncViewMatrixFromCamera(*this, renderer);
      applyVolumeRendering(renderer, session, window, settings);
    }
    renderer->SetActiveCamera(camera);
  }
  if (sceneBoundsValid) CreateClipToolVisual(*this, window);

  interactivePlaneSection.setOrigin(kvg::NoValue, kvg::NoValue, kvg::NoValue);
  interactiveClipPlane = nullptr;
  interactiveIsoField.clear();
  interactiveIsoValue = kvg::NoValue;
  if (interactiveIsoMarker.isValid()) interactiveIsoMarker->setVisibility(false);

  frameTime = averageFrameTime(GetConfigReal("frameTimeUpdateFactor", 0.3));
  frameTimeFactor = frameTime / 20.0;

  if (handsSwapped != settings.swapLeftRight) {
    toolSets[0].swapPostIts(toolSets[1]);
    handsSwapped = settings.swapLeftRight;
  }

  const bool seedsVisible = GetConfigBool("seedMarkersAlwaysVisible", true);
  const std::array<double, 3> seedColor = GetConfigVector3("seedMarkerRGB", {0.0, 0.37255, 0.52941});
  for (const auto& marker : seedMarkers) {
    if (!marker.isValid()) continue;
    double direction[3];
    const bool shown = seedsVisible && probeParticleDirection(marker->getCenter(), direction, session);
    marker->setVisibility(shown);
    if (shown) marker->setColor(seedColor.data());
  }
  const bool clipMarkersShown = GetConfigBool("clipMarkersAlwaysVisible", true);
  for (size_t i = 0; i < clipMarkerPool.size(); ++i) {
    if (!clipMarkerPool[i].isValid()) continue;
    if (clipMarkersShown) clipMarkerPool[i]->selectTexture(0);
    clipMarkerPool[i]->setVisibility(clipMarkersShown && i < clipPlanes.size());
  }
  for (const auto& marker : isoValueMarkers)
    if (marker.isValid()) marker->setVisibility(false);
  const bool sectionMarkersShown = GetConfigBool("planeSectionMarkersAlwaysVisible", true);
  for (const auto& marker : planeSectionMarkers) {
    if (!marker.isValid()) continue;
    if (sectionMarkersShown) marker->selectTexture(0);
    marker->setVisibility(sectionMarkersShown);
  }
  const double none[3] = {kvg::NoValue, kvg::NoValue, kvg::NoValue};
  kvg::ParticleAdvectionManager::getSingleton(session).setInteractiveSeedPosition(none);

  ToolSet& left = toolSets[0];
  if (openQuickStart && left.quickStartPage() < 0) setQuickStartPage(0, 0);
  const int page = left.quickStartPage();
  const int half = left.quickStartPageCount() / 2;
  if (page >= 0 && page < half && !controllerTypeName.empty() && controllerTypeName != "vive_controller")
    setQuickStartPage(0, page + half);
}

PaletteHit hitPalette(const ControllerInput& pointer, const ControllerInput& holder, const VirtualPostIt& palette) {
  PaletteHit result;
  // The palette's frame turned with the hand that holds it.
  double n[3], e1[3], e2[3];
  transformPoint(holder, palette.normal(), n);
  transformPoint(holder, palette.horizontalAxis(), e1);
  transformPoint(holder, palette.verticalAxis(), e2);
  Normalize3(n);
  Normalize3(e1);
  Normalize3(e2);
  double d[3];
  computeToolDirection(pointer, GetConfigReal("laserAngle", 20.0), d);
  Normalize3(d);
  const std::array<double, 3> offset = GetConfigVector3("paletteOffsetXYZ", {0.0, 0.01, 0.0});
  const double width = GetConfigFinite("paletteWidth", 0.2, true);
  const double height = GetConfigFinite("paletteHeight", 0.288, true);
  const double* O = pointer.position;
  const double* P = holder.position;
  const double s = n[0] * d[0] + n[1] * d[1] + n[2] * d[2];
  result.onFront = s < 0.0;
  if (s != 0.0) {
    const double toPalette = n[0] * (P[0] - O[0]) + n[1] * (P[1] - O[1]) + n[2] * (P[2] - O[2]);
    result.t = (toPalette + (s < 0.0 ? 0.001 : -0.001) + offset[2]) / s;
  }
  const double H[3] = {O[0] + result.t * d[0] - P[0], O[1] + result.t * d[1] - P[1], O[2] + result.t * d[2] - P[2]};
  // A zero width or height is no palette to hit.
  if (!(width > 0.0) || !(height > 0.0)) return result;
  result.u = (H[0] * e1[0] + H[1] * e1[1] + H[2] * e1[2] - offset[0] + width / 2.0) / width;
  result.v = (H[0] * e2[0] + H[1] * e2[1] + H[2] * e2[2] + offset[1]) / -height;
  result.hit = result.u > 0.0 && result.u < 1.0 && result.v > 0.0 && result.v < 1.0 && result.t > 0.0 &&
               result.t < 3.4028234663852886e38;
  return result;
}

bool isInsideRect(double u, double v, const PaletteRect& rect) {
  return rect[0] < u && u < rect[1] && rect[2] < v && v < rect[3];
}

void VRInteractionState::pressPaletteButton(double u, double v, int pointing, ToolSet& palette,
                                            OpenVRRenderWindow* window, vtkRenderer* renderer,
                                            kvg::DrawableScene& scene, const SceneViewSettings& settings) {
  const ControllerInput& pointer = controllerInputs[pointing];
  kvg::DrawableSession* session = scene.getSession();
  const bool avatars = avatarGroup.avatarCount() > 0;
  // Test order: the toggles, reset, the particle buttons, then the avatar buttons.
  static const PaletteButtonIndex order[12] = {kToggleFloor, kToggleFlyMode, kToggleHUD, kToggleVolume,
                                              kReset, kDecreaseParticleSize, kIncreaseParticleSize,
                                              kDecreaseParticleSpeed, kIncreaseParticleSpeed,
                                              kTeleportAvatar, kPrevAvatar, kNextAvatar};
  for (PaletteButtonIndex button : order) {
    const bool avatarButton = button == kTeleportAvatar || button == kPrevAvatar || button == kNextAvatar;
    if (avatarButton && !avatars) continue;
    if (!isInsideRect(u, v, GetPaletteButtonRect(button))) continue;
    const int hover = button + 1, pressed = button + 13;
    const bool particle = button == kDecreaseParticleSize || button == kIncreaseParticleSize ||
                          button == kDecreaseParticleSpeed || button == kIncreaseParticleSpeed;
    if (particle)
      palette.setPaletteOverlay(pointer.triggerHeld ? pressed : hover);
    else if (pointer.triggerPressed)
      palette.setPaletteOverlay(pressed);
    else if (!(pointer.triggerHeld && palette.paletteOverlay() == pressed))
      palette.setPaletteOverlay(hover);

    if (particle) {
      if (!pointer.triggerHeld) return;
      if (button == kDecreaseParticleSpeed) particleStepScale /= GetConfigReal("particleSpeedFactor", 1.0125);
      if (button == kIncreaseParticleSpeed) particleStepScale *= GetConfigReal("particleSpeedFactor", 1.0125);
      if (button == kDecreaseParticleSize || button == kIncreaseParticleSize) {
        const double factor = GetConfigReal("particleRadiusFactor", 1.0125);
        particleRadiusScale = button == kIncreaseParticleSize ? particleRadiusScale * factor
                                                              : particleRadiusScale / factor;
        UpdatePointRadii(*this, session);
      }
      return;
    }
    if (!pointer.triggerPressed) return;
    switch (button) {
      case kToggleFloor:
        floorShown = !floorShown;
        break;
      case kToggleFlyMode:
        ToggleFlyMode(*this);
        break;
      case kToggleHUD:
        hudShown = !hudShown;
        break;
      case kToggleVolume: {
        kvg::VolumeRenderingManager& volumes = kvg::VolumeRenderingManager::getSingleton(session);
        volumes.setEnableVolRend(!volumes.getEnableVolRend());
        break;
      }
      case kReset:
        applyVolumeRendering(renderer, session, window, settings);
        break;
      case kTeleportAvatar:
        if (const double* pose = avatarGroup.currentAvatarPose()) {
          double view[16];
          computeHeadViewMatrix(*this, view);
          avatarGroup.teleportToAvatar(pose, view, modelMatrix, modelScale);
          updateHmdProjection(camera, modelScale);
          UpdatePointRadii(*this, session);
        }
        break;
      case kPrevAvatar:
        avatarGroup.selectPreviousAvatar();
        break;
      case kNextAvatar:
        avatarGroup.selectNextAvatar();
        break;
      default:
        break;
    }
    return;
  }
  palette.setPaletteOverlay(0);
}

void VRInteractionState::handlePaletteButtons(OpenVRRenderWindow* window, vtkRenderer* renderer,
                                              kvg::DrawableScene& scene, const SceneViewSettings& settings) {
  const bool avatarPicking = avatarGroup.isEnabled();
  const bool widgetsBusy = widgetManager.isInteracting();
  const ControllerInput* in = controllerInputs;
  const bool paletteShown = (in[0].gripHeld || in[1].gripHeld) && !avatarPicking && !widgetsBusy;
  int pointing;
  if (avatarPicking) pointing = avatarGroup.getMode();
  else if (in[0].gripHeld) pointing = 1;
  else if (in[1].gripHeld) pointing = 0;
  else pointing = in[0].triggerHeld ? 0 : 1;
  const int paletteHand = 1 - pointing;
  const bool pointerMode = avatarPicking || paletteShown ||
                           (widgetsBusy && in[1 - widgetManager.activeHand()].gripHeld);

  // A hand holding its trigger drags the model: a hand's motion moves it, a turn of the hand
  // turns it about the tool tip.
  for (int hand = 0; hand < 2; ++hand) {
    const ControllerInput& input = in[hand];
    if (!input.hasDevice() || !input.triggerHeld || (pointerMode && hand == pointing)) continue;
    double a[3];
    computeToolTransform(input, hand, a);
    const double delta[3] = {a[0] - input.previousToolTip[0], a[1] - input.previousToolTip[1],
                             a[2] - input.previousToolTip[2]};
    double currentTransposed[16];
    for (int r = 0; r < 4; ++r)
      for (int c = 0; c < 4; ++c) currentTransposed[r * 4 + c] = input.pose[c * 4 + r];
    vtkTransform* t = modelTransform;
    t->PreMultiply();
    t->Identity();
    t->Concatenate(modelMatrix);
    t->Translate(a);
    t->Concatenate(input.previousPose);
    t->Concatenate(currentTransposed);
    t->Translate(-a[0] - delta[0], -a[1] - delta[1], -a[2] - delta[2]);
    t->Update();
    double dragged[16];
    vtkMatrix4x4::DeepCopy(dragged, t->GetMatrix());
    if (isFiniteMatrix4x4(dragged)) std::memcpy(modelMatrix, dragged, sizeof(dragged));
  }

  if (!pointerMode) {
    widgetManager.refreshWidgets(2);
    avatarGroup.updateLinkedStates();
    return;
  }

  ToolSet& palette = toolSets[paletteHand];
  palette.setPalettePanelVisible(paletteShown);
  // A palette whose images are not ready yet is not drawn, and a button that cannot be seen
  // does not act: the laser meets no palette until then.
  const bool paletteVisible = palette.isPalettePanelVisible();
  const bool avatars = avatarGroup.avatarCount() > 0;
  palette.setTeleportOverlayVisible(paletteVisible && avatars);
  palette.setLinkedOverlayVisible(paletteVisible && avatars);
  toolSets[pointing].setLaserVisible(true);

  // The pointing hand's laser against the palette the other hand holds.
  PaletteHit hit;
  if (paletteVisible && !widgetsBusy) hit = hitPalette(in[pointing], in[paletteHand], *palette.palettePanel());
  if (hit.hit) {
    double inverseModel[16];
    vtkMatrix4x4::Invert(modelMatrix, inverseModel);
    AvatarHitRecord avatarHit;
    if (avatarGroup.avatarCount() > 0 &&
        avatarGroup.intersectAvatars(in[pointing], toolSets[pointing], avatarHit, inverseModel) == 0.0)
      hit.hit = false;
  }
  if (hit.hit) {
    widgetManager.refreshWidgets(3);
    toolSets[pointing].setLaserLength(hit.t);
    palette.setLaserCirclePos(hit.u, hit.v);
    palette.setLaserCircleVisible(true);
    palette.setLaserCircleOnFront(hit.onFront);
    pressPaletteButton(hit.u, hit.v, pointing, palette, window, renderer, scene, settings);
    avatarGroup.updateLinkedStates();
    return;
  }

  palette.setPaletteOverlay(0);
  if (!widgetsBusy) {
    AvatarHitRecord picked;
    avatarGroup.pickAvatars(in[pointing], toolSets[pointing], pointing, picked);
  }
  if (!avatarGroup.isEnabled())
    widgetManager.update(scene, pointing, controllerInputs, toolSets, modelMatrix,
                         GetConfigReal("defaultLaserLength", 10.0), modelScale, particleRadiusScale);
  avatarGroup.updateLinkedStates();
}
