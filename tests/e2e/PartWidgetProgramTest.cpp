// The part widgets end to end: the real program on the simulated headset against the stand-in
// server's scene with one part of each kind. The right controller's laser picks a part (the left
// one holds its grip, so the right one points), the server highlights it and the headset shows
// its widget; the pad deletes and copies parts, the trigger drags them.
#include <gtest/gtest.h>

#include <QImage>
#include <QString>

#include <csignal>
#include <chrono>
#include <map>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "ProgramProcess.h"
#include "Properties.h"
#include "ServerProcess.h"

namespace {

struct Command {
  std::string name;
  Properties arguments;
};

std::vector<Command> readJournal(const std::string& path) {
  std::vector<Command> out;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    const size_t a = line.find('\t'), b = a == std::string::npos ? a : line.find('\t', a + 1);
    if (b == std::string::npos) continue;
    Command c;
    c.name = line.substr(a + 1, b - a - 1);
    Properties::fromText(line.substr(b + 1), c.arguments);
    out.push_back(c);
  }
  return out;
}

// Pixels in the widget highlight colour (0.79, 0.14, 0.57), lit: red well above green, blue
// between them.
int highlightPixels(const QImage& image) {
  int count = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      const QRgb p = image.pixel(x, y);
      if (qRed(p) > 90 && qRed(p) > 2 * qGreen(p) + 20 && qBlue(p) > qGreen(p) + 25 && qRed(p) > qBlue(p)) ++count;
    }
  return count;
}

class PartWidgetProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) GTEST_SKIP() << "needs a display (run under xvfb-run)";
    dir = makeTempDir();
    base = dir + "/base";
    binDir = std::getenv("QUONIX_BIN_DIR") ? std::getenv("QUONIX_BIN_DIR") : "bin";
    shell("mkdir -p '" + base + "' && ln -s \"$(realpath '" + binDir + "/vrassets')\" '" + base + "/vrassets'");
    // The laser leaves the controller straight ahead from its origin.
    std::ofstream(base + "/config.ini") << "resolutionFactor = 0.5\nuseFog = false\nlaserAngle = 0\n"
                                           "toolsOffset = [0, 0, 0]\n";
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
  std::string eyeFile(int frame, const char* side) const {
    char name[64];
    std::snprintf(name, sizeof name, "/frame-%06d-%s.png", frame, side);
    return captures + name;
  }
  QImage eye(int frame, const char* side) const { return QImage(QString::fromStdString(eyeFile(frame, side))); }

  // The commands of that name in the journal, waiting up to the time for at least `count`.
  std::vector<Command> waitFor(const std::string& name, size_t count, Program& program, int seconds = 30) {
    std::vector<Command> found;
    for (int i = 0; i < seconds * 10; ++i) {
      found.clear();
      for (const Command& c : readJournal(journal))
        if (c.name == name) found.push_back(c);
      if (found.size() >= count || program.poll()) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return found;
  }

  std::string binDir, dir, base, captures, journal;
};

}  // namespace

TEST_F(PartWidgetProgram, PickHighlightCloneAndDeleteAPlaneSection) {
  // Left hand holds its grip, off to the side; the right one points at the scene's centre.
  std::ofstream(dir + "/vrsim.txt") << "rate 60\n"
                                       "left position -0.8 0.7 0\nleft press grip\n"
                                       "right position -0.5346 1.0 -0.5\n";
  ServerProcess server;
  std::string error;
  ASSERT_TRUE(server.start({"--scene", "Parts:1", "--journal", journal}, error)) << error;
  Program program({"127.0.0.1", std::to_string(server.port())}, environment("30,300"));
  ASSERT_TRUE(program.started());

  const std::vector<Command> highlights = waitFor("HighlightParts", 1, program);
  ASSERT_FALSE(highlights.empty()) << program.err();
  const Properties& h = highlights.front().arguments;
  std::vector<std::string> parts;
  ASSERT_TRUE(h.get("Parts", parts));
  EXPECT_EQ(parts, std::vector<std::string>{"PlaneSection 1"});
  EXPECT_EQ(h.getString("Scene"), "Parts");
  EXPECT_EQ(h.typeOf("CaptionsEnabled"), Properties::Type::Bool);
  EXPECT_FALSE(h.getBool("CaptionsEnabled"));
  EXPECT_TRUE(h.getBool("HighlightingEnabled"));
  EXPECT_EQ(h.getInt("MaximumCaptions"), 0);
  ASSERT_TRUE(waitForFile(eyeFile(300, "right"), program, 90)) << program.err();
  for (const char* side : {"left", "right"}) {
    EXPECT_GT(highlightPixels(eye(300, side)), 500) << side;
  }
  program.signal(SIGTERM);
  program.wait();
}
