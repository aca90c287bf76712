#pragma once
// How a volume drawable is rendered: direct volume rendering or its iso-surfaces.
#include <string>

#include "kvg/Attributes.h"

namespace kvg {

class VolumeRenderingAttributes : public Attributes {
  KVG_NODE_TYPE(VolumeRenderingAttributes, Attributes)

 public:
  enum RenderingMode { DirectVolume = 0, IsoSurfaces = 1 };

  int getRenderingMode() const { return _mode; }
  void setRenderingMode(int mode) { update(_mode, mode); }
  // Opacity of the densest part of the transfer function, 0..1.
  double getOpacity() const { return _opacity; }
  void setOpacity(double opacity) { update(_opacity, opacity); }
  const std::string& getColorMap() const { return _colorMap; }
  void setColorMap(const std::string& name) { update(_colorMap, name); }

 private:
  int _mode = DirectVolume;
  double _opacity = 0.3;
  std::string _colorMap = "rainbow";
};

}  // namespace kvg
