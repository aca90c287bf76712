#pragma once
// A named renderer of a drawable scene ("Model", "Background", "Backdrop", "Orientation").
#include <string>

#include <vtkRenderer.h>
#include <vtkSmartPointer.h>

namespace kvg {

class SceneRenderer {
 public:
  SceneRenderer(const std::string& name, vtkRenderer* renderer);
  virtual ~SceneRenderer();
  SceneRenderer(const SceneRenderer&) = delete;
  SceneRenderer& operator=(const SceneRenderer&) = delete;

  const std::string& getName() const { return _name; }
  // Never null.
  vtkRenderer* getVTKRenderer() const { return _renderer; }

 private:
  std::string _name;
  vtkSmartPointer<vtkRenderer> _renderer;
};

}  // namespace kvg
