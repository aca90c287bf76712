#pragma once
// A plane section of the scene's volumes: origin, up and right vectors. The section's normal
// is normalise(right x up). An origin whose x is kvg::NoValue means "no section".
#include "AnalysisValues.h"

namespace kvg {

class SimplePlaneSection {
 public:
  // The default section is "none": origin at NoValue, up +y, right +x.
  SimplePlaneSection();
  SimplePlaneSection(const double origin[3], const double up[3], const double right[3]);

  void setOrigin(const double origin[3]);
  void setOrigin(double x, double y, double z);
  void setUp(const double up[3]);
  void setUp(double x, double y, double z);
  void setRight(const double right[3]);
  void setRight(double x, double y, double z);

  const double* getOrigin() const { return _origin; }
  const double* getUp() const { return _up; }
  const double* getRight() const { return _right; }
  void getOrigin(double origin[3]) const;
  void getUp(double up[3]) const;
  void getRight(double right[3]) const;
  // normalise(right x up); (0, 0, 0) when up and right are parallel or zero.
  void getNormal(double normal[3]) const;

  // True when the origin holds NoValue in any component.
  bool isNone() const;

  bool operator==(const SimplePlaneSection& other) const;
  bool operator!=(const SimplePlaneSection& other) const { return !(*this == other); }

 private:
  double _origin[3];
  double _up[3];
  double _right[3];
};

}  // namespace kvg
