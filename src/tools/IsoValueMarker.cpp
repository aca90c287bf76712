#include "IsoValueMarker.h"

#include <array>
#include <cmath>
#include <map>
#include <mutex>

#include <vtkAppendPolyData.h>
#include <vtkConeSource.h>
#include <vtkCylinderSource.h>
#include <vtkMatrix4x4.h>
#include <vtkNew.h>
#include <vtkParametricFunctionSource.h>
#include <vtkParametricTorus.h>
#include <vtkPolyData.h>
#include <vtkPolyDataMapper.h>
#include <vtkProperty.h>
#include <vtkRenderer.h>
#include <vtkSphereSource.h>
#include <vtkTransform.h>
#include <vtkTransformPolyDataFilter.h>

#include "Configuration.h"
#include "ControllerInput.h"
#include "FreezablePipeline.h"
#include "OpenVRActor.h"
#include "ToolGeometry.h"
#include "kvg/PropLighting.h"

IsoValueMarker::IsoValueMarker() = default;

IsoValueMarker::~IsoValueMarker() = default;

kvg::Ptr<IsoValueMarker> IsoValueMarker::create(vtkRenderer* renderer) {
  kvg::Ptr<IsoValueMarker> marker(new IsoValueMarker());
  const double height = GetConfigFinite("colorBarHeight", 0.03, true);
  marker->build(renderer, height * 0.5, height * 0.05);
  marker->_actor->SetVisibility(0);
  return marker;
}

bool IsoValueMarker::buildLike(vtkRenderer* renderer, const IsoValueMarker& other) {
  return build(renderer, other._length, other._radius);
}

namespace {

// The marker's shape for one stem length L, stem radius R and tilt about the axis, built anew.
vtkSmartPointer<vtkPolyData> buildShape(double L, double R, const double axis[3]) {
  // Every part is placed along y and then tilted with y onto the axis.
  const double y[3] = {0.0, 1.0, 0.0};
  const double tilt = std::acos(std::max(-1.0, std::min(1.0, axis[1]))) * 180.0 / M_PI;
  const double about[3] = {y[1] * axis[2] - y[2] * axis[1], y[2] * axis[0] - y[0] * axis[2],
                           y[0] * axis[1] - y[1] * axis[0]};
  vtkNew<vtkAppendPolyData> append;
  auto place = [&](vtkAlgorithm* source, double along, bool ringTurn) {
    vtkNew<vtkTransform> transform;
    transform->Identity();
    if (tilt != 0.0) transform->RotateWXYZ(tilt, about[0], about[1], about[2]);
    transform->Translate(0.0, along, 0.0);
    if (ringTurn) transform->RotateWXYZ(90.0, 1.0, 0.0, 0.0);
    vtkNew<vtkTransformPolyDataFilter> filter;
    filter->SetTransform(transform);
    filter->SetInputConnection(source->GetOutputPort());
    append->AddInputConnection(filter->GetOutputPort());
  };
  vtkNew<vtkCylinderSource> stem;
  stem->SetHeight(L);
  stem->SetRadius(R);
  stem->SetResolution(101);
  place(stem, 0.93 * L, false);
  vtkNew<vtkParametricTorus> ring;
  ring->SetRingRadius(1.2 * R);
  ring->SetCrossSectionRadius(0.04 * L);
  vtkNew<vtkParametricFunctionSource> ringSource;
  ringSource->SetParametricFunction(ring);
  ringSource->SetUResolution(101);
  ringSource->SetVResolution(101);
  ringSource->SetWResolution(101);
  place(ringSource, 1.43 * L, true);
  vtkNew<vtkSphereSource> ball;
  ball->SetRadius(R);
  ball->SetThetaResolution(101);
  ball->SetPhiResolution(101);
  place(ball, 1.63 * L, false);
  vtkNew<vtkConeSource> tip;
  tip->SetRadius(R);
  tip->SetHeight(0.4 * L);
  tip->SetResolution(101);
  tip->CappingOff();
  tip->SetDirection(0.0, -1.0, 0.0);
  place(tip, 0.23 * L, false);
  vtkNew<vtkCylinderSource> upperStem;
  upperStem->SetHeight(0.2 * L);
  upperStem->SetRadius(R);
  upperStem->SetResolution(101);
  place(upperStem, 1.53 * L, false);
  vtkNew<vtkCylinderSource> needle;
  needle->SetHeight(0.2 * L);
  needle->SetRadius(0.4 * R);
  needle->SetResolution(101);
  needle->CappingOn();
  place(needle, 0.13 * L, false);
  RestoreThreadFlag unfrozen(false);
  append->Update();
  auto shape = vtkSmartPointer<vtkPolyData>::New();
  shape->DeepCopy(append->GetOutput());
  return shape;
}

// Shapes already built, by stem length, radius and tools angle: every marker of one look (the
// others' avatars, the kept iso values) shows the same read-only triangles instead of building
// and holding its own pipeline. Any thread that builds markers; the lock guards the map only.
std::mutex shapesMutex;
std::map<std::array<double, 3>, vtkSmartPointer<vtkPolyData>> shapes;

vtkSmartPointer<vtkPolyData> sharedShape(double L, double R, double toolsAngle, const double axis[3]) {
  const std::array<double, 3> key = {L, R, toolsAngle};
  {
    std::lock_guard<std::mutex> lock(shapesMutex);
    auto it = shapes.find(key);
    if (it != shapes.end()) return it->second;
  }
  vtkSmartPointer<vtkPolyData> shape = buildShape(L, R, axis);
  std::lock_guard<std::mutex> lock(shapesMutex);
  if (shapes.size() >= 8) shapes.clear();  // looks come and go with the settings
  return shapes.emplace(key, shape).first->second;
}

}  // namespace

