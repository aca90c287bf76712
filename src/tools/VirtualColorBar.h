#pragma once
// The colour legend shown next to a hand controller by the colour-bar tool: a thin quad whose
// colour runs along its length through the bar's own copy of the colour source, drawn unlit
// and opaque. Placed each frame from the controller pose plus an offset that slides it along
// its axis.
//
// Touched only by the thread that currently works on the owning interaction state; no lock.
#include "MarkerProp.h"

class vtkFloatArray;
class vtkLookupTable;
class vtkPlaneSource;
class vtkPolyData;
class vtkPolyDataMapper;
class vtkScalarsToColors;
class vtkTransform;
class vtkTransformPolyDataFilter;

class VirtualColorBar : public MarkerProp {
 public:
  VirtualColorBar();
  ~VirtualColorBar() override;
  VirtualColorBar(const VirtualColorBar&) = delete;
  VirtualColorBar& operator=(const VirtualColorBar&) = delete;

  // Mapper, default geometry and material; adds the actor to the renderer (none for null).
  bool create(vtkRenderer* renderer);
  // A 256 x 1 ramp quad with the corners, turned by angle degrees about the x axis through
  // its centre. Corners that span no plane (or are not finite) keep the previous geometry and
  // write "Initializing color bar failed" to the standard error stream.
  void buildGeometry(const double point1[3], const double point2[3], const double origin[3], double angle);
  // Copies the colour source into the bar (a lookup table as it is, any other colour source
  // sampled over its range), stretched over the whole bar and made opaque; null turns the
  // colouring off (plain white bar).
  void setLookupTable(vtkScalarsToColors* source);
  vtkLookupTable* lookupTable() const { return _lookupTable; }
  void setOffset(const double offset[3]);
  const double* offset() const { return _offset; }
  // User matrix := W x [R with translation p + offset].
  void updateTransform(const double world[16], const double rotation[16], const double position[3]);
  void setTranslucencyMode(int mode);

  const double* normal() const { return _normal; }
  const double* horizontalAxis() const { return _horizontalAxis; }
  const double* verticalAxis() const { return _verticalAxis; }
  vtkPolyData* rampGeometry() const { return _polyData; }

 private:
  vtkPlaneSource* _planeSource;
  vtkTransform* _transform;
  vtkPolyDataMapper* _mapper;
  vtkPolyData* _polyData;
  vtkTransformPolyDataFilter* _transformFilter;
  vtkFloatArray* _scalars;
  double _normal[3] = {1.0, 0.0, 0.0};
  double _horizontalAxis[3] = {0.0, 0.0, 1.0};
  double _verticalAxis[3] = {0.0, 1.0, 0.0};
  double _offset[3] = {0.0, 0.0, 0.0};
  vtkLookupTable* _lookupTable;
};
