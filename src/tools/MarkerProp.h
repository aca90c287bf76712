#pragma once
// What every scene marker shares: a scene-graph object drawn through one VR actor, whose
// visibility and presence in a renderer are the actor's. Held through kvg::Ptr; touched only
// by the thread that drives its interaction state.
#include "kvg/Object.h"

class OpenVRActor;
class vtkRenderer;

class MarkerProp : public kvg::Object {
 public:
  MarkerProp(const MarkerProp&) = delete;
  MarkerProp& operator=(const MarkerProp&) = delete;

  void setVisibility(bool visible);
  bool getVisibility() const;
  // Nothing for a null renderer.
  void removeFromRenderer(vtkRenderer* renderer);
  OpenVRActor* getActor() const { return _actor; }

 protected:
  MarkerProp();
  ~MarkerProp() override;

  OpenVRActor* _actor;
};
