#pragma once
// A flat, textured, multi-page panel hung on a hand controller: the palette, the quick-start
// pages, the tool icons, the laser spot and the touch-pad labels. One quad (a plane source)
// drawn unlit through the actor, textured with its current page, placed each frame relative to
// the controller pose. It keeps its own unit frame (normal, width and height directions) so
// callers can intersect rays with it without asking the renderer.
//
// Touched only by the thread that currently works on the owning interaction state (the
// back-buffer updater while it builds, the render thread each frame); no lock.
#include <vector>

#include <vtkSmartPointer.h>

#include "MarkerProp.h"
#include "kvg/Ref.h"

class vtkPlaneSource;
class vtkPolyDataMapper;
class vtkTexture;
class vtkTransform;

class VirtualPostIt : public MarkerProp {
 public:
  using TextureList = std::vector<vtkSmartPointer<vtkTexture>>;

  VirtualPostIt();
  ~VirtualPostIt() override;
  VirtualPostIt(const VirtualPostIt&) = delete;
  VirtualPostIt& operator=(const VirtualPostIt&) = delete;

  static kvg::Ref<VirtualPostIt> create();

  // The quad origin (0, 0, 0), point 1 (0, 0, 1), point 2 (0, 1, 0), pivot 0. The mapper draws
  // it (the palette passes its painter); null gives a plain poly-data mapper. A null renderer
  // builds without adding the actor. Always true.
  bool build(vtkRenderer* renderer, const TextureList& pages, vtkPolyDataMapper* mapper = nullptr);
  bool build(vtkRenderer* renderer, const TextureList& pages, const double point1[3], const double point2[3],
             const double origin[3], const double pivot[3], vtkPolyDataMapper* mapper = nullptr);

  // Stores the page; a page outside 0 .. count-1 hides the panel and keeps its texture. A valid
  // page never shows a hidden panel.
  void setPage(int page);
  // New page textures for the built panel; the page, visibility and placement stay.
  void setPageTextures(const TextureList& pages);
  int page() const { return _pageIndex; }
  int pageCount() const { return static_cast<int>(_pageTextures.size()); }

  void setSize(const double point1[3], const double point2[3], const double origin[3]);
  // Rotation Rz(a2) . Rx(a1) . Ry(a0) (degrees): a point turns about y first.
  void setOrientation(double a0, double a1, double a2);
  // Turns the plane's own normal onto the direction (normalised here); a direction opposite
  // the normal turns the panel half round, one without length or not finite is ignored.
  void alignTo(const double direction[3]);
  // Recomputes the three unit vectors from the plane and the orientation.
  void updateAxes();

  void getNormal(double out[3]) const;
  void getHorizontalAxis(double out[3]) const;
  void getVerticalAxis(double out[3]) const;
  const double* normal() const { return _normal; }
  const double* horizontalAxis() const { return _horizontalAxis; }
  const double* verticalAxis() const { return _verticalAxis; }
  const double* orientation() const { return _orientation; }
  // The plane's corners as built or last sized.
  void getCorners(double point1[3], double point2[3], double origin[3]) const;

  // Offset added to the controller position when the panel is placed.
  void setPosition(const double offset[3]);
  void position(double out[3]) const;
  const double* positionOffset() const { return _positionOffset; }
  void setPivot(const double pivot[3]);
  const double* pivot() const { return _pivot; }
  void setTranslucencyMode(int mode);

  // Page (with the same texture-or-hide rule), visibility, colours and ambient coefficient,
  // orientation and position offset of the other panel; the unit vectors are then recomputed
  // from this panel's own plane, so what it reports matches what it draws.
  void copyFrom(const VirtualPostIt& other);

  // User matrix := W x [R with translation p + offset] x (orientation about the pivot). W and R
  // row-major 4x4, p the controller position.
  void updatePose(const double world[16], const double rotation[16], const double position[3]);

 private:
  void updatePlane();

  vtkPlaneSource* _planeSource;
  TextureList _pageTextures;
  int _pageIndex = 0;
  double _normal[3] = {0.0, 0.0, 0.0};
  double _horizontalAxis[3] = {0.0, 0.0, 0.0};
  double _verticalAxis[3] = {0.0, 0.0, 0.0};
  double _positionOffset[3] = {0.0, 0.0, 0.0};
  double _pivot[3] = {0.0, 0.0, 0.0};
  vtkTransform* _transform;
  double _orientation[16] = {};
};
