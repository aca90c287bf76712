#pragma once
// A surface, coloured plainly or by a point or cell array: obstacle walls, boundaries, cuts.
#include "kvg/Drawable.h"

namespace kvg {

class SurfaceDrawable : public Drawable {
  KVG_NODE_TYPE(SurfaceDrawable, Drawable)
};

}  // namespace kvg
