// The scene view as a user sees it, through the real program on the simulated headset: a scene
// file named on the command line reaches both eyes with their parallax and the window's
// mirror, the title names the file, the head's movement moves the model, a scene with a
// volume renders without GL errors, and the program ends cleanly by its window, its Quit
// action and after a failed start-up.
#include <gtest/gtest.h>

#include <QImage>
#include <QString>

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "EyeImages.h"
#include "ProgramProcess.h"
#include "TestScenes.h"

namespace {
const char* const kTitle = "Mavolin Quonix Virtual Reality";
// The file's base name is not ASCII: the title must carry it as it is.
const char* const kSceneBaseName = "Strömung";
constexpr int kEyeWidth = 320;  // the simulated 640 x 720 at resolutionFactor 0.5
constexpr int kEyeHeight = 360;

// Where a room point lands in an eye image of the simulated headset (head at 1.6 m looking
// along -z, turned left by yaw degrees; eyes 64 mm apart; tangents as vrsim-info lists them).
struct Pixel {
  double column;
  double row;
};
Pixel project(bool leftEye, double x, double y, double z, double yawDegrees = 0) {
  const double px = x, py = y - 1.6, pz = z;
  const double a = -yawDegrees * M_PI / 180.0;  // into head coordinates
  const double hx = px * std::cos(a) + pz * std::sin(a);
  const double hz = -px * std::sin(a) + pz * std::cos(a);
  const double ex = hx - (leftEye ? -0.032 : 0.032);
  const double tx = ex / -hz, ty = -py / -hz;
  const double l = leftEye ? -1.39 : -1.25, r = leftEye ? 1.25 : 1.39, t = -1.47, b = 1.47;
  return {(tx - l) / (r - l) * kEyeWidth, (ty - t) / (b - t) * kEyeHeight};
}

class SceneViewProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) GTEST_SKIP() << "needs a display (run under xvfb-run)";
    dir = makeTempDir();
    settingsHome = dir + "/settings";
    scene = dir + "/" + kSceneBaseName + ".sce";
    std::ofstream(scene) << plateScene();
    // The program's assets with a configuration of our own: small eyes, no fog, a model
    // 0.4 m wide placed where the view reset puts it by default (1 m up, 2 m ahead).
    base = dir + "/base";
    makeBaseWithAssets(base);
    std::ofstream(base + "/config.ini") << "resolutionFactor = 0.5\nuseFog = false\nresetViewModelSize = 0.4\n";
    captures = dir + "/eyes";
  }

  std::map<std::string, std::string> environment(const std::string& script, const std::string& frames) const {
    std::ofstream(dir + "/vrsim.txt") << "rate 60\nleft position -1 1 2\nright position 1 1 2\n" << script;
    return {{"XDG_CONFIG_HOME", settingsHome},
            {"QUONIX_BASE_DIR", base},
            {"QUONIX_VRSIM_SCRIPT", dir + "/vrsim.txt"},
            {"QUONIX_VRSIM_CAPTURE_DIR", captures},
            {"QUONIX_VRSIM_CAPTURE_FRAMES", frames}};
  }

  QImage eye(int frame, const char* side) const {
    char name[64];
    std::snprintf(name, sizeof name, "/frame-%06d-%s.png", frame, side);
    return QImage(QString::fromStdString(captures + name));
  }
  std::string eyeFile(int frame, const char* side) const {
    char name[64];
    std::snprintf(name, sizeof name, "/frame-%06d-%s.png", frame, side);
    return captures + name;
  }

  // Ends cleanly: exit code 0 and no thread left behind.
  static void expectCleanEnd(Program& program) {
    ASSERT_TRUE(program.wait());
    EXPECT_TRUE(program.exitedNormally()) << program.err();
    EXPECT_EQ(program.exitCode(), 0) << program.err();
    EXPECT_EQ(program.err().find("Destroyed while thread"), std::string::npos) << program.err();
    EXPECT_EQ(program.err().find("Threading model violation"), std::string::npos) << program.err();
  }

  std::string dir, settingsHome, scene, base, captures;
};

