// The collaborative session as the scene view holds it without a collaborative service, and
// the avatar group of an interaction state with no other participant.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <limits>
#include <memory>
#include <vector>

#include <vtkImageData.h>
#include <vtkPropCollection.h>
#include <vtkRenderer.h>

#include "AvatarContext.h"
#include "AvatarGroup.h"
#include "CollabSession.h"
#include "ControllerInput.h"
#include "OpenVRActor.h"
#include "OpenVRRenderWindow.h"
#include "ServerConnection.h"
#include "ToolGeometry.h"
#include "ToolSet.h"
#include "VrTestSupport.h"
#include "kvg/DrawableScene.h"
#include "kvg/OpenGLRenderer.h"
#include "kvg/DrawableScenes.h"
#include "kvg/DrawableSession.h"
#include "kvg/GenericWindowResourceManager.h"

TEST(CollabSession, EmptyUntilConnected) {
  ScopedBaseDir base("numDebugAvatars = 2\n");
  CollabSession session;
  EXPECT_FALSE(session.isConnected());
  EXPECT_EQ(session.getCID(), 0u);
  EXPECT_EQ(session.getTS(), 0u);
  EXPECT_EQ(session.debugAvatarCount(), 0);
  session.setSceneKey("SceneCanvas_1");
  EXPECT_EQ(session.getSceneKey(), "SceneCanvas_1");
  session.reset();
  EXPECT_EQ(session.getSceneKey(), "");
  EXPECT_EQ(session.debugAvatarCount(), 2);

  ServerConnection connection;
  EXPECT_FALSE(session.connect(connection));
  session.startThreads();
  EXPECT_FALSE(session.isConnected());
  EXPECT_EQ(session.getCID(), 0u);
}

TEST(AvatarGroup, IdentityColoursAndSettingsCopy) {
  AvatarGroup group(nullptr), other(nullptr);
  group.setup(2, 0, 7, nullptr);
  EXPECT_EQ(group.getColorID(), 2u);
  EXPECT_EQ(group.getStateID(), 7u);
  EXPECT_DOUBLE_EQ(group.currentColor()[0], 235 / 255.0);
  EXPECT_DOUBLE_EQ(group.currentColor()[2], 10 / 255.0);
  EXPECT_DOUBLE_EQ(group.colorAt(15)[1], 155 / 255.0);
  // Ids beyond the table wrap round it.
  EXPECT_EQ(group.colorAt(99), group.colorAt(3));
  EXPECT_EQ(group.colorAt(16), group.colorAt(0));
  EXPECT_EQ(group.colorAt(-1), group.colorAt(15));
  EXPECT_EQ(group.getMatrix()[0], 1.0);
  EXPECT_EQ(group.getMatrix()[1], 0.0);

  other.copySettings(group);
  EXPECT_EQ(other.getColorID(), 2u);
  EXPECT_EQ(other.getStateID(), 7u);
  EXPECT_EQ(other.getMatrix()[15], 1.0);
}

