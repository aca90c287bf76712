#pragma once
// The part-widget event record as this library reads and writes it: the call data of the VTK
// user events 1001 to 1008 that the program fires on a render window's interactor. Only the
// layout binds; the checks below hold it.
#include <cstddef>
#include <cstdint>
#include <string>

namespace zeltwidget {

struct WidgetState {
  int32_t state;  // 1 while a drag runs
  int32_t padding0;
  double dragDistance;  // ours: the grab point's distance along the ray
  double committedGeometry[3][3];
  double interactiveGeometry[3][3];
  double grabPoint[3];  // ours: where the ray held the widget when the drag began
  double widgetPosition[3];
  double reserved2[2];
  double widgetScale;
  uint64_t reserved3;
  double widgetBounds[6];
  double widgetMatrix[16];
  double widgetRotation[16];
  double reserved4;
  std::string widgetPart;
  uint64_t connectionId;
};

struct WidgetEvent {
  double tip[3];
  double direction[3];
  double auxVector[3];
  uint8_t interactive;
  uint8_t padding0[7];
  uint64_t reserved0;
  double controllerPose[16];
  double modelRotation[16];
  double factorA;
  double factorB;
  double laserAngle;
  double lockRotationAngle;
  WidgetState state;
};

#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
#endif
static_assert(sizeof(std::string) == 32, "32-byte string");
static_assert(sizeof(WidgetState) == 592 && offsetof(WidgetState, committedGeometry) == 16 &&
                  offsetof(WidgetState, interactiveGeometry) == 88 && offsetof(WidgetState, widgetPosition) == 184 &&
                  offsetof(WidgetState, widgetBounds) == 240 && offsetof(WidgetState, widgetRotation) == 416 &&
                  offsetof(WidgetState, widgetPart) == 552 && offsetof(WidgetState, connectionId) == 584,
              "WidgetState layout");
static_assert(sizeof(WidgetEvent) == 968 && offsetof(WidgetEvent, interactive) == 72 &&
                  offsetof(WidgetEvent, controllerPose) == 88 && offsetof(WidgetEvent, factorA) == 344 &&
                  offsetof(WidgetEvent, state) == 376,
              "WidgetEvent layout");
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

}  // namespace zeltwidget
