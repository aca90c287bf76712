#include "AnalysisAssembly.h"

#include <vtkObjectFactory.h>
#include <vtkRenderer.h>

namespace kvg {
namespace analysis {

vtkStandardNewMacro(AnalysisAssembly);

int AnalysisAssembly::RenderOpaqueGeometry(vtkViewport* viewport) {
  if (this->Prepare) {
    if (auto* renderer = vtkRenderer::SafeDownCast(viewport)) this->Prepare(renderer);
  }
  return this->Superclass::RenderOpaqueGeometry(viewport);
}

void AnalysisAssembly::PrintSelf(ostream& os, vtkIndent indent) {
  this->Superclass::PrintSelf(os, indent);
  os << indent << "PrepareCallback: " << (this->Prepare ? "set" : "none") << "\n";
}

}  // namespace analysis
}  // namespace kvg
