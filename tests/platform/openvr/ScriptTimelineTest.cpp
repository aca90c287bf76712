// A scripted timeline, frame by frame: poses, buttons with their events, axes and axis types,
// roles and indices, connection and input focus. Also the default world and script errors.
#include <gtest/gtest.h>
#include <openvr.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>
#include <unistd.h>

#include "SimulatedHeadset.h"
#include "VRSimulator.h"

namespace {

struct Event {
  uint32_t type;
  uint32_t device;
  uint32_t button;
  bool operator==(const Event& o) const { return type == o.type && device == o.device && button == o.button; }
};

std::ostream& operator<<(std::ostream& out, const Event& e) {
  return out << "{" << e.type << ", device " << e.device << ", button " << e.button << "}";
}

const uint64_t kTrigger = vr::ButtonMaskFromId(vr::k_EButton_SteamVR_Trigger);
const uint64_t kPad = vr::ButtonMaskFromId(vr::k_EButton_SteamVR_Touchpad);
const uint64_t kGrip = vr::ButtonMaskFromId(vr::k_EButton_Grip);
const uint64_t kMenu = vr::ButtonMaskFromId(vr::k_EButton_ApplicationMenu);
const uint32_t kNone = vr::k_unTrackedDeviceIndexInvalid;

}  // namespace

class ScriptTimeline : public SimulatedHeadset {
 protected:
  std::vector<Event> events() {
    std::vector<Event> out;
    vr::VREvent_t e;
    while (system->PollNextEvent(&e, sizeof e))
      out.push_back({e.eventType, e.trackedDeviceIndex, e.data.controller.button});
    return out;
  }
  uint64_t buttons(vr::TrackedDeviceIndex_t device) {
    vr::VRControllerState_t state;
    if (!system->GetControllerState(device, &state, sizeof state)) return ~uint64_t(0);
    return state.ulButtonPressed;
  }
  vr::VRControllerAxis_t axis(vr::TrackedDeviceIndex_t device, int k) {
    vr::VRControllerState_t state;
    system->GetControllerState(device, &state, sizeof state);
    return state.rAxis[k];
  }
  int32_t axisType(vr::TrackedDeviceIndex_t device, int k) {
    return system->GetInt32TrackedDeviceProperty(device, vr::ETrackedDeviceProperty(vr::Prop_Axis0Type_Int32 + k));
  }
  vr::TrackedDeviceIndex_t role(vr::ETrackedControllerRole r) {
    return system->GetTrackedDeviceIndexForControllerRole(r);
  }
};

TEST_F(ScriptTimeline, DefaultsServeTheMainJob) {
  start();
  frame();
  EXPECT_EQ(vrsim::scriptName(), "test");
  EXPECT_EQ(system->GetTrackedDeviceClass(0), vr::TrackedDeviceClass_HMD);
  EXPECT_EQ(role(vr::TrackedControllerRole_LeftHand), 1u);
  EXPECT_EQ(role(vr::TrackedControllerRole_RightHand), 2u);
  for (uint32_t d = 0; d < 3; ++d) {
    EXPECT_TRUE(poses[d].bPoseIsValid);
    EXPECT_TRUE(poses[d].bDeviceIsConnected);
    EXPECT_EQ(poses[d].eTrackingResult, vr::TrackingResult_Running_OK);
  }
  EXPECT_FALSE(poses[3].bDeviceIsConnected);
  // Head at 1.6 m looking forward (-z): identity rotation.
  const vr::HmdMatrix34_t& head = poses[0].mDeviceToAbsoluteTracking;
  EXPECT_FLOAT_EQ(head.m[1][3], 1.6f);
  EXPECT_FLOAT_EQ(head.m[2][2], 1.0f);
  // Controllers in front of the body, left one on the left.
  EXPECT_LT(poses[1].mDeviceToAbsoluteTracking.m[0][3], 0.0f);
  EXPECT_GT(poses[2].mDeviceToAbsoluteTracking.m[0][3], 0.0f);
  EXPECT_LT(poses[1].mDeviceToAbsoluteTracking.m[2][3], 0.0f);
  EXPECT_EQ(axisType(1, 0), vr::k_eControllerAxis_TrackPad);
  EXPECT_EQ(axisType(1, 1), vr::k_eControllerAxis_Trigger);
  EXPECT_EQ(axisType(1, 2), vr::k_eControllerAxis_None);
  EXPECT_EQ(buttons(1), 0u);
  EXPECT_TRUE(events().empty());
  EXPECT_FALSE(system->IsInputFocusCapturedByAnotherProcess());
  EXPECT_TRUE(system->IsInputAvailable());
}