TEST(AvatarGroup, AloneThereIsNothingToSelectPickOrTeleportTo) {
  AvatarGroup group(nullptr);
  EXPECT_EQ(group.avatarCount(), 0);
  EXPECT_EQ(group.currentAvatarColorID(), 0);
  EXPECT_EQ(group.previousAvatarColorID(), 0);
  EXPECT_EQ(group.nextAvatarColorID(), 0);
  group.selectNextAvatar();
  EXPECT_EQ(group.currentAvatarID(), -1);
  EXPECT_EQ(group.currentAvatarPose(), nullptr);
  EXPECT_FALSE(group.isBoxVisible());
  EXPECT_FALSE(group.isEnabled());

  ControllerInput input;
  ToolSet tools;
  AvatarHitRecord hit;
  const double identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  EXPECT_EQ(group.intersectAvatars(input, tools, hit, identity), double(FLT_MAX));
  EXPECT_EQ(hit.avatarID, -1);
  double model[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  double scale = 1.0;
  EXPECT_FALSE(group.teleportToAvatar(nullptr, identity, model, scale));
  EXPECT_EQ(scale, 1.0);
}

namespace {

// A participant's client state as the listener hands it over.
kvg::VRClientState peer(int id, unsigned colorID, int companionID = -1) {
  kvg::VRClientState state;
  state.setID(id);
  state.setColorID(colorID);
  state.setCompanionID(companionID);
  const double identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  state.setModel(identity);
  state.setView(identity);
  return state;
}

// The local user at the room's origin without a camera or controller models.
class StillLocalUser : public AvatarContext {
 public:
  OpenVRCamera* camera() const override { return nullptr; }
  void modelMatrix(double out[16]) const override { identityMatrix4x4(out); }
  void headPose(double out[16]) const override { identityMatrix4x4(out); }
  const ControllerModel& controllerModel(int hand) const override { return _models[hand]; }
  void handleIsoValueTool(const ControllerInput&, int, kvg::DrawableScene&, vtkRenderer*, const double*,
                          double) override {}

 private:
  ControllerModel _models[2];
};

struct EmptyScene {
  EmptyScene() : session(new kvg::DrawableSession(4242, -1)) {
    scene = session->getDrawableScenes().createScene(std::unique_ptr<kvg::GenericWindowResourceManager>(), "empty");
  }
  std::unique_ptr<kvg::DrawableSession> session;
  kvg::DrawableScene* scene = nullptr;
};

}  // namespace

TEST(AvatarGroup, AvatarsFollowTheListenersStatesAndSelectionWraps) {
  EmptyScene empty;
  ASSERT_NE(empty.scene, nullptr);
  AvatarGroup group(nullptr);
  group.setup(1, 0, 7, nullptr);
  // Ids 3, 5, 9; 5 follows this user, 9 follows 3; colour ids from a peer beyond the table.
  group.updateAvatar({peer(3, 2), peer(5, 4, 7), peer(9, 254, 3)}, nullptr, *empty.scene);
  ASSERT_EQ(group.avatarCount(), 3);
  EXPECT_TRUE(group.isBoxVisible());
  EXPECT_TRUE(group.avatar(5)->followsLocalUser());
  for (int c = 0; c < 3; ++c) EXPECT_DOUBLE_EQ(group.avatar(5)->getLaserColor()[c], group.currentColor()[c]);
  double colour3[3], colour9[3];
  group.avatar(3)->getColor(colour3);
  group.avatar(9)->getColor(colour9);
  for (int c = 0; c < 3; ++c) {
    EXPECT_DOUBLE_EQ(group.avatar(9)->getLaserColor()[c], colour3[c]);
    EXPECT_DOUBLE_EQ(colour9[c], group.colorAt(254 % 16)[c]);
  }

  group.selectNextAvatar();
  EXPECT_EQ(group.currentAvatarID(), 3);
  group.selectNextAvatar();
  EXPECT_EQ(group.currentAvatarID(), 5);
  EXPECT_EQ(group.nextAvatarColorID(), 254 % 16);
  EXPECT_EQ(group.previousAvatarColorID(), 2);
  group.selectNextAvatar();
  group.selectNextAvatar();
  EXPECT_EQ(group.currentAvatarID(), 3);  // wrapped
  group.selectPreviousAvatar();
  EXPECT_EQ(group.currentAvatarID(), 9);

  // 9 leaves: its avatar goes; the selection moves on to the next id, whichever asks first.
  group.updateAvatar({peer(3, 2), peer(5, 4)}, nullptr, *empty.scene);
  EXPECT_EQ(group.avatarCount(), 2);
  EXPECT_EQ(group.avatar(9), nullptr);
  EXPECT_FALSE(group.isBoxVisible());
  EXPECT_NE(group.currentAvatarPose(), nullptr);  // a teleport goes to 3, not nowhere
  EXPECT_EQ(group.currentAvatarID(), 3);
  EXPECT_EQ(group.currentAvatarColorID(), 2);

  // Many joins and leaves end with no avatar.
  for (int i = 0; i < 100; ++i) {
    group.updateAvatar({peer(3, 2), peer(100 + i, 6)}, nullptr, *empty.scene);
    ASSERT_EQ(group.avatarCount(), 2);
  }
  group.updateAvatar({}, nullptr, *empty.scene);
  EXPECT_EQ(group.avatarCount(), 0);
  EXPECT_EQ(group.currentAvatarColorID(), 0);
}

// A change of the markers' geometry gives every avatar and the pool new markers; the old ones
// leave the renderer, so none is drawn twice or left behind.
TEST(AvatarGroup, RebuiltIsoMarkersReplaceTheOldOnesInTheRenderer) {
  ScopedBaseDir base;
  EmptyScene empty;
  ASSERT_NE(empty.scene, nullptr);
  vtkSmartPointer<OpenVRRenderWindow> window = vtkSmartPointer<OpenVRRenderWindow>::New();
  vtkRenderer* models = window->GetLayerRenderer(OpenVRRenderWindow::ModelLayer);
  AvatarGroup group(nullptr);
  group.setup(0, 0, 1, window);
  group.updateAvatar({peer(3, 2), peer(5, 4)}, window, *empty.scene);
  ASSERT_EQ(group.avatarCount(), 2);
  std::vector<kvg::Ptr<IsoValueMarker>> before;  // held, so no new marker takes an old address
  for (int id : {3, 5}) {
    ASSERT_TRUE(group.avatar(id)->getIsoValueMarker().isValid());
    before.push_back(group.avatar(id)->getIsoValueMarker());
  }
  const int propsBefore = models->GetViewProps()->GetNumberOfItems();

  group.rebuildIsoMarkers(window);
  for (int i = 0; i < 2; ++i) {
    const kvg::Ptr<IsoValueMarker>& marker = group.avatar(i == 0 ? 3 : 5)->getIsoValueMarker();
    ASSERT_TRUE(marker.isValid());
    EXPECT_NE(marker->getActor(), before[i]->getActor());
    EXPECT_TRUE(models->GetViewProps()->IsItemPresent(marker->getActor()));
    EXPECT_FALSE(models->GetViewProps()->IsItemPresent(before[i]->getActor()));
  }
  EXPECT_EQ(models->GetViewProps()->GetNumberOfItems(), propsBefore);
}

TEST(AvatarGroup, TeleportPutsTheHeadAtTheSelectedAvatarsHead) {
  ScopedBaseDir base;
  EmptyScene empty;
  AvatarGroup group(nullptr);
  group.setup(0, 0, 1, nullptr);
  kvg::VRClientState state = peer(4, 3);
  const double model[16] = {2, 0, 0, 5, 0, 2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 1};
  const double view[16] = {1, 0, 0, 0, 0, 1, 0, 1.5, 0, 0, 1, 0, 0, 0, 0, 1};
  state.setModel(model);
  state.setView(view);
  state.setModelScale(2.0);
  group.updateAvatar({state}, nullptr, *empty.scene);
  group.selectNextAvatar();
  ASSERT_NE(group.currentAvatarPose(), nullptr);
  // The local head stands at (0, 1, 0) in the room; its view matrix is the inverse pose.
  const double headView[16] = {1, 0, 0, 0, 0, 1, 0, -1, 0, 0, 1, 0, 0, 0, 0, 1};
  double localModel[16];
  double scale = 1.0;
  ASSERT_TRUE(group.teleportToAvatar(group.currentAvatarPose(), headView, localModel, scale));
  EXPECT_DOUBLE_EQ(scale, 2.0);
  // The local head in the scene: the avatar's head (5, 3, 0) moved by the default offset
  // (0, 0.2 up, 0.7 back) in the avatar's frame, scaled by its model.
  const double head[4] = {0, 1, 0, 1};
  double scene[4];
  for (int r = 0; r < 4; ++r) scene[r] = localModel[r * 4] * head[0] + localModel[r * 4 + 1] * head[1] +
                                         localModel[r * 4 + 2] * head[2] + localModel[r * 4 + 3] * head[3];
  EXPECT_NEAR(scene[0], 5.0, 1e-12);
  EXPECT_NEAR(scene[1], 3.0 + 2 * 0.2, 1e-12);
  EXPECT_NEAR(scene[2], 2 * 0.7, 1e-12);
}

TEST(Avatar, MatricesThatAreNotFiniteOrSingularSkipTheFrame) {
  AvatarGroup group(nullptr);
  StillLocalUser local;
  const double identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    const char* what;
    double model[16];
    bool usable;
  } cases[] = {
      {"identity", {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}, true},
      {"scaled and moved", {2, 0, 0, 1, 0, 2, 0, 2, 0, 0, 2, 3, 0, 0, 0, 1}, true},
      {"all zero", {}, false},
      {"NaN", {nan, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}, false},
      {"infinite translation", {1, 0, 0, inf, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}, false},
      {"flat", {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}, false},
  };
  for (const Case& c : cases) {
    kvg::Ptr<Avatar> avatar(new Avatar());
    avatar->setupPointers(nullptr, nullptr, nullptr, nullptr, nullptr, false, &group, nullptr);
    kvg::VRClientState state = peer(4, 3);
    state.setModel(c.model);
    avatar->setClientState(state);
    EXPECT_EQ(avatar->updateFromState(nullptr, nullptr, local, identity), c.usable) << c.what;
    // A head that was skipped is not drawn somewhere arbitrary.
    if (!c.usable) EXPECT_FALSE(avatar->head().isVisible()) << c.what;
  }
}

