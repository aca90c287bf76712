// Opening scene files in the real program as a user does, by keyboard: the scene and frame
// pickers (radio buttons and combo boxes), titles that are plain text whatever they hold, the
// window title naming file, scene and frame, Switch Scene, Close, Quick Start (also of the sample
// with its volumes, again after a scene was shown), and the error box of every way a file can
// fail to open.
#include <gtest/gtest.h>

#include <QImage>
#include <QString>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "EyeImages.h"
#include "ProgramProcess.h"

namespace {
const std::string kTitle = "Mavolin Quonix Virtual Reality";

std::string binDir() { return std::getenv("QUONIX_BIN_DIR") ? std::getenv("QUONIX_BIN_DIR") : "bin"; }
std::string corpus(const std::string& name) { return binDir() + "/../tests/scenes/" + name; }

class SceneFileProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) GTEST_SKIP() << "needs a display (run under xvfb-run)";
    dir = makeTempDir();
    captures = dir + "/eyes";
  }

  // The program on the simulated headset with small eyes, every tenth frame captured.
  std::unique_ptr<Program> start(const std::vector<std::string>& arguments) {
    const std::string base = dir + "/base";
    shell("mkdir -p '" + base + "' && for f in vrassets sample_vr.sce sample_vr_data; do ln -sfn \"$(realpath '" +
          binDir() + "'/$f)\" '" + base + "'/$f; done");
    std::ofstream(base + "/config.ini") << "resolutionFactor = 0.5\n";
    std::ofstream(dir + "/vrsim.txt") << "rate 60\n";
    auto program = std::make_unique<Program>(
        arguments, std::map<std::string, std::string>{{"XDG_CONFIG_HOME", dir + "/settings"},
                                                      {"QUONIX_BASE_DIR", base},
                                                      {"QUONIX_VRSIM_SCRIPT", dir + "/vrsim.txt"},
                                                      {"QUONIX_VRSIM_CAPTURE_DIR", captures},
                                                      {"QUONIX_VRSIM_CAPTURE_EVERY", "10"}});
    EXPECT_TRUE(program->started());
    window = program->waitForWindow("^" + kTitle);
    EXPECT_FALSE(window.empty()) << program->err();
    return program;
  }

  std::string title() const { return shell("xdotool getwindowname " + window); }

  // Waits until the main window's title is exactly the text.
  bool waitForTitle(const std::string& expected, Program& program, int seconds = 60) const {
    for (int i = 0; i < seconds * 10; ++i) {
      if (title() == expected) return true;
      if (program.poll()) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
  }

  // Answers the picker with that title by keys: the radio button at index (Tab moves to the
  // next button, Space chooses it), or in a combo box the entry index steps down; then OK.
  static void choose(Program& program, const std::string& pickerTitle, int index, bool combo = false) {
    const std::string picker = program.waitForWindow("^" + pickerTitle + "$");
    ASSERT_FALSE(picker.empty()) << "no picker \"" << pickerTitle << "\"\n" << program.err();
    Program::settle();
    std::string keys;
    if (combo) {
      keys = "Tab";
      for (int i = 0; i < index; ++i) keys += " Down";
    } else if (index > 0) {
      for (int i = 0; i <= index; ++i) keys += "Tab ";
      keys += "space";
    }
    if (!keys.empty()) Program::keys(picker, keys);
    Program::keys(picker, "Return");
    ASSERT_TRUE(program.waitForWindowGone("^" + pickerTitle + "$")) << pickerTitle;
  }

  // Presses keys on the main window.
  void menu(const std::string& keys) const {
    Program::settle();
    Program::keys(window, keys);
  }

  // File/Switch Scene until its scene picker shows: on a loaded machine the window can miss a
  // key sent right after a picker closed, and a second press is what a user would do.
  void switchScene(Program& program) const {
    for (int attempt = 0; attempt < 2; ++attempt) {
      menu("ctrl+s");
      for (int i = 0; i < 150; ++i) {
        if (!program.windows("^Select scene$").empty()) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
      }
    }
  }

  // The menu keys open no picker and leave the title as it is.
  void expectNothingOpens(Program& program, const std::string& keys) const {
    const std::string before = title();
    menu(keys);
    std::this_thread::sleep_for(std::chrono::seconds(2));
    EXPECT_TRUE(program.windows("^Select").empty()) << keys;
    EXPECT_EQ(title(), before) << keys;
  }

  // The newest captured eye image.
  QImage newestEye() const {
    const std::string file = shell("ls -t '" + captures + "'/*-left.png 2>/dev/null | head -n 1");
    return QImage(QString::fromStdString(file));
  }

  // The headset shows a scene: a capture made after the call has its colours.
  bool headsetShowsScene(Program& program) const {
    const std::string before = shell("ls -t '" + captures + "'/*-left.png 2>/dev/null | head -n 1");
    for (int i = 0; i < 600; ++i) {
      const std::string now = shell("ls -t '" + captures + "'/*-left.png 2>/dev/null | head -n 1");
      if (!now.empty() && now != before) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));  // written whole
        if (colourfulPixels(newestEye()) > 500) return true;
      }
      if (program.poll()) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
  }

  static void endCleanly(Program& program) {
    ASSERT_FALSE(program.poll()) << program.err();
    program.signal(SIGTERM);
    ASSERT_TRUE(program.wait());
    EXPECT_TRUE(program.exitedNormally()) << program.err();
    EXPECT_EQ(program.exitCode(), 0) << program.err();
    EXPECT_EQ(program.err().find("Threading model violation"), std::string::npos) << program.err();
  }

  std::string dir, captures, window;
};

}  // namespace