TEST_F(ScriptTimeline, FrameByFrame) {
  start(R"(
# header: frame 0
right axis-type 1 joystick
frame 1
left press trigger
right axis 1 0.5 -0.25
head position 0.1 1.7 0.2
head rotation 90 0 0
frame 2
left release trigger
left tap menu
right press grip pad
frame 4            # frame 3 changes nothing
right index 5
left role right
right role left
frame 5
left disconnect
focus captured
frame 6
left connect
left tracking off
focus released
right index none
)");
  EXPECT_EQ(axisType(2, 1), vr::k_eControllerAxis_Joystick);  // header applies at start

  frame();  // 1
  EXPECT_EQ(vrsim::poseFrameCount(), 1u);
  EXPECT_EQ(buttons(1), kTrigger);
  EXPECT_EQ(events(), (std::vector<Event>{{vr::VREvent_ButtonPress, 1, 33}}));
  EXPECT_FLOAT_EQ(axis(2, 1).x, 0.5f);
  EXPECT_FLOAT_EQ(axis(2, 1).y, -0.25f);
  const vr::HmdMatrix34_t& head = poses[0].mDeviceToAbsoluteTracking;
  EXPECT_FLOAT_EQ(head.m[0][3], 0.1f);
  EXPECT_FLOAT_EQ(head.m[1][3], 1.7f);
  EXPECT_FLOAT_EQ(head.m[2][3], 0.2f);
  // Yaw 90 degrees to the left: forward (-z column negated) becomes -x.
  EXPECT_NEAR(-head.m[0][2], -1.0f, 1e-6);
  EXPECT_NEAR(-head.m[2][2], 0.0f, 1e-6);

  frame();  // 2
  EXPECT_EQ(buttons(1), 0u);
  EXPECT_EQ(buttons(2), kGrip | kPad);
  EXPECT_EQ(events(), (std::vector<Event>{{vr::VREvent_ButtonUnpress, 1, 33},
                                          {vr::VREvent_ButtonPress, 1, 1},
                                          {vr::VREvent_ButtonUnpress, 1, 1},
                                          {vr::VREvent_ButtonPress, 2, 2},
                                          {vr::VREvent_ButtonPress, 2, 32}}));
  EXPECT_EQ(buttons(1) & kMenu, 0u);  // tapped: pressed and released within the frame

  frame();  // 3: states stay, no events
  EXPECT_EQ(buttons(2), kGrip | kPad);
  EXPECT_TRUE(events().empty());

  frame();  // 4: the right controller moves to index 5, the roles swap
  EXPECT_EQ(role(vr::TrackedControllerRole_LeftHand), 5u);
  EXPECT_EQ(role(vr::TrackedControllerRole_RightHand), 1u);
  EXPECT_EQ(system->GetTrackedDeviceClass(2), vr::TrackedDeviceClass_Invalid);
  EXPECT_EQ(system->GetTrackedDeviceClass(5), vr::TrackedDeviceClass_Controller);
  EXPECT_EQ(buttons(5), kGrip | kPad);
  EXPECT_TRUE(poses[5].bPoseIsValid);
  EXPECT_FALSE(poses[2].bDeviceIsConnected);
  EXPECT_EQ(events(), (std::vector<Event>{{vr::VREvent_TrackedDeviceDeactivated, 2, 0},
                                          {vr::VREvent_TrackedDeviceActivated, 5, 0},
                                          {vr::VREvent_TrackedDeviceRoleChanged, 1, 0},
                                          {vr::VREvent_TrackedDeviceRoleChanged, 5, 0}}));

  frame();  // 5
  EXPECT_FALSE(system->IsTrackedDeviceConnected(1));
  EXPECT_FALSE(poses[1].bPoseIsValid);
  EXPECT_FALSE(poses[1].bDeviceIsConnected);
  EXPECT_EQ(buttons(1), ~uint64_t(0));  // no state from a switched-off controller
  EXPECT_TRUE(system->IsInputFocusCapturedByAnotherProcess());
  EXPECT_FALSE(system->IsInputAvailable());
  EXPECT_EQ(events(), (std::vector<Event>{{vr::VREvent_TrackedDeviceDeactivated, 1, 0},
                                          {vr::VREvent_InputFocusCaptured, kNone, 0}}));

  frame();  // 6
  EXPECT_TRUE(system->IsTrackedDeviceConnected(1));
  EXPECT_TRUE(poses[1].bDeviceIsConnected);
  EXPECT_FALSE(poses[1].bPoseIsValid);
  EXPECT_EQ(poses[1].eTrackingResult, vr::TrackingResult_Running_OutOfRange);
  EXPECT_FALSE(system->IsInputFocusCapturedByAnotherProcess());
  EXPECT_EQ(role(vr::TrackedControllerRole_LeftHand), kNone);  // the right controller is gone
  EXPECT_EQ(role(vr::TrackedControllerRole_RightHand), 1u);
  EXPECT_EQ(events(), (std::vector<Event>{{vr::VREvent_TrackedDeviceActivated, 1, 0},
                                          {vr::VREvent_InputFocusReleased, kNone, 0},
                                          {vr::VREvent_TrackedDeviceDeactivated, 5, 0}}));
}

