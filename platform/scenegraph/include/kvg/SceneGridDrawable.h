#pragma once
// The ground grid under a scene: a square of lines at a height, centred under the model.
#include "kvg/Drawable.h"

namespace kvg {

class SceneGridDrawable : public Drawable {
  KVG_NODE_TYPE(SceneGridDrawable, Drawable)

 public:
  const Vec3& getCenter() const { return _center; }
  void setCenter(const Vec3& center) { update(_center, center); }
  double getSize() const { return _size; }
  void setSize(double size) { update(_size, size); }
  int getDivisions() const { return _divisions; }
  void setDivisions(int divisions) { update(_divisions, divisions < 1 ? 1 : divisions); }

 private:
  Vec3 _center{0.0, 0.0, 0.0};
  double _size = 10.0;
  int _divisions = 10;
};

}  // namespace kvg