TEST_F(SceneFileProgram, PickersOpenTheChosenFrameAndSwitchSceneOffersThemAgain) {
  auto program = start({corpus("sets_1_and_3_frames.sce")});
  choose(*program, "Select scene", 1);
  choose(*program, "Select frame", 2);
  EXPECT_TRUE(waitForTitle(kTitle + " - sets_1_and_3_frames, Three frames, Frame: 2", *program)) << title();
  EXPECT_TRUE(headsetShowsScene(*program));

  switchScene(*program);  // the same file's scene picker again
  choose(*program, "Select scene", 0);
  // A frame set of one frame opens without a frame picker; its title names no frame.
  EXPECT_TRUE(waitForTitle(kTitle + " - sets_1_and_3_frames, One frame", *program)) << title();
  EXPECT_TRUE(program->windows("^Select frame$").empty());
  EXPECT_TRUE(headsetShowsScene(*program));
  endCleanly(*program);
}

TEST_F(SceneFileProgram, OneSceneOfOneFrameOpensWithoutPickers) {
  auto program = start({corpus("one_set_one_frame.sce")});
  ASSERT_TRUE(waitForTitle(kTitle + " - one_set_one_frame", *program)) << title();
  EXPECT_TRUE(program->windows("^Select").empty());
  EXPECT_TRUE(headsetShowsScene(*program));
  // Nothing to switch to: Switch Scene stays off.
  expectNothingOpens(*program, "ctrl+s");
  endCleanly(*program);
}

// A point far beyond any drawable size (or infinite) takes only its own cells: the rest of the
// surface shows in a sane view, and the log says which data lost points.
TEST_F(SceneFileProgram, DataWithAPointBeyondReachStillShowsTheRest) {
  const std::string scene = dir + "/far_point.sce";
  std::ofstream(scene) << R"(format = quonix-scene
version = 1
frameSets {
  s { title = "S", frames { f { drawables {
    square { type = Surface, name = "Square"
      data { points = [0, 0, 0,  1, 0, 0,  1, 1, 0,  0, 1, 0,  -1e308, 0, 0]
             polys = [4, 0, 1, 2, 3,  3, 0, 3, 4]
             pointData { height = [0, 1, 2, 3, 0] } }
      base { colorBy = height, colorMap = coolwarm } }
  } } } }
}
)";
  auto program = start({scene});
  ASSERT_TRUE(waitForTitle(kTitle + " - far_point", *program)) << title() << program->err();
  EXPECT_TRUE(headsetShowsScene(*program)) << program->err();
  EXPECT_NE(program->err().find("has 1 points that are not finite or lie beyond 1e30"), std::string::npos)
      << program->err();
  endCleanly(*program);
}

