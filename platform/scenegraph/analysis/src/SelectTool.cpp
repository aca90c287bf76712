#include "SelectTool.h"

#include "RayPicker.h"

#include "kvg/DrawableProp.h"
#include "kvg/DrawableScene.h"
#include "kvg/SceneCanvasRenderer.h"

#include <vtkNew.h>
#include <vtkPropCollection.h>
#include <vtkRenderer.h>

namespace kvg {

SelectTool::SelectTool(DrawableScene& scene) : _scene(&scene), _picker(new analysis::RayPicker), _picked(nullptr) {}

SelectTool::SelectTool(DrawableScene* scene) : _scene(scene), _picker(new analysis::RayPicker), _picked(nullptr) {}

SelectTool::~SelectTool() = default;

std::string SelectTool::pickRay3D(SceneCanvasRenderer* renderer, const double tip[3], const double direction[3],
                                  double length, double& hitDistance, double tolerance, vtkPropCollection* candidates) {
  return pickRay3D(renderer ? renderer->getVTKRenderer() : nullptr, tip, direction, length, hitDistance, tolerance,
                   candidates);
}

std::string SelectTool::pickRay3D(vtkRenderer* renderer, const double tip[3], const double direction[3], double length,
                                  double& hitDistance, double tolerance, vtkPropCollection* candidates) {
  _picked = nullptr;
  if (!renderer && !candidates) return std::string();
  // Without candidates: the drawables the user sees (not the tools' or analysis props).
  vtkNew<vtkPropCollection> drawables;
  if (!candidates) {
    vtkPropCollection* props = renderer->GetViewProps();
    vtkCollectionSimpleIterator it;
    props->InitTraversal(it);
    while (vtkProp* prop = props->GetNextProp(it)) {
      if (DrawableProp::SafeDownCast(prop) && prop->GetVisibility() && prop->GetPickable()) drawables->AddItem(prop);
    }
    candidates = drawables;
  }
  analysis::RayHit hit;
  if (!_picker->pick(renderer, tip, direction, length, tolerance, candidates, hit)) return std::string();
  _picked = hit.prop;
  hitDistance = hit.distance;
  if (auto* drawable = DrawableProp::SafeDownCast(hit.prop)) return drawable->GetDrawableName();
  return std::string();
}

}  // namespace kvg
