// The real program against the stand-in server's collaborative service: opening a server scene
// connects the collaborative session (the service sees the participant, and its debug avatars,
// join the scene and leave when the program quits), and without a service the scene opens all
// the same. Two programs on one scene share what their tools keep, one follows the other's model
// while its laser holds the other's avatar and teleports to it; participants that come and go
// leave nothing behind. The test also joins the service itself, as a silent observer of what the
// programs send or as short-lived participants.
#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <QString>

#include <signal.h>

#include <algorithm>
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

#include <array>
#include <cmath>
#include <functional>
#include <memory>
#include <sstream>

#include "CVRStateListener.h"
#include "CVRStateUpdater.h"
#include "ControllerAim.h"
#include "ProgramProcess.h"
#include "ServerConnection.h"
#include "ServerProcess.h"
#include "TestScenes.h"

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


// ---- Two programs working on one scene ----

// Poses and gestures of the flow scene's tools (see the scene-tool tests): the model's centre
// stands at (0, 1, -2) after the view reset, 0.4 m wide; a controller at (0, 1.024, -1.9) has
// its tool tip there.
const char* const kConfig =
    "resolutionFactor = 0.5\nuseFog = false\nresetViewModelSize = 0.4\ndefaultPointRadius = 0.03\n"
    "baseParticleStepSize = 0.02\nplaneSectionOrientation = 1\n";
// Captures (every 10th frame) spanning a second at the scripts' 60 frames a second: the newest
// after that many more is of a frame begun well after what it is to show had arrived.
constexpr int kSecondOfCaptures = 6;
const char* const kLeftAside = "-0.5 1 -1";
const char* const kRightAside = "0.5 1 -1";

// One step of a headset script: "frame N" and the lines that follow it.
struct Step {
  int frame;
  std::string lines;
};
std::string script(const std::string& start, const std::vector<Step>& steps) {
  std::ostringstream out;
  out << start;
  for (const Step& step : steps) out << "frame " << step.frame << '\n' << step.lines;
  return out.str();
}

// The tool of one hand at the model's centre, kept (mode 1, the other hand's East) or removed
// (mode 2, its West) by the other hand, from frame f on; then both let go, the hand goes aside.
// East / West pick the tool: right East seed, right West clip plane, left East colour bar, left
// West plane section.
std::vector<Step> toolGesture(int f, bool rightHand, bool east, bool keep) {
  const std::string hand = rightHand ? "right" : "left", other = rightHand ? "left" : "right";
  std::string pose = hand + " position 0 1.024 -1.9\n";
  // The plane section (left West) turned to face the viewer.
  if (!rightHand && !east) pose += hand + " rotation 45 0 0\n";
  const std::string aside = rightHand ? kRightAside : kLeftAside;
  return {{f, pose},
          {f + 5, hand + " axis 0 " + (east ? "0.9" : "-0.9") + " 0\n" + hand + " press pad\n"},
          {f + 15, other + " axis 0 " + (keep ? "0.9" : "-0.9") + " 0\n" + other + " press pad\n"},
          {f + 17, other + " release pad\n"},
          {f + 20, hand + " release pad\n" + hand + " position " + aside + "\n" + hand + " rotation 0 0 0\n"}};
}

void append(std::vector<Step>& to, const std::vector<Step>& steps) { to.insert(to.end(), steps.begin(), steps.end()); }

// Each line of a program's error stream with the time the test first saw it, so that a line of
// one program can be timed against a line of another.
class LineClock {
 public:
  explicit LineClock(const Program& program) : _program(program) {}
  void poll() {
    const std::string text = _program.err();
    const auto now = std::chrono::steady_clock::now();
    size_t at = _read;
    for (size_t end = text.find('\n', at); end != std::string::npos; end = text.find('\n', at)) {
      _lines.push_back({text.substr(at, end - at), now});
      at = end + 1;
    }
    _read = at;
  }
  // The first line beginning with the prefix; false when none was seen.
  bool find(const std::string& prefix, std::chrono::steady_clock::time_point& when) const {
    for (const auto& line : _lines)
      if (line.first.compare(0, prefix.size(), prefix) == 0) {
        when = line.second;
        return true;
      }
    return false;
  }
  const std::vector<std::pair<std::string, std::chrono::steady_clock::time_point>>& lines() const { return _lines; }

 private:
  const Program& _program;
  size_t _read = 0;
  std::vector<std::pair<std::string, std::chrono::steady_clock::time_point>> _lines;
};

// Lines of the text that begin with the prefix.
std::vector<std::string> linesStarting(const std::string& text, const std::string& prefix) {
  std::vector<std::string> out;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line))
    if (line.compare(0, prefix.size(), prefix) == 0) out.push_back(line);
  return out;
}

// What the scene view reported when it applied the other's shared scene last, "" when it never
// did: "seeds S, plane sections P, clip planes C, iso values I".
std::string lastApplied(const std::string& text) {
  const std::vector<std::string> lines = linesStarting(text, "Shared scene ");
  for (auto it = lines.rbegin(); it != lines.rend(); ++it) {
    const size_t at = it->find(" applied: ");
    if (at != std::string::npos) return it->substr(at + 10);
  }
  return "";
}

// A participant the test itself keeps on the service, as a program's session does: a sending
// connection and a listener on the same connection value.
struct TestParticipant {
  ServerConnection connection;
  std::unique_ptr<CVRStateListener> listener = std::make_unique<CVRStateListener>();
  std::unique_ptr<CVRStateUpdater> updater = std::make_unique<CVRStateUpdater>();

  bool join(int port, int64_t value, const std::string& key) {
    connection.setHost("127.0.0.1");
    connection.setPort(port);
    connection.setTimeout(5000);
    updater->setSceneKey(key);
    listener->setSceneKey(key);
    if (!updater->connect(connection, value) || !listener->connect(connection, value)) return false;
    return listener->start() && updater->start();
  }
  unsigned ts() const { return updater->getConnectionIds().second; }
  // The newest client state from the participant with that state id, or null.
  std::unique_ptr<kvg::VRClientState> clientFrom(unsigned id) const {
    std::vector<kvg::VRClientState> states;
    listener->getClientStates(states);
    for (auto& s : states)
      if (s.getID() == int(id)) return std::make_unique<kvg::VRClientState>(s);
    return nullptr;
  }
  // A client state of a participant standing still: identity model, the head at (0.5, 1.6, -1)
  // of the scene, the colour the service gave it, no tool in hand.
  void sendPresence() {
    auto s = std::make_unique<kvg::VRClientState>();
    const double identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    const double head[16] = {1, 0, 0, 0.5, 0, 1, 0, 1.6, 0, 0, 1, -1, 0, 0, 0, 1};
    s->setModel(identity);
    s->setView(head);
    s->setCompanionTrafo(identity);
    s->setModelScale(1.0);
    s->setCompanionID(-1);
    s->setColorID(updater->getConnectionIds().first);
    const double none[9] = {kvg::VRClientState::NO_TOOL, kvg::VRClientState::NO_TOOL, kvg::VRClientState::NO_TOOL,
                            kvg::VRClientState::NO_TOOL, kvg::VRClientState::NO_TOOL, kvg::VRClientState::NO_TOOL,
                            kvg::VRClientState::NO_TOOL, kvg::VRClientState::NO_TOOL, kvg::VRClientState::NO_TOOL};
    s->setSeedPoint(none);
    s->setClipPlane(none);
    s->setPlaneSection(none);
    updater->queueState(std::move(s));
  }
};

