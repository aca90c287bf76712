#pragma once
// Controller poses for headset scripts: where a point of the palette is, and how to turn the
// right controller so that its laser meets a point.
#include <array>
#include <cmath>
#include <sstream>
#include <string>

using Vec3 = std::array<double, 3>;

inline Vec3 unitVector(const Vec3& v) {
  const double l = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
  return {v[0] / l, v[1] / l, v[2] / l};
}

// A point of the palette (u across, v down, 0..1) held by the unturned left controller at
// `left`: 0.2 x 0.288 m from 0.01 m in front of the grip, tilted 40 degrees.
inline Vec3 palettePoint(const Vec3& left, double u, double v) {
  const double x = -0.1 + 0.2 * u, z = -0.01 - 0.288 * v;
  const double a = 40.0 * M_PI / 180.0;
  return {left[0] + x, left[1] - z * std::sin(a), left[2] + z * std::cos(a)};
}

// A "right pose ..." line: the right controller at `from`, turned so that its laser (forward,
// 20 degrees down) meets `target`.
inline std::string aimRight(const Vec3& from, const Vec3& target) {
  const double t = 20.0 * M_PI / 180.0;
  const Vec3 a = {0.0, -std::sin(t), -std::cos(t)};
  const Vec3 b = unitVector({target[0] - from[0], target[1] - from[1], target[2] - from[2]});
  const Vec3 axis = unitVector({a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]});
  const double c = a[0] * b[0] + a[1] * b[1] + a[2] * b[2], s = std::sqrt(1.0 - c * c);
  // Rodrigues: R = I + s K + (1 - c) K^2.
  const double K[3][3] = {{0, -axis[2], axis[1]}, {axis[2], 0, -axis[0]}, {-axis[1], axis[0], 0}};
  std::ostringstream out;
  out << "right pose";
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      double k2 = 0.0;
      for (int m = 0; m < 3; ++m) k2 += K[i][m] * K[m][j];
      out << ' ' << ((i == j ? 1.0 : 0.0) + s * K[i][j] + (1.0 - c) * k2);
    }
    out << ' ' << from[i];
  }
  out << '\n';
  return out.str();
}
