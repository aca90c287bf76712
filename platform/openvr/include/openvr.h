#pragma once
// The VR runtime interface: tracked devices, controller input, the compositor and render models.
//
// The program talks to the headset only through this header. The runtime behind it (library
// quonix::openvr) simulates a head-mounted display with two hand controllers; what it shows and
// how it moves can be scripted (see the README, "Running without a headset").
//
// Conventions:
// - Tracking space is right-handed, in metres: +x right, +y up, -z forward (where the user looks
//   when the head has no rotation).
// - HmdMatrix34_t and HmdMatrix44_t are row-major and act on column vectors; the translation of
//   a 3x4 pose is its last column.
// - Interface objects are owned by the runtime. The accessors VRSystem(), VRCompositor() and
//   VRRenderModels() return null while the runtime is not initialised (or after a shut-down):
//   every caller must test the pointer and skip its work when it is null.
// - Every enumeration is a 32-bit integer, so a code this header does not name is still a
//   valid value (a runtime may report codes newer than the header).
// - The runtime serialises its own state, but the program makes every call while holding its
//   render lock so that initialisation, shut-down and frame work never interleave.
#include <cstddef>
#include <cstdint>
#include <mutex>

namespace vr {

// ---------------------------------------------------------------------------------------------
// Basic types and limits

typedef uint32_t TrackedDeviceIndex_t;
typedef int32_t TextureID_t;
typedef uint64_t PropertyContainerHandle_t;

static const uint32_t k_unMaxTrackedDeviceCount = 16;
static const TrackedDeviceIndex_t k_unTrackedDeviceIndex_Hmd = 0;
static const TrackedDeviceIndex_t k_unTrackedDeviceIndexInvalid = 0xFFFFFFFFu;
static const uint32_t k_unMaxPropertyStringSize = 32 * 1024;
static const uint32_t k_unControllerStateAxisCount = 5;
static const TextureID_t INVALID_TEXTURE_ID = -1;

struct HmdMatrix34_t {
  float m[3][4];
};

struct HmdMatrix44_t {
  float m[4][4];
};

struct HmdVector3_t {
  float v[3];
};

struct HmdVector2_t {
  float v[2];
};

struct HmdQuaternion_t {
  double w, x, y, z;
};

enum EVREye : int32_t {
  Eye_Left = 0,
  Eye_Right = 1,
};

enum ETrackingUniverseOrigin : int32_t {
  TrackingUniverseSeated = 0,
  TrackingUniverseStanding = 1,
  TrackingUniverseRawAndUncalibrated = 2,
};

enum ETrackingResult : int32_t {
  TrackingResult_Uninitialized = 1,
  TrackingResult_Calibrating_InProgress = 100,
  TrackingResult_Calibrating_OutOfRange = 101,
  TrackingResult_Running_OK = 200,
  TrackingResult_Running_OutOfRange = 201,
};

enum ETrackedDeviceClass : int32_t {
  TrackedDeviceClass_Invalid = 0,
  TrackedDeviceClass_HMD = 1,
  TrackedDeviceClass_Controller = 2,
  TrackedDeviceClass_GenericTracker = 3,
  TrackedDeviceClass_TrackingReference = 4,
  TrackedDeviceClass_DisplayRedirect = 5,
};

enum ETrackedControllerRole : int32_t {
  TrackedControllerRole_Invalid = 0,
  TrackedControllerRole_LeftHand = 1,
  TrackedControllerRole_RightHand = 2,
};

// Pose of one tracked device at one moment.
struct TrackedDevicePose_t {
  HmdMatrix34_t mDeviceToAbsoluteTracking;
  HmdVector3_t vVelocity;         // metres per second, tracking space
  HmdVector3_t vAngularVelocity;  // radians per second
  ETrackingResult eTrackingResult;
  bool bPoseIsValid;
  bool bDeviceIsConnected;
};

// ---------------------------------------------------------------------------------------------
// Tracked-device properties

enum ETrackedDeviceProperty : int32_t {
  Prop_Invalid = 0,

