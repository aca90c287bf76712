#include "SimRenderModels.h"

#include <algorithm>
#include <cstring>
#include <set>
#include <string>

#include "ErrorText.h"
#include "Runtime.h"

namespace vrsim {

namespace {

using Guard = std::lock_guard<std::recursive_mutex>;

// The models the runtime serves: its own two and every device's render-model name.
std::set<std::string> modelNames(SimWorld& world) {
  std::set<std::string> names = {"vrsim_controller", "vrsim_hmd"};
  for (const SimDevice& d : world.devices()) {
    auto it = d.properties.find(vr::Prop_RenderModelName_String);
    if (it != d.properties.end() && !it->second.empty()) names.insert(it->second);
  }
  return names;
}

bool isHeadsetModel(SimWorld& world, const std::string& name) {
  if (name == "vrsim_hmd") return true;
  for (const SimDevice& d : world.devices()) {
    if (d.deviceClass != vr::TrackedDeviceClass_HMD) continue;
    auto it = d.properties.find(vr::Prop_RenderModelName_String);
    if (it != d.properties.end() && it->second == name) return true;
  }
  return false;
}

// The scripted answer due for this call: Loading, an injected error, or None to go on.
vr::EVRRenderModelError scriptedAnswer(ModelAnswers& answers) {
  if (answers.loadingAnswers > 0) {
    --answers.loadingAnswers;
    return vr::VRRenderModelError_Loading;
  }
  return vr::EVRRenderModelError(answers.failure.take());
}

}  // namespace

vr::EVRRenderModelError SimRenderModels::LoadRenderModel_Async(const char* pchRenderModelName,
                                                               vr::RenderModel_t** ppRenderModel) {
  Runtime& rt = Runtime::instance();
  Guard guard(rt.mutex());
  if (!rt.isCurrent(_token)) return vr::VRRenderModelError_NotSupported;
  if (!pchRenderModelName || !ppRenderModel) return vr::VRRenderModelError_InvalidArg;
  SimWorld& world = rt.world();
  const std::string name = pchRenderModelName;
  auto specific = world.modelAnswers.find(name);
  ModelAnswers* answers = specific != world.modelAnswers.end() ? &specific->second : nullptr;
  if (!answers) {
    auto any = world.modelAnswers.find("*");
    if (any != world.modelAnswers.end()) answers = &any->second;
  }
  if (answers)
    if (vr::EVRRenderModelError e = scriptedAnswer(*answers); e != vr::VRRenderModelError_None) return e;
  if (!modelNames(world).count(name)) return vr::VRRenderModelError_InvalidModel;
  const bool textured = std::find(world.untexturedModels.begin(), world.untexturedModels.end(),
                                  name) == world.untexturedModels.end();
  const bool broken =
      std::find(world.brokenModels.begin(), world.brokenModels.end(), name) != world.brokenModels.end();
  *ppRenderModel = rt.models().model(name, isHeadsetModel(world, name), textured, broken);
  return vr::VRRenderModelError_None;
}

vr::EVRRenderModelError SimRenderModels::LoadTexture_Async(vr::TextureID_t textureId,
                                                           vr::RenderModel_TextureMap_t** ppTexture) {
  Runtime& rt = Runtime::instance();
  Guard guard(rt.mutex());
  if (!rt.isCurrent(_token)) return vr::VRRenderModelError_NotSupported;
  if (!ppTexture) return vr::VRRenderModelError_InvalidArg;
  if (vr::EVRRenderModelError e = scriptedAnswer(rt.world().textureAnswers); e != vr::VRRenderModelError_None)
    return e;
  vr::RenderModel_TextureMap_t* texture = rt.models().texture(textureId);
  if (!texture) return vr::VRRenderModelError_InvalidTexture;
  *ppTexture = texture;
  return vr::VRRenderModelError_None;
}

uint32_t SimRenderModels::GetRenderModelName(uint32_t index, char* pchRenderModelName,
                                             uint32_t length) {
  Runtime& rt = Runtime::instance();
  Guard guard(rt.mutex());
  if (!rt.isCurrent(_token)) return 0;
  const std::set<std::string> names = modelNames(rt.world());
  if (index >= names.size()) return 0;
  const std::string& name = *std::next(names.begin(), long(index));
  const uint32_t needed = uint32_t(name.size() + 1);
  if (pchRenderModelName && length >= needed) std::memcpy(pchRenderModelName, name.c_str(), needed);
  return needed;
}

uint32_t SimRenderModels::GetRenderModelCount() {
  Runtime& rt = Runtime::instance();
  Guard guard(rt.mutex());
  return rt.isCurrent(_token) ? uint32_t(modelNames(rt.world()).size()) : 0;
}

const char* SimRenderModels::GetRenderModelErrorNameFromEnum(vr::EVRRenderModelError error) {
  return renderModelErrorName(error);
}

}  // namespace vrsim
