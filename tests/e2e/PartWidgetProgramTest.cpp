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
#include <set>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "ProgramProcess.h"
#include "Properties.h"
#include "ServerConnection.h"
#include "ServerNotification.h"
#include "ServerProcess.h"

namespace {

struct Command {
  std::string connection;
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
    c.connection = line.substr(0, a);
    c.name = line.substr(a + 1, b - a - 1);
    Properties::fromText(line.substr(b + 1), c.arguments);
    out.push_back(c);
  }
  return out;
}

// A pixel in the widget highlight colour (0.79, 0.14, 0.57), lit: red well above green, blue
// between them.
bool isHighlightColoured(QRgb p) {
  return qRed(p) > 90 && qRed(p) > 2 * qGreen(p) + 20 && qBlue(p) > qGreen(p) + 25 && qRed(p) > qBlue(p);
}

int highlightPixels(const QImage& image) {
  int count = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (isHighlightColoured(image.pixel(x, y))) ++count;
  return count;
}

// The mean x of the widget: the largest 4-connected region of highlight-coloured pixels, -1
// without any. The pointing laser and its distance disc take the widget colours too while a
// widget is active; they are thin or small and apart from the widget, so they are left out.
double highlightCentreX(const QImage& image) {
  const int w = image.width(), h = image.height();
  std::vector<char> seen(size_t(w) * size_t(h), 0);
  std::vector<std::pair<int, int>> stack;
  double bestSum = 0.0;
  int bestCount = 0;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      if (seen[size_t(y) * w + x] || !isHighlightColoured(image.pixel(x, y))) continue;
      seen[size_t(y) * w + x] = 1;
      stack.assign(1, {x, y});
      double sum = 0.0;
      int count = 0;
      while (!stack.empty()) {
        const auto [cx, cy] = stack.back();
        stack.pop_back();
        sum += cx;
        ++count;
        const int next[4][2] = {{cx + 1, cy}, {cx - 1, cy}, {cx, cy + 1}, {cx, cy - 1}};
        for (const auto& n : next) {
          if (n[0] < 0 || n[0] >= w || n[1] < 0 || n[1] >= h) continue;
          char& mark = seen[size_t(n[1]) * w + n[0]];
          if (mark || !isHighlightColoured(image.pixel(n[0], n[1]))) continue;
          mark = 1;
          stack.push_back({n[0], n[1]});
        }
      }
      if (count > bestCount) {
        bestCount = count;
        bestSum = sum;
      }
    }
  return bestCount ? bestSum / bestCount : -1.0;
}

class PartWidgetProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) GTEST_SKIP() << "needs a display (run under xvfb-run)";
    dir = makeTempDir();
    base = dir + "/base";
    binDir = std::getenv("QUONIX_BIN_DIR") ? std::getenv("QUONIX_BIN_DIR") : "bin";
    makeBaseWithAssets(base);
    // The laser leaves the controller straight ahead from its origin.
    std::ofstream(base + "/config.ini") << "resolutionFactor = 0.5\nuseFog = false\nlaserAngle = 0\n"
                                           "toolsOffset = [0, 0, 0]\n";
    captures = dir + "/eyes";
    journal = dir + "/journal.txt";
  }

  std::map<std::string, std::string> environment(const std::string& frames) const {
    return headsetEnvironment(dir, base, captures, frames);
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

// One session, one timeline of the simulated headset (frame numbers count from the first frame
// the scene is shown in): pick, copy three ways, delete, then pick, drag and delete a point part.
TEST_F(PartWidgetProgram, PickCopyDeleteAndDragParts) {
  // The model's placement maps room x = -0.5346 m to the plane section's left edge and
  // (-0.9069, 1.4654) to the point part's centre; the laser leaves the controller along -z.
  std::ofstream(dir + "/vrsim.txt") << "rate 60\n"
                                       "left position -0.8 0.7 0\nleft press grip\n"
                                       "right position -0.5346 1.0 -0.5\n"
                                       // Inside the highlighted section's widget, in front of the square.
                                       "frame 30\nright position -0.3484 1.0 -0.5\n"
                                       "frame 40\nright axis 0 0 -0.9\nright press pad\n"  // South
                                       "frame 45\nright release pad\nright axis 0 0 0\n"
                                       "frame 60\nright axis 0 0.9 0\nright press pad\n"  // East
                                       "frame 65\nright release pad\nright axis 0 0 0\n"
                                       "frame 80\nright axis 0 0 0.9\nright press pad\n"  // North
                                       "frame 85\nright release pad\nright axis 0 0 0\n"
                                       "frame 100\nright axis 0 -0.9 0\nright press pad\n"  // West
                                       "frame 105\nright release pad\nright axis 0 0 0\n"
                                       "frame 130\nright position -0.9069 1.4654 -0.5\n"
                                       "frame 160\nright press trigger\n"
                                       "frame 170\nright position -0.8569 1.4654 -0.5\n"
                                       "frame 180\nright position -0.8069 1.4654 -0.5\n"
                                       "frame 190\nright release trigger\n"
                                       "frame 215\nright axis 0 -0.9 0\nright press pad\n"
                                       "frame 220\nright release pad\nright axis 0 0 0\n";
  ServerProcess server;
  std::string error;
  ASSERT_TRUE(server.start({"--scene", "Parts:1", "--journal", journal}, error)) << error;
  auto env = environment("25,125,155,185,210,240");
  env["QUONIX_VRSIM_EXIT_AFTER"] = "240";
  Program program({"127.0.0.1", std::to_string(server.port())}, env);
  ASSERT_TRUE(program.started());
  ASSERT_TRUE(waitForFile(eyeFile(240, "right"), program, 150)) << program.err();
  ASSERT_TRUE(program.wait()) << program.err();
  const std::vector<Command> all = readJournal(journal);
  auto named = [&](const std::string& name) {
    std::vector<Command> out;
    for (const Command& c : all)
      if (c.name == name) out.push_back(c);
    return out;
  };

  // The pick: the server highlights the section, and its widget shows in both eyes.
  const std::vector<Command> highlights = named("HighlightParts");
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
  for (const char* side : {"left", "right"}) EXPECT_GT(highlightPixels(eye(25, side)), 1000) << side;

  // South, East and North copy the section: at the controller, in place, at the laser's hit on
  // the square behind it.
  const std::vector<Command> clones = named("ClonePlaneSection");
  ASSERT_EQ(clones.size(), 3u);
  std::vector<double> origins[3];
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    const Properties& a = clones[i].arguments;
    EXPECT_EQ(a.getString("Scene"), "Parts");
    EXPECT_EQ(a.getString("PlaneSection"), "PlaneSection 1");
    std::vector<double> orientation;
    ASSERT_TRUE(a.get("Origin", origins[i]));
    ASSERT_TRUE(a.get("Orientation", orientation));
    ASSERT_EQ(origins[i].size(), 3u);
    EXPECT_EQ(orientation, (std::vector<double>{0.0, 0.0, 1.0}));
  }
  EXPECT_GT(origins[0][2], 1.0);              // a hand's length before the controller (z 1.64)
  EXPECT_NEAR(origins[1][2], 0.3, 1e-9);      // the section's own place
  EXPECT_NEAR(origins[2][2], 0.0, 0.02);      // on the square
  EXPECT_NEAR(origins[2][0], -0.2, 0.01);

  // West deletes it; the widget and the proxy discs are gone from the frames after.
  const std::vector<Command> sectionDeletes = named("DeletePlaneSection");
  ASSERT_EQ(sectionDeletes.size(), 1u);
  EXPECT_EQ(sectionDeletes[0].arguments.getString("Part"), "PlaneSection 1");
  EXPECT_EQ(sectionDeletes[0].arguments.getString("Scene"), "Parts");
  for (const char* side : {"left", "right"}) EXPECT_LT(highlightPixels(eye(125, side)), 20) << side;

  // The point part: picked, dragged 0.1 m to the right (in the model's units), then deleted.
  bool pointHighlighted = false;
  for (const Command& c : highlights) {
    std::vector<std::string> names;
    c.arguments.get("Parts", names);
    pointHighlighted = pointHighlighted || names == std::vector<std::string>{"PointPart 1"};
  }
  EXPECT_TRUE(pointHighlighted);
  std::vector<Command> moves;
  for (const Command& c : named("NotifyZeltSceneGraphNode"))
    if (c.arguments.getString("Part") == "PointPart 1") moves.push_back(c);
  ASSERT_FALSE(moves.empty());
  std::vector<double> position;
  ASSERT_TRUE(moves.back().arguments.get("Position", position));
  ASSERT_EQ(position.size(), 3u);
  EXPECT_NEAR(position[0], -0.8 + 0.1 * 1.0743, 0.02);
  EXPECT_NEAR(position[1], 0.5, 0.02);
  EXPECT_NEAR(position[2], 0.0, 0.02);
  // In the headset the widget follows the laser to the right while the trigger is held, and
  // stays there.
  for (const char* side : {"left", "right"}) {
    const double before = highlightCentreX(eye(155, side));
    for (int frame : {185, 210}) {
      const double after = highlightCentreX(eye(frame, side));
      EXPECT_GT(after - before, 5.0) << side << " frame " << frame << ": " << before << " -> " << after;
    }
  }
  const std::vector<Command> pointDeletes = named("DeletePointPart");
  ASSERT_EQ(pointDeletes.size(), 1u);
  EXPECT_EQ(pointDeletes[0].arguments.getString("Part"), "PointPart 1");
  for (const char* side : {"left", "right"}) EXPECT_LT(highlightPixels(eye(240, side)), 20) << side;

  // The highlight is asked for once per change of the pick (not again at each buffer swap), and
  // never for a part after its deletion was asked for.
  std::set<std::string> deleted;
  std::vector<std::string> previous;
  for (const Command& c : all) {
    if (c.name == "DeletePlaneSection" || c.name == "DeletePointPart") deleted.insert(c.arguments.getString("Part"));
    if (c.name != "HighlightParts") continue;
    std::vector<std::string> names;
    c.arguments.get("Parts", names);
    EXPECT_NE(names, previous) << "the same highlight asked for twice in a row";
    for (const std::string& name : names) EXPECT_EQ(deleted.count(name), 0u) << name << " highlighted after its deletion";
    previous = names;
  }

  EXPECT_TRUE(program.exitedNormally()) << program.err();

  // The server's scene now: three new sections; the first section and the point part gone.
  ServerConnection viewer;
  Properties reply, open;
  ASSERT_TRUE(viewer.createCommandSocket("127.0.0.1", server.port(), reply));
  ASSERT_TRUE(viewer.createNotifySocket("127.0.0.1", server.port()));
  open.set("ViewObject", "SceneCanvas_1");
  ASSERT_TRUE(viewer.sendCommand("ViewObject.openView", open, reply));
  ServerNotification scene;
  ASSERT_TRUE(viewer.notifications().waitPop(scene, 5000));
  const Properties drawables =
      scene.data.getProperties(ServerNotification::KEY_RECORD).getProperties("FrameContent").getProperties("drawables");
  for (const char* name : {"PlaneSection 2", "PlaneSection 3", "PlaneSection 4", "LinePart 1", "PlaneProbePart 1"})
    EXPECT_TRUE(drawables.hasName(name)) << name;
  EXPECT_FALSE(drawables.hasName("PlaneSection 1"));
  EXPECT_FALSE(drawables.hasName("PointPart 1"));
}

