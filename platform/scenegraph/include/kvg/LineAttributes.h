#pragma once
// Width of the lines a drawable draws, in pixels.
#include "kvg/Attributes.h"

namespace kvg {

class LineAttributes : public Attributes {
  KVG_NODE_TYPE(LineAttributes, Attributes)

 public:
  double getLineWidth() const { return _lineWidth; }
  void setLineWidth(double width) { update(_lineWidth, width); }

 private:
  double _lineWidth = 1.0;
};

}  // namespace kvg
