#include "MeshBuilder.h"

#include <cmath>
#include <stdexcept>

namespace vrsim {

namespace {

using Vec3 = MeshBuilder::Vec3;

Vec3 add(const Vec3& a, const Vec3& b) { return {a[0] + b[0], a[1] + b[1], a[2] + b[2]}; }
Vec3 sub(const Vec3& a, const Vec3& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
Vec3 scale(const Vec3& a, double s) { return {a[0] * s, a[1] * s, a[2] * s}; }
double dot(const Vec3& a, const Vec3& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
Vec3 cross(const Vec3& a, const Vec3& b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
Vec3 normalize(const Vec3& a) {
  const double l = std::sqrt(dot(a, a));
  return l > 0 ? scale(a, 1.0 / l) : Vec3{0, 0, 1};
}

// Two unit vectors that complete axis to a right-handed frame (e1 x e2 = axis).
void frame(const Vec3& axis, Vec3& e1, Vec3& e2) {
  const Vec3 helper = std::fabs(axis[1]) < 0.9 ? Vec3{0, 1, 0} : Vec3{1, 0, 0};
  e1 = normalize(cross(helper, axis));
  e2 = cross(axis, e1);
}

}  // namespace

uint16_t MeshBuilder::addVertex(const Vec3& p, const Vec3& n, float u, float v) {
  if (_vertices.size() >= 0xFFFF) throw std::length_error("render model has too many vertices");
  vr::RenderModel_Vertex_t vertex;
  for (int i = 0; i < 3; ++i) {
    vertex.vPosition.v[i] = float(p[i]);
    vertex.vNormal.v[i] = float(n[i]);
  }
  vertex.rfTextureCoord[0] = u;
  vertex.rfTextureCoord[1] = v;
  _vertices.push_back(vertex);
  return uint16_t(_vertices.size() - 1);
}

void MeshBuilder::triangle(uint16_t a, uint16_t b, uint16_t c) {
  _indices.push_back(a);
  _indices.push_back(b);
  _indices.push_back(c);
}

void MeshBuilder::quad(uint16_t a, uint16_t b, uint16_t c, uint16_t d) {
  triangle(a, b, c);
  triangle(a, c, d);
}

void MeshBuilder::disc(const Vec3& center, const Vec3& normal, const Vec3& e1, const Vec3& e2,
                       double radius, int segments, const UVRect& uv) {
  const float cu = (uv.u0 + uv.u1) / 2, cv = (uv.v0 + uv.v1) / 2;
  const float hu = (uv.u1 - uv.u0) / 2, hv = (uv.v1 - uv.v0) / 2;
  const uint16_t middle = addVertex(center, normal, cu, cv);
  std::vector<uint16_t> rim;
  for (int i = 0; i < segments; ++i) {
    const double a = 2 * M_PI * i / segments;
    const Vec3 p = add(center, add(scale(e1, radius * std::cos(a)), scale(e2, radius * std::sin(a))));
    rim.push_back(addVertex(p, normal, cu + hu * float(std::cos(a)), cv + hv * float(std::sin(a))));
  }
  // Counter-clockwise seen from the side normal points to.
  const bool flip = dot(cross(e1, e2), normal) < 0;
  for (int i = 0; i < segments; ++i) {
    const uint16_t a = rim[size_t(i)], b = rim[size_t((i + 1) % segments)];
    if (flip)
      triangle(middle, b, a);
    else
      triangle(middle, a, b);
  }
}

void MeshBuilder::tube(const Vec3& a, const Vec3& b, double ra, double rb, int segments,
                       const UVRect& side, const UVRect& caps) {
  const Vec3 axis = normalize(sub(b, a));
  Vec3 e1, e2;
  frame(axis, e1, e2);
  const double length = std::sqrt(dot(sub(b, a), sub(b, a)));
  const double slope = (ra - rb) / length;  // tilts the side normals of a tapered tube
  std::vector<uint16_t> ringA, ringB;
  for (int i = 0; i <= segments; ++i) {
    const double t = 2 * M_PI * i / segments;
    const Vec3 radial = add(scale(e1, std::cos(t)), scale(e2, std::sin(t)));
    const Vec3 n = normalize(add(radial, scale(axis, slope)));
    const float u = side.u0 + (side.u1 - side.u0) * float(i) / float(segments);
    ringA.push_back(addVertex(add(a, scale(radial, ra)), n, u, side.v0));
    ringB.push_back(addVertex(add(b, scale(radial, rb)), n, u, side.v1));
  }
  for (int i = 0; i < segments; ++i)
    quad(ringA[size_t(i)], ringA[size_t(i + 1)], ringB[size_t(i + 1)], ringB[size_t(i)]);
  disc(a, scale(axis, -1), e1, e2, ra, segments, caps);
  disc(b, axis, e1, e2, rb, segments, caps);
}

void MeshBuilder::torus(const Vec3& center, const Vec3& axis, double majorRadius,
                        double minorRadius, int segments, int sides, const UVRect& uv) {
  const Vec3 n = normalize(axis);
  Vec3 e1, e2;
  frame(n, e1, e2);
  std::vector<std::vector<uint16_t>> grid(size_t(segments + 1));
  for (int i = 0; i <= segments; ++i) {
    const double a = 2 * M_PI * i / segments;
    const Vec3 radial = add(scale(e1, std::cos(a)), scale(e2, std::sin(a)));
    const Vec3 ringCenter = add(center, scale(radial, majorRadius));
    for (int j = 0; j <= sides; ++j) {
      const double b = 2 * M_PI * j / sides;
      const Vec3 normal = add(scale(radial, std::cos(b)), scale(n, std::sin(b)));
      grid[size_t(i)].push_back(addVertex(add(ringCenter, scale(normal, minorRadius)), normal,
                                          uv.u0 + (uv.u1 - uv.u0) * float(i) / float(segments),
                                          uv.v0 + (uv.v1 - uv.v0) * float(j) / float(sides)));
    }
  }
  for (int i = 0; i < segments; ++i)
    for (int j = 0; j < sides; ++j)
      quad(grid[size_t(i)][size_t(j)], grid[size_t(i + 1)][size_t(j)],
           grid[size_t(i + 1)][size_t(j + 1)], grid[size_t(i)][size_t(j + 1)]);
}

void MeshBuilder::box(const Vec3& center, const Vec3& halfSize, const UVRect& front,
                      const UVRect& rest) {
  for (int axis = 0; axis < 3; ++axis) {
    for (int sign = -1; sign <= 1; sign += 2) {
      Vec3 n{0, 0, 0};
      n[size_t(axis)] = sign;
      const int a1 = (axis + 1) % 3, a2 = (axis + 2) % 3;
      Vec3 u{0, 0, 0}, v{0, 0, 0};
      u[size_t(a1)] = halfSize[size_t(a1)];
      v[size_t(a2)] = halfSize[size_t(a2)];
      if (sign < 0) u = scale(u, -1);  // keeps u x v along n
      const Vec3 c = add(center, scale(n, halfSize[size_t(axis)]));
      const UVRect& r = (axis == 2 && sign < 0) ? front : rest;
      const uint16_t p0 = addVertex(sub(sub(c, u), v), n, r.u0, r.v0);
      const uint16_t p1 = addVertex(sub(add(c, u), v), n, r.u1, r.v0);
      const uint16_t p2 = addVertex(add(add(c, u), v), n, r.u1, r.v1);
      const uint16_t p3 = addVertex(add(sub(c, u), v), n, r.u0, r.v1);
      quad(p0, p1, p2, p3);
    }
  }
}

}  // namespace vrsim