bool IsoValueMarker::build(vtkRenderer* renderer, double length, double radius) {
  const double L = length, R = radius;
  _length = L;
  _radius = R;
  _toolsAngle = GetConfigFinite("toolsAngle", 20.0);
  const double a = -_toolsAngle * M_PI / 180.0;
  _axis[0] = 0.0;
  _axis[1] = std::cos(a);
  _axis[2] = std::sin(a);
  _offset[0] = _offset[1] = _offset[2] = 0.0;

  // A shallow copy of the shared shape: its arrays are shared, its pipeline information not.
  vtkNew<vtkPolyData> shape;
  shape->ShallowCopy(sharedShape(L, R, _toolsAngle, _axis));
  vtkNew<vtkPolyDataMapper> mapper;
  mapper->SetInputData(shape);
  vtkNew<vtkMatrix4x4> matrix;
  _actor->SetUserMatrix(matrix);
  _actor->SetMapper(mapper);
  vtkProperty* property = _actor->GetProperty();
  property->SetAmbientColor(0.1, 0.1, 0.1);
  property->SetSpecularColor(0.1, 0.1, 0.1);
  const std::array<double, 3> color = GetConfigVector3("seedMarkerRGB", {0.0, 0.37255, 0.52941});
  property->SetDiffuseColor(color[0], color[1], color[2]);
  if (renderer) renderer->AddActor(_actor);
  kvg::SetPropLighting(_actor, kvg::PropLighting::Lit);
  RestoreThreadFlag unfrozen(false);
  mapper->Update();
  return true;
}

void IsoValueMarker::setColor(const double rgb[3]) { _actor->GetProperty()->SetDiffuseColor(rgb[0], rgb[1], rgb[2]); }

void IsoValueMarker::computeToolOffset(double x, const ControllerInput& input, int hand) {
  const double a = -GetConfigFinite("toolsAngle", 20.0) * M_PI / 180.0;
  const double h = GetConfigFinite("colorBarHeight", 0.03, true) * 0.4;
  const std::array<double, 3> o = GetConfigVector3("toolsOffset", {0.0, 0.1, -0.024});
  const double v[3] = {hand == 0 ? x - o[0] : x + o[0], o[2] + h * std::cos(a), h * std::sin(a) - o[1]};
  transformPoint(input, v, _offset);
}

void IsoValueMarker::setOffset(const double offset[3]) {
  for (int i = 0; i < 3; ++i) _offset[i] = offset[i];
}

void IsoValueMarker::updateTransform(const double modelMatrix[16], const double pose[16], const double position[3]) {
  double placed[16];
  for (int i = 0; i < 16; ++i) placed[i] = pose[i];
  for (int r = 0; r < 3; ++r) placed[r * 4 + 3] = position[r] + _offset[r];
  vtkMatrix4x4* user = _actor->GetUserMatrix();
  if (!user) {
    vtkNew<vtkMatrix4x4> matrix;
    _actor->SetUserMatrix(matrix);
    user = matrix;
  }
  vtkMatrix4x4::Multiply4x4(modelMatrix, placed, user->GetData());
  user->Modified();
}
