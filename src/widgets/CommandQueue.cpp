#include "CommandQueue.h"

CommandQueue::~CommandQueue() {
  std::lock_guard<std::mutex> guard(_lock);
  _available.post();
}

void CommandQueue::push(const ServerCommand& command) {
  std::lock_guard<std::mutex> guard(_lock);
  _entries.push_back(command);
  _available.post();
}

bool CommandQueue::pushIfEmpty(const ServerCommand& command) {
  std::lock_guard<std::mutex> guard(_lock);
  if (!_entries.empty()) return false;
  _entries.push_back(command);
  _available.post();
  return true;
}

bool CommandQueue::hasPending() const {
  std::lock_guard<std::mutex> guard(_lock);
  return !_entries.empty();
}

size_t CommandQueue::size() const {
  std::lock_guard<std::mutex> guard(_lock);
  return _entries.size();
}

ServerCommand CommandQueue::tryPop() {
  std::lock_guard<std::mutex> guard(_lock);
  if (_entries.empty()) return ServerCommand();
  ServerCommand front = std::move(_entries.front());
  _entries.pop_front();
  return front;
}

ServerCommand CommandQueue::pop() {
  // An entry taken by tryPop does not consume a count of `available`; surplus counts only
  // cost an extra empty round before the next wait.
  for (;;) {
    ServerCommand entry = tryPop();
    if (!entry.isEmpty()) return entry;
    _available.wait();
  }
}
