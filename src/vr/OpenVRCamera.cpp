#include "OpenVRCamera.h"

#include <vtk_glew.h>

#include <openvr.h>

#include <cmath>

#include <vtkMatrix3x3.h>
#include <vtkMatrix4x4.h>
#include <vtkObjectFactory.h>
#include <vtkOpenGLRenderWindow.h>
#include <vtkOpenGLState.h>
#include <vtkRenderer.h>
#include <vtkTransform.h>

#include "RenderLock.h"

vtkStandardNewMacro(OpenVRCamera);

namespace {

// The headset eye that feeds element e of the per-eye arrays.
vr::EVREye headsetEye(int e) { return e == 0 ? vr::Eye_Right : vr::Eye_Left; }

void copyRowMajor(const double in[16], vtkMatrix4x4* out) {
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) out->SetElement(r, c, in[r * 4 + c]);
}

}  // namespace

OpenVRCamera::OpenVRCamera() = default;
OpenVRCamera::~OpenVRCamera() = default;

void OpenVRCamera::Render(vtkRenderer* renderer) {
  if (!renderer) return;
  auto* window = vtkOpenGLRenderWindow::SafeDownCast(renderer->GetRenderWindow());
  if (!window) return;
  const int* size = window->GetSize();
  vtkOpenGLState* state = window->GetState();
  // Each eye pass covers the whole eye target; the renderer's own viewport is not used.
  state->vtkglViewport(0, 0, size[0], size[1]);
  state->vtkglScissor(0, 0, size[0], size[1]);
  if (window->GetErase() && renderer->GetErase() && renderer->GetSelector() == nullptr) {
    renderer->Clear();
    state->vtkglClearColor(1.0f, 1.0f, 1.0f, 1.0f);
    state->vtkglClear(GL_COLOR_BUFFER_BIT);
  }
  UseExplicitProjectionTransformMatrixOn();
  SetExplicitProjectionTransformMatrix(_projection[eyeIndex()]);
}

vtkMatrix4x4* OpenVRCamera::ComputeEyeModelViewMatrix() {
  const int i = eyeIndex();
  vtkMatrix4x4::Multiply4x4(_scaledEyeOffset[i], GetModelViewTransformMatrix(), _eyeModelView[i]);
  return _eyeModelView[i];
}

void OpenVRCamera::GetKeyMatrices(vtkRenderer* renderer, vtkMatrix4x4*& wcvc, vtkMatrix3x3*& normal,
                                  vtkMatrix4x4*& vcdc, vtkMatrix4x4*& wcdc) {
  // No caching: the same camera serves both eyes with different matrices.
  vtkMatrix4x4* eyeView = ComputeEyeModelViewMatrix();
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) NormalMatrix->SetElement(r, c, eyeView->GetElement(r, c));
  NormalMatrix->Invert();
  // VTK keeps these transposed (column vectors become rows for the shaders).
  WCVCMatrix->DeepCopy(eyeView);
  WCVCMatrix->Transpose();
  VCDCMatrix->DeepCopy(_projection[eyeIndex()]);
  VCDCMatrix->Transpose();
  vtkMatrix4x4::Multiply4x4(WCVCMatrix, VCDCMatrix, WCDCMatrix);
  KeyMatrixTime.Modified();
  LastRenderer = renderer;
  wcvc = WCVCMatrix;
  normal = NormalMatrix;
  vcdc = VCDCMatrix;
  wcdc = WCDCMatrix;
}

void OpenVRCamera::setFromPose(const double rotation[16], const double position[3], const double navigation[16]) {
  SetFocalPoint(0, 0, -1);
  SetPosition(0, 0, 0);
  SetViewUp(0, 1, 0);
  double head[16];
  for (int i = 0; i < 16; ++i) head[i] = rotation[i];
  head[3] = position[0];
  head[7] = position[1];
  head[11] = position[2];
  vtkNew<vtkMatrix4x4> headMatrix, navigationMatrix, placed;
  copyRowMajor(head, headMatrix);
  copyRowMajor(navigation, navigationMatrix);
  vtkMatrix4x4::Multiply4x4(navigationMatrix, headMatrix, placed);
  _pose->Identity();
  _pose->Concatenate(placed);
  ApplyTransform(_pose);
}

