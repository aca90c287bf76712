// Preloaded into every process of the ThreadSanitizer test runs (LD_PRELOAD): tells the
// sanitizer about the ordering that Qt's locks, semaphores, wait conditions and thread waits
// give. Qt 5 builds them on futexes inside its own (uninstrumented) library, so without this the
// sanitizer sees none of it and reports accesses that Qt orders as races.
//
// Each Qt entry point the program calls is replaced by one that calls Qt's own (the next
// definition, dlsym(RTLD_NEXT)) and marks the object: releasing before an unlock, release, wake
// or thread end, acquiring after a lock, acquire, wait or seen thread end. The replacements
// bind calls from other libraries only (Qt's calls to itself are bound inside Qt), which is what
// the program's code makes. A QThread's end is released by the thread itself
// (TsanAnnotations.h), since Qt ends its threads inside its own library.
//
// Built without the sanitizer (it has no memory of its own to check) and bound to the
// sanitizer's entry points weakly, so a process without it (a shell a test starts) runs as usual.
#include <dlfcn.h>

#include <QDeadlineTimer>

#include <cstdio>
#include <cstdlib>

extern "C" {
void __tsan_acquire(void* addr) __attribute__((weak));
void __tsan_release(void* addr) __attribute__((weak));
}

namespace {

void acquire(const void* object) {
  if (__tsan_acquire) __tsan_acquire(const_cast<void*>(object));
}
void release(const void* object) {
  if (__tsan_release) __tsan_release(const_cast<void*>(object));
}

// Qt's own definition of a replaced entry point.
template <typename F>
F next(F& cached, const char* symbol) {
  if (!cached) {
    cached = reinterpret_cast<F>(dlsym(RTLD_NEXT, symbol));
    if (!cached) {
      std::fprintf(stderr, "QtSyncForTsan: %s not found\n", symbol);
      std::abort();
    }
  }
  return cached;
}

}  // namespace

// Only the addresses of these are used.
class QMutex;
class QBasicMutex;
class QSemaphore;
class QWaitCondition;
class QReadWriteLock;
class QThread;

// Qt's definition of the symbol, as a function of that type (looked up once).
#define QUONIX_NEXT(type, symbol) \
  ([]() {                         \
    using Function = type;        \
    static Function real = nullptr; \
    return next(real, symbol);    \
  }())

