#pragma once
// Points drawn as spheres (particles, probes, point clouds).
#include "kvg/Drawable.h"
#include "kvg/PointSphereAttributes.h"

namespace kvg {

class PointSphereDrawable : public Drawable {
  KVG_NODE_TYPE(PointSphereDrawable, Drawable)

 public:
  PointSphereDrawable() { addAttributes(Ptr<Attributes>(new PointSphereAttributes)); }
  // Never null: a point-sphere drawable always has its sphere attributes.
  PointSphereAttributes* getPointSphereAttributes() const { return findAttributes<PointSphereAttributes>(); }
};

}  // namespace kvg
