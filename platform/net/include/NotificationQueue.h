#pragma once
// Bounded first-in first-out queue of server notifications between a connection's notification
// thread (producer) and a consumer on its own thread (a drawable session, a test).
//
// The consumer either polls (tryPop) or waits (waitPop), and may install a wake callback to learn
// of each new entry without polling (for example to post a task to its own queue). When the queue
// is full the producer waits, so a consumer that falls behind slows the server's writes down (the
// server drops a viewer that stays blocked) rather than growing memory without bound.
//
// The queue's mutex guards the entries; any thread may call any operation.
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>

#include "ServerNotification.h"

class NotificationQueue {
 public:
  static constexpr size_t DEFAULT_CAPACITY = 1024;

  explicit NotificationQueue(size_t capacity = DEFAULT_CAPACITY);
  NotificationQueue(const NotificationQueue&) = delete;
  NotificationQueue& operator=(const NotificationQueue&) = delete;

  // Producer: appends, waiting while the queue is full; false (and dropped) once the queue is closed.
  // Calls the wake callback afterwards, outside the queue's lock, on the producer's thread.
  bool push(ServerNotification notification);
  // Consumer: takes the oldest entry; false when there is none.
  bool tryPop(ServerNotification& out);
  // Consumer: waits up to timeoutMs (-1: no bound) for an entry; false on time-out, or when the
  // queue is closed and empty.
  bool waitPop(ServerNotification& out, int timeoutMs);
  size_t size() const;

  // Installs (or with an empty function removes) the callback run after every push. When this
  // returns, a callback run for the previous function has finished; so clearing it before the
  // consumer is destroyed is enough to be safe. Must not be called from inside the callback.
  void setWakeCallback(std::function<void()> callback);

  // Ends the queue: waiting producers and consumers return; entries already queued can still be
  // taken. reopen() empties it and accepts entries again.
  void close();
  void reopen();
  bool isClosed() const;

 private:
  const size_t _capacity;
  mutable std::mutex _mutex;  // guards _entries and _closed
  std::condition_variable _changed;
  std::deque<ServerNotification> _entries;
  bool _closed = false;
  std::mutex _callbackMutex;  // held while the callback runs and while it is replaced
  std::function<void()> _callback;
};
