#pragma once
// Hands out process-wide unique handles for sessions and renderer objects.
#include "kvg/Types.h"

namespace kvg {

class RendererObjectRegistryBase {
 public:
  // A fresh handle, greater than every handle given out before (any thread). kind is kept
  // for callers that sort their objects by it; every kind shares one sequence.
  static Handle getNextHandle(int kind);
};

}  // namespace kvg
