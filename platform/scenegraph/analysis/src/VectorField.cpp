#include "VectorField.h"

#include <vtkDataArray.h>
#include <vtkImageData.h>
#include <vtkPointData.h>

#include <algorithm>
#include <cmath>

namespace kvg {
namespace analysis {

namespace {
const double kEdgeTolerance = 1e-9;  // in grid cells
const int kMaxSubSteps = 32;
}  // namespace

VectorField::VectorField() : _dims{0, 0, 0}, _origin{0, 0, 0}, _spacing{1, 1, 1}, _median(0.0) {}

void VectorField::clear() {
  _dims[0] = _dims[1] = _dims[2] = 0;
  _vectors.clear();
  _valid.clear();
  _median = 0.0;
}

bool VectorField::setImage(vtkImageData* image, const std::string& vectorName) {
  clear();
  if (!image) return false;
  vtkPointData* pd = image->GetPointData();
  vtkDataArray* array = vectorName.empty() ? pd->GetVectors() : pd->GetArray(vectorName.c_str());
  if (!array || array->GetNumberOfComponents() != 3) return false;
  const vtkIdType n = image->GetNumberOfPoints();
  if (n <= 0 || array->GetNumberOfTuples() != n) return false;

  image->GetDimensions(_dims);
  image->GetOrigin(_origin);
  image->GetSpacing(_spacing);
  for (int a = 0; a < 3; ++a) {
    if (_spacing[a] == 0.0) _spacing[a] = 1.0;
  }
  _vectors.resize(static_cast<size_t>(n) * 3);
  for (vtkIdType i = 0; i < n; ++i) {
    double t[3];
    array->GetTuple(i, t);
    _vectors[3 * i + 0] = static_cast<float>(t[0]);
    _vectors[3 * i + 1] = static_cast<float>(t[1]);
    _vectors[3 * i + 2] = static_cast<float>(t[2]);
  }
  if (vtkDataArray* mask = pd->GetArray("vtkValidPointMask")) {
    if (mask->GetNumberOfTuples() == n) {
      _valid.resize(static_cast<size_t>(n));
      for (vtkIdType i = 0; i < n; ++i) _valid[i] = mask->GetComponent(i, 0) != 0.0 ? 1 : 0;
    }
  }

  std::vector<float> magnitudes;
  magnitudes.reserve(static_cast<size_t>(n));
  for (vtkIdType i = 0; i < n; ++i) {
    if (!_valid.empty() && !_valid[i]) continue;
    const float* v = &_vectors[3 * i];
    magnitudes.push_back(std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]));
  }
  if (!magnitudes.empty()) {
    const size_t mid = magnitudes.size() / 2;
    std::nth_element(magnitudes.begin(), magnitudes.begin() + mid, magnitudes.end());
    double m = magnitudes[mid];
    if (magnitudes.size() % 2 == 0) {
      const float lower = *std::max_element(magnitudes.begin(), magnitudes.begin() + mid);
      m = 0.5 * (m + lower);
    }
    _median = m;
  }
  return true;
}

bool VectorField::contains(const double p[3]) const {
  double v[3];
  return sample(p, v);
}

bool VectorField::sample(const double p[3], double v[3]) const {
  if (_vectors.empty()) return false;
  int i0[3];
  double t[3];
  for (int a = 0; a < 3; ++a) {
    const double f = (p[a] - _origin[a]) / _spacing[a];
    const int n = _dims[a];
    if (!(f >= -kEdgeTolerance && f <= (n - 1) + kEdgeTolerance)) return false;  // also rejects NaN
    if (n == 1) {
      i0[a] = 0;
      t[a] = 0.0;
      continue;
    }
    int i = static_cast<int>(std::floor(f));
    if (i < 0) i = 0;
    if (i > n - 2) i = n - 2;
    i0[a] = i;
    t[a] = std::min(1.0, std::max(0.0, f - i));
  }
  const vtkIdType sx = 1, sy = _dims[0], sz = static_cast<vtkIdType>(_dims[0]) * _dims[1];
  const vtkIdType step[3] = {_dims[0] > 1 ? sx : 0, _dims[1] > 1 ? sy : 0, _dims[2] > 1 ? sz : 0};
  const vtkIdType base = i0[0] + i0[1] * sy + i0[2] * sz;
  double acc[3] = {0, 0, 0};
  for (int c = 0; c < 8; ++c) {
    const int bx = c & 1, by = (c >> 1) & 1, bz = (c >> 2) & 1;
    const double w = (bx ? t[0] : 1 - t[0]) * (by ? t[1] : 1 - t[1]) * (bz ? t[2] : 1 - t[2]);
    if (w == 0.0) continue;
    const vtkIdType id = base + bx * step[0] + by * step[1] + bz * step[2];
    if (!_valid.empty() && !_valid[id]) return false;
    const float* vec = &_vectors[3 * id];
    acc[0] += w * vec[0];
    acc[1] += w * vec[1];
    acc[2] += w * vec[2];
  }
  v[0] = acc[0];
  v[1] = acc[1];
  v[2] = acc[2];
  return true;
}

bool VectorField::rk4Step(double p[3], double h) const {
  double k1[3], k2[3], k3[3], k4[3], q[3];
  if (!sample(p, k1)) return false;
  for (int a = 0; a < 3; ++a) q[a] = p[a] + 0.5 * h * k1[a];
  if (!sample(q, k2)) return false;
  for (int a = 0; a < 3; ++a) q[a] = p[a] + 0.5 * h * k2[a];
  if (!sample(q, k3)) return false;
  for (int a = 0; a < 3; ++a) q[a] = p[a] + h * k3[a];
  if (!sample(q, k4)) return false;
  for (int a = 0; a < 3; ++a) q[a] = p[a] + h / 6.0 * (k1[a] + 2.0 * k2[a] + 2.0 * k3[a] + k4[a]);
  if (!contains(q)) return false;
  p[0] = q[0];
  p[1] = q[1];
  p[2] = q[2];
  return true;
}

bool VectorField::advect(double p[3], double dt) const {
  double v[3];
  if (!sample(p, v)) return false;
  const double travel = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]) * std::fabs(dt);
  const double cell = minSpacing();
  int steps = cell > 0.0 ? static_cast<int>(std::ceil(travel / cell)) : 1;
  steps = std::max(1, std::min(kMaxSubSteps, steps));
  const double h = dt / steps;
  for (int s = 0; s < steps; ++s) {
    if (!rk4Step(p, h)) return false;
  }
  return true;
}

double VectorField::medianMagnitude() const { return _median; }

void VectorField::getBounds(double bounds[6]) const {
  for (int a = 0; a < 3; ++a) {
    const double e = _origin[a] + (std::max(_dims[a], 1) - 1) * _spacing[a];
    bounds[2 * a] = std::min(_origin[a], e);
    bounds[2 * a + 1] = std::max(_origin[a], e);
  }
}

double VectorField::minSpacing() const {
  double m = 0.0;
  for (int a = 0; a < 3; ++a) {
    if (_dims[a] < 2) continue;
    const double s = std::fabs(_spacing[a]);
    if (m == 0.0 || s < m) m = s;
  }
  return m;
}

}  // namespace analysis
}  // namespace kvg
