#pragma once
// Values shared by the analysis managers and their callers.
#include <array>
#include <string>
#include <utility>
#include <vector>

namespace kvg {

// "No value": the most negative finite single-precision float, held as a double. Marks an
// interactive plane section, seed or iso value that is not in use, and a flow direction
// that cannot be sampled.
constexpr double NoValue = -3.4028234663852886e38;

inline bool isNoValue(double v) { return v == NoValue; }

// An iso value of a named scalar field.
using IsoValue = std::pair<std::string, double>;
using IsoValueList = std::vector<IsoValue>;

using Point3 = std::array<double, 3>;

}  // namespace kvg
