#pragma once
// The system interface of one runtime session: the simulated headset, its controllers and
// their properties. Any thread; every call takes the runtime's mutex. After its session ended
// it answers as an uninitialised runtime would (no devices, zero values).
#include <string>

#include "openvr.h"

namespace vrsim {

class SimSystem : public vr::IVRSystem {
 public:
  explicit SimSystem(uint32_t token) : _token(token) {}
  ~SimSystem() override = default;

  void GetRecommendedRenderTargetSize(uint32_t* pnWidth, uint32_t* pnHeight) override;
  vr::HmdMatrix44_t GetProjectionMatrix(vr::EVREye eEye, float fNearZ, float fFarZ) override;
  void GetProjectionRaw(vr::EVREye eEye, float* pfLeft, float* pfRight, float* pfTop,
                        float* pfBottom) override;
  vr::HmdMatrix34_t GetEyeToHeadTransform(vr::EVREye eEye) override;
  void GetDeviceToAbsoluteTrackingPose(vr::ETrackingUniverseOrigin eOrigin,
                                       float fPredictedSecondsToPhotonsFromNow,
                                       vr::TrackedDevicePose_t* pTrackedDevicePoseArray,
                                       uint32_t unTrackedDevicePoseArrayCount) override;
  vr::TrackedDeviceIndex_t GetTrackedDeviceIndexForControllerRole(
      vr::ETrackedControllerRole unDeviceType) override;
  vr::ETrackedControllerRole GetControllerRoleForTrackedDeviceIndex(
      vr::TrackedDeviceIndex_t unDeviceIndex) override;
  vr::ETrackedDeviceClass GetTrackedDeviceClass(vr::TrackedDeviceIndex_t unDeviceIndex) override;
  bool IsTrackedDeviceConnected(vr::TrackedDeviceIndex_t unDeviceIndex) override;
  bool GetBoolTrackedDeviceProperty(vr::TrackedDeviceIndex_t unDeviceIndex,
                                    vr::ETrackedDeviceProperty prop,
                                    vr::ETrackedPropertyError* pError) override;
  float GetFloatTrackedDeviceProperty(vr::TrackedDeviceIndex_t unDeviceIndex,
                                      vr::ETrackedDeviceProperty prop,
                                      vr::ETrackedPropertyError* pError) override;
  int32_t GetInt32TrackedDeviceProperty(vr::TrackedDeviceIndex_t unDeviceIndex,
                                        vr::ETrackedDeviceProperty prop,
                                        vr::ETrackedPropertyError* pError) override;
  uint64_t GetUint64TrackedDeviceProperty(vr::TrackedDeviceIndex_t unDeviceIndex,
                                          vr::ETrackedDeviceProperty prop,
                                          vr::ETrackedPropertyError* pError) override;
  uint32_t GetStringTrackedDeviceProperty(vr::TrackedDeviceIndex_t unDeviceIndex,
                                          vr::ETrackedDeviceProperty prop, char* pchValue,
                                          uint32_t unBufferSize,
                                          vr::ETrackedPropertyError* pError) override;
  const char* GetPropErrorNameFromEnum(vr::ETrackedPropertyError error) override;
  bool PollNextEvent(vr::VREvent_t* pEvent, uint32_t uncbVREvent) override;
  const char* GetEventTypeNameFromEnum(vr::EVREventType eType) override;
  bool GetControllerState(vr::TrackedDeviceIndex_t unControllerDeviceIndex,
                          vr::VRControllerState_t* pControllerState,
                          uint32_t unControllerStateSize) override;
  void TriggerHapticPulse(vr::TrackedDeviceIndex_t unControllerDeviceIndex, uint32_t unAxisId,
                          unsigned short usDurationMicroSec) override;
  const char* GetButtonIdNameFromEnum(vr::EVRButtonId eButtonId) override;
  const char* GetControllerAxisTypeNameFromEnum(vr::EVRControllerAxisType eAxisType) override;
  bool IsInputFocusCapturedByAnotherProcess() override;
  bool IsInputAvailable() override { return !IsInputFocusCapturedByAnotherProcess(); }

 private:
  // The property's text and its error; false when it cannot be read as the wanted type.
  bool property(vr::TrackedDeviceIndex_t index, int prop, int wantedType, std::string& value,
                vr::ETrackedPropertyError& error);

  const uint32_t _token;
};

}  // namespace vrsim
