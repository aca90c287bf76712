#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "Lock.h"
#include "Semaphore.h"
#include "Thread.h"

TEST(Lock, IsReentrantAndExcludesOtherThreads) {
  Lock lock;
  Lock::AutoLock outer(lock);
  {
    Lock::AutoLock inner(lock);  // same thread: no deadlock
  }
  std::atomic<bool> acquired{false};
  std::thread other([&] {
    if (lock.tryAcquire()) {
      acquired = true;
      lock.release();
    }
  });
  other.join();
  EXPECT_FALSE(acquired);
}

TEST(Lock, SerialisesCriticalSections) {
  Lock lock;
  int counter = 0;
  auto work = [&] {
    for (int i = 0; i < 20000; ++i) {
      Lock::AutoLock guard(lock);
      ++counter;
    }
  };
  std::thread a(work), b(work);
  a.join();
  b.join();
  EXPECT_EQ(counter, 40000);
}

TEST(Semaphore, CountsAndTimesOut) {
  Semaphore s(1);
  EXPECT_TRUE(s.tryWait(0));
  EXPECT_FALSE(s.tryWait(20));
  std::thread poster([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    s.post();
  });
  s.wait();
  poster.join();
  EXPECT_EQ(s.count(), 0u);
}

namespace {
struct Counter : Runnable {
  std::atomic<int> runs{0};
  std::atomic<bool> stopRequested{false};
  void run() override {
    ++runs;
    while (!stopRequested) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  void stop() override { stopRequested = true; }
};
}  // namespace

TEST(Thread, RunsOnceAndJoins) {
  Counter counter;
  Thread thread(&counter, "counter");
  EXPECT_FALSE(thread.join());
  EXPECT_TRUE(thread.start());
  EXPECT_FALSE(thread.start());
  counter.stop();
  EXPECT_TRUE(thread.join());
  EXPECT_EQ(counter.runs, 1);
  EXPECT_FALSE(thread.isRunning());
  Thread empty(nullptr);
  EXPECT_FALSE(empty.start());
}