TEST_F(ScriptTimeline, ControllerTypeAndRenderModelNames) {
  start(R"(
left type "a/b c"
left render-model my_wand
right property 1005 "Some Maker"
)");
  char buffer[64];
  system->GetStringTrackedDeviceProperty(1, vr::Prop_ControllerType_String, buffer, sizeof buffer);
  EXPECT_STREQ(buffer, "a/b c");
  system->GetStringTrackedDeviceProperty(1, vr::Prop_RenderModelName_String, buffer, sizeof buffer);
  EXPECT_STREQ(buffer, "my_wand");
  system->GetStringTrackedDeviceProperty(2, vr::Prop_ManufacturerName_String, buffer, sizeof buffer);
  EXPECT_STREQ(buffer, "Some Maker");
}

TEST(ScriptErrors, BadLinesAreReportedAndSkipped) {
  const std::vector<std::string> errors = vrsim::useScript(R"(rate 0
left press trigger
left press thumb
left position 1 2
fly away
frame 5
frame 3
right axis 7 0 0
left type "open
fail init abc
)", "demo.txt");
  const std::vector<std::string> expected = {
      "demo.txt:3: unknown button 'thumb' (menu, grip, a, pad, trigger, system or 0..63)",
      "demo.txt:4: expected: position X Y Z",
      "demo.txt:5: unknown command 'fly'",
      "demo.txt:7: frame 3 comes after frame 5; frames must not go back",
      "demo.txt:8: '7' is outside 0..4",
      "demo.txt:9: a quoted text is not closed",
      "demo.txt:10: 'abc' is not a whole number",
  };
  EXPECT_EQ(errors, expected);
  EXPECT_EQ(vrsim::scriptErrors(), expected);
  // The good lines still act.
  vr::EVRInitError error = vr::VRInitError_None;
  vr::IVRSystem* system = vr::VR_Init(&error, vr::VRApplication_Scene);
  ASSERT_NE(system, nullptr);
  vr::VRControllerState_t state;
  ASSERT_TRUE(system->GetControllerState(1, &state, sizeof state));
  EXPECT_EQ(state.ulButtonPressed, kTrigger);
  vr::VR_Shutdown();
}

TEST(ScriptFile, ComesFromTheEnvironmentOrBesideTheConfiguration) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("vrsim-script-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  std::ofstream(dir / "vrsim.txt") << "rate 0\nrender-size 100 200\n";
  std::ofstream(dir / "other.txt") << "rate 0\nrender-size 300 400\n";

  auto recommended = [] {
    vr::EVRInitError error = vr::VRInitError_None;
    vr::IVRSystem* system = vr::VR_Init(&error, vr::VRApplication_Scene);
    uint32_t w = 0, h = 0;
    if (system) system->GetRecommendedRenderTargetSize(&w, &h);
    vr::VR_Shutdown();
    return std::make_pair(w, h);
  };

  ::setenv("QUONIX_BASE_DIR", dir.c_str(), 1);
  ::unsetenv("QUONIX_VRSIM_SCRIPT");
  vrsim::useScriptFile();
  EXPECT_EQ(recommended(), std::make_pair(100u, 200u));
  EXPECT_EQ(vrsim::scriptName(), (dir / "vrsim.txt").string());

  ::setenv("QUONIX_VRSIM_SCRIPT", (dir / "other.txt").c_str(), 1);
  vrsim::useScriptFile();
  EXPECT_EQ(recommended(), std::make_pair(300u, 400u));

  // A script that cannot be read is reported; the headset runs with its defaults.
  ::setenv("QUONIX_VRSIM_SCRIPT", (dir / "missing.txt").c_str(), 1);
  vrsim::useScriptFile();
  EXPECT_EQ(recommended(), std::make_pair(640u, 720u));
  ASSERT_EQ(vrsim::scriptErrors().size(), 1u);
  EXPECT_NE(vrsim::scriptErrors()[0].find("cannot read the script"), std::string::npos);

  ::unsetenv("QUONIX_VRSIM_SCRIPT");
  ::unsetenv("QUONIX_BASE_DIR");
  vrsim::useScript("", "test");
  fs::remove_all(dir);
}

