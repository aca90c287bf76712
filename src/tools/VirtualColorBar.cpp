#include "VirtualColorBar.h"

#include <iostream>

#include <vtkFloatArray.h>
#include <vtkLookupTable.h>
#include <vtkMatrix4x4.h>
#include <vtkNew.h>
#include <vtkPlaneSource.h>
#include <vtkPointData.h>
#include <vtkPolyData.h>
#include <vtkPolyDataMapper.h>
#include <vtkProperty.h>
#include <vtkRenderer.h>
#include <vtkTransform.h>
#include <vtkTransformPolyDataFilter.h>

#include "FreezablePipeline.h"
#include "OpenVRActor.h"
#include "ToolMath.h"
#include "kvg/PropLighting.h"

namespace {

// Three corners that span a plane: both edges with length and not parallel.
bool spansPlane(const double point1[3], const double point2[3], const double origin[3]) {
  if (!toolmath::finite3(point1) || !toolmath::finite3(point2) || !toolmath::finite3(origin)) return false;
  const double a[3] = {point1[0] - origin[0], point1[1] - origin[1], point1[2] - origin[2]};
  const double b[3] = {point2[0] - origin[0], point2[1] - origin[1], point2[2] - origin[2]};
  const double n[3] = {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
  double unit[3];
  return toolmath::unit(n, unit);
}

constexpr int kSampledColors = 256;

}  // namespace

VirtualColorBar::VirtualColorBar()
    : _planeSource(vtkPlaneSource::New()),
      _transform(vtkTransform::New()),
      _mapper(vtkPolyDataMapper::New()),
      _polyData(vtkPolyData::New()),
      _transformFilter(vtkTransformPolyDataFilter::New()),
      _scalars(vtkFloatArray::New()),
      _lookupTable(vtkLookupTable::New()) {
  _transformFilter->SetInputData(_polyData);
  _mapper->SetInputConnection(_transformFilter->GetOutputPort());
}

VirtualColorBar::~VirtualColorBar() {
  _lookupTable->Delete();
  _scalars->Delete();
  _transformFilter->Delete();
  _polyData->Delete();
  _mapper->Delete();
  _transform->Delete();
  _planeSource->Delete();
}

bool VirtualColorBar::create(vtkRenderer* renderer) {
  _mapper->SetScalarModeToUsePointData();
  _lookupTable->SetRange(0.0, 1.0);
  _lookupTable->Build();
  _mapper->SetLookupTable(_lookupTable);
  _mapper->UseLookupTableScalarRangeOn();
  _mapper->ScalarVisibilityOff();
  _mapper->SetColorModeToDefault();
  _mapper->SetInputConnection(_transformFilter->GetOutputPort());

  const double point1[3] = {0.0, 0.0, 1.0}, point2[3] = {0.0, 1.0, 0.0}, origin[3] = {0.0, 0.0, 0.0};
  buildGeometry(point1, point2, origin, 0.0);

  _actor->SetMapper(_mapper);
  _actor->SetDepthTestDisabled(0);
  kvg::SetPropLighting(_actor, kvg::PropLighting::Unlit);
  _actor->GetProperty()->SetAmbientColor(1.0, 1.0, 1.0);
  _actor->GetProperty()->SetDiffuseColor(1.0, 1.0, 1.0);
  _actor->GetProperty()->SetOpacity(1.0);
  _actor->SetTranslucencyMode(1);
  vtkNew<vtkMatrix4x4> user;
  _actor->SetUserMatrix(user);
  if (renderer) renderer->AddActor(_actor);
  return true;
}

void VirtualColorBar::buildGeometry(const double point1[3], const double point2[3], const double origin[3],
                                    double angle) {
  if (!spansPlane(point1, point2, origin)) {
    std::cerr << "Initializing color bar failed" << std::endl;
    return;
  }
  _planeSource->SetPoint1(point1[0], point1[1], point1[2]);
  _planeSource->SetPoint2(point2[0], point2[1], point2[2]);
  _planeSource->SetOrigin(origin[0], origin[1], origin[2]);
  _planeSource->SetYResolution(1);
  _planeSource->SetXResolution(256);
  {
    RestoreThreadFlag unfrozen(false);
    _planeSource->Update();
  }
  vtkPolyData* plane = _planeSource->GetOutput();
  if (!plane || plane->GetNumberOfPoints() == 0) {
    std::cerr << "Initializing color bar failed" << std::endl;
    return;
  }

  const vtkIdType n = plane->GetNumberOfPoints();
  _scalars->SetNumberOfValues(n);
  const vtkIdType half = n / 2;
  for (vtkIdType i = 0; i < half; ++i) {
    const float value = half > 1 ? static_cast<float>(i) / static_cast<float>(half - 1) : 0.0f;
    _scalars->SetValue(i, value);
    _scalars->SetValue(half + i, value);
  }
  _scalars->Modified();
  _polyData->DeepCopy(plane);
  _polyData->GetPointData()->SetScalars(_scalars);

  const double c[3] = {(point1[0] + point2[0]) / 2.0, (point1[1] + point2[1]) / 2.0, (point1[2] + point2[2]) / 2.0};
  _transform->Identity();
  _transform->PreMultiply();
  _transform->Translate(c);
  _transform->RotateWXYZ(angle, 1.0, 0.0, 0.0);
  _transform->Translate(-c[0], -c[1], -c[2]);
  _transformFilter->SetTransform(_transform);
  _transformFilter->SetInputData(_polyData);
  _transformFilter->Update();

  const double width[3] = {point1[0] - origin[0], point1[1] - origin[1], point1[2] - origin[2]};
  const double down[3] = {origin[0] - point2[0], origin[1] - point2[1], origin[2] - point2[2]};
  toolmath::unitOrZero(_planeSource->GetNormal(), _normal);
  toolmath::unitOrZero(width, _horizontalAxis);
  toolmath::unitOrZero(down, _verticalAxis);
  RestoreThreadFlag unfrozen(false);
  _mapper->Update();
}

void VirtualColorBar::setLookupTable(vtkScalarsToColors* source) {
  if (!source) {
    _mapper->ScalarVisibilityOff();
    _mapper->SetColorModeToDefault();
    return;
  }
  _mapper->ScalarVisibilityOn();
  _mapper->SetColorModeToMapScalars();
  if (vtkLookupTable* table = vtkLookupTable::SafeDownCast(source)) {
    _lookupTable->DeepCopy(table);
  } else {
    // Colour transfer functions and other sources: sampled evenly over their range.
    const double* range = source->GetRange();
    _lookupTable->SetNumberOfTableValues(kSampledColors);
    for (int i = 0; i < kSampledColors; ++i) {
      const double x = range[0] + (range[1] - range[0]) * i / (kSampledColors - 1);
      double rgb[3];
      source->GetColor(x, rgb);
      _lookupTable->SetTableValue(i, rgb[0], rgb[1], rgb[2], 1.0);
    }
  }
  _lookupTable->SetRange(0.0, 1.0);
  if (!_lookupTable->IsOpaque()) {
    const vtkIdType colors = _lookupTable->GetNumberOfTableValues();
    for (vtkIdType i = 0; i < colors; ++i) _lookupTable->GetPointer(0)[i * 4 + 3] = 255;
    _lookupTable->Modified();
  }
  _mapper->SetLookupTable(_lookupTable);
}

void VirtualColorBar::setOffset(const double offset[3]) {
  _offset[0] = offset[0];
  _offset[1] = offset[1];
  _offset[2] = offset[2];
}

void VirtualColorBar::updateTransform(const double world[16], const double rotation[16], const double position[3]) {
  double placed[16], user[16];
  toolmath::placed(rotation, position, _offset, placed);
  toolmath::multiply(world, placed, user);
  setUserMatrix(user);
}

void VirtualColorBar::setTranslucencyMode(int mode) { _actor->SetTranslucencyMode(mode); }
