#include "WidgetEvent.h"

#include <cstring>

namespace {
void identity(double m[16]) {
  std::memset(m, 0, 16 * sizeof(double));
  m[0] = m[5] = m[10] = m[15] = 1.0;
}
}  // namespace

void WidgetState::clear() {
  state = 0;
  padding0 = 0;
  libraryValue0 = 0.0;
  std::memset(committedGeometry, 0, sizeof(committedGeometry));
  std::memset(interactiveGeometry, 0, sizeof(interactiveGeometry));
  std::memset(libraryValues1, 0, sizeof(libraryValues1));
  std::memset(widgetPosition, 0, sizeof(widgetPosition));
  std::memset(libraryValues2, 0, sizeof(libraryValues2));
  widgetScale = 0.0;
  libraryValue3 = 0;
  std::memset(widgetBounds, 0, sizeof(widgetBounds));
  std::memset(widgetMatrix, 0, sizeof(widgetMatrix));
  std::memset(widgetRotation, 0, sizeof(widgetRotation));
  libraryValue4 = 0.0;
  widgetPart.clear();
  connectionId = 0;
}

void WidgetState::reset() {
  clear();
  widgetScale = 1.0;
  identity(widgetMatrix);
  identity(widgetRotation);
}

void WidgetEvent::reset() {
  std::memset(tip, 0, sizeof(tip));
  direction[0] = direction[1] = 0.0;
  direction[2] = 1.0;
  auxVector[0] = auxVector[1] = 0.0;
  auxVector[2] = 1.0;
  interactive = 0;
  std::memset(padding0, 0, sizeof(padding0));
  libraryValue0 = 0;
  std::memset(controllerPose, 0, sizeof(controllerPose));
  std::memset(modelRotation, 0, sizeof(modelRotation));
  factorA = 1.0;
  factorB = 1.0;
  laserAngle = 0.0;
  lockRotationAngle = 60.0;
  state.clear();
}
