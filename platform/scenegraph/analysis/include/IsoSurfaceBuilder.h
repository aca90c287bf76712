#pragma once
// Extracts the iso-surface of a volume's named scalar field at one value, with normals.
#include <vtkSmartPointer.h>

#include <string>

class vtkAlgorithm;
class vtkImageData;
class vtkPolyData;

namespace kvg {
namespace analysis {

class IsoSurfaceBuilder {
 public:
  IsoSurfaceBuilder();
  ~IsoSurfaceBuilder();
  IsoSurfaceBuilder(const IsoSurfaceBuilder&) = delete;
  IsoSurfaceBuilder& operator=(const IsoSurfaceBuilder&) = delete;

  void setInput(vtkImageData* volume, const std::string& scalarName);

  // Replaces the contents of `output` with the surface at `value` (empty when the field does
  // not reach it). Returns the polygon count.
  long long compute(double value, vtkPolyData* output);

 private:
  vtkSmartPointer<vtkImageData> _volume;
  vtkSmartPointer<vtkAlgorithm> _contour;
  bool _flyingEdges;
};

}  // namespace analysis
}  // namespace kvg
