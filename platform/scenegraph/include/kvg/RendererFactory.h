#pragma once
// Makes every VTK renderer of the drawable scenes. The OpenGL side of the scene graph installs
// its own renderer class here (fog, framebuffer utilities); without one, plain vtkRenderers.
#include <functional>
#include <string>

#include <vtkRenderer.h>
#include <vtkSmartPointer.h>

namespace kvg {

class RendererFactory {
 public:
  // name: the scene renderer's name ("Model", "Background", "Backdrop", "Orientation").
  using CreateFunction = std::function<vtkSmartPointer<vtkRenderer>(const std::string& name)>;

  static vtkSmartPointer<vtkRenderer> createRenderer(const std::string& name);
  // An empty function restores plain vtkRenderers. Set it before scenes are updated.
  static void setCreateFunction(CreateFunction function);
};

}  // namespace kvg
