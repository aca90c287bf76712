#pragma once
// Builds the triangle meshes of the runtime's render models from simple solids.
#include <array>
#include <cstdint>
#include <vector>

#include "openvr.h"

namespace vrsim {

class MeshBuilder {
 public:
  using Vec3 = std::array<double, 3>;
  // A rectangle of the texture (u0, v0, u1, v1) that a solid's texture coordinates span.
  struct UVRect {
    float u0, v0, u1, v1;
  };

  // A closed tube from a to b with radii ra and rb.
  void tube(const Vec3& a, const Vec3& b, double ra, double rb, int segments, const UVRect& side,
            const UVRect& caps);
  // A ring around center whose hole looks along axis.
  void torus(const Vec3& center, const Vec3& axis, double majorRadius, double minorRadius,
             int segments, int sides, const UVRect& uv);
  // An axis-aligned box; the face looking along -z (forward) takes front, the others rest.
  void box(const Vec3& center, const Vec3& halfSize, const UVRect& front, const UVRect& rest);

  const std::vector<vr::RenderModel_Vertex_t>& vertices() const { return _vertices; }
  const std::vector<uint16_t>& indices() const { return _indices; }

 private:
  uint16_t addVertex(const Vec3& p, const Vec3& n, float u, float v);
  void triangle(uint16_t a, uint16_t b, uint16_t c);
  void quad(uint16_t a, uint16_t b, uint16_t c, uint16_t d);
  void disc(const Vec3& center, const Vec3& normal, const Vec3& e1, const Vec3& e2, double radius,
            int segments, const UVRect& uv);

  std::vector<vr::RenderModel_Vertex_t> _vertices;
  std::vector<uint16_t> _indices;
};

}  // namespace vrsim
