#pragma once
// A thread that runs a Runnable's run() once. The Runnable is not owned.
#include <atomic>
#include <string>
#include <thread>

#include "Runnable.h"

class Thread {
 public:
  explicit Thread(Runnable* runnable, std::string name = std::string());
  // Joins a started thread that was not joined yet.
  ~Thread();
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;

  // False when already started or when there is nothing to run.
  bool start();
  // Waits for run() to return; false when never started or called on the thread itself.
  bool join();
  bool isRunning() const { return _running.load(); }
  bool isCurrent() const { return _thread.get_id() == std::this_thread::get_id(); }

 private:
  Runnable* _runnable;
  std::string _name;
  std::thread _thread;
  std::atomic<bool> _running{false};
  bool _started = false;
};
