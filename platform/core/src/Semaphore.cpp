#include "Semaphore.h"

#include <chrono>

void Semaphore::post() {
  {
    std::lock_guard<std::mutex> lock(_mutex);
    ++_count;
  }
  _cv.notify_one();
}

void Semaphore::wait() {
  std::unique_lock<std::mutex> lock(_mutex);
  _cv.wait(lock, [this] { return _count > 0; });
  --_count;
}

bool Semaphore::tryWait(int milliseconds) {
  std::unique_lock<std::mutex> lock(_mutex);
  if (!_cv.wait_for(lock, std::chrono::milliseconds(milliseconds < 0 ? 0 : milliseconds),
                    [this] { return _count > 0; }))
    return false;
  --_count;
  return true;
}

unsigned Semaphore::count() const {
  std::lock_guard<std::mutex> lock(_mutex);
  return _count;
}
