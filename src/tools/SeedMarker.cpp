#include "SeedMarker.h"

#include <vtkConeSource.h>
#include <vtkMatrix4x4.h>
#include <vtkNew.h>
#include <vtkPolyDataMapper.h>
#include <vtkProperty.h>
#include <vtkRenderer.h>
#include <vtkTransform.h>

#include "FreezablePipeline.h"
#include "OpenVRActor.h"
#include "kvg/PropLighting.h"

SeedMarker::SeedMarker() : _transform(vtkTransform::New()), _cone(vtkConeSource::New()) {}

SeedMarker::~SeedMarker() {
  _cone->Delete();
  _transform->Delete();
}

bool SeedMarker::createActor(vtkRenderer* renderer, const double center[3], const double direction[3], double height,
                             double angle) {
  for (int i = 0; i < 3; ++i) _center[i] = center[i];
  _cone->SetCenter(center[0] + direction[0] * height * 0.5, center[1] + direction[1] * height * 0.5,
                   center[2] + direction[2] * height * 0.5);
  _cone->SetDirection(direction[0], direction[1], direction[2]);
  _cone->SetHeight(height);
  _cone->SetAngle(angle);
  _cone->CappingOff();
  _cone->SetResolution(200);
  vtkNew<vtkPolyDataMapper> mapper;
  mapper->SetInputConnection(_cone->GetOutputPort());
  _actor->SetMapper(mapper);
  _actor->SetVisibility(1);
  _actor->SetTranslucencyMode(0);
  kvg::SetPropLighting(_actor, kvg::PropLighting::Lit);
  _actor->GetProperty()->SetAmbientColor(0.1, 0.1, 0.1);
  _actor->GetProperty()->SetDiffuseColor(0.0, 1.0, 1.0);
  vtkNew<vtkMatrix4x4> matrix;
  _actor->SetUserMatrix(matrix);
  if (renderer) renderer->AddActor(_actor);
  RestoreThreadFlag unfrozen(false);
  mapper->Update();
  return true;
}

bool SeedMarker::createFrom(vtkRenderer* renderer, const SeedMarker& other) {
  double direction[3];
  other.getDirection(direction);
  return createActor(renderer, other._center, direction, other.getHeight(), other.getAngle());
}

void SeedMarker::setShape(const double center[3], const double direction[3], double height, double angle) {
  double current[3];
  getDirection(current);
  auto same = [](double a, double b) { return static_cast<float>(a) == static_cast<float>(b); };
  bool unchanged = same(height, _cone->GetHeight()) && same(angle, _cone->GetAngle());
  for (int i = 0; i < 3 && unchanged; ++i) unchanged = same(center[i], _center[i]) && same(direction[i], current[i]);
  if (unchanged) return;
  for (int i = 0; i < 3; ++i) _center[i] = center[i];
  const double coneCenter[3] = {center[0] + direction[0] * height * 0.5, center[1] + direction[1] * height * 0.5,
                                center[2] + direction[2] * height * 0.5};
  _cone->SetCenter(coneCenter);
  _cone->SetDirection(direction[0], direction[1], direction[2]);
  _cone->SetHeight(height);
  _cone->SetAngle(angle);
  if (vtkMapper* mapper = _actor->GetMapper()) {
    RestoreThreadFlag unfrozen(false);
    mapper->Update();
  }
}

void SeedMarker::copyShapeFrom(const SeedMarker& other) {
  double direction[3];
  other.getDirection(direction);
  setShape(other._center, direction, other.getHeight(), other.getAngle());
}

void SeedMarker::getDirection(double direction[3]) const { _cone->GetDirection(direction); }

double SeedMarker::getHeight() const { return _cone->GetHeight(); }

double SeedMarker::getAngle() const { return _cone->GetAngle(); }

void SeedMarker::setColor(const double rgb[3]) { _actor->GetProperty()->SetDiffuseColor(rgb[0], rgb[1], rgb[2]); }

void SeedMarker::scaleAboutCenter(double factor) {
  _transform->Identity();
  _transform->PostMultiply();
  _transform->Translate(-_center[0], -_center[1], -_center[2]);
  _transform->Scale(factor, factor, factor);
  _transform->Translate(_center[0], _center[1], _center[2]);
  if (!_actor->GetUserMatrix()) {
    vtkNew<vtkMatrix4x4> matrix;
    _actor->SetUserMatrix(matrix);
  }
  _actor->GetUserMatrix()->DeepCopy(_transform->GetMatrix());
  _actor->GetUserMatrix()->Modified();
}
