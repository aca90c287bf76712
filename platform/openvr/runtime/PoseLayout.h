#pragma once
// The SDK's TrackedDevicePose_t has the port's pose layout: pose arrays pass through unchanged.
#include <cstddef>

#include "SimulatorPort.h"
#include "openvr.h"

namespace vrsim {
namespace runtime {

static_assert(sizeof(vr::TrackedDevicePose_t) == sizeof(port::Pose), "pose layouts differ");
static_assert(offsetof(vr::TrackedDevicePose_t, vVelocity) == offsetof(port::Pose, velocity), "pose layouts differ");
static_assert(offsetof(vr::TrackedDevicePose_t, eTrackingResult) == offsetof(port::Pose, trackingResult),
              "pose layouts differ");
static_assert(offsetof(vr::TrackedDevicePose_t, bPoseIsValid) == offsetof(port::Pose, valid), "pose layouts differ");
static_assert(offsetof(vr::TrackedDevicePose_t, bDeviceIsConnected) == offsetof(port::Pose, connected),
              "pose layouts differ");
static_assert(sizeof(vr::RenderModel_Vertex_t) == 32, "a render-model vertex is 32 bytes");

inline port::Pose* portPoses(vr::TrackedDevicePose_t* poses) { return reinterpret_cast<port::Pose*>(poses); }

}  // namespace runtime
}  // namespace vrsim
