// The palette in one hand worked by the other hand's laser, frame by frame on the simulated
// headset without drawing: where the laser meets the palette, the hover and pressed overlays,
// the toggles firing once per press and the particle buttons acting every frame while held.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <memory>
#include <sstream>
#include <string>

#include <vtkMatrix4x4.h>

#include "CollabSession.h"
#include "OpenVRCamera.h"
#include "VRClientState.h"
#include "InteractionFixtures.h"
#include "PaletteImages.h"
#include "PalettePainter.h"
#include "SceneViewSettings.h"
#include "VRInteractionState.h"
#include "VrTestSupport.h"

namespace {

using Vec = std::array<double, 3>;

// The left controller, unturned, holds the palette (default layout: 0.2 x 0.288 m from
// 0.01 m ahead, tilted up by 40 degrees); the right one points down onto its face.
const Vec kLeft = {-0.1, 1.25, -0.3};
const Vec kRight = {0.1, 1.6, 0.0};

Vec palettePoint(double u, double v) {
  const double x = -0.1 + 0.2 * u, z = -0.01 - 0.288 * v, a = 40.0 * M_PI / 180.0;
  return {kLeft[0] + x, kLeft[1] - z * std::sin(a), kLeft[2] + z * std::cos(a)};
}

// "right pose ..." turning the right laser (forward, 20 degrees down) onto the palette point.
std::string aimRightAt(double u, double v) {
  const double t = 20.0 * M_PI / 180.0;
  const Vec a = {0.0, -std::sin(t), -std::cos(t)};
  const Vec target = palettePoint(u, v);
  Vec b = {target[0] - kRight[0], target[1] - kRight[1], target[2] - kRight[2]};
  const double lb = std::sqrt(b[0] * b[0] + b[1] * b[1] + b[2] * b[2]);
  for (double& x : b) x /= lb;
  Vec axis = {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
  const double s = std::sqrt(axis[0] * axis[0] + axis[1] * axis[1] + axis[2] * axis[2]);
  for (double& x : axis) x /= s;
  const double c = a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
  const double K[3][3] = {{0, -axis[2], axis[1]}, {axis[2], 0, -axis[0]}, {-axis[1], axis[0], 0}};
  std::ostringstream out;
  out.precision(12);
  out << "right pose";
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      double k2 = 0.0;
      for (int m = 0; m < 3; ++m) k2 += K[i][m] * K[m][j];
      out << ' ' << ((i == j ? 1.0 : 0.0) + s * K[i][j] + (1.0 - c) * k2);
    }
    out << ' ' << kRight[i];
  }
  out << '\n';
  return out.str();
}

std::string positions() {
  std::ostringstream out;
  out << "left position " << kLeft[0] << ' ' << kLeft[1] << ' ' << kLeft[2] << '\n'
      << "right position " << kRight[0] << ' ' << kRight[1] << ' ' << kRight[2] << '\n';
  return out.str();
}

class PaletteButtons : public ::testing::Test {
 protected:
  ScopedBaseDir base;
  BoxScene box{{0.0, 0.0, 0.0}, {1.0, 1.0, 1.0}};
  VRInteractionState state{nullptr};
  SceneViewSettings settings;
  CollabSession collab;
  std::unique_ptr<ScriptedHeadset> headset;

  void start(const std::string& script) {
    headset.reset(new ScriptedHeadset(positions() + script));
    state.startSessionScene(nullptr, box.renderer(), box.scene(), 0, settings, collab, nullptr, "");
  }
  void frames(int count) {
    for (int i = 0; i < count; ++i) state.update(box.scene(), false, settings, false);
  }
  ToolSet& palette() { return state.toolSets[0]; }
};

}  // namespace

TEST_F(PaletteButtons, TheLaserMeetsThePaletteWhereItPoints) {
  start("left press grip\n" + aimRightAt(0.3, 0.7));
  frames(3);
  ASSERT_TRUE(palette().isPalettePanelVisible());
  ASSERT_TRUE(state.toolSets[1].isLaserVisible());
  EXPECT_TRUE(palette().isLaserCircleVisible());
  EXPECT_TRUE(palette().palettePainter()->GetLaserCircleOnFront());
  // The hit is taken a millimetre in front of the panel.
  EXPECT_NEAR(palette().laserCirclePos()[0], 0.3, 0.01);
  EXPECT_NEAR(palette().laserCirclePos()[1], 0.7, 0.01);
  // The laser ends at the palette.
  const Vec hit = palettePoint(0.3, 0.7);
  const double distance = std::sqrt(std::pow(hit[0] - kRight[0], 2) + std::pow(hit[1] - kRight[1], 2) +
                                    std::pow(hit[2] - kRight[2], 2));
  EXPECT_NEAR(state.toolSets[1].laserLength(), distance, 3e-3);
  EXPECT_EQ(palette().paletteOverlay(), kDecreaseParticleSize + 1);  // hovered
}

