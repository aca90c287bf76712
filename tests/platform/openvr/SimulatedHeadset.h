#pragma once
// Test fixture: a fresh simulated world from a script, initialised as the program does.
#include <gtest/gtest.h>
#include <openvr.h>

#include <string>

#include "VRSimulator.h"

class SimulatedHeadset : public ::testing::Test {
 protected:
  // Unpaced frames unless the script sets a rate; a script error fails the test.
  void start(const std::string& script = "") {
    const auto errors = vrsim::useScript("rate 0\n" + script, "test");
    for (const std::string& e : errors) ADD_FAILURE() << e;
    vr::EVRInitError error = vr::VRInitError_None;
    system = vr::VR_Init(&error, vr::VRApplication_Scene);
    ASSERT_EQ(error, vr::VRInitError_None);
    ASSERT_NE(system, nullptr);
    compositor = vr::VRCompositor();
    ASSERT_NE(compositor, nullptr);
  }

  void TearDown() override { vr::VR_Shutdown(); }

  // One frame as the program's controller poll begins it.
  void frame() {
    ASSERT_EQ(compositor->WaitGetPoses(poses, vr::k_unMaxTrackedDeviceCount, nullptr, 0),
              vr::VRCompositorError_None);
  }

  vr::IVRSystem* system = nullptr;
  vr::IVRCompositor* compositor = nullptr;
  vr::TrackedDevicePose_t poses[vr::k_unMaxTrackedDeviceCount] = {};
};
