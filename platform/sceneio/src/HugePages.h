#pragma once
// Memory for large arrays on huge pages where the system gives them on request: the first write
// to each 4 KiB page of a fresh allocation otherwise takes a fault, and for arrays of hundreds
// of megabytes those faults cost more than the work that fills them.
#include <cstddef>

class HugePages {
 public:
  // At least bytes of memory, to be released with free(); null when bytes is small (ordinary
  // allocation serves it as well) or the memory cannot be had.
  static void* allocate(size_t bytes);
};
