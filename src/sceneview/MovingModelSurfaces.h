#pragma once
// The big surfaces of one render buffer's model, drawn as reduced copies while the model moves.
// Each frame in which the model moved (a hand drags it, the pad flies or dollies it), every
// surface drawable of the model renderer with more than "movingSurfaceTriangles" triangles
// whose reduced copy is ready is drawn from a mapper of its own on that copy; in every other
// frame nothing is swapped, so a still model is drawn exactly as without this. The swap lasts
// only while the eyes are drawn: picking, bounds and the part widgets always see the full
// surface.
//
// Threads: the render thread, on the buffer it shows; the reductions come from the view's
// SurfaceReduction. The object holds no GL resources of its own beyond its mappers, which are
// released with the props' renderer (make the buffer's context current before destroying it).
#include <memory>
#include <vector>

#include <vtkSmartPointer.h>
#include <vtkWeakPointer.h>

#include "SurfaceReduction.h"

class vtkActor;
class vtkMapper;
class vtkPolyData;
class vtkPolyDataMapper;
class vtkRenderer;
class vtkWindow;

class MovingModelSurfaces {
 public:
  explicit MovingModelSurfaces(SurfaceReduction& reduction) : _reduction(reduction) {}
  ~MovingModelSurfaces();
  MovingModelSurfaces(const MovingModelSurfaces&) = delete;
  MovingModelSurfaces& operator=(const MovingModelSurfaces&) = delete;

  // Surfaces with more triangles than this are reduced to about this many; 0 reduces none.
  void setTriangleLimit(vtkIdType limit) { _limit = limit; }
  vtkIdType triangleLimit() const { return _limit; }

  // Render thread, before the eyes are drawn: asks for the reduced copies of big surfaces new to
  // the renderer and, when the model moved in this frame, swaps in those that are ready. The
  // number of surfaces swapped in.
  int beginFrame(vtkRenderer* modelRenderer, bool modelMoved);
  // Render thread, after the eyes: every swapped actor has its full mapper back.
  void endFrame();

  // Render thread or back-buffer updater, the buffer's context current: the copies' mappers
  // let go of their buffers in that context.
  void releaseGraphicsResources(vtkWindow* window);

  // How many big surfaces are followed, and how many of their copies are ready.
  size_t surfaceCount() const { return _surfaces.size(); }
  size_t readyCount() const;

  // The full mapper's colouring, clipping and drawing settings onto the copy's mapper (setters
  // that leave an unchanged value unmodified, so the copy's buffers are built once).
  static void copyMapperSettings(vtkPolyDataMapper* from, vtkPolyDataMapper* to);

 private:
  struct Surface {
    vtkWeakPointer<vtkActor> actor;
    vtkWeakPointer<vtkPolyDataMapper> fullMapper;
    vtkWeakPointer<vtkPolyData> fullData;
    std::shared_ptr<const SurfaceReduction::Result> reduction;
    vtkSmartPointer<vtkPolyDataMapper> reducedMapper;
    bool seen = false;
  };

  SurfaceReduction& _reduction;
  vtkIdType _limit = 0;
  std::vector<Surface> _surfaces;
  // Actors drawing a copy in this frame, with the full mapper they give back.
  std::vector<std::pair<vtkSmartPointer<vtkActor>, vtkSmartPointer<vtkMapper>>> _swapped;
};
