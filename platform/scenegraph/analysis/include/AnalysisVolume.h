#pragma once
// The volume prop of the analysis. VTK's GPU ray caster takes the renderer's active camera as a
// vtkOpenGLCamera through SafeDownCast and crashes when that fails; a VR camera that derives
// from vtkOpenGLCamera but answers the type check for vtkCamera only (as the program's VR
// camera does) would take the process down. This prop then draws through a stand-in camera
// that answers honestly, copies the active camera's state and asks it for its matrices, so
// each eye still gets its own view. It also draws with the calling thread's pipeline updates
// running (ThawedUpdates, AnalysisPipeline.h), which the ray caster's helper pipelines need.
#include <vtkSmartPointer.h>
#include <vtkCamera.h>
#include <vtkVolume.h>

namespace kvg {
namespace analysis {

class AnalysisVolume : public vtkVolume {
 public:
  static AnalysisVolume* New();
  vtkTypeMacro(AnalysisVolume, vtkVolume);
  void PrintSelf(ostream& os, vtkIndent indent) override;

  // Runs on the thread that renders the viewport.
  int RenderVolumetricGeometry(vtkViewport* viewport) override;

 protected:
  AnalysisVolume();
  ~AnalysisVolume() override;

 private:
  AnalysisVolume(const AnalysisVolume&) = delete;
  void operator=(const AnalysisVolume&) = delete;

  vtkSmartPointer<vtkCamera> StandIn;
};

}  // namespace analysis
}  // namespace kvg
