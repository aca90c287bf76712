// The controller poll against the simulated headset, frame by frame: poses of head and hands,
// roles and device indices, buttons with their press and release events, pad and stick
// directions, input focus and the view-reset latch.
#include <gtest/gtest.h>

#include <openvr.h>

#include "InteractionFixtures.h"
#include "RenderLock.h"
#include "ToolGeometry.h"
#include "VRInteractionState.h"
#include "VrTestSupport.h"

namespace {

class ControllerPoll : public ::testing::Test {
 protected:
  ScopedBaseDir base{"thumbStickThreshold = 0.7\n"};
  VRInteractionState state{nullptr};
  bool valid[2] = {false, false};

  std::unique_ptr<ScriptedHeadset> headset;

  void start(const std::string& script) { headset.reset(new ScriptedHeadset(script)); }
  // One frame as the per-frame update runs it: the counter, then the poll.
  const ControllerInput& frame(int hand = 0) {
    ++state.frameCounter;
    state.pollControllers(valid);
    return state.controllerInputs[hand];
  }
  const ControllerInput& hand(int h) const { return state.controllerInputs[h]; }
};

}  // namespace

TEST_F(ControllerPoll, HeadAndHandsFromTheirPosesAndRoles) {
  start("head position 0.1 1.7 0.2\nleft position -0.3 1.0 -0.4\nright rotation 90 0 0\n");
  frame();
  EXPECT_TRUE(valid[0]);
  EXPECT_TRUE(valid[1]);
  EXPECT_EQ(hand(0).deviceIndex, 1u);
  EXPECT_EQ(hand(1).deviceIndex, 2u);
  EXPECT_NEAR(state.headPosition[0], 0.1, 1e-6);
  EXPECT_NEAR(state.headPosition[1], 1.7, 1e-6);
  EXPECT_NEAR(state.headRotation[0], 1.0, 1e-6);
  EXPECT_EQ(state.headRotation[3], 0.0);
  EXPECT_NEAR(hand(0).position[0], -0.3, 1e-6);
  EXPECT_NEAR(hand(0).position[2], -0.4, 1e-6);
  // The right controller turned a quarter to the left: its forward (-z) points to -x.
  EXPECT_NEAR(-hand(1).pose[2], -1.0, 1e-6);
  EXPECT_NEAR(hand(1).pose[15], 1.0, 1e-12);
  EXPECT_NEAR(hand(1).position[0], 0.2, 1e-6);
  // A controller seen for the first time starts from where it is: its previous pose is its pose.
  EXPECT_NEAR(hand(1).previousPose[2], 1.0, 1e-6);
  frame();
  EXPECT_NEAR(hand(1).previousPose[2], 1.0, 1e-6);
}

// A controller that drops out and comes back, here with its trigger held throughout, starts
// from where it comes back: its previous tool tip and pose are its current ones, so a drag
// reads no hand motion from the gap. The same holds after a spell without tracking.
TEST_F(ControllerPoll, AControllerThatComesBackStartsFromWhereItIs) {
  start("right position 0.3 1.0 -0.2\nright press trigger\n"
        "frame 3\nright disconnect\n"
        "frame 5\nright position 0.1 1.2 -0.4\nright rotation 30 0 0\nright connect\n"
        "frame 8\nright tracking off\n"
        "frame 10\nright position -0.2 1.3 -0.5\nright tracking on\n");
  auto expectAtRest = [&](const char* when) {
    SCOPED_TRACE(when);
    const ControllerInput& input = hand(1);
    double tip[3];
    computeToolTransform(input, 1, tip);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(input.previousToolTip[i], tip[i], 1e-9) << i;
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(input.previousPose[i], input.pose[i], 1e-9) << i;
  };
  frame();
  frame();
  EXPECT_TRUE(hand(1).triggerHeld);
  frame();
  frame();
  EXPECT_FALSE(valid[1]);
  frame();
  ASSERT_TRUE(valid[1]);
  EXPECT_TRUE(hand(1).triggerHeld);
  EXPECT_NEAR(hand(1).position[0], 0.1, 1e-6);
  expectAtRest("reconnected");
  while (state.frameCounter < 9) frame();
  EXPECT_FALSE(valid[1]);
  frame();
  ASSERT_TRUE(valid[1]);
  EXPECT_NEAR(hand(1).position[0], -0.2, 1e-6);
  expectAtRest("tracked again");
}

