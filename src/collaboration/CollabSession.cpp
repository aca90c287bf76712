#include "CollabSession.h"

#include <algorithm>
#include <iostream>

#include "Configuration.h"
#include "Logger.h"
#include "ServerConnection.h"
#include "SharedStateMerge.h"
#include "kvg/DrawableScene.h"
#include "kvg/SceneCanvasRenderer.h"

namespace {

// Debug avatar i connects with the connection's value moved by this much per avatar.
constexpr int64_t DEBUG_AVATAR_VALUE_STEP = 100000;

}  // namespace

CollabSession::CollabSession() = default;

// The client-state updater goes before the shared-state updater that borrows its connection:
// the first sends "close", the second then finds nothing to close.
CollabSession::~CollabSession() {
  _rejoiner.stop();
  _listener.reset();
  _clientStateUpdater.reset();
  _sharedStateUpdater.reset();
  _debugUpdaters.clear();
  _debugListeners.clear();
}

// GUI thread, under the view mutex.
void CollabSession::reset() {
  _rejoiner.stop();
  _lost = false;
  _refusal.clear();
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
  _address = {connection.getHost(), connection.getPort(), connection.getTimeout(), value, _sceneKey};
  _lost = false;

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
  _publishedMask = ~0u;
  _sharedStatesPublished = 0;
  _reportedStamp = 0;
  _refusalTaken = false;
  _refusal.clear();
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
// The last shared state is the render thread's: it takes the new mask at its next frame.
void CollabSession::setShareMask(const ShareableStateMask& mask) {
  const unsigned previous = _shareMask.exchange(mask.getState());
  if (!ShareableStateMask::fromState(previous).contains(mask)) _maskWidened = true;
}

namespace {

// The vtk renderer of the scene's model renderer, null when the scene has none.
vtkRenderer* modelRenderer(kvg::DrawableScene& scene) {
  kvg::SceneCanvasRenderer* model = scene.hasModelRenderer();
  return model ? model->getVTKRenderer() : nullptr;
}

}  // namespace

// Render thread, every frame before the interaction update.
bool CollabSession::applyRemoteState(VRInteractionState& state, OpenVRRenderWindow& window, kvg::DrawableScene& scene) {
  vtkRenderer* renderer = modelRenderer(scene);
  if (!_connected || !_scene || !renderer) return false;
  if (!_lost && linkBroken()) loseLink(state, window, scene);
  if (_lost && !adoptRejoinedLink()) {
    // Each buffer's avatars go (an empty list removes them; nothing once they are gone).
    _scene->applyClientStates(state, {}, window, scene, getShareMask());
    return true;
  }
  if (!isReady()) return false;
  const ShareableStateMask mask = getShareMask();
  if (!_lastSharedState) {
    _lastSharedState = std::make_unique<kvg::VRSharedState>();
    _scene->storeScene(state, *_lastSharedState, scene.getSession());
  }
  _lastSharedState->setShareableStateMask(mask.getState());

  std::vector<kvg::VRClientState> clients;
  _listener->getClientStates(clients);
  _scene->applyClientStates(state, clients, window, scene, mask);

  kvg::VRSharedState received;
  _listener->getSharedState(received);
  const unsigned stamp = received.getTimeStamp();
  if (stamp == 0) return true;
  const unsigned last = _lastSharedState->getTimeStamp();
  // Only a newer state counts: an older one (say a late joiner's first, still empty scene) must
  // not take back what the others have built since.
  if (last != 0 && stamp < last) return true;
  if (last == 0) _maskWidened = true;
  const bool apply = _maskWidened || (stamp > last && received != *_lastSharedState &&
                                      received.getID() != int(_sharedStateUpdater->getConnectionIds().second));
  if (apply) {
    // Edits made here since the last accepted state and not in the received one (published with
    // the same stamp as the received, which the service refused) survive it: they are applied
    // along with it and go out with the next stamp, as the scene now differs from the received.
    kvg::VRSharedState local;
    local.setShareableStateMask(mask.getState());
    _scene->storeScene(state, local, scene.getSession());
    const bool ownEdits = received.getID() != int(_sharedStateUpdater->getConnectionIds().second) &&
                          local != *_lastSharedState;
    const kvg::VRSharedState merged = ownEdits ? MergeUnpublishedEdits(*_lastSharedState, local, received) : received;
    _scene->applySharedState(state, merged, renderer, window, scene.getSession(), mask);
  }
  _lastSharedState->copyState(received);
  _maskWidened = false;
  return true;
}

// Render thread, every frame after the interaction update.
bool CollabSession::publishLocalState(VRInteractionState& state, kvg::DrawableScene& scene) {
  if (!isReady() || !_scene || !modelRenderer(scene) || !_lastSharedState) return false;
  const ShareableStateMask mask = getShareMask();
  auto shared = std::make_unique<kvg::VRSharedState>();
  shared->setShareableStateMask(mask.getState());
  _scene->storeScene(state, *shared, scene.getSession());
  // Sent while the scene differs from the last accepted state (the same stamp again until the
  // service echoes it) and once for a changed mask.
  if (*shared != *_lastSharedState || mask.getState() != _publishedMask) {
    shared->setTimeStamp(_lastSharedState->getTimeStamp() + 1);
    // One line per new stamp (the same stamp goes again each frame until the service echoes it).
    if (shared->getTimeStamp() != _reportedStamp) {
      _reportedStamp = shared->getTimeStamp();
      std::cerr << "Shared scene " << _reportedStamp << " published" << std::endl;
    }
    _publishedMask = mask.getState();
    _sharedStateUpdater->queueState(std::move(shared));
    ++_sharedStatesPublished;
  }

  if (!_listener->isEmpty() || !_clientStateSent) {
    auto client = std::make_unique<kvg::VRClientState>();
    _scene->fillClientState(state, *client, scene.getSession());
    client->setShareableStateMask(mask.getState());
    _clientStateUpdater->queueState(std::move(client));
    _clientStateSent = true;
  }

  int colour = 0;
  for (size_t k = 0; k < _debugUpdaters.size(); ++k) {
    CVRStateUpdater* updater = _debugUpdaters[k].get();
    if (!updater) continue;
    auto client = std::make_unique<kvg::VRClientState>();
    _scene->fillClientState(state, *client, scene.getSession());
    double model[16] = {1, 0, 0, 0.5 * double(k), 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    client->setModel(model);
    double view[16];
    _scene->headPose(state, view);
    client->setView(view);
    client->setModelScale(1.0);
    const auto ids = updater->getConnectionIds();
    client->setBoxVis(client->getCompanionID() == int(ids.second));
    client->setColorID(ids.first);
    client->setCompanionID(-1);
    client->setCurrentAvatarColorID(colour % 16);
    client->setPreviousAvatarColorID(colour % 16);
    client->setNextAvatarColorID(colour % 16);
    colour += 7;
    const double none[9] = {kvg::VRClientState::NO_TOOL, kvg::VRClientState::NO_TOOL, kvg::VRClientState::NO_TOOL,
                            kvg::VRClientState::NO_TOOL, kvg::VRClientState::NO_TOOL, kvg::VRClientState::NO_TOOL,
                            kvg::VRClientState::NO_TOOL, kvg::VRClientState::NO_TOOL, kvg::VRClientState::NO_TOOL};
    client->setSeedPoint(none);
    client->setClipPlane(none);
    client->setPlaneSection(none);
    client->setShareableStateMask(mask.getState());
    updater->queueState(std::move(client));
  }
  return true;
}

// Render thread.
std::string CollabSession::takeRefusal() {
  if (_refusalTaken) return std::string();
  std::string reason = _refusal.empty() && _listener ? _listener->refusal() : _refusal;
  _refusalTaken = !reason.empty();
  return reason;
}

// Render thread.
bool CollabSession::linkBroken() const {
  return isReady() && (_listener->hasEnded() || _clientStateUpdater->hasFailed());
}

// Render thread.
void CollabSession::loseLink(VRInteractionState& state, OpenVRRenderWindow& window, kvg::DrawableScene& scene) {
  _refusal = _listener->refusal();
  if (!_refusal.empty()) {
    // A refused participant stays out: joining again would only be refused again.
    _lost = true;
    _scene->applyClientStates(state, {}, window, scene, getShareMask());
    return;
  }
  const std::string why = _listener->hasEnded() ? "the connection from the service ended"
                                                : "a state could not be sent to the service";
  Logger::getSingleton().warning("Lost the shared session: " + why + "; joining it again when the service is back");
  auto lost = std::make_unique<SessionRejoiner::Link>();
  lost->listener = std::move(_listener);
  lost->clientStateUpdater = std::move(_clientStateUpdater);
  lost->sharedStateUpdater = std::move(_sharedStateUpdater);
  _lost = true;
  _rejoiner.start(_address, std::move(lost));
  _scene->applyClientStates(state, {}, window, scene, getShareMask());
  if (_linkObserver) _linkObserver(false);
}

// Render thread.
bool CollabSession::adoptRejoinedLink() {
  std::unique_ptr<SessionRejoiner::Link> link = _rejoiner.take();
  if (!link) return false;
  _listener = std::move(link->listener);
  _clientStateUpdater = std::move(link->clientStateUpdater);
  _sharedStateUpdater = std::move(link->sharedStateUpdater);
  _lost = false;
  // The newcomer introduces itself and offers its scene again (the service may have lost it);
  // the first received state merges with what was made meanwhile.
  _clientStateSent = false;
  _publishedMask = ~0u;
  std::cerr << "Shared session joined again as " << _clientStateUpdater->getConnectionIds().second << std::endl;
  if (_linkObserver) _linkObserver(true);
  return true;
}

uint32_t CollabSession::getCID() const {
  return isReady() ? _clientStateUpdater->getConnectionIds().first : 0;
}

uint32_t CollabSession::getTS() const {
  return isReady() ? _clientStateUpdater->getConnectionIds().second : 0;
}
