#pragma once
// A textured, unlit square in the scene that marks a clip plane or a plane section. Held
// through kvg::Ptr; touched only by the thread that drives its interaction state.
#include <vtkSmartPointer.h>

#include "MarkerProp.h"

class vtkPlaneSource;
class vtkRenderer;
class vtkTexture;
class vtkTransform;

class ClipMarker : public MarkerProp {
 public:
  ClipMarker();
  ~ClipMarker() override;
  ClipMarker(const ClipMarker&) = delete;
  ClipMarker& operator=(const ClipMarker&) = delete;

  // Stores the textures, draws the square unlit with texture 0, places it and adds it to the
  // renderer. True.
  bool createTextured(vtkRenderer* renderer, const double center[3], const double up[3], const double right[3],
                      double size, vtkTexture* texture0, vtkTexture* texture1);
  // createTextured with the other marker's geometry and the given textures: a marker of the
  // other render buffer draws its own, since a texture's GL wrapper belongs to one window.
  bool createFrom(vtkRenderer* renderer, const ClipMarker& other, vtkTexture* texture0, vtkTexture* texture1);
  // The square with edges up x size and right x size about the centre; nothing when all ten
  // values equal the stored ones as single-precision floats.
  void setGeometry(const double center[3], const double up[3], const double right[3], double size);
  // setGeometry with the other marker's stored values.
  void setGeometryAlt(const ClipMarker& source);
  // 0 normal look, 1 highlighted; other values are only stored.
  void selectTexture(int index);
  int getTextureIndex() const { return _textureIndex; }
  // Scales the drawn square about its own centre (the stored geometry stays).
  void scaleAboutCenter(double factor);
  const double* getCenter() const { return _center; }
  const double* getUp() const { return _up; }
  const double* getRight() const { return _right; }
  double getSize() const { return _size; }

 private:
  int _textureIndex = 0;
  vtkPlaneSource* _plane;
  vtkTransform* _transform;
  vtkSmartPointer<vtkTexture> _textures[2];
  double _center[3] = {0.0, 0.0, 0.0};
  double _up[3] = {0.0, 0.0, 0.0};
  double _right[3] = {0.0, 0.0, 0.0};
  double _size = 0.0;
};
