// An avatar drawn from a participant's client state, seen by a local user at the room's origin
// looking along -z: what its head, box, direction marker, controllers and tool sets show, read
// from their actors and tool sets (no GL context needed).
#include <gtest/gtest.h>

#include <openvr.h>

#include <vtkMatrix4x4.h>
#include <vtkProperty.h>

#include <cmath>
#include <limits>
#include <memory>

#include "Avatar.h"
#include "AvatarContext.h"
#include "AvatarGroup.h"
#include "ControllerInput.h"
#include "ControllerModel.h"
#include "OpenVRActor.h"
#include "OpenVRCamera.h"
#include "PalettePainter.h"
#include "RenderLock.h"
#include "VRSimulator.h"
#include "VrTestSupport.h"
#include "kvg/DrawableScene.h"
#include "kvg/DrawableScenes.h"
#include "kvg/DrawableSession.h"
#include "kvg/GenericWindowResourceManager.h"

namespace {

const double kIdentity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

// The local user: model and head pose identity, a camera with a 90-degree frustum in both eyes,
// and local controller models that are loaded only when asked for.
class LocalUser : public AvatarContext {
 public:
  LocalUser() : _camera(vtkSmartPointer<OpenVRCamera>::New()) {
    const double projection[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, -1.002, -0.2002, 0, 0, -1, 0};
    for (int eye = 0; eye < 2; ++eye) _camera->projection(eye)->DeepCopy(projection);
    const double origin[3] = {0.0, 0.0, 0.0};
    _camera->setFromPose(kIdentity, origin, kIdentity);
  }
  OpenVRCamera* camera() const override { return _camera; }
  void modelMatrix(double out[16]) const override { std::copy(kIdentity, kIdentity + 16, out); }
  void headPose(double out[16]) const override { std::copy(kIdentity, kIdentity + 16, out); }
  const ControllerModel& controllerModel(int hand) const override { return models[hand]; }
  void handleIsoValueTool(const ControllerInput& input, int hand, kvg::DrawableScene&, vtkRenderer*,
                          const double* matrix, double target) override {
    ++isoToolCalls;
    isoToolHand = hand;
    isoToolTarget = target;
    // Where the tool places the participant's hand in the scene.
    isoToolHandX = matrix[0] * input.position[0] + matrix[1] * input.position[1] + matrix[2] * input.position[2] +
                   matrix[3];
  }

  // Both local models built from the simulated headset's controller model.
  void loadControllers() {
    for (ControllerModel& model : models) {
      model.init(true);
      for (int step = 0; step < 5 && !EnsureControllerModelLoaded(model, nullptr, "vrsim_controller"); ++step) {
      }
      ASSERT_TRUE(model.isLoaded());
    }
  }

  ControllerModel models[2];
  int isoToolCalls = 0;
  int isoToolHand = -1;
  double isoToolTarget = -1.0;
  double isoToolHandX = 0.0;

 private:
  vtkSmartPointer<OpenVRCamera> _camera;
};

struct SimulatedHeadset {
  SimulatedHeadset() {
    for (const std::string& e : vrsim::useScript("rate 0\n", "avatar-test")) ADD_FAILURE() << e;
    Lock::AutoLock lock(GetRenderLock());
    vr::EVRInitError error = vr::VRInitError_None;
    if (!vr::VR_Init(&error, vr::VRApplication_Scene)) ADD_FAILURE() << "the simulated headset did not start";
  }
  ~SimulatedHeadset() {
    Lock::AutoLock lock(GetRenderLock());
    vr::VR_Shutdown();
  }
};

struct EmptyScene {
  EmptyScene() : session(new kvg::DrawableSession(4243, -1)) {
    scene = session->getDrawableScenes().createScene(std::unique_ptr<kvg::GenericWindowResourceManager>(), "empty");
  }
  std::unique_ptr<kvg::DrawableSession> session;
  kvg::DrawableScene* scene = nullptr;
};

// A participant whose head is at the room point head, looking along -z, in the local scene.
kvg::VRClientState participant(int id, unsigned colorID, const double head[3]) {
  kvg::VRClientState state;
  state.setID(id);
  state.setColorID(colorID);
  state.setCompanionID(-1);
  state.setModel(kIdentity);
  const double view[16] = {1, 0, 0, head[0], 0, 1, 0, head[1], 0, 0, 1, head[2], 0, 0, 0, 1};
  state.setView(view);
  state.setModelScale(1.0);
  return state;
}

// A hand record placed at the room point p, turned like the room.
kvg::VRClientController handAt(double x, double y, double z) {
  kvg::VRClientController h;
  std::copy(kIdentity, kIdentity + 16, h.ControllerTrafo);
  h.ControllerTrafo[3] = x;
  h.ControllerTrafo[7] = y;
  h.ControllerTrafo[11] = z;
  return h;
}

struct AvatarUnderTest {
  explicit AvatarUnderTest(AvatarGroup& group) : avatar(new Avatar()) {
    avatar->setupPointers(nullptr, nullptr, nullptr, nullptr, nullptr, false, &group, nullptr);
  }
  kvg::Ptr<Avatar> avatar;
};

void expectColor(const double* actual, const double* expected, const std::string& what) {
  for (int i = 0; i < 3; ++i) EXPECT_DOUBLE_EQ(actual[i], expected[i]) << what << " component " << i;
}

}  // namespace

