// The simulated runtime folder through the SDK's loader, without the program: the records the
// SDK lays out differently from the simulator (controller state, events, render models) arrive
// field by field, a failed start reports the runtime's error and a later start succeeds, and
// with no runtime the loader reports its own error.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "openvr.h"

namespace {

std::string tempDir() {
  char name[] = "/tmp/quonix-runtime-XXXXXX";
  const char* made = mkdtemp(name);
  return made ? made : "";
}

void makeDir(const std::string& path) { ASSERT_EQ(std::system(("mkdir -p '" + path + "'").c_str()), 0); }

// Runs frames until the controller's event of that type comes; false after 20 frames.
bool frameUntilEvent(vr::IVRSystem* system, uint32_t type, vr::VREvent_t& event) {
  vr::TrackedDevicePose_t poses[vr::k_unMaxTrackedDeviceCount];
  for (int frame = 0; frame < 20; ++frame) {
    vr::VRCompositor()->WaitGetPoses(poses, vr::k_unMaxTrackedDeviceCount, nullptr, 0);
    while (system->PollNextEvent(&event, sizeof event))
      if (event.eventType == type) return true;
  }
  return false;
}

}  // namespace

TEST(RuntimeLoader, TheSimulatedRuntimeAnswersThroughTheSdksInterfaces) {
  const std::string dir = tempDir();
  ASSERT_FALSE(dir.empty());
  for (const char* sub : {"/settings", "/vrconfig", "/vrlog"}) makeDir(dir + sub);
  std::ofstream(dir + "/vrsim.txt") << "rate 0\nfail init 108 times 1\n"
                                    << "frame 3\nleft axis 0 0.25 -0.5\nleft press trigger\n";
  setenv("XDG_CONFIG_HOME", (dir + "/settings").c_str(), 1);
  setenv("QUONIX_VRSIM_SCRIPT", (dir + "/vrsim.txt").c_str(), 1);
  unsetenv("VR_OVERRIDE");

  // No runtime anywhere: the loader's own error.
  vr::EVRInitError error = vr::VRInitError_None;
  EXPECT_EQ(vr::VR_Init(&error, vr::VRApplication_Scene), nullptr);
  EXPECT_EQ(error, vr::VRInitError_Init_PathRegistryNotFound);
  EXPECT_STREQ(vr::VR_GetVRInitErrorAsEnglishDescription(error), "Installation path could not be located (110)");

  setenv("VR_OVERRIDE", QUONIX_VRSIM_RUNTIME_DIR, 1);
  setenv("VR_CONFIG_PATH", (dir + "/vrconfig").c_str(), 1);
  setenv("VR_LOG_PATH", (dir + "/vrlog").c_str(), 1);
  // The scripted failure, then a start.
  EXPECT_EQ(vr::VR_Init(&error, vr::VRApplication_Scene), nullptr);
  EXPECT_EQ(error, vr::VRInitError_Init_HmdNotFound);
  EXPECT_STREQ(vr::VR_GetVRInitErrorAsEnglishDescription(error), "Hmd Not Found (108)");
  vr::IVRSystem* system = vr::VR_Init(&error, vr::VRApplication_Scene);
  ASSERT_NE(system, nullptr) << vr::VR_GetVRInitErrorAsEnglishDescription(error);
  ASSERT_NE(vr::VRCompositor(), nullptr);
  ASSERT_NE(vr::VRRenderModels(), nullptr);
  EXPECT_TRUE(vr::VR_IsInterfaceVersionValid(vr::IVRSystem_Version));
  EXPECT_FALSE(vr::VR_IsInterfaceVersionValid("IVRChaperone_004"));  // not simulated
  EXPECT_EQ(vr::VR_GetGenericInterface(vr::IVRChaperone_Version, &error), nullptr);

  uint32_t width = 0, height = 0;
  system->GetRecommendedRenderTargetSize(&width, &height);
  EXPECT_EQ(width, 640u);
  EXPECT_EQ(height, 720u);
  EXPECT_TRUE(system->IsInputAvailable());
  const vr::TrackedDeviceIndex_t left = system->GetTrackedDeviceIndexForControllerRole(vr::TrackedControllerRole_LeftHand);
  ASSERT_EQ(left, 1u);
  EXPECT_EQ(system->GetTrackedDeviceClass(left), vr::TrackedDeviceClass_Controller);

  // The press comes as an event with its button, and in the (packed) state with the pad's place.
  vr::VREvent_t event;
  ASSERT_TRUE(frameUntilEvent(system, vr::VREvent_ButtonPress, event));
  EXPECT_EQ(event.trackedDeviceIndex, left);
  EXPECT_EQ(event.data.controller.button, uint32_t(vr::k_EButton_SteamVR_Trigger));
  vr::VRControllerState_t state;
  ASSERT_TRUE(system->GetControllerState(left, &state, sizeof state));
  EXPECT_EQ(state.ulButtonPressed, vr::ButtonMaskFromId(vr::k_EButton_SteamVR_Trigger));
  EXPECT_FLOAT_EQ(state.rAxis[0].x, 0.25f);
  EXPECT_FLOAT_EQ(state.rAxis[0].y, -0.5f);
  vr::TrackedDevicePose_t poses[vr::k_unMaxTrackedDeviceCount];
  ASSERT_EQ(vr::VRCompositor()->GetLastPoses(poses, vr::k_unMaxTrackedDeviceCount, nullptr, 0),
            vr::VRCompositorError_None);
  EXPECT_TRUE(poses[0].bPoseIsValid);
  EXPECT_NEAR(poses[0].mDeviceToAbsoluteTracking.m[1][3], 1.6f, 1e-5f);

  // The controller's render model and its texture in the SDK's (packed) records.
  char name[vr::k_unMaxPropertyStringSize];
  system->GetStringTrackedDeviceProperty(left, vr::Prop_RenderModelName_String, name, sizeof name);
  vr::RenderModel_t* model = nullptr;
  vr::EVRRenderModelError result;
  while ((result = vr::VRRenderModels()->LoadRenderModel_Async(name, &model)) == vr::VRRenderModelError_Loading) {
  }
  ASSERT_EQ(result, vr::VRRenderModelError_None);
  ASSERT_NE(model, nullptr);
  ASSERT_GT(model->unTriangleCount, 100u);
  for (uint32_t i = 0; i < model->unTriangleCount * 3; ++i) ASSERT_LT(model->rIndexData[i], model->unVertexCount);
  ASSERT_GE(model->diffuseTextureId, 0);
  vr::RenderModel_TextureMap_t* texture = nullptr;
  while ((result = vr::VRRenderModels()->LoadTexture_Async(model->diffuseTextureId, &texture)) ==
         vr::VRRenderModelError_Loading) {
  }
  ASSERT_EQ(result, vr::VRRenderModelError_None);
  ASSERT_NE(texture, nullptr);
  EXPECT_EQ(texture->unWidth, 64);
  EXPECT_EQ(texture->unHeight, 64);
  EXPECT_EQ(texture->format, vr::VRRenderModelTextureFormat_RGBA8_SRGB);
  // The body's dark grey in the top left corner, fully opaque.
  EXPECT_EQ(texture->rubTextureMapData[0], 44);
  EXPECT_EQ(texture->rubTextureMapData[2], 48);
  EXPECT_EQ(texture->rubTextureMapData[3], 255);

  vr::VR_Shutdown();
  EXPECT_EQ(vr::VRSystem(), nullptr);
}
