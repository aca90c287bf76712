#include "kvg/Ptr.h"

namespace kvg {

void throwPointerTypeError(bool missing, int line) {
  throw InternalError("Uninitialized object or unexpected object type",
                      missing ? "object != nullptr" : "dynamic_cast<T*>(object) != nullptr", "kvg::Ptr", line);
}

}  // namespace kvg
