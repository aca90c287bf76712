#pragma once
// Process-wide policy for GPU memory shared by all sessions.
namespace kvg {

class GPUMemoryManagementPolicy {
 public:
  static GPUMemoryManagementPolicy& getGlobalMemoryManagementPolicy();

  // The sessions render through OpenGL contexts that share their objects, so a buffer
  // uploaded once serves every session.
  bool sharedContexts = false;
};

}  // namespace kvg