extern "C" {

// void QMutex::lock()
void _ZN6QMutex4lockEv(QMutex* m) {
  QUONIX_NEXT(void (*)(QMutex*), "_ZN6QMutex4lockEv")(m);
  acquire(m);
}
// bool QMutex::tryLock(int)
bool _ZN6QMutex7tryLockEi(QMutex* m, int timeout) {
  const bool locked = QUONIX_NEXT(bool (*)(QMutex*, int), "_ZN6QMutex7tryLockEi")(m, timeout);
  if (locked) acquire(m);
  return locked;
}
// void QMutex::unlock()
void _ZN6QMutex6unlockEv(QMutex* m) {
  release(m);
  QUONIX_NEXT(void (*)(QMutex*), "_ZN6QMutex6unlockEv")(m);
}
// The contended halves of QBasicMutex's inline lock and unlock (the uncontended halves are
// atomic operations in the caller's own, instrumented, code).
void _ZN11QBasicMutex12lockInternalEv(QBasicMutex* m) {
  QUONIX_NEXT(void (*)(QBasicMutex*), "_ZN11QBasicMutex12lockInternalEv")(m);
  acquire(m);
}
bool _ZN11QBasicMutex12lockInternalEi(QBasicMutex* m, int timeout) {
  const bool locked = QUONIX_NEXT(bool (*)(QBasicMutex*, int), "_ZN11QBasicMutex12lockInternalEi")(m, timeout);
  if (locked) acquire(m);
  return locked;
}
void _ZN11QBasicMutex14unlockInternalEv(QBasicMutex* m) {
  release(m);
  QUONIX_NEXT(void (*)(QBasicMutex*), "_ZN11QBasicMutex14unlockInternalEv")(m);
}

// QReadWriteLock: lockForRead, lockForWrite, their tries, unlock.
void _ZN14QReadWriteLock11lockForReadEv(QReadWriteLock* l) {
  QUONIX_NEXT(void (*)(QReadWriteLock*), "_ZN14QReadWriteLock11lockForReadEv")(l);
  acquire(l);
}
void _ZN14QReadWriteLock12lockForWriteEv(QReadWriteLock* l) {
  QUONIX_NEXT(void (*)(QReadWriteLock*), "_ZN14QReadWriteLock12lockForWriteEv")(l);
  acquire(l);
}
bool _ZN14QReadWriteLock14tryLockForReadEv(QReadWriteLock* l) {
  const bool locked = QUONIX_NEXT(bool (*)(QReadWriteLock*), "_ZN14QReadWriteLock14tryLockForReadEv")(l);
  if (locked) acquire(l);
  return locked;
}
bool _ZN14QReadWriteLock14tryLockForReadEi(QReadWriteLock* l, int timeout) {
  const bool locked = QUONIX_NEXT(bool (*)(QReadWriteLock*, int), "_ZN14QReadWriteLock14tryLockForReadEi")(l, timeout);
  if (locked) acquire(l);
  return locked;
}
bool _ZN14QReadWriteLock15tryLockForWriteEv(QReadWriteLock* l) {
  const bool locked = QUONIX_NEXT(bool (*)(QReadWriteLock*), "_ZN14QReadWriteLock15tryLockForWriteEv")(l);
  if (locked) acquire(l);
  return locked;
}
bool _ZN14QReadWriteLock15tryLockForWriteEi(QReadWriteLock* l, int timeout) {
  const bool locked =
      QUONIX_NEXT(bool (*)(QReadWriteLock*, int), "_ZN14QReadWriteLock15tryLockForWriteEi")(l, timeout);
  if (locked) acquire(l);
  return locked;
}
void _ZN14QReadWriteLock6unlockEv(QReadWriteLock* l) {
  release(l);
  QUONIX_NEXT(void (*)(QReadWriteLock*), "_ZN14QReadWriteLock6unlockEv")(l);
}

// QSemaphore: acquire, tryAcquire, release.
void _ZN10QSemaphore7acquireEi(QSemaphore* s, int n) {
  QUONIX_NEXT(void (*)(QSemaphore*, int), "_ZN10QSemaphore7acquireEi")(s, n);
  acquire(s);
}
bool _ZN10QSemaphore10tryAcquireEi(QSemaphore* s, int n) {
  const bool taken = QUONIX_NEXT(bool (*)(QSemaphore*, int), "_ZN10QSemaphore10tryAcquireEi")(s, n);
  if (taken) acquire(s);
  return taken;
}
bool _ZN10QSemaphore10tryAcquireEii(QSemaphore* s, int n, int timeout) {
  const bool taken = QUONIX_NEXT(bool (*)(QSemaphore*, int, int), "_ZN10QSemaphore10tryAcquireEii")(s, n, timeout);
  if (taken) acquire(s);
  return taken;
}
void _ZN10QSemaphore7releaseEi(QSemaphore* s, int n) {
  release(s);
  QUONIX_NEXT(void (*)(QSemaphore*, int), "_ZN10QSemaphore7releaseEi")(s, n);
}

// QWaitCondition: a wait unlocks and relocks the mutex inside Qt, and is woken by a wake.
bool _ZN14QWaitCondition4waitEP6QMutex14QDeadlineTimer(QWaitCondition* c, QMutex* m, QDeadlineTimer d) {
  release(m);
  const bool woken = QUONIX_NEXT(bool (*)(QWaitCondition*, QMutex*, QDeadlineTimer),
                                 "_ZN14QWaitCondition4waitEP6QMutex14QDeadlineTimer")(c, m, d);
  acquire(c);
  acquire(m);
  return woken;
}
bool _ZN14QWaitCondition4waitEP6QMutexm(QWaitCondition* c, QMutex* m, unsigned long time) {
  release(m);
  const bool woken =
      QUONIX_NEXT(bool (*)(QWaitCondition*, QMutex*, unsigned long), "_ZN14QWaitCondition4waitEP6QMutexm")(c, m, time);
  acquire(c);
  acquire(m);
  return woken;
}
bool _ZN14QWaitCondition4waitEP14QReadWriteLock14QDeadlineTimer(QWaitCondition* c, QReadWriteLock* l,
                                                                 QDeadlineTimer d) {
  release(l);
  const bool woken = QUONIX_NEXT(bool (*)(QWaitCondition*, QReadWriteLock*, QDeadlineTimer),
                                 "_ZN14QWaitCondition4waitEP14QReadWriteLock14QDeadlineTimer")(c, l, d);
  acquire(c);
  acquire(l);
  return woken;
}
bool _ZN14QWaitCondition4waitEP14QReadWriteLockm(QWaitCondition* c, QReadWriteLock* l, unsigned long time) {
  release(l);
  const bool woken = QUONIX_NEXT(bool (*)(QWaitCondition*, QReadWriteLock*, unsigned long),
                                 "_ZN14QWaitCondition4waitEP14QReadWriteLockm")(c, l, time);
  acquire(c);
  acquire(l);
  return woken;
}
void _ZN14QWaitCondition7wakeOneEv(QWaitCondition* c) {
  release(c);
  QUONIX_NEXT(void (*)(QWaitCondition*), "_ZN14QWaitCondition7wakeOneEv")(c);
}
void _ZN14QWaitCondition7wakeAllEv(QWaitCondition* c) {
  release(c);
  QUONIX_NEXT(void (*)(QWaitCondition*), "_ZN14QWaitCondition7wakeAllEv")(c);
}

// QThread: a wait that returns true, or a look that finds the thread ended, comes after its end.
bool _ZN7QThread4waitE14QDeadlineTimer(QThread* t, QDeadlineTimer d) {
  const bool ended = QUONIX_NEXT(bool (*)(QThread*, QDeadlineTimer), "_ZN7QThread4waitE14QDeadlineTimer")(t, d);
  if (ended) acquire(t);
  return ended;
}
bool _ZN7QThread4waitEm(QThread* t, unsigned long time) {
  const bool ended = QUONIX_NEXT(bool (*)(QThread*, unsigned long), "_ZN7QThread4waitEm")(t, time);
  if (ended) acquire(t);
  return ended;
}
bool _ZNK7QThread9isRunningEv(const QThread* t) {
  const bool running = QUONIX_NEXT(bool (*)(const QThread*), "_ZNK7QThread9isRunningEv")(t);
  if (!running) acquire(t);
  return running;
}
bool _ZNK7QThread10isFinishedEv(const QThread* t) {
  const bool finished = QUONIX_NEXT(bool (*)(const QThread*), "_ZNK7QThread10isFinishedEv")(t);
  if (finished) acquire(t);
  return finished;
}

}  // extern "C"
