#include "ControllerInput.h"

#include <cmath>
#include <cstring>

ControllerInput::ControllerInput() {
  std::memset(this, 0, sizeof(*this));
  pose[0] = pose[5] = pose[10] = pose[15] = 1.0;
  padDirection = DirectionNone;
  stickDirection = DirectionNone;
  direction = DirectionNone;
  deviceIndex = kNoDevice;
}

ControllerInput::ControllerInput(const double matrix[16]) : ControllerInput() {
  std::memcpy(pose, matrix, sizeof(pose));
  for (int r = 0; r < 3; ++r) {
    position[r] = matrix[r * 4 + 3];
    pose[r * 4 + 3] = 0.0;
  }
}

bool ControllerInput::hasDevice() const { return deviceIndex != kNoDevice; }

int directionFromAxis(double x, double y, double deadZone) {
  const double length = std::sqrt(x * x + y * y);
  // Written so that a NaN length lands on "none" as well.
  if (!(length > deadZone)) return DirectionNone;
  const int a = static_cast<int>(std::ceil(std::atan2(y, x) * 180.0 / M_PI + 180.0));
  return ((a + 44) / 90) % 4;
}

std::string directionName(int direction) {
  static const char* const names[] = {"West", "South", "East", "North", "Undefined", "Alt"};
  if (direction < 0 || direction > 5) return std::string();
  return names[direction];
}

std::string handName(int hand) { return hand == 0 ? "Left" : "Right"; }

bool isActiveController(const ControllerInput& a, const ControllerInput& b) {
  if (!a.hasDevice() || !a.directionActive) return false;
  if (!b.directionActive) return true;
  return a.activationFrame <= b.activationFrame;
}
