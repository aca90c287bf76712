// The avatars' head models: an open helmet ("openhat.obj") and the visor inlays that take the
// participant's colour ("inlays.obj"). Metres, +y up, the face looking along -z, centred on
// the head position.
#include <QByteArray>
#include <QString>
#include <QtMath>

#include <cmath>
#include <vector>

#include "AssetPainter.h"

namespace {

struct Mesh {
  QByteArray text;
  int vertices = 0;
  void vertex(double x, double y, double z, double nx, double ny, double nz) {
    text += QString("v %1 %2 %3\n").arg(x, 0, 'f', 5).arg(y, 0, 'f', 5).arg(z, 0, 'f', 5).toUtf8();
    text += QString("vn %1 %2 %3\n").arg(nx, 0, 'f', 5).arg(ny, 0, 'f', 5).arg(nz, 0, 'f', 5).toUtf8();
    ++vertices;
  }
  // A quad from 1-based vertex indices, counter-clockwise seen from outside.
  void quad(int a, int b, int c, int d) {
    text += QString("f %1//%1 %2//%2 %3//%3\nf %1//%1 %3//%3 %4//%4\n").arg(a).arg(b).arg(c).arg(d).toUtf8();
  }
};

// Part of an ellipsoid with radii (rx, ry, rz): latitudes lat0..lat1 and longitudes lon0..lon1
// in degrees (longitude 0 faces -z, latitude 90 is the top), as a grid of quads.
void ellipsoidPatch(Mesh& mesh, double rx, double ry, double rz, double lat0, double lat1, double lon0, double lon1,
                    int rows, int columns, double outward) {
  const int base = mesh.vertices + 1;
  for (int i = 0; i <= rows; ++i) {
    const double lat = qDegreesToRadians(lat0 + (lat1 - lat0) * i / rows);
    for (int j = 0; j <= columns; ++j) {
      const double lon = qDegreesToRadians(lon0 + (lon1 - lon0) * j / columns);
      const double x = std::cos(lat) * std::sin(lon), y = std::sin(lat), z = -std::cos(lat) * std::cos(lon);
      double nx = x / rx, ny = y / ry, nz = z / rz;
      const double n = std::sqrt(nx * nx + ny * ny + nz * nz);
      mesh.vertex(rx * x * outward, ry * y * outward, rz * z * outward, nx / n, ny / n, nz / n);
    }
  }
  for (int i = 0; i < rows; ++i)
    for (int j = 0; j < columns; ++j) {
      const int a = base + i * (columns + 1) + j;
      mesh.quad(a, a + 1, a + columns + 2, a + columns + 1);
    }
}

}  // namespace

void writeHeadModels(AssetWriter& out) {
  // The helmet: the upper head and the back, open at the bottom and at the face.
  Mesh hat;
  hat.text = "# Avatar head: an open helmet\n";
  ellipsoidPatch(hat, 0.095, 0.115, 0.11, -10, 88, 55, 305, 18, 40, 1.0);
  // A brim band around the face opening.
  ellipsoidPatch(hat, 0.1, 0.12, 0.115, -12, 50, 40, 55, 10, 3, 1.0);
  ellipsoidPatch(hat, 0.1, 0.12, 0.115, -12, 50, 305, 320, 10, 3, 1.0);
  out.saveText(hat.text, "openhat.obj");

  // The visor: a curved band in front of the eyes.
  Mesh inlays;
  inlays.text = "# Avatar head: visor inlays\n";
  ellipsoidPatch(inlays, 0.1, 0.12, 0.115, 5, 40, -50, 50, 6, 24, 1.02);
  out.saveText(inlays.text, "inlays.obj");
}
