#pragma once
// A prop assembly that brings its parts up to date before they draw: at the start of every
// opaque pass it calls the prepare callback with the renderer, which may change, add or
// remove parts. Settings changed from another thread thus reach VTK on the thread that
// renders, and both eyes of a stereo frame draw the same parts.
#include <vtkPropAssembly.h>

#include <functional>

class vtkRenderer;

namespace kvg {
namespace analysis {

class AnalysisAssembly : public vtkPropAssembly {
 public:
  static AnalysisAssembly* New();
  vtkTypeMacro(AnalysisAssembly, vtkPropAssembly);
  void PrintSelf(ostream& os, vtkIndent indent) override;

  using PrepareCallback = std::function<void(vtkRenderer* renderer)>;
  void SetPrepareCallback(PrepareCallback callback) { this->Prepare = std::move(callback); }

  // Runs on the thread that renders the renderer.
  int RenderOpaqueGeometry(vtkViewport* viewport) override;

 protected:
  AnalysisAssembly() = default;
  ~AnalysisAssembly() override = default;

 private:
  AnalysisAssembly(const AnalysisAssembly&) = delete;
  void operator=(const AnalysisAssembly&) = delete;

  PrepareCallback Prepare;
};

}  // namespace analysis
}  // namespace kvg