using Matrix = std::array<double, 16>;
Matrix toMatrix(const double* m) {
  Matrix out;
  std::copy(m, m + 16, out.begin());
  return out;
}
Matrix product(const Matrix& a, const Matrix& b) {
  Matrix out{};
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c)
      for (int k = 0; k < 4; ++k) out[r * 4 + c] += a[r * 4 + k] * b[k * 4 + c];
  return out;
}
// The inverse of a model matrix, a rotation with uniform scale s and a translation: the
// transposed rotation part over s^2, and the translation taken back.
Matrix similarityInverse(const Matrix& m) {
  Matrix r{};
  const double s2 = m[0] * m[0] + m[4] * m[4] + m[8] * m[8];
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) r[i * 4 + j] = m[j * 4 + i] / s2;
  for (int i = 0; i < 3; ++i) r[i * 4 + 3] = -(r[i * 4 + 0] * m[3] + r[i * 4 + 1] * m[7] + r[i * 4 + 2] * m[11]);
  r[15] = 1.0;
  return r;
}
double largestDifference(const Matrix& a, const Matrix& b) {
  double d = 0.0;
  for (int i = 0; i < 16; ++i) d = std::max(d, std::abs(a[i] - b[i]));
  return d;
}
std::string text(const Matrix& m) {
  std::ostringstream out;
  for (double v : m) out << v << ' ';
  return out.str();
}

// The state ids of the participants that joined, in the order they joined.
std::vector<unsigned> joinedStateIds(const std::vector<std::string>& joins) {
  std::vector<unsigned> ids;
  for (const std::string& join : joins) {
    unsigned ts = 0;
    if (std::sscanf(join.c_str(), "TS = %u", &ts) == 1) ids.push_back(ts);
  }
  return ids;
}

long residentKilobytes(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(in, line))
    if (line.compare(0, 6, "VmRSS:") == 0) return std::atol(line.c_str() + 6);
  return -1;
}

// The newest left-eye capture that reads as a whole image (the runtime may still be writing the
// newest file: then it is read again a moment later).
std::string completeLeftEye(const std::string& folder) {
  for (int i = 0; i < 20; ++i) {
    const std::string file = newestLeftEye(folder);
    if (!file.empty() && !QImage(QString::fromStdString(file)).isNull()) return file;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return "";
}

// Pixels of the flow scene's magenta plate: how many, and where on average.
struct Plate {
  int count = 0;
  double column = 0.0;
  double row = 0.0;
  int left = 1 << 30, right = -1, top = 1 << 30, bottom = -1;
  // The rectangle the plate spans: thin lines drawn across it (the other's laser) leave it.
  int extent() const { return right < left ? 0 : (right - left + 1) * (bottom - top + 1); }
};
Plate magentaPlate(const std::string& file) {
  const QImage image(QString::fromStdString(file));
  Plate p;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      const QRgb c = image.pixel(x, y);
      if (qRed(c) > 150 && qGreen(c) < 90 && qBlue(c) > 150) {
        ++p.count;
        p.column += x;
        p.row += y;
        p.left = std::min(p.left, x);
        p.right = std::max(p.right, x);
        p.top = std::min(p.top, y);
        p.bottom = std::max(p.bottom, y);
      }
    }
  if (p.count) {
    p.column /= p.count;
    p.row /= p.count;
  }
  return p;
}

class SharedSceneProgram : public CollaborationProgram {
 protected:
  void SetUp() override {
    CollaborationProgram::SetUp();
    if (IsSkipped()) return;
    std::ofstream(base + "/config.ini") << kConfig;
    scene = dir + "/flow.sce";
    std::ofstream(scene) << flowScene();
  }
  std::map<std::string, std::string> headset(const std::string& name, const std::string& text) const {
    std::ofstream(dir + "/" + name + ".txt") << text;
    return {{"XDG_CONFIG_HOME", dir + "/settings-" + name},
            {"QUONIX_BASE_DIR", base},
            {"QUONIX_VRSIM_SCRIPT", dir + "/" + name + ".txt"},
            {"QUONIX_VRSIM_CAPTURE_DIR", dir + "/eyes-" + name},
            {"QUONIX_VRSIM_CAPTURE_EVERY", "10"}};
  }
  // The go signal a script's "wait-file" line waits for.
  std::string goFile(const std::string& name) const { return dir + "/go-" + name; }
  // A script's start: 60 frames a second, both hands aside, out of the model's way.
  static std::string handsAside() {
    return std::string("rate 60\nleft position ") + kLeftAside + "\nright position " + kRightAside + "\n";
  }
  void go(const std::string& name) const { std::ofstream(goFile(name)) << "go\n"; }
  std::string sceneKey() const {
    const std::vector<std::string> joins = journalLines(":collab-join");
    if (joins.empty()) return "";
    const size_t at = joins.front().find("SceneKey = \"");
    return at == std::string::npos ? "" : joins.front().substr(at + 12, joins.front().find('"', at + 12) - at - 12);
  }

  std::string scene;
};

