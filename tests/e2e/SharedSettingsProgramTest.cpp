// Two real programs on one server scene, each on its own simulated headset: the HUD switched on
// A's palette switches it on B only while both share it (Shared Settings, "Show/Hide HUD", as
// stored at start-up and as changed in the dialog), and B's palette shows the link icons in A's
// colour on the buttons of the settings both share, until A leaves.
#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <QString>

#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "ControllerAim.h"
#include "ProgramProcess.h"
#include "ServerProcess.h"

namespace {

using Clock = std::chrono::system_clock;
using Vec = std::array<double, 3>;

const char* const kTitle = "Mavolin Quonix Virtual Reality";

// A participant standing at (0, 1.6, z) looking along -z: the palette in the unturned left hand
// (0.2 x 0.288 m from 0.01 m ahead of its origin, tilted up by 40 degrees), the right hand
// beside it.
struct Stand {
  double z;
  Vec left() const { return {-0.1, 1.25, z - 0.3}; }
  Vec right() const { return {0.15, 1.2, z - 0.1}; }
  // "right pose ..." turning the right laser onto the palette point.
  std::string aimRightAt(double u, double v) const { return aimRight(right(), palettePoint(left(), u, v)); }
  std::string hands() const {
    std::ostringstream out;
    out << "head position 0 1.6 " << z << '\n'
        << "left position " << left()[0] << ' ' << left()[1] << ' ' << left()[2] << '\n'
        << "right position " << right()[0] << ' ' << right()[1] << ' ' << right()[2] << '\n';
    return out.str();
  }
};

int countPixels(const QImage& image, const std::function<bool(int, int, int)>& match, int x0 = 0, int y0 = 0,
                int x1 = -1, int y1 = -1) {
  if (x1 < 0) x1 = image.width();
  if (y1 < 0) y1 = image.height();
  int count = 0;
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x) {
      const QRgb p = image.pixel(x, y);
      if (match(qRed(p), qGreen(p), qBlue(p))) ++count;
    }
  return count;
}

// The HUD's red border ("hudBorderSize").
bool hudRed(int r, int g, int b) { return r > 180 && g < 60 && b < 60; }
// The palette's dark blue-grey panel and button faces.
bool paletteFace(int r, int g, int b) { return r < 60 && g > r + 8 && b > g + 8 && b < 110; }
// Colour 1 of the participant table (0, 153, 153), however lit: a link icon of A.
bool teal(int r, int g, int b) { return g >= r + 40 && b >= r + 40 && std::abs(g - b) <= 12; }

// 1 HUD shown, 0 hidden, -1 not clear from the image.
int hudState(const QImage& image) {
  const int red = countPixels(image, hudRed);
  return red > 100 ? 1 : red < 10 ? 0 : -1;
}

// The left-eye captures of the folder written between the two times, oldest first.
std::vector<std::string> capturesBetween(const std::string& folder, Clock::time_point from, Clock::time_point to) {
  std::vector<std::pair<std::string, std::string>> found;
  if (DIR* d = opendir(folder.c_str())) {
    while (dirent* e = readdir(d)) {
      const std::string name = e->d_name;
      if (name.size() < 9 || name.compare(name.size() - 9, 9, "-left.png") != 0) continue;
      struct stat s;
      const std::string path = folder + "/" + name;
      if (stat(path.c_str(), &s) != 0) continue;
      const auto written = Clock::time_point(std::chrono::duration_cast<Clock::duration>(
          std::chrono::seconds(s.st_mtim.tv_sec) + std::chrono::nanoseconds(s.st_mtim.tv_nsec)));
      if (written >= from && written <= to) found.push_back({name, path});
    }
    closedir(d);
  }
  std::sort(found.begin(), found.end());
  std::vector<std::string> paths;
  for (const auto& f : found) paths.push_back(f.second);
  return paths;
}

