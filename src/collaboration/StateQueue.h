#pragma once
// One-slot mailbox between the render thread and one state updater: the newest state wins. The
// end marker (a client state with ID -1) ends the updater and is never displaced.
//
// Lock: _mutex guards the slot only; it is never held while a state is written or sent.
#include <memory>
#include <mutex>

#include "Semaphore.h"
#include "kvg/VRState.h"

class StateQueue {
 public:
  StateQueue() = default;
  // Destroys a pending state and posts the semaphore, so a waiter turns once more.
  ~StateQueue();
  StateQueue(const StateQueue&) = delete;
  StateQueue& operator=(const StateQueue&) = delete;

  // A new end marker.
  static std::unique_ptr<kvg::VRState> makeEndMarker();
  static bool isEndMarker(const kvg::VRState& state) { return state.getID() == END_MARKER_ID; }

  // Render thread: replaces the pending state (destroying it), unless the end marker is pending,
  // in which case state is destroyed.
  void push(std::unique_ptr<kvg::VRState> state);
  // Updater thread: waits without limit for a pending state and takes it.
  std::unique_ptr<kvg::VRState> waitPop();

 private:
  static constexpr int END_MARKER_ID = -1;
  std::mutex _mutex;
  Semaphore _semaphore;
  std::unique_ptr<kvg::VRState> _pending;
};
