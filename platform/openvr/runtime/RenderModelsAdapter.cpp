#include "RenderModelsAdapter.h"

#include "PoseLayout.h"
#include "SimulatorPort.h"

namespace vrsim {
namespace runtime {

namespace {

uint32_t emptyString(char* buffer, uint32_t size) {
  if (buffer && size > 0) buffer[0] = '\0';
  return 0;
}

}  // namespace

vr::EVRRenderModelError RenderModelsAdapter::LoadRenderModel_Async(const char* pchRenderModelName,
                                                                   vr::RenderModel_t** ppRenderModel) {
  if (!ppRenderModel) return vr::VRRenderModelError_InvalidArg;
  port::Model model{};
  const auto error = vr::EVRRenderModelError(port::loadRenderModel(_models, pchRenderModelName, model));
  if (error != vr::VRRenderModelError_None) return error;
  std::lock_guard<std::mutex> guard(_mutex);
  std::unique_ptr<vr::RenderModel_t>& record = _modelRecords[model.record];
  if (!record) record.reset(new vr::RenderModel_t);
  record->rVertexData = static_cast<const vr::RenderModel_Vertex_t*>(model.vertices);
  record->unVertexCount = model.vertexCount;
  record->rIndexData = model.indices;
  record->unTriangleCount = model.triangleCount;
  record->diffuseTextureId = model.textureId;
  *ppRenderModel = record.get();
  return vr::VRRenderModelError_None;
}

vr::EVRRenderModelError RenderModelsAdapter::LoadTexture_Async(vr::TextureID_t textureId,
                                                               vr::RenderModel_TextureMap_t** ppTexture) {
  if (!ppTexture) return vr::VRRenderModelError_InvalidArg;
  port::TextureMap texture{};
  const auto error = vr::EVRRenderModelError(port::loadTexture(_models, textureId, texture));
  if (error != vr::VRRenderModelError_None) return error;
  std::lock_guard<std::mutex> guard(_mutex);
  std::unique_ptr<vr::RenderModel_TextureMap_t>& record = _textureRecords[texture.record];
  if (!record) record.reset(new vr::RenderModel_TextureMap_t);
  record->unWidth = texture.width;
  record->unHeight = texture.height;
  record->rubTextureMapData = texture.rgba;
  record->format = vr::VRRenderModelTextureFormat_RGBA8_SRGB;
  record->unMipLevels = 1;
  *ppTexture = record.get();
  return vr::VRRenderModelError_None;
}

vr::EVRRenderModelError RenderModelsAdapter::LoadTextureD3D11_Async(vr::TextureID_t, void*, void**) {
  return vr::VRRenderModelError_NotSupported;
}

vr::EVRRenderModelError RenderModelsAdapter::LoadIntoTextureD3D11_Async(vr::TextureID_t, void*) {
  return vr::VRRenderModelError_NotSupported;
}

uint32_t RenderModelsAdapter::GetRenderModelName(uint32_t unRenderModelIndex, char* pchRenderModelName,
                                                 uint32_t unRenderModelNameLen) {
  return port::renderModelName(_models, unRenderModelIndex, pchRenderModelName, unRenderModelNameLen);
}

uint32_t RenderModelsAdapter::GetRenderModelCount() { return port::renderModelCount(_models); }

uint32_t RenderModelsAdapter::GetComponentCount(const char* pchRenderModelName) {
  return port::componentCount(_models, pchRenderModelName);
}

uint32_t RenderModelsAdapter::GetComponentName(const char*, uint32_t, char* pchComponentName,
                                               uint32_t unComponentNameLen) {
  return emptyString(pchComponentName, unComponentNameLen);
}

uint32_t RenderModelsAdapter::GetComponentRenderModelName(const char*, const char*, char* pchComponentRenderModelName,
                                                          uint32_t unComponentRenderModelNameLen) {
  return emptyString(pchComponentRenderModelName, unComponentRenderModelNameLen);
}

uint32_t RenderModelsAdapter::GetRenderModelThumbnailURL(const char*, char* pchThumbnailURL, uint32_t unThumbnailURLLen,
                                                         vr::EVRRenderModelError* peError) {
  if (peError) *peError = vr::VRRenderModelError_NotSupported;
  return emptyString(pchThumbnailURL, unThumbnailURLLen);
}

uint32_t RenderModelsAdapter::GetRenderModelOriginalPath(const char*, char* pchOriginalPath, uint32_t unOriginalPathLen,
                                                         vr::EVRRenderModelError* peError) {
  if (peError) *peError = vr::VRRenderModelError_NotSupported;
  return emptyString(pchOriginalPath, unOriginalPathLen);
}

const char* RenderModelsAdapter::GetRenderModelErrorNameFromEnum(vr::EVRRenderModelError error) {
  return port::renderModelErrorName(_models, error);
}

}  // namespace runtime
}  // namespace vrsim
