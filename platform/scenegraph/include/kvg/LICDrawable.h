#pragma once
// A surface textured by line integral convolution of a vector field; drawn here as the
// surface coloured by its scalars.
#include "kvg/Drawable.h"

namespace kvg {

class LICDrawable : public Drawable {
  KVG_NODE_TYPE(LICDrawable, Drawable)
};

}  // namespace kvg
