#include "kvg/Object.h"

namespace kvg {

Object::~Object() = default;

void Object::destroy() { delete this; }

void Object::unref() const {
  if (_refCount.fetch_sub(1, std::memory_order_acq_rel) == 1) const_cast<Object*>(this)->destroy();
}

}  // namespace kvg
