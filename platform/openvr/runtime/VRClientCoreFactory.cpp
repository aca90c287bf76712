// The one symbol vrclient.so exports: how the OpenVR loader reaches the runtime.
#include "ClientCore.h"

#include <cstring>

extern "C" __attribute__((visibility("default"))) void* VRClientCoreFactory(const char* pInterfaceName,
                                                                             int* pReturnCode) {
  if (pInterfaceName && std::strcmp(pInterfaceName, vr::IVRClientCore_Version) == 0) {
    if (pReturnCode) *pReturnCode = vr::VRInitError_None;
    return static_cast<vr::IVRClientCore*>(&vrsim::runtime::ClientCore::instance());
  }
  if (pReturnCode) *pReturnCode = vr::VRInitError_Init_InterfaceNotFound;
  return nullptr;
}
