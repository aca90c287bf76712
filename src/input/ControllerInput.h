#pragma once
// One hand controller's input as polled each frame: pose, buttons, this frame's events, the
// touch-pad and thumb-stick directions and the tracked-device index. A plain record, copied
// byte for byte between the two render buffers' interaction states. Hand 0 is the controller
// with the left-hand role, hand 1 the right-hand one.
//
// Matrices are 4x4 doubles, row-major (element (r, c) at r * 4 + c), applied to column
// vectors. The pose holds the rotation only; the translation lives in `position`.
#include <cstdint>
#include <string>
#include <type_traits>

// Pad and stick directions; the same numbering serves tool icons and widgets.
enum Direction : int32_t {
  DirectionWest = 0,
  DirectionSouth = 1,
  DirectionEast = 2,
  DirectionNorth = 3,
  DirectionNone = 4,
  DirectionAlt = 5  // never produced by the poll
};

struct ControllerInput {
  // Every field zero except: pose identity, pad and stick direction none, no device.
  ControllerInput();
  // A participant's controller transform: its rotation becomes the pose, its translation
  // column the position; the rest as by default.
  explicit ControllerInput(const double matrix[16]);
  static ControllerInput initFromMatrix(const double matrix[16]) { return ControllerInput(matrix); }

  bool hasDevice() const;

  double position[3];         // tracking space, metres; also the tool origin
  double previousToolTip[3];  // tool tip from the pose before the latest poll
  double pose[16];            // rotation; translation column zero, last row 0 0 0 1
  double previousPose[16];    // the pose before the latest poll (all zero at first)
  int32_t padDirection;       // direction of the touch-pad position
  int32_t stickDirection;     // direction of the thumb-stick position
  double padX, padY;
  double stickX, stickY;
  bool directionActive;       // the pad is clicked or the stick deflected
  bool directionPressed;      // ... and that began in this frame
  uint64_t activationFrame;   // the later of pad-click frame and stick-deflection frame
  int32_t direction;          // the hand's current direction: the pad's or the stick's, else none
  bool triggerHeld, padHeld, stickDeflected, gripHeld, menuHeld;
  bool triggerReleased, gripReleased, menuReleased;  // events of this frame
  bool triggerPressed, padPressed, gripPressed, menuPressed;  // events of this frame
  bool stickDeflectionEvent;  // the stick left its dead zone in this frame
  uint64_t padClickFrame;     // frame counter at the latest pad click
  uint64_t stickDeflectionFrame;
  int64_t triggerPressTime;   // steady clock, nanoseconds
  uint32_t deviceIndex;       // tracked-device index; kNoDevice when none
  bool tracked;               // the latest poll had a valid pose for it
};

static_assert(std::is_trivially_copyable<ControllerInput>::value, "copied byte for byte between buffers");

// The runtime's invalid tracked-device index: all 32 bits set.
constexpr uint32_t kNoDevice = 0xFFFFFFFFu;

// Direction of an axis position outside a dead zone: 0 West, 1 South, 2 East, 3 North, 4 when
// the position lies within the dead zone (or is not a number). Right is East, up is North.
int directionFromAxis(double x, double y, double deadZone);
// "West", "South", "East", "North", "Undefined", "Alt" for 0..5; "" otherwise.
std::string directionName(int direction);
// "Left" for hand 0, "Right" for any other hand.
std::string handName(int hand);
// True when a has a device and an active direction, and b's direction is inactive or began
// no later than a's (so the input that began first wins, a wins a tie).
bool isActiveController(const ControllerInput& a, const ControllerInput& b);
