// The laser target of the own hand records, which the other participants' avatars draw: the
// palette circle in palette units, or the laser spot's offset in the controller's frame, with
// the spot's normal beside it.
#include <gtest/gtest.h>

#include "CollaborativeStateMapping.h"
#include "InteractionFixtures.h"
#include "VRInteractionState.h"
#include "VrTestSupport.h"

TEST(OwnClientState, HandRecordsCarryTheLaserTargetAndSpotNormal) {
  ScopedBaseDir base;
  BoxScene box;
  VRInteractionState state{nullptr};
  for (int hand = 0; hand < 2; ++hand) state.toolSets[hand].init(nullptr, hand, nullptr);

  // Hand 1 points its laser; its controller is turned a quarter about y (its -z along -x).
  ControllerInput& pointing = state.controllerInputs[1];
  const double quarter[16] = {0, 0, 1, 0, 0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 0, 1};
  std::copy(quarter, quarter + 16, pointing.pose);
  ToolSet& laser = state.toolSets[1];
  laser.setLaserVisible(true);
  laser.setLaserSpotVisible(true);
  const double offset[3] = {-0.6, 0.1, 0.0};  // room axes, added to the controller position
  laser.setLaserSpotPosition(offset);
  // Hand 0 holds the palette with the circle where the laser meets it.
  ToolSet& palette = state.toolSets[0];
  palette.setLaserCirclePos(0.3, 0.7);
  palette.setLaserCircleVisible(true);

  kvg::VRClientState own;
  FillClientState(state, own, box.session());
  const kvg::VRClientController& left = own.getController(true);
  EXPECT_TRUE(left.Flag1);
  EXPECT_TRUE(left.Flag4);
  // The offset in the controller's frame (R transposed applied to it): ahead, along its -z.
  EXPECT_DOUBLE_EQ(left.LaserProps[3], 0.0);
  EXPECT_DOUBLE_EQ(left.LaserProps[4], 0.1);
  EXPECT_DOUBLE_EQ(left.LaserProps[5], -0.6);
  double normal[3];
  laser.laserSpotNormal(normal);
  for (int i = 0; i < 3; ++i) EXPECT_DOUBLE_EQ(left.LaserProps[6 + i], normal[i]) << i;

  // The palette hand: circle coordinates, and the target flag with the spot itself hidden.
  const kvg::VRClientController& right = own.getController(false);
  EXPECT_FALSE(right.Flag1);
  EXPECT_TRUE(right.Flag4);
  EXPECT_DOUBLE_EQ(right.LaserProps[3], 0.3);
  EXPECT_DOUBLE_EQ(right.LaserProps[4], 0.7);
  EXPECT_DOUBLE_EQ(right.LaserProps[5], 0.0);

  // Nothing pointed at: no target.
  palette.setLaserCircleVisible(false);
  laser.setLaserSpotVisible(false);
  FillClientState(state, own, box.session());
  EXPECT_FALSE(own.getController(true).Flag4);
  EXPECT_FALSE(own.getController(false).Flag4);
}
