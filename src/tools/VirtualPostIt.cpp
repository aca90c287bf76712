#include "VirtualPostIt.h"

#include <cstring>

#include <vtkMatrix4x4.h>
#include <vtkNew.h>
#include <vtkPlaneSource.h>
#include <vtkPolyDataMapper.h>
#include <vtkProperty.h>
#include <vtkRenderer.h>
#include <vtkTexture.h>
#include <vtkTransform.h>

#include "FreezablePipeline.h"
#include "OpenVRActor.h"
#include "ToolMath.h"
#include "kvg/PropLighting.h"

namespace {

void identity(double m[16]) {
  std::memset(m, 0, 16 * sizeof(double));
  m[0] = m[5] = m[10] = m[15] = 1.0;
}

void copy3(const double in[3], double out[3]) {
  out[0] = in[0];
  out[1] = in[1];
  out[2] = in[2];
}

// m applied to (v, 0).
void rotate(const double m[16], const double v[3], double out[3]) {
  double r[3];
  for (int i = 0; i < 3; ++i) r[i] = m[i * 4] * v[0] + m[i * 4 + 1] * v[1] + m[i * 4 + 2] * v[2];
  copy3(r, out);
}

}  // namespace

VirtualPostIt::VirtualPostIt() : _planeSource(vtkPlaneSource::New()), _transform(vtkTransform::New()) {
  _planeSource->SetResolution(1, 1);
}

VirtualPostIt::~VirtualPostIt() {
  _transform->Delete();
  _pageTextures.clear();
  _planeSource->Delete();
}

kvg::Ref<VirtualPostIt> VirtualPostIt::create() { return kvg::Ref<VirtualPostIt>(new VirtualPostIt()); }

bool VirtualPostIt::build(vtkRenderer* renderer, const TextureList& pages, vtkPolyDataMapper* mapper) {
  const double point1[3] = {0.0, 0.0, 1.0}, point2[3] = {0.0, 1.0, 0.0}, zero[3] = {0.0, 0.0, 0.0};
  return build(renderer, pages, point1, point2, zero, zero, mapper);
}

bool VirtualPostIt::build(vtkRenderer* renderer, const TextureList& pages, const double point1[3],
                          const double point2[3], const double origin[3], const double pivot[3],
                          vtkPolyDataMapper* mapper) {
  identity(_orientation);
  copy3(pivot, _pivot);
  _positionOffset[0] = _positionOffset[1] = _positionOffset[2] = 0.0;
  _planeSource->SetPoint1(point1[0], point1[1], point1[2]);
  _planeSource->SetPoint2(point2[0], point2[1], point2[2]);
  _planeSource->SetOrigin(origin[0], origin[1], origin[2]);
  updatePlane();
  updateAxes();

  vtkSmartPointer<vtkPolyDataMapper> drawing = mapper;
  if (!drawing) drawing = vtkSmartPointer<vtkPolyDataMapper>::New();
  drawing->SetInputConnection(_planeSource->GetOutputPort());
  _actor->SetMapper(drawing);
  _actor->SetDepthTestDisabled(0);
  kvg::SetPropLighting(_actor, kvg::PropLighting::Unlit);
  _actor->GetProperty()->SetAmbientColor(1.0, 1.0, 1.0);
  _actor->GetProperty()->SetDiffuseColor(1.0, 1.0, 1.0);
  vtkNew<vtkMatrix4x4> user;
  user->Modified();
  _actor->SetUserMatrix(user);

  _pageTextures = pages;
  if (!_pageTextures.empty()) _actor->SetTexture(_pageTextures.front());
  {
    RestoreThreadFlag unfrozen(false);
    drawing->Update();
  }
  if (renderer) renderer->AddActor(_actor);
  return true;
}

void VirtualPostIt::updatePlane() {
  RestoreThreadFlag unfrozen(false);
  _planeSource->Update();
}

void VirtualPostIt::setPage(int page) {
  _pageIndex = page;
  if (page >= 0 && page < pageCount())
    _actor->SetTexture(_pageTextures[page]);
  else
    _actor->SetVisibility(0);
}

void VirtualPostIt::setPageTextures(const TextureList& pages) {
  _pageTextures = pages;
  if (_pageIndex >= 0 && _pageIndex < pageCount())
    _actor->SetTexture(_pageTextures[_pageIndex]);
  else if (!_pageTextures.empty())
    _actor->SetTexture(_pageTextures.front());
}

