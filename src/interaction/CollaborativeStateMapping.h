#pragma once
// Between the local VR scene of one render buffer and what the collaborative session exchanges:
// the shared state (seeds, plane sections, iso values, clip planes, scene size, the shareable
// UI states) both ways, the other participants' client states into avatars and peer tools,
// and the local participant's own client state. Render thread only.
#include <vector>

#include "CollaborativeScene.h"

class VRInteractionState;

void StoreSceneInSharedState(VRInteractionState& state, kvg::VRSharedState& shared, kvg::DrawableSession* session);
void ApplySharedStateToScene(VRInteractionState& state, const kvg::VRSharedState& shared, vtkRenderer* renderer,
                             OpenVRRenderWindow& window, kvg::DrawableSession* session,
                             const ShareableStateMask& localMask);
void ApplyCollaborativeClientState(VRInteractionState& state, const std::vector<kvg::VRClientState>& clients,
                                   OpenVRRenderWindow& window, kvg::DrawableScene& scene,
                                   const ShareableStateMask& localMask);

// Steps of the three above.
void CollectSeedPoints(VRInteractionState& state, std::vector<double>& out);
void CollectPlaneSections(VRInteractionState& state, std::vector<double>& out);
void CollectClipPlanes(VRInteractionState& state, std::vector<double>& out);
void CollectIsoValues(VRInteractionState& state, std::vector<kvg::VRSharedState::IsoValue>& out);
void CreateSeedMarkers(VRInteractionState& state, const kvg::VRSharedState& shared, vtkRenderer* renderer,
                       kvg::DrawableSession* session);
void CreatePlaneSectionMarkers(VRInteractionState& state, const kvg::VRSharedState& shared, vtkRenderer* renderer);
void ApplySharedIsoValues(VRInteractionState& state, const kvg::VRSharedState& shared, OpenVRRenderWindow& window);
void ApplySharedClipPlanes(VRInteractionState& state, const kvg::VRSharedState& shared);
void ApplyPeerSeeds(VRInteractionState& state, const std::vector<kvg::VRClientState>& clients,
                    kvg::DrawableSession* session);
void ApplyPeerPlaneSections(VRInteractionState& state, const std::vector<kvg::VRClientState>& clients);
void ApplyPeerIsoValues(VRInteractionState& state, const std::vector<kvg::VRClientState>& clients);
void ApplyPeerClipPlanes(VRInteractionState& state, const std::vector<kvg::VRClientState>& clients);

// The interactive plane section as origin, up, right; all NO_TOOL without one.
void interactivePlaneSectionFrame(const VRInteractionState& state, double out[9]);
// The interactive clip plane as origin, normal; all NO_TOOL without one.
void interactiveClipPlane(const VRInteractionState& state, double out[6]);
// The local participant's whole VR situation into client (fresh; tools not in use NO_TOOL).
void FillClientState(VRInteractionState& state, kvg::VRClientState& client, kvg::DrawableSession* session);

// The interaction layer's side of the collaborative session: the functions above.
class InteractionCollaborativeScene : public CollaborativeScene {
 public:
  void storeScene(VRInteractionState& state, kvg::VRSharedState& shared, kvg::DrawableSession* session) override;
  void applySharedState(VRInteractionState& state, const kvg::VRSharedState& shared, vtkRenderer* renderer,
                        OpenVRRenderWindow& window, kvg::DrawableSession* session,
                        const ShareableStateMask& localMask) override;
  void applyClientStates(VRInteractionState& state, const std::vector<kvg::VRClientState>& clients,
                         OpenVRRenderWindow& window, kvg::DrawableScene& scene,
                         const ShareableStateMask& localMask) override;
  void fillClientState(VRInteractionState& state, kvg::VRClientState& client, kvg::DrawableSession* session) override;
  void headPose(const VRInteractionState& state, double pose[16]) override;
};
