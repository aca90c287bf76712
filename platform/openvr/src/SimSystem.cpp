#include "SimSystem.h"

#include <cstdlib>
#include <cstring>

#include "ErrorText.h"
#include "Runtime.h"

namespace vrsim {

namespace {

using Guard = std::lock_guard<std::recursive_mutex>;

// Tangents of the frustum half-angles of the left eye: wider towards the outside (left) than
// towards the nose. The right eye mirrors it. Top is negative (upwards), as the API reports.
const float kOuter = 1.39f, kInner = 1.25f, kUp = 1.47f, kDown = 1.47f;

void rawProjection(vr::EVREye eye, float& left, float& right, float& top, float& bottom) {
  left = eye == vr::Eye_Left ? -kOuter : -kInner;
  right = eye == vr::Eye_Left ? kInner : kOuter;
  top = -kUp;
  bottom = kDown;
}

}  // namespace

void SimSystem::GetRecommendedRenderTargetSize(uint32_t* pnWidth, uint32_t* pnHeight) {
  Runtime& rt = Runtime::instance();
  Guard guard(rt.mutex());
  const bool current = rt.isCurrent(_token);
  if (pnWidth) *pnWidth = current ? rt.world().renderWidth : 0;
  if (pnHeight) *pnHeight = current ? rt.world().renderHeight : 0;
}

vr::HmdMatrix44_t SimSystem::GetProjectionMatrix(vr::EVREye eEye, float fNearZ, float fFarZ) {
  float l, r, t, b;
  rawProjection(eEye, l, r, t, b);
  vr::HmdMatrix44_t m;
  std::memset(&m, 0, sizeof m);
  // OpenGL convention: camera looks along -z, clip z from -w (near) to w (far), y up.
  m.m[0][0] = 2.0f / (r - l);
  m.m[0][2] = (r + l) / (r - l);
  m.m[1][1] = 2.0f / (b - t);
  m.m[1][2] = -(b + t) / (b - t);
  const float range = fFarZ - fNearZ;
  if (range != 0.0f) {
    m.m[2][2] = -(fFarZ + fNearZ) / range;
    m.m[2][3] = -2.0f * fFarZ * fNearZ / range;
  }
  m.m[3][2] = -1.0f;
  return m;
}

void SimSystem::GetProjectionRaw(vr::EVREye eEye, float* pfLeft, float* pfRight, float* pfTop,
                                 float* pfBottom) {
  float l, r, t, b;
  rawProjection(eEye, l, r, t, b);
  if (pfLeft) *pfLeft = l;
  if (pfRight) *pfRight = r;
  if (pfTop) *pfTop = t;
  if (pfBottom) *pfBottom = b;
}

vr::HmdMatrix34_t SimSystem::GetEyeToHeadTransform(vr::EVREye eEye) {
  Runtime& rt = Runtime::instance();
  Guard guard(rt.mutex());
  const double ipd = rt.isCurrent(_token) ? rt.world().ipd : 0.064;
  vr::HmdMatrix34_t m;
  std::memset(&m, 0, sizeof m);
  m.m[0][0] = m.m[1][1] = m.m[2][2] = 1.0f;
  m.m[0][3] = float(eEye == vr::Eye_Left ? -ipd / 2 : ipd / 2);
  return m;
}

void SimSystem::GetDeviceToAbsoluteTrackingPose(vr::ETrackingUniverseOrigin, float,
                                                vr::TrackedDevicePose_t* poses, uint32_t count) {
  Runtime& rt = Runtime::instance();
  Guard guard(rt.mutex());
  if (!poses) return;
  if (!rt.isCurrent(_token)) {
    for (uint32_t i = 0; i < count; ++i) {
      std::memset(&poses[i], 0, sizeof poses[i]);
      poses[i].eTrackingResult = vr::TrackingResult_Uninitialized;
    }
    return;
  }
  rt.world().fillPoses(poses, count);
}

vr::TrackedDeviceIndex_t SimSystem::GetTrackedDeviceIndexForControllerRole(
    vr::ETrackedControllerRole role) {
  Runtime& rt = Runtime::instance();
  Guard guard(rt.mutex());
  vr::TrackedDeviceIndex_t found = vr::k_unTrackedDeviceIndexInvalid;
  if (!rt.isCurrent(_token) || role == vr::TrackedControllerRole_Invalid) return found;
  for (const SimDevice& d : rt.world().devices())
    if (d.present() && d.isController() && d.role == role && d.index < found) found = d.index;
  return found;
}

vr::ETrackedControllerRole SimSystem::GetControllerRoleForTrackedDeviceIndex(
    vr::TrackedDeviceIndex_t index) {
  Runtime& rt = Runtime::instance();
  Guard guard(rt.mutex());
  if (!rt.isCurrent(_token)) return vr::TrackedControllerRole_Invalid;
  const SimDevice* d = rt.world().deviceAt(index);
  return d ? d->role : vr::TrackedControllerRole_Invalid;
}

vr::ETrackedDeviceClass SimSystem::GetTrackedDeviceClass(vr::TrackedDeviceIndex_t index) {
  Runtime& rt = Runtime::instance();
  Guard guard(rt.mutex());
  if (!rt.isCurrent(_token)) return vr::TrackedDeviceClass_Invalid;
  const SimDevice* d = rt.world().deviceAt(index);
  return d ? d->deviceClass : vr::TrackedDeviceClass_Invalid;
}

bool SimSystem::IsTrackedDeviceConnected(vr::TrackedDeviceIndex_t index) {
  Runtime& rt = Runtime::instance();
  Guard guard(rt.mutex());
  if (!rt.isCurrent(_token)) return false;
  const SimDevice* d = rt.world().deviceAt(index);
  return d && d->connected;
}

bool SimSystem::property(vr::TrackedDeviceIndex_t index, int prop, int wantedType,
                         std::string& value, vr::ETrackedPropertyError& error) {
  Runtime& rt = Runtime::instance();
  if (!rt.isCurrent(_token)) {
    error = vr::TrackedProp_CouldNotContactServer;
    return false;
  }
  SimWorld& world = rt.world();
  const SimDevice* d = world.deviceAt(index);
  if (!d) {
    error = vr::TrackedProp_InvalidDevice;
    return false;
  }
  if (propertyType(prop) != PropertyType(wantedType)) {
    error = isKnownProperty(prop) || d->properties.count(prop) ? vr::TrackedProp_WrongDataType
                                                               : vr::TrackedProp_UnknownProperty;
    return false;
  }
  const bool hmd = d->deviceClass == vr::TrackedDeviceClass_HMD;
  if (prop == vr::Prop_DeviceClass_Int32) {
    value = std::to_string(int(d->deviceClass));
  } else if (hmd && prop == vr::Prop_DisplayFrequency_Float) {
    value = std::to_string(world.rate > 0 ? world.rate : 90.0);
  } else if (hmd && prop == vr::Prop_UserIpdMeters_Float) {
    value = std::to_string(world.ipd);
  } else {
    auto it = d->properties.find(prop);
    if (it == d->properties.end()) {
      error = isKnownProperty(prop) ? vr::TrackedProp_ValueNotProvidedByDevice
                                    : vr::TrackedProp_UnknownProperty;
      return false;
    }
    value = it->second;
  }
  error = vr::TrackedProp_Success;
  return true;
}

namespace {
template <class T>
T report(bool ok, T v, vr::ETrackedPropertyError error, vr::ETrackedPropertyError* pError) {
  if (pError) *pError = error;
  return ok ? v : T();
}
}  // namespace

bool SimSystem::GetBoolTrackedDeviceProperty(vr::TrackedDeviceIndex_t index,
                                             vr::ETrackedDeviceProperty prop,
                                             vr::ETrackedPropertyError* pError) {
  Guard guard(Runtime::instance().mutex());
  std::string v;
  vr::ETrackedPropertyError error;
  const bool ok = property(index, prop, int(PropertyType::Bool), v, error);
  return report(ok, v == "true" || v == "1", error, pError);
}

float SimSystem::GetFloatTrackedDeviceProperty(vr::TrackedDeviceIndex_t index,
                                               vr::ETrackedDeviceProperty prop,
                                               vr::ETrackedPropertyError* pError) {
  Guard guard(Runtime::instance().mutex());
  std::string v;
  vr::ETrackedPropertyError error;
  const bool ok = property(index, prop, int(PropertyType::Float), v, error);
  return report(ok, ok ? std::strtof(v.c_str(), nullptr) : 0.0f, error, pError);
}

int32_t SimSystem::GetInt32TrackedDeviceProperty(vr::TrackedDeviceIndex_t index,
                                                 vr::ETrackedDeviceProperty prop,
                                                 vr::ETrackedPropertyError* pError) {
  Guard guard(Runtime::instance().mutex());
  std::string v;
  vr::ETrackedPropertyError error;
  const bool ok = property(index, prop, int(PropertyType::Int32), v, error);
  return report(ok, ok ? int32_t(std::strtol(v.c_str(), nullptr, 10)) : 0, error, pError);
}

uint64_t SimSystem::GetUint64TrackedDeviceProperty(vr::TrackedDeviceIndex_t index,
                                                   vr::ETrackedDeviceProperty prop,
                                                   vr::ETrackedPropertyError* pError) {
  Guard guard(Runtime::instance().mutex());
  std::string v;
  vr::ETrackedPropertyError error;
  const bool ok = property(index, prop, int(PropertyType::Uint64), v, error);
  return report(ok, ok ? uint64_t(std::strtoull(v.c_str(), nullptr, 10)) : 0, error, pError);
}

uint32_t SimSystem::GetStringTrackedDeviceProperty(vr::TrackedDeviceIndex_t index,
                                                   vr::ETrackedDeviceProperty prop, char* pchValue,
                                                   uint32_t unBufferSize,
                                                   vr::ETrackedPropertyError* pError) {
  Guard guard(Runtime::instance().mutex());
  std::string v;
  vr::ETrackedPropertyError error;
  if (!property(index, prop, int(PropertyType::String), v, error)) {
    if (pError) *pError = error;
    return 0;
  }
  const uint32_t needed = uint32_t(v.size() + 1);
  if (!pchValue || unBufferSize < needed) {
    if (pError) *pError = vr::TrackedProp_BufferTooSmall;
    return needed;
  }
  std::memcpy(pchValue, v.c_str(), needed);
  if (pError) *pError = vr::TrackedProp_Success;
  return needed;
}

const char* SimSystem::GetPropErrorNameFromEnum(vr::ETrackedPropertyError error) {
  return propertyErrorName(error);
}

bool SimSystem::PollNextEvent(vr::VREvent_t* pEvent, uint32_t uncbVREvent) {
  Runtime& rt = Runtime::instance();
  Guard guard(rt.mutex());
  if (!pEvent || uncbVREvent != sizeof(vr::VREvent_t) || !rt.isCurrent(_token)) return false;
  return rt.world().popEvent(*pEvent);
}

const char* SimSystem::GetEventTypeNameFromEnum(vr::EVREventType eType) { return eventTypeName(eType); }

bool SimSystem::GetControllerState(vr::TrackedDeviceIndex_t index, vr::VRControllerState_t* state,
                                   uint32_t size) {
  Runtime& rt = Runtime::instance();
  Guard guard(rt.mutex());
  if (!state || size != sizeof(vr::VRControllerState_t)) return false;
  std::memset(state, 0, sizeof *state);
  if (!rt.isCurrent(_token)) return false;
  const SimDevice* d = rt.world().deviceAt(index);
  if (!d || !d->isController() || !d->connected) return false;
  state->unPacketNum = d->packetNum;
  state->ulButtonPressed = d->pressed;
  state->ulButtonTouched = d->pressed;
  for (uint32_t k = 0; k < vr::k_unControllerStateAxisCount; ++k) state->rAxis[k] = d->axes[k];
  return true;
}

void SimSystem::TriggerHapticPulse(vr::TrackedDeviceIndex_t index, uint32_t axis,
                                   unsigned short duration) {
  Runtime& rt = Runtime::instance();
  Guard guard(rt.mutex());
  if (!rt.isCurrent(_token)) return;
  const SimDevice* d = rt.world().deviceAt(index);
  if (d && d->isController() && d->connected) rt.world().logHapticPulse(index, axis, duration);
}

const char* SimSystem::GetButtonIdNameFromEnum(vr::EVRButtonId eButtonId) { return buttonName(eButtonId); }

const char* SimSystem::GetControllerAxisTypeNameFromEnum(vr::EVRControllerAxisType eAxisType) {
  return axisTypeName(eAxisType);
}

bool SimSystem::IsInputFocusCapturedByAnotherProcess() {
  Runtime& rt = Runtime::instance();
  Guard guard(rt.mutex());
  return rt.isCurrent(_token) && rt.world().focusCaptured;
}

}  // namespace vrsim
