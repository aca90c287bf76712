#include "IsoSurfaceBuilder.h"

#include "AnalysisPipeline.h"

#include <vtkContourFilter.h>
#include <vtkDataObject.h>
#include <vtkFlyingEdges3D.h>
#include <vtkImageData.h>
#include <vtkPointData.h>
#include <vtkPolyData.h>

namespace kvg {
namespace analysis {

IsoSurfaceBuilder::IsoSurfaceBuilder() : _flyingEdges(false) {}

IsoSurfaceBuilder::~IsoSurfaceBuilder() = default;

void IsoSurfaceBuilder::setInput(vtkImageData* volume, const std::string& scalarName) {
  _volume = volume;
  _contour = nullptr;
  if (!volume || !volume->GetPointData()->GetArray(scalarName.c_str())) return;
  int dims[3];
  volume->GetDimensions(dims);
  _flyingEdges = dims[0] > 1 && dims[1] > 1 && dims[2] > 1;
  if (_flyingEdges) {
    auto fe = vtkSmartPointer<vtkFlyingEdges3D>::New();
    UseOwnExecutive(fe);
    ConnectData(fe, volume);
    fe->SetInputArrayToProcess(0, 0, 0, vtkDataObject::FIELD_ASSOCIATION_POINTS, scalarName.c_str());
    fe->ComputeNormalsOn();
    fe->ComputeGradientsOff();
    fe->ComputeScalarsOff();
    fe->InterpolateAttributesOff();
    _contour = fe;
  } else {
    auto cf = vtkSmartPointer<vtkContourFilter>::New();
    UseOwnExecutive(cf);
    ConnectData(cf, volume);
    cf->SetInputArrayToProcess(0, 0, 0, vtkDataObject::FIELD_ASSOCIATION_POINTS, scalarName.c_str());
    cf->ComputeNormalsOn();
    cf->ComputeScalarsOff();
    _contour = cf;
  }
}

long long IsoSurfaceBuilder::compute(double value, vtkPolyData* output) {
  output->Initialize();
  if (!_contour) return 0;
  if (_flyingEdges) {
    static_cast<vtkFlyingEdges3D*>(_contour.Get())->SetValue(0, value);
  } else {
    static_cast<vtkContourFilter*>(_contour.Get())->SetValue(0, value);
  }
  _contour->Update();
  auto* result = vtkPolyData::SafeDownCast(_contour->GetOutputDataObject(0));
  if (!result) return 0;
  output->ShallowCopy(result);
  return output->GetNumberOfPolys();
}

}  // namespace analysis
}  // namespace kvg
