#include "VolumeRepresentation.h"

#include <vtkCellArray.h>
#include <vtkFloatArray.h>
#include <vtkNew.h>
#include <vtkPointData.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkPolyDataMapper.h>
#include <vtkProperty.h>
#include <vtkRenderer.h>

#include "FreezablePipeline.h"
#include "OpenVRActor.h"
#include "kvg/PropLighting.h"

VolumeRepresentation::VolumeRepresentation() = default;

VolumeRepresentation::~VolumeRepresentation() = default;

void VolumeRepresentation::setBounds(const double bounds[6]) {
  for (int i = 0; i < 6; ++i) _bounds[i] = bounds[i];
}

bool VolumeRepresentation::build(vtkRenderer* renderer, const double b[6], double widthFactor, bool inside) {
  setBounds(b);
  const double t = static_cast<float>(widthFactor * (b[1] - b[0]));
  const double g = inside ? 0.0 : t, s = inside ? t : 0.0;
  // Outer (O) and inner (I) values per axis: [axis][0 low, 1 high].
  double O[3][2], I[3][2];
  for (int a = 0; a < 3; ++a) {
    O[a][0] = b[2 * a] - g;
    O[a][1] = b[2 * a + 1] + g;
    I[a][0] = b[2 * a] + s;
    I[a][1] = b[2 * a + 1] - s;
  }
  vtkNew<vtkPoints> points;
  vtkNew<vtkCellArray> quads;
  vtkNew<vtkFloatArray> normals;
  normals->SetName("Normals");
  normals->SetNumberOfComponents(3);
  // One face: a ring between the outer and the inner rectangle in the (u, v) plane at w, made
  // of four quads running along the outer edges; the far face of each pair is wound the other
  // way so every ring faces outwards.
  auto face = [&](int u, int v, int w, int side) {
    const double wv = O[w][side];
    float n[3] = {0.0f, 0.0f, 0.0f};
    n[w] = side ? 1.0f : -1.0f;
    // Corners in (u, v): (outer/inner flag, low/high) pairs.
    struct C {
      bool outerU, highU, outerV, highV;
    };
    const C ring[4][4] = {{{true, false, true, false}, {true, false, false, false}, {false, true, false, false}, {true, true, true, false}},
                          {{true, true, true, false}, {false, true, true, false}, {false, true, false, true}, {true, true, true, true}},
                          {{true, true, true, true}, {true, true, false, true}, {false, false, false, true}, {true, false, true, true}},
                          {{true, false, true, true}, {false, false, true, true}, {false, false, false, false}, {true, false, true, false}}};
    for (const auto& quad : ring) {
      vtkIdType ids[4];
      for (int k = 0; k < 4; ++k) {
        const C& c = quad[side ? 3 - k : k];
        double p[3];
        p[u] = c.outerU ? O[u][c.highU] : I[u][c.highU];
        p[v] = c.outerV ? O[v][c.highV] : I[v][c.highV];
        p[w] = wv;
        ids[k] = points->InsertNextPoint(p);
        normals->InsertNextTypedTuple(n);
      }
      quads->InsertNextCell(4, ids);
    }
  };
  face(0, 1, 2, 0);
  face(0, 1, 2, 1);
  face(0, 2, 1, 0);
  face(0, 2, 1, 1);
  face(1, 2, 0, 0);
  face(1, 2, 0, 1);
  vtkNew<vtkPolyData> polyData;
  polyData->SetPoints(points);
  polyData->SetPolys(quads);
  polyData->GetPointData()->SetNormals(normals);

  vtkNew<vtkPolyDataMapper> mapper;
  mapper->SetInputData(polyData);
  _actor->SetMapper(mapper);
  _actor->SetDepthTestDisabled(0);
  vtkProperty* property = _actor->GetProperty();
  property->SetAmbientColor(0.5, 0.5, 0.5);
  property->SetDiffuseColor(0.5, 0.5, 0.5);
  property->SetSpecularColor(0.5, 0.5, 0.5);
  property->SetAmbient(0.5);
  property->SetDiffuse(0.5);
  property->SetSpecular(0.1);
  property->SetOpacity(1.0);
  _actor->SetTranslucencyMode(0);
  kvg::SetPropLighting(_actor, kvg::PropLighting::Lit);
  if (renderer) renderer->AddActor(_actor);
  RestoreThreadFlag unfrozen(false);
  mapper->Update();
  return true;
}

void VolumeRepresentation::setColor(const double rgb[3]) {
  _actor->GetProperty()->SetDiffuseColor(rgb[0], rgb[1], rgb[2]);
  _actor->GetProperty()->SetAmbientColor(rgb[0], rgb[1], rgb[2]);
}
