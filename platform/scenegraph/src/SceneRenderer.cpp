#include "kvg/SceneRenderer.h"

namespace kvg {

SceneRenderer::SceneRenderer(const std::string& name, vtkRenderer* renderer) : _name(name), _renderer(renderer) {
  if (!_renderer) _renderer = vtkSmartPointer<vtkRenderer>::New();
}

SceneRenderer::~SceneRenderer() = default;

}  // namespace kvg