  Prop_TrackingSystemName_String = 1000,
  Prop_ModelNumber_String = 1001,
  Prop_SerialNumber_String = 1002,
  Prop_RenderModelName_String = 1003,
  Prop_WillDriftInYaw_Bool = 1004,
  Prop_ManufacturerName_String = 1005,
  Prop_TrackingFirmwareVersion_String = 1006,
  Prop_HardwareRevision_String = 1007,
  Prop_DeviceClass_Int32 = 1029,

  Prop_SecondsFromVsyncToPhotons_Float = 2001,
  Prop_DisplayFrequency_Float = 2002,
  Prop_UserIpdMeters_Float = 2003,

  Prop_AttachedDeviceId_String = 3000,
  Prop_SupportedButtons_Uint64 = 3001,
  Prop_Axis0Type_Int32 = 3002,
  Prop_Axis1Type_Int32 = 3003,
  Prop_Axis2Type_Int32 = 3004,
  Prop_Axis3Type_Int32 = 3005,
  Prop_Axis4Type_Int32 = 3006,

  Prop_ControllerType_String = 7000,
};

enum ETrackedPropertyError : int32_t {
  TrackedProp_Success = 0,
  TrackedProp_WrongDataType = 1,
  TrackedProp_WrongDeviceClass = 2,
  TrackedProp_BufferTooSmall = 3,
  TrackedProp_UnknownProperty = 4,
  TrackedProp_InvalidDevice = 5,
  TrackedProp_CouldNotContactServer = 6,
  TrackedProp_ValueNotProvidedByDevice = 7,
  TrackedProp_StringExceedsMaximumLength = 8,
  TrackedProp_NotYetAvailable = 9,
};

// ---------------------------------------------------------------------------------------------
// Controller input

enum EVRButtonId : int32_t {
  k_EButton_System = 0,
  k_EButton_ApplicationMenu = 1,
  k_EButton_Grip = 2,
  k_EButton_DPad_Left = 3,
  k_EButton_DPad_Up = 4,
  k_EButton_DPad_Right = 5,
  k_EButton_DPad_Down = 6,
  k_EButton_A = 7,

  k_EButton_ProximitySensor = 31,

  k_EButton_Axis0 = 32,
  k_EButton_Axis1 = 33,
  k_EButton_Axis2 = 34,
  k_EButton_Axis3 = 35,
  k_EButton_Axis4 = 36,

  // The usual meaning of the first two axes.
  k_EButton_SteamVR_Touchpad = k_EButton_Axis0,
  k_EButton_SteamVR_Trigger = k_EButton_Axis1,

  k_EButton_Dashboard_Back = k_EButton_Grip,

  k_EButton_Max = 64,
};

// The bit of a button in the pressed and touched masks of VRControllerState_t.
inline uint64_t ButtonMaskFromId(EVRButtonId id) { return uint64_t(1) << id; }

enum EVRControllerAxisType : int32_t {
  k_eControllerAxis_None = 0,
  k_eControllerAxis_TrackPad = 1,
  k_eControllerAxis_Joystick = 2,
  k_eControllerAxis_Trigger = 3,
};

// One axis: a track pad or joystick in -1..1 on both components, a trigger in 0..1 on x.
struct VRControllerAxis_t {
  float x;
  float y;
};

// Controller state as polled (64 bytes).
struct VRControllerState001_t {
  uint32_t unPacketNum;  // changes whenever the state changes
  uint64_t ulButtonPressed;
  uint64_t ulButtonTouched;
  VRControllerAxis_t rAxis[k_unControllerStateAxisCount];
};
typedef VRControllerState001_t VRControllerState_t;

// ---------------------------------------------------------------------------------------------
// Events

enum EVREventType : int32_t {
  VREvent_None = 0,

  VREvent_TrackedDeviceActivated = 100,
  VREvent_TrackedDeviceDeactivated = 101,
  VREvent_TrackedDeviceUpdated = 102,
  VREvent_TrackedDeviceRoleChanged = 108,

  VREvent_ButtonPress = 200,
  VREvent_ButtonUnpress = 201,
  VREvent_ButtonTouch = 202,
  VREvent_ButtonUntouch = 203,

