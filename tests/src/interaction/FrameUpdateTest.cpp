// Whole frames of the interaction update on the simulated headset, without drawing: the VR
// start-up of a scene, the camera following the head, the two-trigger reset, quick-start
// paging with the menu buttons, the HUD and "updating" overlays and the particle step.
#include <gtest/gtest.h>

#include <cmath>

#include <vtkCamera.h>
#include <vtkMatrix4x4.h>

#include "CollabSession.h"
#include "InteractionFixtures.h"
#include "IsoValueMarker.h"
#include "OpenVRCamera.h"
#include "ParticleAdvectionManager.h"
#include "SceneViewSettings.h"
#include "ToolGeometry.h"
#include "VRInteractionState.h"
#include "VolumeRenderingManager.h"
#include "VrTestSupport.h"

namespace {

const std::array<double, 3> kCenter = {5.0, -3.0, 2.0};

class FrameUpdate : public ::testing::Test {
 protected:
  ScopedBaseDir base{"bothTriggersPressedDelay = 0\n"};
  BoxScene box{kCenter, {2.0, 1.0, 1.0}};
  VRInteractionState state{nullptr};
  SceneViewSettings settings;
  CollabSession collab;
  std::unique_ptr<ScriptedHeadset> headset;

  void start(const std::string& script) {
    headset.reset(new ScriptedHeadset(script));
    state.startSessionScene(nullptr, box.renderer(), box.scene(), 0, settings, collab, nullptr, "");
  }
  void frames(int count, bool updating = false, bool quickStart = false) {
    for (int i = 0; i < count; ++i) state.update(box.scene(), updating, settings, quickStart);
  }
  std::array<double, 3> sceneOf(const std::array<double, 3>& room) const {
    std::array<double, 3> out;
    transformPointByMatrix(room.data(), state.modelMatrix, out.data());
    return out;
  }
};

}  // namespace

TEST_F(FrameUpdate, StartUpPlacesTheModelAndHidesEverything) {
  start("");
  EXPECT_TRUE(state.sceneBoundsValid);
  const std::array<double, 3> centre = sceneOf({0.0, 1.0, -2.0});
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(centre[i], kCenter[i], 1e-9);
  EXPECT_EQ(state.frameCounter, 0u);
  EXPECT_EQ(state.colorBarPosition, 0.5);
  for (const HudOverlay& overlay : state.overlays) EXPECT_FALSE(overlay.actor()->GetVisibility());
  EXPECT_FALSE(state.environment.isVisible());
  EXPECT_FALSE(state.controllerModels[0].actor()->GetVisibility());
  EXPECT_FALSE(kvg::VolumeRenderingManager::getSingleton(box.session()).getEnableVolRend());
  EXPECT_TRUE(state.interactiveIsoMarker.isValid());
}

TEST_F(FrameUpdate, TheCameraFollowsTheHead) {
  start("frame 4\nhead position 0.3 1.5 0.2\nhead rotation 30 0 0\n");
  frames(2);
  EXPECT_EQ(state.frameCounter, 2u);
  const std::array<double, 3> eye = sceneOf({0.0, 1.6, 0.0});
  const double* position = state.getCamera()->GetPosition();
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(position[i], eye[i], 1e-6);
  // The scene's centre lies straight ahead of the camera, 0.6 m below eye height.
  double centre[4] = {kCenter[0], kCenter[1], kCenter[2], 1.0}, view[4];
  state.getCamera()->GetViewTransformMatrix()->MultiplyPoint(centre, view);
  EXPECT_NEAR(view[0], 0.0, 1e-6);
  EXPECT_NEAR(view[1] / view[2], 0.6 / 2.0, 1e-6);

  frames(2);  // the head moved and turned 30 degrees to the left
  const std::array<double, 3> moved = sceneOf({0.3, 1.5, 0.2});
  position = state.getCamera()->GetPosition();
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(position[i], moved[i], 1e-6);
  double direction[3];
  state.getCamera()->GetDirectionOfProjection(direction);
  const double a = 30.0 * M_PI / 180.0;
  std::array<double, 3> expected;
  rotateVector(state.modelMatrix, std::array<double, 3>{-std::sin(a), 0.0, -std::cos(a)}.data(), expected.data());
  Normalize3(expected.data());
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(direction[i], expected[i], 1e-6);
}

