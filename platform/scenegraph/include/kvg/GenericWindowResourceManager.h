#pragma once
// The render window a drawable scene draws into, and what the scene needs of it: its OpenGL
// context and room for the scene's renderers.
#include <vtkRenderWindow.h>
#include <vtkSmartPointer.h>

namespace kvg {

class GenericWindowResourceManager {
 public:
  // ownsWindow: the manager finalises the window when it goes; false leaves the window to
  // its owner (the scene view owns its render windows).
  GenericWindowResourceManager(vtkRenderWindow* window, bool ownsWindow);
  virtual ~GenericWindowResourceManager();
  GenericWindowResourceManager(const GenericWindowResourceManager&) = delete;
  GenericWindowResourceManager& operator=(const GenericWindowResourceManager&) = delete;

  vtkRenderWindow* getRenderWindow() const { return _window; }
  bool ownsWindow() const { return _ownsWindow; }

  // Makes the window's context current on the calling thread (the window's MakeCurrent).
  void makeCurrent();
  // Adds the renderer once, with enough window layers for its layer.
  void addRenderer(vtkRenderer* renderer);
  void removeRenderer(vtkRenderer* renderer);

 private:
  vtkSmartPointer<vtkRenderWindow> _window;
  bool _ownsWindow;
};

}  // namespace kvg