TEST_F(ControllerPoll, ButtonsGiveHeldStatesAndOneFrameEvents) {
  start("frame 2\nright press trigger\nleft press grip\nframe 3\nright release trigger\nleft tap menu\n"
        "frame 4\nleft release grip\nleft tap a\n");
  frame();
  EXPECT_FALSE(hand(1).triggerHeld);
  frame();
  EXPECT_TRUE(hand(1).triggerHeld);
  EXPECT_TRUE(hand(1).triggerPressed);
  EXPECT_GT(hand(1).triggerPressTime, 0);
  EXPECT_TRUE(hand(0).gripHeld);
  EXPECT_TRUE(hand(0).gripPressed);
  EXPECT_FALSE(hand(0).triggerPressed);
  frame();
  EXPECT_FALSE(hand(1).triggerHeld);
  EXPECT_FALSE(hand(1).triggerPressed);
  EXPECT_TRUE(hand(1).triggerReleased);
  EXPECT_FALSE(hand(0).gripPressed);
  // A press and a release within one frame give both events.
  EXPECT_TRUE(hand(0).menuPressed);
  EXPECT_TRUE(hand(0).menuReleased);
  frame();
  EXPECT_TRUE(hand(0).gripReleased);
  EXPECT_TRUE(hand(0).menuPressed);  // button 7 counts as the menu button
  frame();
  EXPECT_FALSE(hand(0).menuPressed);
  EXPECT_FALSE(hand(0).gripReleased);
}

TEST_F(ControllerPoll, PadClickSetsTheHandsDirection) {
  start("left axis 0 0.8 0.1\nframe 3\nleft press pad\nframe 5\nleft release pad\n");
  frame();
  // The pad direction follows the finger; it becomes the hand's direction only while clicked.
  EXPECT_EQ(hand(0).padDirection, DirectionEast);
  EXPECT_EQ(hand(0).direction, DirectionNone);
  EXPECT_FALSE(hand(0).directionActive);
  frame();
  frame();
  EXPECT_TRUE(hand(0).padPressed);
  EXPECT_TRUE(hand(0).directionPressed);
  EXPECT_TRUE(hand(0).directionActive);
  EXPECT_EQ(hand(0).direction, DirectionEast);
  EXPECT_EQ(hand(0).padClickFrame, 3u);
  EXPECT_EQ(hand(0).activationFrame, 3u);
  frame();
  EXPECT_FALSE(hand(0).directionPressed);
  EXPECT_TRUE(hand(0).directionActive);
  frame();
  EXPECT_FALSE(hand(0).directionActive);
  EXPECT_EQ(hand(0).direction, DirectionNone);
}

TEST_F(ControllerPoll, StickAndPadTheLaterOneWinsTheStickOnATie) {
  start("right axis-type 2 joystick\nright axis 0 0 0.9\n"
        "frame 2\nright axis 2 0 -0.9\n"
        "frame 4\nright press pad\n"
        "frame 6\nright release pad\nright axis 2 0 0\n"
        "frame 7\nright axis 2 -0.9 0\nright press pad\n");
  frame(1);
  EXPECT_EQ(hand(1).stickDirection, DirectionNone);
  frame(1);
  EXPECT_TRUE(hand(1).stickDeflected);
  EXPECT_TRUE(hand(1).stickDeflectionEvent);
  EXPECT_EQ(hand(1).stickDeflectionFrame, 2u);
  EXPECT_EQ(hand(1).direction, DirectionSouth);
  EXPECT_TRUE(hand(1).directionPressed);
  frame(1);
  EXPECT_FALSE(hand(1).stickDeflectionEvent);
  EXPECT_EQ(hand(1).direction, DirectionSouth);
  frame(1);  // the pad clicked while the stick is deflected takes over
  EXPECT_EQ(hand(1).direction, DirectionNorth);
  EXPECT_EQ(hand(1).activationFrame, 4u);
  frame(1);
  frame(1);
  EXPECT_FALSE(hand(1).directionActive);
  frame(1);  // both in one frame: the stick's direction
  EXPECT_TRUE(hand(1).padPressed);
  EXPECT_TRUE(hand(1).stickDeflectionEvent);
  EXPECT_EQ(hand(1).direction, DirectionWest);
}

TEST_F(ControllerPoll, AnAbsentHandHasNoDeviceAndOthersEventsAreDropped) {
  start("right index none\nframe 2\nleft press trigger\n");
  frame();
  EXPECT_FALSE(valid[1]);
  EXPECT_EQ(hand(1).deviceIndex, kNoDevice);
  EXPECT_TRUE(valid[0]);
  frame();
  EXPECT_TRUE(hand(0).triggerPressed);
  EXPECT_FALSE(hand(1).triggerPressed);
}

