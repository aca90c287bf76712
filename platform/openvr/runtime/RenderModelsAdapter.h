#pragma once
// The OpenVR SDK's render-model interface (IVRRenderModels_006) over one session of the
// simulated headset; built only against the SDK's header. The SDK's model and texture records
// are laid out differently from the simulator's, so each loaded one gets its own SDK record,
// kept (as the simulator keeps its models) until the process ends. Any thread; _mutex guards
// the records.
#include <map>
#include <memory>
#include <mutex>

#include "openvr.h"

namespace vrsim {
namespace runtime {

class RenderModelsAdapter : public vr::IVRRenderModels {
 public:
  explicit RenderModelsAdapter(void* models) : _models(models) {}

  vr::EVRRenderModelError LoadRenderModel_Async(const char* pchRenderModelName,
                                                vr::RenderModel_t** ppRenderModel) override;
  void FreeRenderModel(vr::RenderModel_t*) override {}
  vr::EVRRenderModelError LoadTexture_Async(vr::TextureID_t textureId, vr::RenderModel_TextureMap_t** ppTexture) override;
  void FreeTexture(vr::RenderModel_TextureMap_t*) override {}
  vr::EVRRenderModelError LoadTextureD3D11_Async(vr::TextureID_t, void*, void**) override;
  vr::EVRRenderModelError LoadIntoTextureD3D11_Async(vr::TextureID_t, void*) override;
  void FreeTextureD3D11(void*) override {}
  uint32_t GetRenderModelName(uint32_t unRenderModelIndex, char* pchRenderModelName,
                              uint32_t unRenderModelNameLen) override;
  uint32_t GetRenderModelCount() override;
  uint32_t GetComponentCount(const char* pchRenderModelName) override;
  uint32_t GetComponentName(const char*, uint32_t, char* pchComponentName, uint32_t unComponentNameLen) override;
  uint64_t GetComponentButtonMask(const char*, const char*) override { return 0; }
  uint32_t GetComponentRenderModelName(const char*, const char*, char* pchComponentRenderModelName,
                                       uint32_t unComponentRenderModelNameLen) override;
  bool GetComponentStateForDevicePath(const char*, const char*, vr::VRInputValueHandle_t,
                                      const vr::RenderModel_ControllerMode_State_t*,
                                      vr::RenderModel_ComponentState_t*) override {
    return false;
  }
  bool GetComponentState(const char*, const char*, const vr::VRControllerState_t*,
                         const vr::RenderModel_ControllerMode_State_t*, vr::RenderModel_ComponentState_t*) override {
    return false;
  }
  bool RenderModelHasComponent(const char*, const char*) override { return false; }
  uint32_t GetRenderModelThumbnailURL(const char*, char* pchThumbnailURL, uint32_t unThumbnailURLLen,
                                      vr::EVRRenderModelError* peError) override;
  uint32_t GetRenderModelOriginalPath(const char*, char* pchOriginalPath, uint32_t unOriginalPathLen,
                                      vr::EVRRenderModelError* peError) override;
  const char* GetRenderModelErrorNameFromEnum(vr::EVRRenderModelError error) override;

 private:
  void* const _models;  // the simulator's render-model interface of this session
  std::mutex _mutex;
  std::map<const void*, std::unique_ptr<vr::RenderModel_t>> _modelRecords;  // by the simulator's record
  std::map<const void*, std::unique_ptr<vr::RenderModel_TextureMap_t>> _textureRecords;
};

}  // namespace runtime
}  // namespace vrsim
