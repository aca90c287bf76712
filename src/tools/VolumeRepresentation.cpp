#include "VolumeRepresentation.h"

#include <algorithm>

#include <vtkCellArray.h>
#include <vtkCubeSource.h>
#include <vtkFloatArray.h>
#include <vtkMatrix4x4.h>
#include <vtkNew.h>
#include <vtkPointData.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkPolyDataMapper.h>
#include <vtkProperty.h>
#include <vtkRenderer.h>

#include "FreezablePipeline.h"
#include "OpenVRActor.h"

VolumeRepresentation::VolumeRepresentation()
    : _cubeSource(vtkCubeSource::New()),
      _bounds{3.4028234663852886e+38, 3.4028234663852886e+38, 3.4028234663852886e+38,
              1.1754943508222875e-38, 1.1754943508222875e-38, 1.1754943508222875e-38} {}

VolumeRepresentation::~VolumeRepresentation() { _cubeSource->Delete(); }

void VolumeRepresentation::setBounds(const double bounds[6]) {
  for (int i = 0; i < 6; ++i) _bounds[i] = bounds[i];
}

bool VolumeRepresentation::build(vtkRenderer* renderer, const double b[6], double thickness, bool inside) {
  setBounds(b);
  _cubeSource->SetBounds(b[0], b[1], b[2], b[3], b[4], b[5]);
  // The largest extent sets the width of every frame: a box flat in x still shows its edges.
  const double extent = std::max({b[1] - b[0], b[3] - b[2], b[5] - b[4]});
  const double t = static_cast<float>(thickness * extent);
  const double g = inside ? 0.0 : t, s = inside ? t : 0.0;
  const double X0 = b[0] - g, X1 = b[1] + g, Y0 = b[2] - g, Y1 = b[3] + g, Z0 = b[4] - g, Z1 = b[5] + g;
  const double x0 = b[0] + s, x1 = b[1] - s, y0 = b[2] + s, y1 = b[3] - s, z0 = b[4] + s, z1 = b[5] - s;

  // Corner names: capitals the outer rectangle, lower case the inner one.
  auto value = [&](char axis, char end) {
    switch (axis) {
      case 'X': return end == '0' ? X0 : X1;
      case 'Y': return end == '0' ? Y0 : Y1;
      case 'Z': return end == '0' ? Z0 : Z1;
      case 'x': return end == '0' ? x0 : x1;
      case 'y': return end == '0' ? y0 : y1;
      default: return end == '0' ? z0 : z1;
    }
  };
  struct Face {
    int fixedAxis;      // 0 x, 1 y, 2 z
    const char* level;  // the face plane
    double normal[3];
    // Sixteen (u, v) corners, four per quad, in a pinwheel round the ring, each quad wound
    // counter-clockwise seen from outside: the y and x faces, whose (u, v) run the other way
    // round their normal, take their corners in the opposite order to the z faces.
    const char* corners;
  };
  static const Face faces[6] = {
      {2, "Z0", {0, 0, -1}, "X0Y0 X0y0 x1y0 X1Y0 X1Y0 x1Y0 x1y1 X1Y1 X1Y1 X1y1 x0y1 X0Y1 X0Y1 x0Y1 x0y0 X0Y0"},
      {2, "Z1", {0, 0, 1}, "X0Y0 x0y0 x0Y1 X0Y1 X0Y1 x0y1 X1y1 X1Y1 X1Y1 x1y1 x1Y0 X1Y0 X1Y0 x1y0 X0y0 X0Y0"},
      {1, "Y0", {0, -1, 0}, "X0Z0 X1Z0 x1z0 X0z0 X1Z0 X1Z1 x1z1 x1Z0 X1Z1 X0Z1 x0z1 X1z1 X0Z1 X0Z0 x0z0 x0Z1"},
      {1, "Y1", {0, 1, 0}, "X0Z0 X0Z1 x0Z1 x0z0 X0Z1 X1Z1 X1z1 x0z1 X1Z1 X1Z0 x1Z0 x1z1 X1Z0 X0Z0 X0z0 x1z0"},
      {0, "X0", {-1, 0, 0}, "Y0Z0 Y0Z1 y0z1 y0Z0 Y0Z1 Y1Z1 y1z1 Y0z1 Y1Z1 Y1Z0 y1z0 y1Z1 Y1Z0 Y0Z0 y0z0 Y1z0"},
      {0, "X1", {1, 0, 0}, "Y0Z0 Y1Z0 Y1z0 y0z0 Y1Z0 Y1Z1 y1Z1 y1z0 Y1Z1 Y0Z1 Y0z1 y1z1 Y0Z1 Y0Z0 y0Z0 y0z1"}};

  vtkNew<vtkPoints> points;
  points->SetDataTypeToFloat();
  vtkNew<vtkFloatArray> normals;
  normals->SetName("Normals");
  normals->SetNumberOfComponents(3);
  for (const Face& face : faces) {
    const double level = value(face.level[0], face.level[1]);
    for (int k = 0; k < 16; ++k) {
      const char* c = face.corners + k * 5;
      const double u = value(c[0], c[1]), v = value(c[2], c[3]);
      double p[3];
      if (face.fixedAxis == 2) {
        p[0] = u, p[1] = v, p[2] = level;
      } else if (face.fixedAxis == 1) {
        p[0] = u, p[1] = level, p[2] = v;
      } else {
        p[0] = level, p[1] = u, p[2] = v;
      }
      points->InsertNextPoint(p);
      normals->InsertNextTuple(face.normal);
    }
  }

  vtkNew<vtkPolyData> frames;
  frames->AllocateExact(QuadCount, QuadCount * 4);
  for (vtkIdType k = 0; k < QuadCount; ++k) {
    const vtkIdType quad[4] = {4 * k, 4 * k + 1, 4 * k + 2, 4 * k + 3};
    frames->InsertNextCell(VTK_QUAD, 4, quad);
  }
  frames->SetPoints(points);
  frames->GetPointData()->SetNormals(normals);

  vtkNew<vtkPolyDataMapper> mapper;
  mapper->SetInputData(frames);
  _actor->SetMapper(mapper);
  _actor->SetDepthTestDisabled(0);
  vtkProperty* property = _actor->GetProperty();
  property->LightingOn();
  property->SetAmbientColor(0.5, 0.5, 0.5);
  property->SetDiffuseColor(0.5, 0.5, 0.5);
  property->SetSpecularColor(0.5, 0.5, 0.5);
  property->SetAmbient(0.5);
  property->SetDiffuse(0.5);
  property->SetSpecular(0.1);
  property->SetOpacity(1.0);
  _actor->SetTranslucencyMode(0);
  if (renderer) renderer->AddActor(_actor);
  RestoreThreadFlag unfrozen(false);
  mapper->Update();
  return true;
}

void VolumeRepresentation::setColor(const double rgb[3]) {
  _actor->GetProperty()->SetDiffuseColor(rgb[0], rgb[1], rgb[2]);
  _actor->GetProperty()->SetAmbientColor(rgb[0], rgb[1], rgb[2]);
}

