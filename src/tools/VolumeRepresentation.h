#pragma once
// The box drawn around a volume-rendered region while volume rendering is off: each face a
// rectangular frame of four quads. Held through kvg::Ptr; touched only by the thread that
// drives its interaction state.
#include "MarkerProp.h"

class vtkRenderer;

class VolumeRepresentation : public MarkerProp {
 public:
  VolumeRepresentation();
  ~VolumeRepresentation() override;
  VolumeRepresentation(const VolumeRepresentation&) = delete;
  VolumeRepresentation& operator=(const VolumeRepresentation&) = delete;

  // Builds the six frames around the region (xmin, xmax, ymin, ymax, zmin, zmax), frame width
  // widthFactor x the x extent, lying outside the box (inside false) or inside it, and adds the
  // actor to the renderer. True.
  bool build(vtkRenderer* renderer, const double bounds[6], double widthFactor, bool inside);
  // The region (xmin, xmax, ymin, ymax, zmin, zmax) the box surrounds.
  void setBounds(const double bounds[6]);
  const double* getBounds() const { return _bounds; }
  void setColor(const double rgb[3]);

 private:
  double _bounds[6] = {0.0, 0.0, 0.0, 0.0, 0.0, 0.0};
};
