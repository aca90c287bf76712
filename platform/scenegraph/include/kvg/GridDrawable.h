#pragma once
// A bounded grid on a plane: origin, two edge vectors and a number of divisions along each,
// with optional axis lines along the two edges.
#include <array>

#include "kvg/Drawable.h"

namespace kvg {

class GridDrawable : public Drawable {
  KVG_NODE_TYPE(GridDrawable, Drawable)

 public:
  const Vec3& getOrigin() const { return _origin; }
  void setOrigin(const Vec3& v) { update(_origin, v); }
  const Vec3& getAxis1() const { return _axis1; }
  void setAxis1(const Vec3& v) { update(_axis1, v); }
  const Vec3& getAxis2() const { return _axis2; }
  void setAxis2(const Vec3& v) { update(_axis2, v); }
  const std::array<int, 2>& getDivisions() const { return _divisions; }
  void setDivisions(int along1, int along2) {
    update(_divisions, std::array<int, 2>{along1 < 1 ? 1 : along1, along2 < 1 ? 1 : along2});
  }
  bool getShowAxis() const { return _showAxis; }
  void setShowAxis(bool show) { update(_showAxis, show); }

 private:
  Vec3 _origin{0.0, 0.0, 0.0};
  Vec3 _axis1{1.0, 0.0, 0.0};
  Vec3 _axis2{0.0, 0.0, 1.0};
  std::array<int, 2> _divisions{10, 10};
  bool _showAxis = true;
};

}  // namespace kvg
