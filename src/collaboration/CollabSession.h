#pragma once
// The client side of the collaborative mode, embedded in the scene view and constructed empty
// with it: no listener, no updaters, empty share mask and scene key, not connected. While it
// is not connected its frame operations do nothing, so a scene without collaboration runs on.
//
// Threads: reset, setSceneKey and startThreads on the GUI thread (reset under the view
// mutex), connect on the scene loader thread, the frame operations on the render thread.
#include <atomic>
#include <cstdint>
#include <string>

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
  // Connects to the collaborative service on the view's fourth server connection; false leaves
  // the session unconnected.
  bool connect(ServerConnection& connection);
  // Starts the listener and updater threads when connected; otherwise nothing.
  void startThreads();
  bool isConnected() const { return _connected; }

  // Render thread, every frame before the interaction update: turns received client states
  // into avatars and applies a newer shared state. False (nothing done) when not connected.
  bool applyRemoteState(VRInteractionState& state, OpenVRRenderWindow& window, kvg::DrawableScene& scene);
  // Render thread, every frame after the interaction update: queues the local shared and
  // client states when they changed. False (nothing done) when not connected.
  bool publishLocalState(VRInteractionState& state, kvg::DrawableScene& scene);

  // The colour id ("CID") and state id ("TS") the service gave this client; 0 when not
  // connected.
  uint32_t getCID() const;
  uint32_t getTS() const;
  int debugAvatarCount() const { return _debugAvatarCount; }

 private:
  std::string _sceneKey;
  std::atomic<bool> _connected{false};
  bool _clientStateSent = false;
  uint32_t _colorID = 0;
  uint32_t _stateID = 0;
  int _debugAvatarCount = 0;
};
