#include "SessionRejoiner.h"

#include <algorithm>
#include <chrono>

#include "Logger.h"
#include "ServerConnection.h"

// Render thread.
void SessionRejoiner::start(const Address& address, std::unique_ptr<Link> lost) {
  std::lock_guard<std::mutex> lock(_mutex);
  if (_running || _stop) return;
  if (_thread.joinable()) _thread.join();  // a finished run: returns at once
  _running = true;
  _thread = std::thread(&SessionRejoiner::run, this, address, std::move(lost));
}

// Render thread.
std::unique_ptr<SessionRejoiner::Link> SessionRejoiner::take() {
  std::lock_guard<std::mutex> lock(_mutex);
  return std::move(_joined);
}

// GUI thread.
void SessionRejoiner::stop() {
  {
    std::lock_guard<std::mutex> lock(_mutex);
    _stop = true;
  }
  _wake.notify_all();
  if (_thread.joinable()) _thread.join();
  std::lock_guard<std::mutex> lock(_mutex);
  _joined.reset();
  _running = false;
  _stop = false;
}

// Rejoin thread.
void SessionRejoiner::run(Address address, std::unique_ptr<Link> lost) {
  lost.reset();
  ServerConnection connection;
  connection.setHost(address.host);
  connection.setPort(address.port);
  connection.setTimeout(std::min(address.timeoutMs, ATTEMPT_TIMEOUT_MS));
  int pause = FIRST_PAUSE_MS;
  for (int attempt = 1; attempt <= MAX_ATTEMPTS; ++attempt) {
    {
      std::unique_lock<std::mutex> lock(_mutex);
      if (_wake.wait_for(lock, std::chrono::milliseconds(pause), [this] { return _stop; })) {
        _running = false;
        return;
      }
    }
    pause = std::min(pause * 2, LONGEST_PAUSE_MS);
    auto link = std::make_unique<Link>();
    link->clientStateUpdater = std::make_unique<CVRStateUpdater>();
    link->listener = std::make_unique<CVRStateListener>();
    link->clientStateUpdater->setSceneKey(address.sceneKey);
    link->listener->setSceneKey(address.sceneKey);
    if (!link->clientStateUpdater->connect(connection, address.value) ||
        !link->listener->connect(connection, address.value))
      continue;
    link->sharedStateUpdater = std::make_unique<CVRStateUpdater>(*link->clientStateUpdater);
    link->sharedStateUpdater->setSceneKey(address.sceneKey);
    link->listener->start();
    link->clientStateUpdater->start();
    link->sharedStateUpdater->start();
    std::lock_guard<std::mutex> lock(_mutex);
    if (!_stop) _joined = std::move(link);
    _running = false;
    return;
  }
  Logger::getSingleton().warning("Shared session not joined again after " + std::to_string(MAX_ATTEMPTS) +
                                 " attempts; the scene goes on alone");
  std::lock_guard<std::mutex> lock(_mutex);
  _running = false;
}
