#include "SystemAdapter.h"

#include <cstddef>
#include <cstring>

#include "PoseLayout.h"
#include "SimulatorPort.h"

namespace vrsim {
namespace runtime {

namespace {

vr::HmdMatrix34_t identity34() {
  vr::HmdMatrix34_t m;
  std::memset(&m, 0, sizeof m);
  m.m[0][0] = m.m[1][1] = m.m[2][2] = 1.0f;
  return m;
}

template <class T>
T withError(T value, int32_t error, vr::ETrackedPropertyError* pError) {
  if (pError) *pError = vr::ETrackedPropertyError(error);
  return value;
}

template <class T>
T typedProperty(void* system, vr::TrackedDeviceIndex_t device, vr::ETrackedDeviceProperty prop,
                vr::ETrackedPropertyError* pError, T (*get)(void*, uint32_t, int32_t, int32_t&)) {
  int32_t error = 0;
  const T value = get(system, device, prop, error);
  return withError(value, error, pError);
}

}  // namespace

void SystemAdapter::GetRecommendedRenderTargetSize(uint32_t* pnWidth, uint32_t* pnHeight) {
  port::recommendedRenderTargetSize(_system, pnWidth, pnHeight);
}

vr::HmdMatrix44_t SystemAdapter::GetProjectionMatrix(vr::EVREye eEye, float fNearZ, float fFarZ) {
  const port::Matrix44 m = port::projectionMatrix(_system, eEye, fNearZ, fFarZ);
  vr::HmdMatrix44_t result;
  std::memcpy(result.m, m.m, sizeof result.m);
  return result;
}

void SystemAdapter::GetProjectionRaw(vr::EVREye eEye, float* pfLeft, float* pfRight, float* pfTop,
                                     float* pfBottom) {
  port::projectionRaw(_system, eEye, pfLeft, pfRight, pfTop, pfBottom);
}

// The simulated display has no lens: every colour lands where it was drawn.
bool SystemAdapter::ComputeDistortion(vr::EVREye, float fU, float fV, vr::DistortionCoordinates_t* pDistortion) {
  if (!pDistortion) return false;
  for (float* c : {pDistortion->rfRed, pDistortion->rfGreen, pDistortion->rfBlue}) {
    c[0] = fU;
    c[1] = fV;
  }
  return true;
}

vr::HmdMatrix34_t SystemAdapter::GetEyeToHeadTransform(vr::EVREye eEye) {
  const port::Matrix34 m = port::eyeToHeadTransform(_system, eEye);
  vr::HmdMatrix34_t result;
  std::memcpy(result.m, m.m, sizeof result.m);
  return result;
}

bool SystemAdapter::GetTimeSinceLastVsync(float* pfSecondsSinceLastVsync, uint64_t* pulFrameCounter) {
  if (pfSecondsSinceLastVsync) *pfSecondsSinceLastVsync = 0.0f;
  if (pulFrameCounter) *pulFrameCounter = 0;
  return false;
}

void SystemAdapter::GetDXGIOutputInfo(int32_t* pnAdapterIndex) {
  if (pnAdapterIndex) *pnAdapterIndex = -1;
}

void SystemAdapter::GetOutputDevice(uint64_t* pnDevice, vr::ETextureType, VkInstance_T*) {
  if (pnDevice) *pnDevice = 0;
}

void SystemAdapter::GetDeviceToAbsoluteTrackingPose(vr::ETrackingUniverseOrigin eOrigin,
                                                    float fPredictedSecondsToPhotonsFromNow,
                                                    vr::TrackedDevicePose_t* pTrackedDevicePoseArray,
                                                    uint32_t unTrackedDevicePoseArrayCount) {
  port::deviceToAbsoluteTrackingPose(_system, eOrigin, fPredictedSecondsToPhotonsFromNow,
                                     portPoses(pTrackedDevicePoseArray), unTrackedDevicePoseArrayCount);
}

vr::HmdMatrix34_t SystemAdapter::GetSeatedZeroPoseToStandingAbsoluteTrackingPose() { return identity34(); }

vr::HmdMatrix34_t SystemAdapter::GetRawZeroPoseToStandingAbsoluteTrackingPose() { return identity34(); }

uint32_t SystemAdapter::GetSortedTrackedDeviceIndicesOfClass(vr::ETrackedDeviceClass, vr::TrackedDeviceIndex_t*,
                                                             uint32_t, vr::TrackedDeviceIndex_t) {
  return 0;
}

vr::EDeviceActivityLevel SystemAdapter::GetTrackedDeviceActivityLevel(vr::TrackedDeviceIndex_t) {
  return vr::k_EDeviceActivityLevel_Unknown;
}

void SystemAdapter::ApplyTransform(vr::TrackedDevicePose_t* pOutputPose, const vr::TrackedDevicePose_t* pTrackedDevicePose,
                                   const vr::HmdMatrix34_t*) {
  if (pOutputPose && pTrackedDevicePose) *pOutputPose = *pTrackedDevicePose;
}

vr::TrackedDeviceIndex_t SystemAdapter::GetTrackedDeviceIndexForControllerRole(vr::ETrackedControllerRole unDeviceType) {
  return port::deviceIndexForControllerRole(_system, unDeviceType);
}

vr::ETrackedControllerRole SystemAdapter::GetControllerRoleForTrackedDeviceIndex(vr::TrackedDeviceIndex_t unDeviceIndex) {
  return vr::ETrackedControllerRole(port::controllerRoleForDeviceIndex(_system, unDeviceIndex));
}

vr::ETrackedDeviceClass SystemAdapter::GetTrackedDeviceClass(vr::TrackedDeviceIndex_t unDeviceIndex) {
  return vr::ETrackedDeviceClass(port::deviceClass(_system, unDeviceIndex));
}

bool SystemAdapter::IsTrackedDeviceConnected(vr::TrackedDeviceIndex_t unDeviceIndex) {
  return port::deviceConnected(_system, unDeviceIndex);
}

bool SystemAdapter::GetBoolTrackedDeviceProperty(vr::TrackedDeviceIndex_t unDeviceIndex,
                                                 vr::ETrackedDeviceProperty prop, vr::ETrackedPropertyError* pError) {
  return typedProperty(_system, unDeviceIndex, prop, pError, port::boolProperty);
}

float SystemAdapter::GetFloatTrackedDeviceProperty(vr::TrackedDeviceIndex_t unDeviceIndex,
                                                   vr::ETrackedDeviceProperty prop, vr::ETrackedPropertyError* pError) {
  return typedProperty(_system, unDeviceIndex, prop, pError, port::floatProperty);
}

int32_t SystemAdapter::GetInt32TrackedDeviceProperty(vr::TrackedDeviceIndex_t unDeviceIndex,
                                                     vr::ETrackedDeviceProperty prop, vr::ETrackedPropertyError* pError) {
  return typedProperty(_system, unDeviceIndex, prop, pError, port::int32Property);
}

uint64_t SystemAdapter::GetUint64TrackedDeviceProperty(vr::TrackedDeviceIndex_t unDeviceIndex,
                                                       vr::ETrackedDeviceProperty prop,
                                                       vr::ETrackedPropertyError* pError) {
  return typedProperty(_system, unDeviceIndex, prop, pError, port::uint64Property);
}

vr::HmdMatrix34_t SystemAdapter::GetMatrix34TrackedDeviceProperty(vr::TrackedDeviceIndex_t, vr::ETrackedDeviceProperty,
                                                                  vr::ETrackedPropertyError* pError) {
  vr::HmdMatrix34_t zero;
  std::memset(&zero, 0, sizeof zero);
  return withError(zero, vr::TrackedProp_ValueNotProvidedByDevice, pError);
}

uint32_t SystemAdapter::GetArrayTrackedDeviceProperty(vr::TrackedDeviceIndex_t, vr::ETrackedDeviceProperty,
                                                      vr::PropertyTypeTag_t, void*, uint32_t,
                                                      vr::ETrackedPropertyError* pError) {
  return withError(0u, vr::TrackedProp_ValueNotProvidedByDevice, pError);
}

uint32_t SystemAdapter::GetStringTrackedDeviceProperty(vr::TrackedDeviceIndex_t unDeviceIndex,
                                                       vr::ETrackedDeviceProperty prop, char* pchValue,
                                                       uint32_t unBufferSize, vr::ETrackedPropertyError* pError) {
  int32_t error = 0;
  const uint32_t needed = port::stringProperty(_system, unDeviceIndex, prop, pchValue, unBufferSize, error);
  return withError(needed, error, pError);
}

const char* SystemAdapter::GetPropErrorNameFromEnum(vr::ETrackedPropertyError error) {
  return port::propertyErrorName(_system, error);
}

// The SDK's event is packed and larger than the simulator's: copied field by field.
bool SystemAdapter::PollNextEvent(vr::VREvent_t* pEvent, uint32_t uncbVREvent) {
  if (!pEvent || uncbVREvent < offsetof(vr::VREvent_t, data) + sizeof(vr::VREvent_Controller_t)) return false;
  port::Event event{};
  if (!port::pollNextEvent(_system, event)) return false;
  std::memset(pEvent, 0, uncbVREvent);
  pEvent->eventType = event.type;
  pEvent->trackedDeviceIndex = event.device;
  pEvent->eventAgeSeconds = event.ageSeconds;
  pEvent->data.controller.button = event.button;
  return true;
}

bool SystemAdapter::PollNextEventWithPose(vr::ETrackingUniverseOrigin eOrigin, vr::VREvent_t* pEvent,
                                          uint32_t uncbVREvent, vr::TrackedDevicePose_t* pTrackedDevicePose) {
  if (!PollNextEvent(pEvent, uncbVREvent)) return false;
  if (pTrackedDevicePose) {
    vr::TrackedDevicePose_t poses[vr::k_unMaxTrackedDeviceCount] = {};
    GetDeviceToAbsoluteTrackingPose(eOrigin, 0.0f, poses, vr::k_unMaxTrackedDeviceCount);
    const uint32_t device = pEvent->trackedDeviceIndex;
    *pTrackedDevicePose = device < vr::k_unMaxTrackedDeviceCount ? poses[device] : vr::TrackedDevicePose_t{};
  }
  return true;
}

const char* SystemAdapter::GetEventTypeNameFromEnum(vr::EVREventType eType) {
  return port::eventTypeName(_system, eType);
}

vr::HiddenAreaMesh_t SystemAdapter::GetHiddenAreaMesh(vr::EVREye, vr::EHiddenAreaMeshType) {
  return vr::HiddenAreaMesh_t{nullptr, 0};
}

// The SDK packs the state to 4 bytes on Linux (60 bytes), the simulator's is 64: copied by field.
bool SystemAdapter::GetControllerState(vr::TrackedDeviceIndex_t unControllerDeviceIndex,
                                       vr::VRControllerState_t* pControllerState, uint32_t unControllerStateSize) {
  if (!pControllerState || unControllerStateSize != sizeof(vr::VRControllerState_t)) return false;
  port::ControllerState state{};
  const bool known = port::controllerState(_system, unControllerDeviceIndex, state);
  pControllerState->unPacketNum = state.packetNum;
  pControllerState->ulButtonPressed = state.pressed;
  pControllerState->ulButtonTouched = state.touched;
  for (uint32_t k = 0; k < vr::k_unControllerStateAxisCount; ++k) {
    pControllerState->rAxis[k].x = state.axis[k][0];
    pControllerState->rAxis[k].y = state.axis[k][1];
  }
  return known;
}

bool SystemAdapter::GetControllerStateWithPose(vr::ETrackingUniverseOrigin eOrigin,
                                               vr::TrackedDeviceIndex_t unControllerDeviceIndex,
                                               vr::VRControllerState_t* pControllerState,
                                               uint32_t unControllerStateSize,
                                               vr::TrackedDevicePose_t* pTrackedDevicePose) {
  const bool known = GetControllerState(unControllerDeviceIndex, pControllerState, unControllerStateSize);
  if (pTrackedDevicePose) {
    vr::TrackedDevicePose_t poses[vr::k_unMaxTrackedDeviceCount] = {};
    GetDeviceToAbsoluteTrackingPose(eOrigin, 0.0f, poses, vr::k_unMaxTrackedDeviceCount);
    *pTrackedDevicePose = unControllerDeviceIndex < vr::k_unMaxTrackedDeviceCount ? poses[unControllerDeviceIndex]
                                                                                  : vr::TrackedDevicePose_t{};
  }
  return known;
}

void SystemAdapter::TriggerHapticPulse(vr::TrackedDeviceIndex_t unControllerDeviceIndex, uint32_t unAxisId,
                                       unsigned short usDurationMicroSec) {
  port::hapticPulse(_system, unControllerDeviceIndex, unAxisId, usDurationMicroSec);
}

const char* SystemAdapter::GetButtonIdNameFromEnum(vr::EVRButtonId eButtonId) {
  return port::buttonName(_system, eButtonId);
}

const char* SystemAdapter::GetControllerAxisTypeNameFromEnum(vr::EVRControllerAxisType eAxisType) {
  return port::axisTypeName(_system, eAxisType);
}

bool SystemAdapter::IsInputAvailable() { return port::inputAvailable(_system); }

uint32_t SystemAdapter::GetAppContainerFilePaths(char* pchBuffer, uint32_t unBufferSize) {
  if (pchBuffer && unBufferSize > 0) pchBuffer[0] = '\0';
  return 1;
}

const char* SystemAdapter::GetRuntimeVersion() { return "quonix simulated headset"; }

}  // namespace runtime
}  // namespace vrsim
