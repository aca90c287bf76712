#pragma once
// Re-entrant lock: the thread holding it may take it again; each acquire needs its release.
#include <mutex>

class Lock {
 public:
  Lock() = default;
  Lock(const Lock&) = delete;
  Lock& operator=(const Lock&) = delete;

  void acquire() { _mutex.lock(); }
  bool tryAcquire() { return _mutex.try_lock(); }
  void release() { _mutex.unlock(); }

  // Scope guard: acquires on construction, releases on destruction (also on unwinding).
  class AutoLock {
   public:
    explicit AutoLock(Lock& lock) : _lock(lock) { _lock.acquire(); }
    ~AutoLock() { _lock.release(); }
    AutoLock(const AutoLock&) = delete;
    AutoLock& operator=(const AutoLock&) = delete;

   private:
    Lock& _lock;
  };

 private:
  std::recursive_mutex _mutex;
};