const std::string kTitlePattern = std::string("^") + kTitle;
}  // namespace

TEST_F(SceneViewProgram, SceneReachesBothEyesWithParallaxAndTheWindowMirror) {
  Program program({scene}, environment("", "20"));
  ASSERT_TRUE(program.started());
  ASSERT_TRUE(waitForFile(eyeFile(20, "right"), program)) << program.err();
  const std::string window = program.waitForWindow(kTitlePattern);
  ASSERT_FALSE(window.empty());
  EXPECT_EQ(shell("xdotool getwindowname " + window), std::string(kTitle) + " - " + kSceneBaseName);

  // The model's centre stands where the view reset puts it, seen by each eye from its place.
  const Blob left = magenta(eye(20, "left"));
  const Blob right = magenta(eye(20, "right"));
  ASSERT_GT(left.count, 200);
  ASSERT_GT(right.count, 200);
  const Pixel expectedLeft = project(true, 0, 1, -2);
  const Pixel expectedRight = project(false, 0, 1, -2);
  EXPECT_NEAR(left.column, expectedLeft.column, 3.0);
  EXPECT_NEAR(right.column, expectedRight.column, 3.0);
  EXPECT_NEAR(left.row, expectedLeft.row, 4.0);
  EXPECT_NEAR(right.row, expectedRight.row, 4.0);
  // The parallax: the nearer to the left eye, the further right the model appears in it.
  EXPECT_NEAR(left.column - right.column, expectedLeft.column - expectedRight.column, 2.0);

  // The window shows the left eye stretched over the view, below the menu bar.
  const std::string shot = dir + "/window.png";
  shell("import -window " + window + " '" + shot + "'");
  const QImage image(QString::fromStdString(shot));
  ASSERT_FALSE(image.isNull());
  const Blob mirror = magenta(image);
  ASSERT_GT(mirror.count, 200);
  EXPECT_NEAR(mirror.column / image.width(), left.column / kEyeWidth, 0.015);
  // The menu bar's top rows are the menu bar's, not the mirror's.
  const QRgb menu = image.pixel(image.width() - 5, 3);
  EXPECT_GT(qGray(menu), 180);
  EXPECT_EQ(qRed(menu), qBlue(menu));

  requestClose(window);
  expectCleanEnd(program);
}

TEST_F(SceneViewProgram, AVolumeSceneRendersWithoutGlErrors) {
  std::ofstream(scene) << plateScene(kPressureBlock);
  Program program({scene}, environment("", "20"));
  ASSERT_TRUE(program.started());
  ASSERT_TRUE(waitForFile(eyeFile(20, "right"), program)) << program.err();
  EXPECT_GT(magenta(eye(20, "left")).count, 200);
  EXPECT_GT(magenta(eye(20, "right")).count, 200);
  const std::string window = program.waitForWindow(kTitlePattern);
  ASSERT_FALSE(window.empty());
  Program::settle();
  Program::keys(window, "ctrl+q");
  expectCleanEnd(program);
  EXPECT_EQ(program.err().find("OpenGL error"), std::string::npos) << program.err();
}