TEST_F(ControllerPoll, ARoleChangeStartsTheHandWithACleanRecord) {
  start("frame 2\nleft press grip\nframe 3\nleft role right\nright role left\n");
  frame();
  frame();
  EXPECT_TRUE(hand(0).gripHeld);
  frame();
  EXPECT_EQ(hand(0).deviceIndex, 2u);
  EXPECT_EQ(hand(1).deviceIndex, 1u);
  EXPECT_FALSE(hand(0).gripHeld);
  EXPECT_TRUE(hand(1).gripHeld);  // device 1 still holds it, now in the right role
  EXPECT_EQ(hand(1).previousPose[0], 1.0);  // the record began anew this frame
}

TEST_F(ControllerPoll, CapturedFocusOrLostTrackingKeepsTheLastPose) {
  start("frame 2\nleft position 0.5 1.5 -0.5\nfocus captured\nframe 3\nfocus released\nright tracking off\n");
  frame();
  frame();
  EXPECT_FALSE(valid[0]);
  EXPECT_FALSE(valid[1]);
  EXPECT_NEAR(hand(0).position[0], -0.2, 1e-6);  // not taken while another process has the input
  frame();
  EXPECT_TRUE(valid[0]);
  EXPECT_NEAR(hand(0).position[0], 0.5, 1e-6);
  EXPECT_FALSE(valid[1]);
  EXPECT_NEAR(hand(1).position[0], 0.2, 1e-6);
}

TEST_F(ControllerPoll, TheViewResetLatchLastsWhileATriggerIsHeld) {
  start("frame 2\nleft press trigger\nframe 4\nleft release trigger\n");
  frame();
  state.viewResetLatch = true;
  frame();
  EXPECT_TRUE(state.viewResetLatch);
  frame();
  EXPECT_TRUE(state.viewResetLatch);
  frame();
  EXPECT_FALSE(state.viewResetLatch);
}

TEST_F(ControllerPoll, EachFrameStartsFromTheDefaultToolDisplay) {
  start("");
  state.toolSets[1].init(nullptr, 1, nullptr);
  state.toolSets[1].setToolIconState(2, true, 5);
  state.toolSets[1].setColorBarVisible(true);
  const double red[3] = {1, 0, 0};
  state.toolSets[1].setLaserColor(red);
  frame();
  const ToolSet& tools = state.toolSets[1];
  EXPECT_TRUE(tools.isToolIconVisible(0));
  EXPECT_FALSE(tools.isToolIconVisible(2));
  EXPECT_EQ(tools.toolIconPage(2), 0);
  EXPECT_FALSE(tools.isColorBarVisible());
  EXPECT_NEAR(tools.laserColor()[2], 1.0, 1e-12);
}

TEST(FrameTime, WithoutTimingTheDefaultTwentyMilliseconds) {
  Lock::AutoLock lock(GetRenderLock());
  vr::VR_Shutdown();
  EXPECT_EQ(averageFrameTime(0.3), 20.0);
}

// Frames presented 60 ms and then 20 ms apart (after a gap of 150 ms, beyond what counts as a
// frame): the newest interval weighs most. The runtime's clock is the script's, so the intervals
// are exactly those, however late the machine runs the frames.
TEST(FrameTime, TheNewestFrameIntervalWeighsMost) {
  ScopedBaseDir base;
  ScriptedHeadset headset("clock scripted\nframe 2\ntime +0.15\nframe 3\ntime +0.06\nframe 4\ntime +0.02\n");
  Lock::AutoLock lock(GetRenderLock());
  vr::IVRCompositor* compositor = vr::VRCompositor();
  ASSERT_NE(compositor, nullptr);
  vr::Texture_t texture = {reinterpret_cast<void*>(uintptr_t(1)), vr::TextureType_OpenGL, vr::ColorSpace_Auto};
  for (int frame = 1; frame <= 4; ++frame) {
    vr::TrackedDevicePose_t poses[vr::k_unMaxTrackedDeviceCount];
    compositor->WaitGetPoses(poses, vr::k_unMaxTrackedDeviceCount, nullptr, 0);
    compositor->Submit(vr::Eye_Left, &texture);
    compositor->Submit(vr::Eye_Right, &texture);
  }
  // Oldest first: 60 x 0.7 + 20 x 0.3 = 48 (the other order would give 32).
  EXPECT_NEAR(averageFrameTime(0.3), 48.0, 1e-3);
}
