// The tools on the controllers as the headset user sees them, through the real program on the
// simulated headset: squeezing the left grip shows the palette on the left hand and the right
// laser; pointing the laser at the HUD, floor and fly-mode buttons and pulling the trigger
// switches each, and the eye images show it.
#include <gtest/gtest.h>

#include <QImage>
#include <QString>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>

#include "ControllerAim.h"
#include "ProgramProcess.h"
#include "TestScenes.h"

namespace {

// The left controller, unturned, holds the palette; the right one points at it.
const Vec3 kLeft = {-0.1, 1.25, -0.3};
const Vec3 kRight = {0.15, 1.2, -0.1};

// "right pose ..." turning the right laser onto the palette point.
std::string aimRightAt(double u, double v) { return aimRight(kRight, palettePoint(kLeft, u, v)); }

int countPixels(const QImage& image, const std::function<bool(int, int, int)>& match) {
  int count = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      const QRgb p = image.pixel(x, y);
      if (match(qRed(p), qGreen(p), qBlue(p))) ++count;
    }
  return count;
}

// The HUD's red border ("hudBorderSize").
bool hudRed(int r, int g, int b) { return r > 180 && g < 60 && b < 60; }
// The laser and its circle: "laserColorRGB" (0, 95, 255).
bool laserBlue(int r, int g, int b) { return r < 40 && g > 70 && g < 120 && b > 220; }
// The palette's dark blue-grey panel and button faces.
bool paletteFace(int r, int g, int b) { return r < 60 && g > r + 8 && b > g + 8 && b < 110; }
// The room's light grey floor tiles.
bool floorGrey(int r, int g, int b) { return r > 130 && r < 200 && std::abs(r - g) < 12 && b - r < 20 && b >= r; }
// A palette toggle button's face while its toggle is on (switched-off ones are darkened).
bool toggleOn(int r, int g, int b) { return r < 45 && g >= 80 && g <= 115 && b >= 130 && b <= 170; }

class ToolsProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) GTEST_SKIP() << "needs a display (run under xvfb-run)";
    dir = makeTempDir();
    scene = dir + "/plate.sce";
    std::ofstream(scene) << plateScene();  // 0.4 m wide where the view reset puts it
    base = dir + "/base";
    makeBaseWithAssets(base);
    // A red HUD border makes the (otherwise transparent) HUD snapshot visible in the eyes.
    std::ofstream(base + "/config.ini") << "resolutionFactor = 0.5\nuseFog = false\nresetViewModelSize = 0.4\n"
                                        << "hudBorderSize = 10\n";
    captures = dir + "/eyes";
  }

  std::map<std::string, std::string> environment(const std::string& script, const std::string& frames) const {
    std::ofstream(dir + "/vrsim.txt") << script;
    return headsetEnvironment(dir, base, captures, frames);
  }

  QImage eye(int frame) const {
    char name[64];
    std::snprintf(name, sizeof name, "/frame-%06d-left.png", frame);
    return QImage(QString::fromStdString(captures + name));
  }
  std::string goFile() const { return dir + "/icons-filled"; }
  std::string eyeFile(int frame) const {
    char name[64];
    std::snprintf(name, sizeof name, "/frame-%06d-left.png", frame);
    return captures + name;
  }

  std::string dir, scene, base, captures;
};

}  // namespace

TEST_F(ToolsProgram, TheRightLaserWorksThePaletteButtons) {
  std::ostringstream script;
  script << "rate 60\n"
         << "left position " << kLeft[0] << ' ' << kLeft[1] << ' ' << kLeft[2] << '\n'
         << "right position " << kRight[0] << ' ' << kRight[1] << ' ' << kRight[2] << '\n'
         << "frame 2\nleft press grip\n"
         << aimRightAt(0.25, 0.5)  // the HUD button
         // The icons and palette images fill in after the first frame, however long that takes
         // on a loaded machine: frame 12 waits until they are all filled.
         << "frame 12\n" << iconsFilledGate(goFile())
         << "frame 20\nright press trigger\nframe 24\nright release trigger\n"
         << aimRightAt(0.25, 0.3)  // the floor button
         << "frame 30\nright press trigger\nframe 34\nright release trigger\n"
         << aimRightAt(0.75, 0.5)  // the fly-mode button
         << "frame 40\nright press trigger\nframe 44\nright release trigger\n"
         << "frame 46\nright pose 1 0 0 0.15 0 1 0 1.2 0 0 1 -0.1\n";  // the laser off the palette
  Program program({scene}, environment(script.str(), "2,15,22,28,38,50"));
  ASSERT_TRUE(program.started());
  ASSERT_TRUE(releaseOnceIconsFilled(program, eyeFile(2), goFile())) << program.err();
  ASSERT_TRUE(waitForFile(eyeFile(50), program)) << program.err();

  // The palette in the left hand, the right laser on it, the HUD in front at default distance.
  const QImage before = eye(15);
  ASSERT_FALSE(before.isNull());
  EXPECT_GT(countPixels(before, paletteFace), 800);
  EXPECT_GT(countPixels(before, laserBlue), 40);
  // The HUD at the default "hudDist": its red frame, and only the frame (a border smeared round
  // the band would paint whole rows and columns).
  EXPECT_GT(countPixels(before, hudRed), 100);
  EXPECT_LT(countPixels(before, hudRed), 2000);
  EXPECT_GT(countPixels(before, floorGrey), 5000);

  // The trigger on the HUD button hides the HUD.
  EXPECT_EQ(countPixels(eye(22), hudRed), 0);
  const QImage hudOff = eye(28);
  EXPECT_EQ(countPixels(hudOff, hudRed), 0);
  EXPECT_GT(countPixels(hudOff, floorGrey), 5000);

  // The floor button takes the room away.
  const QImage floorOff = eye(38);
  EXPECT_LT(countPixels(floorOff, floorGrey), 500);
  EXPECT_GT(countPixels(floorOff, paletteFace), 800);

  // The fly-mode button switches fly mode on: the palette shows its button lit.
  EXPECT_GT(countPixels(eye(50), toggleOn), countPixels(floorOff, toggleOn) + 200);
  program.signal(SIGTERM);
  EXPECT_TRUE(program.wait());
}

