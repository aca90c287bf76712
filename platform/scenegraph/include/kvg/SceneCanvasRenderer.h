#pragma once
// The model renderer of a drawable scene: draws the canvas's drawables, on a window layer of
// its own (1 or more), clipped by the canvas's clip planes.
#include <vtkPlaneCollection.h>

#include "kvg/SceneCanvas.h"
#include "kvg/SceneRenderer.h"

namespace kvg {

class SceneCanvasRenderer : public SceneRenderer {
 public:
  SceneCanvasRenderer(const std::string& name, vtkRenderer* renderer);
  ~SceneCanvasRenderer() override;

  // The canvas this renderer shows; null before the scene found one.
  SceneCanvas* hasSceneCanvas() const { return _canvas.get(); }
  void setSceneCanvas(const Ptr<SceneCanvas>& canvas) { _canvas = canvas; }

  // The VTK clip planes every mapper of the scene uses: the canvas's own planes, refilled at
  // each scene update; the program may append planes behind them between updates.
  vtkPlaneCollection* getClippingPlanes() const { return _clippingPlanes; }

 private:
  Ptr<SceneCanvas> _canvas;
  vtkSmartPointer<vtkPlaneCollection> _clippingPlanes;
};

}  // namespace kvg
