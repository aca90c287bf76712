#include "PlaneSectionBuilder.h"

#include "AnalysisPipeline.h"
#include "SimplePlaneSection.h"

#include <vtkCutter.h>
#include <vtkDataObject.h>
#include <vtkFlyingEdgesPlaneCutter.h>
#include <vtkImageData.h>
#include <vtkPlane.h>
#include <vtkPointData.h>
#include <vtkPolyData.h>

namespace kvg {
namespace analysis {

PlaneSectionBuilder::PlaneSectionBuilder() : _plane(vtkSmartPointer<vtkPlane>::New()) {}

PlaneSectionBuilder::~PlaneSectionBuilder() = default;

void PlaneSectionBuilder::setInput(vtkImageData* volume, const std::string& scalarName) {
  _volume = volume;
  _scalarName = scalarName;
  _cutter = nullptr;
  if (!volume) return;
  int dims[3];
  volume->GetDimensions(dims);
  const bool solid = dims[0] > 1 && dims[1] > 1 && dims[2] > 1;
  if (solid && volume->GetPointData()->GetArray(scalarName.c_str())) {
    // Flying edges intersects only the x-edges with the plane: the fast path for volumes.
    auto cutter = vtkSmartPointer<vtkFlyingEdgesPlaneCutter>::New();
    UseOwnExecutive(cutter);
    ConnectData(cutter, volume);
    cutter->SetPlane(_plane);
    cutter->SetInputArrayToProcess(0, 0, 0, vtkDataObject::FIELD_ASSOCIATION_POINTS, scalarName.c_str());
    cutter->InterpolateAttributesOn();
    cutter->ComputeNormalsOff();
    _cutter = cutter;
  } else {
    auto cutter = vtkSmartPointer<vtkCutter>::New();
    UseOwnExecutive(cutter);
    ConnectData(cutter, volume);
    cutter->SetCutFunction(_plane);
    cutter->GenerateTrianglesOn();
    _cutter = cutter;
  }
}

long long PlaneSectionBuilder::compute(const SimplePlaneSection& section, vtkPolyData* output) {
  output->Initialize();
  if (!_cutter || section.isNone()) return 0;
  double normal[3];
  section.getNormal(normal);
  if (normal[0] == 0.0 && normal[1] == 0.0 && normal[2] == 0.0) return 0;
  _plane->SetOrigin(const_cast<double*>(section.getOrigin()));
  _plane->SetNormal(normal);
  _cutter->Update();
  auto* result = vtkPolyData::SafeDownCast(_cutter->GetOutputDataObject(0));
  if (!result) return 0;
  output->ShallowCopy(result);
  output->GetPointData()->SetActiveScalars(_scalarName.c_str());
  return output->GetNumberOfPolys();
}

}  // namespace analysis
}  // namespace kvg