TEST_F(FrameUpdate, BothTriggersResetTheViewOnceUntilReleased) {
  // The default "bothTriggersPressedDelay" (0.75 s): each press is held 0.8 s (the frame after
  // it waits that long) before it resets.
  ScopedBaseDir defaults;
  start("frame 2\nleft press trigger\nright press trigger\nframe 3\ntime +0.8\n"
        "frame 8\nleft release trigger\nright release trigger\n"
        "frame 9\nleft press trigger\nright press trigger\nframe 10\ntime +0.8\n");
  frames(2);
  state.modelMatrix[3] += 1.0;  // the user moved the model
  frames(1);
  EXPECT_TRUE(state.viewResetLatch);
  EXPECT_NEAR(sceneOf({0.0, 1.0, -2.0})[0], kCenter[0], 1e-9);
  state.modelMatrix[3] += 1.0;
  frames(4);  // still held: no second reset
  EXPECT_TRUE(state.viewResetLatch);
  EXPECT_NEAR(sceneOf({0.0, 1.0, -2.0})[0], kCenter[0] + 1.0, 1e-9);
  frames(2);
  EXPECT_FALSE(state.viewResetLatch);
  frames(1);  // pressed again: reset again
  EXPECT_TRUE(state.viewResetLatch);
  EXPECT_NEAR(sceneOf({0.0, 1.0, -2.0})[0], kCenter[0], 1e-9);
}

TEST_F(FrameUpdate, TriggersPressedTooFarApartDoNotReset) {
  // Default timings: pressed 0.1 s apart (beyond the 0.05 s tolerance), both held long enough.
  ScopedBaseDir defaults;
  start("frame 2\nleft press trigger\nframe 3\ntime +0.1\nright press trigger\nframe 4\ntime +0.8\n");
  frames(1);
  state.modelMatrix[3] += 1.0;
  frames(3);
  EXPECT_FALSE(state.viewResetLatch);
  EXPECT_NEAR(sceneOf({0.0, 1.0, -2.0})[0], kCenter[0] + 1.0, 1e-9);
}

TEST_F(FrameUpdate, MenuButtonsPageTheQuickStartPanel) {
  for (int k = 0; k < 4; ++k)
    WriteSolidPng(base.assets() + "QuickStart" + std::to_string(k) + ".png", 2, 2, {1, 2, 3, 255});
  start("frame 2\nright tap menu\nframe 3\nright tap menu\nframe 4\nright tap menu\n"
        "frame 5\nleft tap menu\nframe 6\nleft tap menu\nframe 7\nright press menu\n"
        "frame 8\nleft tap menu\n");
  frames(1);
  EXPECT_EQ(state.getQuickStartPage(0), -1);
  EXPECT_EQ(state.controllerType(), "vive_controller");
  frames(1);
  EXPECT_EQ(state.getQuickStartPage(0), 0);
  EXPECT_TRUE(state.toolSets[0].isQuickStartVisible());
  frames(1);
  EXPECT_EQ(state.getQuickStartPage(0), 1);
  frames(1);  // the last page of the half closes the panel
  EXPECT_EQ(state.getQuickStartPage(0), -1);
  EXPECT_FALSE(state.toolSets[0].isQuickStartVisible());
  frames(1);  // "previous" with no page open opens the first
  EXPECT_EQ(state.getQuickStartPage(0), 0);
  frames(1);  // ... and on the first page stays there
  EXPECT_EQ(state.getQuickStartPage(0), 0);
  frames(2);  // one hand's menu press while the other holds its menu button closes
  EXPECT_EQ(state.getQuickStartPage(0), -1);
}

TEST_F(FrameUpdate, OtherControllerTypesUseTheSecondHalfOfThePages) {
  for (int k = 0; k < 4; ++k)
    WriteSolidPng(base.assets() + "QuickStart" + std::to_string(k) + ".png", 2, 2, {1, 2, 3, 255});
  start("left type knuckles\nright type knuckles\nframe 2\nright tap menu\n");
  frames(2);
  EXPECT_EQ(state.controllerType(), "knuckles");
  EXPECT_EQ(state.getQuickStartPage(0), 2);
  // A first-half page asked for by the scene view moves to its twin.
  frames(1, false, true);
  EXPECT_EQ(state.getQuickStartPage(0), 2);
}

