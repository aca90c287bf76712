// The render lock: one lock for the process, re-entrant for its holder, exclusive between threads.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "RenderLock.h"

namespace {
// Whether another thread could take the lock right now.
bool otherThreadCanTakeIt() {
  std::atomic<bool> taken{false};
  std::thread other([&] {
    if (GetRenderLock().tryAcquire()) {
      taken = true;
      GetRenderLock().release();
    }
  });
  other.join();
  return taken;
}
}  // namespace

TEST(RenderLock, IsOneLockForTheProcess) {
  Lock* fromHere = &GetRenderLock();
  Lock* fromThere = nullptr;
  std::thread other([&] { fromThere = &GetRenderLock(); });
  other.join();
  EXPECT_EQ(fromHere, fromThere);
}

TEST(RenderLock, HolderMayTakeItAgain) {
  // As a scene set-up holds it while the camera's eye-matrix update takes it again.
  Lock::AutoLock outer(GetRenderLock());
  {
    Lock::AutoLock inner(GetRenderLock());
    EXPECT_TRUE(GetRenderLock().tryAcquire());
    GetRenderLock().release();
  }
  EXPECT_FALSE(otherThreadCanTakeIt());  // still held by the outer guard
}

TEST(RenderLock, SerialisesTwoThreads) {
  // Two threads run read-modify-write sections under the lock; none may interleave.
  std::atomic<int> inside{0};
  std::atomic<int> overlaps{0};
  long counter = 0;
  auto work = [&] {
    for (int i = 0; i < 20000; ++i) {
      Lock::AutoLock guard(GetRenderLock());
      if (inside.fetch_add(1) != 0) ++overlaps;
      const long seen = counter;
      std::this_thread::yield();
      counter = seen + 1;
      inside.fetch_sub(1);
    }
  };
  std::thread a(work), b(work);
  a.join();
  b.join();
  EXPECT_EQ(overlaps.load(), 0);
  EXPECT_EQ(counter, 40000);
}

TEST(RenderLock, IsFreeAfterEveryRelease) {
  {
    Lock::AutoLock guard(GetRenderLock());
  }
  EXPECT_TRUE(otherThreadCanTakeIt());
}
