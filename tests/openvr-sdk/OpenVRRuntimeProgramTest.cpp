// The program built against the OpenVR SDK, as a headset user runs it: through the SDK's loader
// beside it. On the simulated headset's runtime folder (found through VR_OVERRIDE) the sample
// reaches both eyes with their parallax, the controllers' render models are drawn, a press on a
// controller comes back as the tool's pulse, and a headset that fails to start shows the
// runtime's error in the start-up box; with no runtime at all the box shows the loader's error.
// Either box ends the program cleanly.
#include <gtest/gtest.h>

#include <QImage>
#include <QString>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "ProgramProcess.h"

namespace {

const std::string kTitle = "Mavolin Quonix Virtual Reality";
const std::string kSampleTitle = kTitle + " - sample_vr, Vortex shedding behind a cylinder, Frame: 0";
constexpr int kEyeWidth = 320;  // the simulated 640 x 720 at resolutionFactor 0.5
constexpr int kEyeHeight = 360;
// Rows below this one show the controllers (held low, in front of the body), rows above the sample.
constexpr int kControllerRows = 280;

std::string binDir() { return std::getenv("QUONIX_BIN_DIR") ? std::getenv("QUONIX_BIN_DIR") : "bin"; }

struct Blob {
  int count = 0;
  double column = -1;
};

// Strongly coloured pixels above the controllers: the sample's coloured flow field.
Blob sampleColours(const QImage& image) {
  Blob blob;
  double columns = 0;
  for (int y = 0; y < std::min(kControllerRows, image.height()); ++y)
    for (int x = 0; x < image.width(); ++x) {
      const QRgb p = image.pixel(x, y);
      const int high = std::max({qRed(p), qGreen(p), qBlue(p)});
      const int low = std::min({qRed(p), qGreen(p), qBlue(p)});
      if (high - low > 120) {
        columns += x;
        ++blob.count;
      }
    }
  if (blob.count) blob.column = columns / blob.count;
  return blob;
}

// The simulated controllers' render model, dark grey and lit from above, in the controllers'
// rows: nothing else there (the floor, the labels above the pads) comes near black.
int controllerModelPixels(const QImage& image) {
  int count = 0;
  for (int y = kControllerRows; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      const QRgb p = image.pixel(x, y);
      if (std::max({qRed(p), qGreen(p), qBlue(p)}) < 40) ++count;
    }
  return count;
}

// The column where a point straight ahead at distance z lands in an eye of the simulated
// headset (eyes 64 mm apart, frustum tangents as its system interface reports them).
double columnAhead(bool leftEye, double x, double z) {
  const double ex = x - (leftEye ? -0.032 : 0.032);
  const double l = leftEye ? -1.39 : -1.25, r = leftEye ? 1.25 : 1.39;
  return (ex / z - l) / (r - l) * kEyeWidth;
}

class OpenVRRuntimeProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) GTEST_SKIP() << "needs a display (run under xvfb-run)";
    dir = makeTempDir();
    base = dir + "/base";
    makeBaseWithAssets(base);
    std::ofstream(base + "/config.ini") << "resolutionFactor = 0.5\nuseFog = false\n";
    captures = dir + "/eyes";
    shell("mkdir -p '" + dir + "/vrconfig' '" + dir + "/vrlog' '" + dir + "/settings'");
  }

  // The program's surroundings; with a runtime, the simulated one runs the script.
  std::map<std::string, std::string> environment(bool withRuntime, const std::string& script,
                                                 const std::string& frames) const {
    std::ofstream(dir + "/vrsim.txt") << "rate 60\nleft position -0.6 0.9 -0.6\nright position 0.6 0.9 -0.6\n"
                                      << script;
    std::map<std::string, std::string> env = {{"XDG_CONFIG_HOME", dir + "/settings"},
                                              {"QUONIX_BASE_DIR", base},
                                              {"QUONIX_VRSIM_SCRIPT", dir + "/vrsim.txt"},
                                              {"QUONIX_VRSIM_CAPTURE_DIR", captures},
                                              {"QUONIX_VRSIM_CAPTURE_FRAMES", frames},
                                              {"QUONIX_VRSIM_HAPTICS_LOG", dir + "/haptics.txt"}};
    if (withRuntime) {
      env["VR_OVERRIDE"] = QUONIX_VRSIM_RUNTIME_DIR;
      env["VR_CONFIG_PATH"] = dir + "/vrconfig";
      env["VR_LOG_PATH"] = dir + "/vrlog";
    }
    return env;
  }

  QImage eye(int frame, const char* side) const { return QImage(QString::fromStdString(eyeFile(frame, side))); }
  std::string eyeFile(int frame, const char* side) const {
    char name[64];
    std::snprintf(name, sizeof name, "/frame-%06d-%s.png", frame, side);
    return captures + name;
  }

  // Answers a picker with its first entry.
  static void takeFirst(Program& program, const std::string& pickerTitle) {
    const std::string picker = program.waitForWindow("^" + pickerTitle + "$");
    ASSERT_FALSE(picker.empty()) << "no picker \"" << pickerTitle << "\"\n" << program.err();
    Program::settle();
    Program::keys(picker, "Return");
  }

  // The start-up box: a second window of the program. Its text is logged with it; OK closes it
  // and ends the program with code 0.
  static void expectStartBoxEndsCleanly(Program& program, const std::string& text) {
    ASSERT_TRUE(program.started());
    ASSERT_FALSE(program.waitForWindow("^" + kTitle).empty()) << program.err();
    std::vector<std::string> windows;
    for (int i = 0; i < 300 && windows.size() < 2; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      windows = program.windows(".");
    }
    ASSERT_GE(windows.size(), 2u) << program.err();
    EXPECT_NE(program.err().find("Error: VR hardware could not be initialized (" + text + ")"), std::string::npos)
        << program.err();
    Program::settle();
    Program::keys(windows.back(), "Return");
    ASSERT_TRUE(program.wait());
    EXPECT_TRUE(program.exitedNormally()) << program.err();
    EXPECT_EQ(program.exitCode(), 0) << program.err();
  }

  std::string dir, base, captures;
};

}  // namespace

