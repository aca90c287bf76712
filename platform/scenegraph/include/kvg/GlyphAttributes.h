#pragma once
// Arrows of a vector surface: which vector array, how large, and at which points.
#include <string>

#include "kvg/Attributes.h"

namespace kvg {

class GlyphAttributes : public Attributes {
  KVG_NODE_TYPE(GlyphAttributes, Attributes)

 public:
  enum SpacingMode { EveryPoint = 0, Spaced = 1 };

  // EveryPoint: an arrow at every point; Spaced: at every getSpacing()-th point.
  int getSpacingMode() const { return _spacingMode; }
  void setSpacingMode(int mode) { update(_spacingMode, mode); }
  int getSpacing() const { return _spacing; }
  void setSpacing(int every) { update(_spacing, every < 1 ? 1 : every); }
  // Arrow length per unit of vector magnitude.
  double getScaleFactor() const { return _scaleFactor; }
  void setScaleFactor(double factor) { update(_scaleFactor, factor); }
  // Point array of 3 components; empty = the active vectors.
  const std::string& getVectorArray() const { return _vectorArray; }
  void setVectorArray(const std::string& name) { update(_vectorArray, name); }

 private:
  int _spacingMode = EveryPoint;
  int _spacing = 4;
  double _scaleFactor = 0.1;
  std::string _vectorArray;
};

}  // namespace kvg
