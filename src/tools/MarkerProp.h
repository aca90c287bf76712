#pragma once
// What every scene marker and every tool drawn on a controller shares: a scene-graph object
// drawn through one VR actor, whose visibility, colour and presence in a renderer are the
// actor's. Held through kvg::Ptr or embedded in its owner; touched only by the thread that
// drives its interaction state.
#include "kvg/Object.h"

class OpenVRActor;
class vtkRenderer;
class vtkWindow;

class MarkerProp : public kvg::Object {
 public:
  MarkerProp(const MarkerProp&) = delete;
  MarkerProp& operator=(const MarkerProp&) = delete;

  void setVisibility(bool visible);
  bool getVisibility() const;
  // Nothing for a null renderer.
  void removeFromRenderer(vtkRenderer* renderer);
  // Ambient and diffuse colour of the actor's material.
  void setColor(const double rgb[3]);
  const double* getColor() const;
  // The actor's GL resources in the window's context (render thread, that context current).
  void releaseGraphicsResources(vtkWindow* window);
  OpenVRActor* getActor() const { return _actor; }
  // The actor's user matrix (created when it has none), column after column as VTK's.
  void setUserMatrix(const double matrix[16]);

 protected:
  MarkerProp();
  ~MarkerProp() override;

  OpenVRActor* _actor;
};
