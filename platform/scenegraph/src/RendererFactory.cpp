#include "kvg/RendererFactory.h"

#include <mutex>

namespace kvg {

namespace {
std::mutex factoryMutex;
RendererFactory::CreateFunction& createFunction() {
  static RendererFactory::CreateFunction function;
  return function;
}
}  // namespace

vtkSmartPointer<vtkRenderer> RendererFactory::createRenderer(const std::string& name) {
  CreateFunction f;
  {
    std::lock_guard<std::mutex> guard(factoryMutex);
    f = createFunction();
  }
  vtkSmartPointer<vtkRenderer> renderer = f ? f(name) : vtkSmartPointer<vtkRenderer>();
  if (!renderer) renderer = vtkSmartPointer<vtkRenderer>::New();
  return renderer;
}

void RendererFactory::setCreateFunction(CreateFunction function) {
  std::lock_guard<std::mutex> guard(factoryMutex);
  createFunction() = std::move(function);
}

}  // namespace kvg