  VREvent_InputFocusCaptured = 400,
  VREvent_InputFocusReleased = 401,
};

// Data of a button event: the EVRButtonId.
struct VREvent_Controller_t {
  uint32_t button;
};

struct VREvent_Reserved_t {
  uint64_t reserved0;
  uint64_t reserved1;
};

union VREvent_Data_t {
  VREvent_Reserved_t reserved;
  VREvent_Controller_t controller;
};

struct VREvent_t {
  uint32_t eventType;  // EVREventType
  TrackedDeviceIndex_t trackedDeviceIndex;
  float eventAgeSeconds;
  VREvent_Data_t data;
};

// ---------------------------------------------------------------------------------------------
// Initialisation

enum EVRApplicationType : int32_t {
  VRApplication_Other = 0,
  VRApplication_Scene = 1,
  VRApplication_Overlay = 2,
  VRApplication_Background = 3,
  VRApplication_Utility = 4,
  VRApplication_VRMonitor = 5,
};

enum EVRInitError : int32_t {
  VRInitError_None = 0,
  VRInitError_Unknown = 1,

  VRInitError_Init_InstallationNotFound = 100,
  VRInitError_Init_InstallationCorrupt = 101,
  VRInitError_Init_VRClientDLLNotFound = 102,
  VRInitError_Init_FileNotFound = 103,
  VRInitError_Init_FactoryNotFound = 104,
  VRInitError_Init_InterfaceNotFound = 105,
  VRInitError_Init_InvalidInterface = 106,
  VRInitError_Init_UserConfigDirectoryInvalid = 107,
  VRInitError_Init_HmdNotFound = 108,
  VRInitError_Init_NotInitialized = 109,
  VRInitError_Init_PathRegistryNotFound = 110,
  VRInitError_Init_NoConfigPath = 111,
  VRInitError_Init_NoLogPath = 112,
  VRInitError_Init_PathRegistryNotWritable = 113,
  VRInitError_Init_AppInfoInitFailed = 114,
  VRInitError_Init_Retry = 115,
  VRInitError_Init_InitCanceledByUser = 116,
  VRInitError_Init_AnotherAppLaunching = 117,
  VRInitError_Init_SettingsInitFailed = 118,
  VRInitError_Init_ShuttingDown = 119,
  VRInitError_Init_TooManyObjects = 120,
  VRInitError_Init_NoServerForBackgroundApp = 121,
  VRInitError_Init_NotSupportedWithCompositor = 122,
  VRInitError_Init_NotAvailableToUtilityApps = 123,
  VRInitError_Init_Internal = 124,

  VRInitError_Driver_Failed = 200,
  VRInitError_Driver_Unknown = 201,
  VRInitError_Driver_HmdUnknown = 202,
  VRInitError_Driver_NotLoaded = 203,
  VRInitError_Driver_RuntimeOutOfDate = 204,
  VRInitError_Driver_HmdInUse = 205,
  VRInitError_Driver_NotCalibrated = 206,
  VRInitError_Driver_CalibrationInvalid = 207,
  VRInitError_Driver_HmdDisplayNotFound = 208,

  VRInitError_IPC_ServerInitFailed = 300,
  VRInitError_IPC_ConnectFailed = 301,
  VRInitError_IPC_SharedStateInitFailed = 302,
  VRInitError_IPC_CompositorInitFailed = 303,
  VRInitError_IPC_MutexInitFailed = 304,
  VRInitError_IPC_Failed = 305,

