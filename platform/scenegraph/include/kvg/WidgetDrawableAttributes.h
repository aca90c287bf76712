#pragma once
// Look and feel of a part's interactive widget: its colours and the angle its normal snaps to.
#include <array>

#include "kvg/Attributes.h"

namespace kvg {

class WidgetDrawableAttributes : public Attributes {
  KVG_NODE_TYPE(WidgetDrawableAttributes, Attributes)

 public:
  double getSnappingAngle() const { return _snappingAngle; }
  void setSnappingAngle(double degrees) { update(_snappingAngle, degrees); }

  const Vec3& getWidgetHighlightColor() const { return _highlightColor; }
  void setWidgetHighlightColor(const Vec3& rgb) { update(_highlightColor, rgb); }
  void setWidgetHighlightColor(const double rgb[3]) { setWidgetHighlightColor(toVec3(rgb)); }

  const Vec3& getWidgetDefaultColor() const { return _defaultColor; }
  void setWidgetDefaultColor(const Vec3& rgb) { update(_defaultColor, rgb); }
  void setWidgetDefaultColor(const double rgb[3]) { setWidgetDefaultColor(toVec3(rgb)); }

 private:
  double _snappingAngle = 15.0;
  Vec3 _highlightColor{0.79, 0.14, 0.57};
  Vec3 _defaultColor{0.39, 0.1, 0.37};
};

}  // namespace kvg
