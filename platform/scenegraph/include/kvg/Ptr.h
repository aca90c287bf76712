#pragma once
// Nullable counted pointer to a scene-graph object. It may hold an object of another type
// than T (a list of Ptr<T> filled from the node registry, a copied slot): dereferencing checks
// the type and throws InternalError "Uninitialized object or unexpected object type" when the
// object is missing or is no T. get() and tryCast() never throw.
#include <cstddef>
#include <type_traits>
#include <utility>

#include "InternalError.h"
#include "kvg/Object.h"

namespace kvg {

// Throws the scene-graph pointer's type-check error.
[[noreturn]] void throwPointerTypeError(bool missing, int line);

template <class T>
class Ptr {
 public:
  using element_type = T;

  Ptr() = default;
  Ptr(std::nullptr_t) {}
  template <class U, class = std::enable_if_t<std::is_base_of<Object, U>::value>>
  Ptr(U* object) : _object(object) {
    if (_object) _object->ref();
  }
  Ptr(const Ptr& other) : _object(other._object) {
    if (_object) _object->ref();
  }
  Ptr(Ptr&& other) noexcept : _object(other._object) { other._object = nullptr; }
  template <class U>
  Ptr(const Ptr<U>& other) : _object(other.getObject()) {
    if (_object) _object->ref();
  }
  ~Ptr() {
    if (_object) _object->unref();
  }

  Ptr& operator=(const Ptr& other) {
    Ptr(other).swap(*this);
    return *this;
  }
  Ptr& operator=(Ptr&& other) noexcept {
    Ptr(std::move(other)).swap(*this);
    return *this;
  }
  Ptr& operator=(std::nullptr_t) {
    reset();
    return *this;
  }

  // Checked access: the object must exist and be a T.
  T* operator->() const { return checked(); }
  T& operator*() const { return *checked(); }
  // Checked conversion to another scene-graph class.
  template <class U>
  U& cast() const {
    U* u = dynamic_cast<U*>(_object);
    if (!u) throwPointerTypeError(_object == nullptr, __LINE__);
    return *u;
  }

  // Unchecked access: null when the object is missing or is no T.
  T* get() const { return dynamic_cast<T*>(_object); }
  template <class U>
  U* tryCast() const {
    return dynamic_cast<U*>(_object);
  }
  Object* getObject() const { return _object; }

  // True when an object is held, whatever its type.
  explicit operator bool() const { return _object != nullptr; }
  bool isNull() const { return _object == nullptr; }
  // True when an object is held and it is a T.
  bool isValid() const { return get() != nullptr; }

  void reset() {
    if (_object) _object->unref();
    _object = nullptr;
  }
  void swap(Ptr& other) noexcept { std::swap(_object, other._object); }

 private:
  T* checked() const {
    T* t = dynamic_cast<T*>(_object);
    if (!t) throwPointerTypeError(_object == nullptr, __LINE__);
    return t;
  }

  Object* _object = nullptr;
};

template <class T, class U>
bool operator==(const Ptr<T>& a, const Ptr<U>& b) {
  return a.getObject() == b.getObject();
}
template <class T, class U>
bool operator!=(const Ptr<T>& a, const Ptr<U>& b) {
  return a.getObject() != b.getObject();
}
template <class T>
bool operator==(const Ptr<T>& a, std::nullptr_t) {
  return a.isNull();
}
template <class T>
bool operator!=(const Ptr<T>& a, std::nullptr_t) {
  return !a.isNull();
}
template <class T, class U>
bool operator<(const Ptr<T>& a, const Ptr<U>& b) {
  return a.getObject() < b.getObject();
}

}  // namespace kvg
