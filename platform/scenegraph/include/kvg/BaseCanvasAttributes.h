#pragma once
// Canvas-wide rendering settings.
#include "kvg/Attributes.h"

namespace kvg {

class BaseCanvasAttributes : public Attributes {
  KVG_NODE_TYPE(BaseCanvasAttributes, Attributes)

 public:
  // 0: translucent props are sorted and blended; 1: exact translucency by depth peeling.
  enum TransparencyMode { SortedBlending = 0, DepthPeeling = 1 };

  int getTranparencyMode() const { return _transparencyMode; }
  void setTranparencyMode(int mode) { update(_transparencyMode, mode); }

 private:
  int _transparencyMode = SortedBlending;
};

}  // namespace kvg