void VirtualPostIt::setSize(const double point1[3], const double point2[3], const double origin[3]) {
  _planeSource->SetPoint1(point1[0], point1[1], point1[2]);
  _planeSource->SetPoint2(point2[0], point2[1], point2[2]);
  _planeSource->SetOrigin(origin[0], origin[1], origin[2]);
  updatePlane();
  updateAxes();
}

void VirtualPostIt::setOrientation(double a0, double a1, double a2) {
  _transform->Identity();
  _transform->PreMultiply();
  _transform->RotateWXYZ(a2, 0.0, 0.0, 1.0);
  _transform->RotateWXYZ(a1, 1.0, 0.0, 0.0);
  _transform->RotateWXYZ(a0, 0.0, 1.0, 0.0);
  _transform->Update();
  vtkMatrix4x4::DeepCopy(_orientation, _transform->GetMatrix());
  updateAxes();
}

void VirtualPostIt::alignTo(const double direction[3]) {
  double d[3];
  if (!toolmath::unit(direction, d)) return;
  double n[3];
  toolmath::unitOrZero(_planeSource->GetNormal(), n);
  double angle, axis[3];
  toolmath::rotationOnto(n, d, angle, axis);
  _transform->Identity();
  _transform->PreMultiply();
  if (angle != 0.0) _transform->RotateWXYZ(angle, axis);
  _transform->Update();
  vtkMatrix4x4::DeepCopy(_orientation, _transform->GetMatrix());
  updateAxes();
}

void VirtualPostIt::updateAxes() {
  double origin[3], point1[3], point2[3];
  _planeSource->GetOrigin(origin);
  _planeSource->GetPoint1(point1);
  _planeSource->GetPoint2(point2);
  const double width[3] = {point1[0] - origin[0], point1[1] - origin[1], point1[2] - origin[2]};
  const double down[3] = {origin[0] - point2[0], origin[1] - point2[1], origin[2] - point2[2]};
  toolmath::unitOrZero(_planeSource->GetNormal(), _normal);
  toolmath::unitOrZero(width, _horizontalAxis);
  toolmath::unitOrZero(down, _verticalAxis);
  rotate(_orientation, _normal, _normal);
  rotate(_orientation, _horizontalAxis, _horizontalAxis);
  rotate(_orientation, _verticalAxis, _verticalAxis);
}

void VirtualPostIt::getNormal(double out[3]) const { copy3(_normal, out); }
void VirtualPostIt::getHorizontalAxis(double out[3]) const { copy3(_horizontalAxis, out); }
void VirtualPostIt::getVerticalAxis(double out[3]) const { copy3(_verticalAxis, out); }

void VirtualPostIt::getCorners(double point1[3], double point2[3], double origin[3]) const {
  _planeSource->GetPoint1(point1);
  _planeSource->GetPoint2(point2);
  _planeSource->GetOrigin(origin);
}

void VirtualPostIt::setPosition(const double offset[3]) { copy3(offset, _positionOffset); }
void VirtualPostIt::position(double out[3]) const { copy3(_positionOffset, out); }
void VirtualPostIt::setPivot(const double pivot[3]) { copy3(pivot, _pivot); }
void VirtualPostIt::setTranslucencyMode(int mode) { _actor->SetTranslucencyMode(mode); }

void VirtualPostIt::copyFrom(const VirtualPostIt& other) {
  setPage(other._pageIndex);
  _actor->SetVisibility(other._actor->GetVisibility());
  vtkProperty* to = _actor->GetProperty();
  vtkProperty* from = other._actor->GetProperty();
  to->SetAmbientColor(from->GetAmbientColor());
  to->SetDiffuseColor(from->GetDiffuseColor());
  to->SetAmbient(from->GetAmbient());
  std::memcpy(_orientation, other._orientation, sizeof(_orientation));
  copy3(other._positionOffset, _positionOffset);
  updateAxes();
}

void VirtualPostIt::updatePose(const double world[16], const double rotation[16], const double position[3]) {
  _transform->Identity();
  _transform->PreMultiply();
  _transform->Translate(_pivot);
  _transform->Concatenate(_orientation);
  _transform->Translate(-_pivot[0], -_pivot[1], -_pivot[2]);
  _transform->Update();
  double local[16], placed[16], user[16];
  vtkMatrix4x4::DeepCopy(local, _transform->GetMatrix());
  toolmath::placed(rotation, position, _positionOffset, placed);
  toolmath::multiply(world, placed, user);
  toolmath::multiply(user, local, user);
  setUserMatrix(user);
}