TEST_F(ToolsProgram, LabelsAndToolIconsShowOnBothControllers) {
  // The labels lifted 6 cm above the pads (the simulated controller's body would hide them at
  // the default offset) and made twice as large.
  std::ofstream(base + "/config.ini", std::ios::app)
      << "touchPadOffset = [0, 0, 0.06]\nannotationWidth = 0.06\nannotationHeight = 0.02\n";
  // Frame 20 comes once the icons have been filled in, as in the test above.
  Program program({scene}, environment("rate 60\nleft position -0.06 1.35 -0.25\nright position 0.08 1.35 -0.25\n"
                                       "frame 20\n" + iconsFilledGate(goFile()),
                                       "2,20"));
  ASSERT_TRUE(program.started());
  ASSERT_TRUE(releaseOnceIconsFilled(program, eyeFile(2), goFile())) << program.err();
  ASSERT_TRUE(waitForFile(eyeFile(20), program)) << program.err();
  const QImage image = eye(20);
  ASSERT_FALSE(image.isNull());
  // Four labels and the magnifier icon on each hand: their dark panels, no palette, no laser.
  EXPECT_GT(countPixels(image, paletteFace), 1000);
  EXPECT_EQ(countPixels(image, laserBlue), 0);
  program.signal(SIGTERM);
  EXPECT_TRUE(program.wait());
}

TEST_F(ToolsProgram, OnTheSampleSceneTheHudButtonSwitchesTheHud) {
  // The sample's pickers hold the headset's frames back until they are answered; the loading
  // time after them is not known, so the trigger is tapped on the HUD button every 30 frames
  // and the captures between the taps must show the HUD both on and off.
  const std::string binDir = std::getenv("QUONIX_BIN_DIR") ? std::getenv("QUONIX_BIN_DIR") : "bin";
  shell("for f in sample_vr.sce sample_vr_data; do ln -sfn \"$(realpath '" + binDir + "'/$f)\" '" + base +
        "'/$f; done");
  std::ostringstream script;
  script << "rate 60\n"
         << "left position " << kLeft[0] << ' ' << kLeft[1] << ' ' << kLeft[2] << '\n'
         << "right position " << kRight[0] << ' ' << kRight[1] << ' ' << kRight[2] << '\n'
         << "left press grip\n"
         << aimRightAt(0.25, 0.5)
         // The taps and captures come once the palette's images are filled in.
         << "frame 29\n"
         << iconsFilledGate(goFile());
  std::string frames = "2,";
  for (int k = 1; k <= 8; ++k) {
    script << "frame " << 30 * k << "\nright tap trigger\n";
    frames += (k > 1 ? "," : "") + std::to_string(30 * k + 15);
  }
  Program program({base + "/sample_vr.sce"}, environment(script.str(), frames));
  ASSERT_TRUE(program.started());
  for (const char* picker : {"^Select scene$", "^Select frame$"}) {
    const std::string window = program.waitForWindow(picker);
    ASSERT_FALSE(window.empty()) << picker << "\n" << program.err();
    Program::settle();
    Program::keys(window, "Return");
    ASSERT_TRUE(program.waitForWindowGone(picker)) << picker;
  }
  ASSERT_TRUE(releaseOnceIconsFilled(program, eyeFile(2), goFile())) << program.err();
  ASSERT_TRUE(waitForFile(eyeFile(255), program, 120)) << program.err();
  int on = 0, off = 0, withPalette = 0;
  for (int k = 1; k <= 8; ++k) {
    const QImage image = eye(30 * k + 15);
    if (image.isNull()) continue;
    if (countPixels(image, paletteFace) > 800) ++withPalette;
    (countPixels(image, hudRed) > 100 ? on : off)++;
  }
  EXPECT_GE(withPalette, 4);
  EXPECT_GE(on, 2);
  EXPECT_GE(off, 2);
  program.signal(SIGTERM);
  EXPECT_TRUE(program.wait());
}
