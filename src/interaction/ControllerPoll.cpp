// The controller poll of every frame, the frame time, the haptic pulse and the pose
// conversion. Render thread.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>

#include "Configuration.h"
#include "RenderLock.h"
#include "ToolGeometry.h"
#include "VRInteractionState.h"

namespace {

constexpr uint64_t kMenuMask = (uint64_t(1) << vr::k_EButton_ApplicationMenu) | (uint64_t(1) << vr::k_EButton_A);

int64_t steadyNanoseconds() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

bool held(uint64_t pressed, int button) { return (pressed & (uint64_t(1) << button)) != 0; }

// The tool-set display a frame starts from; the tools show again what they use.
void resetFrameDisplay(ToolSet& tools) {
  tools.setToolIconState(0, true, 0);
  tools.setToolIconState(1, false, 0);
  tools.setToolIconState(2, false, 0);
  tools.setLaserSpotVisible(false);
  tools.setColorBarVisible(false);
  double color[3];
  GetLaserColorRGB(color);
  tools.setLaserColor(color);
}

void readAxes(vr::IVRSystem* system, vr::TrackedDeviceIndex_t device, const vr::VRControllerState_t& state,
              ControllerInput& input, uint64_t frame) {
  for (uint32_t k = 0; k < vr::k_unControllerStateAxisCount; ++k) {
    const int32_t type =
        system->GetInt32TrackedDeviceProperty(device, vr::ETrackedDeviceProperty(vr::Prop_Axis0Type_Int32 + k));
    const double x = state.rAxis[k].x, y = state.rAxis[k].y;
    if (type == vr::k_eControllerAxis_TrackPad) {
      input.padX = x;
      input.padY = y;
      input.padDirection = directionFromAxis(x, y, 0.0);
    } else if (type == vr::k_eControllerAxis_Joystick) {
      input.stickX = x;
      input.stickY = y;
      const int d = directionFromAxis(x, y, GetConfigReal("thumbStickThreshold", 0.7));
      input.stickDirection = d;
      if (!input.stickDeflected && d != DirectionNone) {
        input.stickDeflectionEvent = true;
        input.stickDeflectionFrame = frame;
      }
      input.stickDeflected = d != DirectionNone;
    }
  }
}

void clearEvents(ControllerInput& input, uint64_t frame) {
  input.triggerReleased = input.gripReleased = input.menuReleased = false;
  input.triggerPressed = input.padPressed = input.gripPressed = input.menuPressed = false;
  input.stickDeflectionEvent = input.stickDeflected && input.stickDeflectionFrame == frame && input.stickDeflectionEvent;
}

void applyButtonEvent(ControllerInput& input, uint32_t type, uint32_t button, uint64_t frame) {
  const bool press = type == vr::VREvent_ButtonPress;
  switch (button) {
    case vr::k_EButton_SteamVR_Trigger:
      if (press) {
        input.triggerPressed = true;
        input.triggerPressTime = steadyNanoseconds();
      } else {
        input.triggerReleased = true;
      }
      break;
    case vr::k_EButton_SteamVR_Touchpad:
      if (press) {
        input.padPressed = true;
        input.padClickFrame = frame;
      }
      break;
    case vr::k_EButton_Grip:
      (press ? input.gripPressed : input.gripReleased) = true;
      break;
    case vr::k_EButton_ApplicationMenu:
    case vr::k_EButton_A:
      (press ? input.menuPressed : input.menuReleased) = true;
      break;
    default:
      break;
  }
}

void resolveDirection(ControllerInput& input) {
  input.direction = DirectionNone;
  input.directionPressed = input.padPressed || input.stickDeflectionEvent;
  input.directionActive = input.padHeld || input.stickDeflected;
  input.activationFrame = std::max(input.padClickFrame, input.stickDeflectionFrame);
  // The input that began last wins; on the same frame the stick wins.
  if (input.padHeld && (!input.stickDeflected || input.padClickFrame > input.stickDeflectionFrame))
    input.direction = input.padDirection;
  else if (input.stickDeflected)
    input.direction = input.stickDirection;
}

}  // namespace

// A pose with an overflowed or undefined element counts as not tracked for the frame.
static bool isFinitePose(const vr::HmdMatrix34_t& pose) {
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 4; ++c)
      if (!std::isfinite(pose.m[r][c])) return false;
  return true;
}

void convertPose(const vr::HmdMatrix34_t& pose, double rotation[16], double position[3]) {
  identityMatrix4x4(rotation);
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) rotation[r * 4 + c] = pose.m[r][c];
    position[r] = pose.m[r][3];
  }
}

void PoseToVtkMatrix(const vr::HmdMatrix34_t& pose, double out[16]) {
  identityMatrix4x4(out);
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 4; ++c) out[r * 4 + c] = pose.m[r][c];
}

