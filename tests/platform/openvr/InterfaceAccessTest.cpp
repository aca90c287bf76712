// Initialisation, shut-down, the interface cache and injected initialisation errors.
#include <gtest/gtest.h>
#include <openvr.h>

#include <cstring>
#include <string>

#include "SimulatedHeadset.h"
#include "VRSimulator.h"

using InterfaceAccess = SimulatedHeadset;

TEST_F(InterfaceAccess, AccessorsYieldNullWhileNotInitialised) {
  vrsim::useScript("", "test");
  EXPECT_EQ(vr::VR_GetInitToken(), 0u);
  EXPECT_EQ(vr::VRSystem(), nullptr);
  EXPECT_EQ(vr::VRCompositor(), nullptr);
  EXPECT_EQ(vr::VRRenderModels(), nullptr);
  vr::EVRInitError error = vr::VRInitError_None;
  EXPECT_EQ(vr::VR_GetGenericInterface(vr::IVRSystem_Version, &error), nullptr);
  EXPECT_EQ(error, vr::VRInitError_Init_NotInitialized);

  start();
  vr::VR_Shutdown();
  EXPECT_EQ(vr::VRSystem(), nullptr);
  EXPECT_EQ(vr::VRCompositor(), nullptr);
  EXPECT_EQ(vr::VRRenderModels(), nullptr);
}

TEST_F(InterfaceAccess, NewInitialisationFetchesFreshInterfaces) {
  start();
  const uint32_t firstToken = vr::VR_GetInitToken();
  vr::IVRSystem* firstSystem = vr::VRSystem();
  vr::IVRCompositor* firstCompositor = vr::VRCompositor();
  vr::IVRRenderModels* firstModels = vr::VRRenderModels();
  ASSERT_NE(firstToken, 0u);
  ASSERT_NE(firstModels, nullptr);
  EXPECT_EQ(vr::VRSystem(), firstSystem);  // cached

  vr::VR_Shutdown();
  vr::EVRInitError error = vr::VRInitError_None;
  vr::VR_InitInternal(&error, vr::VRApplication_Scene);  // no explicit cache clear
  ASSERT_EQ(error, vr::VRInitError_None);
  const uint32_t secondToken = vr::VR_GetInitToken();
  EXPECT_NE(secondToken, firstToken);

  vr::IVRSystem* secondSystem = vr::VRSystem();
  EXPECT_NE(secondSystem, firstSystem);
  EXPECT_NE(vr::VRCompositor(), firstCompositor);
  EXPECT_NE(vr::VRRenderModels(), firstModels);
  EXPECT_EQ(secondSystem, vr::VR_GetGenericInterface(vr::IVRSystem_Version, &error));
  EXPECT_EQ(secondSystem->GetTrackedDeviceClass(0), vr::TrackedDeviceClass_HMD);

  // A pointer of the ended session is harmless: it answers as an uninitialised runtime.
  EXPECT_EQ(firstSystem->GetTrackedDeviceClass(0), vr::TrackedDeviceClass_Invalid);
  EXPECT_EQ(firstCompositor->WaitGetPoses(poses, vr::k_unMaxTrackedDeviceCount, nullptr, 0),
            vr::VRCompositorError_RequestFailed);
}

TEST_F(InterfaceAccess, InitialisingTwiceKeepsTheSession) {
  start();
  const uint32_t token = vr::VR_GetInitToken();
  vr::EVRInitError error = vr::VRInitError_Unknown;
  EXPECT_EQ(vr::VR_InitInternal(&error, vr::VRApplication_Scene), token);
  EXPECT_EQ(error, vr::VRInitError_None);
  EXPECT_EQ(vr::VRSystem(), system);
}

TEST_F(InterfaceAccess, InjectedInitErrorHasItsEnglishDescription) {
  vrsim::useScript("fail init 108", "test");
  EXPECT_FALSE(vr::VR_IsHmdPresent());
  vr::EVRInitError error = vr::VRInitError_None;
  EXPECT_EQ(vr::VR_Init(&error, vr::VRApplication_Scene), nullptr);
  EXPECT_EQ(error, vr::VRInitError_Init_HmdNotFound);
  EXPECT_STREQ(vr::VR_GetVRInitErrorAsEnglishDescription(error), "Hmd Not Found (108)");
  EXPECT_STREQ(vr::VR_GetVRInitErrorAsSymbol(error), "VRInitError_Init_HmdNotFound");
  EXPECT_EQ(vr::VR_GetInitToken(), 0u);
  EXPECT_EQ(vr::VRSystem(), nullptr);
  // Every further attempt fails the same way.
  EXPECT_EQ(vr::VR_Init(&error, vr::VRApplication_Scene), nullptr);
  EXPECT_EQ(error, vr::VRInitError_Init_HmdNotFound);
}

