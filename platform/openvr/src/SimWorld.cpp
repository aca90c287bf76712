#include "SimWorld.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "FrameCompositor.h"

namespace vrsim {

namespace {

const size_t kMaxQueuedEvents = 1024;

// The controllers' buttons: system, menu, grip, track pad and trigger.
const uint64_t kControllerButtons =
    vr::ButtonMaskFromId(vr::k_EButton_System) | vr::ButtonMaskFromId(vr::k_EButton_ApplicationMenu) |
    vr::ButtonMaskFromId(vr::k_EButton_Grip) | vr::ButtonMaskFromId(vr::k_EButton_SteamVR_Touchpad) |
    vr::ButtonMaskFromId(vr::k_EButton_SteamVR_Trigger);

SimDevice makeHmd() {
  SimDevice d;
  d.name = "hmd";
  d.deviceClass = vr::TrackedDeviceClass_HMD;
  d.index = vr::k_unTrackedDeviceIndex_Hmd;
  d.position[1] = 1.6;  // standing eye height, looking along -z
  d.properties = {
      {vr::Prop_TrackingSystemName_String, "vrsim"},
      {vr::Prop_ModelNumber_String, "Quonix Simulated Headset"},
      {vr::Prop_SerialNumber_String, "VRSIM-HMD-0001"},
      {vr::Prop_RenderModelName_String, "vrsim_hmd"},
      {vr::Prop_ManufacturerName_String, "Mavolin"},
      {vr::Prop_WillDriftInYaw_Bool, "false"},
      {vr::Prop_SecondsFromVsyncToPhotons_Float, "0.0111"},
  };
  return d;
}

SimDevice makeController(const std::string& name, vr::TrackedDeviceIndex_t index,
                         vr::ETrackedControllerRole role, double x) {
  SimDevice d;
  d.name = name;
  d.deviceClass = vr::TrackedDeviceClass_Controller;
  d.index = index;
  d.role = role;
  // Held in front of the body at about waist height, pointing forward.
  d.position[0] = x;
  d.position[1] = 1.05;
  d.position[2] = -0.35;
  d.properties = {
      {vr::Prop_TrackingSystemName_String, "vrsim"},
      {vr::Prop_ModelNumber_String, "Quonix Simulated Controller"},
      {vr::Prop_SerialNumber_String, name == "left" ? "VRSIM-CTL-0001" : "VRSIM-CTL-0002"},
      {vr::Prop_RenderModelName_String, "vrsim_controller"},
      {vr::Prop_ManufacturerName_String, "Mavolin"},
      {vr::Prop_ControllerType_String, "vive_controller"},
      {vr::Prop_WillDriftInYaw_Bool, "false"},
      {vr::Prop_SupportedButtons_Uint64, std::to_string(kControllerButtons)},
      {vr::Prop_Axis0Type_Int32, std::to_string(vr::k_eControllerAxis_TrackPad)},
      {vr::Prop_Axis1Type_Int32, std::to_string(vr::k_eControllerAxis_Trigger)},
      {vr::Prop_Axis2Type_Int32, "0"},
      {vr::Prop_Axis3Type_Int32, "0"},
      {vr::Prop_Axis4Type_Int32, "0"},
  };
  return d;
}

}  // namespace

int InjectedFailure::take() {
  if (!active()) return 0;
  if (times > 0) --times;
  return code;
}

SimWorld::SimWorld() {
  _devices.push_back(makeHmd());
  _devices.push_back(makeController("left", 1, vr::TrackedControllerRole_LeftHand, -0.2));
  _devices.push_back(makeController("right", 2, vr::TrackedControllerRole_RightHand, 0.2));
}

SimDevice* SimWorld::deviceByName(const std::string& name) {
  for (SimDevice& d : _devices)
    if (d.name == name) return &d;
  return nullptr;
}

SimDevice& SimWorld::device(const std::string& name) { return *deviceByName(name); }

SimDevice* SimWorld::deviceAt(vr::TrackedDeviceIndex_t index) {
  if (index == vr::k_unTrackedDeviceIndexInvalid) return nullptr;
  for (SimDevice& d : _devices)
    if (d.index == index) return &d;
  return nullptr;
}

void SimWorld::setPosition(SimDevice& d, double x, double y, double z) {
  d.position[0] = x;
  d.position[1] = y;
  d.position[2] = z;
}

void SimWorld::setRotation(SimDevice& d, double yawDeg, double pitchDeg, double rollDeg) {
  // R = Ry(yaw) * Rx(pitch) * Rz(roll): turn about the vertical, then tilt, then roll.
  const double k = M_PI / 180.0;
  const double cy = std::cos(yawDeg * k), sy = std::sin(yawDeg * k);
  const double cp = std::cos(pitchDeg * k), sp = std::sin(pitchDeg * k);
  const double cr = std::cos(rollDeg * k), sr = std::sin(rollDeg * k);
  const double ry[3][3] = {{cy, 0, sy}, {0, 1, 0}, {-sy, 0, cy}};
  const double rx[3][3] = {{1, 0, 0}, {0, cp, -sp}, {0, sp, cp}};
  const double rz[3][3] = {{cr, -sr, 0}, {sr, cr, 0}, {0, 0, 1}};
  double t[3][3];
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) {
      t[r][c] = 0;
      for (int i = 0; i < 3; ++i) t[r][c] += ry[r][i] * rx[i][c];
    }
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) {
      d.rotation[r][c] = 0;
      for (int i = 0; i < 3; ++i) d.rotation[r][c] += t[r][i] * rz[i][c];
    }
}

