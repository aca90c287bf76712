#pragma once
// Counting semaphore; any thread may post or wait.
#include <condition_variable>
#include <mutex>

class Semaphore {
 public:
  explicit Semaphore(unsigned initialCount = 0) : _count(initialCount) {}
  Semaphore(const Semaphore&) = delete;
  Semaphore& operator=(const Semaphore&) = delete;

  void post();
  void wait();
  // Waits at most the given time; true when a count was taken.
  bool tryWait(int milliseconds);
  unsigned count() const;

 private:
  mutable std::mutex _mutex;
  std::condition_variable _cv;
  unsigned _count;
};
