#pragma once
// A line through a list of points (the pick line, a path).
#include <vector>

#include "kvg/Drawable.h"

namespace kvg {

class PolyLineDrawable : public Drawable {
  KVG_NODE_TYPE(PolyLineDrawable, Drawable)

 public:
  // x, y, z of each point in turn.
  const std::vector<double>& getPoints() const { return _points; }
  void setPoints(const std::vector<double>& xyz) { update(_points, xyz); }

 private:
  std::vector<double> _points;
};

}  // namespace kvg
