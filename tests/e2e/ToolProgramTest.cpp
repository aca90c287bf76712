// The hand tools as a user works with them, through the real program on the simulated headset:
// a seed placed in a flow streams particles downstream, a plane section appears in the volume
// where the controller holds it (in each orientation), a kept clip plane cuts the model away on
// one side, the colour bar's iso value draws an iso-surface that stays while the hand is still
// and after it is kept, and a tool that works no longer pulses its controller.
#include <gtest/gtest.h>

#include <QImage>
#include <QString>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "ProgramProcess.h"
#include "TestScenes.h"
#include "ServerProcess.h"

namespace {

constexpr int kEyeWidth = 320;  // the simulated 640 x 720 at resolutionFactor 0.5
constexpr int kEyeHeight = 360;
constexpr int kLastFrame = 101;

// Where a room point lands in the left eye image (head at 1.6 m looking along -z).
struct Pixel {
  double column;
  double row;
};
Pixel projectLeft(double x, double y, double z) {
  const double ex = x + 0.032, py = y - 1.6;
  const double tx = ex / -z, ty = -py / -z;
  const double l = -1.39, r = 1.25, t = -1.47, b = 1.47;
  return {(tx - l) / (r - l) * kEyeWidth, (ty - t) / (b - t) * kEyeHeight};
}

// The model's centre stands at (0, 1, -2) in the room after the view reset, 0.4 m wide; a
// controller held still at (0, 1.024, -1.9) has its tool tip there.
const char* const kTipAtCentre = "0 1.024 -1.9";
const char* const kLeftAside = "-0.5 1 -1";
const char* const kRightAside = "0.5 1 -1";

struct Region {
  int count = 0;
  double column = -1;
  double row = -1;
};

template <typename Test>
Region region(const QImage& image, Test test) {
  Region r;
  double columns = 0, rows = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (test(x, y, image.pixel(x, y))) {
        columns += x;
        rows += y;
        ++r.count;
      }
  if (r.count) {
    r.column = columns / r.count;
    r.row = rows / r.count;
  }
  return r;
}

Region magenta(const QImage& image) {
  return region(image, [](int, int, QRgb p) { return qRed(p) > 150 && qGreen(p) < 90 && qBlue(p) > 150; });
}

// Pixels of the rainbow colour map's green-to-yellow half: a plane section, not the magenta
// plate or the grey room.
Region rainbow(const QImage& image) {
  return region(image, [](int, int, QRgb p) { return qGreen(p) > 150 && qGreen(p) - std::min(qRed(p), qBlue(p)) > 90; });
}

// Pixels whose colour differs from the other image's by more than the threshold.
Region changed(const QImage& a, const QImage& b, int threshold) {
  return region(a, [&](int x, int y, QRgb p) {
    const QRgb q = b.pixel(x, y);
    return std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q)) > threshold;
  });
}

class ToolProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) GTEST_SKIP() << "needs a display (run under xvfb-run)";
    dir = makeTempDir();
    scene = dir + "/flow.sce";
    std::ofstream(scene) << flowScene();
    binDir = std::getenv("QUONIX_BIN_DIR") ? std::getenv("QUONIX_BIN_DIR") : "bin";
  }

  // One run of the program with its own folders; the eye images of the frames are kept and
  // the runtime ends the program after the last one.
  struct Run {
    std::string dir;
    std::unique_ptr<Program> program;
    QImage eye(int frame) const {
      char name[64];
      std::snprintf(name, sizeof name, "/eyes/frame-%06d-left.png", frame);
      return QImage(QString::fromStdString(dir + name));
    }
    std::string haptics() const { return readFile(dir + "/haptics.txt"); }
  };

  std::unique_ptr<Run> start(const std::string& name, const std::string& config, const std::string& script,
                             const std::string& frames, std::vector<std::string> arguments = {},
                             bool exitAfterLastFrame = true) {
    if (arguments.empty()) arguments.push_back(scene);
    auto run = std::make_unique<Run>();
    run->dir = dir + "/" + name;
    const std::string base = run->dir + "/base";
    makeBaseWithAssets(base);
    std::ofstream(base + "/config.ini") << "resolutionFactor = 0.5\nuseFog = false\nresetViewModelSize = 0.4\n"
                                           "defaultPointRadius = 0.03\nbaseParticleStepSize = 0.02\n"
                                        << config;
    std::ofstream(run->dir + "/vrsim.txt") << "rate 60\nleft position " << kLeftAside << "\nright position "
                                           << kRightAside << "\n"
                                           << script;
    std::map<std::string, std::string> environment = {{"XDG_CONFIG_HOME", run->dir + "/settings"},
                                                      {"QUONIX_BASE_DIR", base},
                                                      {"QUONIX_VRSIM_SCRIPT", run->dir + "/vrsim.txt"},
                                                      {"QUONIX_VRSIM_CAPTURE_DIR", run->dir + "/eyes"},
                                                      {"QUONIX_VRSIM_CAPTURE_FRAMES", frames},
                                                      {"QUONIX_VRSIM_HAPTICS_LOG", run->dir + "/haptics.txt"}};
    if (exitAfterLastFrame) environment["QUONIX_VRSIM_EXIT_AFTER"] = std::to_string(kLastFrame);
    run->program.reset(new Program(arguments, environment));
    return run;
  }

  static void finish(Run& run) {
    ASSERT_TRUE(run.program->started());
    // Runs side by side share the machine: give each a few waits.
    bool ended = false;
    for (int i = 0; i < 4 && !ended; ++i) ended = run.program->wait();
    ASSERT_TRUE(ended);
    EXPECT_TRUE(run.program->exitedNormally()) << run.program->err();
    EXPECT_EQ(run.program->exitCode(), 0) << run.program->err();
    EXPECT_EQ(run.program->err().find("OpenGL error"), std::string::npos) << run.program->err();
  }

  std::string dir, scene, binDir;
};

}  // namespace

