#include "AnalysisVolume.h"

#include "AnalysisPipeline.h"

#include <vtkMatrix3x3.h>
#include <vtkMatrix4x4.h>
#include <vtkObjectFactory.h>
#include <vtkOpenGLCamera.h>
#include <vtkRenderer.h>

namespace kvg {
namespace analysis {

namespace {

// A camera that is what it says (a vtkOpenGLCamera) and hands out the matrices of the camera it
// stands in for.
class StandInCamera : public vtkOpenGLCamera {
 public:
  static StandInCamera* New();
  vtkTypeMacro(StandInCamera, vtkOpenGLCamera);

  void Follow(vtkOpenGLCamera* camera) {
    this->Original = camera;
    this->DeepCopy(camera);
  }

  void GetKeyMatrices(vtkRenderer* ren, vtkMatrix4x4*& wcvc, vtkMatrix3x3*& normMat, vtkMatrix4x4*& vcdc,
                      vtkMatrix4x4*& wcdc) override {
    if (this->Original) {
      this->Original->GetKeyMatrices(ren, wcvc, normMat, vcdc, wcdc);
    } else {
      this->Superclass::GetKeyMatrices(ren, wcvc, normMat, vcdc, wcdc);
    }
  }

 protected:
  StandInCamera() = default;

 private:
  vtkOpenGLCamera* Original = nullptr;
};
vtkStandardNewMacro(StandInCamera);

}  // namespace

vtkStandardNewMacro(AnalysisVolume);

AnalysisVolume::AnalysisVolume() = default;
AnalysisVolume::~AnalysisVolume() = default;

int AnalysisVolume::RenderVolumetricGeometry(vtkViewport* viewport) {
  // The ray caster's helper pipelines must run even on a thread whose updates are frozen.
  ThawedUpdates thawed;
  auto* renderer = vtkRenderer::SafeDownCast(viewport);
  vtkCamera* camera = renderer ? renderer->GetActiveCamera() : nullptr;
  if (!camera || camera->IsA("vtkOpenGLCamera")) return this->Superclass::RenderVolumetricGeometry(viewport);
  auto* openGL = dynamic_cast<vtkOpenGLCamera*>(camera);
  if (!openGL) return 0;  // nothing an OpenGL mapper could draw with
  if (!this->StandIn) this->StandIn = vtkSmartPointer<StandInCamera>::New();
  static_cast<StandInCamera*>(this->StandIn.Get())->Follow(openGL);
  // Keep the original alive while the renderer holds the stand-in.
  vtkSmartPointer<vtkCamera> original = camera;
  renderer->SetActiveCamera(this->StandIn);
  const int drawn = this->Superclass::RenderVolumetricGeometry(viewport);
  renderer->SetActiveCamera(original);
  return drawn;
}

void AnalysisVolume::PrintSelf(ostream& os, vtkIndent indent) {
  this->Superclass::PrintSelf(os, indent);
  os << indent << "StandIn: " << (this->StandIn ? "in use" : "none") << "\n";
}

}  // namespace analysis
}  // namespace kvg
