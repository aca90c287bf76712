#pragma once
// Joins a lost collaborative session again on a thread of its own: attempts with a growing
// pause between them (a bounded number), each one bounded by a short time-out, until one
// connects. The session takes the joined connections on the render thread.
//
// Threads: start and take on the render thread; the attempts on the rejoin thread; stop on the
// GUI thread (or the destructor). _mutex guards the slot and the flags.
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "CVRStateListener.h"
#include "CVRStateUpdater.h"

class SessionRejoiner {
 public:
  // The connections of one join. Members go in reverse order: the listener first, then the
  // client-state updater (which sends "close"), then the shared-state updater borrowing its
  // connection.
  struct Link {
    std::unique_ptr<CVRStateUpdater> sharedStateUpdater;
    std::unique_ptr<CVRStateUpdater> clientStateUpdater;
    std::unique_ptr<CVRStateListener> listener;
  };
  struct Address {
    std::string host;
    int port = 0;
    int timeoutMs = 0;
    int64_t value = 0;
    std::string sceneKey;
  };
  // Attempts and the longest pause between two of them.
  static constexpr int MAX_ATTEMPTS = 30;
  static constexpr int FIRST_PAUSE_MS = 250;
  static constexpr int LONGEST_PAUSE_MS = 4000;
  // Bound on each step of an attempt, so that a stop waits for little.
  static constexpr int ATTEMPT_TIMEOUT_MS = 1000;

  SessionRejoiner() = default;
  ~SessionRejoiner() { stop(); }
  SessionRejoiner(const SessionRejoiner&) = delete;
  SessionRejoiner& operator=(const SessionRejoiner&) = delete;

  // Render thread: the lost link is ended on the rejoin thread (its threads are joined there,
  // not in a frame), then the attempts begin. Nothing when attempts are already running.
  void start(const Address& address, std::unique_ptr<Link> lost);
  // Render thread: the joined link, its threads running, once an attempt succeeded; else null.
  std::unique_ptr<Link> take();
  // GUI thread: ends the attempts without waiting for the next (only for one under way).
  void stop();

 private:
  // Rejoin thread.
  void run(Address address, std::unique_ptr<Link> lost);

  mutable std::mutex _mutex;
  std::condition_variable _wake;
  std::thread _thread;
  bool _stop = false;
  bool _running = false;
  std::unique_ptr<Link> _joined;
};
