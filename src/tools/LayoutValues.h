#pragma once
// Helpers of the two layout records (private to the tools library).
#include <array>
#include <cmath>

#include "Configuration.h"

namespace layout {

// A layout value that is not a finite number, or a size that is not positive, would remove
// the panel it places (a degenerate plane): it takes its default, said once for the key.
inline double readSize(const char* key, double fallback) { return GetConfigFinite(key, fallback, true); }
inline double readAngle(const char* key, double fallback) { return GetConfigFinite(key, fallback); }

inline void readVector3(const char* key, const std::array<double, 3>& defaults, double out[3]) {
  std::array<double, 3> v = GetConfigVector3(key, defaults);
  if (!std::isfinite(v[0]) || !std::isfinite(v[1]) || !std::isfinite(v[2])) {
    getConfig().reportWrongType(key, "a list of finite numbers");
    v = defaults;
  }
  out[0] = v[0];
  out[1] = v[1];
  out[2] = v[2];
}

// Exact comparison: a NaN never equals anything, so a NaN value re-lays its panels.
inline bool sameValues(const double* a, const double* b, int count) {
  for (int i = 0; i < count; ++i)
    if (!(a[i] == b[i])) return false;
  return true;
}

}  // namespace layout
