// Two real programs on one server scene of the stand-in server, each on its own simulated
// headset: what B's eyes show of A's avatar. A in front of B, holding its palette grip so that
// its other hand's laser is on: B sees A's controllers in A's colour and A's laser in the
// configured laser colour. A behind B: B sees the direction marker in A's colour.
#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <QString>

#include <dirent.h>
#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <string>
#include <thread>

#include "ProgramProcess.h"
#include "ServerProcess.h"

namespace {

const char* const kTitle = "Mavolin Quonix Virtual Reality";

int countPixels(const std::string& file, const std::function<bool(const QColor&)>& test) {
  const QImage image(QString::fromStdString(file));
  int count = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (test(image.pixelColor(x, y))) ++count;
  return count;
}

using PixelTest = std::function<bool(const QColor&)>;

// Pixels of the colour however lit or shaded: a multiple of it, up to a small remainder.
PixelTest shadeOf(int r, int g, int b) {
  return [=](const QColor& c) {
    const double dot = double(c.red()) * r + double(c.green()) * g + double(c.blue()) * b;
    const double k = dot / (double(r) * r + double(g) * g + double(b) * b);
    if (k < 0.25) return false;
    const double dr = c.red() - k * r, dg = c.green() - k * g, db = c.blue() - k * b;
    return dr * dr + dg * dg + db * db < 20.0 * 20.0;
  };
}

// The participant colours by colour id.
const int kColors[16][3] = {{50, 50, 50},    {0, 153, 153},   {235, 120, 10},  {0, 100, 135},
                            {175, 35, 95},   {255, 185, 0},   {100, 125, 45},  {190, 205, 215},
                            {85, 160, 185},  {153, 0, 0},     {255, 255, 255}, {100, 25, 70},
                            {170, 170, 150}, {170, 180, 20},  {215, 215, 205}, {135, 155, 170}};

PixelTest participantColour(int id) { return shadeOf(kColors[id][0], kColors[id][1], kColors[id][2]); }

// The colour id of the latest "Avatar N joined, colour C" line, -1 without one.
int lastJoinedColour(const std::string& text) {
  const std::string key = " joined, colour ";
  const size_t at = text.rfind(key);
  if (at == std::string::npos) return -1;
  return std::atoi(text.c_str() + at + key.size());
}

class AvatarProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs a display (run under xvfb-run)";
    dir = makeTempDir();
    base = dir + "/base";
    makeBaseWithAssets(base);
    // A laser colour the scene does not have; a marker image large enough to count its pixels.
    std::ofstream(base + "/config.ini") << "resolutionFactor = 0.5\nuseFog = false\n"
                                        << "laserColorRGB = [1.0, 0.0, 1.0]\ndirectionMarkerSize = 4\n";
  }

  std::map<std::string, std::string> environmentOf(const std::string& name, const std::string& script) const {
    std::ofstream(dir + "/" + name + ".txt") << script;
    return {{"XDG_CONFIG_HOME", dir + "/settings-" + name},
            {"QUONIX_BASE_DIR", base},
            {"QUONIX_VRSIM_SCRIPT", dir + "/" + name + ".txt"},
            {"QUONIX_VRSIM_CAPTURE_DIR", dir + "/eyes-" + name},
            {"QUONIX_VRSIM_CAPTURE_EVERY", "10"}};
  }

  static bool waitFor(const Program& p, const std::string& part, int count, int seconds) {
    for (int i = 0; i < seconds * 20; ++i) {
      if (countOf(p.err(), part) >= count) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  }

  // The newest of B's captures, polled until one shows more than `more` pixels of the kind;
  // the last one looked at otherwise.
  std::string waitForEye(const PixelTest& kind, int more, int seconds) const {
    std::string last;
    for (int i = 0; i < seconds * 10; ++i) {
      const std::string eye = newestLeftEye(dir + "/eyes-b");
      if (!eye.empty() && eye != last) {
        last = eye;
        if (countPixels(eye, kind) > more) return eye;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return last;
  }

  std::string dir, base;
};

}  // namespace

TEST_F(AvatarProgram, BSeesAsHandsAndLaserInFrontAndItsDirectionMarkerBehind) {
  ServerProcess server;
  std::string error;
  ASSERT_TRUE(server.start({"--scene", "Orbit:3"}, error)) << error;
  const std::vector<std::string> args = {"127.0.0.1", std::to_string(server.port())};

  // B stands at the origin looking along -z, its hands low at its sides.
  Program b(args, environmentOf("b", "rate 60\nhead position 0 1.6 0\n"
                                     "left position -0.3 0.9 0\nright position 0.3 0.9 0\n"));
  ASSERT_TRUE(b.started());
  std::string alone;
  for (int i = 0; i < 900 && alone.empty(); ++i) {
    alone = newestLeftEye(dir + "/eyes-b");
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  ASSERT_FALSE(alone.empty()) << b.err();
  // A frame drawn after the scene is in place: a second's captures (every 10th frame at 60 a
  // second) later.
  alone = leftEyeAfterNow(dir + "/eyes-b", b, 6);
  ASSERT_FALSE(alone.empty()) << b.err();
  const PixelTest magenta = shadeOf(255, 0, 255);
  const int magentaAlone = countPixels(alone, magenta);

  // A stands 1 m ahead of B, looking the same way (B sees the back of its head), its hands
  // ahead of it at B's eye height; the left grip holds the palette, so the right laser is on,
  // pointing to the right across B's view.
  {
    Program a(args, environmentOf("a", "rate 60\nhead position 0 1.6 -1.0\n"
                                       "left position -0.25 1.5 -1.3\nright position 0.2 1.5 -1.3\n"
                                       "right rotation -90 0 0\n"
                                       "frame 2\nleft press grip\n"));
    ASSERT_TRUE(a.started());
    ASSERT_TRUE(waitFor(b, " joined, colour ", 1, 90)) << b.err();
    const int colour = lastJoinedColour(b.err());
    ASSERT_TRUE(colour >= 0 && colour < 16) << b.err();
    const PixelTest own = participantColour(colour);
    const int ownAlone = countPixels(alone, own);
    const std::string front = waitForEye(magenta, magentaAlone + 12, 30);
    const int magentaFront = countPixels(front, magenta), ownFront = countPixels(front, own);
    std::cout << "B alone " << alone << ": colour " << colour << " " << ownAlone << ", laser " << magentaAlone
              << "\nA in front " << front << ": colour " << ownFront << ", laser " << magentaFront << std::endl;
    // The laser, in the configured colour, and both controllers, in A's colour.
    EXPECT_GT(magentaFront, magentaAlone + 12) << front;
    EXPECT_GT(ownFront, ownAlone + 30) << front;
    a.signal(SIGKILL);
    a.wait();
    ASSERT_TRUE(waitFor(b, " left", 1, 10)) << b.err();
  }

  // A again, 1.5 m behind B: its head is out of B's sight, so B's marker points to it.
  {
    Program a(args, environmentOf("a2", "rate 60\nhead position 0 1.6 1.5\n"
                                        "left position -0.3 0.9 1.5\nright position 0.3 0.9 1.5\n"));
    ASSERT_TRUE(a.started());
    ASSERT_TRUE(waitFor(b, " joined, colour ", 2, 90)) << b.err();
    const int colour = lastJoinedColour(b.err());
    ASSERT_TRUE(colour >= 0 && colour < 16) << b.err();
    const PixelTest own = participantColour(colour);
    const int ownAlone = countPixels(alone, own);
    const std::string behind = waitForEye(own, ownAlone + 30, 30);
    const int ownBehind = countPixels(behind, own);
    std::cout << "A behind " << behind << ": colour " << colour << " " << ownBehind << " (alone " << ownAlone << ")"
              << std::endl;
    EXPECT_GT(ownBehind, ownAlone + 30) << behind;
    EXPECT_LT(countPixels(behind, magenta), magentaAlone + 10) << behind;
    a.signal(SIGKILL);
    a.wait();
  }

  const std::string window = b.waitForWindow(std::string("^") + kTitle);
  ASSERT_FALSE(window.empty());
  Program::settle();
  Program::keys(window, "ctrl+q");
  ASSERT_TRUE(b.wait());
  EXPECT_TRUE(b.exitedNormally()) << b.err();
}
