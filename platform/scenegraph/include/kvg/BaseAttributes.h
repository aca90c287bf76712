#pragma once
// What every drawable has: visibility, highlighting, colour, opacity, scalar colouring and
// the advanced-rendering switch.
#include <string>

#include "kvg/Attributes.h"

namespace kvg {

class BaseAttributes : public Attributes {
  KVG_NODE_TYPE(BaseAttributes, Attributes)

 public:
  bool getVisibility() const { return _visible; }
  // notify: tell the simulation server through the session's callback forwarder; with false
  // the change stays in this scene graph.
  void setVisibility(bool visible, bool notify);

  bool getHighlightEnabled() const { return _highlight; }
  void setHighlightEnabled(bool enabled) { update(_highlight, enabled); }

  // Lines as tubes and points as spheres.
  bool getAdvancedRenderingEnabled() const { return _advancedRendering; }
  void setAdvancedRenderingEnabled(bool enabled) { update(_advancedRendering, enabled); }

  const Vec3& getColor() const { return _color; }
  void setColor(const Vec3& rgb) { update(_color, rgb); }
  double getOpacity() const { return _opacity; }
  void setOpacity(double opacity) { update(_opacity, opacity); }

  // Point or cell array that colours the drawable through the colour map; empty = plain colour.
  const std::string& getColorArray() const { return _colorArray; }
  void setColorArray(const std::string& name) { update(_colorArray, name); }
  // "rainbow" (blue to red), "coolwarm" or "grey".
  const std::string& getColorMap() const { return _colorMap; }
  void setColorMap(const std::string& name) { update(_colorMap, name); }
  // The scalar range mapped onto the colour map; the data's own range while none is set.
  bool hasScalarRange() const { return _hasRange; }
  void getScalarRange(double range[2]) const {
    range[0] = _range[0];
    range[1] = _range[1];
  }
  void setScalarRange(double low, double high);
  void clearScalarRange();

 private:
  bool _visible = true;
  bool _highlight = false;
  bool _advancedRendering = false;
  Vec3 _color{0.8, 0.8, 0.8};
  double _opacity = 1.0;
  std::string _colorArray;
  std::string _colorMap = "rainbow";
  bool _hasRange = false;
  double _range[2] = {0.0, 1.0};
};

}  // namespace kvg
