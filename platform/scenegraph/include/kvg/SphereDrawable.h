#pragma once
// One sphere (the ends of the pick line, markers).
#include "kvg/Drawable.h"

namespace kvg {

class SphereDrawable : public Drawable {
  KVG_NODE_TYPE(SphereDrawable, Drawable)

 public:
  const Vec3& getCenter() const { return _center; }
  void setCenter(const Vec3& center) { update(_center, center); }
  double getRadius() const { return _radius; }
  void setRadius(double radius) { update(_radius, radius); }

 private:
  Vec3 _center{0.0, 0.0, 0.0};
  double _radius = 0.05;
};

}  // namespace kvg
