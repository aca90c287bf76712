#pragma once
// A laser beam leaving a hand controller: a thin capped cylinder drawn unlit in one colour,
// its direction fixed in the controller's frame, placed each frame from the controller pose.
// The beam covers the distances offset .. offset + length from the controller origin.
//
// Touched only by the thread that currently works on the owning interaction state; no lock.
#include "MarkerProp.h"

class vtkCylinderSource;
class vtkTransform;

class Cylinder : public MarkerProp {
 public:
  Cylinder();
  ~Cylinder() override;
  Cylinder(const Cylinder&) = delete;
  Cylinder& operator=(const Cylinder&) = delete;

  // Builds the beam (unit height along z, the given radius, colour "laserColorRGB") and adds
  // it to the renderer (none for a null renderer).
  void setup(vtkRenderer* renderer, double length, double radius);
  // setup with "defaultLaserLength" (10) and "defaultLaserRadius" (0.001).
  void setupDefault(vtkRenderer* renderer);
  // User matrix := M x [R | p] x (scale, shift and turn of the beam).
  void update(const double world[16], const double rotation[16], const double position[3]);

  void setLength(double length) { _length = length; }
  double length() const { return _length; }
  void setOffset(double offset) { _offset = offset; }
  double offset() const { return _offset; }
  // Normalised here; a direction without length or not finite is ignored.
  void setDirection(const double direction[3]);
  const double* direction() const { return _direction; }
  // "defaultLaserLength".
  void resetLength();
  // Forward, tilted down by "laserAngle" degrees (default 20).
  void resetDirection();
  // Visibility, length, direction and colour of the other beam.
  void copyFrom(const Cylinder& other);

 private:
  vtkCylinderSource* _source;
  vtkTransform* _transform;
  double _length = 0.0;
  double _offset = 0.0;
  double _referenceDirection[3] = {0.0, 0.0, -1.0};
  double _direction[3] = {0.0, 0.0, -1.0};
};

// The beam direction in the controller's frame from "laserAngle": (0, -sin a, -cos a).
void LaserDirectionFromAngle(double direction[3]);
