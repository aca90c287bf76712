#pragma once
// A surface with arrows of a vector field on it.
#include "kvg/Drawable.h"
#include "kvg/GlyphAttributes.h"

namespace kvg {

class VectorSurfaceDrawable : public Drawable {
  KVG_NODE_TYPE(VectorSurfaceDrawable, Drawable)

 public:
  GlyphAttributes* hasGlyphAttributes() const { return findAttributes<GlyphAttributes>(); }
};

}  // namespace kvg
