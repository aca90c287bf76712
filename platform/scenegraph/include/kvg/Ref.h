#pragma once
// Counted pointer that always holds an object of type T: construction from null or from an
// object of another type throws InternalError "Uninitialized object or unexpected object type".
// Converts to Ptr<U> of any scene-graph class.
#include <utility>

#include "kvg/Ptr.h"

namespace kvg {

template <class T>
class Ref {
 public:
  using element_type = T;

  explicit Ref(T* object) : _object(object) {
    if (!_object) throwPointerTypeError(true, __LINE__);
    _object->ref();
  }
  template <class U, class = std::enable_if_t<std::is_base_of<T, U>::value>>
  Ref(const Ref<U>& other) : _object(other.get()) {
    _object->ref();
  }
  Ref(const Ref& other) : _object(other._object) { _object->ref(); }
  // Checked: the pointer must hold a T.
  template <class U>
  explicit Ref(const Ptr<U>& ptr) : _object(&ptr.template cast<T>()) {
    _object->ref();
  }
  ~Ref() { _object->unref(); }

  Ref& operator=(const Ref& other) {
    other._object->ref();
    _object->unref();
    _object = other._object;
    return *this;
  }

  T* operator->() const { return _object; }
  T& operator*() const { return *_object; }
  T* get() const { return _object; }

  template <class U>
  operator Ptr<U>() const {
    return Ptr<U>(_object);
  }

  // A new heap object of T with these constructor arguments.
  template <class... A>
  static Ref create(A&&... args) {
    return Ref(new T(std::forward<A>(args)...));
  }

 private:
  T* _object;
};

template <class T, class... A>
Ref<T> makeRef(A&&... args) {
  return Ref<T>::create(std::forward<A>(args)...);
}

template <class T, class U>
bool operator==(const Ref<T>& a, const Ref<U>& b) {
  return static_cast<const Object*>(a.get()) == static_cast<const Object*>(b.get());
}
template <class T, class U>
bool operator!=(const Ref<T>& a, const Ref<U>& b) {
  return !(a == b);
}

}  // namespace kvg
