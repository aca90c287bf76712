#pragma once
// A part of a simulation that the user may edit: a point, a line, a plane section or a plane
// probe. Its name contains its type name ("PointPart", "LinePart", "PlaneSection",
// "PlaneProbePart"), which is how the part widgets tell the types apart. Geometry by type:
//   PointPart       p0 position
//   LinePart        p0, p1 end points
//   PlaneSection    p0 origin, p1 normal; size = edge length of the square drawn
//   PlaneProbePart  p0, p1 two corners, p2 origin (the third corner)
// A plane section whose data node is image data shows the cut through that volume.
#include <string>
#include <vector>

#include "kvg/BoundedPlaneAxisAttribute.h"
#include "kvg/Drawable.h"
#include "kvg/ImageDataNode.h"

namespace kvg {

class PartDrawable : public Drawable {
  KVG_NODE_TYPE(PartDrawable, Drawable)

 public:
  enum PartType { None = 0, PointPart = 1, LinePart = 2, PlaneSection = 3, PlaneProbePart = 4 };

  // "None", "PointPart", "LinePart", "PlaneSection", "PlaneProbePart"; "" for other values.
  static const char* partTypeName(int type);
  // The type whose name occurs first (in type order) in the text; None when none does.
  static int partTypeOf(const std::string& text);

  int getPartType() const { return _type; }
  void setPartType(int type) { update(_type, type); }
  const Vec3& getP0() const { return _p[0]; }
  const Vec3& getP1() const { return _p[1]; }
  const Vec3& getP2() const { return _p[2]; }
  void setP0(const Vec3& v) { update(_p[0], v); }
  void setP1(const Vec3& v) { update(_p[1], v); }
  void setP2(const Vec3& v) { update(_p[2], v); }
  double getSize() const { return _size; }
  void setSize(double size) { update(_size, size); }
  // The server connections (their values in decimal) that have the part highlighted: each
  // program shows the widget of the parts its own connection highlights.
  const std::vector<std::string>& getHighlightedBy() const { return _highlightedBy; }
  void setHighlightedBy(const std::vector<std::string>& connections) { update(_highlightedBy, connections); }

  BoundedPlaneAxisAttribute* hasBoundedPlaneAxisAttribute() const { return findAttributes<BoundedPlaneAxisAttribute>(); }
  ImageDataNode* getImageDataNode() const { return getDataNode().tryCast<ImageDataNode>(); }

 private:
  int _type = None;
  Vec3 _p[3] = {{0.0, 0.0, 0.0}, {0.0, 0.0, 1.0}, {0.0, 0.0, 0.0}};
  double _size = 0.1;
  std::vector<std::string> _highlightedBy;
};

}  // namespace kvg
