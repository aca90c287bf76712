#include "ClientCore.h"

#include <cstring>

#include "CompositorAdapter.h"
#include "RenderModelsAdapter.h"
#include "SimulatorPort.h"
#include "SystemAdapter.h"

namespace vrsim {
namespace runtime {

namespace {

// The kind of interface an SDK version names; false for every version the simulator lacks.
bool kindOf(const char* version, port::Kind& kind) {
  if (!version) return false;
  if (std::strcmp(version, vr::IVRSystem_Version) == 0) {
    kind = port::Kind::System;
    return true;
  }
  if (std::strcmp(version, vr::IVRCompositor_Version) == 0) {
    kind = port::Kind::Compositor;
    return true;
  }
  if (std::strcmp(version, vr::IVRRenderModels_Version) == 0) {
    kind = port::Kind::RenderModels;
    return true;
  }
  return false;
}

template <class Adapter>
Adapter* adapterFor(std::map<void*, std::unique_ptr<Adapter>>& adapters, void* object) {
  std::unique_ptr<Adapter>& adapter = adapters[object];
  if (!adapter) adapter.reset(new Adapter(object));
  return adapter.get();
}

}  // namespace

ClientCore& ClientCore::instance() {
  // Never destroyed: the loader may call it while the process exits.
  static ClientCore* core = new ClientCore();
  return *core;
}

ClientCore::ClientCore() = default;
ClientCore::~ClientCore() = default;

vr::EVRInitError ClientCore::Init(vr::EVRApplicationType eApplicationType, const char*) {
  int32_t error = vr::VRInitError_None;
  port::init(error, eApplicationType);
  return vr::EVRInitError(error);
}

void ClientCore::Cleanup() { port::shutdown(); }

vr::EVRInitError ClientCore::IsInterfaceVersionValid(const char* pchInterfaceVersion) {
  port::Kind kind;
  if (!kindOf(pchInterfaceVersion, kind) || !port::offers(kind, pchInterfaceVersion))
    return vr::VRInitError_Init_InvalidInterface;
  return vr::VRInitError_None;
}

void* ClientCore::GetGenericInterface(const char* pchNameAndVersion, vr::EVRInitError* peError) {
  port::Kind kind;
  if (!kindOf(pchNameAndVersion, kind)) {
    if (peError) *peError = vr::VRInitError_Init_InterfaceNotFound;
    return nullptr;
  }
  int32_t error = vr::VRInitError_None;
  void* object = port::open(kind, pchNameAndVersion, error);
  if (peError) *peError = vr::EVRInitError(error);
  if (!object) return nullptr;
  std::lock_guard<std::mutex> guard(_mutex);
  switch (kind) {
    case port::Kind::System: return static_cast<vr::IVRSystem*>(adapterFor(_systems, object));
    case port::Kind::Compositor: return static_cast<vr::IVRCompositor*>(adapterFor(_compositors, object));
    case port::Kind::RenderModels: break;
  }
  return static_cast<vr::IVRRenderModels*>(adapterFor(_renderModels, object));
}

bool ClientCore::BIsHmdPresent() { return port::hmdPresent(); }

const char* ClientCore::GetEnglishStringForHmdError(vr::EVRInitError eError) {
  return port::initErrorDescription(eError);
}

const char* ClientCore::GetIDForVRInitError(vr::EVRInitError eError) { return port::initErrorSymbol(eError); }

}  // namespace runtime
}  // namespace vrsim
