#pragma once
// A head-fixed curved panel: a band of a vertical cylinder around the head on which a texture
// shows over a limited arc (the rest of the band shows the texture's transparent border). Four
// per interaction state: the HUD, the "updating", fly-mode and link icons. Built at the VR
// start-up of a scene, placed at the head every frame; used by the thread that drives its
// interaction state.
#include <vtkSmartPointer.h>

#include "OpenVRActor.h"
#include "OpenVRTexture.h"

class vtkCylinderSource;
class vtkRenderer;
class vtkTransform;
class vtkTransformTextureCoords;

class HudOverlay {
 public:
  HudOverlay();
  ~HudOverlay();
  HudOverlay(const HudOverlay&) = delete;
  HudOverlay& operator=(const HudOverlay&) = delete;

  // The band of height h and radius r around the origin with the texture, unlit, added to the
  // renderer. True.
  bool build(vtkRenderer* renderer, OpenVRTexture* texture, double height, double radius);
  // Shows or hides the panel; a shown one is placed at the head pose, d times as far away
  // (its texture scale follows d, so its angular size stays). A panel whose image is wholly
  // transparent draws nothing; one whose image has no partial transparency draws as opaque.
  void update(const double headPose[16], bool visible, double distance);
  // The texture's image is uploaded again at its next render.
  void requestTextureUpload();

  OpenVRActor* actor() const { return _actor; }
  OpenVRTexture* texture() const { return _texture; }
  double distance() const { return _distance; }

 private:
  OpenVRActor* _actor;
  vtkCylinderSource* _cylinder;
  vtkSmartPointer<OpenVRTexture> _texture;
  vtkTransform* _transform;
  vtkTransformTextureCoords* _texCoordTransform;
  double _distance = 1.0;
  vtkMTimeType _classifiedImageTime = 0;  // the texture image's time when its alpha was looked at
};

// Visibility of the overlay's actor.
void setPropVisible(HudOverlay& overlay, bool visible);
// The overlay's actor takes the other overlay's visibility.
void copyPropVisibility(HudOverlay& overlay, const HudOverlay& other);
