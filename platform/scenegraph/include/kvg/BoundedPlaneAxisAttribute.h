#pragma once
// Whether a bounded plane (a plane-section part) draws its two in-plane axes.
#include "kvg/Attributes.h"

namespace kvg {

class BoundedPlaneAxisAttribute : public Attributes {
  KVG_NODE_TYPE(BoundedPlaneAxisAttribute, Attributes)

 public:
  bool getShowAxis() const { return _showAxis; }
  void setShowAxis(bool show) { update(_showAxis, show); }

 private:
  bool _showAxis = true;
};

}  // namespace kvg
