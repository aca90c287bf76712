#include <gtest/gtest.h>

#include <openvr.h>

#include <cmath>
#include <string>

#include <vtkMatrix4x4.h>
#include <vtkNew.h>
#include <vtkOpenGLCamera.h>

#include "OpenVRCamera.h"
#include "RenderLock.h"
#include "VRSimulator.h"

namespace {

const double kIdentity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

// The simulated headset, running for one test.
class HeadsetTest : public ::testing::Test {
 protected:
  void SetUp() override { start("ipd 0.064\n"); }
  void start(const std::string& script) {
    vrsim::useScript(script, "camera-test");
    Lock::AutoLock lock(GetRenderLock());
    vr::EVRInitError error = vr::VRInitError_None;
    ASSERT_NE(vr::VR_Init(&error, vr::VRApplication_Scene), nullptr);
  }
  void TearDown() override {
    Lock::AutoLock lock(GetRenderLock());
    vr::VR_Shutdown();
  }
};

}  // namespace

TEST(OpenVRCameraType, AnswersForItselfAndItsOpenGLBase) {
  vtkNew<OpenVRCamera> camera;
  for (const char* name : {"OpenVRCamera", "vtkOpenGLCamera", "vtkCamera", "vtkObject"}) {
    EXPECT_TRUE(camera->IsA(name)) << name;
  }
  EXPECT_NE(vtkOpenGLCamera::SafeDownCast(camera), nullptr);
  camera->Render(nullptr);  // nothing to do, nothing touched
}

TEST_F(HeadsetTest, EyeOffsetsAreTheNegatedEyeToHeadTranslations) {
  vtkNew<OpenVRCamera> camera;
  updateEyeMatrices(camera);
  // Element 1 is the left eye, which sits at -ipd/2 in the head: its offset is +ipd/2.
  EXPECT_NEAR(camera->eyeOffset(1)->GetElement(0, 3), 0.032, 1e-6);
  EXPECT_NEAR(camera->eyeOffset(0)->GetElement(0, 3), -0.032, 1e-6);
  EXPECT_NEAR(camera->scaledEyeOffset(1)->GetElement(0, 3), 0.032, 1e-6);
  EXPECT_EQ(camera->eyeOffset(1)->GetElement(0, 0), 1.0);
  const double* range = camera->GetClippingRange();
  EXPECT_DOUBLE_EQ(range[0], 0.2);
  EXPECT_DOUBLE_EQ(range[1], 1000.0);
  // The projections are the headset's for that range, untransposed.
  vr::HmdMatrix44_t left;
  {
    Lock::AutoLock lock(GetRenderLock());
    left = vr::VRSystem()->GetProjectionMatrix(vr::Eye_Left, 0.2f, 1000.0f);
  }
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) EXPECT_EQ(camera->projection(1)->GetElement(r, c), double(left.m[r][c]));
}

TEST_F(HeadsetTest, ScaleWidensTheRangeAndTheEyes) {
  vtkNew<OpenVRCamera> camera;
  updateEyeMatrices(camera);
  updateHmdProjection(camera, 2.0);
  EXPECT_DOUBLE_EQ(camera->GetClippingRange()[0], 0.4);
  EXPECT_DOUBLE_EQ(camera->GetClippingRange()[1], 2000.0);
  EXPECT_NEAR(camera->scaledEyeOffset(1)->GetElement(0, 3), 0.064, 1e-6);
  EXPECT_NEAR(camera->eyeOffset(1)->GetElement(0, 3), 0.032, 1e-6);
  // A scale that is no positive number still leaves a valid range.
  updateHmdProjection(camera, 0.0);
  EXPECT_GT(camera->GetClippingRange()[0], 0.0);
  EXPECT_LT(camera->GetClippingRange()[0], camera->GetClippingRange()[1]);
}

TEST(OpenVRCameraNoHeadset, WithoutASystemInterfaceNothingIsAsked) {
  vtkNew<OpenVRCamera> camera;
  updateEyeMatrices(camera);
  EXPECT_EQ(camera->eyeOffset(1)->GetElement(0, 3), 0.0);
  EXPECT_EQ(camera->projection(1)->GetElement(0, 0), 1.0);
  EXPECT_DOUBLE_EQ(camera->GetClippingRange()[1], 1000.0);
}

