#pragma once
// The box drawn around a volume-rendered region while volume rendering is off. Held through
// kvg::Ptr; touched only by the thread that drives its interaction state.
#include "MarkerProp.h"

class VolumeRepresentation : public MarkerProp {
 public:
  VolumeRepresentation();
  ~VolumeRepresentation() override;
  VolumeRepresentation(const VolumeRepresentation&) = delete;
  VolumeRepresentation& operator=(const VolumeRepresentation&) = delete;

  // The region (xmin, xmax, ymin, ymax, zmin, zmax) the box surrounds.
  void setBounds(const double bounds[6]);
  const double* getBounds() const { return _bounds; }

 private:
  double _bounds[6] = {0.0, 0.0, 0.0, 0.0, 0.0, 0.0};
};
