#pragma once
// A drawable that turns about an axis through its centre while animation is enabled.
#include "kvg/Attributes.h"

namespace kvg {

class AnimationAttributes : public Attributes {
  KVG_NODE_TYPE(AnimationAttributes, Attributes)

 public:
  bool getAnimationEnabled() const { return _enabled; }
  void setAnimationEnabled(bool enabled) { update(_enabled, enabled); }
  const Vec3& getAxis() const { return _axis; }
  void setAxis(const Vec3& axis) { update(_axis, axis); }
  // Degrees per second.
  double getSpeed() const { return _speed; }
  void setSpeed(double degreesPerSecond) { update(_speed, degreesPerSecond); }

 private:
  bool _enabled = true;
  Vec3 _axis{0.0, 1.0, 0.0};
  double _speed = 10.0;
};

}  // namespace kvg