// The laser against a head without meshes (the fallback box x ±0.1, y ±0.12, z ±0.12) placed
// 2 m ahead of a controller at the origin that points along -z.
TEST(Avatar, LaserAgainstTheHeadBox) {
  AvatarGroup group(nullptr);
  const double identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  struct Case {
    const char* what;
    double head[3];
    bool result;
    bool filled;
    double distance;
    int face;
  } cases[] = {
      {"ahead", {0, 0, -2}, true, true, 2 - 0.12 - 0.0002, 2},
      {"controller inside: the exit", {0, 0, 0}, true, true, 0.12 + 0.0002, 5},
      {"behind the controller", {0, 0, 2}, false, true, -(2 - 0.12 - 0.0002), 5},
      {"beside the line", {1, 0, -2}, false, false, 3.4028234663852886e38, -1},
  };
  for (const Case& c : cases) {
    kvg::Ptr<Avatar> avatar(new Avatar());
    avatar->setupPointers(nullptr, nullptr, nullptr, nullptr, nullptr, false, &group, nullptr);
    kvg::VRClientState state = peer(6, 2);
    const double view[16] = {1, 0, 0, c.head[0], 0, 1, 0, c.head[1], 0, 0, 1, c.head[2], 0, 0, 0, 1};
    state.setView(view);
    avatar->setClientState(state);
    ControllerInput input;
    ToolSet tools;
    AvatarHitRecord hit;
    EXPECT_EQ(avatar->intersectRay(input, tools, hit, identity), c.result) << c.what;
    EXPECT_NEAR(hit.distance, c.distance, 1e-9) << c.what;
    EXPECT_EQ(hit.face, c.face) << c.what;
    EXPECT_EQ(hit.avatarID, c.filled ? 6 : -1) << c.what;
  }
}

