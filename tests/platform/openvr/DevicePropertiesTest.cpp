// Device properties (the two-call string protocol, typed errors), the eyes and the
// recommended size.
#include <gtest/gtest.h>
#include <openvr.h>

#include <cmath>
#include <string>
#include <vector>

#include "SimulatedHeadset.h"

using DeviceProperties = SimulatedHeadset;

TEST_F(DeviceProperties, StringsFollowTheTwoCallLengthProtocol) {
  start("left type vive_controller");
  vr::ETrackedPropertyError error = vr::TrackedProp_Success;
  // First call: no buffer, the size with its terminating zero.
  const uint32_t size = system->GetStringTrackedDeviceProperty(1, vr::Prop_ControllerType_String, nullptr, 0, &error);
  EXPECT_EQ(size, std::string("vive_controller").size() + 1);
  EXPECT_EQ(error, vr::TrackedProp_BufferTooSmall);

  // One byte short: the required size again, the buffer untouched.
  std::vector<char> small(size - 1, 'x');
  EXPECT_EQ(system->GetStringTrackedDeviceProperty(1, vr::Prop_ControllerType_String, small.data(),
                                                   uint32_t(small.size()), &error),
            size);
  EXPECT_EQ(error, vr::TrackedProp_BufferTooSmall);
  EXPECT_EQ(std::string(small.begin(), small.end()), std::string(size - 1, 'x'));

  // Second call with a buffer of that size.
  std::vector<char> buffer(size);
  EXPECT_EQ(system->GetStringTrackedDeviceProperty(1, vr::Prop_ControllerType_String, buffer.data(), size, &error),
            size);
  EXPECT_EQ(error, vr::TrackedProp_Success);
  EXPECT_STREQ(buffer.data(), "vive_controller");
}

TEST_F(DeviceProperties, EmptyValueNeedsOnlyItsZero) {
  start("left property 1001 \"\"");
  vr::ETrackedPropertyError error = vr::TrackedProp_Success;
  EXPECT_EQ(system->GetStringTrackedDeviceProperty(1, vr::Prop_ModelNumber_String, nullptr, 0, &error), 1u);
  char one = 'x';
  EXPECT_EQ(system->GetStringTrackedDeviceProperty(1, vr::Prop_ModelNumber_String, &one, 1, &error), 1u);
  EXPECT_EQ(error, vr::TrackedProp_Success);
  EXPECT_EQ(one, '\0');
}

TEST_F(DeviceProperties, UnreadablePropertiesGiveZeroAndTheirError) {
  start("right index none");
  const struct {
    vr::TrackedDeviceIndex_t device;
    int property;
    vr::ETrackedPropertyError error;
  } cases[] = {
      {2, vr::Prop_ControllerType_String, vr::TrackedProp_InvalidDevice},  // absent controller
      {vr::k_unTrackedDeviceIndexInvalid, vr::Prop_ControllerType_String, vr::TrackedProp_InvalidDevice},
      {1, vr::Prop_Axis0Type_Int32, vr::TrackedProp_WrongDataType},  // an int read as a string
      {0, vr::Prop_ControllerType_String, vr::TrackedProp_ValueNotProvidedByDevice},  // the headset has none
      {1, 424242, vr::TrackedProp_UnknownProperty},
  };
  for (const auto& c : cases) {
    vr::ETrackedPropertyError error = vr::TrackedProp_Success;
    char buffer[8] = "x";
    EXPECT_EQ(system->GetStringTrackedDeviceProperty(c.device, vr::ETrackedDeviceProperty(c.property), buffer,
                                                     sizeof buffer, &error),
              0u)
        << c.device << " " << c.property;
    EXPECT_EQ(error, c.error) << c.device << " " << c.property;
    EXPECT_STREQ(buffer, "x");
  }
  vr::ETrackedPropertyError error = vr::TrackedProp_Success;
  EXPECT_EQ(system->GetInt32TrackedDeviceProperty(1, vr::Prop_ControllerType_String, &error), 0);
  EXPECT_EQ(error, vr::TrackedProp_WrongDataType);
  EXPECT_EQ(system->GetInt32TrackedDeviceProperty(1, vr::Prop_DeviceClass_Int32, &error),
            int32_t(vr::TrackedDeviceClass_Controller));
  EXPECT_EQ(error, vr::TrackedProp_Success);
  EXPECT_STREQ(system->GetPropErrorNameFromEnum(vr::TrackedProp_BufferTooSmall), "TrackedProp_BufferTooSmall");
}

