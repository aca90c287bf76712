// The simulator's side of the plain-typed port: each call goes to the simulator's own interface
// objects, so both doors share one behaviour.
#include "SimulatorPort.h"

#include <cstddef>
#include <cstring>
#include <mutex>
#include <string>

#include "Runtime.h"

namespace vrsim {
namespace port {

namespace {

using Guard = std::lock_guard<std::recursive_mutex>;

static_assert(sizeof(Pose) == sizeof(vr::TrackedDevicePose_t), "pose layouts differ");
static_assert(offsetof(Pose, velocity) == offsetof(vr::TrackedDevicePose_t, vVelocity), "pose layouts differ");
static_assert(offsetof(Pose, trackingResult) == offsetof(vr::TrackedDevicePose_t, eTrackingResult),
              "pose layouts differ");
static_assert(offsetof(Pose, valid) == offsetof(vr::TrackedDevicePose_t, bPoseIsValid), "pose layouts differ");
static_assert(offsetof(Pose, connected) == offsetof(vr::TrackedDevicePose_t, bDeviceIsConnected),
              "pose layouts differ");
static_assert(sizeof(vr::RenderModel_Vertex_t) == 32, "a render-model vertex is 32 bytes");

vr::TrackedDevicePose_t* poses(Pose* p) { return reinterpret_cast<vr::TrackedDevicePose_t*>(p); }

vr::IVRSystem* sys(void* s) { return static_cast<vr::IVRSystem*>(s); }
vr::IVRCompositor* comp(void* c) { return static_cast<vr::IVRCompositor*>(c); }
vr::IVRRenderModels* models(void* m) { return static_cast<vr::IVRRenderModels*>(m); }

const char* versionOf(Kind kind) {
  switch (kind) {
    case Kind::System: return vr::IVRSystem_Version;
    case Kind::Compositor: return vr::IVRCompositor_Version;
    case Kind::RenderModels: break;
  }
  return vr::IVRRenderModels_Version;
}

// Called with the runtime's mutex held.
bool offeredLocked(Runtime& rt, Kind kind, const char* otherName) {
  if (!rt.interfaceValid(versionOf(kind))) return false;
  if (otherName)
    for (const std::string& missing : rt.world().missingInterfaces)
      if (missing == otherName) return false;
  return true;
}

}  // namespace

uint32_t init(int32_t& error, int32_t applicationType) {
  vr::EVRInitError e = vr::VRInitError_None;
  const uint32_t token = vr::VR_InitInternal(&e, vr::EVRApplicationType(applicationType));
  error = e;
  return token;
}

void shutdown() { vr::VR_ShutdownInternal(); }

bool hmdPresent() { return vr::VR_IsHmdPresent(); }

bool offers(Kind kind, const char* otherName) {
  Runtime& rt = Runtime::instance();
  Guard guard(rt.mutex());
  return offeredLocked(rt, kind, otherName);
}

void* open(Kind kind, const char* otherName, int32_t& error) {
  Runtime& rt = Runtime::instance();
  Guard guard(rt.mutex());
  if (rt.token() == 0) {
    error = vr::VRInitError_Init_NotInitialized;
    return nullptr;
  }
  if (!offeredLocked(rt, kind, otherName)) {
    error = vr::VRInitError_Init_InterfaceNotFound;
    return nullptr;
  }
  vr::EVRInitError e = vr::VRInitError_None;
  void* object = rt.genericInterface(versionOf(kind), e);
  error = e;
  return object;
}

const char* initErrorSymbol(int32_t error) { return vr::VR_GetVRInitErrorAsSymbol(vr::EVRInitError(error)); }

const char* initErrorDescription(int32_t error) {
  return vr::VR_GetVRInitErrorAsEnglishDescription(vr::EVRInitError(error));
}

// --- System

void recommendedRenderTargetSize(void* s, uint32_t* width, uint32_t* height) {
  sys(s)->GetRecommendedRenderTargetSize(width, height);
}

Matrix44 projectionMatrix(void* s, int32_t eye, float nearZ, float farZ) {
  const vr::HmdMatrix44_t m = sys(s)->GetProjectionMatrix(vr::EVREye(eye), nearZ, farZ);
  Matrix44 result;
  std::memcpy(result.m, m.m, sizeof result.m);
  return result;
}

void projectionRaw(void* s, int32_t eye, float* left, float* right, float* top, float* bottom) {
  sys(s)->GetProjectionRaw(vr::EVREye(eye), left, right, top, bottom);
}

Matrix34 eyeToHeadTransform(void* s, int32_t eye) {
  const vr::HmdMatrix34_t m = sys(s)->GetEyeToHeadTransform(vr::EVREye(eye));
  Matrix34 result;
  std::memcpy(result.m, m.m, sizeof result.m);
  return result;
}

void deviceToAbsoluteTrackingPose(void* s, int32_t origin, float predictedSeconds, Pose* p, uint32_t count) {
  sys(s)->GetDeviceToAbsoluteTrackingPose(vr::ETrackingUniverseOrigin(origin), predictedSeconds, poses(p), count);
}

uint32_t deviceIndexForControllerRole(void* s, int32_t role) {
  return sys(s)->GetTrackedDeviceIndexForControllerRole(vr::ETrackedControllerRole(role));
}

int32_t controllerRoleForDeviceIndex(void* s, uint32_t device) {
  return sys(s)->GetControllerRoleForTrackedDeviceIndex(device);
}

int32_t deviceClass(void* s, uint32_t device) { return sys(s)->GetTrackedDeviceClass(device); }

bool deviceConnected(void* s, uint32_t device) { return sys(s)->IsTrackedDeviceConnected(device); }

namespace {
template <class T>
T property(void* s, uint32_t device, int32_t prop, int32_t& error,
           T (vr::IVRSystem::*get)(vr::TrackedDeviceIndex_t, vr::ETrackedDeviceProperty, vr::ETrackedPropertyError*)) {
  vr::ETrackedPropertyError e = vr::TrackedProp_Success;
  const T value = (sys(s)->*get)(device, vr::ETrackedDeviceProperty(prop), &e);
  error = e;
  return value;
}
}  // namespace

bool boolProperty(void* s, uint32_t device, int32_t prop, int32_t& error) {
  return property(s, device, prop, error, &vr::IVRSystem::GetBoolTrackedDeviceProperty);
}

float floatProperty(void* s, uint32_t device, int32_t prop, int32_t& error) {
  return property(s, device, prop, error, &vr::IVRSystem::GetFloatTrackedDeviceProperty);
}

int32_t int32Property(void* s, uint32_t device, int32_t prop, int32_t& error) {
  return property(s, device, prop, error, &vr::IVRSystem::GetInt32TrackedDeviceProperty);
}

uint64_t uint64Property(void* s, uint32_t device, int32_t prop, int32_t& error) {
  return property(s, device, prop, error, &vr::IVRSystem::GetUint64TrackedDeviceProperty);
}

uint32_t stringProperty(void* s, uint32_t device, int32_t prop, char* value, uint32_t size, int32_t& error) {
  vr::ETrackedPropertyError e = vr::TrackedProp_Success;
  const uint32_t needed =
      sys(s)->GetStringTrackedDeviceProperty(device, vr::ETrackedDeviceProperty(prop), value, size, &e);
  error = e;
  return needed;
}

const char* propertyErrorName(void* s, int32_t error) {
  return sys(s)->GetPropErrorNameFromEnum(vr::ETrackedPropertyError(error));
}

bool pollNextEvent(void* s, Event& event) {
  vr::VREvent_t e;
  std::memset(&e, 0, sizeof e);
  if (!sys(s)->PollNextEvent(&e, sizeof e)) return false;
  event.type = e.eventType;
  event.device = e.trackedDeviceIndex;
  event.ageSeconds = e.eventAgeSeconds;
  event.button = e.data.controller.button;
  return true;
}

const char* eventTypeName(void* s, int32_t type) { return sys(s)->GetEventTypeNameFromEnum(vr::EVREventType(type)); }

bool controllerState(void* s, uint32_t device, ControllerState& state) {
  vr::VRControllerState_t c;
  const bool known = sys(s)->GetControllerState(device, &c, sizeof c);
  state.packetNum = c.unPacketNum;
  state.pressed = c.ulButtonPressed;
  state.touched = c.ulButtonTouched;
  for (uint32_t k = 0; k < vr::k_unControllerStateAxisCount; ++k) {
    state.axis[k][0] = c.rAxis[k].x;
    state.axis[k][1] = c.rAxis[k].y;
  }
  return known;
}

void hapticPulse(void* s, uint32_t device, uint32_t axis, uint16_t microseconds) {
  sys(s)->TriggerHapticPulse(device, axis, microseconds);
}

const char* buttonName(void* s, int32_t button) { return sys(s)->GetButtonIdNameFromEnum(vr::EVRButtonId(button)); }

const char* axisTypeName(void* s, int32_t axisType) {
  return sys(s)->GetControllerAxisTypeNameFromEnum(vr::EVRControllerAxisType(axisType));
}

bool inputAvailable(void* s) { return sys(s)->IsInputAvailable(); }

// --- Compositor

void setTrackingSpace(void* c, int32_t origin) { comp(c)->SetTrackingSpace(vr::ETrackingUniverseOrigin(origin)); }

int32_t trackingSpace(void* c) { return comp(c)->GetTrackingSpace(); }

int32_t waitGetPoses(void* c, Pose* render, uint32_t renderCount, Pose* game, uint32_t gameCount) {
  return comp(c)->WaitGetPoses(poses(render), renderCount, poses(game), gameCount);
}

int32_t lastPoses(void* c, Pose* render, uint32_t renderCount, Pose* game, uint32_t gameCount) {
  return comp(c)->GetLastPoses(poses(render), renderCount, poses(game), gameCount);
}

int32_t submit(void* c, int32_t eye, void* handle, int32_t textureType, int32_t colorSpace, const float* bounds,
               int32_t flags) {
  const vr::Texture_t texture{handle, vr::ETextureType(textureType), vr::EColorSpace(colorSpace)};
  vr::VRTextureBounds_t b{0, 0, 1, 1};
  if (bounds) b = {bounds[0], bounds[1], bounds[2], bounds[3]};
  return comp(c)->Submit(vr::EVREye(eye), &texture, bounds ? &b : nullptr, vr::EVRSubmitFlags(flags));
}

void clearLastSubmittedFrame(void* c) { comp(c)->ClearLastSubmittedFrame(); }

void postPresentHandoff(void* c) { comp(c)->PostPresentHandoff(); }

bool frameTiming(void* c, FrameTiming& timing, uint32_t framesAgo) {
  vr::Compositor_FrameTiming t;
  std::memset(&t, 0, sizeof t);
  t.m_nSize = sizeof t;
  if (!comp(c)->GetFrameTiming(&t, framesAgo)) return false;
  timing.frameIndex = t.m_nFrameIndex;
  timing.numFramePresents = t.m_nNumFramePresents;
  timing.numMisPresented = t.m_nNumMisPresented;
  timing.numDroppedFrames = t.m_nNumDroppedFrames;
  timing.reprojectionFlags = t.m_nReprojectionFlags;
  timing.systemTimeInSeconds = t.m_flSystemTimeInSeconds;
  timing.preSubmitGpuMs = t.m_flPreSubmitGpuMs;
  timing.postSubmitGpuMs = t.m_flPostSubmitGpuMs;
  timing.totalRenderGpuMs = t.m_flTotalRenderGpuMs;
  timing.compositorRenderGpuMs = t.m_flCompositorRenderGpuMs;
  timing.compositorRenderCpuMs = t.m_flCompositorRenderCpuMs;
  timing.compositorIdleCpuMs = t.m_flCompositorIdleCpuMs;
  timing.clientFrameIntervalMs = t.m_flClientFrameIntervalMs;
  timing.presentCallCpuMs = t.m_flPresentCallCpuMs;
  timing.waitForPresentCpuMs = t.m_flWaitForPresentCpuMs;
  timing.submitFrameMs = t.m_flSubmitFrameMs;
  timing.waitGetPosesCalledMs = t.m_flWaitGetPosesCalledMs;
  timing.newPosesReadyMs = t.m_flNewPosesReadyMs;
  timing.newFrameReadyMs = t.m_flNewFrameReadyMs;
  timing.compositorUpdateStartMs = t.m_flCompositorUpdateStartMs;
  timing.compositorUpdateEndMs = t.m_flCompositorUpdateEndMs;
  timing.compositorRenderStartMs = t.m_flCompositorRenderStartMs;
  std::memcpy(&timing.hmdPose, &t.m_HmdPose, sizeof timing.hmdPose);
  return true;
}

float frameTimeRemaining(void* c) { return comp(c)->GetFrameTimeRemaining(); }

void forceInterleavedReprojection(void* c, bool on) { comp(c)->ForceInterleavedReprojectionOn(on); }

bool fullscreen(void* c) { return comp(c)->IsFullscreen(); }

// --- Render models

int32_t loadRenderModel(void* m, const char* name, Model& model) {
  vr::RenderModel_t* loaded = nullptr;
  const vr::EVRRenderModelError error = models(m)->LoadRenderModel_Async(name, &loaded);
  if (error == vr::VRRenderModelError_None && loaded)
    model = {loaded, loaded->rVertexData, loaded->unVertexCount, loaded->rIndexData, loaded->unTriangleCount,
             loaded->diffuseTextureId};
  return error;
}

int32_t loadTexture(void* m, int32_t textureId, TextureMap& texture) {
  vr::RenderModel_TextureMap_t* loaded = nullptr;
  const vr::EVRRenderModelError error = models(m)->LoadTexture_Async(textureId, &loaded);
  if (error == vr::VRRenderModelError_None && loaded)
    texture = {loaded, loaded->unWidth, loaded->unHeight, loaded->rubTextureMapData};
  return error;
}

uint32_t renderModelName(void* m, uint32_t index, char* name, uint32_t size) {
  return models(m)->GetRenderModelName(index, name, size);
}

uint32_t renderModelCount(void* m) { return models(m)->GetRenderModelCount(); }

uint32_t componentCount(void* m, const char* name) { return models(m)->GetComponentCount(name); }

const char* renderModelErrorName(void* m, int32_t error) {
  return models(m)->GetRenderModelErrorNameFromEnum(vr::EVRRenderModelError(error));
}

}  // namespace port
}  // namespace vrsim
