#pragma once
// Rendering preferences of a drawable session.
namespace kvg {

class RenderingAttributes {
 public:
  // Let the session evict GPU buffers of props that are out of view.
  bool getUseGpuMemoryManagement() const { return _gpuMemoryManagement; }
  void setUseGpuMemoryManagement(bool use) { _gpuMemoryManagement = use; }
  // Draw what is ready instead of waiting for every prop of an update.
  bool getUseOpportunisticRendering() const { return _opportunistic; }
  void setUseOpportunisticRendering(bool use) { _opportunistic = use; }

 private:
  bool _gpuMemoryManagement = true;
  bool _opportunistic = false;
};

}  // namespace kvg