// What A's tools keep appears at B and goes with them when A removes it; B's own seed stays
// through all of that, and through A's death and return with an empty scene.
TEST_F(SharedSceneProgram, ItemsKeptAtOneAppearAtTheOtherAndGoWhenRemoved) {
  ServerProcess server;
  std::string error;
  ASSERT_TRUE(server.start({"--journal", journal, scene}, error)) << error;
  const std::vector<std::string> address = {"127.0.0.1", std::to_string(server.port())};
  const std::string hands = std::string("rate 60\nleft position ") + kLeftAside + "\nright position " + kRightAside + "\n";

  // B keeps a seed of its own on the model's left, once the test says go.
  std::vector<Step> bSteps = {{30, "wait-file \"" + goFile("b") + "\"\n"},
                              {31, "right position -0.12 1.024 -1.9\n"},
                              {35, "right axis 0 0.9 0\nright press pad\n"},
                              {45, "left axis 0 0.9 0\nleft press pad\n"},
                              {47, "left release pad\n"},
                              {50, std::string("right release pad\nright position ") + kRightAside + "\n"}};
  Program b(address, headset("b", script(hands, bSteps)));
  ASSERT_TRUE(b.started());
  ASSERT_TRUE(waitUntil([&] { return b.err().find("Shared scene 1 published") != std::string::npos; }, 90)) << b.err();
  go("b");
  ASSERT_TRUE(waitUntil([&] { return b.err().find("Shared scene 2 published") != std::string::npos; }, 30)) << b.err();

  // A, its head behind B (out of B's sight), keeps a seed, a plane section, a clip plane and an
  // iso value at the model's centre; then, on the next go, removes each.
  std::vector<Step> aSteps = {{30, "wait-file \"" + goFile("a") + "\"\n"}};
  append(aSteps, toolGesture(40, true, true, true));     // seed
  append(aSteps, toolGesture(70, false, false, true));   // plane section
  append(aSteps, toolGesture(100, true, false, true));   // clip plane
  append(aSteps, toolGesture(130, false, true, true));   // iso value
  aSteps.push_back({160, "wait-file \"" + goFile("a2") + "\"\n"});
  append(aSteps, toolGesture(170, true, true, false));
  append(aSteps, toolGesture(200, false, false, false));
  append(aSteps, toolGesture(230, true, false, false));
  append(aSteps, toolGesture(260, false, true, false));
  const std::string aStart = "head position -0.8 1.6 0.5\n" + hands;
  auto a = std::make_unique<Program>(address, headset("a", script(aStart, aSteps)));
  ASSERT_TRUE(a->started());
  // A took B's scene on joining: B's seed.
  ASSERT_TRUE(waitUntil([&] { return lastApplied(a->err()) == "seeds 1, plane sections 0, clip planes 0, iso values 0"; }, 90))
      << a->err();
  const std::vector<unsigned> ids = joinedStateIds(journalLines(":collab-join"));
  ASSERT_EQ(ids.size(), 2u);
  const std::string fromA = " from " + std::to_string(ids[1]) + " applied: ";

  // Each change A publishes, timed from A's frame to the frame in which B applies it.
  LineClock clockA(*a), clockB(b);
  // The plate as B sees it with A's avatar already in the scene, as it will be once A's items
  // are gone again: only the items may make a difference.
  const std::string joinedAtB = "Avatar " + std::to_string(ids[1]) + " joined";
  ASSERT_TRUE(waitUntil([&] { return b.err().find(joinedAtB) != std::string::npos; }, 30)) << b.err();
  const Plate beforeEye = magentaPlate(leftEyeAfterNow(dir + "/eyes-b", b, kSecondOfCaptures));
  go("a");
  const std::string made = "seeds 2, plane sections 1, clip planes 1, iso values 1";
  bool allMade = false;
  for (int i = 0; i < 60000 && !allMade; ++i) {
    clockA.poll();
    clockB.poll();
    allMade = lastApplied(b.err()) == made;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_TRUE(allMade) << b.err() << "\nA:\n" << a->err();
  const Plate allMadeEye = magentaPlate(leftEyeAfterNow(dir + "/eyes-b", b, kSecondOfCaptures));

  go("a2");
  const std::string removed = "seeds 1, plane sections 0, clip planes 0, iso values 0";
  bool allRemoved = false;
  const size_t before = b.err().size();
  for (int i = 0; i < 60000 && !allRemoved; ++i) {
    clockA.poll();
    clockB.poll();
    allRemoved = b.err().size() > before && lastApplied(b.err()) == removed;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_TRUE(allRemoved) << b.err() << "\nA:\n" << a->err();
  // Every shared scene A published, B applied, in the order made: the seed, the section, the
  // clip plane, the iso value, then each removed again.
  const std::vector<std::string> expected = {
      "seeds 2, plane sections 0, clip planes 0, iso values 0", "seeds 2, plane sections 1, clip planes 0, iso values 0",
      "seeds 2, plane sections 1, clip planes 1, iso values 0", made,
      "seeds 1, plane sections 1, clip planes 1, iso values 1", "seeds 1, plane sections 0, clip planes 1, iso values 1",
      "seeds 1, plane sections 0, clip planes 0, iso values 1", removed};
  std::vector<std::string> appliedAtB;
  for (const std::string& line : linesStarting(b.err(), "Shared scene "))
    if (line.find(fromA) != std::string::npos) appliedAtB.push_back(line.substr(line.find(fromA) + fromA.size()));
  EXPECT_EQ(appliedAtB, expected) << b.err();

  std::vector<double> delays;
  for (const auto& line : clockA.lines()) {
    unsigned stamp = 0;
    if (std::sscanf(line.first.c_str(), "Shared scene %u published", &stamp) != 1) continue;
    std::chrono::steady_clock::time_point appliedAt;
    if (!clockB.find("Shared scene " + std::to_string(stamp) + fromA, appliedAt)) continue;
    delays.push_back(std::chrono::duration<double, std::milli>(appliedAt - line.second).count());
  }
  ASSERT_FALSE(delays.empty());
  std::sort(delays.begin(), delays.end());
  std::cout << "state change from A's frame to B's frame: " << delays.size() << " changes, median "
            << delays[delays.size() / 2] << " ms, min " << delays.front() << " ms, max " << delays.back() << " ms"
            << std::endl;

  // B saw the kept clip plane cut the plate away and the plate whole again once it was removed.
  ASSERT_GT(beforeEye.count, 200);
  EXPECT_LT(allMadeEye.count, beforeEye.count * 3 / 4);
  // A publishes the last removal a few frames before its hand leaves the plate, so B's captures
  // are read until one shows the plate whole again.
  Plate removedEye;
  const bool wholeAgain = waitUntil(
      [&] {
        removedEye = magentaPlate(leftEyeAfterNow(dir + "/eyes-b", b, 1));
        return std::abs(removedEye.count - beforeEye.count) <= beforeEye.count / 20.0;
      },
      60);
  EXPECT_TRUE(wholeAgain) << removedEye.count << " plate pixels against " << beforeEye.count << " before";

  // A dies and comes back with an empty scene: B's seed stays at B and reaches the new A.
  a->signal(SIGKILL);
  a->wait();
  ASSERT_TRUE(waitUntil([&] { return countOf(b.err(), " left\n") >= 1; }, 10)) << b.err();
  const size_t beforeReturn = b.err().size();
  Program again(address, headset("a2", aStart));
  ASSERT_TRUE(again.started());
  EXPECT_TRUE(waitUntil([&] { return lastApplied(again.err()) == removed; }, 90)) << again.err();
  ASSERT_TRUE(waitUntil([&] { return joinedIds(b.err()).size() >= 2; }, 30)) << b.err();
  std::this_thread::sleep_for(std::chrono::seconds(1));
  const std::string afterReturn = b.err().substr(beforeReturn);
  EXPECT_EQ(afterReturn.find(" applied: seeds 0"), std::string::npos) << afterReturn;
  EXPECT_EQ(lastApplied(b.err()), removed) << b.err();
  again.signal(SIGTERM);
  b.signal(SIGTERM);
  EXPECT_TRUE(again.wait());
  EXPECT_TRUE(b.wait());
}


// The frame number of the newest left-eye capture in the folder, -1 when there is none.
int newestFrame(const std::string& folder) {
  const std::string file = newestLeftEye(folder);
  int frame = -1;
  const size_t at = file.rfind("/frame-");
  if (at != std::string::npos) std::sscanf(file.c_str() + at, "/frame-%d-left.png", &frame);
  return frame;
}

// A program joins a scene where the other participant keeps one of each kind of item (a seed,
// a plane section, a clip plane, an iso value): it takes them all and runs on, drawing the
// others' plane section in both of its render buffers, until it quits normally.
TEST_F(SharedSceneProgram, JoiningASceneThatKeepsEveryKindOfItemRunsOn) {
  ServerProcess server;
  std::string error;
  ASSERT_TRUE(server.start({"--journal", journal, scene}, error)) << error;
  const std::vector<std::string> address = {"127.0.0.1", std::to_string(server.port())};
  const std::string hands = handsAside();

  std::vector<Step> bSteps = {{30, "wait-file \"" + goFile("b") + "\"\n"}};
  append(bSteps, toolGesture(40, true, true, true));    // seed
  append(bSteps, toolGesture(70, false, false, true));  // plane section
  append(bSteps, toolGesture(100, true, false, true));  // clip plane
  append(bSteps, toolGesture(130, false, true, true));  // iso value
  Program b(address, headset("b", script(hands, bSteps)));
  ASSERT_TRUE(b.started());
  ASSERT_TRUE(waitUntil([&] { return b.err().find("Shared scene 1 published") != std::string::npos; }, 90)) << b.err();
  go("b");
  ASSERT_TRUE(waitUntil([&] { return b.err().find("Shared scene 5 published") != std::string::npos; }, 60)) << b.err();

  const std::string everyKind = "seeds 1, plane sections 1, clip planes 1, iso values 1";
  Program a(address, headset("a", hands));
  ASSERT_TRUE(a.started());
  ASSERT_TRUE(waitUntil([&] { return lastApplied(a.err()) == everyKind || a.poll(); }, 90)) << a.err();
  ASSERT_EQ(lastApplied(a.err()), everyKind) << a.err();
  // Well past the frames in which both buffers have drawn the received items.
  const int joined = newestFrame(dir + "/eyes-a");
  EXPECT_TRUE(waitUntil([&] { return newestFrame(dir + "/eyes-a") >= joined + 300 || a.poll(); }, 120)) << a.err();
  a.signal(SIGTERM);
  ASSERT_TRUE(a.wait());
  EXPECT_TRUE(a.exitedNormally()) << a.err();
  EXPECT_EQ(a.exitCode(), 0) << a.err();
  EXPECT_EQ(a.err().find("Cannot make QOpenGLContext current"), std::string::npos) << a.err();
  b.signal(SIGTERM);
  EXPECT_TRUE(b.wait());
}

// A and B keep a seed each at the same moment, twenty times over: whichever of the two equal
// stamps the service takes, the other's seed is carried into the next state, and at the end
// both see all forty seeds. The service passes shared states on late, so that each keeps its
// seed before it hears of the other's.
TEST_F(SharedSceneProgram, SeedsKeptAtTheSameMomentByTwoParticipantsAllSurvive) {
  ServerProcess server;
  std::string error;
  ASSERT_TRUE(server.start({"--journal", journal, "--fault", "lag=:collab-shared", scene}, error)) << error;
  const std::vector<std::string> address = {"127.0.0.1", std::to_string(server.port())};
  const std::string hands = handsAside();
  constexpr int kRounds = 20;
  // In round i each holds the seed tool at a place of its own along the model, waits for the
  // round's go, and keeps the seed in the frame after it: both keep theirs within a frame or so.
  const auto steps = [&](double height) {
    std::vector<Step> out;
    for (int i = 0; i < kRounds; ++i) {
      const int f = 40 + 30 * i;
      std::vector<Step> gesture = toolGesture(f, true, true, true);
      gesture[0].lines = "right position " + std::to_string(-0.15 + 0.015 * i) + " " + std::to_string(height) + " -1.9\n";
      gesture.insert(gesture.begin() + 2, {f + 14, "wait-file \"" + goFile("round" + std::to_string(i)) + "\"\n"});
      append(out, gesture);
    }
    return out;
  };
  // Each program's capture of the frame before a round's wait shows that it waits there.
  const auto waitingAt = [](int round) { return 40 + 30 * round + 13; };
  std::string frames;
  for (int i = 0; i < kRounds; ++i) frames += (i ? "," : "") + std::to_string(waitingAt(i));
  const auto racer = [&](const std::string& name, double height) {
    std::map<std::string, std::string> env = headset(name, script(hands, steps(height)));
    env.erase("QUONIX_VRSIM_CAPTURE_EVERY");
    env["QUONIX_VRSIM_CAPTURE_FRAMES"] = frames;
    return env;
  };
  Program a(address, racer("a", 1.0));
  Program b(address, racer("b", 1.05));
  ASSERT_TRUE(a.started());
  ASSERT_TRUE(b.started());
  ASSERT_TRUE(waitUntil([&] { return countOf(a.err(), " joined, colour ") >= 1 && countOf(b.err(), " joined, colour ") >= 1; }, 90))
      << a.err() << "\nB:\n" << b.err();
  const std::vector<unsigned> ids = joinedStateIds(journalLines(":collab-join"));
  ASSERT_EQ(ids.size(), 2u);

  setenv("QUONIX_BASE_DIR", base.c_str(), 1);
  TestParticipant observer;
  ASSERT_TRUE(observer.join(server.port(), 0x7e57000002LL, sceneKey())) << observer.updater->getLastError();
  kvg::VRSharedState shared;
  const auto seedsAtService = [&] {
    observer.listener->getSharedState(shared);
    return shared.getSeedPoints().size() / 3;
  };
  for (int i = 0; i < kRounds; ++i) {
    char name[64];
    std::snprintf(name, sizeof name, "/frame-%06d-left.png", waitingAt(i));
    ASSERT_TRUE(waitForFile(dir + "/eyes-a" + name, a, 60) && waitForFile(dir + "/eyes-b" + name, b, 60))
        << "round " << i;
    go("round" + std::to_string(i));
    ASSERT_TRUE(waitUntil([&] { return seedsAtService() >= size_t(2 * (i + 1)); }, 60))
        << "round " << i << ": " << seedsAtService() << " seeds\nA:\n" << a.err() << "\nB:\n" << b.err();
  }
  // The last state stays the last one for a moment: neither has anything left to carry over.
  std::this_thread::sleep_for(std::chrono::seconds(2));
  EXPECT_EQ(seedsAtService(), size_t(2 * kRounds));
  std::set<std::pair<long, long>> places;
  const std::vector<double>& v = shared.getSeedPoints();
  for (size_t i = 0; i + 2 < v.size(); i += 3) places.insert({std::lround(v[i] * 1000), std::lround(v[i + 1] * 1000)});
  EXPECT_EQ(places.size(), size_t(2 * kRounds));
  // Each holds the last state: it either published it or applied it. A program's own id is the
  // one of the two that its avatar line does not name.
  const unsigned last = shared.getTimeStamp();
  for (Program* p : {&a, &b}) {
    unsigned other = 0;
    const std::vector<std::string> joins = linesStarting(p->err(), "Avatar ");
    ASSERT_FALSE(joins.empty());
    std::sscanf(joins.front().c_str(), "Avatar %u", &other);
    const unsigned own = other == ids[0] ? ids[1] : ids[0];
    const bool published = p->err().find("Shared scene " + std::to_string(last) + " published") != std::string::npos &&
                           shared.getID() == int(own);
    const std::string applied = lastApplied(p->err());
    EXPECT_TRUE(published || applied.rfind("seeds " + std::to_string(2 * kRounds) + ",", 0) == 0)
        << (p == &a ? "A" : "B") << " stamp " << last << " from " << shared.getID() << ": " << applied << "\n" << p->err();
  }
  // How often the two stamps met at the service (the race this test is about).
  const auto published = [](const Program& p) {
    std::set<std::string> lines;
    for (const std::string& line : linesStarting(p.err(), "Shared scene "))
      if (line.find(" published") != std::string::npos) lines.insert(line);
    return lines;
  };
  const std::set<std::string> stampsA = published(a), stampsB = published(b);
  int met = 0;
  for (const std::string& line : stampsA) met += stampsB.count(line) ? 1 : 0;
  std::cout << "stamps published by both in the same round: " << met << " of " << kRounds << std::endl;
  a.signal(SIGTERM);
  b.signal(SIGTERM);
  EXPECT_TRUE(a.wait());
  EXPECT_TRUE(b.wait());
}

// The service's receiving side dies (the stand-in server cuts every participant off when a third
// participant joins) and comes back after refusing a few connections: each program says once,
// in its log and its window's title, that it lost the shared session, drops the frozen avatar,
// keeps its own items (and what it makes meanwhile), and joins again with the next attempts.
TEST_F(SharedSceneProgram, ALostSharedSessionIsSaidDropsTheAvatarsKeepsTheItemsAndIsJoinedAgain) {
  ServerProcess server;
  std::string error;
  ASSERT_TRUE(server.start({"--journal", journal, "--fault", "sever=:collab-join@3#1", "--fault",
                            "refuse=:service-socket@6#4", scene},
                           error))
      << error;
  const std::vector<std::string> address = {"127.0.0.1", std::to_string(server.port())};
  const std::string hands = handsAside();
  // A keeps a seed before the loss and another one while it is cut off. A scripted wait holds
  // A's frames, and the loss is noticed on a frame, so A is held (at 70) only until the cut is
  // made, and again (at 76) only once the loss has been said.
  std::vector<Step> aSteps = {{30, "wait-file \"" + goFile("a") + "\"\n"}};
  append(aSteps, toolGesture(40, true, true, true));
  aSteps.push_back({70, "wait-file \"" + goFile("a2") + "\"\n"});
  aSteps.push_back({76, "wait-file \"" + goFile("a3") + "\"\n"});
  std::vector<Step> second = toolGesture(80, true, true, true);
  second[0].lines = "right position -0.12 1.024 -1.9\n";
  append(aSteps, second);
  Program a(address, headset("a", script("head position -0.8 1.6 0.5\n" + hands, aSteps)));
  Program b(address, headset("b", hands));
  ASSERT_TRUE(a.started());
  ASSERT_TRUE(b.started());
  ASSERT_TRUE(waitUntil([&] { return countOf(a.err(), " joined, colour ") >= 1 && countOf(b.err(), " joined, colour ") >= 1; }, 90))
      << a.err() << "\nB:\n" << b.err();
  go("a");
  ASSERT_TRUE(waitUntil([&] { return lastApplied(b.err()) == "seeds 1, plane sections 0, clip planes 0, iso values 0"; }, 30))
      << b.err();
  const std::string windowA = a.waitForWindow(kTitle);
  ASSERT_FALSE(windowA.empty());

  // A third participant's join cuts everyone off.
  const std::string key = sceneKey();
  setenv("QUONIX_BASE_DIR", base.c_str(), 1);
  ServerConnection connection;
  connection.setHost("127.0.0.1");
  connection.setPort(server.port());
  connection.setTimeout(5000);
  const auto cut = std::chrono::steady_clock::now();
  {
    CVRStateUpdater third;
    third.setSceneKey(key);
    third.connect(connection, 0x7e57000003LL);
  }
  go("a2");
  const std::string lost = "Warning: Lost the shared session";
  for (Program* p : {&a, &b})
    EXPECT_TRUE(waitUntil([&] { return p->err().find(lost) != std::string::npos; }, 5)) << p->err();
  std::cout << "loss said after "
            << std::chrono::duration<double>(std::chrono::steady_clock::now() - cut).count() << " s" << std::endl;
  EXPECT_TRUE(waitUntil([&] { return !a.windows("shared session lost").empty(); }, 10));
  EXPECT_TRUE(waitUntil([&] { return countOf(a.err(), " left\n") >= 1; }, 10)) << a.err();
  go("a3");

  // Both join again once the service takes them, see each other again, and A's two seeds reach B.
  for (Program* p : {&a, &b}) {
    EXPECT_TRUE(waitUntil([&] { return p->err().find("Shared session joined again") != std::string::npos; }, 60))
        << p->err();
    EXPECT_EQ(countOf(p->err(), lost), 1) << p->err();
  }
  EXPECT_TRUE(waitUntil([&] { return countOf(a.err(), " joined, colour ") >= 2; }, 30)) << a.err();
  EXPECT_TRUE(waitUntil([&] { return lastApplied(b.err()) == "seeds 2, plane sections 0, clip planes 0, iso values 0"; }, 30))
      << b.err();
  // A held its first seed all along (the second may come before or after it joins again).
  const std::string sinceLoss = a.err().substr(a.err().find(lost));
  EXPECT_EQ(sinceLoss.find(" applied: seeds 0"), std::string::npos) << a.err();
  EXPECT_TRUE(waitUntil([&] { return a.windows("shared session lost").empty(); }, 10));
  EXPECT_FALSE(a.windows(kTitle).empty());
  // Quitting waits for no rejoin attempt.
  a.signal(SIGTERM);
  b.signal(SIGTERM);
  EXPECT_TRUE(a.wait());
  EXPECT_TRUE(b.wait());
  EXPECT_EQ(a.exitCode(), 0) << a.err();
}

// The magenta plate's outline in an eye image: its first and last column in each row, and its
// first and last row in each column.
struct Outline {
  std::map<int, std::pair<int, int>> rows, columns;
  size_t pixels = 0;
};
Outline plateOutline(const std::string& file) {
  const QImage image(QString::fromStdString(file));
  Outline o;
  const auto widen = [](std::map<int, std::pair<int, int>>& m, int key, int value) {
    auto it = m.find(key);
    if (it == m.end()) m[key] = {value, value};
    else it->second = {std::min(it->second.first, value), std::max(it->second.second, value)};
  };
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      const QRgb c = image.pixel(x, y);
      if (!(qRed(c) > 150 && qGreen(c) < 90 && qBlue(c) > 150)) continue;
      widen(o.rows, y, x);
      widen(o.columns, x, y);
      ++o.pixels;
    }
  return o;
}

// How far apart two outlines put the plate's edges: the largest difference of a row's first or
// last column, or of a column's first or last row, over the rows and columns both show (-1 when
// they share fewer than 20 of either).
int largestEdgeShift(const Outline& a, const Outline& b) {
  int shift = 0;
  bool enough = true;
  using Lines = std::map<int, std::pair<int, int>>;
  const auto compare = [&](const Lines& mine, const Lines& theirs) {
    int shared = 0;
    for (const auto& line : mine) {
      auto other = theirs.find(line.first);
      if (other == theirs.end()) continue;
      ++shared;
      shift = std::max(shift, std::max(std::abs(line.second.first - other->second.first),
                                       std::abs(line.second.second - other->second.second)));
    }
    enough = enough && shared >= 20;
  };
  compare(a.rows, b.rows);
  compare(a.columns, b.columns);
  return enough ? shift : -1;
}

// The newest left-eye capture once one of that frame or later is there.
std::string leftEyeFrom(const std::string& folder, int frame, Program& program) {
  waitUntil([&] { return newestFrame(folder) >= frame || program.poll(); }, 60);
  return completeLeftEye(folder);
}

// A keeps a clip plane with its controller a few degrees off level (the plane snaps to level): B,
// joining later, cuts the plate along the same line, seen from the same place close to it; and
// A's cut stays where it was after B kept and removed a seed.
TEST_F(SharedSceneProgram, AKeptClipPlaneCutsAlikeEverywhereAndStaysThroughOthersEdits) {
  ServerProcess server;
  std::string error;
  ASSERT_TRUE(server.start({"--journal", journal, scene}, error)) << error;
  const std::vector<std::string> address = {"127.0.0.1", std::to_string(server.port())};
  const std::string hands = handsAside();
  // Close before the plate, the hands (aside) behind the eyes; away: behind the other's eyes.
  const std::string away = "head position -0.8 1.6 0.5\n", home = "head position 0 1.024 -1.3\n";

  std::vector<Step> aSteps = {{21, home}, {35, "wait-file \"" + goFile("a") + "\"\n"}};
  std::vector<Step> clip = toolGesture(40, true, false, true);
  // Pointing down, turned a little: the plane is a few degrees off level, within the snapping
  // angle.
  clip[0].lines += "right rotation 0 -70 20\n";
  append(aSteps, clip);
  aSteps.push_back({75, "wait-file \"" + goFile("a-away") + "\"\n"});
  aSteps.push_back({76, away});
  aSteps.push_back({85, "wait-file \"" + goFile("a-home") + "\"\n"});
  aSteps.push_back({86, home});
  auto a = std::make_unique<Program>(address, headset("a", script(hands, aSteps)));
  ASSERT_TRUE(a->started());
  const Outline whole = plateOutline(leftEyeFrom(dir + "/eyes-a", 30, *a));
  go("a");
  ASSERT_TRUE(waitUntil([&] { return a->err().find("Shared scene 2 published") != std::string::npos; }, 60)) << a->err();
  const Outline cutAtA = plateOutline(leftEyeFrom(dir + "/eyes-a", 70, *a));
  ASSERT_GT(whole.rows.size(), 40u);
  ASSERT_LT(cutAtA.pixels, whole.pixels * 3 / 4) << "the clip plane did not cut the plate";
  go("a-away");

  // B joins, goes where A stood and takes A's plane.
  std::vector<Step> bSteps = {{30, "wait-file \"" + goFile("b") + "\"\n"}, {31, home},
                              {45, "wait-file \"" + goFile("b2") + "\"\n"}};
  std::vector<Step> seed = toolGesture(50, true, true, true);
  seed[0].lines = "right position -0.12 1.024 -1.9\n";
  append(bSteps, seed);
  std::vector<Step> unseed = toolGesture(80, true, true, false);
  unseed[0].lines = "right position -0.12 1.024 -1.9\n";
  append(bSteps, unseed);
  bSteps.push_back({105, away});
  Program b(address, headset("b", script(hands, bSteps)));
  ASSERT_TRUE(b.started());
  const std::string planeOnly = "seeds 0, plane sections 0, clip planes 1, iso values 0";
  ASSERT_TRUE(waitUntil([&] { return lastApplied(b.err()) == planeOnly; }, 90)) << b.err();
  go("b");
  const Outline cutAtB = plateOutline(leftEyeFrom(dir + "/eyes-b", 40, b));
  const int shiftAB = largestEdgeShift(cutAtA, cutAtB);
  std::cout << "plate edges at B against A: " << shiftAB << " px" << std::endl;
  EXPECT_GE(shiftAB, 0);
  EXPECT_LE(shiftAB, 1);

  // B keeps a seed and removes it again, then steps away; A comes back to its place.
  const int appliedAtA = countOf(a->err(), " applied: ");
  go("b2");
  ASSERT_TRUE(waitUntil([&] { return countOf(a->err(), " applied: ") >= appliedAtA + 2 && lastApplied(a->err()) == planeOnly; }, 60))
      << a->err();
  ASSERT_TRUE(waitForFile(dir + "/eyes-b/frame-000110-left.png", b, 60)) << b.err();
  go("a-home");
  const Outline laterAtA = plateOutline(leftEyeFrom(dir + "/eyes-a", 100, *a));
  const int shiftA = largestEdgeShift(cutAtA, laterAtA);
  std::cout << "plate edges at A after B's edits: " << shiftA << " px" << std::endl;
  EXPECT_GE(shiftA, 0);
  EXPECT_LE(shiftA, 1);
  a->signal(SIGTERM);
  b.signal(SIGTERM);
  EXPECT_TRUE(a->wait());
  EXPECT_TRUE(b.wait());
}

// B's laser holds A's avatar while its trigger stays down: B's model repeats A's move and zoom.
// Let go, B teleports to A from the palette and sees the scene from A's place. Then both idle,
// and the test counts what they send. Last, with a third participant, the palette's next and
// previous buttons move B's selection.
TEST_F(SharedSceneProgram, ALaserHeldOnTheOthersAvatarFollowsItsModelAndTeleportGoesToIt) {
  std::ofstream(base + "/config.ini", std::ios::app) << "avatarTeleportationOffset = [0, 0, 0]\n";
  ServerProcess server;
  std::string error;
  ASSERT_TRUE(server.start({"--journal", journal, scene}, error)) << error;
  const std::vector<std::string> address = {"127.0.0.1", std::to_string(server.port())};

  // A stands to B's front right; on the first go it runs on a while (B then sees it where it
  // stands), on the second it drags the model 0.2 m to the right with its right trigger and
  // zooms with its left pad.
  const std::array<double, 3> headA = {0.5, 1.6, -1.0};
  std::vector<Step> aSteps = {{30, "wait-file \"" + goFile("a1") + "\"\n"},
                              {60, "wait-file \"" + goFile("a2") + "\"\n"},
                              {61, "right press trigger\n"}};
  for (int k = 1; k <= 10; ++k) aSteps.push_back({61 + k, "right position " + std::to_string(0.5 + 0.02 * k) + " 1 -1\n"});
  aSteps.push_back({75, "right release trigger\n"});
  aSteps.push_back({80, "left axis 0 0 0.9\nleft press pad\n"});
  aSteps.push_back({95, "left release pad\n"});
  Program a(address, headset("a", script(std::string("rate 60\nhead position 0.5 1.6 -1\nleft position ") + kLeftAside +
                                             "\nright position " + kRightAside + "\n",
                                         aSteps)));
  ASSERT_TRUE(a.started());
  ASSERT_TRUE(waitUntil([&] { return a.err().find("Shared scene 1 published") != std::string::npos; }, 90)) << a.err();

  // B: its left hand holds the palette, its right laser goes to A's head and the trigger grabs
  // it and stays down until the second go; then the laser presses the palette's teleport button.
  const std::array<double, 3> left = {-0.1, 1.25, -0.3}, right = {0.15, 1.2, -0.1};
  const std::string restingRight = "right pose 1 0 0 0.15 0 1 0 1.2 0 0 1 -0.1\n";
  std::vector<Step> bSteps = {{30, "wait-file \"" + goFile("b") + "\"\n"},
                              {31, "left press grip\n" + aimRight(right, headA)},
                              {34, "wait-file \"" + goFile("b-hover") + "\"\n"},
                              {35, "right press trigger\n"},
                              {40, "left release grip\n"},
                              {200, "wait-file \"" + goFile("b2") + "\"\n"},
                              {201, "right release trigger\n" + restingRight},
                              {205, "left press grip\n" + aimRight(right, palettePoint(left, 0.75, 0.1))},
                              {210, "right press trigger\n"},
                              {213, "right release trigger\n"},
                              {218, "left release grip\n" + restingRight},
                              {230, "wait-file \"" + goFile("b3") + "\"\n"},
                              {231, "left press grip\n" + aimRight(right, palettePoint(left, 0.95, 0.1))},
                              {235, "right press trigger\n"},
                              {238, "right release trigger\n"},
                              {250, aimRight(right, palettePoint(left, 0.55, 0.1))},
                              {255, "right press trigger\n"},
                              {258, "right release trigger\n"},
                              {262, "left release grip\n" + restingRight}};
  Program b(address, headset("b", script("rate 60\nleft position -0.1 1.25 -0.3\nright position 0.15 1.2 -0.1\n", bSteps)));
  ASSERT_TRUE(b.started());
  ASSERT_TRUE(waitUntil([&] { return countOf(b.err(), " joined, colour ") >= 1; }, 90)) << b.err();
  go("a1");
  ASSERT_TRUE(waitForFile(dir + "/eyes-a/frame-000050-left.png", a, 30)) << a.err();
  const std::vector<unsigned> ids = joinedStateIds(journalLines(":collab-join"));
  ASSERT_EQ(ids.size(), 2u);
  const unsigned idA = ids[0], idB = ids[1];

  // The test watches both on the service (its updater reads this base's configuration).
  setenv("QUONIX_BASE_DIR", base.c_str(), 1);
  TestParticipant observer;
  ASSERT_TRUE(observer.join(server.port(), 0x7e57000001LL, sceneKey())) << observer.updater->getLastError();
  ASSERT_TRUE(waitUntil([&] { return observer.clientFrom(idA) && observer.clientFrom(idB); }, 10));
  // It shows itself too: a head in the scene away from A's, which the palette's avatar buttons
  // will select at the end.
  observer.sendPresence();

  go("b");
  // Resting on A's head without the trigger, B's laser ends there with its spot, and B holds
  // nothing yet.
  const auto laserOfB = [&] { return observer.clientFrom(idB)->getController(true); };
  EXPECT_TRUE(waitUntil([&] { return laserOfB().Flag1 && laserOfB().LaserProps[9] < 1.1; }, 30))
      << laserOfB().LaserProps[9] << "\n" << b.err();
  EXPECT_GT(laserOfB().LaserProps[9], 0.7);
  EXPECT_TRUE(laserOfB().Flag4);
  EXPECT_EQ(observer.clientFrom(idB)->getCompanionID(), -1);
  go("b-hover");
  ASSERT_TRUE(waitUntil([&] { return observer.clientFrom(idB)->getCompanionID() == int(idA); }, 30))
      << "B did not grab A's avatar\n" << b.err();
  const Matrix modelA0 = toMatrix(observer.clientFrom(idA)->getModel());
  const Matrix modelB0 = toMatrix(observer.clientFrom(idB)->getModel());
  const double scaleA0 = observer.clientFrom(idA)->getModelScale();
  const double scaleB0 = observer.clientFrom(idB)->getModelScale();
  const std::string beforeMove = completeLeftEye(dir + "/eyes-b");

  go("a2");
  ASSERT_TRUE(waitForFile(dir + "/eyes-a/frame-000110-left.png", a, 30)) << a.err();
  const auto stateA = observer.clientFrom(idA);
  const Matrix modelA = toMatrix(stateA->getModel());
  ASSERT_GT(largestDifference(modelA, modelA0), 0.1) << "A's model did not move";
  ASSERT_GT(std::abs(stateA->getModelScale() / scaleA0 - 1.0), 0.1) << "A did not zoom";
  // B's model made A's move: (A x A0^-1) x B0, B's scale changed by A's ratio.
  const Matrix inverseA0 = similarityInverse(modelA0);
  const Matrix expectedB = product(product(modelA, inverseA0), modelB0);
  EXPECT_TRUE(waitUntil([&] { return largestDifference(toMatrix(observer.clientFrom(idB)->getModel()), expectedB) < 1e-3; }, 10))
      << "B " << text(toMatrix(observer.clientFrom(idB)->getModel())) << "\nexpected " << text(expectedB);
  EXPECT_NEAR(observer.clientFrom(idB)->getModelScale() / scaleB0, stateA->getModelScale() / scaleA0, 1e-6);
  EXPECT_EQ(observer.clientFrom(idB)->getCompanionID(), int(idA));
  // The laser that holds A stays on the hand that grabbed it (hand 1's record is the state's
  // "Left" one), not on the other.
  EXPECT_TRUE(observer.clientFrom(idB)->getController(true).Flag1);
  EXPECT_FALSE(observer.clientFrom(idB)->getController(false).Flag1);
  // It ends on A's head, about a metre away, with its spot there.
  const kvg::VRClientController laser = observer.clientFrom(idB)->getController(true);
  EXPECT_GT(laser.LaserProps[9], 0.7);
  EXPECT_LT(laser.LaserProps[9], 1.1);
  EXPECT_TRUE(laser.Flag4);
  // B stands at its script's next go signal by now: its newest capture is its last frame, so no
  // later one can be waited for.
  std::this_thread::sleep_for(std::chrono::seconds(1));
  const std::string afterMove = completeLeftEye(dir + "/eyes-b");
  const Plate plateBefore = magentaPlate(beforeMove), plateAfter = magentaPlate(afterMove);
  // In B's eyes the plate went right with A's hand and grew with A's zoom.
  EXPECT_GT(plateAfter.column, plateBefore.column + 10.0) << beforeMove << " vs " << afterMove;
  // (The zoom's centre is not the plate, so the plate grows by less than the scale: about 1.45.)
  EXPECT_GT(plateAfter.extent(), plateBefore.extent() * 13 / 10) << beforeMove << " vs " << afterMove << ", scale ratio " << stateA->getModelScale() / scaleA0;

  // Let go, then teleport: B's head lands on A's head in the scene, at A's scale.
  go("b2");
  const Matrix headOfA = product(toMatrix(stateA->getModel()), toMatrix(stateA->getView()));
  EXPECT_TRUE(waitUntil(
      [&] {
        const auto s = observer.clientFrom(idB);
        return s->getCompanionID() == -1 &&
               largestDifference(product(toMatrix(s->getModel()), toMatrix(s->getView())), headOfA) < 1e-3;
      },
      20))
      << "B's head " << text(product(toMatrix(observer.clientFrom(idB)->getModel()), toMatrix(observer.clientFrom(idB)->getView())))
      << "\nA's head " << text(headOfA) << "\n" << b.err();
  EXPECT_NEAR(observer.clientFrom(idB)->getModelScale(), stateA->getModelScale(), 1e-9);
  std::this_thread::sleep_for(std::chrono::seconds(1));
  const Plate seenByA = magentaPlate(completeLeftEye(dir + "/eyes-a")), seenByB = magentaPlate(completeLeftEye(dir + "/eyes-b"));
  // B's eyes now show the plate as A's do.
  EXPECT_NEAR(seenByB.count, seenByA.count, seenByA.count / 10.0);
  EXPECT_NEAR(seenByB.column, seenByA.column, 3.0);
  EXPECT_NEAR(seenByB.row, seenByA.row, 3.0);

  // Both idle: what reaches a third participant of the scene each second.
  std::this_thread::sleep_for(std::chrono::seconds(1));
  const uint64_t clients0 = observer.listener->receivedClientStates(), shared0 = observer.listener->receivedSharedStates();
  const auto t0 = std::chrono::steady_clock::now();
  std::this_thread::sleep_for(std::chrono::seconds(3));
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  const double clientRate = double(observer.listener->receivedClientStates() - clients0) / seconds;
  const double sharedRate = double(observer.listener->receivedSharedStates() - shared0) / seconds;
  std::cout << "idle, two programs: " << clientRate << " client states/s, " << sharedRate << " shared states/s" << std::endl;
  EXPECT_EQ(sharedRate, 0.0);

  // With the observer present as a third participant, the palette's next and previous buttons
  // move B's selection from A to it and back (B's state carries the selected avatar's colour
  // while its palette is shown).
  const unsigned colourA = observer.clientFrom(idA)->getColorID();
  const unsigned colourObserver = observer.updater->getConnectionIds().first;
  ASSERT_NE(colourA, colourObserver);
  auto selected = [&](unsigned colour) {
    const auto s = observer.clientFrom(idB);
    return s->getController(false).Flag2 && s->getCurrentAvatarColorID() == int(colour);
  };
  go("b3");
  EXPECT_TRUE(waitUntil([&] { return selected(colourA); }, 20)) << b.err();
  EXPECT_TRUE(waitUntil([&] { return selected(colourObserver); }, 20)) << b.err();
  EXPECT_TRUE(waitUntil([&] { return selected(colourA); }, 20)) << b.err();

  b.signal(SIGTERM);
  a.signal(SIGTERM);
  EXPECT_TRUE(b.wait());
  EXPECT_TRUE(a.wait());
}


// The plate in both eyes of one capture: the newest pair in the folder that reads whole.
struct EyePlates {
  Plate left, right;
  std::string file;
  // How far apart the plate stands between the eyes, in pixels.
  double parallax() const { return left.column - right.column; }
  double middle() const { return (left.column + right.column) / 2.0; }
};
EyePlates platesInBothEyes(const std::string& folder) {
  for (int i = 0; i < 20; ++i) {
    const std::string file = newestLeftEye(folder);
    const size_t at = file.rfind("-left.png");
    if (at != std::string::npos) {
      const std::string right = file.substr(0, at) + "-right.png";
      if (!QImage(QString::fromStdString(file)).isNull() && !QImage(QString::fromStdString(right)).isNull())
        return {magentaPlate(file), magentaPlate(right), file};
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return {};
}

// The palette's dark blue-grey panel and button faces.
int paletteFacePixels(const std::string& file) {
  const QImage image(QString::fromStdString(file));
  int count = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      const QRgb c = image.pixel(x, y);
      if (qRed(c) < 60 && qGreen(c) > qRed(c) + 8 && qBlue(c) > qGreen(c) + 8 && qBlue(c) < 110) ++count;
    }
  return count;
}

// A sees the model at scale 2 (its own configuration shows the model 1 m wide, where B's shows
// it 0.4 m wide, at scale 5); B teleports to it from the palette. B's eyes take the projection
// of the scale they land at: the plate stands as far apart between B's eyes as between A's,
// which see it from the same place at the same scale. (With the projection of scale 1 after a
// teleport, B's eyes were half the eye distance apart in the model, and its near plane half as
// far: the plate had half the parallax.) Both heads use a wide eye distance, so that the
// parallax is many pixels.
TEST_F(SharedSceneProgram, TeleportToAParticipantAtAnotherScaleTakesTheProjectionOfThatScale) {
  std::ofstream(base + "/config.ini", std::ios::app) << "avatarTeleportationOffset = [0, 0, 0]\n";
  const std::string baseA = dir + "/base-a";
  makeBaseWithAssets(baseA);
  std::ofstream(baseA + "/config.ini") << "resolutionFactor = 0.5\nuseFog = false\nresetViewModelSize = 1.0\n";
  ServerProcess server;
  std::string error;
  ASSERT_TRUE(server.start({"--journal", journal, scene}, error)) << error;
  const std::vector<std::string> address = {"127.0.0.1", std::to_string(server.port())};

  // A stands 1.2 m in front of the plate's middle, its hands aside.
  std::map<std::string, std::string> environmentA =
      headset("a", std::string("rate 60\nipd 0.2\nhead position 0 1 -1.3\nleft position ") + kLeftAside +
                       "\nright position " + kRightAside + "\n");
  environmentA["QUONIX_BASE_DIR"] = baseA;
  Program a(address, environmentA);
  ASSERT_TRUE(a.started());
  ASSERT_TRUE(waitUntil([&] { return a.err().find("Shared scene 1 published") != std::string::npos; }, 90)) << a.err();

  // B holds its palette in the left hand and lays its right laser on the teleport button; it
  // pulls the trigger only once the test has seen the palette drawn (a palette whose images
  // are not ready neither shows nor acts).
  const std::array<double, 3> left = {-0.1, 1.25, -0.3}, right = {0.15, 1.2, -0.1};
  const std::vector<Step> bSteps = {{30, "wait-file \"" + goFile("b") + "\"\n"},
                                    {31, "left press grip\n" + aimRight(right, palettePoint(left, 0.75, 0.1))},
                                    {600, "wait-file \"" + goFile("b-press") + "\"\n"},
                                    {601, "right press trigger\n"},
                                    {604, "right release trigger\n"},
                                    {610, "left release grip\nright pose 1 0 0 0.15 0 1 0 1.2 0 0 1 -0.1\n"}};
  Program b(address, headset("b", script("rate 60\nipd 0.2\nleft position -0.1 1.25 -0.3\n"
                                         "right position 0.15 1.2 -0.1\n",
                                         bSteps)));
  ASSERT_TRUE(b.started());
  ASSERT_TRUE(waitUntil([&] { return countOf(b.err(), " joined, colour ") >= 1; }, 90)) << b.err();
  const std::vector<unsigned> ids = joinedStateIds(journalLines(":collab-join"));
  ASSERT_EQ(ids.size(), 2u);
  const unsigned idA = ids[0], idB = ids[1];
  setenv("QUONIX_BASE_DIR", base.c_str(), 1);
  TestParticipant observer;
  ASSERT_TRUE(observer.join(server.port(), 0x7e57000002LL, sceneKey())) << observer.updater->getLastError();
  ASSERT_TRUE(waitUntil([&] { return observer.clientFrom(idA) && observer.clientFrom(idB); }, 10));
  ASSERT_NEAR(observer.clientFrom(idA)->getModelScale(), 2.0, 1e-6);
  ASSERT_NEAR(observer.clientFrom(idB)->getModelScale(), 5.0, 1e-6);

  go("b");
  std::string palette;
  ASSERT_TRUE(waitUntil(
      [&] {
        palette = completeLeftEye(dir + "/eyes-b");
        return !palette.empty() && paletteFacePixels(palette) > 800;
      },
      60))
      << "B's palette never showed: " << palette << "\n" << b.err();
  go("b-press");

  // B's eyes show the plate where A's do, in each eye: the same place between the eyes (B's head
  // landed on A's) and the same parallax. Captures keep coming, so the newest pairs are compared
  // until they agree.
  EyePlates seenByA, seenByB;
  const bool agree = waitUntil(
      [&] {
        seenByA = platesInBothEyes(dir + "/eyes-a");
        seenByB = platesInBothEyes(dir + "/eyes-b");
        return seenByA.left.count > 200 && seenByB.left.count > 200 && seenByB.right.count > 200 &&
               std::abs(seenByB.middle() - seenByA.middle()) < 2.0 &&
               std::abs(seenByB.parallax() - seenByA.parallax()) < 2.0;
      },
      60);
  std::cout << "teleport to scale 2 from scale 5: plate parallax A " << seenByA.parallax()
            << " px, B " << seenByB.parallax() << " px; middle A " << seenByA.middle() << ", B " << seenByB.middle()
            << std::endl;
  EXPECT_TRUE(agree) << seenByA.file << " vs " << seenByB.file;
  EXPECT_NEAR(seenByB.left.count, seenByA.left.count, seenByA.left.count / 10.0);
  EXPECT_NEAR(seenByB.right.count, seenByA.right.count, seenByA.right.count / 10.0);

  b.signal(SIGTERM);
  a.signal(SIGTERM);
  EXPECT_TRUE(b.wait());
  EXPECT_TRUE(a.wait());
}


// A hundred participants join and leave one by one while a program shows them: each comes and
// goes as an avatar, none is left at the end, and the program's memory stays where it was.
TEST_F(SharedSceneProgram, AHundredParticipantsComingAndGoingLeaveNothingBehind) {
  ServerProcess server;
  std::string error;
  ASSERT_TRUE(server.start({"--journal", journal, scene}, error)) << error;
  std::map<std::string, std::string> environment =
      headset("b", std::string("rate 60\nleft position ") + kLeftAside + "\nright position " + kRightAside + "\n");
#if defined(__SANITIZE_ADDRESS__)
  // AddressSanitizer keeps freed blocks in its quarantine (up to 256 MiB), which the resident
  // memory counts as if they were still held: B runs without it, so that what it measures is what
  // it keeps. Use after free stays checked in every other run of the program.
  const char* asan = std::getenv("ASAN_OPTIONS");
  environment["ASAN_OPTIONS"] = std::string(asan && *asan ? std::string(asan) + ":" : "") +
                                "quarantine_size_mb=0:thread_local_quarantine_size_kb=0";
#endif
  Program b({"127.0.0.1", std::to_string(server.port())}, environment);
  ASSERT_TRUE(b.started());
  ASSERT_TRUE(waitUntil([&] { return b.err().find("Shared scene 1 published") != std::string::npos; }, 90)) << b.err();
  setenv("QUONIX_BASE_DIR", base.c_str(), 1);
  const std::string key = sceneKey();
  ASSERT_FALSE(key.empty());

  // Ten rounds of ten at once; memory is measured after the first round has set up what the
  // avatars share.
  long afterFirstRound = 0;
  for (int round = 0; round < 10; ++round) {
    std::vector<std::unique_ptr<TestParticipant>> round_;
    for (int i = 0; i < 10; ++i) {
      round_.push_back(std::make_unique<TestParticipant>());
      ASSERT_TRUE(round_.back()->join(server.port(), 0x7e57100000LL + round * 10 + i, key))
          << round_.back()->updater->getLastError();
      round_.back()->sendPresence();
    }
    const int joins = 10 * (round + 1);
    ASSERT_TRUE(waitUntil([&] { return countOf(b.err(), " joined, colour ") >= joins; }, 30))
        << "round " << round << "\n" << b.err();
    round_.clear();
    ASSERT_TRUE(waitUntil([&] { return countOf(b.err(), " left\n") >= joins; }, 30)) << "round " << round << "\n" << b.err();
    if (round == 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(500));
      afterFirstRound = residentKilobytes(b.pid());
    }
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  const long atEnd = residentKilobytes(b.pid());
  EXPECT_EQ(countOf(b.err(), " joined, colour "), 100);
  EXPECT_EQ(countOf(b.err(), " left\n"), 100);
  std::cout << "B's resident memory after 10 joins and leaves " << afterFirstRound / 1024 << " MiB, after 100 "
            << atEnd / 1024 << " MiB" << std::endl;
  ASSERT_GT(afterFirstRound, 0);
  // A generous bound: an avatar that left its head, tools or marker behind would cost far more
  // over ninety of them.
  EXPECT_LT(atEnd - afterFirstRound, 40 * 1024);
  b.signal(SIGTERM);
  EXPECT_TRUE(b.wait());
}

}  // namespace
