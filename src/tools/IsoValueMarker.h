#pragma once
// Marker of an iso value at a controller: a thin stem with a needle tip, a ring and a ball,
// tilted like the tool by "toolsAngle". Held through kvg::Ptr; touched only by the thread that
// drives its interaction state (or avatar group). Its drawn shape follows the angle it was
// built with, so a changed "toolsAngle" asks for a new marker.
#include "MarkerProp.h"
#include "kvg/Ptr.h"

struct ControllerInput;
class vtkRenderer;

class IsoValueMarker : public MarkerProp {
 public:
  IsoValueMarker();
  ~IsoValueMarker() override;
  IsoValueMarker(const IsoValueMarker&) = delete;
  IsoValueMarker& operator=(const IsoValueMarker&) = delete;

  // A new marker built for the current "toolsAngle" with stem length "colorBarHeight" x 0.5
  // and radius "colorBarHeight" x 0.05, hidden, its actor in the renderer (the render window's
  // "vrModels" layer).
  static kvg::Ptr<IsoValueMarker> create(vtkRenderer* renderer);
  // Builds the geometry (stem length, stem radius) and adds the actor to the renderer. True.
  bool build(vtkRenderer* renderer, double length, double radius);
  // build with the other marker's stem length and radius.
  bool buildLike(vtkRenderer* renderer, const IsoValueMarker& other);
  // The "toolsAngle" the marker was built with.
  double value() const { return _toolsAngle; }
  double toolsAngle() const { return _toolsAngle; }
  double stemLength() const { return _length; }
  double stemRadius() const { return _radius; }
  // The marker's axis after the tilt: (0, cos a, sin a) with a = -toolsAngle.
  const double* axis() const { return _axis; }
  void setColor(const double rgb[3]);
  // The offset from the controller (room axes) that puts the marker just above the tool tip,
  // shifted sideways by x.
  void computeToolOffset(double x, const ControllerInput& input, int hand);
  // The actor's user matrix: model matrix x (pose moved to position + the marker's offset).
  void updateTransform(const double modelMatrix[16], const double pose[16], const double position[3]);
  void setOffset(const double offset[3]);
  const double* offset() const { return _offset; }

 private:
  double _toolsAngle = 0.0;
  double _length = 0.0;
  double _radius = 0.0;
  double _axis[3] = {0.0, 0.0, 0.0};
  double _offset[3] = {0.0, 0.0, 0.0};
};
