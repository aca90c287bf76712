#include "kvg/RendererObjectRegistryBase.h"

#include <atomic>

namespace kvg {

Handle RendererObjectRegistryBase::getNextHandle(int) {
  static std::atomic<Handle> next{1};
  return next.fetch_add(1, std::memory_order_relaxed);
}

}  // namespace kvg
