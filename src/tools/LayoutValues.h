#pragma once
// Helpers of the two layout records (private to the tools library).
#include <array>

#include "Configuration.h"

namespace layout {

inline void readVector3(const char* key, const std::array<double, 3>& defaults, double out[3]) {
  const std::array<double, 3> v = GetConfigVector3(key, defaults);
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