TEST_F(SceneFileProgram, TitlesAreShownAsTextWhateverTheyHold) {
  auto program = start({corpus("special_titles.sce")});
  // A title made to end the picker's code and quit the program opens as a scene like any other.
  choose(*program, "Select scene", 3);
  EXPECT_TRUE(waitForTitle(kTitle + " - special_titles, x\"); Qt.quit(); (\"", *program)) << title();
  EXPECT_TRUE(headsetShowsScene(*program));

  switchScene(*program);
  choose(*program, "Select scene", 2);
  EXPECT_TRUE(waitForTitle(kTitle + " - special_titles, Str\xC3\xB6mung \xC3\xBC" "ber \xC3\x98rsted \xE2\x80\x93 \xCE\xA9",
                           *program))
      << title();

  switchScene(*program);
  choose(*program, "Select scene", 0);
  choose(*program, "Select frame", 0);
  EXPECT_TRUE(waitForTitle(kTitle + " - special_titles, Say \"hello\", Frame: 0", *program)) << title();
  endCleanly(*program);
}

TEST_F(SceneFileProgram, EqualTitlesAndComboBoxesPickByPosition) {
  auto program = start({corpus("duplicate_titles.sce")});
  // The second "Twin" has two frames: its frame picker shows that it, not the first, was taken.
  choose(*program, "Select scene", 1);
  choose(*program, "Select frame", 1);
  EXPECT_TRUE(waitForTitle(kTitle + " - duplicate_titles, Twin, Frame: 1", *program)) << title();
  endCleanly(*program);

  program = start({corpus("twelve_sets.sce")});
  choose(*program, "Select scene", 11, true);
  choose(*program, "Select frame", 10, true);
  EXPECT_TRUE(waitForTitle(kTitle + " - twelve_sets, Eleven frames, Frame: 10", *program)) << title();
  EXPECT_TRUE(headsetShowsScene(*program));
  endCleanly(*program);
}

TEST_F(SceneFileProgram, CloseLeavesNoSceneAndNoWorkerThreadAndOpenWorksAfterIt) {
  auto program = start({corpus("one_set_one_frame.sce")});
  ASSERT_TRUE(waitForTitle(kTitle + " - one_set_one_frame", *program)) << title();
  menu("ctrl+F4");  // File/Close
  EXPECT_TRUE(waitForTitle(kTitle, *program)) << title();
  // The loader ends with each task and the updater with each pass: neither is left running
  // (either may still be on its way out of the system when the title changes).
  EXPECT_TRUE(waitForThreadGone(*program, "SceneLoader", 10));
  EXPECT_TRUE(waitForThreadGone(*program, "QThread", 10));
  // Close again with nothing open does nothing.
  expectNothingOpens(*program, "ctrl+F4");

  // File/Open: the file dialog takes a path; the emptied view opens it with its pickers.
  menu("ctrl+o");
  const std::string dialog = program->waitForWindow("^Open Scene File$");
  ASSERT_FALSE(dialog.empty());
  Program::settle();
  Program::type(dialog, shell("realpath '" + corpus("sets_1_and_3_frames.sce") + "'"));
  Program::keys(dialog, "Return");
  choose(*program, "Select scene", 1);
  choose(*program, "Select frame", 1);
  EXPECT_TRUE(waitForTitle(kTitle + " - sets_1_and_3_frames, Three frames, Frame: 1", *program)) << title();
  EXPECT_TRUE(headsetShowsScene(*program));
  endCleanly(*program);
}

