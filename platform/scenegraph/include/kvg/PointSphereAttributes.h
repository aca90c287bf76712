#pragma once
// How a point-sphere drawable sizes its spheres.
#include <string>

#include "kvg/Attributes.h"

namespace kvg {

class PointSphereAttributes : public Attributes {
  KVG_NODE_TYPE(PointSphereAttributes, Attributes)

 public:
  enum PointRadiusOption { ConstantRadius = 0, RadiusFromDataArray = 1 };
  enum PointStyle { Spheres = 0, FlatPoints = 1 };

  int getPointRadiusOption() const { return _radiusOption; }
  void setPointRadiusOption(int option) { update(_radiusOption, option); }
  int getPointStyle() const { return _pointStyle; }
  void setPointStyle(int style) { update(_pointStyle, style); }
  // Radius of every sphere with ConstantRadius.
  double getRadius() const { return _radius; }
  void setRadius(double radius) { update(_radius, radius); }
  // Point array of radii with RadiusFromDataArray: one component, or three (x, y, z radii).
  const std::string& getRadiusDataArray() const { return _radiusArray; }
  void setRadiusDataArray(const std::string& name) { update(_radiusArray, name); }
  // Mapping of the data array onto radii: data range [dataMin, dataMax] onto
  // [radiusMin, radiusMax]; a negative radius bound takes the data value as the radius.
  void getRadiusRangeParams(double params[4]) const {
    for (int i = 0; i < 4; ++i) params[i] = _range[i];
  }
  void setRadiusRangeParams(double dataMin, double dataMax, double radiusMin, double radiusMax) {
    const double p[4] = {dataMin, dataMax, radiusMin, radiusMax};
    bool same = true;
    for (int i = 0; i < 4; ++i) same = same && p[i] == _range[i];
    if (same) return;
    for (int i = 0; i < 4; ++i) _range[i] = p[i];
    modified();
  }

 private:
  int _radiusOption = ConstantRadius;
  int _pointStyle = Spheres;
  double _radius = 0.01;
  std::string _radiusArray;
  double _range[4] = {0.0, 0.0, -1.0, -1.0};
};

}  // namespace kvg
