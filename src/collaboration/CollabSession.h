#pragma once
// The client side of the collaborative mode, embedded in the scene view and constructed empty
// with it: no listener, no updaters, empty share mask and scene key, not connected. While it
// is not connected its frame operations do nothing, so a scene without collaboration runs on.
//
// A failed receive or send ends the connection: the frame operations say so once, drop the
// avatars, keep the scene, and take the connections of the next successful rejoin attempt.
//
// Threads: reset, setSceneKey and startThreads on the GUI thread (reset under the view
// mutex), connect on the scene loader thread, the frame operations on the render thread, the
// rejoin attempts on the rejoiner's own thread.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "CVRStateListener.h"
#include "CVRStateUpdater.h"
#include "CollaborativeScene.h"
#include "SessionRejoiner.h"
#include "kvg/ShareableStateMask.h"
#include "kvg/VRSharedState.h"

class OpenVRRenderWindow;
class ServerConnection;
class VRInteractionState;
namespace kvg {
class DrawableScene;
}

class CollabSession {
 public:
  CollabSession();
  // Ends and joins the listener and updater threads when there are any.
  ~CollabSession();
  CollabSession(const CollabSession&) = delete;
  CollabSession& operator=(const CollabSession&) = delete;

  // Drops the last published shared state, the listener and the updaters, empties the scene
  // key and sizes the debug-avatar lists from "numDebugAvatars" (default 0).
  void reset();
  // Stores the key when it differs from the stored one.
  void setSceneKey(const std::string& key);
  const std::string& getSceneKey() const { return _sceneKey; }
  // Connects to the collaborative service on the view's fourth server connection: the
  // client-state updater, then the listener, then the shared-state updater on the first one's
  // connection and the debug avatars' pairs. False (either of the first two failed, each bounded
  // by the connection's time-out) leaves the session unconnected.
  bool connect(ServerConnection& connection);
  // Starts the listener and updater threads when connected; otherwise nothing.
  void startThreads();
  bool isConnected() const { return _connected; }
  // Listener and both updaters exist and the connection succeeded.
  bool isReady() const { return _connected && _listener && _clientStateUpdater && _sharedStateUpdater; }
  // GUI thread: which UI states this user shares (handed to the render thread through an
  // atomic word). Widening it makes the next received shared state apply in full.
  void setShareMask(const ShareableStateMask& mask);
  ShareableStateMask getShareMask() const { return ShareableStateMask::fromState(_shareMask.load()); }
  bool isMaskWidened() const { return _maskWidened; }

  // The receiving and sending ends (null while not connected); the frame operations use them.
  CVRStateListener* getListener() { return _listener.get(); }
  CVRStateUpdater* getClientStateUpdater() { return _clientStateUpdater.get(); }
  CVRStateUpdater* getSharedStateUpdater() { return _sharedStateUpdater.get(); }
  const std::vector<std::unique_ptr<CVRStateUpdater>>& getDebugUpdaters() const { return _debugUpdaters; }
  const std::vector<std::unique_ptr<CVRStateListener>>& getDebugListeners() const { return _debugListeners; }

  // Render thread, every frame before the interaction update: turns received client states
  // into avatars and applies a newer shared state. False (nothing done) when not connected.
  bool applyRemoteState(VRInteractionState& state, OpenVRRenderWindow& window, kvg::DrawableScene& scene);
  // Render thread, every frame after the interaction update: queues the local shared and
  // client states when they changed. False (nothing done) when not connected.
  bool publishLocalState(VRInteractionState& state, kvg::DrawableScene& scene);
  // Render thread: the reason the service gave for refusing this participant, once; empty
  // afterwards and while there is none.
  std::string takeRefusal();

  // The colour id ("CID") and state id ("TS") the service gave this client; 0 when not
  // connected.
  // The interaction layer's side of the frame operations; borrowed, outlives the session. Without
  // one the frame operations do nothing.
  void setScene(CollaborativeScene* scene) { _scene = scene; }
  // Shared states queued since the last connect (for the idle-rate figures).
  uint64_t publishedSharedStates() const { return _sharedStatesPublished; }

  uint32_t getCID() const;
  uint32_t getTS() const;

  // Called on the render thread when the connection to the service is lost (false) and when
  // the session is joined again (true). Set before the threads start.
  void setLinkObserver(std::function<void(bool joined)> observer) { _linkObserver = std::move(observer); }
  int debugAvatarCount() const { return int(_debugUpdaters.size()); }

 private:
  std::unique_ptr<kvg::VRSharedState> _lastSharedState;
  std::atomic<unsigned> _shareMask{0};    // written on the GUI thread, read on the render thread
  std::atomic<bool> _maskWidened{false};
  bool _clientStateSent = false;
  std::unique_ptr<CVRStateListener> _listener;
  std::unique_ptr<CVRStateUpdater> _sharedStateUpdater;
  std::unique_ptr<CVRStateUpdater> _clientStateUpdater;
  std::vector<std::unique_ptr<CVRStateUpdater>> _debugUpdaters;
  std::vector<std::unique_ptr<CVRStateListener>> _debugListeners;
  std::string _sceneKey;
  std::atomic<bool> _connected{false};
  CollaborativeScene* _scene = nullptr;
  // Mask word of the last shared state this client queued; a state is re-sent for a changed mask
  // only, not for a peer whose mask differs (two such peers would answer each other forever).
  unsigned _publishedMask = ~0u;
  std::atomic<uint64_t> _sharedStatesPublished{0};
  // Stamp of the last shared state reported as published (render thread).
  unsigned _reportedStamp = 0;
  bool _refusalTaken = false;  // render thread
  std::string _refusal;        // render thread: the service's reason, kept once the link is given up

  // Render thread: a failed receive or send ends the link: said once, the avatars go, the own
  // items stay, and joining again begins.
  bool linkBroken() const;
  void loseLink(VRInteractionState& state, OpenVRRenderWindow& window, kvg::DrawableScene& scene);
  // Render thread: takes a link the rejoiner made; true when the session is joined again.
  bool adoptRejoinedLink();
  SessionRejoiner::Address _address;
  bool _lost = false;  // render thread; GUI thread in reset
  std::function<void(bool)> _linkObserver;
  // Declared last: stopped first on destruction, before the links it may hand over.
  SessionRejoiner _rejoiner;
};