TEST_F(DeviceProperties, HeadsetFrequencyAndIpdFollowTheScript) {
  start("rate 120\nipd 0.07");
  EXPECT_FLOAT_EQ(system->GetFloatTrackedDeviceProperty(0, vr::Prop_DisplayFrequency_Float), 120.0f);
  EXPECT_FLOAT_EQ(system->GetFloatTrackedDeviceProperty(0, vr::Prop_UserIpdMeters_Float), 0.07f);
  EXPECT_FLOAT_EQ(system->GetEyeToHeadTransform(vr::Eye_Left).m[0][3], -0.035f);
  EXPECT_FLOAT_EQ(system->GetEyeToHeadTransform(vr::Eye_Right).m[0][3], 0.035f);
}

TEST_F(DeviceProperties, EyesAreAsymmetricMirrorImages) {
  start();
  uint32_t w = 0, h = 0;
  system->GetRecommendedRenderTargetSize(&w, &h);
  EXPECT_EQ(w, 640u);
  EXPECT_EQ(h, 720u);

  const vr::HmdMatrix34_t left = system->GetEyeToHeadTransform(vr::Eye_Left);
  const vr::HmdMatrix34_t right = system->GetEyeToHeadTransform(vr::Eye_Right);
  EXPECT_FLOAT_EQ(left.m[0][3], -0.032f);
  EXPECT_FLOAT_EQ(right.m[0][3], 0.032f);
  EXPECT_FLOAT_EQ(left.m[0][0], 1.0f);

  const float n = 0.2f, f = 1000.0f;
  const vr::HmdMatrix44_t pl = system->GetProjectionMatrix(vr::Eye_Left, n, f);
  const vr::HmdMatrix44_t pr = system->GetProjectionMatrix(vr::Eye_Right, n, f);
  EXPECT_LT(pl.m[0][2], 0.0f);  // the left eye sees more to the left
  EXPECT_FLOAT_EQ(pl.m[0][2], -pr.m[0][2]);
  EXPECT_FLOAT_EQ(pl.m[0][0], pr.m[0][0]);
  EXPECT_FLOAT_EQ(pl.m[3][2], -1.0f);
  // A point straight ahead on the near plane lands on clip z = -w, on the far plane on z = w.
  auto clipZoverW = [&](float z) { return (pl.m[2][2] * z + pl.m[2][3]) / (pl.m[3][2] * z); };
  EXPECT_NEAR(clipZoverW(-n), -1.0f, 1e-4);
  EXPECT_NEAR(clipZoverW(-f), 1.0f, 1e-4);
  // A point up and to the right shows up and to the right.
  EXPECT_GT(pl.m[1][1], 0.0f);

  float l, r, t, b;
  system->GetProjectionRaw(vr::Eye_Left, &l, &r, &t, &b);
  EXPECT_LT(l, 0.0f);
  EXPECT_GT(r, 0.0f);
  EXPECT_LT(t, 0.0f);
  EXPECT_GT(std::fabs(l), std::fabs(r));
}

TEST_F(DeviceProperties, RenderSizeFromTheScript) {
  start("render-size 1512 1680");
  uint32_t w = 0, h = 0;
  system->GetRecommendedRenderTargetSize(&w, &h);
  EXPECT_EQ(w, 1512u);
  EXPECT_EQ(h, 1680u);
}
