#include "kvg/PartDrawable.h"

namespace kvg {

const char* PartDrawable::partTypeName(int type) {
  switch (type) {
    case None: return "None";
    case PointPart: return "PointPart";
    case LinePart: return "LinePart";
    case PlaneSection: return "PlaneSection";
    case PlaneProbePart: return "PlaneProbePart";
    default: return "";
  }
}

int PartDrawable::partTypeOf(const std::string& text) {
  for (int t = PointPart; t <= PlaneProbePart; ++t)
    if (text.find(partTypeName(t)) != std::string::npos) return t;
  return None;
}

}  // namespace kvg
