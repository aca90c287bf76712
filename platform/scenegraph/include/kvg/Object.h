#pragma once
// Reference-counted base of every scene-graph object. Objects live on the heap and are held
// through kvg::Ptr / kvg::Ref; the last reference that goes calls destroy(), which deletes.
// An object embedded in another (never referenced) keeps a count of zero and dies with its owner.
#include <atomic>

namespace kvg {

class Object {
 public:
  Object() : _refCount(0) {}
  // A copy is a new object: it starts without references.
  Object(const Object&) : _refCount(0) {}
  Object& operator=(const Object&) { return *this; }
  virtual ~Object();
  // Ends the object when its last reference goes; deletes it.
  virtual void destroy();

  // Any thread may take or drop references.
  void ref() const { _refCount.fetch_add(1, std::memory_order_relaxed); }
  void unref() const;
  int getRefCount() const { return _refCount.load(std::memory_order_acquire); }

 private:
  mutable std::atomic<int> _refCount;
};

}  // namespace kvg
