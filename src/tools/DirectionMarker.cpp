#include "DirectionMarker.h"

#include <algorithm>
#include <cmath>

#include <vtkMatrix4x4.h>
#include <vtkNew.h>
#include <vtkPolyDataMapper.h>
#include <vtkProperty.h>
#include <vtkRenderer.h>
#include <vtkSphereSource.h>
#include <vtkTexture.h>
#include <vtkTextureMapToSphere.h>
#include <vtkTransform.h>
#include <vtkTransformPolyDataFilter.h>
#include <vtkTransformTextureCoords.h>

#include "Configuration.h"
#include "FreezablePipeline.h"
#include "OpenVRActor.h"
#include "kvg/PropLighting.h"

namespace {
constexpr double kDegrees = 180.0 / M_PI;
}

DirectionMarker::DirectionMarker()
    : _actor(vtkSmartPointer<OpenVRActor>::New()), _sphere(vtkSmartPointer<vtkSphereSource>::New()) {}

DirectionMarker::~DirectionMarker() = default;

bool DirectionMarker::setup(vtkRenderer* renderer, vtkTexture* pointer, vtkTexture* behind, double radius) {
  _sphere->SetRadius(radius);
  _sphere->SetThetaResolution(64);
  _sphere->SetPhiResolution(64);
  vtkNew<vtkTextureMapToSphere> map;
  map->SetInputConnection(_sphere->GetOutputPort());
  const double size = GetConfigReal("directionMarkerSize", 1.0);
  const double k = size > 0.0 ? 75.0 / size : 75.0;
  vtkNew<vtkTransformTextureCoords> scale;
  scale->SetInputConnection(map->GetOutputPort());
  scale->SetScale(k, k, k);
  vtkNew<vtkTransform> turn;
  turn->RotateWXYZ(90.0, 1.0, 0.0, 0.0);
  vtkNew<vtkTransformPolyDataFilter> turned;
  turned->SetTransform(turn);
  turned->SetInputConnection(scale->GetOutputPort());
  vtkNew<vtkPolyDataMapper> mapper;
  mapper->SetInputConnection(turned->GetOutputPort());

  _textures[0] = pointer;
  _textures[1] = behind;
  for (vtkTexture* texture : {pointer, behind})
    if (texture) {
      texture->EdgeClampOff();
      texture->SetRepeat(0);
    }
  vtkProperty* property = _actor->GetProperty();
  property->SetAmbientColor(1.0, 1.0, 1.0);
  property->SetDiffuseColor(1.0, 1.0, 1.0);
  property->SetAmbient(1.0);
  property->SetDiffuse(0.0);
  _actor->SetMapper(mapper);
  _actor->SetTexture(_textures[0]);
  _textureIndex = 0;
  kvg::SetPropLighting(_actor, kvg::PropLighting::Unlit);
  _actor->SetDepthTestDisabled(GetConfigBool("directionMarkerAlwaysOnTop", false) ? 1 : 0);
  vtkNew<vtkMatrix4x4> identity;
  _actor->SetUserMatrix(identity);
  if (renderer) renderer->AddActor(_actor);
  RestoreThreadFlag unfrozen(false);
  mapper->Update();
  return true;
}

void DirectionMarker::update(const double placement[16], const double d[3]) {
  const double maxAngle = GetConfigReal("directionMarkerMaxAngle", 25.0);
  // A direction a rounding step longer than 1 must not make the angle NaN.
  const double cosine = std::max(-1.0, std::min(1.0, d[2]));
  const double theta = std::acos(cosine) * kDegrees;
  double axis[3] = {0.0, 0.0, 1.0};
  const bool onAxis = d[0] == 0.0 && d[1] == 0.0 && (d[2] == 1.0 || d[2] == -1.0);
  if (!onAxis) {
    const double length = std::hypot(d[1], d[0]);
    if (length > 0.0) {
      axis[0] = d[1] / length;
      axis[1] = -d[0] / length;
      axis[2] = 0.0;
    }
  }
  int texture = 0;
  double tilt = maxAngle;
  if (cosine >= 0.0) {
    if (theta < GetConfigReal("directionMarkerMinAngle", 1.0)) {
      axis[0] = -1.0;
      axis[1] = axis[2] = 0.0;
    }
  } else {
    const double phi = 180.0 - theta;
    if (phi < maxAngle || theta < maxAngle) texture = 1;
    if (phi < maxAngle) tilt = phi;
  }
  _textureIndex = texture;
  _actor->SetTexture(_textures[texture]);

  double spin = 0.0;
  if (texture == 0) {
    const double length = std::hypot(axis[0], axis[1]);
    const double vx = length > 0.0 ? axis[0] / length : 1.0;
    spin = std::acos(std::max(-1.0, std::min(1.0, vx))) * kDegrees;
    if (!(axis[1] > 0.0)) spin = -spin;
  }
  vtkNew<vtkTransform> transform;
  transform->PostMultiply();
  transform->RotateWXYZ(spin, 0.0, 0.0, 1.0);
  transform->RotateWXYZ(tilt, axis[0], axis[1], axis[2]);
  double turned[16];
  vtkMatrix4x4::DeepCopy(turned, transform->GetMatrix());
  vtkMatrix4x4* user = _actor->GetUserMatrix();
  if (!user) {
    vtkNew<vtkMatrix4x4> matrix;
    _actor->SetUserMatrix(matrix);
    user = matrix;
  }
  vtkMatrix4x4::Multiply4x4(placement, turned, user->GetData());
  user->Modified();
}

void DirectionMarker::setColor(const double rgb[3]) {
  _actor->GetProperty()->SetAmbientColor(rgb[0], rgb[1], rgb[2]);
  _actor->GetProperty()->SetDiffuseColor(rgb[0], rgb[1], rgb[2]);
}
