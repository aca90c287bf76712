#include "CollabSession.h"

#include <algorithm>

#include "Configuration.h"

CollabSession::CollabSession() = default;

CollabSession::~CollabSession() = default;

void CollabSession::reset() {
  _sceneKey.clear();
  _debugAvatarCount = std::max(0, GetConfigInt("numDebugAvatars", 0));
  _clientStateSent = false;
}

void CollabSession::setSceneKey(const std::string& key) {
  if (key == _sceneKey) return;
  _sceneKey = key;
  _clientStateSent = false;
}

bool CollabSession::connect(ServerConnection& connection) {
  // The state listener and updaters of the collaborative service come with the collaboration
  // protocol; until then no service can be reached and the scene opens without collaboration.
  _connected = false;
  return false;
}

// Without a connection there are no threads to start and nothing to exchange.
void CollabSession::startThreads() {}

bool CollabSession::applyRemoteState(VRInteractionState& state, OpenVRRenderWindow& window, kvg::DrawableScene& scene) {
  return false;
}

bool CollabSession::publishLocalState(VRInteractionState& state, kvg::DrawableScene& scene) { return false; }

uint32_t CollabSession::getCID() const { return _connected ? _colorID : 0; }
uint32_t CollabSession::getTS() const { return _connected ? _stateID : 0; }
