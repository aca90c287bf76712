#pragma once
// Small value types shared by the scene-graph classes.
#include <array>
#include <cstdint>

namespace kvg {

using Vec3 = std::array<double, 3>;
// Handles of sessions and renderer objects; -1 means none.
using Handle = int64_t;

inline Vec3 toVec3(const double v[3]) { return Vec3{v[0], v[1], v[2]}; }

}  // namespace kvg
