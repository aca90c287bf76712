#pragma once
// Orderings that ThreadSanitizer cannot see by itself, told to it in its builds (nothing in
// others). A QThread ends inside Qt's library, behind Qt's futex-based locks: a thread body marks
// its end on its QThread object, and the preload of the ThreadSanitizer test runs pairs that with
// the QThread::wait, isRunning or isFinished that sees the end.

#if defined(__SANITIZE_THREAD__)
extern "C" void __tsan_release(void* addr);
#endif

// Made at the top of a thread body with the body's QThread: releases it on every way out.
class TsanReleaseAtEnd {
 public:
  explicit TsanReleaseAtEnd(const void* object) : _object(object) {}
  ~TsanReleaseAtEnd() {
#if defined(__SANITIZE_THREAD__)
    __tsan_release(const_cast<void*>(_object));
#endif
  }
  TsanReleaseAtEnd(const TsanReleaseAtEnd&) = delete;
  TsanReleaseAtEnd& operator=(const TsanReleaseAtEnd&) = delete;

 private:
  [[maybe_unused]] const void* _object;
};