// B's laser grabs A's avatar while the trigger is held; B's model then repeats A's moves and
// zooms, and letting go ends the link.
TEST(AvatarGroup, CompanionLinkFollowsTheGrabbedAvatar) {
  ScopedBaseDir base;
  EmptyScene empty;
  AvatarGroup group(nullptr);
  group.setup(0, 0, 1, nullptr);
  kvg::VRClientState a = peer(5, 1);
  const double head[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, -2, 0, 0, 0, 1};
  a.setView(head);
  a.setModelScale(1.0);
  group.updateAvatar({a}, nullptr, *empty.scene);

  ControllerInput hands[2];
  ToolSet tools;
  AvatarHitRecord hit;
  // Pointing without the trigger: nothing is grabbed.
  EXPECT_EQ(group.pickAvatars(hands[1], tools, 1, hit), 1);
  EXPECT_FALSE(group.hasCompanion());
  hands[1].triggerHeld = true;
  group.pickAvatars(hands[1], tools, 1, hit);
  ASSERT_TRUE(group.hasCompanion());
  EXPECT_EQ(group.getCompanionID(), 5);
  EXPECT_EQ(group.getCompanionHand(), 1);

  // A moves its model 1 along x and doubles its scale.
  const double moved[16] = {2, 0, 0, 1, 0, 2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 1};
  a.setModel(moved);
  a.setModelScale(2.0);
  group.updateAvatar({a}, nullptr, *empty.scene);
  double model[16] = {1, 0, 0, 0, 0, 1, 0, 3, 0, 0, 1, 0, 0, 0, 0, 1};
  double scale = 0.5;
  group.updateAvatarPoses(hands, model, scale);
  EXPECT_DOUBLE_EQ(model[3], 1.0);
  EXPECT_DOUBLE_EQ(model[7], 6.0);
  EXPECT_DOUBLE_EQ(model[0], 2.0);
  EXPECT_DOUBLE_EQ(scale, 1.0);
  // Unchanged next frame.
  group.updateAvatarPoses(hands, model, scale);
  EXPECT_DOUBLE_EQ(model[3], 1.0);

  // A peer's NaN model skips the follow for the frame; the link holds.
  kvg::VRClientState broken = a;
  double nanModel[16];
  std::copy(moved, moved + 16, nanModel);
  nanModel[3] = std::numeric_limits<double>::quiet_NaN();
  broken.setModel(nanModel);
  group.updateAvatar({broken}, nullptr, *empty.scene);
  group.updateAvatarPoses(hands, model, scale);
  EXPECT_DOUBLE_EQ(model[3], 1.0);
  EXPECT_TRUE(group.hasCompanion());

  hands[1].triggerHeld = false;
  group.updateAvatarPoses(hands, model, scale);
  EXPECT_FALSE(group.hasCompanion());
  EXPECT_EQ(group.getCompanionID(), -1);
}
