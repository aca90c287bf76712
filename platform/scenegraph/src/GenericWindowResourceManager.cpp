#include "kvg/GenericWindowResourceManager.h"

#include <vtkRenderer.h>

namespace kvg {

GenericWindowResourceManager::GenericWindowResourceManager(vtkRenderWindow* window, bool ownsWindow)
    : _window(window), _ownsWindow(ownsWindow) {}

GenericWindowResourceManager::~GenericWindowResourceManager() {
  if (_window && _ownsWindow) _window->Finalize();
}

void GenericWindowResourceManager::makeCurrent() {
  if (_window) _window->MakeCurrent();
}

void GenericWindowResourceManager::addRenderer(vtkRenderer* renderer) {
  if (!_window || !renderer) return;
  if (_window->GetNumberOfLayers() <= renderer->GetLayer()) _window->SetNumberOfLayers(renderer->GetLayer() + 1);
  if (!_window->HasRenderer(renderer)) _window->AddRenderer(renderer);
}

void GenericWindowResourceManager::removeRenderer(vtkRenderer* renderer) {
  if (_window && renderer && _window->HasRenderer(renderer)) _window->RemoveRenderer(renderer);
}

}  // namespace kvg
