// The real program against the stand-in server's collaborative service: opening a server scene
// connects the collaborative session (the service sees the participant, and its debug avatars,
// join the scene and leave when the program quits), and without a service the scene opens all
// the same.
#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <QString>

#include <signal.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <fstream>
#include <dirent.h>

#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "ProgramProcess.h"
#include "ServerProcess.h"

namespace {

const char* const kTitle = "Mavolin Quonix Virtual Reality";

class CollaborationProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs a display (run under xvfb-run)";
    dir = makeTempDir();
    base = dir + "/base";
    binDir = std::getenv("QUONIX_BIN_DIR") ? std::getenv("QUONIX_BIN_DIR") : "bin";
    makeBaseWithAssets(base);
    std::ofstream(dir + "/vrsim.txt") << "rate 60\nleft position -1 1 2\nright position 1 1 2\n";
    captures = dir + "/eyes";
    journal = dir + "/journal.txt";
  }

  std::map<std::string, std::string> environment(const std::string& frames) const {
    return headsetEnvironment(dir, base, captures, frames);
  }

  // Journal lines of one name: their arguments.
  std::vector<std::string> journalLines(const std::string& name) const {
    std::vector<std::string> out;
    std::ifstream in(journal);
    std::string line;
    while (std::getline(in, line)) {
      const size_t a = line.find('\t'), b = a == std::string::npos ? a : line.find('\t', a + 1);
      if (b != std::string::npos && line.substr(a + 1, b - a - 1) == name) out.push_back(line.substr(b + 1));
    }
    return out;
  }
  bool waitForLines(const std::string& name, size_t count, int seconds = 30) const {
    for (int i = 0; i < seconds * 10; ++i) {
      if (journalLines(name).size() >= count) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
  }

  std::string eyeFile(int frame, const char* side) const {
    char name[64];
    std::snprintf(name, sizeof name, "/frame-%06d-%s.png", frame, side);
    return captures + name;
  }

  void quitCleanly(Program& program, const std::string& window) {
    Program::settle();
    Program::keys(window, "ctrl+q");
    ASSERT_TRUE(program.wait());
    EXPECT_TRUE(program.exitedNormally()) << program.err();
    EXPECT_EQ(program.exitCode(), 0) << program.err();
  }

  std::string binDir, dir, base, captures, journal;
};

TEST_F(CollaborationProgram, ServerSceneJoinsTheServiceWithDebugAvatarsAndLeavesOnQuit) {
  std::ofstream(base + "/config.ini") << "resolutionFactor = 0.5\nuseFog = false\nnumDebugAvatars = 2\n";
  ServerProcess server;
  std::string error;
  ASSERT_TRUE(server.start({"--scene", "Orbit:3", "--journal", journal}, error)) << error;
  Program program({"127.0.0.1", std::to_string(server.port())}, environment("30"));
  ASSERT_TRUE(program.started());
  ASSERT_TRUE(waitForFile(eyeFile(30, "right"), program, 90)) << program.err();
  const std::string window = program.waitForWindow(std::string("^") + kTitle);
  ASSERT_FALSE(window.empty());

  // The program and its two debug avatars joined the scene, each with both connections.
  ASSERT_TRUE(waitForLines(":collab-join", 3)) << program.err();
  for (const std::string& join : journalLines(":collab-join"))
    EXPECT_NE(join.find("SceneKey = \"SceneCanvas_1\""), std::string::npos) << join;
  EXPECT_TRUE(waitForLines(":collab-receiver", 3));
  EXPECT_EQ(program.err().find("Connection with collaborative server could not be established"), std::string::npos);
  EXPECT_TRUE(hasThread(program.pid(), "state listener"));
  EXPECT_TRUE(hasThread(program.pid(), "state updater"));
  EXPECT_TRUE(journalLines(":collab-leave").empty());

  quitCleanly(program, window);
  // Every participant of the program left the service, the program's own by its "close".
  EXPECT_TRUE(waitForLines(":collab-leave", 3, 10));
}