// "time" lines hold the frame they belong to: the wait for that frame lasts the extra time.
TEST(ScriptTime, ATimeLineHoldsItsFrame) {
  const std::vector<std::string> errors =
      vrsim::useScript("rate 0\nframe 3\ntime +0.2\ntime -1\ntime 61\ntime soon\n", "time.txt");
  const std::vector<std::string> expected = {"time.txt:4: time must lie in 0..60 seconds",
                                             "time.txt:5: time must lie in 0..60 seconds",
                                             "time.txt:6: 'soon' is not a number"};
  EXPECT_EQ(errors, expected);
  vr::EVRInitError error = vr::VRInitError_None;
  ASSERT_NE(vr::VR_Init(&error, vr::VRApplication_Scene), nullptr);
  vr::IVRCompositor* compositor = vr::VRCompositor();
  vr::TrackedDevicePose_t poses[vr::k_unMaxTrackedDeviceCount];
  std::vector<double> waits;
  for (int frame = 1; frame <= 4; ++frame) {
    const auto start = std::chrono::steady_clock::now();
    compositor->WaitGetPoses(poses, vr::k_unMaxTrackedDeviceCount, nullptr, 0);
    waits.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  EXPECT_LT(waits[1], 0.1);
  EXPECT_GE(waits[2], 0.2);
  EXPECT_LT(waits[3], 0.1);
  vr::VR_Shutdown();
}

// On the scripted clock a "time" line moves the runtime's clock on at once: presented frames
// carry exactly the scripted times, and no frame waits (pacing included).
TEST(ScriptTime, OnTheScriptedClockTimeLinesMoveTheClockWithoutWaiting) {
  EXPECT_TRUE(vrsim::useScript("rate 90\nclock scripted\nclock steady\nframe 2\ntime +20\nframe 3\ntime 25.5\n"
                               "frame 4\ntime 1\n",
                               "clock.txt") == std::vector<std::string>{"clock.txt:3: expected: clock scripted"});
  vr::EVRInitError error = vr::VRInitError_None;
  ASSERT_NE(vr::VR_Init(&error, vr::VRApplication_Scene), nullptr);
  vr::IVRCompositor* compositor = vr::VRCompositor();
  vr::TrackedDevicePose_t poses[vr::k_unMaxTrackedDeviceCount];
  vr::Texture_t texture = {reinterpret_cast<void*>(uintptr_t(1)), vr::TextureType_OpenGL, vr::ColorSpace_Auto};
  const auto start = std::chrono::steady_clock::now();
  for (int frame = 1; frame <= 4; ++frame) {
    compositor->WaitGetPoses(poses, vr::k_unMaxTrackedDeviceCount, nullptr, 0);
    compositor->Submit(vr::Eye_Left, &texture);
    compositor->Submit(vr::Eye_Right, &texture);
  }
  // The script's times add up to 25.5 s; the four frames take nowhere near that.
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 20.0);
  // Newest first: "time 1" lies in the past, so frame 4 stays at 25.5 s.
  const double expected[] = {25.5, 25.5, 20.0, 0.0};
  for (uint32_t ago = 0; ago < 4; ++ago) {
    vr::Compositor_FrameTiming timing = {};
    timing.m_nSize = sizeof timing;
    ASSERT_TRUE(compositor->GetFrameTiming(&timing, ago));
    EXPECT_EQ(timing.m_flSystemTimeInSeconds, expected[ago]) << ago;
  }
  vr::VR_Shutdown();
}

// A "wait-file" line holds its frame until the file appears.
TEST(ScriptTime, AWaitFileLineHoldsItsFrameUntilTheFileExists) {
  namespace fs = std::filesystem;
  const fs::path go = fs::temp_directory_path() / ("vrsim-go-" + std::to_string(::getpid()));
  fs::remove(go);
  EXPECT_TRUE(vrsim::useScript("rate 0\nframe 2\nwait-file \"" + go.string() + "\"\nframe 3\nwait-file\n", "go.txt") ==
              std::vector<std::string>{"go.txt:5: expected: wait-file PATH"});
  vr::EVRInitError error = vr::VRInitError_None;
  ASSERT_NE(vr::VR_Init(&error, vr::VRApplication_Scene), nullptr);
  vr::IVRCompositor* compositor = vr::VRCompositor();
  vr::TrackedDevicePose_t poses[vr::k_unMaxTrackedDeviceCount];
  compositor->WaitGetPoses(poses, vr::k_unMaxTrackedDeviceCount, nullptr, 0);
  std::thread signal([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    std::ofstream(go.string()) << "go";
  });
  const auto start = std::chrono::steady_clock::now();
  compositor->WaitGetPoses(poses, vr::k_unMaxTrackedDeviceCount, nullptr, 0);
  const double waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  signal.join();
  EXPECT_GE(waited, 0.15);
  EXPECT_LT(waited, 10.0);
  EXPECT_EQ(vrsim::poseFrameCount(), 2u);
  vr::VR_Shutdown();
  fs::remove(go);
}
