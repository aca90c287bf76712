#pragma once
// Picks props along a ray segment in world coordinates, without rendering: each candidate's
// geometry is intersected in its own coordinates through a cached cell locator, so lines and
// vertices are hit within the given tolerance. Volumes are hit at their bounding box.
#include <vtkSmartPointer.h>
#include <vtkType.h>

#include <map>
#include <vector>

class vtkAbstractCellLocator;
class vtkDataSet;
class vtkProp;
class vtkPropCollection;
class vtkRenderer;

namespace kvg {
namespace analysis {

struct RayHit {
  vtkProp* prop = nullptr;
  double distance = 0.0;  // along the ray, world units
  double position[3] = {0.0, 0.0, 0.0};
  vtkIdType cellId = -1;
};

class RayPicker {
 public:
  RayPicker();
  ~RayPicker();
  RayPicker(const RayPicker&) = delete;
  RayPicker& operator=(const RayPicker&) = delete;

  // The nearest hit on the segment origin .. origin + direction * length (direction need not
  // be unit). Candidates: the given props, or every visible, pickable prop of the renderer
  // when `candidates` is null. Returns false when nothing is hit.
  bool pick(vtkRenderer* renderer, const double origin[3], const double direction[3], double length,
            double tolerance, vtkPropCollection* candidates, RayHit& hit);

  // The same test against one prop.
  bool intersect(vtkProp* prop, const double p1[3], const double p2[3], double tolerance, RayHit& hit);

 private:
  // Surfaces and solids go through a cell locator; vertices and lines, which a locator only
  // finds when the ray passes through their (flat) bounds, are tested one by one, and so is every
  // cell of a small data set, where a locator costs more memory and time than it saves.
  struct CachedLocator {
    vtkMTimeType time = 0;
    vtkSmartPointer<vtkAbstractCellLocator> locator;  // null when no cell goes through one
    std::vector<vtkIdType> directCells;
  };
  const CachedLocator& locatorFor(vtkDataSet* data);
  bool intersectData(vtkDataSet* data, const double p1[3], const double p2[3], double tolerance, double& t,
                     double x[3], vtkIdType& cellId);

  std::map<vtkDataSet*, CachedLocator> _locators;
};

}  // namespace analysis
}  // namespace kvg