// At default settings on the software renderer of the test display (no anisotropic filtering,
// no multisampling, said in one line) the floor still shows its texture, not a flat shade.
TEST_F(SceneViewProgram, TheRoomKeepsItsTexturesAtDefaultSettingsOnASoftwareRenderer) {
  std::ofstream(base + "/config.ini") << "resolutionFactor = 0.5\nresetViewModelSize = 0.4\n";
  Program program({scene}, environment("", "5"));
  ASSERT_TRUE(program.started());
  ASSERT_TRUE(waitForFile(eyeFile(5, "left"), program)) << program.err();
  const QImage image = eye(5, "left");
  ASSERT_FALSE(image.isNull());
  // The floor fills the bottom rows: its hexagons make the grey vary along a row.
  int edges = 0;
  for (int y = image.height() - 40; y < image.height(); ++y)
    for (int x = 1; x < image.width(); ++x)
      edges += std::abs(qGray(image.pixel(x, y)) - qGray(image.pixel(x - 1, y))) > 12;
  EXPECT_GT(edges, 200);
  program.signal(SIGTERM);
  expectCleanEnd(program);
  const std::string err = program.err();
  const std::string said =
      "anisotropic filtering and the room's mipmap blending (\"textureQuality\") and multisampling (\"multiSamples\") "
      "left off";
  size_t count = 0;
  for (size_t at = err.find(said); at != std::string::npos; at = err.find(said, at + 1)) ++count;
  EXPECT_EQ(count, 1u) << err;
}