// The labels of the two hands change places when the participant swaps hands, once per change
// of the flag, not every frame it stays set.
TEST(Avatar, SwappedHandsSwapTheLabelsOncePerChange) {
  ScopedBaseDir base;
  AvatarGroup group(nullptr);
  AvatarUnderTest under(group);
  Avatar& avatar = *under.avatar;
  LocalUser local;
  VirtualPostIt* left[4];
  VirtualPostIt* right[4];
  for (int j = 0; j < 4; ++j) {
    left[j] = avatar.toolSet(0).postIt(j);
    right[j] = avatar.toolSet(1).postIt(j);
    ASSERT_NE(left[j], nullptr);
  }
  const double ahead[3] = {0.0, 0.0, -2.0};
  kvg::VRClientState state = participant(4, 3, ahead);
  state.setSwapLR(true);
  for (int frame = 0; frame < 3; ++frame) {
    avatar.setClientState(state);
    ASSERT_TRUE(avatar.updateFromState(nullptr, nullptr, local, kIdentity));
    for (int j = 0; j < 4; ++j) {
      EXPECT_EQ(avatar.toolSet(0).postIt(j), right[j]) << "frame " << frame;
      EXPECT_EQ(avatar.toolSet(1).postIt(j), left[j]) << "frame " << frame;
    }
  }
  state.setSwapLR(false);
  for (int frame = 0; frame < 2; ++frame) {
    avatar.setClientState(state);
    avatar.updateFromState(nullptr, nullptr, local, kIdentity);
    for (int j = 0; j < 4; ++j) EXPECT_EQ(avatar.toolSet(0).postIt(j), left[j]) << "frame " << frame;
  }
}

// The box round the head shows the participant's BoxVis (or the group's highlight) while the
// head is in view, in the participant's colour; a head out of view, or at the edge of the view,
// brings up the direction marker in that colour.
TEST(Avatar, BoxAndDirectionMarkerFollowBoxVisAndTheView) {
  ScopedBaseDir base;
  EmptyScene empty;
  AvatarGroup group(nullptr);
  AvatarUnderTest under(group);
  Avatar& avatar = *under.avatar;
  LocalUser local;
  const double* teal = group.colorAt(1);
  struct Case {
    const char* what;
    double head[3];
    bool boxVis;
    bool headShown;
    bool boxShown;
    bool markerShown;
  } cases[] = {
      {"ahead, followed", {0.0, 0.0, -2.0}, true, true, true, false},
      {"ahead, nobody follows", {0.0, 0.0, -2.0}, false, true, false, false},
      {"behind, followed", {0.0, 0.0, 2.0}, true, false, false, true},
      {"at the edge of the view", {-1.5, 0.0, -2.0}, true, true, true, true},
      {"ahead again", {0.0, 0.0, -2.0}, true, true, true, false},
  };
  for (const Case& c : cases) {
    kvg::VRClientState state = participant(4, 1, c.head);
    state.setBoxVis(c.boxVis);
    avatar.setClientState(state);
    ASSERT_TRUE(avatar.updateFromState(nullptr, empty.scene, local, kIdentity)) << c.what;
    EXPECT_EQ(avatar.head().isVisible(), c.headShown) << c.what;
    EXPECT_EQ(avatar.isBoxVisible(), c.boxShown) << c.what;
    EXPECT_EQ(avatar.isDirectionMarkerVisible(), c.markerShown) << c.what;
    if (c.boxShown) {
      expectColor(avatar.box().getColor(), teal, c.what);
      const vtkMatrix4x4* placed = avatar.box().getActor()->GetUserMatrix();
      ASSERT_NE(placed, nullptr);
      EXPECT_DOUBLE_EQ(placed->GetElement(0, 3), c.head[0]) << c.what;
      EXPECT_DOUBLE_EQ(placed->GetElement(2, 3), c.head[2]) << c.what;
    }
    if (c.markerShown)
      expectColor(avatar.directionMarker().actor()->GetProperty()->GetDiffuseColor(), teal, c.what);
  }

  // The group's hover highlight shows the box of a participant nobody follows, until its next state.
  group.updateAvatar({participant(4, 1, cases[1].head)}, nullptr, *empty.scene);
  Avatar* member = group.avatar(4);
  ASSERT_NE(member, nullptr);
  EXPECT_FALSE(member->isBoxVisible());
  group.highlightAvatar(4);
  EXPECT_TRUE(member->isBoxVisible());
  group.updateAvatar({participant(4, 1, cases[1].head)}, nullptr, *empty.scene);
  EXPECT_FALSE(member->isBoxVisible());
}

