#include "StateQueue.h"

#include "VRClientState.h"

StateQueue::~StateQueue() {
  std::lock_guard<std::mutex> lock(_mutex);
  _pending.reset();
  _semaphore.post();
}

std::unique_ptr<kvg::VRState> StateQueue::makeEndMarker() {
  auto marker = std::make_unique<kvg::VRClientState>();
  marker->setID(END_MARKER_ID);
  return marker;
}

// Render thread (the end marker: GUI thread).
void StateQueue::push(std::unique_ptr<kvg::VRState> state) {
  if (!state) return;
  std::unique_ptr<kvg::VRState> dropped;  // destroyed after the lock is released
  {
    std::lock_guard<std::mutex> lock(_mutex);
    if (_pending && isEndMarker(*_pending)) {
      dropped = std::move(state);
      return;
    }
    dropped = std::move(_pending);
    _pending = std::move(state);
  }
  _semaphore.post();
}

// Updater thread.
std::unique_ptr<kvg::VRState> StateQueue::waitPop() {
  for (;;) {
    {
      std::lock_guard<std::mutex> lock(_mutex);
      if (_pending) return std::move(_pending);
    }
    _semaphore.wait();
  }
}