TEST_F(CollaborationProgram, WithoutAServiceTheSceneOpensAlone) {
  std::ofstream(base + "/config.ini") << "resolutionFactor = 0.5\nuseFog = false\n";
  ServerProcess server;
  std::string error;
  ASSERT_TRUE(server.start({"--scene", "Orbit:3", "--no-collaboration", "--journal", journal}, error)) << error;
  Program program({"127.0.0.1", std::to_string(server.port())}, environment("30"));
  ASSERT_TRUE(program.started());
  ASSERT_TRUE(waitForFile(eyeFile(30, "right"), program, 90)) << program.err();
  EXPECT_NE(program.err().find("Connection with collaborative server could not be established. "), std::string::npos)
      << program.err();
  const QImage eye(QString::fromStdString(eyeFile(30, "left")));
  EXPECT_FALSE(eye.isNull());
  EXPECT_TRUE(journalLines(":collab-join").empty());
  EXPECT_FALSE(hasThread(program.pid(), "state listener"));
  const std::string window = program.waitForWindow(std::string("^") + kTitle);
  ASSERT_FALSE(window.empty());
  quitCleanly(program, window);
}

// The newest capture of the left eye in the folder, empty when there is none.
std::string newestLeftEye(const std::string& folder) {
  std::string best;
  if (DIR* d = opendir(folder.c_str())) {
    while (dirent* e = readdir(d)) {
      const std::string name = e->d_name;
      if (name.size() > 9 && name.compare(name.size() - 9, 9, "-left.png") == 0 && name > best) best = name;
    }
    closedir(d);
  }
  return best.empty() ? best : folder + "/" + best;
}

// Pixels of a teal hue, however dark (green and blue alike, both above red): colour 1 of the
// avatar table on a visor.
int tealPixels(const std::string& file) {
  const QImage image(QString::fromStdString(file));
  int count = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      const QColor c = image.pixelColor(x, y);
      if (c.green() >= c.red() + 8 && c.blue() >= c.red() + 8 && std::abs(c.green() - c.blue()) <= 6) ++count;
    }
  return count;
}

// Distinct avatar ids a program reported joining.
std::set<std::string> joinedIds(const std::string& text) {
  std::set<std::string> ids;
  for (size_t at = text.find("Avatar "); at != std::string::npos; at = text.find("Avatar ", at + 1)) {
    const size_t end = text.find(" joined, colour ", at);
    const size_t line = text.find('\n', at);
    if (end != std::string::npos && end < line) ids.insert(text.substr(at, end - at));
  }
  return ids;
}

