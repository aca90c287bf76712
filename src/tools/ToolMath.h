#pragma once
// Small geometry helpers of the drawn tools (private to the tools library). Matrices are 4x4
// doubles, row-major, applied to column vectors.
#include <cmath>
#include <cstring>

namespace toolmath {

inline bool finite3(const double v[3]) { return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]); }

// v / |v| into out; false (out untouched) for a vector without length or not finite.
inline bool unit(const double v[3], double out[3]) {
  if (!finite3(v)) return false;
  const double length = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
  if (!(length > 0.0) || !std::isfinite(length)) return false;
  for (int i = 0; i < 3; ++i) out[i] = v[i] / length;
  return true;
}

// Unit vector or (0, 0, 0) for a vector without length.
inline void unitOrZero(const double v[3], double out[3]) {
  if (!unit(v, out)) out[0] = out[1] = out[2] = 0.0;
}

// The rotation (degrees about a unit axis) that turns the unit vector from onto the unit
// vector to: none when they are equal, half a turn about an axis perpendicular to from when
// they are opposite.
inline void rotationOnto(const double from[3], const double to[3], double& angleDegrees, double axis[3]) {
  double dot = from[0] * to[0] + from[1] * to[1] + from[2] * to[2];
  dot = dot > 1.0 ? 1.0 : (dot < -1.0 ? -1.0 : dot);
  const double cross[3] = {to[1] * from[2] - to[2] * from[1], to[2] * from[0] - to[0] * from[2],
                           to[0] * from[1] - to[1] * from[0]};
  if (unit(cross, axis) && dot > -1.0 + 1e-12) {
    // Turning by -angle about to x from turns from onto to.
    angleDegrees = -std::acos(dot) * 180.0 / M_PI;
    return;
  }
  axis[0] = 1.0;
  axis[1] = axis[2] = 0.0;
  angleDegrees = 0.0;
  if (dot > 0.0) return;
  // Opposite: any axis perpendicular to from; take the one from the smallest component.
  const double pick[3] = {std::fabs(from[0]) < 0.9 ? 1.0 : 0.0, std::fabs(from[0]) < 0.9 ? 0.0 : 1.0, 0.0};
  const double perpendicular[3] = {pick[1] * from[2] - pick[2] * from[1], pick[2] * from[0] - pick[0] * from[2],
                                   pick[0] * from[1] - pick[1] * from[0]};
  if (unit(perpendicular, axis)) angleDegrees = 180.0;
}

inline void multiply(const double a[16], const double b[16], double out[16]) {
  double r[16];
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) {
      double s = 0.0;
      for (int k = 0; k < 4; ++k) s += a[i * 4 + k] * b[k * 4 + j];
      r[i * 4 + j] = s;
    }
  std::memcpy(out, r, sizeof(r));
}

// R with its translation column replaced by p + offset.
inline void placed(const double rotation[16], const double p[3], const double offset[3], double out[16]) {
  std::memcpy(out, rotation, 16 * sizeof(double));
  out[3] = p[0] + offset[0];
  out[7] = p[1] + offset[1];
  out[11] = p[2] + offset[2];
}

}  // namespace toolmath
