// A big surface dragged by the hand, through the real program on the simulated headset: while
// the model moves the eyes show the surface's reduced copy, and from the first frame after the
// hand stops they show exactly what a run that never reduces it shows.
#include <gtest/gtest.h>

#include <QImage>
#include <QString>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "EyeImages.h"
#include "ProgramProcess.h"

namespace {

// A magenta sheet 2 x 2 scene units facing the scene camera, in bumps that shade it, of
// 2 x n x n triangles.
std::string bumpySheetScene(int n) {
  std::ostringstream points, polys;
  for (int j = 0; j <= n; ++j)
    for (int i = 0; i <= n; ++i) {
      const double x = -1.0 + 2.0 * i / n, y = -1.0 + 2.0 * j / n;
      points << (i || j ? ", " : "") << x << ", " << y << ", " << 0.15 * std::sin(6 * x) * std::cos(5 * y);
    }
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) {
      const int a = j * (n + 1) + i, b = a + 1, c = a + n + 1, d = c + 1;
      polys << (i || j ? ", " : "") << "3, " << a << ", " << b << ", " << d << ", 3, " << a << ", " << d << ", " << c;
    }
  return R"(format = quonix-scene
version = 1
camera { position = [0, 0, 5], focalPoint = [0, 0, 0] }
frameSets {
  sheet {
    title = "Bumpy sheet"
    frames {
      only {
        drawables {
          sheet {
            type = Surface
            name = "Sheet Boundary"
            data {
              points = [)" + points.str() + R"(]
              polys = [)" + polys.str() + R"(]
            }
            base { color = [1, 0, 1] }
          }
        }
      }
    }
  }
}
)";
}

constexpr int kFirstMovingFrame = 12;  // the trigger goes down at 11, the hand moves from 12 on
constexpr int kLastMovingFrame = 31;
const int kFrames[] = {20, 25, 31, 32, 33, 45};

class MovingModelProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) GTEST_SKIP() << "needs a display (run under xvfb-run)";
    dir = makeTempDir();
    scene = dir + "/sheet.sce";
    std::ofstream(scene) << bumpySheetScene(100);
  }

  // One run dragging the sheet with the given "movingSurfaceTriangles"; the captures of kFrames
  // by side and frame. The drag starts once the icons are filled and, when the copy is wanted,
  // once it is made.
  std::map<std::string, QImage> run(const std::string& name, int movingSurfaceTriangles, std::string* output) {
    const std::string runDir = dir + "/" + name, base = runDir + "/base", captures = runDir + "/eyes";
    shell("mkdir -p '" + runDir + "'");
    makeBaseWithAssets(base);
    std::ofstream(base + "/config.ini") << "resolutionFactor = 0.5\nuseFog = false\nresetViewModelSize = 1.2\n"
                                        << "movingSurfaceTriangles = " << movingSurfaceTriangles << "\n";
    const std::string go = runDir + "/go";
    std::ostringstream script;
    script << "rate 60\nleft position -1 1 2\nright position 0.5 1 2\n"
           << "frame 10\n" << iconsFilledGate(go) << "frame 11\nright press trigger\n";
    // 1 cm a frame to the right, then the hand holds still with the trigger down.
    for (int frame = kFirstMovingFrame; frame <= kLastMovingFrame; ++frame)
      script << "frame " << frame << "\nright position " << 0.5 + 0.01 * (frame - kFirstMovingFrame + 1)
             << " 1 2\n";
    script << "frame 40\nright release trigger\n";
    std::ofstream(runDir + "/vrsim.txt") << script.str();
    std::string frames = "5";
    for (int frame : kFrames) frames += "," + std::to_string(frame);
    std::map<std::string, std::string> env = headsetEnvironment(runDir, base, captures, frames);
    env["QUONIX_VRSIM_SCRIPT"] = runDir + "/vrsim.txt";
    Program program({scene}, env);
    EXPECT_TRUE(program.started());
    std::map<std::string, QImage> images;
    if (movingSurfaceTriangles > 0) {
      EXPECT_TRUE(waitUntil([&] { return program.poll() || countOf(program.out(), "while the model moves") > 0; }, 120))
          << program.err();
    }
    const bool released = releaseOnceIconsFilled(program, captures + "/frame-000005-right.png", go);
    std::ofstream(go) << "go\n";  // whatever happened, the program must be able to end
    EXPECT_TRUE(released) << program.err();
    char last[64];
    std::snprintf(last, sizeof last, "/frame-%06d-left.png", kFrames[sizeof kFrames / sizeof *kFrames - 1]);
    EXPECT_TRUE(waitForFile(captures + last, program, 180)) << program.err();
    for (int frame : kFrames)
      for (const char* side : {"left", "right"}) {
        char file[64];
        std::snprintf(file, sizeof file, "/frame-%06d-%s.png", frame, side);
        images[std::string(side) + std::to_string(frame)] = QImage(QString::fromStdString(captures + file));
      }
    program.signal(SIGTERM);
    EXPECT_TRUE(program.wait());
    if (output) *output = program.out();
    return images;
  }

  std::string dir, scene;
};

}  // namespace

TEST_F(MovingModelProgram, WhileDraggedTheReducedCopyShowsAndOnceStillTheFullSurfaceExactly) {
  std::string reducedOutput;
  std::map<std::string, QImage> reduced = run("reduced", 2000, &reducedOutput);
  std::map<std::string, QImage> full = run("full", 0, nullptr);
  ASSERT_FALSE(HasFailure());
  // 20000 triangles, drawn with about 2000 while the model moves.
  const size_t at = reducedOutput.find("A surface of 20000 polygons is drawn with ");
  ASSERT_NE(at, std::string::npos) << reducedOutput;
  const int copyTriangles = std::atoi(reducedOutput.c_str() + at + std::strlen("A surface of 20000 polygons is drawn with "));
  EXPECT_GT(copyTriangles, 1000);
  EXPECT_LE(copyTriangles, 2300);

  for (const char* side : {"left", "right"})
    for (int frame : kFrames) {
      const std::string key = side + std::to_string(frame);
      SCOPED_TRACE(key);
      const QImage& a = reduced[key];
      const QImage& b = full[key];
      ASSERT_FALSE(a.isNull());
      ASSERT_FALSE(b.isNull());
      const Blob sheetA = magenta(a), sheetB = magenta(b);
      ASSERT_GT(sheetB.count, 500);
      if (frame <= kLastMovingFrame) {
        // The same sheet in the same place, drawn from fewer triangles.
        EXPECT_FALSE(a == b) << "the moving frame shows the full surface";
        EXPECT_NEAR(sheetA.count, sheetB.count, sheetB.count * 0.15);
        EXPECT_NEAR(sheetA.column, sheetB.column, 3.0);
        EXPECT_NEAR(sheetA.row, sheetB.row, 3.0);
      } else {
        EXPECT_TRUE(a == b) << "the still frame differs from the run without copies";
      }
    }
  // The drag moved the sheet to the right in the eyes.
  EXPECT_GT(magenta(full["left45"]).column, magenta(full["left20"]).column + 3);
}
