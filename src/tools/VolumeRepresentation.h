#pragma once
// The box drawn around a volume-rendered region while volume rendering is off. Held through
// kvg::Ptr; touched only by the thread that drives its interaction state.
#include "kvg/Object.h"

class OpenVRActor;
class vtkRenderer;

class VolumeRepresentation : public kvg::Object {
 public:
  VolumeRepresentation();
  ~VolumeRepresentation() override;
  VolumeRepresentation(const VolumeRepresentation&) = delete;
  VolumeRepresentation& operator=(const VolumeRepresentation&) = delete;

  // The region (xmin, xmax, ymin, ymax, zmin, zmax) the box surrounds.
  void setBounds(const double bounds[6]);
  const double* getBounds() const { return _bounds; }
  void setVisibility(bool visible);
  bool getVisibility() const;
  // Nothing for a null renderer.
  void removeFromRenderer(vtkRenderer* renderer);
  OpenVRActor* getActor() const { return _actor; }

 private:
  OpenVRActor* _actor;
  double _bounds[6] = {0.0, 0.0, 0.0, 0.0, 0.0, 0.0};
};
