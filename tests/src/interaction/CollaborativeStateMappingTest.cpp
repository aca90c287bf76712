// The mapping between the local scene and the collaborative states: received items this buffer
// cannot show travel on unchanged, peers' unused tools contribute nothing, and the own client
// state marks every tool not in use.
#include <gtest/gtest.h>

#include <vtkDoubleArray.h>
#include <vtkImageData.h>
#include <vtkPlane.h>
#include <vtkPointData.h>

#include "CollaborativeStateMapping.h"
#include "InteractionFixtures.h"
#include "ParticleAdvectionManager.h"
#include "VRInteractionState.h"
#include "VrTestSupport.h"

namespace {

constexpr double NO = kvg::VRClientState::NO_TOOL;

// A flow along +x through the cube 0..4 in every axis.
void addFlow(kvg::DrawableSession* session) {
  auto image = vtkSmartPointer<vtkImageData>::New();
  image->SetDimensions(5, 5, 5);
  vtkNew<vtkDoubleArray> velocity;
  velocity->SetName("velocity");
  velocity->SetNumberOfComponents(3);
  for (vtkIdType i = 0; i < 125; ++i) velocity->InsertNextTuple3(1.0, 0.0, 0.0);
  image->GetPointData()->SetVectors(velocity);
  kvg::VolumeSource source;
  source.name = "flow";
  source.data = image;
  kvg::ParticleAdvectionManager::getSingleton(session).setVolumes({source});
}

}  // namespace

TEST(CollaborativeStateMapping, ReceivedItemsThisBufferCannotShowArePublishedAgainAsReceived) {
  ScopedBaseDir base;
  BoxScene box;
  addFlow(box.session());
  VRInteractionState state{nullptr};
  kvg::VRSharedState received;
  // The first seed lies outside this buffer's volume, the second inside.
  received.setSeedPoints({100, 100, 100, 2, 2, 2});
  // Two clip planes and no local clip marker.
  received.setClipPlanes({1, 1, 1, 0, 1, 0, 1, 0, 0, 2, 2, 2, 0, 0, 1, 0, 1, 0});
  CreateSeedMarkers(state, received, box.renderer(), box.session());
  ApplySharedClipPlanes(state, received);

  EXPECT_EQ(state.seedMarkers.size(), 1u);
  EXPECT_EQ(kvg::ParticleAdvectionManager::getSingleton(box.session()).getSeedPositions().size(), 1u);
  EXPECT_EQ(state.clipPlanes.size(), 2u);
  double normal[3];
  state.clipPlanes[0]->GetNormal(normal);
  EXPECT_DOUBLE_EQ(normal[2], 1.0);  // normalise(e2 x e1)

  kvg::VRSharedState published;
  StoreSceneInSharedState(state, published, box.session());
  EXPECT_EQ(published.getSeedPoints(), received.getSeedPoints());
  EXPECT_EQ(published.getClipPlanes(), received.getClipPlanes());

  // Zero plane sections received: none kept.
  state.persistentPlaneSections.emplace_back();
  CreatePlaneSectionMarkers(state, kvg::VRSharedState(), box.renderer());
  EXPECT_TRUE(state.persistentPlaneSections.empty());
  EXPECT_TRUE(state.planeSectionMarkers.empty());
}

TEST(CollaborativeStateMapping, PeersToolsAndTheOwnClientState) {
  ScopedBaseDir base;
  BoxScene box;
  addFlow(box.session());
  VRInteractionState state{nullptr};

  kvg::VRClientState idle, busy;
  const double none[9] = {NO, NO, NO, NO, NO, NO, NO, NO, NO};
  idle.setSeedPoint(none);
  idle.setClipPlane(none);
  idle.setPlaneSection(none);
  idle.setIsoField({"", 0.5});  // a value without a field counts for nothing
  const double seed[3] = {1, 1, 1};
  const double clip[6] = {1, 1, 1, 0, 0, 1};
  const double section[9] = {1, 1, 1, 0, 1, 0, 1, 0, 0};
  busy.setSeedPoint(seed);
  busy.setClipPlane(clip);
  busy.setPlaneSection(section);
  busy.setIsoField({"pressure", 0.25});
  const std::vector<kvg::VRClientState> clients = {idle, busy};
  state.maxClipPlanes = 6;
  ApplyPeerSeeds(state, clients, box.session());
  ApplyPeerPlaneSections(state, clients);
  ApplyPeerIsoValues(state, clients);
  ApplyPeerClipPlanes(state, clients);
  EXPECT_EQ(kvg::ParticleAdvectionManager::getSingleton(box.session()).getCollaborativeClientSeeds().size(), 1u);
  EXPECT_EQ(state.peerPlaneSections.size(), 1u);
  ASSERT_EQ(state.peerIsoValues.size(), 1u);
  EXPECT_EQ(state.peerIsoValues[0].first, "pressure");
  EXPECT_EQ(state.peerClipPlanes.size(), 1u);
  // The others' clip planes count against the limit: the scene's planes, the kept ones and the
  // own interactive one come first.
  const struct {
    int scenePlanes;
    size_t kept;
    size_t peers;
  } limits[] = {{0, 4, 1}, {0, 5, 0}, {2, 3, 0}, {6, 0, 0}};
  for (const auto& limit : limits) {
    state.sceneClipPlaneCount = limit.scenePlanes;
    state.clipPlanes.clear();
    for (size_t i = 0; i < limit.kept; ++i) state.clipPlanes.push_back(vtkSmartPointer<vtkPlane>::New());
    ApplyPeerClipPlanes(state, {busy, busy, busy});
    EXPECT_EQ(state.peerClipPlanes.size(), limit.peers) << limit.scenePlanes << " " << limit.kept;
  }
  state.sceneClipPlaneCount = 0;
  state.clipPlanes.clear();

  // A user with no tool in hand sends no seed, plane or clip plane (a default state would send
  // a seed at the origin).
  kvg::VRClientState own;
  state.interactiveIsoValue = NO;
  FillClientState(state, own, box.session());
  EXPECT_EQ(own.toolKind(), kvg::VRClientState::NoTool);
  EXPECT_EQ(own.getSeedPoint()[0], NO);
  EXPECT_EQ(own.getClipPlane()[0], NO);
  EXPECT_EQ(own.getPlaneSection()[0], NO);

  // With a clip plane in hand: its origin and normal.
  state.interactiveClipPlane = vtkSmartPointer<vtkPlane>::New();
  state.interactiveClipPlane->SetOrigin(1, 2, 3);
  state.interactiveClipPlane->SetNormal(0, 1, 0);
  FillClientState(state, own, box.session());
  EXPECT_EQ(own.toolKind(), kvg::VRClientState::ClipTool);
  EXPECT_DOUBLE_EQ(own.getClipPlane()[1], 2.0);
  EXPECT_DOUBLE_EQ(own.getClipPlane()[4], 1.0);
}