  VRInitError_Compositor_Failed = 400,
  VRInitError_Compositor_D3D11HardwareRequired = 401,
  VRInitError_Compositor_FirmwareRequiresUpdate = 402,
  VRInitError_Compositor_OverlayInitFailed = 403,
  VRInitError_Compositor_ScreenshotsInitFailed = 404,
};

// ---------------------------------------------------------------------------------------------
// Compositor types

enum ETextureType : int32_t {
  TextureType_DirectX = 0,
  TextureType_OpenGL = 1,  // handle: the GLuint texture name, cast to void*
  TextureType_Vulkan = 2,
  TextureType_IOSurface = 3,
  TextureType_DirectX12 = 4,
};

enum EColorSpace : int32_t {
  ColorSpace_Auto = 0,
  ColorSpace_Gamma = 1,
  ColorSpace_Linear = 2,
};

struct Texture_t {
  void* handle;
  ETextureType eType;
  EColorSpace eColorSpace;
};

// Part of a submitted texture, in texture coordinates 0..1.
struct VRTextureBounds_t {
  float uMin, vMin;
  float uMax, vMax;
};

enum EVRSubmitFlags : int32_t {
  Submit_Default = 0x00,
  Submit_LensDistortionAlreadyApplied = 0x01,
  Submit_GlRenderBuffer = 0x02,
};

enum EVRCompositorError : int32_t {
  VRCompositorError_None = 0,
  VRCompositorError_RequestFailed = 1,
  VRCompositorError_IncompatibleVersion = 100,
  VRCompositorError_DoNotHaveFocus = 101,
  VRCompositorError_InvalidTexture = 102,
  VRCompositorError_IsNotSceneApplication = 103,
  VRCompositorError_TextureIsOnWrongDevice = 104,
  VRCompositorError_TextureUsesUnsupportedFormat = 105,
  VRCompositorError_SharedTexturesNotSupported = 106,
  VRCompositorError_IndexOutOfRange = 107,
};

// Timing of one presented frame (176 bytes). The caller sets m_nSize to
// sizeof(Compositor_FrameTiming) before asking.
struct Compositor_FrameTiming {
  uint32_t m_nSize;
  uint32_t m_nFrameIndex;
  uint32_t m_nNumFramePresents;
  uint32_t m_nNumMisPresented;
  uint32_t m_nNumDroppedFrames;
  uint32_t m_nReprojectionFlags;

  double m_flSystemTimeInSeconds;  // when the frame was presented, on the runtime's clock

  float m_flPreSubmitGpuMs;
  float m_flPostSubmitGpuMs;
  float m_flTotalRenderGpuMs;
  float m_flCompositorRenderGpuMs;
  float m_flCompositorRenderCpuMs;
  float m_flCompositorIdleCpuMs;

  float m_flClientFrameIntervalMs;
  float m_flPresentCallCpuMs;
  float m_flWaitForPresentCpuMs;
  float m_flSubmitFrameMs;

  float m_flWaitGetPosesCalledMs;
  float m_flNewPosesReadyMs;
  float m_flNewFrameReadyMs;
  float m_flCompositorUpdateStartMs;
  float m_flCompositorUpdateEndMs;
  float m_flCompositorRenderStartMs;

  TrackedDevicePose_t m_HmdPose;  // the head pose the frame was rendered with
};

// ---------------------------------------------------------------------------------------------
// Render models

enum EVRRenderModelError : int32_t {
  VRRenderModelError_None = 0,
  VRRenderModelError_Loading = 100,
  VRRenderModelError_NotSupported = 200,
  VRRenderModelError_InvalidArg = 300,
  VRRenderModelError_InvalidModel = 301,
  VRRenderModelError_NoShapes = 302,
  VRRenderModelError_MultipleShapes = 303,
  VRRenderModelError_TooManyVertices = 304,
  VRRenderModelError_MultipleTextures = 305,
  VRRenderModelError_BufferTooSmall = 306,
  VRRenderModelError_NotEnoughNormals = 307,
  VRRenderModelError_NotEnoughTexCoords = 308,
  VRRenderModelError_InvalidTexture = 400,
};

// One vertex of a render model (32 bytes), in the device's own coordinates.
struct RenderModel_Vertex_t {
  HmdVector3_t vPosition;
  HmdVector3_t vNormal;
  float rfTextureCoord[2];
};

// RGBA, 8 bits per channel, rows from the top of the image.
struct RenderModel_TextureMap_t {
  uint16_t unWidth;
  uint16_t unHeight;
  const uint8_t* rubTextureMapData;
};

// A triangle mesh: unTriangleCount * 3 indices into the vertices.
struct RenderModel_t {
  const RenderModel_Vertex_t* rVertexData;
  uint32_t unVertexCount;
  const uint16_t* rIndexData;
  uint32_t unTriangleCount;
  TextureID_t diffuseTextureId;  // INVALID_TEXTURE_ID when the model has no texture
};

// ---------------------------------------------------------------------------------------------
// Interfaces

static const char* const IVRSystem_Version = "IVRSystem_015";
static const char* const IVRCompositor_Version = "IVRCompositor_020";
static const char* const IVRRenderModels_Version = "IVRRenderModels_005";

// The headset, its controllers and their properties.
class IVRSystem {
 public:
  // Per-eye render-target size that gives about one texel per display pixel.
  virtual void GetRecommendedRenderTargetSize(uint32_t* pnWidth, uint32_t* pnHeight) = 0;

