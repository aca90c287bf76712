#pragma once
// The view a scene comes with: where the camera stands, what it looks at, which way is up.
#include "kvg/Node.h"

namespace kvg {

class Camera : public Node {
  KVG_NODE_TYPE(Camera, Node)

 public:
  const Vec3& getPosition() const { return _position; }
  void setPosition(const Vec3& v) { update(_position, v); }
  const Vec3& getFocalPoint() const { return _focalPoint; }
  void setFocalPoint(const Vec3& v) { update(_focalPoint, v); }
  const Vec3& getViewUp() const { return _viewUp; }
  void setViewUp(const Vec3& v) { update(_viewUp, v); }
  // Vertical view angle in degrees.
  double getViewAngle() const { return _viewAngle; }
  void setViewAngle(double degrees) { update(_viewAngle, degrees); }

 private:
  Vec3 _position{0.0, 0.0, 1.0};
  Vec3 _focalPoint{0.0, 0.0, 0.0};
  Vec3 _viewUp{0.0, 1.0, 0.0};
  double _viewAngle = 30.0;
};

}  // namespace kvg
