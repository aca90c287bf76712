#include "ErrorText.h"

#include <map>
#include <mutex>
#include <string>

namespace vrsim {

namespace {

struct InitErrorText {
  int code;
  const char* symbol;
  const char* description;
};

const InitErrorText kInitErrors[] = {
    {0, "VRInitError_None", "No Error"},
    {1, "VRInitError_Unknown", "Unknown Error"},
    {100, "VRInitError_Init_InstallationNotFound", "Installation Not Found"},
    {101, "VRInitError_Init_InstallationCorrupt", "Installation Corrupt"},
    {102, "VRInitError_Init_VRClientDLLNotFound", "VR Client Library Not Found"},
    {103, "VRInitError_Init_FileNotFound", "File Not Found"},
    {104, "VRInitError_Init_FactoryNotFound", "Factory Function Not Found"},
    {105, "VRInitError_Init_InterfaceNotFound", "Interface Not Found"},
    {106, "VRInitError_Init_InvalidInterface", "Invalid Interface"},
    {107, "VRInitError_Init_UserConfigDirectoryInvalid", "User Config Directory Invalid"},
    {108, "VRInitError_Init_HmdNotFound", "Hmd Not Found"},
    {109, "VRInitError_Init_NotInitialized", "Not Initialized"},
    {110, "VRInitError_Init_PathRegistryNotFound", "Installation Path Could Not Be Located"},
    {111, "VRInitError_Init_NoConfigPath", "Config Path Could Not Be Located"},
    {112, "VRInitError_Init_NoLogPath", "Log Path Could Not Be Located"},
    {113, "VRInitError_Init_PathRegistryNotWritable", "Unable To Write Path Registry"},
    {114, "VRInitError_Init_AppInfoInitFailed", "App Info Manager Init Failed"},
    {115, "VRInitError_Init_Retry", "Internal Retry"},
    {116, "VRInitError_Init_InitCanceledByUser", "User Canceled Init"},
    {117, "VRInitError_Init_AnotherAppLaunching", "Another App Is Launching"},
    {118, "VRInitError_Init_SettingsInitFailed", "Settings Manager Init Failed"},
    {119, "VRInitError_Init_ShuttingDown", "VR System Shutting Down"},
    {120, "VRInitError_Init_TooManyObjects", "Too Many Tracked Objects"},
    {121, "VRInitError_Init_NoServerForBackgroundApp", "Not Starting VR Server For Background App"},
    {122, "VRInitError_Init_NotSupportedWithCompositor", "The Requested Interface Is Not Supported With The Compositor"},
    {123, "VRInitError_Init_NotAvailableToUtilityApps", "The Requested Interface Is Not Available To Utility Apps"},
    {124, "VRInitError_Init_Internal", "Internal Error"},
    {200, "VRInitError_Driver_Failed", "Driver Failed"},
    {201, "VRInitError_Driver_Unknown", "Driver Not Known"},
    {202, "VRInitError_Driver_HmdUnknown", "Hmd Not Known To Driver"},
    {203, "VRInitError_Driver_NotLoaded", "Driver Not Loaded"},
    {204, "VRInitError_Driver_RuntimeOutOfDate", "Driver Runtime Out Of Date"},
    {205, "VRInitError_Driver_HmdInUse", "Hmd In Use By Another Application"},
    {206, "VRInitError_Driver_NotCalibrated", "Hmd Not Calibrated"},
    {207, "VRInitError_Driver_CalibrationInvalid", "Hmd Calibration Invalid"},
    {208, "VRInitError_Driver_HmdDisplayNotFound", "Hmd Display Not Found"},
    {300, "VRInitError_IPC_ServerInitFailed", "VR Server Init Failed"},
    {301, "VRInitError_IPC_ConnectFailed", "Connect To VR Server Failed"},
    {302, "VRInitError_IPC_SharedStateInitFailed", "Shared State Init Failed"},
    {303, "VRInitError_IPC_CompositorInitFailed", "Shared Compositor Init Failed"},
    {304, "VRInitError_IPC_MutexInitFailed", "Shared IPC Mutex Init Failed"},
    {305, "VRInitError_IPC_Failed", "IPC Failed"},
    {400, "VRInitError_Compositor_Failed", "Compositor Failed To Start"},
    {401, "VRInitError_Compositor_D3D11HardwareRequired", "Compositor Requires Newer Graphics Hardware"},
    {402, "VRInitError_Compositor_FirmwareRequiresUpdate", "Compositor Requires A Firmware Update"},
    {403, "VRInitError_Compositor_OverlayInitFailed", "Compositor Overlay Init Failed"},
    {404, "VRInitError_Compositor_ScreenshotsInitFailed", "Compositor Screenshots Init Failed"},
};

const InitErrorText* findInitError(int code) {
  for (const InitErrorText& e : kInitErrors)
    if (e.code == code) return &e;
  return nullptr;
}

// Texts built on demand stay alive for the process: callers keep the pointers.
const char* keep(const std::string& text) {
  static std::mutex mutex;
  static std::map<std::string, std::string> texts;
  std::lock_guard<std::mutex> guard(mutex);
  return texts.emplace(text, text).first->second.c_str();
}

}  // namespace

const char* initErrorSymbol(vr::EVRInitError error) {
  if (const InitErrorText* e = findInitError(error)) return e->symbol;
  return keep("VRInitError_" + std::to_string(int(error)));
}

const char* initErrorDescription(vr::EVRInitError error) {
  const InitErrorText* e = findInitError(error);
  return keep(std::string(e ? e->description : "Unknown Error") + " (" + std::to_string(int(error)) + ")");
}

const char* propertyErrorName(vr::ETrackedPropertyError error) {
  switch (error) {
    case vr::TrackedProp_Success: return "TrackedProp_Success";
    case vr::TrackedProp_WrongDataType: return "TrackedProp_WrongDataType";
    case vr::TrackedProp_WrongDeviceClass: return "TrackedProp_WrongDeviceClass";
    case vr::TrackedProp_BufferTooSmall: return "TrackedProp_BufferTooSmall";
    case vr::TrackedProp_UnknownProperty: return "TrackedProp_UnknownProperty";
    case vr::TrackedProp_InvalidDevice: return "TrackedProp_InvalidDevice";
    case vr::TrackedProp_CouldNotContactServer: return "TrackedProp_CouldNotContactServer";
    case vr::TrackedProp_ValueNotProvidedByDevice: return "TrackedProp_ValueNotProvidedByDevice";
    case vr::TrackedProp_StringExceedsMaximumLength: return "TrackedProp_StringExceedsMaximumLength";
    case vr::TrackedProp_NotYetAvailable: return "TrackedProp_NotYetAvailable";
  }
  return keep("TrackedProp_" + std::to_string(int(error)));
}

const char* eventTypeName(vr::EVREventType type) {
  switch (type) {
    case vr::VREvent_None: return "VREvent_None";
    case vr::VREvent_TrackedDeviceActivated: return "VREvent_TrackedDeviceActivated";
    case vr::VREvent_TrackedDeviceDeactivated: return "VREvent_TrackedDeviceDeactivated";
    case vr::VREvent_TrackedDeviceUpdated: return "VREvent_TrackedDeviceUpdated";
    case vr::VREvent_TrackedDeviceRoleChanged: return "VREvent_TrackedDeviceRoleChanged";
    case vr::VREvent_ButtonPress: return "VREvent_ButtonPress";
    case vr::VREvent_ButtonUnpress: return "VREvent_ButtonUnpress";
    case vr::VREvent_ButtonTouch: return "VREvent_ButtonTouch";
    case vr::VREvent_ButtonUntouch: return "VREvent_ButtonUntouch";
    case vr::VREvent_InputFocusCaptured: return "VREvent_InputFocusCaptured";
    case vr::VREvent_InputFocusReleased: return "VREvent_InputFocusReleased";
  }
  return keep("VREvent_" + std::to_string(int(type)));
}

const char* buttonName(vr::EVRButtonId button) {
  switch (int(button)) {
    case vr::k_EButton_System: return "k_EButton_System";
    case vr::k_EButton_ApplicationMenu: return "k_EButton_ApplicationMenu";
    case vr::k_EButton_Grip: return "k_EButton_Grip";
    case vr::k_EButton_DPad_Left: return "k_EButton_DPad_Left";
    case vr::k_EButton_DPad_Up: return "k_EButton_DPad_Up";
    case vr::k_EButton_DPad_Right: return "k_EButton_DPad_Right";
    case vr::k_EButton_DPad_Down: return "k_EButton_DPad_Down";
    case vr::k_EButton_A: return "k_EButton_A";
    case vr::k_EButton_ProximitySensor: return "k_EButton_ProximitySensor";
    case vr::k_EButton_Axis0: return "k_EButton_Axis0";
    case vr::k_EButton_Axis1: return "k_EButton_Axis1";
    case vr::k_EButton_Axis2: return "k_EButton_Axis2";
    case vr::k_EButton_Axis3: return "k_EButton_Axis3";
    case vr::k_EButton_Axis4: return "k_EButton_Axis4";
  }
  return keep("k_EButton_" + std::to_string(int(button)));
}

const char* axisTypeName(vr::EVRControllerAxisType type) {
  switch (type) {
    case vr::k_eControllerAxis_None: return "k_eControllerAxis_None";
    case vr::k_eControllerAxis_TrackPad: return "k_eControllerAxis_TrackPad";
    case vr::k_eControllerAxis_Joystick: return "k_eControllerAxis_Joystick";
    case vr::k_eControllerAxis_Trigger: return "k_eControllerAxis_Trigger";
  }
  return keep("k_eControllerAxis_" + std::to_string(int(type)));
}

const char* renderModelErrorName(vr::EVRRenderModelError error) {
  switch (error) {
    case vr::VRRenderModelError_None: return "VRRenderModelError_None";
    case vr::VRRenderModelError_Loading: return "VRRenderModelError_Loading";
    case vr::VRRenderModelError_NotSupported: return "VRRenderModelError_NotSupported";
    case vr::VRRenderModelError_InvalidArg: return "VRRenderModelError_InvalidArg";
    case vr::VRRenderModelError_InvalidModel: return "VRRenderModelError_InvalidModel";
    case vr::VRRenderModelError_NoShapes: return "VRRenderModelError_NoShapes";
    case vr::VRRenderModelError_MultipleShapes: return "VRRenderModelError_MultipleShapes";
    case vr::VRRenderModelError_TooManyVertices: return "VRRenderModelError_TooManyVertices";
    case vr::VRRenderModelError_MultipleTextures: return "VRRenderModelError_MultipleTextures";
    case vr::VRRenderModelError_BufferTooSmall: return "VRRenderModelError_BufferTooSmall";
    case vr::VRRenderModelError_NotEnoughNormals: return "VRRenderModelError_NotEnoughNormals";
    case vr::VRRenderModelError_NotEnoughTexCoords: return "VRRenderModelError_NotEnoughTexCoords";
    case vr::VRRenderModelError_InvalidTexture: return "VRRenderModelError_InvalidTexture";
  }
  return keep("VRRenderModelError_" + std::to_string(int(error)));
}

}  // namespace vrsim