TEST_F(PaletteButtons, APointOnTheBorderOfThreeButtonsIsInNone) {
  EXPECT_FALSE(isInsideRect(0.5, 0.4, GetPaletteButtonRect(kToggleHUD)));
  EXPECT_FALSE(isInsideRect(0.5, 0.4, GetPaletteButtonRect(kToggleFloor)));
  EXPECT_FALSE(isInsideRect(0.5, 0.4, GetPaletteButtonRect(kToggleVolume)));
  EXPECT_TRUE(isInsideRect(0.49, 0.41, GetPaletteButtonRect(kToggleHUD)));
  // Without participants the avatar buttons are no buttons: no highlight, no action.
  start("left press grip\n" + aimRightAt(0.75, 0.1) + "frame 3\nright press trigger\n");
  frames(4);
  EXPECT_TRUE(palette().isLaserCircleVisible());
  EXPECT_EQ(palette().paletteOverlay(), 0);
}

TEST_F(PaletteButtons, ATogglePressedOnceFiresOnceAndStaysPressedWhileHeld) {
  start("left press grip\n" + aimRightAt(0.25, 0.5) + "frame 4\nright press trigger\nframe 9\nright release trigger\n" +
        "frame 12\nright press trigger\nframe 14\n" + aimRightAt(0.25, 0.3) + "frame 16\nright release trigger\n");
  frames(3);
  ASSERT_TRUE(state.hudShown);
  EXPECT_EQ(palette().paletteOverlay(), kToggleHUD + 1);
  EXPECT_EQ(palette().palettePage() & 1, 1);
  frames(1);
  EXPECT_FALSE(state.hudShown);
  EXPECT_EQ(palette().paletteOverlay(), kToggleHUD + 13);
  frames(4);  // held: no repeat, still pressed
  EXPECT_FALSE(state.hudShown);
  EXPECT_EQ(palette().paletteOverlay(), kToggleHUD + 13);
  EXPECT_EQ(palette().palettePage() & 1, 0);
  frames(1);  // released: hover again
  EXPECT_EQ(palette().paletteOverlay(), kToggleHUD + 1);
  // A press that slides onto the floor button shows it hovered and fires nothing more.
  frames(3);
  EXPECT_TRUE(state.hudShown);
  ASSERT_TRUE(state.floorShown);
  frames(2);
  EXPECT_EQ(palette().paletteOverlay(), kToggleFloor + 1);
  EXPECT_TRUE(state.floorShown);
  EXPECT_TRUE(state.hudShown);
}

TEST_F(PaletteButtons, ParticleButtonsActEveryFrameWhileHeld) {
  start("left press grip\n" + aimRightAt(0.75, 0.7) + "frame 3\nright press trigger\nframe 13\nright release trigger\n" +
        aimRightAt(0.75, 0.9) + "frame 15\nright press trigger\n");
  frames(2);
  EXPECT_EQ(state.particleRadiusScale, 1.0);
  frames(10);  // frames 3 .. 12 with the trigger held on Size+
  EXPECT_NEAR(state.particleRadiusScale, std::pow(1.0125, 10), 1e-12);
  EXPECT_EQ(palette().paletteOverlay(), kIncreaseParticleSize + 13);
  frames(2);
  EXPECT_NEAR(state.particleRadiusScale, std::pow(1.0125, 10), 1e-12);
  EXPECT_EQ(state.particleStepScale, 1.0);
  frames(4);  // frames 15 .. 18 on Speed+
  EXPECT_NEAR(state.particleStepScale, std::pow(1.0125, 4), 1e-12);
}

// Teleporting to a participant whose model scale is 2: the headset projection is set for the
// scale the teleport leaves, not left at that of scale 1 until the next swap, zoom or reset.
TEST_F(PaletteButtons, TeleportSetsTheProjectionForTheScaleItLeaves) {
  start("left press grip\n" + aimRightAt(0.75, 0.1) + "frame 4\nright press trigger\n");
  kvg::VRClientState peer;
  peer.setID(4);
  peer.setColorID(3);
  peer.setCompanionID(-1);
  const double model[16] = {2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 1};
  const double view[16] = {1, 0, 0, 0, 0, 1, 0, 1.5, 0, 0, 1, 0, 0, 0, 0, 1};
  peer.setModel(model);
  peer.setView(view);
  peer.setModelScale(2.0);
  state.avatarGroup.updateAvatar({peer}, nullptr, box.scene());
  state.avatarGroup.selectNextAvatar();
  ASSERT_NE(state.avatarGroup.currentAvatarPose(), nullptr);
  frames(5);
  EXPECT_DOUBLE_EQ(state.modelScale, 2.0);
  double nearPlane = 0, farPlane = 0;
  state.getCamera()->GetClippingRange(nearPlane, farPlane);
  EXPECT_NEAR(nearPlane, 0.4, 1e-9);
  EXPECT_NEAR(farPlane, 2000.0, 1e-6);
  // The eyes stand twice as far apart in the model as in the room.
  OpenVRCamera* camera = state.getCamera();
  EXPECT_NEAR(camera->scaledEyeOffset(0)->GetElement(0, 3), 2.0 * camera->eyeOffset(0)->GetElement(0, 3), 1e-12);
  EXPECT_NE(camera->eyeOffset(0)->GetElement(0, 3), 0.0);
}
