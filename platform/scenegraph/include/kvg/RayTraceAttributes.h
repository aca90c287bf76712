#pragma once
// Asks for ray-traced rendering of a drawable. This renderer rasterises only; the flag is
// kept for the server and for scenes written elsewhere.
#include "kvg/Attributes.h"

namespace kvg {

class RayTraceAttributes : public Attributes {
  KVG_NODE_TYPE(RayTraceAttributes, Attributes)

 public:
  bool getEnabled() const { return _enabled; }
  void setEnabled(bool enabled) { update(_enabled, enabled); }

 private:
  bool _enabled = false;
};

}  // namespace kvg