bool waitForText(const Program& p, const std::string& part, int seconds) {
  for (int i = 0; i < seconds * 20; ++i) {
    if (countOf(p.err(), part) >= 1) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

// What the captures of one stretch of time showed.
struct Stretch {
  int hudOn = 0, hudOff = 0, changes = 0;
  double tealOnPalette = 0.0;  // mean per capture, inside the palette's box
  int captures = 0;
};

Stretch look(const std::vector<std::string>& files, bool withPalette) {
  Stretch s;
  int last = -1;
  for (const std::string& file : files) {
    const QImage image(QString::fromStdString(file));
    if (image.isNull()) continue;  // still being written
    const int hud = hudState(image);
    if (hud == 1) ++s.hudOn;
    if (hud == 0) ++s.hudOff;
    if (hud >= 0 && last >= 0 && hud != last) ++s.changes;
    if (hud >= 0) last = hud;
    if (withPalette) {
      // The palette's box: the span of its face pixels.
      int x0 = image.width(), y0 = image.height(), x1 = 0, y1 = 0;
      for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
          const QRgb p = image.pixel(x, y);
          if (!paletteFace(qRed(p), qGreen(p), qBlue(p))) continue;
          x0 = std::min(x0, x), y0 = std::min(y0, y), x1 = std::max(x1, x + 1), y1 = std::max(y1, y + 1);
        }
      // The bottom quarter (the avatar buttons, marked in A's colour as well) is left out.
      if (x1 > x0) s.tealOnPalette += countPixels(image, teal, x0, y0, x1, y0 + (y1 - y0) * 3 / 4);
    }
    ++s.captures;
  }
  if (s.captures > 0) s.tealOnPalette /= s.captures;
  return s;
}

class SharedSettingsProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs a display (run under xvfb-run)";
    dir = makeTempDir();
    base = dir + "/base";
    makeBaseWithAssets(base);
    // A red HUD border makes the HUD visible in the eye images; a small overlay makes the link
    // icons large (one per column, a fifth of the palette's width).
    std::ofstream(base + "/config.ini") << "resolutionFactor = 0.5\nuseFog = false\nhudBorderSize = 10\n"
                                        << "linkedOverlayWidth = 256\nlinkedOverlayHeight = 400\n";
    journal = dir + "/journal.txt";
  }

  std::map<std::string, std::string> environmentOf(const std::string& name, const std::string& script) const {
    std::ofstream(dir + "/" + name + ".txt") << script;
    return {{"XDG_CONFIG_HOME", dir + "/settings-" + name},
            {"QUONIX_BASE_DIR", base},
            {"QUONIX_VRSIM_SCRIPT", dir + "/" + name + ".txt"},
            {"QUONIX_VRSIM_CAPTURE_DIR", dir + "/eyes-" + name},
            {"QUONIX_VRSIM_CAPTURE_EVERY", "12"}};
  }

  std::string settingsOf(const std::string& name) const {
    return dir + "/settings-" + name + "/Kelmar Software/Mavolin Quonix Virtual Reality.conf";
  }

  // The dialog's boxes are stored by the Qt settings store shortly after Ok.
  bool waitForSetting(const std::string& name, const std::string& line) const {
    for (int i = 0; i < 50; ++i) {
      if (readFile(settingsOf(name)).find(line) != std::string::npos) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
  }

  bool journalHas(const std::string& name, size_t count, int seconds) const {
    for (int i = 0; i < seconds * 10; ++i) {
      std::ifstream in(journal);
      size_t n = 0;
      for (std::string line; std::getline(in, line);) n += line.find("\t" + name + "\t") != std::string::npos;
      if (n >= count) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
  }

  // Tools, "Collaborative...": switches "Show/Hide HUD" (the first box) and presses Ok. The
  // dialog keeps its focus item between openings: at first none, later the Ok button.
  void toggleHudSharing(const Program& program, bool firstOpening) {
    const std::string window = program.waitForWindow(std::string("^") + kTitle);
    ASSERT_FALSE(window.empty());
    Program::settle();
    Program::keys(window, "alt+t");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    shell("xdotool key --delay 100 Down Down Return");
    const std::string dialog = program.waitForWindow("^Shared Settings$");
    ASSERT_FALSE(dialog.empty());
    Program::settle();
    Program::keys(dialog, std::string(firstOpening ? "Tab" : "shift+Tab shift+Tab shift+Tab shift+Tab shift+Tab shift+Tab") +
                              " space Tab Tab Tab Tab Tab Tab space");
    ASSERT_TRUE(program.waitForWindowGone("^Shared Settings$"));
  }

  // Watches both programs' captures from now until A's HUD has changed that often (or the time
  // is up); the first second is left out, so that what was on its way has arrived.
  std::pair<Stretch, Stretch> watch(int changes, int seconds = 40) {
    const auto from = Clock::now() + std::chrono::seconds(1);
    Stretch a, b;
    for (int i = 0; i < seconds * 2; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(500));
      a = look(capturesBetween(dir + "/eyes-a", from, Clock::now()), false);
      if (a.changes >= changes) break;
    }
    b = look(capturesBetween(dir + "/eyes-b", from, Clock::now() - std::chrono::milliseconds(300)), true);
    return {a, b};
  }

  std::string dir, base, journal;
};

}  // namespace