TEST_F(OpenVRRuntimeProgram, TheSampleReachesBothEyesWithModelsAndAPressComesBackAsAPulse) {
  // Frames wait for the go file, written once the sample is shown. Then the right hand, far
  // from the flow, holds the pad on its right side, the seed tool's: it finds nothing to seed
  // there and pulses the controller every frame.
  const std::string go = dir + "/go";
  Program program({binDir() + "/sample_vr.sce"},
                  environment(true,
                              "frame 3\nwait-file " + go +
                                  "\nframe 40\nright axis 0 0.9 0\nright press pad\nframe 50\nright release pad\n",
                              "30,60"));
  ASSERT_TRUE(program.started());
  takeFirst(program, "Select scene");
  takeFirst(program, "Select frame");
  const std::string window = program.waitForWindow("^" + kTitle);
  ASSERT_FALSE(window.empty());
  bool shown = false;
  for (int i = 0; i < 900 && !shown && !program.poll(); ++i) {
    shown = shell("xdotool getwindowname " + window) == kSampleTitle;
    if (!shown) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  ASSERT_TRUE(shown) << program.err();
  std::ofstream(go) << "go\n";

  // Both eyes show the sample, each from its own place: the nearer the left eye, the further
  // right it appears there.
  ASSERT_TRUE(waitForFile(eyeFile(30, "right"), program)) << program.err();
  const QImage left = eye(30, "left"), right = eye(30, "right");
  ASSERT_EQ(left.width(), kEyeWidth);
  ASSERT_EQ(left.height(), kEyeHeight);
  const Blob l = sampleColours(left), r = sampleColours(right);
  ASSERT_GT(l.count, 300);
  ASSERT_GT(r.count, 300);
  const double expectedParallax = columnAhead(true, 0, 2) - columnAhead(false, 0, 2);
  EXPECT_NEAR(l.column - r.column, expectedParallax, 3.0) << l.column << " " << r.column;
  // The controllers' render models, textured, below the sample in both eyes.
  EXPECT_GT(controllerModelPixels(left), 300);
  EXPECT_GT(controllerModelPixels(right), 300);

  // The press reached the program: the right controller (device 2) pulsed while it was held.
  // Frame 60's images come after the release.
  ASSERT_TRUE(waitForFile(eyeFile(60, "right"), program)) << program.err();
  std::istringstream lines(readFile(dir + "/haptics.txt"));
  int pulses = 0;
  std::string line;
  while (std::getline(lines, line)) {
    unsigned long long frame = 0;
    unsigned device = 0;
    if (std::sscanf(line.c_str(), "%llu %u", &frame, &device) != 2) continue;
    EXPECT_EQ(device, 2u) << line;
    EXPECT_GE(frame, 40u) << line;
    EXPECT_LE(frame, 50u) << line;
    ++pulses;
  }
  EXPECT_GE(pulses, 5) << program.err();

  requestClose(window);
  ASSERT_TRUE(program.wait());
  EXPECT_TRUE(program.exitedNormally()) << program.err();
  EXPECT_EQ(program.exitCode(), 0) << program.err();
}

TEST_F(OpenVRRuntimeProgram, AHeadsetThatFailsToStartShowsTheRuntimesErrorInTheStartBox) {
  Program program({binDir() + "/sample_vr.sce"}, environment(true, "fail init 108\n", "1"));
  expectStartBoxEndsCleanly(program, "Hmd Not Found (108)");
  EXPECT_EQ(shell("ls '" + captures + "' 2>/dev/null | wc -l"), "0");
}

TEST_F(OpenVRRuntimeProgram, WithNoRuntimeTheStartBoxShowsTheLoadersError) {
  Program program({binDir() + "/sample_vr.sce"}, environment(false, "", "1"));
  expectStartBoxEndsCleanly(program, "Installation path could not be located (110)");
}
