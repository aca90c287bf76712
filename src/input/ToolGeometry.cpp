#include "ToolGeometry.h"

#include <cmath>
#include <cstring>

#include "Configuration.h"

namespace {

// The tool tip in controller coordinates for the hand.
void localToolTip(int hand, double t[4]) {
  static const double defaults[3] = {0.0, 0.1, -0.024};
  const std::array<double, 3> offset = GetConfigVector3("toolsOffset", defaults);
  const double s = hand == 0 ? -1.0 : 1.0;
  t[0] = s * offset[0];
  t[1] = offset[2];
  t[2] = -offset[1];
  t[3] = 1.0;
}

void applyMatrix(const double m[16], const double v[4], double out[4]) {
  double r[4];
  for (int i = 0; i < 4; ++i)
    r[i] = m[i * 4] * v[0] + m[i * 4 + 1] * v[1] + m[i * 4 + 2] * v[2] + m[i * 4 + 3] * v[3];
  std::memcpy(out, r, sizeof(r));
}

void rotationPart(const double a[16], double out[16]) {
  std::memcpy(out, a, 16 * sizeof(double));
  out[3] = out[7] = out[11] = 0.0;
}

}  // namespace

void multiplyMatrix4x4(const double a[16], const double b[16], double out[16]) {
  double r[16];
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j)
      r[i * 4 + j] = a[i * 4] * b[j] + a[i * 4 + 1] * b[4 + j] + a[i * 4 + 2] * b[8 + j] + a[i * 4 + 3] * b[12 + j];
  std::memcpy(out, r, sizeof(r));
}

void identityMatrix4x4(double out[16]) {
  std::memset(out, 0, 16 * sizeof(double));
  out[0] = out[5] = out[10] = out[15] = 1.0;
}

double Normalize3(double v[3]) {
  const double length = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
  if (length != 0.0) {
    v[0] /= length;
    v[1] /= length;
    v[2] /= length;
  }
  return length;
}

void copyPoseMatrices(const ControllerInput& input, double out[16]) {
  std::memcpy(out, input.pose, 16 * sizeof(double));
  out[3] = input.position[0];
  out[7] = input.position[1];
  out[11] = input.position[2];
}

void computeToolTransform(const ControllerInput& input, int hand, double tip[3]) {
  double t[4], pose[16], r[4];
  localToolTip(hand, t);
  copyPoseMatrices(input, pose);
  applyMatrix(pose, t, r);
  copyVector3(r, tip);
}

void computeToolTipPosition(const ControllerInput& input, const double a[16], int hand, double tip[3]) {
  double t[4], pose[16], m[16], r[4];
  localToolTip(hand, t);
  copyPoseMatrices(input, pose);
  multiplyMatrix4x4(a, pose, m);
  applyMatrix(m, t, r);
  copyVector3(r, tip);
}

void computeToolDirection(const ControllerInput& input, double angleDegrees, double direction[3]) {
  const double b = -angleDegrees * M_PI / 180.0;
  const double local[3] = {0.0, std::sin(b), -std::cos(b)};
  rotateVector(input.pose, local, direction);
}

void computeDirectionInFrame(const ControllerInput& input, const double a[16], const double d[3],
                             double direction[3]) {
  double m[16];
  computeRotationInFrame(input, a, m);
  rotateVector(m, d, direction);
  Normalize3(direction);
}

void computeRotationInFrame(const ControllerInput& input, const double a[16], double out[16]) {
  double rotation[16];
  rotationPart(a, rotation);
  multiplyMatrix4x4(rotation, input.pose, out);
}

void computeInversePose(const double rotation[16], const double position[3], double out[16]) {
  identityMatrix4x4(out);
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) out[r * 4 + c] = rotation[c * 4 + r];
  for (int r = 0; r < 3; ++r)
    out[r * 4 + 3] = -(out[r * 4] * position[0] + out[r * 4 + 1] * position[1] + out[r * 4 + 2] * position[2]);
}

void computeInversePoseMatrix(const ControllerInput& input, double out[16]) {
  computeInversePose(input.pose, input.position, out);
}

void transformPoint(const ControllerInput& input, const double v[3], double out[3]) {
  rotateVector(input.pose, v, out);
}

void transformPointByMatrix(const double q[3], const double m[16], double out[3]) {
  const double v[4] = {q[0], q[1], q[2], 1.0};
  double r[4];
  applyMatrix(m, v, r);
  copyVector3(r, out);
}

void rotateVector(const double m[16], const double v[3], double out[3]) {
  const double w[4] = {v[0], v[1], v[2], 0.0};
  double r[4];
  applyMatrix(m, w, r);
  copyVector3(r, out);
}

void copyVector3(const double in[3], double out[3]) {
  const double c[3] = {in[0], in[1], in[2]};
  out[0] = c[0];
  out[1] = c[1];
  out[2] = c[2];
}

bool isFiniteMatrix4x4(const double m[16]) {
  for (int i = 0; i < 16; ++i)
    if (!std::isfinite(m[i])) return false;
  return true;
}