// Pixels of the message panel's letters (amber, 1.0 0.8 0.2, unlit).
int messagePixels(const QImage& image) {
  int count = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      const QRgb p = image.pixel(x, y);
      if (qRed(p) > 200 && qGreen(p) > 140 && qGreen(p) < 230 && qBlue(p) < 110) ++count;
    }
  return count;
}

// The server refuses the deletion of the picked section: the program says why in the log and in
// the headset, the section's widget is back at once (the server sends no new scene), and the
// section is highlighted again when the laser comes back to it.
TEST_F(PartWidgetProgram, ARefusedDeletionIsSaidAndThePartStaysPickable) {
  std::ofstream(dir + "/vrsim.txt") << "rate 60\n"
                                       "left position -0.8 0.7 0\nleft press grip\n"
                                       "right position -0.5346 1.0 -0.5\n"
                                       "frame 30\nright position -0.3484 1.0 -0.5\n"
                                       "frame 40\nright axis 0 -0.9 0\nright press pad\n"  // West
                                       "frame 45\nright release pad\nright axis 0 0 0\n"
                                       "frame 50\nwait-file \"" + dir + "/refused\"\n"
                                       "frame 75\nwait-file \"" + dir + "/seen\"\n"
                                       // Off every part, then back on the section's edge.
                                       "frame 80\nright position -0.5346 3.0 -0.5\n"
                                       "frame 100\nright position -0.5346 1.0 -0.5\n";
  ServerProcess server;
  std::string error;
  ASSERT_TRUE(server.start({"--scene", "Parts:1", "--journal", journal, "--fault", "refuse=DeletePlaneSection"}, error))
      << error;
  auto env = environment("35,70,160");
  env["QUONIX_VRSIM_EXIT_AFTER"] = "160";
  Program program({"127.0.0.1", std::to_string(server.port())}, env);
  ASSERT_TRUE(program.started());
  const std::string said = "Error: The server refused DeletePlaneSection: the server refused DeletePlaneSection";
  ASSERT_TRUE(waitUntil([&] { return program.err().find(said) != std::string::npos || program.poll(); }, 150))
      << program.err();
  ASSERT_NE(program.err().find(said), std::string::npos) << program.err();
  std::ofstream(dir + "/refused") << "go\n";
  ASSERT_TRUE(waitForFile(eyeFile(70, "left"), program, 150)) << program.err();
  // Up to here the server was asked for nothing after the deletion: it sent no new scene.
  size_t deletes = 0, afterDelete = 0;
  for (const Command& c : readJournal(journal)) {
    if (c.name == "DeletePlaneSection") ++deletes;
    else if (deletes && c.name.compare(0, 1, ":") != 0) ++afterDelete;
  }
  EXPECT_EQ(deletes, 1u);
  EXPECT_EQ(afterDelete, 0u);
  std::ofstream(dir + "/seen") << "go\n";
  ASSERT_TRUE(waitForFile(eyeFile(160, "right"), program, 150)) << program.err();
  ASSERT_TRUE(program.wait()) << program.err();

  for (const char* side : {"left", "right"}) {
    SCOPED_TRACE(side);
    // Before the press: the widget, no message. After the refusal: the widget again, in the same
    // place, and the reason below the middle of the view.
    const QImage before = eye(35, side), after = eye(70, side);
    EXPECT_GT(highlightPixels(before), 1000);
    EXPECT_GT(highlightPixels(after), 1000) << "the widget did not come back";
    EXPECT_NEAR(highlightCentreX(after), highlightCentreX(before), 3.0);
    EXPECT_LT(messagePixels(before), 20);
    EXPECT_GT(messagePixels(after), 80) << "the reason is not shown in the headset";
  }

  size_t highlightsAfter = 0;
  deletes = 0;
  for (const Command& c : readJournal(journal)) {
    if (c.name == "DeletePlaneSection") ++deletes;
    std::vector<std::string> names;
    if (deletes && c.name == "HighlightParts" && c.arguments.get("Parts", names) &&
        names == std::vector<std::string>{"PlaneSection 1"})
      ++highlightsAfter;
  }
  EXPECT_EQ(deletes, 1u);
  EXPECT_GE(highlightsAfter, 1u) << "the section was not picked again";
  EXPECT_TRUE(program.exitedNormally()) << program.err();
}

