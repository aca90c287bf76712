#include "kvg/GPUMemoryManagementPolicy.h"

namespace kvg {

GPUMemoryManagementPolicy& GPUMemoryManagementPolicy::getGlobalMemoryManagementPolicy() {
  static GPUMemoryManagementPolicy policy;
  return policy;
}

}  // namespace kvg
