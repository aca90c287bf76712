#include "AnnotationLayoutSettings.h"

#include "LayoutValues.h"

using layout::readAngle;
using layout::readSize;
using layout::readVector3;
using layout::sameValues;

void AnnotationLayoutSettings::read() {
  annotationWidth = readSize("annotationWidth", 0.03);
  annotationHeight = readSize("annotationHeight", 0.01);
  touchPadWidth = readSize("touchPadWidth", 0.03);
  touchPadHeight = readSize("touchPadHeight", 0.03);
  touchPadYaw = readAngle("touchPadYaw", 0.0);
  touchPadPitch = readAngle("touchPadPitch", 5.0);
  touchPadRoll = readAngle("touchPadRoll", 0.0);
  readVector3("touchPadPivot", {0.0, -0.0485, 0.0055}, touchPadPivot);
  readVector3("touchPadOffset", {0.0, -0.0485, 0.0055}, touchPadOffset);
}

void AnnotationLayoutSettings::clear() {
  annotationWidth = annotationHeight = touchPadWidth = touchPadHeight = 0.0;
  touchPadYaw = touchPadPitch = touchPadRoll = 0.0;
  for (int i = 0; i < 3; ++i) touchPadPivot[i] = touchPadOffset[i] = 0.0;
}

bool AnnotationLayoutSettings::operator==(const AnnotationLayoutSettings& o) const {
  const double a[13] = {annotationWidth, annotationHeight, touchPadWidth, touchPadHeight, touchPadYaw,
                        touchPadPitch, touchPadRoll, touchPadPivot[0], touchPadPivot[1], touchPadPivot[2],
                        touchPadOffset[0], touchPadOffset[1], touchPadOffset[2]};
  const double b[13] = {o.annotationWidth, o.annotationHeight, o.touchPadWidth, o.touchPadHeight, o.touchPadYaw,
                        o.touchPadPitch, o.touchPadRoll, o.touchPadPivot[0], o.touchPadPivot[1],
                        o.touchPadPivot[2], o.touchPadOffset[0], o.touchPadOffset[1], o.touchPadOffset[2]};
  return sameValues(a, b, 13);
}