void SimWorld::setPose(SimDevice& d, const double m[3][4]) {
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) d.rotation[r][c] = m[r][c];
    d.position[r] = m[r][3];
  }
}

void SimWorld::press(SimDevice& d, uint32_t button) {
  const uint64_t bit = vr::ButtonMaskFromId(vr::EVRButtonId(button));
  if (!(d.pressed & bit)) ++d.packetNum;
  d.pressed |= bit;
  pushEvent(vr::VREvent_ButtonPress, d.index, button);
}

void SimWorld::release(SimDevice& d, uint32_t button) {
  const uint64_t bit = vr::ButtonMaskFromId(vr::EVRButtonId(button));
  if (d.pressed & bit) ++d.packetNum;
  d.pressed &= ~bit;
  pushEvent(vr::VREvent_ButtonUnpress, d.index, button);
}

void SimWorld::setAxis(SimDevice& d, int axis, float x, float y) {
  d.axes[axis].x = x;
  d.axes[axis].y = y;
  ++d.packetNum;
}

void SimWorld::setAxisType(SimDevice& d, int axis, int type) {
  d.properties[vr::Prop_Axis0Type_Int32 + axis] = std::to_string(type);
}

void SimWorld::setIndex(SimDevice& d, vr::TrackedDeviceIndex_t index) {
  if (d.index == index) return;
  // Another device at the wanted index gives it up (it becomes absent).
  if (SimDevice* other = deviceAt(index)) {
    if (other->connected) pushEvent(vr::VREvent_TrackedDeviceDeactivated, other->index);
    other->index = vr::k_unTrackedDeviceIndexInvalid;
  }
  if (d.present() && d.connected) pushEvent(vr::VREvent_TrackedDeviceDeactivated, d.index);
  d.index = index;
  if (d.present() && d.connected) pushEvent(vr::VREvent_TrackedDeviceActivated, d.index);
}

void SimWorld::setRole(SimDevice& d, vr::ETrackedControllerRole role) {
  if (d.role == role) return;
  d.role = role;
  if (d.present()) pushEvent(vr::VREvent_TrackedDeviceRoleChanged, d.index);
}

void SimWorld::setConnected(SimDevice& d, bool connected) {
  if (d.connected == connected) return;
  d.connected = connected;
  if (d.present())
    pushEvent(connected ? vr::VREvent_TrackedDeviceActivated : vr::VREvent_TrackedDeviceDeactivated,
              d.index);
}

void SimWorld::setProperty(SimDevice& d, int property, const std::string& value) {
  d.properties[property] = value;
}

void SimWorld::setFocusCaptured(bool captured) {
  if (focusCaptured == captured) return;
  focusCaptured = captured;
  pushEvent(captured ? vr::VREvent_InputFocusCaptured : vr::VREvent_InputFocusReleased,
            vr::k_unTrackedDeviceIndexInvalid);
}

vr::TrackedDevicePose_t SimWorld::poseOf(const SimDevice& d) const {
  vr::TrackedDevicePose_t pose;
  std::memset(&pose, 0, sizeof pose);
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) pose.mDeviceToAbsoluteTracking.m[r][c] = float(d.rotation[r][c]);
    pose.mDeviceToAbsoluteTracking.m[r][3] = float(d.position[r]);
  }
  pose.bDeviceIsConnected = d.connected;
  pose.bPoseIsValid = d.connected && d.tracking;
  pose.eTrackingResult = !d.connected ? vr::TrackingResult_Uninitialized
                         : d.tracking ? vr::TrackingResult_Running_OK
                                      : vr::TrackingResult_Running_OutOfRange;
  return pose;
}

