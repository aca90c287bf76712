#include "RenderModelStore.h"

#include <algorithm>

#include <cmath>

#include "MeshBuilder.h"

namespace vrsim {

namespace {

// Texture regions: the controller texture is split into four quadrants.
const MeshBuilder::UVRect kBody{0.0f, 0.0f, 0.5f, 0.5f};
const MeshBuilder::UVRect kPad{0.5f, 0.0f, 1.0f, 0.5f};
const MeshBuilder::UVRect kRing{0.0f, 0.5f, 0.5f, 1.0f};
const MeshBuilder::UVRect kAccent{0.5f, 0.5f, 1.0f, 1.0f};

// A hand controller in its own coordinates (metres; -z points forward, +y up): a handle
// sloping down and back, a track pad on its top, a trigger beneath, and in front a tracking
// ring whose opening looks forward and up, joined to the handle at its rear edge.
void buildController(MeshBuilder& mesh) {
  const MeshBuilder::Vec3 front{0, -0.004, -0.004}, back{0, -0.05, 0.13};
  const double frontRadius = 0.019, backRadius = 0.016;
  mesh.tube(front, back, frontRadius, backRadius, 20, kBody, kBody);

  // The pad sits on the handle's upper side, tilted with it.
  const double length = std::sqrt(0.046 * 0.046 + 0.134 * 0.134);
  const MeshBuilder::Vec3 along{0, -0.046 / length, 0.134 / length};
  const MeshBuilder::Vec3 up{0, along[2], -along[1]};
  const double t = 0.035;
  const MeshBuilder::Vec3 onAxis{0, front[1] + along[1] * t, front[2] + along[2] * t};
  const double r = frontRadius - (frontRadius - backRadius) * t / length;
  mesh.tube({0, onAxis[1] + up[1] * (r - 0.002), onAxis[2] + up[2] * (r - 0.002)},
            {0, onAxis[1] + up[1] * (r + 0.002), onAxis[2] + up[2] * (r + 0.002)}, 0.0145, 0.0145, 24,
            kAccent, kPad);
  // The trigger under the front of the handle.
  mesh.box({0, -0.028, 0.012}, {0.007, 0.010, 0.012}, kAccent, kAccent);

  const double s = std::sqrt(0.5);
  const MeshBuilder::Vec3 ringAxis{0, s, -s};
  const double ringRadius = 0.046;
  const MeshBuilder::Vec3 ringCenter{0, front[1] + 0.01 - ringRadius * s, front[2] - ringRadius * s};
  mesh.torus(ringCenter, ringAxis, ringRadius, 0.0075, 40, 10, kRing);
}

// A headset: the visor box in front of the eyes with a lighter front plate.
void buildHeadset(MeshBuilder& mesh) {
  mesh.box({0, 0.0, -0.05}, {0.09, 0.055, 0.045}, kPad, kBody);
}

void fill(std::vector<uint8_t>& pixels, int size, int x0, int y0, int x1, int y1, uint8_t r,
          uint8_t g, uint8_t b) {
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x) {
      uint8_t* p = &pixels[size_t(y * size + x) * 4];
      p[0] = r;
      p[1] = g;
      p[2] = b;
      p[3] = 255;
    }
}

// 64 x 64 RGBA, rows from v = 0: quadrants body (dark grey), pad (light grey disc with a
// cross), ring (near black with sensor dots) and accent (teal).
std::vector<uint8_t> controllerTexture(int size) {
  std::vector<uint8_t> pixels(size_t(size * size) * 4);
  const int h = size / 2;
  fill(pixels, size, 0, 0, h, h, 44, 44, 48);
  fill(pixels, size, h, 0, size, h, 70, 70, 78);
  for (int y = 0; y < h; ++y)
    for (int x = h; x < size; ++x) {
      const double dx = x - (h + h / 2.0) + 0.5, dy = y - h / 2.0 + 0.5;
      const double d = std::sqrt(dx * dx + dy * dy);
      if (d < h / 2.0 - 1) fill(pixels, size, x, y, x + 1, y + 1, 150, 150, 160);
      if (d < h / 2.0 - 1 && (std::fabs(dx) < 1 || std::fabs(dy) < 1))
        fill(pixels, size, x, y, x + 1, y + 1, 100, 100, 110);
    }
  fill(pixels, size, 0, h, h, size, 22, 22, 24);
  for (int y = h + 2; y < size; y += 6)
    for (int x = 2; x < h; x += 6) fill(pixels, size, x, y, x + 2, y + 2, 90, 90, 96);
  fill(pixels, size, h, h, size, size, 0, 170, 200);
  return pixels;
}

std::vector<uint8_t> headsetTexture(int size) {
  std::vector<uint8_t> pixels(size_t(size * size) * 4);
  fill(pixels, size, 0, 0, size, size, 30, 30, 34);
  fill(pixels, size, size / 2, 0, size, size / 2, 120, 120, 130);
  return pixels;
}

}  // namespace

vr::RenderModel_t* RenderModelStore::model(const std::string& name, bool headset, bool textured, bool broken) {
  const std::string key =
      name + (headset ? "|headset" : "|controller") + (textured ? "" : "|plain") + (broken ? "|broken" : "");
  auto it = _models.find(key);
  if (it == _models.end()) {
    auto m = std::make_unique<Model>();
    MeshBuilder mesh;
    if (headset)
      buildHeadset(mesh);
    else
      buildController(mesh);
    m->vertices = mesh.vertices();
    m->indices = mesh.indices();
    if (broken) {
      const uint16_t beyond = uint16_t(std::min<size_t>(m->vertices.size() + 100, 65535));
      m->indices.insert(m->indices.end(), {0, 1, beyond});
    }
    m->model.rVertexData = m->vertices.data();
    m->model.unVertexCount = uint32_t(m->vertices.size());
    m->model.rIndexData = m->indices.data();
    m->model.unTriangleCount = uint32_t(m->indices.size() / 3);
    m->model.diffuseTextureId =
        !textured ? vr::INVALID_TEXTURE_ID : headset ? kHeadsetTexture : kControllerTexture;
    it = _models.emplace(key, std::move(m)).first;
  }
  return &it->second->model;
}

vr::RenderModel_TextureMap_t* RenderModelStore::texture(vr::TextureID_t id) {
  if (id != kControllerTexture && id != kHeadsetTexture) return nullptr;
  auto it = _textures.find(id);
  if (it == _textures.end()) {
    auto t = std::make_unique<Texture>();
    const int size = id == kControllerTexture ? 64 : 16;
    t->pixels = id == kControllerTexture ? controllerTexture(size) : headsetTexture(size);
    t->map.unWidth = uint16_t(size);
    t->map.unHeight = uint16_t(size);
    t->map.rubTextureMapData = t->pixels.data();
    it = _textures.emplace(id, std::move(t)).first;
  }
  return &it->second->map;
}

}  // namespace vrsim
