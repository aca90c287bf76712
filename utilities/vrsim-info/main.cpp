// vrsim-info: starts the VR runtime as the program does and prints what it offers: the
// recommended render size, the eyes, every tracked device with its properties, and the render
// models. With --frames N it then runs N frames and prints each frame's events and controller
// states, which is how a user checks a headset script before running the program with it.
#include <openvr.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "VRSimulator.h"

namespace {

void usage() {
  std::cout << "usage: vrsim-info [--frames N]\n"
               "  Prints the headset, its devices and their properties as the program sees them.\n"
               "  --frames N  then runs N frames and prints each frame's events and controller states.\n"
               "  The simulated headset reads its script from QUONIX_VRSIM_SCRIPT, or from\n"
               "  vrsim.txt beside config.ini (QUONIX_BASE_DIR).\n";
}

std::string stringProperty(vr::IVRSystem* system, vr::TrackedDeviceIndex_t device,
                           vr::ETrackedDeviceProperty property, vr::ETrackedPropertyError& error) {
  const uint32_t size = system->GetStringTrackedDeviceProperty(device, property, nullptr, 0, &error);
  if (size == 0) return std::string();
  std::vector<char> buffer(size);
  system->GetStringTrackedDeviceProperty(device, property, buffer.data(), size, &error);
  return std::string(buffer.data());
}

const char* className(vr::ETrackedDeviceClass c) {
  switch (c) {
    case vr::TrackedDeviceClass_HMD: return "HMD";
    case vr::TrackedDeviceClass_Controller: return "Controller";
    case vr::TrackedDeviceClass_GenericTracker: return "GenericTracker";
    case vr::TrackedDeviceClass_TrackingReference: return "TrackingReference";
    case vr::TrackedDeviceClass_DisplayRedirect: return "DisplayRedirect";
    default: return "Invalid";
  }
}

const char* roleName(vr::ETrackedControllerRole role) {
  switch (role) {
    case vr::TrackedControllerRole_LeftHand: return "left hand";
    case vr::TrackedControllerRole_RightHand: return "right hand";
    default: return "no role";
  }
}

void printPose(const vr::TrackedDevicePose_t& pose) {
  const vr::HmdMatrix34_t& m = pose.mDeviceToAbsoluteTracking;
  std::printf("  position %.3f %.3f %.3f, forward %.3f %.3f %.3f\n", m.m[0][3], m.m[1][3], m.m[2][3],
              0.0f - m.m[0][2], 0.0f - m.m[1][2], 0.0f - m.m[2][2]);
}

void printDevice(vr::IVRSystem* system, vr::TrackedDeviceIndex_t device,
                 const vr::TrackedDevicePose_t& pose) {
  const vr::ETrackedDeviceClass deviceClass = system->GetTrackedDeviceClass(device);
  std::printf("Device %u: %s", device, className(deviceClass));
  if (deviceClass == vr::TrackedDeviceClass_Controller)
    std::printf(", %s", roleName(system->GetControllerRoleForTrackedDeviceIndex(device)));
  std::printf(", %s, pose %s\n", system->IsTrackedDeviceConnected(device) ? "connected" : "not connected",
              pose.bPoseIsValid ? "valid" : "not valid");
  printPose(pose);

  static const struct {
    vr::ETrackedDeviceProperty property;
    const char* name;
  } strings[] = {
      {vr::Prop_TrackingSystemName_String, "Prop_TrackingSystemName_String"},
      {vr::Prop_ModelNumber_String, "Prop_ModelNumber_String"},
      {vr::Prop_SerialNumber_String, "Prop_SerialNumber_String"},
      {vr::Prop_RenderModelName_String, "Prop_RenderModelName_String"},
      {vr::Prop_ManufacturerName_String, "Prop_ManufacturerName_String"},
      {vr::Prop_ControllerType_String, "Prop_ControllerType_String"},
  };
  for (const auto& s : strings) {
    vr::ETrackedPropertyError error = vr::TrackedProp_Success;
    const std::string value = stringProperty(system, device, s.property, error);
    if (error == vr::TrackedProp_Success) std::printf("  %-31s= %s\n", s.name, value.c_str());
  }
  if (deviceClass == vr::TrackedDeviceClass_Controller) {
    vr::ETrackedPropertyError error = vr::TrackedProp_Success;
    const uint64_t buttons = system->GetUint64TrackedDeviceProperty(device, vr::Prop_SupportedButtons_Uint64, &error);
    std::printf("  buttons:");
    for (int b = 0; b < vr::k_EButton_Max; ++b)
      if (buttons & vr::ButtonMaskFromId(vr::EVRButtonId(b)))
        std::printf(" %s", system->GetButtonIdNameFromEnum(vr::EVRButtonId(b)));
    std::printf("\n");
    for (uint32_t k = 0; k < vr::k_unControllerStateAxisCount; ++k) {
      const int32_t type = system->GetInt32TrackedDeviceProperty(
          device, vr::ETrackedDeviceProperty(vr::Prop_Axis0Type_Int32 + k), &error);
      std::printf("  axis %u: %s\n", k,
                  system->GetControllerAxisTypeNameFromEnum(vr::EVRControllerAxisType(type)));
    }
  }
}

void printFrame(vr::IVRSystem* system, vr::IVRCompositor* compositor, uint64_t frame) {
  vr::TrackedDevicePose_t poses[vr::k_unMaxTrackedDeviceCount];
  compositor->WaitGetPoses(poses, vr::k_unMaxTrackedDeviceCount, nullptr, 0);
  std::printf("Frame %llu:", static_cast<unsigned long long>(frame));
  if (system->IsInputFocusCapturedByAnotherProcess()) std::printf(" input focus captured;");
  vr::VREvent_t event;
  while (system->PollNextEvent(&event, sizeof event)) {
    std::printf(" %s device %u", system->GetEventTypeNameFromEnum(vr::EVREventType(event.eventType)),
                event.trackedDeviceIndex);
    if (event.eventType == vr::VREvent_ButtonPress || event.eventType == vr::VREvent_ButtonUnpress)
      std::printf(" %s", system->GetButtonIdNameFromEnum(vr::EVRButtonId(event.data.controller.button)));
    std::printf(";");
  }
  std::printf("\n");
  const vr::ETrackedControllerRole roles[2] = {vr::TrackedControllerRole_LeftHand,
                                               vr::TrackedControllerRole_RightHand};
  for (vr::ETrackedControllerRole role : roles) {
    const vr::TrackedDeviceIndex_t device = system->GetTrackedDeviceIndexForControllerRole(role);
    if (device == vr::k_unTrackedDeviceIndexInvalid) {
      std::printf("  %s: none\n", roleName(role));
      continue;
    }
    vr::VRControllerState_t state;
    const bool ok = system->GetControllerState(device, &state, sizeof state);
    std::printf("  %s: device %u, %s, buttons 0x%llx, axes", roleName(role), device,
                ok ? "state" : "no state", static_cast<unsigned long long>(state.ulButtonPressed));
    for (uint32_t k = 0; k < vr::k_unControllerStateAxisCount; ++k)
      std::printf(" (%.2f %.2f)", state.rAxis[k].x, state.rAxis[k].y);
    std::printf("\n");
    if (device < vr::k_unMaxTrackedDeviceCount) printPose(poses[device]);
  }
  if (poses[vr::k_unTrackedDeviceIndex_Hmd].bPoseIsValid) {
    std::printf("  head:");
    printPose(poses[vr::k_unTrackedDeviceIndex_Hmd]);
  }
}

}  // namespace

