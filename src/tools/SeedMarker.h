#pragma once
// Marker of one particle seed point: an open cone whose base circle sits on the seed point.
// Held through kvg::Ptr; touched only by the thread that drives its interaction state.
#include "MarkerProp.h"

class vtkConeSource;
class vtkRenderer;
class vtkTransform;

class SeedMarker : public MarkerProp {
 public:
  SeedMarker();
  ~SeedMarker() override;
  SeedMarker(const SeedMarker&) = delete;
  SeedMarker& operator=(const SeedMarker&) = delete;

  // Builds the cone (base on the centre, apex at centre + direction x height), shows it and
  // adds it to the renderer. True.
  bool createActor(vtkRenderer* renderer, const double center[3], const double direction[3], double height,
                   double angle);
  // createActor with the other marker's centre and cone.
  bool createFrom(vtkRenderer* renderer, const SeedMarker& other);
  // Moves and re-shapes the cone; nothing when every value equals the current one as a
  // single-precision float.
  void setShape(const double center[3], const double direction[3], double height, double angle);
  void copyShapeFrom(const SeedMarker& other);
  const double* getCenter() const { return _center; }
  // The cone's axis from base to apex, its height and its opening angle (degrees).
  void getDirection(double direction[3]) const;
  double getHeight() const;
  double getAngle() const;
  void setColor(const double rgb[3]);
  // Scales the drawn cone about the seed point (the cone itself stays).
  void scaleAboutCenter(double factor);

 private:
  vtkTransform* _transform;
  vtkConeSource* _cone;
  double _center[3] = {0.0, 0.0, 0.0};
};