// An empty scalar range at the tool tip leaves the colour bar in its middle instead of dividing
// by zero.
TEST(Avatar, IsoValuePositionWithinTheScalarRange) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    double value, lo, hi, t;
  } cases[] = {
      {5.0, 0.0, 10.0, 0.5}, {0.0, 0.0, 10.0, 0.0}, {12.0, 2.0, 7.0, 2.0},
      {3.0, 3.0, 3.0, 0.5},  {1.0, 2.0, 2.0, 0.5},  {1.0, nan, nan, 0.5},
  };
  for (const Case& c : cases) {
    const double t = IsoValuePosition(c.value, c.lo, c.hi);
    EXPECT_TRUE(std::isfinite(t)) << c.value << " in " << c.lo << ".." << c.hi;
    EXPECT_DOUBLE_EQ(t, c.t) << c.value << " in " << c.lo << ".." << c.hi;
  }
}

// The palette circle is on the palette's front when the pointing laser meets the palette's
// normal head on, whatever way the two hands are turned.
TEST(Avatar, LaserCircleOnTheFaceTheLaserMeets) {
  const double turned[16] = {-1, 0, 0, 0, 0, 1, 0, 0, 0, 0, -1, 0, 0, 0, 0, 1};  // half a turn about y
  const double forward[3] = {0.0, 0.0, -1.0};
  const double towardsUser[3] = {0.0, 0.0, 1.0};
  const double awayFromUser[3] = {0.0, 0.0, -1.0};
  EXPECT_TRUE(LaserCircleOnFront(forward, kIdentity, towardsUser, kIdentity));
  EXPECT_FALSE(LaserCircleOnFront(forward, kIdentity, awayFromUser, kIdentity));
  EXPECT_FALSE(LaserCircleOnFront(forward, kIdentity, towardsUser, turned));
  EXPECT_TRUE(LaserCircleOnFront(forward, turned, towardsUser, turned));
}

