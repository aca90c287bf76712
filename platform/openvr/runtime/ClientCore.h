#pragma once
// The simulated headset as an OpenVR runtime: the IVRClientCore_003 object the SDK's loader
// gets from vrclient.so. It starts and ends the simulator's sessions and hands out the SDK's
// interface versions as adapters over the simulator's interface objects of the running
// session. Any thread (the loader serialises its own calls); _mutex guards the adapters.
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "openvr.h"
#include "ivrclientcore.h"

namespace vrsim {
namespace runtime {

class SystemAdapter;
class CompositorAdapter;
class RenderModelsAdapter;

class ClientCore : public vr::IVRClientCore {
 public:
  static ClientCore& instance();

  vr::EVRInitError Init(vr::EVRApplicationType eApplicationType, const char* pStartupInfo) override;
  void Cleanup() override;
  vr::EVRInitError IsInterfaceVersionValid(const char* pchInterfaceVersion) override;
  void* GetGenericInterface(const char* pchNameAndVersion, vr::EVRInitError* peError) override;
  bool BIsHmdPresent() override;
  const char* GetEnglishStringForHmdError(vr::EVRInitError eError) override;
  const char* GetIDForVRInitError(vr::EVRInitError eError) override;

 private:
  ClientCore();
  ~ClientCore();

  std::mutex _mutex;
  // One adapter per simulator object; kept for the process, as the simulator keeps its objects,
  // so that pointers a program still holds stay harmless.
  std::map<void*, std::unique_ptr<SystemAdapter>> _systems;
  std::map<void*, std::unique_ptr<CompositorAdapter>> _compositors;
  std::map<void*, std::unique_ptr<RenderModelsAdapter>> _renderModels;
};

}  // namespace runtime
}  // namespace vrsim
