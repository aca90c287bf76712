#pragma once
// Marker of an iso value at a controller. Held through kvg::Ptr; touched only by the thread
// that drives its interaction state. Its drawn shape (a pointer along the tool direction)
// follows the angle it was created with, so a changed "toolsAngle" asks for a new marker.
#include "MarkerProp.h"
#include "kvg/Ptr.h"

class vtkRenderer;

class IsoValueMarker : public MarkerProp {
 public:
  IsoValueMarker();
  ~IsoValueMarker() override;
  IsoValueMarker(const IsoValueMarker&) = delete;
  IsoValueMarker& operator=(const IsoValueMarker&) = delete;

  // A new marker built for the current "toolsAngle", hidden, its actor in the renderer (the
  // render window's "vrModels" layer).
  static kvg::Ptr<IsoValueMarker> create(vtkRenderer* renderer);
  // The "toolsAngle" the marker was built with.
  double value() const { return _toolsAngle; }
  void setColor(const double rgb[3]);
  // The actor's user matrix: model matrix x (pose moved to position + the marker's offset).
  void updateTransform(const double modelMatrix[16], const double pose[16], const double position[3]);
  void setOffset(const double offset[3]);

 private:
  double _toolsAngle = 0.0;
  double _offset[3] = {0.0, 0.0, 0.0};
};