// The sample has volumes: their first frame renders them once off-stereo, which also has to work
// on a render thread that has shown a scene before.
TEST_F(SceneFileProgram, QuickStartOpensTheSampleOnlyWhileNoSceneIsShownAlsoAfterClose) {
  const std::string sampleTitle = kTitle + " - sample_vr, Vortex shedding behind a cylinder, Frame: 0";
  auto program = start({});
  menu("ctrl+t");  // Help/Quick Start
  choose(*program, "Select scene", 0);
  choose(*program, "Select frame", 0);
  ASSERT_TRUE(waitForTitle(sampleTitle, *program)) << title();
  EXPECT_TRUE(headsetShowsScene(*program));
  // With a scene shown Quick Start opens the headset's quick-start panel, no file.
  expectNothingOpens(*program, "ctrl+t");

  menu("ctrl+F4");  // File/Close
  ASSERT_TRUE(waitForTitle(kTitle, *program)) << title();
  menu("ctrl+t");
  choose(*program, "Select scene", 0);
  choose(*program, "Select frame", 0);
  ASSERT_TRUE(waitForTitle(sampleTitle, *program)) << title();
  EXPECT_TRUE(headsetShowsScene(*program));
  endCleanly(*program);
}

TEST_F(SceneFileProgram, SwitchSceneReopensTheSampleWithItsVolumes) {
  const std::string sampleTitle = kTitle + " - sample_vr, Vortex shedding behind a cylinder, Frame: 0";
  auto program = start({binDir() + "/sample_vr.sce"});
  choose(*program, "Select scene", 0);
  choose(*program, "Select frame", 0);
  ASSERT_TRUE(waitForTitle(sampleTitle, *program)) << title();
  EXPECT_TRUE(headsetShowsScene(*program));

  switchScene(*program);  // the same scene and frame again
  choose(*program, "Select scene", 0);
  choose(*program, "Select frame", 0);
  ASSERT_TRUE(waitForTitle(sampleTitle, *program)) << title();
  EXPECT_TRUE(headsetShowsScene(*program));
  endCleanly(*program);
}

TEST_F(SceneFileProgram, EveryFailureShowsItsErrorBoxAndLeavesTheViewEmpty) {
  struct Case {
    std::string file;
    std::vector<int> picks;  // radio buttons to choose in the scene and frame pickers
    std::string text;
  };
  const std::vector<Case> cases = {
      {dir + "/missing.sce", {}, "Error loading file. File does not exist. "},
      {corpus("broken_record_data"), {}, "Error loading file. Cannot open file. "},
      {corpus("garbage.sce"), {}, "Error loading file. Unknown file format. "},
      {corpus("being_written.sce"), {}, "Error loading file. File is being written, try to open it later."},
      // The fixed text, then the reader's detail on its own line.
      {corpus("unsupported_version.sce"),
       {},
       "Error loading file. Could not open specified path. \nThe scene file has format version"},
      // An archive that would write outside its folder is not unpacked.
      {corpus("traversal.zip"), {}, "Error loading file. Could not open specified path. \n"},
      {corpus("zero_sets.sce"), {}, "No scenes found. "},
      {corpus("set_without_frames.sce"), {0}, "No frames found. "},
      {corpus("broken_record.sce"), {-1, 1}, "An error occurred loading the record. "},
      // A damaged header refused with its reason, where VTK's reader divided by zero.
      {corpus("damaged_grid.sce"), {},
       "An error occurred loading the record. Frame set 'Damaged', frame 0: drawable 'grid': the data file "
       "'damaged_grid_data/grid.vtu' cannot be read: its array 'Points' states a block size of 0."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    auto program = start({c.file});
    if (c.picks.size() > 0 && c.picks[0] >= 0) choose(*program, "Select scene", c.picks[0]);
    if (c.picks.size() > 1) choose(*program, "Select frame", c.picks[1]);
    // The box is a second window with the product title; the text is logged with it.
    std::string box;
    for (int i = 0; i < 300 && box.empty(); ++i) {
      for (const std::string& w : program->windows("^" + kTitle + "$"))
        if (w != window) box = w;
      if (box.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ASSERT_FALSE(box.empty()) << program->err();
    EXPECT_NE(program->err().find("Error: " + c.text), std::string::npos) << program->err();
    EXPECT_EQ(title(), kTitle);
    Program::settle();
    Program::keys(box, "Return");
    for (int i = 0; i < 300 && program->windows("^" + kTitle + "$").size() > 1; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(program->windows("^" + kTitle + "$").size(), 1u);
    endCleanly(*program);
  }
}
