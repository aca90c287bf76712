#pragma once
// Applies a scene's clip planes to every actor and volume of a renderer (descending into
// assemblies). VTK's mappers take at most six clipping planes; the first six of the
// collection are applied, in order, and the rest are left out rather than dropped by the
// mapper with an error each frame.
#include <vtkSmartPointer.h>

class vtkPlaneCollection;
class vtkProp;
class vtkRenderer;

namespace kvg {
namespace analysis {

class ClipPlaneSync {
 public:
  static constexpr int MaxPlanes = 6;

  ClipPlaneSync();
  ~ClipPlaneSync();

  // Every actor and volume of the renderer gets the first MaxPlanes planes of `planes`;
  // null or empty removes the clipping. Cheap when nothing changed: run it every frame.
  // `skip` (and its parts) is left alone: its owner clips it itself.
  void apply(vtkRenderer* renderer, vtkPlaneCollection* planes, vtkProp* skip = nullptr);
  // The collection handed to the mappers (never more than MaxPlanes planes).
  vtkPlaneCollection* applied() const { return _applied; }

 private:
  void applyTo(vtkProp* prop, vtkPlaneCollection* planes);

  vtkSmartPointer<vtkPlaneCollection> _applied;
};

}  // namespace analysis
}  // namespace kvg