TEST_F(InterfaceAccess, InitErrorForANumberOfAttempts) {
  vrsim::useScript("fail init 301 times 1", "test");
  vr::EVRInitError error = vr::VRInitError_None;
  EXPECT_EQ(vr::VR_Init(&error, vr::VRApplication_Scene), nullptr);
  EXPECT_EQ(error, vr::VRInitError_IPC_ConnectFailed);
  EXPECT_NE(vr::VR_Init(&error, vr::VRApplication_Scene), nullptr);
  EXPECT_EQ(error, vr::VRInitError_None);
}

TEST(InitErrorText, DescriptionsEndWithTheNumber) {
  const struct {
    vr::EVRInitError error;
    const char* description;
  } cases[] = {
      {vr::VRInitError_None, "No Error (0)"},
      {vr::VRInitError_Init_InterfaceNotFound, "Interface Not Found (105)"},
      {vr::VRInitError_Init_HmdNotFound, "Hmd Not Found (108)"},
      {vr::VRInitError_Init_NotInitialized, "Not Initialized (109)"},
      {vr::VRInitError_Compositor_Failed, "Compositor Failed To Start (400)"},
      {vr::EVRInitError(9999), "Unknown Error (9999)"},
  };
  for (const auto& c : cases) EXPECT_STREQ(vr::VR_GetVRInitErrorAsEnglishDescription(c.error), c.description);
  // The texts stay valid: the same pointer comes back.
  EXPECT_EQ(vr::VR_GetVRInitErrorAsEnglishDescription(vr::EVRInitError(9999)),
            vr::VR_GetVRInitErrorAsEnglishDescription(vr::EVRInitError(9999)));
}

TEST_F(InterfaceAccess, MissingSystemInterfaceShutsDownWithInterfaceNotFound) {
  vrsim::useScript("fail interface IVRSystem_015", "test");
  vr::EVRInitError error = vr::VRInitError_None;
  EXPECT_EQ(vr::VR_Init(&error, vr::VRApplication_Scene), nullptr);
  EXPECT_EQ(error, vr::VRInitError_Init_InterfaceNotFound);
  EXPECT_EQ(vr::VR_GetInitToken(), 0u);
  EXPECT_STREQ(vr::VR_GetVRInitErrorAsEnglishDescription(error), "Interface Not Found (105)");
}

TEST_F(InterfaceAccess, OnlyTheThreeVersionsAreOffered) {
  start();
  EXPECT_TRUE(vr::VR_IsInterfaceVersionValid("IVRSystem_015"));
  EXPECT_TRUE(vr::VR_IsInterfaceVersionValid("IVRCompositor_020"));
  EXPECT_TRUE(vr::VR_IsInterfaceVersionValid("IVRRenderModels_005"));
  EXPECT_FALSE(vr::VR_IsInterfaceVersionValid("IVRSystem_014"));
  EXPECT_FALSE(vr::VR_IsInterfaceVersionValid(nullptr));
  vr::EVRInitError error = vr::VRInitError_None;
  EXPECT_EQ(vr::VR_GetGenericInterface("IVROverlay_013", &error), nullptr);
  EXPECT_EQ(error, vr::VRInitError_Init_InterfaceNotFound);
}

TEST(InterfaceLayout, RecordSizesMatchTheInterface) {
  EXPECT_EQ(sizeof(vr::VRControllerState_t), 64u);
  EXPECT_EQ(sizeof(vr::Compositor_FrameTiming), 176u);
  EXPECT_EQ(sizeof(vr::RenderModel_Vertex_t), 32u);
  EXPECT_EQ(sizeof(vr::HmdMatrix34_t), 48u);
  EXPECT_EQ(vr::ButtonMaskFromId(vr::k_EButton_SteamVR_Trigger), uint64_t(1) << 33);
  EXPECT_EQ(vr::ButtonMaskFromId(vr::k_EButton_SteamVR_Touchpad), uint64_t(1) << 32);
}