// Both hands drawn from the records: controllers in the participant's colour where its hands
// are, the laser with its length and the avatar's laser colour, the spot where the laser ends,
// the palette with the page and overlay sent, the circle of the other hand's laser on it, the
// colour bar at the participant's iso value. Bytes out of range show no palette and no overlay.
TEST(Avatar, HandsShowTheParticipantsToolsFromItsRecords) {
  ScopedBaseDir base;
  EmptyScene empty;
  SimulatedHeadset headset;
  AvatarGroup group(nullptr);
  AvatarUnderTest under(group);
  Avatar& avatar = *under.avatar;
  LocalUser local;
  // The participant's room lies 1 m to the right of the local one in the scene: its model moves
  // by +1 in x, its head and hands are 1 m further left in its own room.
  const double ahead[3] = {-1.0, 0.0, -2.0};
  kvg::VRClientState state = participant(4, 2, ahead);
  const double shifted[16] = {1, 0, 0, 1, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  state.setModel(shifted);
  // Right record (hand 0): the pointing laser, 0.7 long, its spot 0.7 ahead.
  kvg::VRClientController pointer = handAt(-0.8, 0.0, -1.6);
  pointer.Flag1 = true;
  pointer.Flag4 = true;
  pointer.LaserProps[2] = -1.0;
  pointer.LaserProps[5] = -0.7;
  pointer.LaserProps[8] = 1.0;
  pointer.LaserProps[9] = 0.7;
  // Its laser points against the palette's normal, while the Left record's own laser (not
  // shown) points the other way: the circle is on the front.
  kvg::VRClientController palette = handAt(-1.2, 0.0, -1.6);
  palette.Flag2 = true;
  palette.Flag4 = true;
  palette.ControllerState[4] = 5;
  palette.ControllerState[5] = 3;
  palette.ControllerState[8] = 8;  // the colour bar
  palette.LaserProps[2] = 1.0;
  palette.LaserProps[3] = 0.3;
  palette.LaserProps[4] = 0.6;
  palette.LaserProps[8] = 1.0;
  state.setController(pointer, false);
  state.setController(palette, true);
  state.setIsoField({"pressure", 0.25});
  const double laserColor[3] = {0.1, 0.2, 0.3};

  // Until the local models are loaded the hands are neither drawn nor updated.
  avatar.setClientState(state);
  avatar.setLaserColor(laserColor);
  avatar.updateFromState(nullptr, empty.scene, local, kIdentity);
  EXPECT_FALSE(avatar.controller(0).actor()->GetVisibility());
  EXPECT_FALSE(avatar.toolSet(0).isLaserVisible());
  EXPECT_FALSE(avatar.toolSet(1).isPalettePanelVisible());

  local.loadControllers();
  avatar.updateFromState(nullptr, empty.scene, local, kIdentity);
  const double* orange = group.colorAt(2);
  for (int hand = 0; hand < 2; ++hand) {
    ControllerModel& controller = avatar.controller(hand);
    EXPECT_TRUE(controller.actor()->GetVisibility()) << hand;
    EXPECT_EQ(controller.actor()->GetTexture(), nullptr) << hand;
    expectColor(controller.actor()->GetProperty()->GetDiffuseColor(), orange, "controller");
    EXPECT_DOUBLE_EQ(controller.actor()->GetUserMatrix()->GetElement(0, 3), hand == 0 ? 0.2 : -0.2);
    EXPECT_DOUBLE_EQ(controller.actor()->GetUserMatrix()->GetElement(2, 3), -1.6);
  }
  ToolSet& right = avatar.toolSet(0);
  EXPECT_TRUE(right.isLaserVisible());
  EXPECT_DOUBLE_EQ(right.laserLength(), 0.7);
  EXPECT_DOUBLE_EQ(right.laserDirection()[2], -1.0);
  expectColor(right.laserColor(), laserColor, "laser");
  EXPECT_TRUE(right.isLaserSpotVisible());
  EXPECT_FALSE(right.isLaserCircleVisible());
  double spot[3];
  right.laserSpotPosition(spot);
  EXPECT_DOUBLE_EQ(spot[2], -0.7);
  EXPECT_FALSE(right.isPalettePanelVisible());

  ToolSet& left = avatar.toolSet(1);
  EXPECT_FALSE(left.isLaserVisible());
  EXPECT_TRUE(left.isPalettePanelVisible());
  EXPECT_EQ(left.palettePage(), 5);
  EXPECT_EQ(left.paletteOverlay(), 3);
  EXPECT_TRUE(left.isTeleportOverlayVisible());
  EXPECT_FALSE(left.isLinkedOverlayVisible());
  EXPECT_FALSE(left.isLaserSpotVisible());
  EXPECT_TRUE(left.isLaserCircleVisible());
  EXPECT_DOUBLE_EQ(left.laserCirclePos()[0], 0.3);
  EXPECT_DOUBLE_EQ(left.laserCirclePos()[1], 0.6);
  EXPECT_TRUE(left.palettePainter()->GetLaserCircleOnFront());
  // The colour bar with the participant's iso value: the iso tool and the lent marker's place.
  EXPECT_TRUE(left.isColorBarVisible());
  EXPECT_EQ(local.isoToolCalls, 1);
  EXPECT_EQ(local.isoToolHand, 1);
  EXPECT_DOUBLE_EQ(local.isoToolTarget, 0.25);
  // The hand's input lives in the local room: the local model, not the participant's, puts it
  // at the participant's hand in the scene.
  EXPECT_DOUBLE_EQ(local.isoToolHandX, -0.2);

  // A page or an overlay out of range from the peer: no palette, no overlay.
  palette.ControllerState[4] = 99;
  palette.ControllerState[5] = 200;
  state.setController(palette, true);
  avatar.setClientState(state);
  avatar.updateFromState(nullptr, empty.scene, local, kIdentity);
  EXPECT_FALSE(left.isPalettePanelVisible());
  EXPECT_EQ(left.paletteOverlay(), 0);
  // The laser off: the next frame hides it again.
  pointer.Flag1 = false;
  pointer.Flag4 = false;
  state.setController(pointer, false);
  avatar.setClientState(state);
  avatar.updateFromState(nullptr, empty.scene, local, kIdentity);
  EXPECT_FALSE(right.isLaserVisible());
  EXPECT_FALSE(right.isLaserSpotVisible());
}