  // Projection of an eye for the given near and far distances (OpenGL clip space: z in -w..w).
  virtual HmdMatrix44_t GetProjectionMatrix(EVREye eEye, float fNearZ, float fFarZ) = 0;

  // Tangents of the half-angles of an eye's frustum; left and top are negative.
  virtual void GetProjectionRaw(EVREye eEye, float* pfLeft, float* pfRight, float* pfTop,
                                float* pfBottom) = 0;

  // Transform from an eye's space to the head's space (the eye's position in the head).
  virtual HmdMatrix34_t GetEyeToHeadTransform(EVREye eEye) = 0;

  // Current poses of up to unTrackedDevicePoseArrayCount devices, indexed by device index.
  virtual void GetDeviceToAbsoluteTrackingPose(ETrackingUniverseOrigin eOrigin,
                                               float fPredictedSecondsToPhotonsFromNow,
                                               TrackedDevicePose_t* pTrackedDevicePoseArray,
                                               uint32_t unTrackedDevicePoseArrayCount) = 0;

  // The device holding a controller role; k_unTrackedDeviceIndexInvalid when none does.
  virtual TrackedDeviceIndex_t GetTrackedDeviceIndexForControllerRole(
      ETrackedControllerRole unDeviceType) = 0;
  virtual ETrackedControllerRole GetControllerRoleForTrackedDeviceIndex(
      TrackedDeviceIndex_t unDeviceIndex) = 0;

  virtual ETrackedDeviceClass GetTrackedDeviceClass(TrackedDeviceIndex_t unDeviceIndex) = 0;
  virtual bool IsTrackedDeviceConnected(TrackedDeviceIndex_t unDeviceIndex) = 0;

  // Typed properties. A property of another type, an unknown property or device gives the
  // type's zero value and the error in *pError (when pError is given).
  virtual bool GetBoolTrackedDeviceProperty(TrackedDeviceIndex_t unDeviceIndex,
                                            ETrackedDeviceProperty prop,
                                            ETrackedPropertyError* pError = nullptr) = 0;
  virtual float GetFloatTrackedDeviceProperty(TrackedDeviceIndex_t unDeviceIndex,
                                              ETrackedDeviceProperty prop,
                                              ETrackedPropertyError* pError = nullptr) = 0;
  virtual int32_t GetInt32TrackedDeviceProperty(TrackedDeviceIndex_t unDeviceIndex,
                                                ETrackedDeviceProperty prop,
                                                ETrackedPropertyError* pError = nullptr) = 0;
  virtual uint64_t GetUint64TrackedDeviceProperty(TrackedDeviceIndex_t unDeviceIndex,
                                                  ETrackedDeviceProperty prop,
                                                  ETrackedPropertyError* pError = nullptr) = 0;

  // String property. Returns the size the value needs, terminating zero included (0 when the
  // property has no value). The value is copied only when it fits into unBufferSize bytes;
  // otherwise the buffer is left alone and *pError is TrackedProp_BufferTooSmall. Ask first
  // with no buffer for the size, then again with a buffer of that size.
  virtual uint32_t GetStringTrackedDeviceProperty(TrackedDeviceIndex_t unDeviceIndex,
                                                  ETrackedDeviceProperty prop, char* pchValue,
                                                  uint32_t unBufferSize,
                                                  ETrackedPropertyError* pError = nullptr) = 0;
  virtual const char* GetPropErrorNameFromEnum(ETrackedPropertyError error) = 0;

  // Takes the oldest pending event; false when there is none.
  virtual bool PollNextEvent(VREvent_t* pEvent, uint32_t uncbVREvent) = 0;
  virtual const char* GetEventTypeNameFromEnum(EVREventType eType) = 0;

  // Button and axis state of a controller; false (state zeroed) for an unknown device.
  virtual bool GetControllerState(TrackedDeviceIndex_t unControllerDeviceIndex,
                                  VRControllerState_t* pControllerState,
                                  uint32_t unControllerStateSize) = 0;
  // A short vibration of a controller.
  virtual void TriggerHapticPulse(TrackedDeviceIndex_t unControllerDeviceIndex, uint32_t unAxisId,
                                  unsigned short usDurationMicroSec) = 0;
  virtual const char* GetButtonIdNameFromEnum(EVRButtonId eButtonId) = 0;
  virtual const char* GetControllerAxisTypeNameFromEnum(EVRControllerAxisType eAxisType) = 0;

