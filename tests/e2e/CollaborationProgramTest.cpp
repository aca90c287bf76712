// The real program against the stand-in server's collaborative service: opening a server scene
// connects the collaborative session (the service sees the participant, and its debug avatars,
// join the scene and leave when the program quits), and without a service the scene opens all
// the same.
#include <gtest/gtest.h>

#include <QImage>
#include <QString>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
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
    shell("mkdir -p '" + base + "' && ln -s \"$(realpath '" + binDir + "/vrassets')\" '" + base + "/vrassets'");
    std::ofstream(dir + "/vrsim.txt") << "rate 60\nleft position -1 1 2\nright position 1 1 2\n";
    captures = dir + "/eyes";
    journal = dir + "/journal.txt";
  }

  std::map<std::string, std::string> environment(const std::string& frames) const {
    return {{"XDG_CONFIG_HOME", dir + "/settings"},
            {"QUONIX_BASE_DIR", base},
            {"QUONIX_VRSIM_SCRIPT", dir + "/vrsim.txt"},
            {"QUONIX_VRSIM_CAPTURE_DIR", captures},
            {"QUONIX_VRSIM_CAPTURE_FRAMES", frames}};
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

}  // namespace
