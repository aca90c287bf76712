#pragma once
// A small image on a sphere around the user's head that points towards something outside the
// field of view (another participant): the pointer image while the target lies ahead or to the
// side, the second image while it lies behind. The owner (an avatar) sets it up once and turns
// it every frame. Touched only by the thread that drives its owner (render thread).
#include <vtkSmartPointer.h>
#include <vtkSphereSource.h>

#include "OpenVRActor.h"

class vtkRenderer;
class vtkTexture;

class DirectionMarker {
 public:
  DirectionMarker();
  ~DirectionMarker();
  DirectionMarker(const DirectionMarker&) = delete;
  DirectionMarker& operator=(const DirectionMarker&) = delete;

  // Builds the textured sphere of the radius ("directionMarkerSize" scales the image,
  // "directionMarkerAlwaysOnTop" draws it without depth test) and adds it to the renderer. True.
  bool setup(vtkRenderer* renderer, vtkTexture* pointer, vtkTexture* behind, double radius);
  // Turns the image towards the unit direction d (in the frame of the placement matrix M, the
  // viewing axis being +z): tilted "directionMarkerMaxAngle" degrees off the axis towards d, or
  // the second image at the angle left to the back when d lies within that angle behind.
  void update(const double placement[16], const double direction[3]);
  void setColor(const double rgb[3]);

  OpenVRActor* actor() const { return _actor; }
  vtkSphereSource* sphere() const { return _sphere; }
  // 0 pointer image, 1 the image for a target behind.
  int textureIndex() const { return _textureIndex; }

 private:
  vtkSmartPointer<OpenVRActor> _actor;
  vtkSmartPointer<vtkSphereSource> _sphere;
  vtkSmartPointer<vtkTexture> _textures[2];
  int _textureIndex = 0;
};
