#pragma once
// The camera of every VR view: one per interaction state, active in the render window's three
// layers and the scene's model renderer. It keeps, per eye, the eye's offset from the head,
// the headset's projection and the eye's model-view matrix, takes its placement from the head
// pose and the navigation matrix every frame, and renders each eye pass with the headset's
// projection. Used on the render thread and on the back-buffer updater thread, never on both
// at once for the same buffer.
//
// Per-eye arrays are indexed by VTK's left-eye flag: element 1 is the left eye, element 0 the
// right eye.
#include <vtkNew.h>
#include <vtkOpenGLCamera.h>

class vtkMatrix4x4;
class vtkTransform;

class OpenVRCamera : public vtkOpenGLCamera {
 public:
  static OpenVRCamera* New();
  vtkTypeMacro(OpenVRCamera, vtkOpenGLCamera);
  void PrintSelf(ostream& os, vtkIndent indent) override;

  // One call per renderer and eye pass: viewport and scissor over the whole eye target, the
  // clear of an erasing renderer, and the eye's projection as the explicit projection.
  void Render(vtkRenderer* renderer) override;
  // The per-eye matrices VTK's mappers draw with: eye offset x model-view, and the headset's
  // projection; computed afresh for each eye pass.
  void GetKeyMatrices(vtkRenderer* renderer, vtkMatrix4x4*& wcvc, vtkMatrix3x3*& normal, vtkMatrix4x4*& vcdc,
                      vtkMatrix4x4*& wcdc) override;
  // scaledEyeOffset[eye] x model-view of the current eye (by the left-eye flag).
  virtual vtkMatrix4x4* ComputeEyeModelViewMatrix();

  // Places the camera: rotation (upper 3x3 and last row used) and position give the head pose
  // in the room, navigation (row-major 4x4) maps the room into the scene.
  void setFromPose(const double rotation[16], const double position[3], const double navigation[16]);
  // The placement last applied, row-major; returns out.
  double* getPoseMatrix(double out[16]);
  // True when, for either eye, some of the eight homogeneous corners (8 x 4), placed by world
  // (row-major 4x4), lands with |x|, |y| <= margin |w| and |z| <= |w|.
  bool isBoxInView(const double corners[8][4], const double world[16], double margin);

  vtkMatrix4x4* eyeOffset(int eye) { return _eyeOffset[eye]; }
  vtkMatrix4x4* scaledEyeOffset(int eye) { return _scaledEyeOffset[eye]; }
  vtkMatrix4x4* projection(int eye) { return _projection[eye]; }
  vtkMatrix4x4* eyeModelView(int eye) { return _eyeModelView[eye]; }

 protected:
  OpenVRCamera();
  ~OpenVRCamera() override;

 private:
  OpenVRCamera(const OpenVRCamera&) = delete;
  void operator=(const OpenVRCamera&) = delete;

  int eyeIndex() { return GetLeftEye() ? 1 : 0; }

  vtkNew<vtkMatrix4x4> _eyeOffset[2];
  vtkNew<vtkMatrix4x4> _scaledEyeOffset[2];
  vtkNew<vtkMatrix4x4> _projection[2];
  vtkNew<vtkMatrix4x4> _eyeModelView[2];
  vtkNew<vtkTransform> _pose;
};

// The clipping range (0.2, 1000) x scale and each eye's projection from the headset for it;
// the eye offsets scaled by scale. Takes the render lock around the headset calls; without a
// headset system interface the projections stay as they were.
void updateHmdProjection(OpenVRCamera* camera, double scale);
// The eye offsets from the headset (the negated eye-to-head translations; the eye rotation is
// not used), then updateHmdProjection with scale 1. Holds the render lock throughout.
void updateEyeMatrices(OpenVRCamera* camera);
