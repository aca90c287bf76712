#include "kvg/SceneCanvasRenderer.h"

namespace kvg {

SceneCanvasRenderer::SceneCanvasRenderer(const std::string& name, vtkRenderer* renderer)
    : SceneRenderer(name, renderer), _clippingPlanes(vtkSmartPointer<vtkPlaneCollection>::New()) {}

SceneCanvasRenderer::~SceneCanvasRenderer() = default;

}  // namespace kvg