int countOf(const std::string& text, const std::string& part) {
  int n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

// Two programs on one server scene, each on its own simulated headset: each shows the other as
// one avatar; a participant killed outright leaves the other's scene within three seconds and
// joins again when started again.
TEST_F(CollaborationProgram, TwoProgramsSeeEachOtherAsOneAvatarAndAKilledOneLeaves) {
  std::ofstream(base + "/config.ini") << "resolutionFactor = 0.5\nuseFog = false\n";
  ServerProcess server;
  std::string error;
  ASSERT_TRUE(server.start({"--scene", "Orbit:3", "--journal", journal}, error)) << error;
  auto environmentOf = [&](const std::string& name, const std::string& script) {
    std::ofstream(dir + "/" + name + ".txt") << script;
    return std::map<std::string, std::string>{{"XDG_CONFIG_HOME", dir + "/settings-" + name},
                                              {"QUONIX_BASE_DIR", base},
                                              {"QUONIX_VRSIM_SCRIPT", dir + "/" + name + ".txt"},
                                              {"QUONIX_VRSIM_CAPTURE_DIR", dir + "/eyes-" + name},
                                              {"QUONIX_VRSIM_CAPTURE_EVERY", "20"}};
  };
  // B stands at the origin looking along -z; A stands in front of it, to the right, turned to B.
  Program b({"127.0.0.1", std::to_string(server.port())},
            environmentOf("b", "rate 60\nleft position -0.3 1.2 -0.3\nright position 0.3 1.2 -0.3\n"));
  ASSERT_TRUE(b.started());
  ASSERT_TRUE(waitForLines(":collab-join", 1, 90)) << b.err();
  const std::string eyesB = dir + "/eyes-b";
  std::string alone;
  for (int i = 0; i < 300 && alone.empty(); ++i) {
    alone = newestLeftEye(eyesB);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  ASSERT_FALSE(alone.empty()) << b.err();
  const int tealAlone = tealPixels(alone);

  Program a({"127.0.0.1", std::to_string(server.port())},
            environmentOf("a", "rate 60\nhead position 0.4 1.6 -0.9\nhead rotation 180 0 0\n"
                               "left position 0.1 1.2 -1.1\nright position 0.7 1.2 -1.1\n"));
  ASSERT_TRUE(a.started());
  auto waitFor = [](const Program& p, const std::string& part, int count, int seconds) {
    for (int i = 0; i < seconds * 20; ++i) {
      if (countOf(p.err(), part) >= count) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  };
  ASSERT_TRUE(waitFor(a, " joined, colour ", 1, 90)) << a.err();
  ASSERT_TRUE(waitFor(b, " joined, colour ", 1, 30)) << b.err();
  // Each sees exactly the other, in the other's colour: B's colour id is 0, A's 1.
  std::this_thread::sleep_for(std::chrono::seconds(2));
  // (Each render buffer's view reports its own avatars.)
  EXPECT_EQ(joinedIds(a.err()).size(), 1u) << a.err();
  EXPECT_EQ(joinedIds(b.err()).size(), 1u) << b.err();
  EXPECT_EQ(countOf(a.err(), " joined, colour "), countOf(a.err(), " joined, colour 0")) << a.err();
  EXPECT_EQ(countOf(b.err(), " joined, colour "), countOf(b.err(), " joined, colour 1")) << b.err();
  // B's eyes, in a frame drawn after both joined, show A's head with its teal visor.
  // (On a loaded machine the frames after the join may still be the other buffer's: the newest
  // captures are looked at for a while.)
  const std::string joined = newestLeftEye(eyesB);
  std::string together = joined;
  for (int i = 0; i < 200; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    together = newestLeftEye(eyesB);
    if (together != joined && tealPixels(together) > tealAlone + 20) break;
  }
  EXPECT_GT(tealPixels(together), tealAlone + 20) << together << " vs " << alone;

  // A dies without a word: its avatar leaves B's scene within three seconds.
  a.signal(SIGKILL);
  const auto killed = std::chrono::steady_clock::now();
  EXPECT_TRUE(waitFor(b, " left", 1, 3)) << b.err();
  std::cout << "avatar gone after "
            << std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - killed).count()
            << " ms" << std::endl;
  a.wait();

  // A started again joins again: B shows it as a new participant, A sees B once.
  Program again({"127.0.0.1", std::to_string(server.port())},
                environmentOf("a2", "rate 60\nhead position 0.4 1.6 -0.9\nhead rotation 180 0 0\n"));
  ASSERT_TRUE(again.started());
  ASSERT_TRUE(waitFor(again, " joined, colour ", 1, 90)) << again.err();
  for (int i = 0; i < 100 && joinedIds(b.err()).size() < 2; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(joinedIds(b.err()).size(), 2u) << b.err();
  EXPECT_EQ(joinedIds(again.err()).size(), 1u) << again.err();
  again.signal(SIGKILL);
  again.wait();
  const std::string window = b.waitForWindow(std::string("^") + kTitle);
  ASSERT_FALSE(window.empty());
  quitCleanly(b, window);
}

}  // namespace
