#pragma once
// An infinite plane through an origin with a normal: clip planes of a canvas.
#include "kvg/Node.h"

namespace kvg {

class Plane : public Node {
  KVG_NODE_TYPE(Plane, Node)

 public:
  Plane() = default;
  Plane(const Vec3& origin, const Vec3& normal) : _origin(origin), _normal(normal) {}

  const Vec3& getOrigin() const { return _origin; }
  void setOrigin(const Vec3& origin) { update(_origin, origin); }
  void setOrigin(const double origin[3]) { setOrigin(toVec3(origin)); }

  const Vec3& getNormal() const { return _normal; }
  void setNormal(const Vec3& normal) { update(_normal, normal); }
  void setNormal(const double normal[3]) { setNormal(toVec3(normal)); }

 private:
  Vec3 _origin{0.0, 0.0, 0.0};
  Vec3 _normal{0.0, 0.0, 1.0};
};

}  // namespace kvg