void VRInteractionState::pollControllers(bool valid[2]) {
  Lock::AutoLock lock(GetRenderLock());
  valid[0] = valid[1] = false;
  vr::IVRSystem* system = vr::VRSystem();
  vr::IVRCompositor* compositor = vr::VRCompositor();
  vr::TrackedDevicePose_t poses[vr::k_unMaxTrackedDeviceCount];
  std::memset(poses, 0, sizeof(poses));
  if (compositor) compositor->WaitGetPoses(poses, vr::k_unMaxTrackedDeviceCount, nullptr, 0);

  const bool focusCaptured = system && !system->IsInputAvailable();
  for (int hand = 0; hand < 2; ++hand) {
    resetFrameDisplay(toolSets[hand]);
    const vr::TrackedDeviceIndex_t device =
        system ? system->GetTrackedDeviceIndexForControllerRole(hand == 0 ? vr::TrackedControllerRole_LeftHand
                                                                          : vr::TrackedControllerRole_RightHand)
               : vr::k_unTrackedDeviceIndexInvalid;
    ControllerInput& input = controllerInputs[hand];
    input.stickDeflectionEvent = false;
    if (device != input.deviceIndex) {
      input = ControllerInput();
      input.deviceIndex = device;
    }
    // The poll has render poses for the first 16 devices only; a controller beyond them counts
    // as not tracked.
    const bool inRange = device < vr::k_unMaxTrackedDeviceCount;
    valid[hand] = system && inRange && system->IsTrackedDeviceConnected(device) && !focusCaptured &&
                  poses[device].bPoseIsValid && isFinitePose(poses[device].mDeviceToAbsoluteTracking);
    if (!valid[hand]) {
      input.tracked = false;
      continue;
    }

    // A controller that comes back (a new record, or tracking regained) starts from where it is
    // now: its previous pose would otherwise read the gap as a hand move and jump a drag.
    const bool resumed = !input.tracked;
    computeToolTransform(input, hand, input.previousToolTip);
    std::memcpy(input.previousPose, input.pose, sizeof(input.pose));
    convertPose(poses[device].mDeviceToAbsoluteTracking, input.pose, input.position);
    if (resumed) {
      computeToolTransform(input, hand, input.previousToolTip);
      std::memcpy(input.previousPose, input.pose, sizeof(input.pose));
    }
    input.tracked = true;

    vr::VRControllerState_t state;
    std::memset(&state, 0, sizeof(state));
    if (system->GetControllerState(device, &state, sizeof(state))) {
      input.triggerHeld = held(state.ulButtonPressed, vr::k_EButton_SteamVR_Trigger);
      input.padHeld = held(state.ulButtonPressed, vr::k_EButton_SteamVR_Touchpad);
      input.gripHeld = held(state.ulButtonPressed, vr::k_EButton_Grip);
      input.menuHeld = (state.ulButtonPressed & kMenuMask) != 0;
      readAxes(system, device, state, input, frameCounter);
    }
  }

  for (ControllerInput& input : controllerInputs) clearEvents(input, frameCounter);

  if (system) {
    vr::VREvent_t event;
    while (system->PollNextEvent(&event, sizeof(event))) {
      if (event.eventType != vr::VREvent_ButtonPress && event.eventType != vr::VREvent_ButtonUnpress) continue;
      const vr::TrackedDeviceIndex_t device = event.trackedDeviceIndex;
      if (system->GetTrackedDeviceClass(device) != vr::TrackedDeviceClass_Controller) continue;
      int hand = -1;
      if (device == controllerInputs[0].deviceIndex) hand = 0;
      else if (device == controllerInputs[1].deviceIndex) hand = 1;
      if (hand < 0) continue;
      applyButtonEvent(controllerInputs[hand], event.eventType, event.data.controller.button, frameCounter);
    }
  }

  for (ControllerInput& input : controllerInputs) resolveDirection(input);

  const ControllerInput& left = controllerInputs[0];
  const ControllerInput& right = controllerInputs[1];
  if ((!left.triggerHeld || left.triggerReleased) && (!right.triggerHeld || right.triggerReleased))
    viewResetLatch = false;

  if (system && system->IsTrackedDeviceConnected(vr::k_unTrackedDeviceIndex_Hmd) && !focusCaptured &&
      poses[vr::k_unTrackedDeviceIndex_Hmd].bPoseIsValid &&
      isFinitePose(poses[vr::k_unTrackedDeviceIndex_Hmd].mDeviceToAbsoluteTracking))
    convertPose(poses[vr::k_unTrackedDeviceIndex_Hmd].mDeviceToAbsoluteTracking, headRotation, headPosition);
}

double averageFrameTime(double factor) {
  Lock::AutoLock lock(GetRenderLock());
  vr::IVRCompositor* compositor = vr::VRCompositor();
  if (!compositor) return 20.0;
  // Oldest first, so the newest frame interval carries the largest weight.
  constexpr uint32_t kFrames = 128;
  vr::Compositor_FrameTiming timings[kFrames];
  uint32_t count = 0;
  for (; count < kFrames; ++count) {
    std::memset(&timings[count], 0, sizeof(vr::Compositor_FrameTiming));
    timings[count].m_nSize = sizeof(vr::Compositor_FrameTiming);
    if (!compositor->GetFrameTiming(&timings[count], count)) break;
  }
  double average = 0.0;
  int n = 0;
  for (uint32_t i = count; i-- > 1;) {
    const double dt = (timings[i - 1].m_flSystemTimeInSeconds - timings[i].m_flSystemTimeInSeconds) * 1000.0;
    if (dt < 5.0 || dt > 100.0) continue;
    average = n == 0 ? dt : average * (1.0 - factor) + dt * factor;
    ++n;
  }
  return n == 0 ? 20.0 : average;
}

void triggerHapticPulse(const ControllerInput& input) {
  Lock::AutoLock lock(GetRenderLock());
  if (vr::IVRSystem* system = vr::VRSystem()) system->TriggerHapticPulse(input.deviceIndex, 0, 500);
}
