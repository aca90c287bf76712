#include "CollabSession.h"

#include <algorithm>

#include "Configuration.h"
#include "ServerConnection.h"

namespace {

// Debug avatar i connects with the connection's value moved by this much per avatar.
constexpr int64_t DEBUG_AVATAR_VALUE_STEP = 100000;

}  // namespace

CollabSession::CollabSession() = default;

// The client-state updater goes before the shared-state updater that borrows its connection:
// the first sends "close", the second then finds nothing to close.
CollabSession::~CollabSession() {
  _listener.reset();
  _clientStateUpdater.reset();
  _sharedStateUpdater.reset();
  _debugUpdaters.clear();
  _debugListeners.clear();
}

// GUI thread, under the view mutex.
void CollabSession::reset() {
  _lastSharedState.reset();
  _listener.reset();
  _clientStateUpdater.reset();
  _sharedStateUpdater.reset();
  _sceneKey.clear();
  const size_t count = size_t(std::max(0, GetConfigInt("numDebugAvatars", 0)));
  _debugUpdaters.resize(count);
  _debugListeners.resize(count);
  for (auto& updater : _debugUpdaters) updater.reset();
  for (auto& listener : _debugListeners) listener.reset();
  _clientStateSent = false;
}

// GUI thread.
void CollabSession::setSceneKey(const std::string& key) {
  if (key != _sceneKey) {
    _sceneKey = key;
    _clientStateSent = false;
  }
  if (_listener) _listener->setSceneKey(_sceneKey);
  if (_clientStateUpdater) _clientStateUpdater->setSceneKey(_sceneKey);
  if (_sharedStateUpdater) _sharedStateUpdater->setSceneKey(_sceneKey);
  for (auto& updater : _debugUpdaters)
    if (updater) updater->setSceneKey(_sceneKey);
}

// Scene loader thread, while the GUI thread waits for it.
bool CollabSession::connect(ServerConnection& connection) {
  _listener = std::make_unique<CVRStateListener>();
  _clientStateUpdater = std::make_unique<CVRStateUpdater>();
  _listener->setSceneKey(_sceneKey);
  _clientStateUpdater->setSceneKey(_sceneKey);
  const int64_t value = connection.getConnectionId();
  _connected = _clientStateUpdater->connect(connection, value) && _listener->connect(connection, value);
  if (!_connected) return false;

  _sharedStateUpdater = std::make_unique<CVRStateUpdater>(*_clientStateUpdater);
  _sharedStateUpdater->setSceneKey(_sceneKey);
  for (size_t i = 0; i < _debugUpdaters.size(); ++i) {
    _debugUpdaters[i] = std::make_unique<CVRStateUpdater>();
    _debugUpdaters[i]->setSceneKey(_sceneKey);
    _debugUpdaters[i]->connect(connection, value + DEBUG_AVATAR_VALUE_STEP * int64_t(i + 1));
  }
  for (size_t i = 0; i < _debugListeners.size(); ++i) {
    _debugListeners[i] = std::make_unique<CVRStateListener>();
    _debugListeners[i]->setSceneKey(_sceneKey);
    _debugListeners[i]->connect(connection, value + DEBUG_AVATAR_VALUE_STEP * int64_t(i + 1));
  }
  _clientStateSent = false;
  return true;
}

// GUI thread, at the end of a server-scene opening.
void CollabSession::startThreads() {
  if (!_connected) return;
  if (_listener) _listener->start();
  if (_clientStateUpdater) _clientStateUpdater->start();
  if (_sharedStateUpdater) _sharedStateUpdater->start();
  for (auto& updater : _debugUpdaters)
    if (updater) updater->start();
  for (auto& listener : _debugListeners)
    if (listener) listener->start();
}

// GUI thread.
void CollabSession::setShareMask(const ShareableStateMask& mask) {
  if (!ShareableStateMask::fromState(_shareMask.load()).contains(mask)) _maskWidened = true;
  _shareMask = mask.getState();
  if (_lastSharedState) _lastSharedState->setShareableStateMask(mask.getState());
}

bool CollabSession::applyRemoteState(VRInteractionState& state, OpenVRRenderWindow& window, kvg::DrawableScene& scene) {
  return false;
}

bool CollabSession::publishLocalState(VRInteractionState& state, kvg::DrawableScene& scene) { return false; }

uint32_t CollabSession::getCID() const {
  return isReady() ? _clientStateUpdater->getConnectionIds().first : 0;
}

uint32_t CollabSession::getTS() const {
  return isReady() ? _clientStateUpdater->getConnectionIds().second : 0;
}