TEST_F(SharedSettingsProgram, TheHudFollowsTheOtherPaletteOnlyWhileBothShareIt) {
  ServerProcess server;
  std::string error;
  ASSERT_TRUE(server.start({"--scene", "Orbit:3", "--journal", journal}, error)) << error;
  const std::vector<std::string> address = {"127.0.0.1", std::to_string(server.port())};

  // B starts with "Show/Hide HUD" unchecked in its Shared Settings.
  shell("mkdir -p '" + dir + "/settings-b/Kelmar Software'");
  std::ofstream(settingsOf("b")) << "[myCollaborativeSettings]\nhudIsShared=false\n";
  // B holds its palette up close in the left hand, the right laser off it; it never presses
  // anything.
  Program b(address, environmentOf("b", "rate 60\nleft position -0.08 1.4 -0.15\nframe 2\nleft press grip\n"
                                        "right pose 1 0 0 0.15 0 1 0 1.2 0 0 1 -0.1\n"));
  ASSERT_TRUE(b.started());
  ASSERT_TRUE(journalHas(":collab-join", 1, 90)) << b.err();

  // A stands two metres behind B and taps its palette's HUD button once a second.
  const Stand standA{2.0};
  std::ostringstream scriptA;
  scriptA << "rate 60\n" << standA.hands() << "frame 2\nleft press grip\n" << standA.aimRightAt(0.25, 0.5);
  for (int k = 1; k <= 300; ++k) scriptA << "frame " << 60 * k << "\nright tap trigger\n";
  Program a(address, environmentOf("a", scriptA.str()));
  ASSERT_TRUE(a.started());
  ASSERT_TRUE(waitForText(a, " joined, colour ", 90)) << a.err();
  ASSERT_TRUE(waitForText(b, " joined, colour 1", 30)) << b.err();

  // B does not share the HUD (its stored dialog setting): A goes on switching, B's HUD stays as
  // it is, and B's palette shows A's link icons on every button but the HUD.
  auto [a1, b1] = watch(2);
  std::cout << "B not sharing: A changes " << a1.changes << ", B on " << b1.hudOn << " off " << b1.hudOff
            << " changes " << b1.changes << ", teal " << b1.tealOnPalette << std::endl;
  ASSERT_GE(a1.changes, 2) << a.err();
  EXPECT_EQ(b1.changes, 0);
  EXPECT_GT(b1.captures, 3);
  EXPECT_GT(b1.tealOnPalette, 100.0);

  // B shares it in the dialog: A's state applies and B's HUD follows A's taps; the HUD button
  // gets A's icon.
  toggleHudSharing(b, true);
  EXPECT_TRUE(waitForSetting("b", "hudIsShared=true"));
  auto [a2, b2] = watch(3);
  std::cout << "both sharing: A changes " << a2.changes << ", B on " << b2.hudOn << " off " << b2.hudOff
            << " changes " << b2.changes << ", teal " << b2.tealOnPalette << std::endl;
  ASSERT_GE(a2.changes, 3) << a.err();
  EXPECT_GE(b2.changes, 2);
  EXPECT_GT(b2.hudOn, 0);
  EXPECT_GT(b2.hudOff, 0);
  EXPECT_GT(b2.tealOnPalette, b1.tealOnPalette + 20.0);

  // And stops sharing it again: B's HUD stays, the icon goes.
  toggleHudSharing(b, false);
  EXPECT_TRUE(waitForSetting("b", "hudIsShared=false"));
  auto [a3, b3] = watch(2);
  std::cout << "B not sharing again: A changes " << a3.changes << ", B on " << b3.hudOn << " off " << b3.hudOff
            << " changes " << b3.changes << ", teal " << b3.tealOnPalette << std::endl;
  ASSERT_GE(a3.changes, 2) << a.err();
  EXPECT_EQ(b3.changes, 0);
  EXPECT_LT(b3.tealOnPalette, b2.tealOnPalette - 20.0);

  // A leaves: B's palette drops the icons with the last avatar.
  a.signal(SIGTERM);
  EXPECT_TRUE(a.wait());
  ASSERT_TRUE(waitForText(b, " left", 10)) << b.err();
  const auto left = Clock::now();
  // The captures from a second after it left, until there are ten of them (two seconds of them
  // at 60 frames a second, however slowly the frames come).
  std::vector<std::string> afterLeaving;
  for (int i = 0; i < 600 && afterLeaving.size() < 10 && !b.poll(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    afterLeaving = capturesBetween(dir + "/eyes-b", left + std::chrono::seconds(1), Clock::now());
  }
  const Stretch alone = look(afterLeaving, true);
  std::cout << "B alone: teal " << alone.tealOnPalette << " in " << alone.captures << " captures" << std::endl;
  EXPECT_GT(alone.captures, 0);
  EXPECT_LT(alone.tealOnPalette, 10.0);
  b.signal(SIGTERM);
  EXPECT_TRUE(b.wait());
}
