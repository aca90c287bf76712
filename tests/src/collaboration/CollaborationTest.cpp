// The collaborative session as the scene view holds it without a collaborative service, and
// the avatar group of an interaction state with no other participant.
#include <gtest/gtest.h>

#include <cfloat>

#include "AvatarGroup.h"
#include "CollabSession.h"
#include "ControllerInput.h"
#include "ServerConnection.h"
#include "ToolSet.h"
#include "VrTestSupport.h"

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
  EXPECT_EQ(group.colorAt(99), group.colorAt(15));
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
