// The controller input record, pad and stick directions, hand precedence and the tool
// geometry shared by every tool.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>

#include "ControllerInput.h"
#include "ToolGeometry.h"
#include "VrTestSupport.h"

namespace {

struct AxisCase {
  double x, y, deadZone;
  int direction;
};

}  // namespace

class DirectionFromAxis : public ::testing::TestWithParam<AxisCase> {};

TEST_P(DirectionFromAxis, MapsAnglesToTheFourDirections) {
  const AxisCase c = GetParam();
  EXPECT_EQ(directionFromAxis(c.x, c.y, c.deadZone), c.direction) << c.x << ", " << c.y;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DirectionFromAxis,
    ::testing::Values(AxisCase{0, 0, 0, 4}, AxisCase{0, 0, 0.7, 4}, AxisCase{0.7, 0, 0.7, 4},
                      AxisCase{0.71, 0, 0.7, 2}, AxisCase{1, 1, 0, 2}, AxisCase{-1, 1, 0, 3}, AxisCase{-1, -1, 0, 0},
                      AxisCase{1, -1, 0, 1}, AxisCase{1, 0, 0, 2}, AxisCase{0, 1, 0, 3}, AxisCase{-1, 0, 0, 0},
                      AxisCase{0, -1, 0, 1}, AxisCase{std::nan(""), 0, 0, 4}, AxisCase{0.3, 0.1, 0, 2}));

TEST(ControllerInput, DefaultsAndNames) {
  const ControllerInput input;
  EXPECT_EQ(input.deviceIndex, kNoDevice);
  EXPECT_FALSE(input.hasDevice());
  EXPECT_EQ(input.padDirection, 4);
  EXPECT_EQ(input.stickDirection, 4);
  EXPECT_EQ(input.direction, 4);
  EXPECT_EQ(input.pose[0], 1.0);
  EXPECT_EQ(input.pose[15], 1.0);
  EXPECT_EQ(input.previousPose[0], 0.0);
  EXPECT_EQ(directionName(0), "West");
  EXPECT_EQ(directionName(4), "Undefined");
  EXPECT_EQ(directionName(5), "Alt");
  EXPECT_EQ(directionName(6), "");
  EXPECT_EQ(handName(0), "Left");
  EXPECT_EQ(handName(7), "Right");
}

TEST(ControllerInput, FromAMatrixSplitsRotationAndPosition) {
  const double m[16] = {0, -1, 0, 1.5, 1, 0, 0, 2.5, 0, 0, 1, -3.5, 0, 0, 0, 1};
  const ControllerInput input(m);
  EXPECT_EQ(input.position[0], 1.5);
  EXPECT_EQ(input.position[2], -3.5);
  EXPECT_EQ(input.pose[1], -1.0);
  EXPECT_EQ(input.pose[3], 0.0);
  EXPECT_EQ(input.pose[11], 0.0);
  EXPECT_EQ(input.deviceIndex, kNoDevice);
}

TEST(ControllerInput, TheDirectionThatBeganFirstWinsAndHandZeroWinsATie) {
  ControllerInput a, b;
  a.deviceIndex = 1;
  b.deviceIndex = 2;
  EXPECT_FALSE(isActiveController(a, b));
  a.directionActive = true;
  a.activationFrame = 10;
  EXPECT_TRUE(isActiveController(a, b));
  b.directionActive = true;
  b.activationFrame = 10;
  EXPECT_TRUE(isActiveController(a, b));
  EXPECT_TRUE(isActiveController(b, a));
  b.activationFrame = 9;
  EXPECT_FALSE(isActiveController(a, b));
  a.deviceIndex = kNoDevice;
  a.activationFrame = 1;
  EXPECT_FALSE(isActiveController(a, b));
}

TEST(ToolGeometry, ToolTipFollowsTheOffsetMirroredForTheLeftHand) {
  ControllerInput input;
  double tip[3];
  {
    ScopedBaseDir defaults;
    computeToolTransform(input, 1, tip);
    EXPECT_NEAR(tip[0], 0.0, 1e-12);
    EXPECT_NEAR(tip[1], -0.024, 1e-12);
    EXPECT_NEAR(tip[2], -0.1, 1e-12);
  }
  {
    ScopedBaseDir offset("toolsOffset = [0.01, 0.1, -0.024]\n");
    computeToolTransform(input, 1, tip);
    EXPECT_NEAR(tip[0], 0.01, 1e-12);
    computeToolTransform(input, 0, tip);
    EXPECT_NEAR(tip[0], -0.01, 1e-12);
  }
  ScopedBaseDir defaults;
  // In another frame: a translation by (1, 2, 3) moves the tip with it.
  const double a[16] = {1, 0, 0, 1, 0, 1, 0, 2, 0, 0, 1, 3, 0, 0, 0, 1};
  input.position[1] = 1.0;
  computeToolTipPosition(input, a, 1, tip);
  EXPECT_NEAR(tip[0], 1.0, 1e-12);
  EXPECT_NEAR(tip[1], 3.0 - 0.024, 1e-12);
  EXPECT_NEAR(tip[2], 3.0 - 0.1, 1e-12);
}

TEST(ToolGeometry, DirectionsAndInverses) {
  ControllerInput input;
  // A quarter turn to the left about y.
  const double turn[16] = {0, 0, 1, 0, 0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 0, 1};
  for (int i = 0; i < 16; ++i) input.pose[i] = turn[i];
  input.position[0] = 0.5;
  input.position[1] = 1.2;
  double d[3];
  computeToolDirection(input, 0.0, d);
  EXPECT_NEAR(d[0], -1.0, 1e-12);
  EXPECT_NEAR(d[2], 0.0, 1e-12);
  computeToolDirection(input, 90.0, d);
  EXPECT_NEAR(d[1], -1.0, 1e-12);

  const double zero[3] = {0, 0, 0};
  double identity[16];
  identityMatrix4x4(identity);
  computeDirectionInFrame(input, identity, zero, d);
  EXPECT_EQ(d[0], 0.0);
  EXPECT_EQ(d[1], 0.0);
  EXPECT_EQ(d[2], 0.0);

  double inverse[16], pose[16], product[16];
  computeInversePoseMatrix(input, inverse);
  copyPoseMatrices(input, pose);
  multiplyMatrix4x4(inverse, pose, product);
  for (int i = 0; i < 16; ++i) EXPECT_NEAR(product[i], identity[i], 1e-12) << i;

  double v[3] = {3, 4, 0};
  EXPECT_DOUBLE_EQ(Normalize3(v), 5.0);
  EXPECT_DOUBLE_EQ(v[0], 0.6);
  double z[3] = {0, 0, 0};
  EXPECT_EQ(Normalize3(z), 0.0);
}