int main(int argc, char** argv) {
  long frames = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--frames" && i + 1 < argc) {
      char* end = nullptr;
      frames = std::strtol(argv[++i], &end, 10);
      if (*end != '\0' || frames < 0) {
        std::cerr << "vrsim-info: --frames wants a whole number of frames" << std::endl;
        return 2;
      }
    } else {
      usage();
      return arg == "--help" || arg == "-h" ? 0 : 2;
    }
  }

  const std::string script = vrsim::scriptName();
  std::printf("Script: %s\n", script.empty() ? "none (defaults)" : script.c_str());
  for (const std::string& e : vrsim::scriptErrors()) std::printf("Script error: %s\n", e.c_str());

  vr::EVRInitError error = vr::VRInitError_None;
  vr::IVRSystem* system = vr::VR_Init(&error, vr::VRApplication_Scene);
  if (!system) {
    std::printf("Initialisation failed: %s\n", vr::VR_GetVRInitErrorAsEnglishDescription(error));
    return 1;
  }
  std::printf("Initialisation: %s\n", vr::VR_GetVRInitErrorAsSymbol(error));

  uint32_t width = 0, height = 0;
  system->GetRecommendedRenderTargetSize(&width, &height);
  std::printf("Recommended render size: %u x %u per eye\n", width, height);
  vr::ETrackedPropertyError propError = vr::TrackedProp_Success;
  std::printf("Display frequency: %.1f Hz\n",
              system->GetFloatTrackedDeviceProperty(vr::k_unTrackedDeviceIndex_Hmd,
                                                    vr::Prop_DisplayFrequency_Float, &propError));
  for (int eye = 0; eye < 2; ++eye) {
    float l, r, t, b;
    system->GetProjectionRaw(vr::EVREye(eye), &l, &r, &t, &b);
    const vr::HmdMatrix34_t m = system->GetEyeToHeadTransform(vr::EVREye(eye));
    std::printf("Eye %d (%s): frustum tangents left %.3f right %.3f top %.3f bottom %.3f; eye at %.4f %.4f %.4f\n",
                eye, eye == 0 ? "left" : "right", l, r, t, b, m.m[0][3], m.m[1][3], m.m[2][3]);
  }

  vr::TrackedDevicePose_t poses[vr::k_unMaxTrackedDeviceCount];
  system->GetDeviceToAbsoluteTrackingPose(vr::TrackingUniverseStanding, 0.0f, poses,
                                          vr::k_unMaxTrackedDeviceCount);
  for (vr::TrackedDeviceIndex_t d = 0; d < vr::k_unMaxTrackedDeviceCount; ++d)
    if (system->GetTrackedDeviceClass(d) != vr::TrackedDeviceClass_Invalid) printDevice(system, d, poses[d]);
  for (int r = 1; r <= 2; ++r) {
    const vr::TrackedDeviceIndex_t d =
        system->GetTrackedDeviceIndexForControllerRole(vr::ETrackedControllerRole(r));
    if (d == vr::k_unTrackedDeviceIndexInvalid)
      std::printf("No controller has the %s role\n", roleName(vr::ETrackedControllerRole(r)));
  }

  if (vr::IVRRenderModels* models = vr::VRRenderModels()) {
    std::printf("Render models:");
    const uint32_t count = models->GetRenderModelCount();
    for (uint32_t i = 0; i < count; ++i) {
      char name[256] = {0};
      if (models->GetRenderModelName(i, name, sizeof name) <= sizeof name) std::printf(" %s", name);
    }
    std::printf("\n");
  }

  vr::IVRCompositor* compositor = vr::VRCompositor();
  for (long f = 1; f <= frames && compositor; ++f) printFrame(system, compositor, vrsim::poseFrameCount() + 1);

  vr::VR_Shutdown();
  return 0;
}