double* OpenVRCamera::getPoseMatrix(double out[16]) {
  _pose->Update();
  vtkMatrix4x4* m = _pose->GetMatrix();
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) out[r * 4 + c] = m->GetElement(r, c);
  return out;
}

bool OpenVRCamera::isBoxInView(const double corners[8][4], const double world[16], double margin) {
  vtkNew<vtkMatrix4x4> worldMatrix, eye, projected, full;
  copyRowMajor(world, worldMatrix);
  for (int e = 0; e < 2; ++e) {
    vtkMatrix4x4::Multiply4x4(_scaledEyeOffset[e], GetModelViewTransformMatrix(), eye);
    vtkMatrix4x4::Multiply4x4(_projection[e], eye, projected);
    vtkMatrix4x4::Multiply4x4(projected, worldMatrix, full);
    for (int i = 0; i < 8; ++i) {
      double o[4];
      full->MultiplyPoint(corners[i], o);
      const double w = std::fabs(o[3]);
      if (std::fabs(o[0]) <= margin * w && std::fabs(o[1]) <= margin * w && std::fabs(o[2]) <= w) return true;
    }
  }
  return false;
}

void updateHmdProjection(OpenVRCamera* camera, double scale) {
  if (!camera) return;
  // A scale that is not a positive number would give an empty or inverted clipping range.
  if (!(scale > 1e-6) || !std::isfinite(scale)) scale = scale > 1e-6 ? 1e6 : 1e-6;
  camera->SetClippingRange(0.2 * scale, 1000.0 * scale);
  const double* range = camera->GetClippingRange();
  for (int e = 0; e < 2; ++e) {
    vr::HmdMatrix44_t m;
    bool have = false;
    {
      Lock::AutoLock lock(GetRenderLock());
      if (vr::IVRSystem* system = vr::VRSystem()) {
        m = system->GetProjectionMatrix(headsetEye(e), static_cast<float>(range[0]), static_cast<float>(range[1]));
        have = true;
      }
    }
    if (have) {
      vtkMatrix4x4* p = camera->projection(e);
      for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) p->SetElement(r, c, static_cast<double>(m.m[r][c]));
      p->Modified();
    }
    vtkMatrix4x4* offset = camera->eyeOffset(e);
    vtkMatrix4x4* scaled = camera->scaledEyeOffset(e);
    for (int r = 0; r < 3; ++r) scaled->SetElement(r, 3, offset->GetElement(r, 3) * scale);
  }
}

void updateEyeMatrices(OpenVRCamera* camera) {
  if (!camera) return;
  Lock::AutoLock lock(GetRenderLock());
  if (vr::IVRSystem* system = vr::VRSystem()) {
    for (int e = 0; e < 2; ++e) {
      const vr::HmdMatrix34_t m = system->GetEyeToHeadTransform(headsetEye(e));
      vtkMatrix4x4* scaled = camera->scaledEyeOffset(e);
      scaled->Identity();
      for (int r = 0; r < 3; ++r) scaled->SetElement(r, 3, static_cast<double>(-m.m[r][3]));
      camera->eyeOffset(e)->DeepCopy(scaled);
      camera->eyeOffset(e)->Modified();
    }
  }
  updateHmdProjection(camera, 1.0);
}

void OpenVRCamera::PrintSelf(ostream& os, vtkIndent indent) {
  vtkOpenGLCamera::PrintSelf(os, indent);
  for (int e = 0; e < 2; ++e) {
    os << indent << (e ? "Left" : "Right") << " eye offset: (" << _scaledEyeOffset[e]->GetElement(0, 3) << ", "
       << _scaledEyeOffset[e]->GetElement(1, 3) << ", " << _scaledEyeOffset[e]->GetElement(2, 3) << ")\n";
  }
}
