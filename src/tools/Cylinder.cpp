#include "Cylinder.h"

#include <cmath>

#include <vtkCylinderSource.h>
#include <vtkMatrix4x4.h>
#include <vtkNew.h>
#include <vtkPolyDataMapper.h>
#include <vtkProperty.h>
#include <vtkRenderer.h>
#include <vtkTransform.h>
#include <vtkTransformPolyDataFilter.h>

#include "Configuration.h"
#include "FreezablePipeline.h"
#include "OpenVRActor.h"
#include "ToolMath.h"
#include "kvg/PropLighting.h"

void LaserDirectionFromAngle(double direction[3]) {
  const double t = -GetConfigReal("laserAngle", 20.0) * M_PI / 180.0;
  direction[0] = 0.0;
  direction[1] = std::sin(t);
  direction[2] = -std::cos(t);
}

Cylinder::Cylinder() : _source(vtkCylinderSource::New()), _transform(vtkTransform::New()) {}

Cylinder::~Cylinder() {
  _transform->Delete();
  _source->Delete();
}

void Cylinder::setup(vtkRenderer* renderer, double length, double radius) {
  _length = length;
  resetDirection();
  _source->SetRadius(radius);
  _source->SetResolution(100);

  vtkNew<vtkTransform> turn;
  turn->RotateX(-90.0);
  vtkNew<vtkTransformPolyDataFilter> along;
  along->SetTransform(turn);
  along->SetInputConnection(_source->GetOutputPort());
  vtkNew<vtkPolyDataMapper> mapper;
  mapper->SetInputConnection(along->GetOutputPort());

  kvg::SetPropLighting(_actor, kvg::PropLighting::Unlit);
  const std::array<double, 3> color = GetConfigVector3("laserColorRGB", {0.0, 0.37255, 1.0});
  setColor(color.data());
  _actor->SetMapper(mapper);
  vtkNew<vtkMatrix4x4> user;
  _actor->SetUserMatrix(user);
  {
    RestoreThreadFlag unfrozen(false);
    mapper->Update();
  }
  if (renderer) renderer->AddActor(_actor);
}

void Cylinder::setupDefault(vtkRenderer* renderer) {
  setup(renderer, GetConfigReal("defaultLaserLength", 10.0), GetConfigReal("defaultLaserRadius", 0.001));
}

void Cylinder::update(const double world[16], const double rotation[16], const double position[3]) {
  double angle, axis[3];
  toolmath::rotationOnto(_referenceDirection, _direction, angle, axis);
  _transform->Identity();
  _transform->PostMultiply();
  _transform->Scale(1.0, 1.0, _length);
  _transform->Translate(0.0, 0.0, -_length / 2.0 - _offset);
  if (angle != 0.0) _transform->RotateWXYZ(angle, axis);
  _transform->Update();
  double beam[16], placed[16], user[16];
  const double none[3] = {0.0, 0.0, 0.0};
  vtkMatrix4x4::DeepCopy(beam, _transform->GetMatrix());
  toolmath::placed(rotation, position, none, placed);
  toolmath::multiply(world, placed, user);
  toolmath::multiply(user, beam, user);
  setUserMatrix(user);
}

void Cylinder::setDirection(const double direction[3]) { toolmath::unit(direction, _direction); }

void Cylinder::resetLength() { _length = GetConfigReal("defaultLaserLength", 10.0); }

void Cylinder::resetDirection() { LaserDirectionFromAngle(_direction); }

void Cylinder::copyFrom(const Cylinder& other) {
  setVisibility(other.getVisibility());
  _length = other._length;
  _direction[0] = other._direction[0];
  _direction[1] = other._direction[1];
  _direction[2] = other._direction[2];
  setColor(other.getColor());
}