  // True while another program (such as the runtime's own dashboard) takes the controllers.
  virtual bool IsInputFocusCapturedByAnotherProcess() = 0;
  // False while another program takes the controllers: the current runtimes' form of the
  // question above, the one both this header and theirs offer.
  virtual bool IsInputAvailable() = 0;

 protected:
  virtual ~IVRSystem() = default;
};

// Frame pacing and presentation of the rendered eyes.
class IVRCompositor {
 public:
  virtual void SetTrackingSpace(ETrackingUniverseOrigin eOrigin) = 0;
  virtual ETrackingUniverseOrigin GetTrackingSpace() = 0;

  // Waits until the compositor wants the next frame (bounded by one display period), then
  // fills the poses to render with (and optionally the predicted game poses).
  virtual EVRCompositorError WaitGetPoses(TrackedDevicePose_t* pRenderPoseArray,
                                          uint32_t unRenderPoseArrayCount,
                                          TrackedDevicePose_t* pGamePoseArray,
                                          uint32_t unGamePoseArrayCount) = 0;
  // The poses the last WaitGetPoses returned.
  virtual EVRCompositorError GetLastPoses(TrackedDevicePose_t* pRenderPoseArray,
                                          uint32_t unRenderPoseArrayCount,
                                          TrackedDevicePose_t* pGamePoseArray,
                                          uint32_t unGamePoseArrayCount) = 0;

  // Hands one eye's image to the compositor. With TextureType_OpenGL the texture is read in
  // the OpenGL context current on the calling thread.
  virtual EVRCompositorError Submit(EVREye eEye, const Texture_t* pTexture,
                                    const VRTextureBounds_t* pBounds = nullptr,
                                    EVRSubmitFlags nSubmitFlags = Submit_Default) = 0;
  virtual void ClearLastSubmittedFrame() = 0;
  virtual void PostPresentHandoff() = 0;

  // Timing of the frame presented unFramesAgo frames before the latest one (0 = latest);
  // false when there is no such frame or pTiming->m_nSize is not sizeof(Compositor_FrameTiming).
  virtual bool GetFrameTiming(Compositor_FrameTiming* pTiming, uint32_t unFramesAgo = 0) = 0;
  // Seconds left in the current display period.
  virtual float GetFrameTimeRemaining() = 0;

  virtual void ForceInterleavedReprojectionOn(bool bOverride) = 0;
  virtual bool IsFullscreen() = 0;

 protected:
  virtual ~IVRCompositor() = default;
};

// Meshes and textures of the tracked devices, loaded without blocking.
class IVRRenderModels {
 public:
  // VRRenderModelError_Loading until the model is ready; then VRRenderModelError_None with
  // *ppRenderModel set. The model stays valid until FreeRenderModel.
  virtual EVRRenderModelError LoadRenderModel_Async(const char* pchRenderModelName,
                                                    RenderModel_t** ppRenderModel) = 0;
  virtual void FreeRenderModel(RenderModel_t* pRenderModel) = 0;

  // As LoadRenderModel_Async, for a model's diffuse texture.
  virtual EVRRenderModelError LoadTexture_Async(TextureID_t textureId,
                                                RenderModel_TextureMap_t** ppTexture) = 0;
  virtual void FreeTexture(RenderModel_TextureMap_t* pTexture) = 0;

  // Name of the model at an index (size needed with its zero, as the string properties).
  virtual uint32_t GetRenderModelName(uint32_t unRenderModelIndex, char* pchRenderModelName,
                                      uint32_t unRenderModelNameLen) = 0;
  virtual uint32_t GetRenderModelCount() = 0;
  virtual uint32_t GetComponentCount(const char* pchRenderModelName) = 0;
  virtual const char* GetRenderModelErrorNameFromEnum(EVRRenderModelError error) = 0;

