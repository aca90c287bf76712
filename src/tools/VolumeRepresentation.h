#pragma once
// An axis-aligned box drawn as six flat picture frames, one on each face, so that its outline
// reads as thick lit edges while the faces stay open: the outline of a volume-rendered region
// while volume rendering is off, and the selection box round a participant's head. Held
// through kvg::Ptr or embedded; touched only by the thread that drives its interaction state.
#include "MarkerProp.h"

class vtkCubeSource;

class VolumeRepresentation : public MarkerProp {
 public:
  static constexpr int PointCount = 96;
  static constexpr int QuadCount = 24;

  VolumeRepresentation();
  ~VolumeRepresentation() override;
  VolumeRepresentation(const VolumeRepresentation&) = delete;
  VolumeRepresentation& operator=(const VolumeRepresentation&) = delete;

  // Frames of width thickness x (xmax - xmin) round the box (xmin, xmax, ymin, ymax, zmin,
  // zmax): outside the box, or inside its faces when inside is true. Grey lit material; the
  // actor goes into the renderer (none for null). Always true.
  bool build(vtkRenderer* renderer, const double bounds[6], double thickness, bool inside);
  // Diffuse, then ambient colour.
  void setColor(const double rgb[3]);

  // The region of the last build without drawing anything (the volume box compares it).
  void setBounds(const double bounds[6]);
  const double* getBounds() const { return _bounds; }

 private:
  vtkCubeSource* _cubeSource;
  double _bounds[6];
};