TEST_F(HeadsetTest, PoseAndBoxVisibility) {
  vtkNew<OpenVRCamera> camera;
  updateEyeMatrices(camera);
  const double position[3] = {0, 1.6, 0};
  // Navigation moves the room 1 m along +x in the scene.
  const double navigation[16] = {1, 0, 0, 1, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  camera->setFromPose(kIdentity, position, navigation);
  double pose[16];
  camera->getPoseMatrix(pose);
  EXPECT_DOUBLE_EQ(pose[3], 1.0);
  EXPECT_DOUBLE_EQ(pose[7], 1.6);
  EXPECT_NEAR(camera->GetPosition()[0], 1.0, 1e-12);
  EXPECT_NEAR(camera->GetPosition()[1], 1.6, 1e-12);
  EXPECT_NEAR(camera->GetFocalPoint()[2], -1.0, 1e-12);

  // A small box straight ahead is seen, one behind is not.
  auto box = [](double cx, double cy, double cz, double (*corners)[4]) {
    for (int i = 0; i < 8; ++i) {
      corners[i][0] = cx + ((i & 1) ? 0.1 : -0.1);
      corners[i][1] = cy + ((i & 2) ? 0.1 : -0.1);
      corners[i][2] = cz + ((i & 4) ? 0.1 : -0.1);
      corners[i][3] = 1;
    }
  };
  double corners[8][4];
  box(1, 1.6, -3, corners);
  EXPECT_TRUE(camera->isBoxInView(corners, kIdentity, 1.0));
  box(1, 1.6, 3, corners);
  EXPECT_FALSE(camera->isBoxInView(corners, kIdentity, 1.0));
  // Off to the right at 80 % of the half-width: inside the whole view, outside its middle half.
  const double p00 = camera->projection(0)->GetElement(0, 0);
  const double p02 = camera->projection(0)->GetElement(0, 2);
  box(1 + (0.8 + p02) * 3 / p00, 1.6, -3, corners);
  EXPECT_TRUE(camera->isBoxInView(corners, kIdentity, 1.0));
  EXPECT_FALSE(camera->isBoxInView(corners, kIdentity, 0.5));
  // A box enclosing the head, all corners behind or beside: not in view.
  for (int i = 0; i < 8; ++i) {
    corners[i][0] = 1 + ((i & 1) ? 50 : -50);
    corners[i][1] = 1.6 + ((i & 2) ? 50 : -50);
    corners[i][2] = (i & 4) ? 1 : -1;
    corners[i][3] = 1;
  }
  EXPECT_FALSE(camera->isBoxInView(corners, kIdentity, 1.0));
}

TEST_F(HeadsetTest, ACornerExactlyOnAClipPlaneCounts) {
  vtkNew<OpenVRCamera> camera;
  updateEyeMatrices(camera);
  // Both eyes the same, so both see the same clip-space points.
  camera->projection(1)->DeepCopy(camera->projection(0));
  camera->scaledEyeOffset(1)->DeepCopy(camera->scaledEyeOffset(0));
  const double zero[3] = {0, 0, 0};
  camera->setFromPose(kIdentity, zero, kIdentity);
  // With world = inverse(projection x eye view) every corner maps to itself in clip space.
  vtkNew<vtkMatrix4x4> eyeView, full;
  vtkMatrix4x4::Multiply4x4(camera->scaledEyeOffset(0), camera->GetModelViewTransformMatrix(), eyeView);
  vtkMatrix4x4::Multiply4x4(camera->projection(0), eyeView, full);
  full->Invert();
  double world[16];
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) world[r * 4 + c] = full->GetElement(r, c);
  double corners[8][4];
  for (int i = 0; i < 8; ++i) {
    corners[i][0] = 2;  // outside in x
    corners[i][1] = 0;
    corners[i][2] = 0;
    corners[i][3] = 1;
  }
  corners[5][0] = 1;  // exactly on the right plane
  EXPECT_TRUE(camera->isBoxInView(corners, world, 1.0));
  corners[5][0] = 1.0001;
  EXPECT_FALSE(camera->isBoxInView(corners, world, 1.0));
}