 protected:
  virtual ~IVRRenderModels() = default;
};

// ---------------------------------------------------------------------------------------------
// Runtime entry points (library quonix::openvr)

// Starts the runtime; returns the initialisation token (0 on failure) and the error in
// *peError. Each successful start after a shut-down gets a new token.
uint32_t VR_InitInternal(EVRInitError* peError, EVRApplicationType eApplicationType);
void VR_ShutdownInternal();
bool VR_IsHmdPresent();
bool VR_IsRuntimeInstalled();
// The token of the current initialisation; 0 while the runtime is not initialised.
uint32_t VR_GetInitToken();
// The runtime's object for an interface version; null (and the reason in *peError) when the
// runtime is not initialised or does not know that version.
void* VR_GetGenericInterface(const char* pchInterfaceVersion, EVRInitError* peError);
bool VR_IsInterfaceVersionValid(const char* pchInterfaceVersion);
// "VRInitError_Init_HmdNotFound" and the like.
const char* VR_GetVRInitErrorAsSymbol(EVRInitError error);
// A sentence for users, ending with the number in parentheses, e.g. "Hmd Not Found (108)".
const char* VR_GetVRInitErrorAsEnglishDescription(EVRInitError error);

// ---------------------------------------------------------------------------------------------
// Interface cache
//
// One process-wide record of the interface pointers fetched since the current initialisation.
// Every access compares the cached token with VR_GetInitToken(): after a shut-down and a new
// initialisation the token differs, all cached pointers are dropped and fetched again.
// An accessor returns null when the runtime is not initialised; callers skip their work then.

class VRInterfaceCache {
 public:
  static VRInterfaceCache& instance() {
    static VRInterfaceCache cache;
    return cache;
  }

  IVRSystem* system() { return fetch<IVRSystem>(_system, IVRSystem_Version); }
  IVRCompositor* compositor() { return fetch<IVRCompositor>(_compositor, IVRCompositor_Version); }
  IVRRenderModels* renderModels() {
    return fetch<IVRRenderModels>(_renderModels, IVRRenderModels_Version);
  }

  // Drops every cached pointer (after an initialisation, before the first access).
  void clear() {
    std::lock_guard<std::mutex> guard(_mutex);
    dropAll();
  }

 private:
  VRInterfaceCache() = default;

  template <class T>
  T* fetch(void*& slot, const char* version) {
    std::lock_guard<std::mutex> guard(_mutex);
    const uint32_t token = VR_GetInitToken();
    if (token != _token) {
      dropAll();
      _token = token;
    }
    if (!slot) {
      EVRInitError error = VRInitError_None;
      slot = VR_GetGenericInterface(version, &error);
      if (error != VRInitError_None) slot = nullptr;
    }
    return static_cast<T*>(slot);
  }

  void dropAll() {
    _system = nullptr;
    _compositor = nullptr;
    _renderModels = nullptr;
  }

  std::mutex _mutex;  // guards the record; any thread, normally under the program's render lock
  uint32_t _token = 0;
  void* _system = nullptr;
  void* _compositor = nullptr;
  void* _renderModels = nullptr;
};

// Null when the runtime is not initialised (or does not offer the interface).
inline IVRSystem* VRSystem() { return VRInterfaceCache::instance().system(); }
inline IVRCompositor* VRCompositor() { return VRInterfaceCache::instance().compositor(); }
inline IVRRenderModels* VRRenderModels() { return VRInterfaceCache::instance().renderModels(); }

// Starts the runtime and returns its system interface, or null with the error in *peError.
// A runtime that does not offer IVRSystem_Version is shut down again and reported as
// VRInitError_Init_InterfaceNotFound.
inline IVRSystem* VR_Init(EVRInitError* peError, EVRApplicationType eApplicationType) {
  EVRInitError error = VRInitError_None;
  VR_InitInternal(&error, eApplicationType);
  VRInterfaceCache::instance().clear();
  IVRSystem* system = nullptr;
  if (error == VRInitError_None) {
    if (VR_IsInterfaceVersionValid(IVRSystem_Version)) {
      system = VRSystem();
    } else {
      VR_ShutdownInternal();
      error = VRInitError_Init_InterfaceNotFound;
    }
  }
  if (peError) *peError = error;
  return system;
}

inline void VR_Shutdown() { VR_ShutdownInternal(); }

}  // namespace vr
