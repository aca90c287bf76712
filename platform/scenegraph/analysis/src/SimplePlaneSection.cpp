#include "SimplePlaneSection.h"

#include <cmath>

namespace kvg {

namespace {
void copy3(double* dst, const double* src) {
  dst[0] = src[0];
  dst[1] = src[1];
  dst[2] = src[2];
}
}  // namespace

SimplePlaneSection::SimplePlaneSection()
    : _origin{NoValue, NoValue, NoValue}, _up{0.0, 1.0, 0.0}, _right{1.0, 0.0, 0.0} {}

SimplePlaneSection::SimplePlaneSection(const double origin[3], const double up[3], const double right[3]) {
  copy3(_origin, origin);
  copy3(_up, up);
  copy3(_right, right);
}

void SimplePlaneSection::setOrigin(const double origin[3]) { copy3(_origin, origin); }
void SimplePlaneSection::setOrigin(double x, double y, double z) {
  const double o[3] = {x, y, z};
  copy3(_origin, o);
}
void SimplePlaneSection::setUp(const double up[3]) { copy3(_up, up); }
void SimplePlaneSection::setUp(double x, double y, double z) {
  const double u[3] = {x, y, z};
  copy3(_up, u);
}
void SimplePlaneSection::setRight(const double right[3]) { copy3(_right, right); }
void SimplePlaneSection::setRight(double x, double y, double z) {
  const double r[3] = {x, y, z};
  copy3(_right, r);
}

void SimplePlaneSection::getOrigin(double origin[3]) const { copy3(origin, _origin); }
void SimplePlaneSection::getUp(double up[3]) const { copy3(up, _up); }
void SimplePlaneSection::getRight(double right[3]) const { copy3(right, _right); }

void SimplePlaneSection::getNormal(double normal[3]) const {
  const double* r = _right;
  const double* u = _up;
  double n[3] = {r[1] * u[2] - r[2] * u[1], r[2] * u[0] - r[0] * u[2], r[0] * u[1] - r[1] * u[0]};
  const double len = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
  if (len > 0.0) {
    n[0] /= len;
    n[1] /= len;
    n[2] /= len;
  } else {
    n[0] = n[1] = n[2] = 0.0;
  }
  copy3(normal, n);
}

bool SimplePlaneSection::isNone() const {
  return isNoValue(_origin[0]) || isNoValue(_origin[1]) || isNoValue(_origin[2]);
}

bool SimplePlaneSection::operator==(const SimplePlaneSection& o) const {
  for (int i = 0; i < 3; ++i) {
    if (_origin[i] != o._origin[i] || _up[i] != o._up[i] || _right[i] != o._right[i]) return false;
  }
  return true;
}

}  // namespace kvg
