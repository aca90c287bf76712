#pragma once
// Picks the drawable a ray points at in a drawable scene, for the part widgets: the name of
// the nearest drawable prop hit along the ray, within a tolerance.
#include <memory>
#include <string>

class vtkProp;
class vtkPropCollection;
class vtkRenderer;

namespace kvg {

class DrawableScene;
class SceneCanvasRenderer;

namespace analysis {
class RayPicker;
}

class SelectTool {
 public:
  explicit SelectTool(DrawableScene& scene);
  explicit SelectTool(DrawableScene* scene);
  ~SelectTool();
  SelectTool(const SelectTool&) = delete;
  SelectTool& operator=(const SelectTool&) = delete;

  // The drawable name of the nearest drawable prop hit on the segment from `tip` along
  // `direction` for `length` (world units), within `tolerance`; empty when nothing is hit.
  // Candidates: the given props, or every visible drawable prop of the renderer when null.
  // hitDistance receives the distance of the hit along the ray (unchanged on a miss).
  std::string pickRay3D(SceneCanvasRenderer* renderer, const double tip[3], const double direction[3], double length,
                        double& hitDistance, double tolerance, vtkPropCollection* candidates);
  std::string pickRay3D(vtkRenderer* renderer, const double tip[3], const double direction[3], double length,
                        double& hitDistance, double tolerance, vtkPropCollection* candidates);

  // The prop of the last successful pick (null after a miss).
  vtkProp* getPickedProp() const { return _picked; }

 private:
  DrawableScene* _scene;  // the scene picked in (may be null)
  std::unique_ptr<analysis::RayPicker> _picker;
  vtkProp* _picked;
};

}  // namespace kvg
