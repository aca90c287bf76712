#pragma once
// The records the part-widget manager exchanges with the widget library as call data of the
// VTK user events 1001 to 1008. The library reads and writes them in memory, so their layout is
// a binary interface (64-bit little-endian, doubles, row-major 4x4 matrices, and the standard
// library's string of the build both sides share); the checks below hold it at compile time.
// Records live on the firing thread's stack for one InvokeEvent.
#include <cstddef>
#include <cstdint>
#include <string>

struct WidgetState {
  // reset() values.
  WidgetState() { reset(); }
  WidgetState(const WidgetState&) = default;
  WidgetState& operator=(const WidgetState&) = default;

  // Zero geometry, both matrices identity, widgetScale 1, no part, no connection.
  void reset();
  // Everything zero, both matrices too (what an event's embedded state starts from).
  void clear();

  int32_t state;  // 1 = a widget is being dragged
  int32_t padding0;
  double libraryValue0;          // the widget library's own
  double committedGeometry[3][3];    // p0, p1, p2 by part type
  double interactiveGeometry[3][3];  // while a drag is under way
  double libraryValues1[3];
  double widgetPosition[3];  // the widget's reference point
  double libraryValues2[2];
  double widgetScale;
  uint64_t libraryValue3;
  double widgetBounds[6];      // xmin, xmax, ymin, ymax, zmin, zmax in the widget frame
  double widgetMatrix[16];     // the widget library's own
  double widgetRotation[16];   // model coordinates into the widget frame
  double libraryValue4;
  std::string widgetPart;      // the part whose widget is active
  uint64_t connectionId;       // the command handler's server connection, 0 without one
};

struct WidgetEvent {
  WidgetEvent() { reset(); }
  WidgetEvent(const WidgetEvent&) = default;
  WidgetEvent& operator=(const WidgetEvent&) = default;

  // Tip 0, direction and auxVector (0, 0, 1), factors 1, laserAngle 0, lockRotationAngle 60,
  // everything else zero, the state cleared (WidgetState::clear).
  void reset();

  double tip[3];
  double direction[3];
  double auxVector[3];
  uint8_t interactive;  // the library may change the server's part now
  uint8_t padding0[7];
  uint64_t libraryValue0;
  double controllerPose[16];
  double modelRotation[16];
  double factorA;  // model scale
  double factorB;  // scene scale
  double laserAngle;
  double lockRotationAngle;
  WidgetState state;
};

// The event ids: vtkCommand::UserEvent + 1 ... + 8.
enum WidgetEventId {
  WidgetDragEvent = 1001,
  WidgetDragStartEvent = 1002,
  WidgetEndEvent = 1003,
  WidgetSyncEvent = 1004,
  WidgetSelectedEvent = 1005,
  WidgetDeleteEvent = 1006,
  WidgetQueryEvent = 1007,
  WidgetFrameEvent = 1008
};

#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
#endif
static_assert(sizeof(std::string) == 32, "the widget library expects the 32-byte string of this build");
static_assert(sizeof(WidgetState) == 592, "WidgetState is 592 bytes");
static_assert(offsetof(WidgetState, state) == 0 && offsetof(WidgetState, libraryValue0) == 8 &&
                  offsetof(WidgetState, committedGeometry) == 16 && offsetof(WidgetState, interactiveGeometry) == 88 &&
                  offsetof(WidgetState, libraryValues1) == 160 && offsetof(WidgetState, widgetPosition) == 184 &&
                  offsetof(WidgetState, libraryValues2) == 208 && offsetof(WidgetState, widgetScale) == 224 &&
                  offsetof(WidgetState, libraryValue3) == 232 && offsetof(WidgetState, widgetBounds) == 240 &&
                  offsetof(WidgetState, widgetMatrix) == 288 && offsetof(WidgetState, widgetRotation) == 416 &&
                  offsetof(WidgetState, libraryValue4) == 544 && offsetof(WidgetState, widgetPart) == 552 &&
                  offsetof(WidgetState, connectionId) == 584,
              "WidgetState field offsets");
static_assert(sizeof(WidgetEvent) == 968, "WidgetEvent is 968 bytes");
static_assert(offsetof(WidgetEvent, tip) == 0 && offsetof(WidgetEvent, direction) == 24 &&
                  offsetof(WidgetEvent, auxVector) == 48 && offsetof(WidgetEvent, interactive) == 72 &&
                  offsetof(WidgetEvent, libraryValue0) == 80 && offsetof(WidgetEvent, controllerPose) == 88 &&
                  offsetof(WidgetEvent, modelRotation) == 216 && offsetof(WidgetEvent, factorA) == 344 &&
                  offsetof(WidgetEvent, factorB) == 352 && offsetof(WidgetEvent, laserAngle) == 360 &&
                  offsetof(WidgetEvent, lockRotationAngle) == 368 && offsetof(WidgetEvent, state) == 376,
              "WidgetEvent field offsets");
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