TEST_F(ToolProgram, ASeedPlacedInTheFlowStreamsParticlesDownstreamWithoutPulses) {
  // The right hand holds East (its seed tool) with the tip at the block's centre; the left
  // hand's East press keeps the seed; then both let go and the right hand moves away.
  const std::string script = std::string("frame 30\nright position ") + kTipAtCentre +
                             "\nframe 35\nright axis 0 0.9 0\nright press pad\n"
                             "frame 45\nleft axis 0 0.9 0\nleft press pad\nframe 47\nleft release pad\n"
                             "frame 50\nright release pad\nright position " + kRightAside + "\n";
  auto run = start("seed", "", script, "28,100");
  finish(*run);
  const QImage before = run->eye(28), after = run->eye(100);
  ASSERT_FALSE(before.isNull());
  ASSERT_FALSE(after.isNull());
  // Particles and the seed's cone appeared, downstream (+x, to the right) of the seed.
  const Region particles = changed(after, before, 60);
  const Pixel seed = projectLeft(0.0, 1.0, -2.0);
  EXPECT_GT(particles.count, 30);
  EXPECT_GT(particles.column, seed.column + 2.0);
  EXPECT_NEAR(particles.row, seed.row, 6.0);
  // The flow is 0.4 m wide in the room: nothing streams beyond it.
  EXPECT_LT(particles.column, projectLeft(0.25, 1.0, -2.0).column);
  // The working tool never pulsed its controller.
  EXPECT_EQ(run->haptics(), "");
}

TEST_F(ToolProgram, APadDirectionWhoseToolFindsNothingPulsesEveryFrameItIsHeld) {
  // The seed tool held outside the flow has nothing to seed.
  auto run = start("noseed", "", "frame 35\nright axis 0 0.9 0\nright press pad\nframe 45\nright release pad\n",
                   "28");
  finish(*run);
  std::istringstream lines(run->haptics());
  int pulses = 0;
  unsigned long long frame = 0;
  unsigned device = 0;
  std::string line;
  while (std::getline(lines, line)) {
    if (std::sscanf(line.c_str(), "%llu %u", &frame, &device) != 2) continue;
    EXPECT_EQ(device, 2u) << line;
    EXPECT_GE(frame, 35u) << line;
    EXPECT_LT(frame, 46u) << line;
    ++pulses;
  }
  EXPECT_GE(pulses, 9);
}

TEST_F(ToolProgram, APlaneSectionAppearsWhereTheControllerHoldsItInEachOrientation) {
  // The left hand holds West (its plane-section tool) with its tip in the block, turned so the
  // section faces the viewer: tilted up for the flat section, turned left for the others; one
  // run per "planeSectionOrientation".
  const char* const poses[3] = {"left position 0 0.914 -1.943\nleft rotation 0 70 0\n",
                                "left position 0 1.024 -1.9\nleft rotation 45 0 0\n",
                                "left position 0 1.024 -1.9\nleft rotation 45 0 0\n"};
  std::vector<std::unique_ptr<Run>> runs;
  for (int orientation = 0; orientation < 3; ++orientation)
    runs.push_back(start("section" + std::to_string(orientation),
                         "planeSectionOrientation = " + std::to_string(orientation) + "\n",
                         std::string("frame 30\n") + poses[orientation] +
                             "frame 35\nleft axis 0 -0.9 0\nleft press pad\n"
                             "frame 60\nleft release pad\nleft position " + kLeftAside + "\nleft rotation 0 0 0\n",
                         "28,45,100"));
  const Pixel tip = projectLeft(0.0, 1.0, -2.0);
  for (int orientation = 0; orientation < 3; ++orientation) {
    SCOPED_TRACE("planeSectionOrientation " + std::to_string(orientation));
    Run& run = *runs[orientation];
    finish(run);
    const QImage before = run.eye(28), held = run.eye(45), after = run.eye(100);
    ASSERT_FALSE(held.isNull());
    EXPECT_LT(rainbow(before).count, 5);
    const Region section = rainbow(held);
    EXPECT_GT(section.count, 60);
    EXPECT_NEAR(section.column, tip.column, 20.0);
    EXPECT_NEAR(section.row, tip.row, 20.0);
    // Held, not kept: gone once the hand lets go.
    EXPECT_LT(rainbow(after).count, 5);
  }
}