void SimWorld::fillPoses(vr::TrackedDevicePose_t* poses, uint32_t count) const {
  if (!poses) return;
  for (uint32_t i = 0; i < count; ++i) {
    std::memset(&poses[i], 0, sizeof poses[i]);
    poses[i].eTrackingResult = vr::TrackingResult_Uninitialized;
  }
  for (const SimDevice& d : _devices)
    if (d.present() && d.index < count) poses[d.index] = poseOf(d);
}

void SimWorld::pushEvent(uint32_t type, vr::TrackedDeviceIndex_t device, uint32_t button) {
  vr::VREvent_t e;
  std::memset(&e, 0, sizeof e);
  e.eventType = type;
  e.trackedDeviceIndex = device;
  e.data.controller.button = button;
  if (_events.size() >= kMaxQueuedEvents) _events.pop_front();  // nobody polls: drop the oldest
  _events.push_back(e);
}

bool SimWorld::popEvent(vr::VREvent_t& event) {
  if (_events.empty()) return false;
  event = _events.front();
  _events.pop_front();
  return true;
}

void SimWorld::logHapticPulse(vr::TrackedDeviceIndex_t device, uint32_t axis, uint16_t duration) {
  _haptics.push_back(HapticPulse{_frame, device, axis, duration});
  // Tests of a whole program read the pulses from a file: one line "FRAME DEVICE AXIS MICROSECONDS".
  static const char* const logFile = std::getenv("QUONIX_VRSIM_HAPTICS_LOG");
  if (logFile && *logFile) {
    if (FILE* out = std::fopen(logFile, "a")) {
      std::fprintf(out, "%llu %u %u %u\n", static_cast<unsigned long long>(_frame), device, axis, unsigned(duration));
      std::fclose(out);
    }
  }
}

void SimWorld::applyFrame(uint64_t frame) {
  auto range = _timeline.equal_range(frame);
  for (auto it = range.first; it != range.second; ++it) it->second(*this);
}

void SimWorld::advanceFrame() {
  ++_frame;
  applyFrame(_frame);
}

double SimWorld::now() const { return scriptedClock ? scriptedSeconds : FrameCompositor::now(); }

double SimWorld::takePendingDelay() {
  const double delay = pendingDelay;
  pendingDelay = 0;
  if (!scriptedClock) return delay;
  if (delay > 0) scriptedSeconds += delay;
  return 0;
}

PropertyType propertyType(int property) {
  if (property >= 3002 && property <= 3006) return PropertyType::Int32;
  switch (property) {
    case vr::Prop_WillDriftInYaw_Bool:
      return PropertyType::Bool;
    case vr::Prop_DeviceClass_Int32:
      return PropertyType::Int32;
    case vr::Prop_SecondsFromVsyncToPhotons_Float:
    case vr::Prop_DisplayFrequency_Float:
    case vr::Prop_UserIpdMeters_Float:
      return PropertyType::Float;
    case vr::Prop_SupportedButtons_Uint64:
      return PropertyType::Uint64;
    default:
      return PropertyType::String;
  }
}

bool isKnownProperty(int property) {
  switch (property) {
    case vr::Prop_TrackingSystemName_String:
    case vr::Prop_ModelNumber_String:
    case vr::Prop_SerialNumber_String:
    case vr::Prop_RenderModelName_String:
    case vr::Prop_WillDriftInYaw_Bool:
    case vr::Prop_ManufacturerName_String:
    case vr::Prop_TrackingFirmwareVersion_String:
    case vr::Prop_HardwareRevision_String:
    case vr::Prop_DeviceClass_Int32:
    case vr::Prop_SecondsFromVsyncToPhotons_Float:
    case vr::Prop_DisplayFrequency_Float:
    case vr::Prop_UserIpdMeters_Float:
    case vr::Prop_AttachedDeviceId_String:
    case vr::Prop_SupportedButtons_Uint64:
    case vr::Prop_Axis0Type_Int32:
    case vr::Prop_Axis1Type_Int32:
    case vr::Prop_Axis2Type_Int32:
    case vr::Prop_Axis3Type_Int32:
    case vr::Prop_Axis4Type_Int32:
    case vr::Prop_ControllerType_String:
      return true;
    default:
      return false;
  }
}

}  // namespace vrsim
