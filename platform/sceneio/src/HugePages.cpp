#include "HugePages.h"

#include <sys/mman.h>

#include <cstdlib>

void* HugePages::allocate(size_t bytes) {
  constexpr size_t HugePage = size_t(2) << 20;
  if (bytes < 4 * HugePage) return nullptr;
  void* memory = nullptr;
  if (::posix_memalign(&memory, HugePage, bytes) != 0) return nullptr;
  ::madvise(memory, (bytes + HugePage - 1) / HugePage * HugePage, MADV_HUGEPAGE);
  return memory;
}
