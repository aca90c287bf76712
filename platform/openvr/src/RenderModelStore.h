#pragma once
// The render models and textures the runtime hands out. Each is generated on its first request
// and kept for the life of the process, so that pointers given to callers never dangle (freeing
// is a no-op). Guarded by the runtime's mutex.
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "openvr.h"

namespace vrsim {

class RenderModelStore {
 public:
  static const vr::TextureID_t kControllerTexture = 1;
  static const vr::TextureID_t kHeadsetTexture = 2;

  // The model: a headset shape when headset, else a hand controller; without a diffuse
  // texture (id INVALID_TEXTURE_ID) when textured is false; with a last triangle that names a
  // vertex the model does not have when broken.
  vr::RenderModel_t* model(const std::string& name, bool headset, bool textured, bool broken = false);
  // The texture with that id, or null.
  vr::RenderModel_TextureMap_t* texture(vr::TextureID_t id);

 private:
  struct Model {
    std::vector<vr::RenderModel_Vertex_t> vertices;
    std::vector<uint16_t> indices;
    vr::RenderModel_t model;
  };
  struct Texture {
    std::vector<uint8_t> pixels;
    vr::RenderModel_TextureMap_t map;
  };

  std::map<std::string, std::unique_ptr<Model>> _models;  // by name and flags
  std::map<vr::TextureID_t, std::unique_ptr<Texture>> _textures;
};

}  // namespace vrsim