// A "defaultTexFileName" in config.ini that names no file, a file that is no PNG image, or a name
// that is not valid UTF-8 gives the room its built-in texture: the floor looks as it does with
// the default settings (not plain white), and one line names the file and what is wrong with it.
TEST_F(SceneViewProgram, ABadRoomTextureNameShowsTheBuiltInTexture) {
  // An assets folder of its own, to hold a file that is no PNG image beside the real assets.
  const std::string binDir = std::getenv("QUONIX_BIN_DIR") ? std::getenv("QUONIX_BIN_DIR") : "bin";
  shell("rm '" + base + "/vrassets' && mkdir '" + base + "/vrassets' && ln -s \"$(realpath '" + binDir +
        "/vrassets')\"/* '" + base + "/vrassets/'");
  std::ofstream(base + "/vrassets/notes.png") << "These are notes, not an image.\n";
  // Each run with settings of its own: saved settings would name the texture of the run before.
  int runs = 0;
  const auto floorRows = [&](const std::string& textureLine, std::string& err) {
    std::ofstream(base + "/config.ini") << "resolutionFactor = 0.5\nresetViewModelSize = 0.4\nuseFog = false\n"
                                        << textureLine;
    settingsHome = dir + "/settings-" + std::to_string(++runs);
    captures = dir + "/eyes-" + std::to_string(runs);
    Program program({scene}, environment("", "20"));
    EXPECT_TRUE(program.started());
    EXPECT_TRUE(waitForFile(eyeFile(20, "left"), program)) << program.err();
    // The floor fills the bottom rows.
    const QImage image = eye(20, "left");
    program.signal(SIGTERM);
    expectCleanEnd(program);
    err = program.err();
    return image.isNull() ? image : image.copy(0, image.height() - 40, image.width(), 40);
  };
  const auto occurrences = [](const std::string& text, const std::string& part) {
    int count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
  };
  std::string err;
  const QImage builtIn = floorRows("", err);
  EXPECT_EQ(occurrences(err, "defaultTexFileName"), 0) << err;
  ASSERT_FALSE(builtIn.isNull());
  // The built-in texture's hexagons make the grey vary along a row.
  const auto edges = [](const QImage& rows) {
    int count = 0;
    for (int y = 0; y < rows.height(); ++y)
      for (int x = 1; x < rows.width(); ++x) count += std::abs(qGray(rows.pixel(x, y)) - qGray(rows.pixel(x - 1, y))) > 12;
    return count;
  };
  ASSERT_GT(edges(builtIn), 200);

  const std::string assets = base + "/vrassets/";
  const struct {
    const char* name;
    std::string line;
    std::string said;
  } cases[] = {
      {"a missing file", "defaultTexFileName = \"stone.png\"\n",
       "The room texture '" + assets + "stone.png' named by defaultTexFileName in config.ini does not exist; the "
       "built-in hex-texture.png is used instead."},
      {"a file that is no PNG image", "defaultTexFileName = \"notes.png\"\n",
       "The room texture '" + assets + "notes.png' named by defaultTexFileName in config.ini is no PNG image; the "
       "built-in hex-texture.png is used instead."},
      {"a name that is not UTF-8", "defaultTexFileName = \"st\xffone.png\"\n",
       "The room texture '" + assets + "st\xef\xbf\xbdone.png' named by defaultTexFileName in config.ini is not valid "
       "UTF-8; the built-in hex-texture.png is used instead."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const QImage floor = floorRows(c.line, err);
    ASSERT_FALSE(floor.isNull());
    ASSERT_EQ(floor.size(), builtIn.size());
    // The same floor as with the default settings, pixel for pixel but for a few.
    int differing = 0;
    for (int y = 0; y < floor.height(); ++y)
      for (int x = 0; x < floor.width(); ++x) differing += std::abs(qGray(floor.pixel(x, y)) - qGray(builtIn.pixel(x, y))) > 24;
    EXPECT_LT(differing, floor.width() * floor.height() / 50);
    EXPECT_GT(edges(floor), 200);
    EXPECT_EQ(occurrences(err, "Warning: " + c.said + "\n"), 1) << err;
    EXPECT_EQ(occurrences(err, "named by defaultTexFileName"), 1) << err;
  }
}

// Settings that ask for absurd targets or hold values of the wrong type still give a sane view,
// with one line for each bad setting.
TEST_F(SceneViewProgram, AbsurdAndMistypedSettingsStillRenderBothEyes) {
  std::ofstream(base + "/config.ini") << "resolutionFactor = 1e6\n"
                                         "hudResolution = 100000\n"
                                         "this line is not a setting\n"
                                         "useFog = false\n"
                                         "laserAngle = [1, 2]\n"
                                         "ceilingHeight = tall\n"
                                         "resetViewModelSize = 0.4\n";
  Program program({scene}, environment("", "3"));
  ASSERT_TRUE(program.started());
  ASSERT_TRUE(waitForFile(eyeFile(3, "right"), program, 120)) << program.err();
  for (const char* side : {"left", "right"}) {
    const QImage image = eye(3, side);
    ASSERT_FALSE(image.isNull()) << side;
    EXPECT_LE(static_cast<long long>(image.width()) * image.height(), 4096LL * 4096LL) << side;
    EXPECT_GT(image.width(), 1000) << side;
    EXPECT_GT(magenta(image).count, 200) << side;
  }
  program.signal(SIGTERM);
  expectCleanEnd(program);
  const std::string err = program.err();
  EXPECT_EQ(countLines(err, "Parsing config file failed: config.ini, line 3: expected '=' after key 'this' (the line is skipped)"), 1) << err;
  for (const char* key : {"\"resolutionFactor\" asks for", "\"hudResolution\" asks for", "'laserAngle'", "'ceilingHeight'"}) {
    size_t count = 0;
    for (size_t at = err.find(key); at != std::string::npos; at = err.find(key, at + 1)) ++count;
    EXPECT_EQ(count, 1u) << key << "\n" << err;
  }
  // The line names what the config asked for, not the size clamped to the largest target side.
  EXPECT_NE(err.find("\"hudResolution\" asks for a 100000 pixel wide HUD"), std::string::npos) << err;
  EXPECT_EQ(err.find("OpenGL error"), std::string::npos) << err;
}

// A controller whose pose overflows while its trigger drags the model is not tracked for those
// frames: the model follows the sane poses only and the view stays usable.
TEST_F(SceneViewProgram, NonFiniteControllerPoseLeavesTheViewIntact) {
  const std::string script =
      "frame 20\nright press trigger\n"
      "frame 24\nright position 0.9 1 2\n"
      "frame 28\nright position 1e308 1 2\n"
      "frame 32\nright position nan 1 2\n"
      "frame 36\nright position 0.9 1 2\n"
      "frame 40\nright release trigger\n";
  Program program({scene}, environment(script, "18,26,60"));
  ASSERT_TRUE(program.started());
  ASSERT_TRUE(waitForFile(eyeFile(60, "right"), program)) << program.err();
  for (const char* side : {"left", "right"}) {
    const Blob before = magenta(eye(18, side));
    const Blob dragged = magenta(eye(26, side));
    const Blob after = magenta(eye(60, side));
    ASSERT_GT(before.count, 200) << side;
    ASSERT_GT(after.count, 200) << side;
    // Where the sane drag put it, not one flat colour.
    EXPECT_NEAR(after.column, dragged.column, 2.0) << side;
    EXPECT_NEAR(after.row, dragged.row, 2.0) << side;
    EXPECT_LT(after.count, eye(60, side).width() * eye(60, side).height() / 2) << side;
  }
  program.signal(SIGTERM);
  expectCleanEnd(program);
}

TEST_F(SceneViewProgram, HeadTurnMovesTheModelInBothEyes) {
  Program program({scene}, environment("frame 40\nhead rotation 10 0 0\n", "30,60"));
  ASSERT_TRUE(program.started());
  ASSERT_TRUE(waitForFile(eyeFile(60, "right"), program)) << program.err();
  for (const char* side : {"left", "right"}) {
    const bool leftEye = std::string(side) == "left";
    const Blob before = magenta(eye(30, side));
    const Blob after = magenta(eye(60, side));
    ASSERT_GT(before.count, 200) << side;
    ASSERT_GT(after.count, 200) << side;
    // Turning left moves what stands ahead to the right.
    const double expected = project(leftEye, 0, 1, -2, 10).column - project(leftEye, 0, 1, -2).column;
    EXPECT_GT(after.column - before.column, 10.0) << side;
    EXPECT_NEAR(after.column - before.column, expected, 4.0) << side;
  }
  const std::string window = program.waitForWindow(kTitlePattern);
  ASSERT_FALSE(window.empty());
  Program::settle();
  Program::keys(window, "ctrl+q");
  expectCleanEnd(program);
}

TEST_F(SceneViewProgram, CloseEmptiesTheViewAndQuitEndsCleanly) {
  Program program({scene}, environment("", "20"));
  ASSERT_TRUE(program.started());
  ASSERT_TRUE(waitForFile(eyeFile(20, "right"), program)) << program.err();
  const std::string window = program.waitForWindow(kTitlePattern);
  ASSERT_FALSE(window.empty());
  Program::settle();
  Program::keys(window, "ctrl+F4");  // File/Close
  // Without a scene nothing is submitted any more and the mirror is gone.
  const std::string shot = dir + "/closed.png";
  size_t eyesBefore = 0;
  for (int i = 0; i < 50; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const size_t eyes = std::stoul(shell("ls '" + captures + "' | wc -l"));
    shell("import -window " + window + " '" + shot + "'");
    if (magenta(QImage(QString::fromStdString(shot))).count == 0 && eyes == eyesBefore) break;
    eyesBefore = eyes;
  }
  EXPECT_EQ(magenta(QImage(QString::fromStdString(shot))).count, 0);
  ASSERT_FALSE(program.poll()) << program.err();
  Program::keys(window, "ctrl+q");
  expectCleanEnd(program);
}

TEST_F(SceneViewProgram, FailedHeadsetStartEndsCleanlyWhenTheErrorBoxCloses) {
  Program program({scene}, environment("fail init 108\n", "1"));
  ASSERT_TRUE(program.started());
  ASSERT_FALSE(program.waitForWindow(kTitlePattern).empty());
  // The error box comes as a second window of the program.
  std::vector<std::string> windows;
  for (int i = 0; i < 100 && windows.size() < 2; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    windows = program.windows(".");
  }
  ASSERT_GE(windows.size(), 2u) << program.err();
  // The box's text, with the runtime's own words, is logged with it.
  EXPECT_NE(program.err().find("Error: VR hardware could not be initialized (Hmd Not Found (108)). "),
            std::string::npos)
      << program.err();
  Program::settle();
  Program::keys(windows.back(), "Return");
  expectCleanEnd(program);
  EXPECT_EQ(shell("ls '" + captures + "' 2>/dev/null | wc -l"), "0");
}