// Two users on one server scene, A pointing into the plane section and B at the point part:
// each sees the widget of their own pick (not the other's) in every capture of a span of more
// than two seconds, and the server is asked for each user's highlight once.
TEST_F(PartWidgetProgram, TwoUsersEachSeeTheirOwnPartsWidgetSteadily) {
  const std::string hold = "left position -0.8 0.7 0\nleft press grip\n";
  const std::string gate = "frame 50\nwait-file \"" + dir + "/go\"\n";
  // A picks the section at its edge, then points into its widget (which keeps the pick); B
  // points at the point part from the start. The span: frames 110 to 260, 2.5 s at 60 a second.
  std::ofstream(dir + "/a.txt") << "rate 60\n" << hold << "right position -0.5346 1.0 -0.5\n"
                                << "frame 30\nright position -0.3484 1.0 -0.5\n" << gate;
  std::ofstream(dir + "/b.txt") << "rate 60\n" << hold << "right position -0.9069 1.4654 -0.5\n" << gate;
  std::string frames;
  std::vector<int> span;
  for (int f = 110; f <= 260; f += 10) {
    span.push_back(f);
    frames += (frames.empty() ? "" : ",") + std::to_string(f);
  }
  ServerProcess server;
  std::string error;
  ASSERT_TRUE(server.start({"--scene", "Parts:1", "--journal", journal}, error)) << error;
  auto run = [&](const std::string& name) {
    auto env = headsetEnvironment(dir, base, dir + "/eyes-" + name, frames);
    env["XDG_CONFIG_HOME"] = dir + "/settings-" + name;
    env["QUONIX_VRSIM_SCRIPT"] = dir + "/" + name + ".txt";
    env["QUONIX_VRSIM_EXIT_AFTER"] = "270";
    return env;
  };
  Program a({"127.0.0.1", std::to_string(server.port())}, run("a"));
  Program b({"127.0.0.1", std::to_string(server.port())}, run("b"));
  ASSERT_TRUE(a.started());
  ASSERT_TRUE(b.started());

  // The span begins once both picks have reached the server.
  auto highlightsOf = [&](const std::string& part) {
    std::set<std::string> connections;
    for (const Command& c : readJournal(journal)) {
      std::vector<std::string> names;
      if (c.name == "HighlightParts" && c.arguments.get("Parts", names) && names == std::vector<std::string>{part})
        connections.insert(c.connection);
    }
    return connections;
  };
  ASSERT_TRUE(waitUntil([&] { return !highlightsOf("PlaneSection 1").empty() && !highlightsOf("PointPart 1").empty(); },
                        120))
      << a.err() << b.err();
  const std::string connectionA = *highlightsOf("PlaneSection 1").begin();
  const std::string connectionB = *highlightsOf("PointPart 1").begin();
  ASSERT_NE(connectionA, connectionB);
  std::ofstream(dir + "/go") << "go\n";
  for (Program* p : {&a, &b}) {
    ASSERT_TRUE(waitForFile(dir + (p == &a ? "/eyes-a" : "/eyes-b") + "/frame-000260-right.png", *p, 150)) << p->err();
    ASSERT_TRUE(p->wait()) << p->err();
    EXPECT_TRUE(p->exitedNormally()) << p->err();
  }

  // Each capture of the span shows the user's own widget, in the same place throughout: the
  // section's square at A, the point part's sphere at B, which lie far apart.
  auto eyeOf = [&](const std::string& name, int frame, const char* side) {
    char file[64];
    std::snprintf(file, sizeof file, "/frame-%06d-%s.png", frame, side);
    return QImage(QString::fromStdString(dir + "/eyes-" + name + file));
  };
  for (const char* side : {"left", "right"}) {
    const double firstA = highlightCentreX(eyeOf("a", span.front(), side));
    const double firstB = highlightCentreX(eyeOf("b", span.front(), side));
    EXPECT_GT(std::abs(firstA - firstB), 40.0) << side << ": the widgets seen at A and at B lie together";
    for (int frame : span) {
      SCOPED_TRACE(std::string(side) + " frame " + std::to_string(frame));
      const QImage atA = eyeOf("a", frame, side), atB = eyeOf("b", frame, side);
      ASSERT_FALSE(atA.isNull());
      ASSERT_FALSE(atB.isNull());
      EXPECT_GT(highlightPixels(atA), 1000);
      EXPECT_GT(highlightPixels(atB), 100);
      EXPECT_NEAR(highlightCentreX(atA), firstA, 3.0);
      EXPECT_NEAR(highlightCentreX(atB), firstB, 3.0);
    }
  }

  // One highlight per pick change: each user changed the pick once, so the server was asked
  // once by each, and for nothing else while both held their picks.
  std::map<std::string, std::vector<std::vector<std::string>>> asked;
  for (const Command& c : readJournal(journal)) {
    std::vector<std::string> names;
    if (c.name == "HighlightParts" && c.arguments.get("Parts", names)) asked[c.connection].push_back(names);
  }
  EXPECT_EQ(asked.size(), 2u);
  EXPECT_EQ(asked[connectionA], std::vector<std::vector<std::string>>{{"PlaneSection 1"}});
  EXPECT_EQ(asked[connectionB], std::vector<std::vector<std::string>>{{"PointPart 1"}});
}
