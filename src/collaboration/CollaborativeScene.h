#pragma once
// What the collaborative session needs from the layer that owns the interaction state: the
// scene and shared-state mapping and the own client state. The interaction layer implements
// it; the scene view hands the implementation to its session. Every operation runs on the
// render thread inside the session's frame operations.
#include <vector>

#include "kvg/ShareableStateMask.h"
#include "VRClientState.h"
#include "kvg/VRSharedState.h"

class OpenVRRenderWindow;
class VRInteractionState;
class vtkRenderer;
namespace kvg {
class DrawableScene;
class DrawableSession;
}  // namespace kvg

class CollaborativeScene {
 public:
  virtual ~CollaborativeScene() = default;
  // The local scene settings into shared.
  virtual void storeScene(VRInteractionState& state, kvg::VRSharedState& shared, kvg::DrawableSession* session) = 0;
  // A received shared state into the local scene, as far as both masks allow.
  virtual void applySharedState(VRInteractionState& state, const kvg::VRSharedState& shared, vtkRenderer* renderer,
                                OpenVRRenderWindow& window, kvg::DrawableSession* session,
                                const ShareableStateMask& localMask) = 0;
  // The other participants' client states: avatars and their tools.
  virtual void applyClientStates(VRInteractionState& state, const std::vector<kvg::VRClientState>& clients,
                                 OpenVRRenderWindow& window, kvg::DrawableScene& scene,
                                 const ShareableStateMask& localMask) = 0;
  // The local participant's client state (every tool field NO_TOOL unless in use).
  virtual void fillClientState(VRInteractionState& state, kvg::VRClientState& client, kvg::DrawableSession* session) = 0;
  // The head pose kept beside the interaction state (rotation with the position as translation).
  virtual void headPose(const VRInteractionState& state, double pose[16]) = 0;
};
