// The compositor without an OpenGL context (nothing is captured): submission errors, frame
// counting, frame timings, and the haptic-pulse log.
#include <gtest/gtest.h>
#include <openvr.h>

#include <cstdlib>

#include "SimulatedHeadset.h"
#include "VRSimulator.h"

class Compositor : public SimulatedHeadset {
 protected:
  void SetUp() override {
    ::unsetenv("QUONIX_VRSIM_CAPTURE_DIR");
    ::unsetenv("QUONIX_VRSIM_EXIT_AFTER");
  }
  vr::EVRCompositorError submit(vr::EVREye eye) {
    // A texture name that is never read: without a capture folder the compositor keeps no image.
    const vr::Texture_t texture = {reinterpret_cast<void*>(uintptr_t(7)), vr::TextureType_OpenGL,
                                   vr::ColorSpace_Gamma};
    return compositor->Submit(eye, &texture, nullptr, vr::Submit_Default);
  }
};

TEST_F(Compositor, CountsFramesOfBothEyes) {
  start();
  frame();
  EXPECT_EQ(submit(vr::Eye_Left), vr::VRCompositorError_None);
  EXPECT_EQ(vrsim::submittedFrameCount(), 0u);
  EXPECT_EQ(submit(vr::Eye_Right), vr::VRCompositorError_None);
  EXPECT_EQ(vrsim::submittedFrameCount(), 1u);
  // One eye and then a new frame: the half frame is dropped.
  frame();
  EXPECT_EQ(submit(vr::Eye_Left), vr::VRCompositorError_None);
  frame();
  EXPECT_EQ(submit(vr::Eye_Right), vr::VRCompositorError_None);
  EXPECT_EQ(vrsim::submittedFrameCount(), 1u);
}

TEST_F(Compositor, RejectsWhatIsNoOpenGLTexture) {
  start();
  EXPECT_EQ(compositor->Submit(vr::Eye_Left, nullptr), vr::VRCompositorError_InvalidTexture);
  const vr::Texture_t null = {nullptr, vr::TextureType_OpenGL, vr::ColorSpace_Gamma};
  EXPECT_EQ(compositor->Submit(vr::Eye_Left, &null), vr::VRCompositorError_InvalidTexture);
  const vr::Texture_t other = {reinterpret_cast<void*>(uintptr_t(7)), vr::TextureType_Vulkan, vr::ColorSpace_Gamma};
  EXPECT_EQ(compositor->Submit(vr::Eye_Left, &other), vr::VRCompositorError_InvalidTexture);
  EXPECT_EQ(submit(vr::EVREye(2)), vr::VRCompositorError_IndexOutOfRange);
}

TEST_F(Compositor, InjectedSubmitErrorsFromTheirFrame) {
  start("frame 2\nfail submit 101 right times 2");
  frame();
  EXPECT_EQ(submit(vr::Eye_Right), vr::VRCompositorError_None);
  frame();
  EXPECT_EQ(submit(vr::Eye_Left), vr::VRCompositorError_None);
  EXPECT_EQ(submit(vr::Eye_Right), vr::VRCompositorError_DoNotHaveFocus);
  frame();
  EXPECT_EQ(submit(vr::Eye_Right), vr::VRCompositorError_DoNotHaveFocus);
  EXPECT_EQ(submit(vr::Eye_Right), vr::VRCompositorError_None);
}

TEST_F(Compositor, FrameTimingsOfPresentedFrames) {
  start();
  vr::Compositor_FrameTiming timing = {};
  timing.m_nSize = sizeof timing;
  EXPECT_FALSE(compositor->GetFrameTiming(&timing, 0));  // nothing presented yet
  for (int i = 0; i < 3; ++i) {
    frame();
    submit(vr::Eye_Left);
    submit(vr::Eye_Right);
  }
  double previous = 1e300;
  for (uint32_t ago = 0; ago < 3; ++ago) {
    timing = {};
    timing.m_nSize = sizeof timing;
    ASSERT_TRUE(compositor->GetFrameTiming(&timing, ago));
    EXPECT_EQ(timing.m_nFrameIndex, 3 - ago);
    EXPECT_LE(timing.m_flSystemTimeInSeconds, previous);  // older frames, earlier times
    previous = timing.m_flSystemTimeInSeconds;
    EXPECT_TRUE(timing.m_HmdPose.bPoseIsValid);
  }
  timing.m_nSize = sizeof timing;
  EXPECT_FALSE(compositor->GetFrameTiming(&timing, 3));
  timing.m_nSize = 100;  // a record of another size is refused
  EXPECT_FALSE(compositor->GetFrameTiming(&timing, 0));
}

TEST_F(Compositor, HapticPulsesReachOnlyConnectedControllers) {
  start("frame 2\nright disconnect");
  frame();
  system->TriggerHapticPulse(1, 0, 500);
  system->TriggerHapticPulse(0, 0, 500);                                  // the headset
  system->TriggerHapticPulse(vr::k_unTrackedDeviceIndexInvalid, 0, 500);  // no controller
  frame();
  system->TriggerHapticPulse(2, 0, 300);  // switched off
  system->TriggerHapticPulse(1, 1, 200);
  const std::vector<vrsim::HapticPulse> pulses = vrsim::hapticPulses();
  ASSERT_EQ(pulses.size(), 2u);
  EXPECT_EQ(pulses[0].frame, 1u);
  EXPECT_EQ(pulses[0].deviceIndex, 1u);
  EXPECT_EQ(pulses[0].axis, 0u);
  EXPECT_EQ(pulses[0].durationMicroSec, 500);
  EXPECT_EQ(pulses[1].frame, 2u);
  EXPECT_EQ(pulses[1].axis, 1u);
  EXPECT_EQ(pulses[1].durationMicroSec, 200);
}

TEST_F(Compositor, PacedWaitReturns) {
  // With the default 90 Hz pacing each wait ends within one display period.
  start("rate 90");
  for (int i = 0; i < 3; ++i) frame();
  EXPECT_EQ(vrsim::poseFrameCount(), 3u);
  EXPECT_GE(compositor->GetFrameTimeRemaining(), 0.0f);
}
