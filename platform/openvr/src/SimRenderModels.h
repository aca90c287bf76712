#pragma once
// The render-model interface of one runtime session. Models and textures come from the
// runtime's store and stay valid for the process; a script can make them answer "loading" or
// fail a number of times. Any thread; every call takes the runtime's mutex.
#include "openvr.h"

namespace vrsim {

class SimRenderModels : public vr::IVRRenderModels {
 public:
  explicit SimRenderModels(uint32_t token) : _token(token) {}
  ~SimRenderModels() override = default;

  vr::EVRRenderModelError LoadRenderModel_Async(const char* pchRenderModelName,
                                                vr::RenderModel_t** ppRenderModel) override;
  void FreeRenderModel(vr::RenderModel_t*) override {}
  vr::EVRRenderModelError LoadTexture_Async(vr::TextureID_t textureId,
                                            vr::RenderModel_TextureMap_t** ppTexture) override;
  void FreeTexture(vr::RenderModel_TextureMap_t*) override {}
  uint32_t GetRenderModelName(uint32_t unRenderModelIndex, char* pchRenderModelName,
                              uint32_t unRenderModelNameLen) override;
  uint32_t GetRenderModelCount() override;
  uint32_t GetComponentCount(const char*) override { return 0; }
  const char* GetRenderModelErrorNameFromEnum(vr::EVRRenderModelError error) override;

 private:
  const uint32_t _token;
};

}  // namespace vrsim
