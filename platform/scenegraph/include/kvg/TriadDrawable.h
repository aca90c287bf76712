#pragma once
// The orientation triad: x, y and z axes in red, green and blue, drawn in the corner of the
// view by the scene's "Orientation" renderer.
#include "kvg/Drawable.h"

namespace kvg {

class TriadDrawable : public Drawable {
  KVG_NODE_TYPE(TriadDrawable, Drawable)
};

}  // namespace kvg
