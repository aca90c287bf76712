#include "ClipMarker.h"

#include <vtkMatrix4x4.h>
#include <vtkPlaneSource.h>
#include <vtkPolyDataMapper.h>
#include <vtkProperty.h>
#include <vtkRenderer.h>
#include <vtkTexture.h>
#include <vtkTransform.h>

#include "FreezablePipeline.h"
#include "OpenVRActor.h"
#include "kvg/PropLighting.h"

namespace {
bool sameAsFloat(double a, double b) { return static_cast<float>(a) == static_cast<float>(b); }
}  // namespace

ClipMarker::ClipMarker() : _plane(vtkPlaneSource::New()), _transform(vtkTransform::New()) {}

ClipMarker::~ClipMarker() {
  _textures[1] = nullptr;
  _textures[0] = nullptr;
  _transform->Delete();
  _plane->Delete();
}

bool ClipMarker::createTextured(vtkRenderer* renderer, const double center[3], const double up[3],
                                const double right[3], double size, vtkTexture* texture0, vtkTexture* texture1) {
  _textures[0] = texture0;
  _textures[1] = texture1;
  vtkNew<vtkPolyDataMapper> mapper;
  mapper->SetInputConnection(_plane->GetOutputPort());
  _actor->SetMapper(mapper);
  _actor->SetDepthTestDisabled(0);
  kvg::SetPropLighting(_actor, kvg::PropLighting::Unlit);
  // Unlit, the texture shows through the ambient colour: a little dimmer than full white, so
  // the marker does not outshine the scene it cuts.
  _actor->GetProperty()->SetAmbientColor(0.8, 0.8, 0.8);
  _actor->GetProperty()->SetDiffuseColor(1.0, 1.0, 1.0);
  _actor->SetVisibility(1);
  _textureIndex = 0;
  _actor->SetTexture(_textures[0]);
  // Force the first placement even for an all-zero geometry.
  _size = size + 1.0;
  setGeometry(center, up, right, size);
  if (renderer) renderer->AddActor(_actor);
  return true;
}

bool ClipMarker::createFrom(vtkRenderer* renderer, const ClipMarker& other, vtkTexture* texture0,
                            vtkTexture* texture1) {
  return createTextured(renderer, other._center, other._up, other._right, other._size, texture0, texture1);
}

void ClipMarker::setGeometry(const double center[3], const double up[3], const double right[3], double size) {
  bool same = sameAsFloat(size, _size);
  for (int i = 0; i < 3 && same; ++i)
    same = sameAsFloat(center[i], _center[i]) && sameAsFloat(up[i], _up[i]) && sameAsFloat(right[i], _right[i]);
  if (same) return;
  for (int i = 0; i < 3; ++i) {
    _center[i] = center[i];
    _up[i] = up[i];
    _right[i] = right[i];
  }
  _size = size;
  _plane->SetOrigin(0.0, 0.0, 0.0);
  _plane->SetPoint1(up[0] * size, up[1] * size, up[2] * size);
  _plane->SetPoint2(right[0] * size, right[1] * size, right[2] * size);
  _plane->SetCenter(center[0], center[1], center[2]);
  if (vtkMapper* mapper = _actor->GetMapper()) {
    RestoreThreadFlag unfrozen(false);
    mapper->Update();
  }
}

void ClipMarker::setGeometryAlt(const ClipMarker& source) {
  setGeometry(source._center, source._up, source._right, source._size);
}

void ClipMarker::selectTexture(int index) {
  _textureIndex = index;
  if (index == 0 || index == 1) _actor->SetTexture(_textures[index]);
}

void ClipMarker::scaleAboutCenter(double factor) {
  if (!_actor->GetUserMatrix()) {
    vtkNew<vtkMatrix4x4> matrix;
    _actor->SetUserMatrix(matrix);
  }
  double c[3];
  _plane->GetCenter(c);
  _transform->Identity();
  _transform->PostMultiply();
  _transform->Translate(-c[0], -c[1], -c[2]);
  _transform->Scale(factor, factor, factor);
  _transform->Translate(c[0], c[1], c[2]);
  _actor->GetUserMatrix()->DeepCopy(_transform->GetMatrix());
  _actor->GetUserMatrix()->Modified();
}
