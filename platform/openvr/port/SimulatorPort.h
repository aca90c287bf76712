#pragma once
// The simulated headset seen without any OpenVR header: what the runtime folder's adapters call.
// Only plain types cross it, so a translation unit compiled against another interface header
// (with its own vr namespace) can include it. Interface objects travel as opaque handles, the
// simulator's own objects of one session; after that session ended they answer as an
// uninitialised runtime would. Any thread; every call takes the simulator's mutex.
#include <cstddef>
#include <cstdint>

namespace vrsim {
namespace port {

struct Matrix34 {
  float m[3][4];
};

struct Matrix44 {
  float m[4][4];
};

// Laid out as TrackedDevicePose_t in every interface header (80 bytes): pose arrays are passed
// through as they are, which each side checks with static_asserts.
struct Pose {
  float m[3][4];
  float velocity[3];
  float angularVelocity[3];
  int32_t trackingResult;
  bool valid;
  bool connected;
};
static_assert(sizeof(Pose) == 80, "a pose is 80 bytes");

struct ControllerState {
  uint32_t packetNum;
  uint64_t pressed;
  uint64_t touched;
  float axis[5][2];
};

struct Event {
  uint32_t type;
  uint32_t device;
  float ageSeconds;
  uint32_t button;  // of button events
};

struct FrameTiming {
  uint32_t frameIndex, numFramePresents, numMisPresented, numDroppedFrames, reprojectionFlags;
  double systemTimeInSeconds;
  float preSubmitGpuMs, postSubmitGpuMs, totalRenderGpuMs, compositorRenderGpuMs, compositorRenderCpuMs,
      compositorIdleCpuMs, clientFrameIntervalMs, presentCallCpuMs, waitForPresentCpuMs, submitFrameMs,
      waitGetPosesCalledMs, newPosesReadyMs, newFrameReadyMs, compositorUpdateStartMs, compositorUpdateEndMs,
      compositorRenderStartMs;
  Pose hmdPose;
};

// A render model as the simulator keeps it: valid for the process. Vertices are 32 bytes each
// (position, normal, texture coordinate), as in every interface header.
struct Model {
  const void* record;  // the simulator's own record: the same model always has the same one
  const void* vertices;
  uint32_t vertexCount;
  const uint16_t* indices;
  uint32_t triangleCount;
  int32_t textureId;
};

struct TextureMap {
  const void* record;
  uint16_t width;
  uint16_t height;
  const uint8_t* rgba;
};

enum class Kind { System, Compositor, RenderModels };

// --- The runtime
uint32_t init(int32_t& error, int32_t applicationType);
void shutdown();
bool hmdPresent();
// Whether the running session offers that kind of interface: false when it is not running or
// the script withdrew the interface (by the simulator's own version name or by otherName).
bool offers(Kind kind, const char* otherName);
// The session's object of that kind, or null with the reason in error.
void* open(Kind kind, const char* otherName, int32_t& error);
const char* initErrorSymbol(int32_t error);
const char* initErrorDescription(int32_t error);

// --- System
void recommendedRenderTargetSize(void* system, uint32_t* width, uint32_t* height);
Matrix44 projectionMatrix(void* system, int32_t eye, float nearZ, float farZ);
void projectionRaw(void* system, int32_t eye, float* left, float* right, float* top, float* bottom);
Matrix34 eyeToHeadTransform(void* system, int32_t eye);
void deviceToAbsoluteTrackingPose(void* system, int32_t origin, float predictedSeconds, Pose* poses, uint32_t count);
uint32_t deviceIndexForControllerRole(void* system, int32_t role);
int32_t controllerRoleForDeviceIndex(void* system, uint32_t device);
int32_t deviceClass(void* system, uint32_t device);
bool deviceConnected(void* system, uint32_t device);
bool boolProperty(void* system, uint32_t device, int32_t prop, int32_t& error);
float floatProperty(void* system, uint32_t device, int32_t prop, int32_t& error);
int32_t int32Property(void* system, uint32_t device, int32_t prop, int32_t& error);
uint64_t uint64Property(void* system, uint32_t device, int32_t prop, int32_t& error);
uint32_t stringProperty(void* system, uint32_t device, int32_t prop, char* value, uint32_t size, int32_t& error);
const char* propertyErrorName(void* system, int32_t error);
bool pollNextEvent(void* system, Event& event);
const char* eventTypeName(void* system, int32_t type);
bool controllerState(void* system, uint32_t device, ControllerState& state);
void hapticPulse(void* system, uint32_t device, uint32_t axis, uint16_t microseconds);
const char* buttonName(void* system, int32_t button);
const char* axisTypeName(void* system, int32_t axisType);
bool inputAvailable(void* system);

// --- Compositor
void setTrackingSpace(void* compositor, int32_t origin);
int32_t trackingSpace(void* compositor);
int32_t waitGetPoses(void* compositor, Pose* render, uint32_t renderCount, Pose* game, uint32_t gameCount);
int32_t lastPoses(void* compositor, Pose* render, uint32_t renderCount, Pose* game, uint32_t gameCount);
// bounds: uMin, vMin, uMax, vMax, or null for the whole texture.
int32_t submit(void* compositor, int32_t eye, void* handle, int32_t textureType, int32_t colorSpace,
               const float* bounds, int32_t flags);
void clearLastSubmittedFrame(void* compositor);
void postPresentHandoff(void* compositor);
bool frameTiming(void* compositor, FrameTiming& timing, uint32_t framesAgo);
float frameTimeRemaining(void* compositor);
void forceInterleavedReprojection(void* compositor, bool on);
bool fullscreen(void* compositor);

// --- Render models
int32_t loadRenderModel(void* models, const char* name, Model& model);
int32_t loadTexture(void* models, int32_t textureId, TextureMap& texture);
uint32_t renderModelName(void* models, uint32_t index, char* name, uint32_t size);
uint32_t renderModelCount(void* models);
uint32_t componentCount(void* models, const char* name);
const char* renderModelErrorName(void* models, int32_t error);

}  // namespace port
}  // namespace vrsim