TEST_F(FrameUpdate, TheUpdatingIconAppearsAfterTheThreshold) {
  start("");
  frames(50, true);
  EXPECT_FALSE(state.overlays[VRInteractionState::UpdatingIcon].actor()->GetVisibility());
  frames(1, true);
  EXPECT_TRUE(state.overlays[VRInteractionState::UpdatingIcon].actor()->GetVisibility());
  frames(1, false);
  EXPECT_FALSE(state.overlays[VRInteractionState::UpdatingIcon].actor()->GetVisibility());
  EXPECT_TRUE(state.overlays[VRInteractionState::HudPanel].actor()->GetVisibility());
}

TEST_F(FrameUpdate, TheHudGlidesBackWhileThePaletteIsOpen) {
  start("frame 3\nright press grip\nframe 20\nright release grip\n");
  frames(2);
  EXPECT_EQ(state.hudDistance, 1.0);
  frames(3);
  EXPECT_TRUE(state.toolSets[1].isPalettePanelVisible());  // the hand squeezing its grip holds it
  EXPECT_NEAR(state.hudDistance, 1.3, 1e-9);
  frames(14);
  EXPECT_EQ(state.hudDistance, 2.0);
  frames(3);
  EXPECT_NEAR(state.hudDistance, 1.7, 1e-9);
  frames(10);
  EXPECT_EQ(state.hudDistance, 1.0);
}

TEST_F(FrameUpdate, ParticlesStepAndRadiusFollowTheScales) {
  start("");
  state.particleStepScale = 2.0;
  state.particleRadiusScale = 3.0;
  frames(1);
  const kvg::ParticleAdvectionManager& particles = kvg::ParticleAdvectionManager::getSingleton(box.session());
  // No flow in the scene: the step falls back to 0.01.
  EXPECT_NEAR(particles.stepLength, 0.01 * 2.0 * state.frameTimeFactor, 1e-12);
  EXPECT_NEAR(particles.pointRadius, 0.005 * 3.0 * state.modelScale, 1e-6);
}

TEST_F(FrameUpdate, APadDirectionDrivesTheToolOfThatHand) {
  // The right hand (right role) holding North dollies the model; the left hand's labels show
  // which tool the combination would start.
  WriteSolidPng(base.assets() + "LeftEastUndefined.png", 2, 2, {1, 2, 3, 255});
  start("right axis 0 0 0.9\nframe 2\nright press pad\n");
  frames(1);
  const std::array<double, 3> before = sceneOf({0.0, 1.0, -2.0});
  frames(3);
  const std::array<double, 3> after = sceneOf({0.0, 1.0, -2.0});
  EXPECT_GT(std::abs(after[2] - before[2]), 0.0);
  EXPECT_EQ(state.toolSets[1].toolIconPage(0), 3);
  EXPECT_EQ(state.toolSets[0].postItPage(DirectionEast), DirectionNorth);
}

// A controller without a type is asked again every frame, and a render model that keeps failing
// is requested again every frame, but each is reported once per controller and cause.
TEST_F(FrameUpdate, AnUntypedControllerAndAFailingModelAreReportedOnce) {
  start("left type \"\"\nright type \"\"\n"
        "left property 1005 \"Untyped Maker\"\nright property 1005 \"Untyped Maker\"\n"
        "left render-model flaky_model\nright render-model flaky_model\nfail render-model flaky_model 108\n");
  testing::internal::CaptureStdout();
  frames(60);
  const std::string out = testing::internal::GetCapturedStdout();
  auto count = [&](const std::string& line) {
    int n = 0;
    for (size_t at = out.find(line); at != std::string::npos; at = out.find(line, at + 1)) ++n;
    return n;
  };
  EXPECT_EQ(count("Prop_ManufacturerName_String   =Untyped Maker"), 2) << out;  // one per controller
  EXPECT_EQ(count("Prop_TrackingSystemName_String ="), 2) << out;
  EXPECT_EQ(count("Loading render model flaky_model failed with code 108"), 1) << out;
  EXPECT_TRUE(state.controllerType().empty());
}
