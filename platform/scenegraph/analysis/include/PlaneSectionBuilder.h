#pragma once
// Cuts a volume (image data) with the plane of a plane section: the polygons of the plane
// inside the volume, carrying every point array of the volume interpolated onto them.
#include <vtkSmartPointer.h>

#include <string>

class vtkAlgorithm;
class vtkImageData;
class vtkPlane;
class vtkPolyData;

namespace kvg {

class SimplePlaneSection;

namespace analysis {

class PlaneSectionBuilder {
 public:
  PlaneSectionBuilder();
  ~PlaneSectionBuilder();
  PlaneSectionBuilder(const PlaneSectionBuilder&) = delete;
  PlaneSectionBuilder& operator=(const PlaneSectionBuilder&) = delete;

  // The volume and the scalar array the section shows.
  void setInput(vtkImageData* volume, const std::string& scalarName);

  // Replaces the contents of `output` with the section; empty for a "none" section, a
  // section without a normal, or a plane that misses the volume. Returns the polygon count.
  long long compute(const SimplePlaneSection& section, vtkPolyData* output);

 private:
  vtkSmartPointer<vtkImageData> _volume;
  std::string _scalarName;
  vtkSmartPointer<vtkPlane> _plane;
  vtkSmartPointer<vtkAlgorithm> _cutter;
};

}  // namespace analysis
}  // namespace kvg