TEST_F(ToolProgram, AKeptClipPlaneCutsTheModelAwayOnItsFarSide) {
  // The right hand holds West (its clip tool) flat at the centre; the left hand's East press
  // keeps the plane; the model's upper half goes and stays gone after both let go.
  const std::string script = std::string("frame 30\nright position ") + kTipAtCentre +
                             "\nframe 35\nright axis 0 -0.9 0\nright press pad\n"
                             "frame 45\nleft axis 0 0.9 0\nleft press pad\nframe 47\nleft release pad\n"
                             "frame 50\nright release pad\nright position " + kRightAside + "\n";
  auto run = start("clip", "", script, "28,100");
  finish(*run);
  const Region whole = magenta(run->eye(28)), cut = magenta(run->eye(100));
  ASSERT_GT(whole.count, 200);
  EXPECT_NEAR(double(cut.count) / whole.count, 0.5, 0.15);
  EXPECT_GT(cut.row, whole.row + 3.0);
  EXPECT_NEAR(cut.column, whole.column, 2.0);
}

TEST_F(ToolProgram, TheColourBarsIsoValueDrawsAnIsoSurfaceThatStaysWhileTheHandIsStillAndWhenKept) {
  // The left hand holds East (the colour bar) at the centre: the iso value in the middle of the
  // pressure range draws the iso-surface z = 0; the right hand's East press keeps it.
  const std::string script = std::string("frame 30\nleft position ") + kTipAtCentre +
                             "\nframe 35\nleft axis 0 0.9 0\nleft press pad\n"
                             "frame 50\nright axis 0 0.9 0\nright press pad\nframe 52\nright release pad\n"
                             "frame 60\nleft release pad\nleft position " + kLeftAside + "\n";
  auto run = start("iso", "", script, "28,40,46,100");
  finish(*run);
  const QImage before = run->eye(28), held = run->eye(40), stillHeld = run->eye(46), kept = run->eye(100);
  const Region plate = magenta(before);
  ASSERT_GT(plate.count, 200);
  // The translucent surface tints the plate behind it.
  EXPECT_GT(changed(held, before, 15).count, plate.count / 2);
  // A hand held still leaves the value where it is.
  const Region drift = changed(stillHeld, held, 15);
  EXPECT_LT(drift.count, 10);
  // Kept, it stays after the hand lets go.
  EXPECT_GT(changed(kept, before, 15).count, plate.count / 2);
  EXPECT_EQ(run->haptics(), "");
}

// A server scene: the stand-in server sends it live, so the view prepares its other buffer after
// every swap. What the tools placed must show in every buffer, not flicker with the swaps.
TEST_F(ToolProgram, SeedMarkersAndParticlesStayAcrossBufferSwapsOfALiveServerScene) {
  ServerProcess server;
  std::string error;
  ASSERT_TRUE(server.start({"--live", "--frame-interval", "100", scene}, error)) << error;
  const std::string script = std::string("frame 250\nright position ") + kTipAtCentre +
                             "\nframe 255\nright axis 0 0.9 0\nright press pad\n"
                             "frame 265\nleft axis 0 0.9 0\nleft press pad\nframe 267\nleft release pad\n"
                             "frame 270\nright release pad\nright position " + kRightAside + "\n";
  auto run = start("swaps", "", script, "240,290,320,350", {"127.0.0.1", std::to_string(server.port())}, false);
  Program& program = *run->program;
  ASSERT_TRUE(program.started());
  // The server's only scene opens without a picker. (Under the thread sanitizer 350 frames take
  // over two minutes.)
  ASSERT_TRUE(waitForFile(run->dir + "/eyes/frame-000350-left.png", program, 600)) << program.err();
  const QImage before = run->eye(240);
  ASSERT_GT(magenta(before).count, 200) << "the scene was not shown before the tools were used";
  const Pixel seed = projectLeft(0.0, 1.0, -2.0);
  for (int frame : {290, 320, 350}) {
    SCOPED_TRACE(frame);
    const Region placed = changed(run->eye(frame), before, 60);
    EXPECT_GT(placed.count, 20);
    EXPECT_GT(placed.column, seed.column);
    EXPECT_NEAR(placed.row, seed.row, 6.0);
  }
  program.signal(SIGTERM);
  program.wait();
}
