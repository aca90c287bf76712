#include "Thread.h"

#include <pthread.h>

Thread::Thread(Runnable* runnable, std::string name) : _runnable(runnable), _name(std::move(name)) {}

Thread::~Thread() {
  if (_thread.joinable()) {
    if (isCurrent()) _thread.detach();
    else _thread.join();
  }
}

bool Thread::start() {
  if (_started || !_runnable) return false;
  _started = true;
  _running = true;
  _thread = std::thread([this] {
    if (!_name.empty()) pthread_setname_np(pthread_self(), _name.substr(0, 15).c_str());
    _runnable->run();
    _running = false;
  });
  return true;
}

bool Thread::join() {
  if (!_thread.joinable() || isCurrent()) return false;
  _thread.join();
  return true;
}
