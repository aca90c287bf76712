#include "NotificationQueue.h"

#include <chrono>

NotificationQueue::NotificationQueue(size_t capacity) : _capacity(capacity == 0 ? 1 : capacity) {}

bool NotificationQueue::push(ServerNotification notification) {
  {
    std::unique_lock<std::mutex> lock(_mutex);
    _changed.wait(lock, [this] { return _closed || _entries.size() < _capacity; });
    if (_closed) return false;
    _entries.push_back(std::move(notification));
  }
  _changed.notify_all();
  std::lock_guard<std::mutex> callbackLock(_callbackMutex);
  if (_callback) _callback();
  return true;
}

bool NotificationQueue::tryPop(ServerNotification& out) {
  {
    std::lock_guard<std::mutex> lock(_mutex);
    if (_entries.empty()) return false;
    out = std::move(_entries.front());
    _entries.pop_front();
  }
  _changed.notify_all();
  return true;
}

bool NotificationQueue::waitPop(ServerNotification& out, int timeoutMs) {
  {
    std::unique_lock<std::mutex> lock(_mutex);
    auto ready = [this] { return _closed || !_entries.empty(); };
    if (timeoutMs < 0)
      _changed.wait(lock, ready);
    else if (!_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready))
      return false;
    if (_entries.empty()) return false;
    out = std::move(_entries.front());
    _entries.pop_front();
  }
  _changed.notify_all();
  return true;
}

size_t NotificationQueue::size() const {
  std::lock_guard<std::mutex> lock(_mutex);
  return _entries.size();
}

void NotificationQueue::setWakeCallback(std::function<void()> callback) {
  std::lock_guard<std::mutex> callbackLock(_callbackMutex);
  _callback = std::move(callback);
}

void NotificationQueue::close() {
  {
    std::lock_guard<std::mutex> lock(_mutex);
    _closed = true;
  }
  _changed.notify_all();
}

void NotificationQueue::reopen() {
  {
    std::lock_guard<std::mutex> lock(_mutex);
    _closed = false;
    _entries.clear();
  }
  _changed.notify_all();
}

bool NotificationQueue::isClosed() const {
  std::lock_guard<std::mutex> lock(_mutex);
  return _closed;
}
