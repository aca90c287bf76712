#pragma once
// Blocking first-in first-out queue of server commands. Any thread may push; one consumer
// (the command thread) pops. The lock guards the entries; `available` counts pushes and is
// posted while the lock is held, waiting happens outside it.
#include <deque>
#include <mutex>

#include "Semaphore.h"
#include "ServerCommand.h"

class CommandQueue {
 public:
  CommandQueue() = default;
  // Wakes a consumer that may still wait, then drops the remaining entries unsent.
  ~CommandQueue();
  CommandQueue(const CommandQueue&) = delete;
  CommandQueue& operator=(const CommandQueue&) = delete;

  // Appends a copy; never blocks beyond the lock.
  void push(const ServerCommand& command);
  // Appends a copy only when nothing is queued; true when appended.
  bool pushIfEmpty(const ServerCommand& command);
  // True when at least one entry is queued.
  bool hasPending() const;
  size_t size() const;
  // The oldest entry, removed; an entry with an empty name when the queue is empty.
  ServerCommand tryPop();
  // The oldest entry, removed; waits while there is none.
  ServerCommand pop();

 private:
  mutable std::mutex _lock;
  Semaphore _available;
  std::deque<ServerCommand> _entries;
};
