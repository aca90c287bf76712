// The served scenes' parts: the part model's commands, and their changes reaching every viewer.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "Error.h"
#include "PartModel.h"
#include "SceneLibrary.h"
#include "ServerConnection.h"
#include "ServerNotification.h"
#include "ServerProcess.h"
#include "ServerTestSupport.h"

namespace {

Properties generatedFrame() {
  SceneLibrary library;
  library.addGenerated("Alpha", 2);
  return library.scenes().front().frames.front();
}

PartModel generatedModel() {
  PartModel model;
  model.readRecord(generatedFrame());
  return model;
}

std::vector<std::string> namesOf(const PartModel& model) {
  std::vector<std::string> out;
  for (const ServedPart& p : model.parts()) out.push_back(p.name);
  return out;
}

Properties args(std::vector<std::pair<const char*, std::vector<double>>> vectors,
                std::vector<std::pair<const char*, std::string>> strings) {
  Properties a;
  for (auto& v : vectors) a.set(v.first, v.second);
  for (auto& s : strings) a.set(s.first, s.second);
  return a;
}

// Connects both sockets and opens the server's first scene; its download has come.
void openFirstScene(ServerConnection& c, int port) {
  Properties reply, open;
  ASSERT_TRUE(c.createCommandSocket("127.0.0.1", port, reply));
  ASSERT_TRUE(c.createNotifySocket("127.0.0.1", port)) << c.getLastError();
  open.set("ViewObject", "SceneCanvas_1");
  ASSERT_TRUE(c.sendCommand("ViewObject.openView", open, reply));
  ServerNotification download;
  ASSERT_TRUE(c.notifications().waitPop(download, 5000));
}

Properties partBlock(const Properties& record, const std::string& name) {
  return record.getProperties("FrameContent").getProperties("drawables").getProperties(name);
}

}  // namespace

TEST(PartModel, GeneratedScenesHoldOnePartOfEachKindDrawnInEveryFrame) {
  PartModel model = generatedModel();
  EXPECT_EQ(namesOf(model),
            (std::vector<std::string>{"PointPart 1", "LinePart 1", "PlaneSection 1", "PlaneProbePart 1"}));
  const ServedPart* section = model.find("PlaneSection 1");
  ASSERT_NE(section, nullptr);
  EXPECT_EQ(section->type, 3);
  EXPECT_EQ(section->p[1], (std::array<double, 3>{0.0, 0.0, 1.0}));
  SceneLibrary library;
  library.addGenerated("Alpha", 2);
  const Properties frame = model.apply(library.scenes().front().frames.back());
  EXPECT_EQ(partBlock(frame, "LinePart 1").getString("part"), "LinePart");
  EXPECT_TRUE(partBlock(frame, "square").hasName("data"));
}

TEST(PartModel, HighlightDeleteCloneAndMove) {
  PartModel model = generatedModel();
  bool changed = false;
  // A connection's highlight: the named parts, and only those.
  std::set<std::string> shown;
  Properties highlight;
  highlight.set("Parts", std::vector<std::string>{"PlaneSection 1"});
  EXPECT_EQ(model.highlight(highlight, shown, changed), "");
  EXPECT_TRUE(changed);
  EXPECT_EQ(shown, std::set<std::string>{"PlaneSection 1"});
  const std::map<std::string, std::vector<std::string>> by = {{"PlaneSection 1", {"7", "9"}}};
  const Properties section = partBlock(model.apply(generatedFrame(), &by, false), "PlaneSection 1");
  std::vector<std::string> connections;
  EXPECT_TRUE(section.get("highlightedBy", connections));
  EXPECT_EQ(connections, (std::vector<std::string>{"7", "9"}));
  EXPECT_FALSE(section.getProperties("base").getBool("highlighted"));
  EXPECT_FALSE(partBlock(model.apply(generatedFrame(), &by), "PointPart 1").hasName("highlightedBy"));
  EXPECT_EQ(model.highlight(highlight, shown, changed), "");
  EXPECT_FALSE(changed);  // the same highlight again: nothing to send
  // An empty name drops every highlight; an unknown one is refused and changes nothing.
  highlight.set("Parts", std::vector<std::string>{""});
  EXPECT_EQ(model.highlight(highlight, shown, changed), "");
  EXPECT_TRUE(changed);
  EXPECT_TRUE(shown.empty());
  highlight.set("Parts", std::vector<std::string>{"PointPart 1", "Wing"});
  EXPECT_NE(model.highlight(highlight, shown, changed).find("'Wing'"), std::string::npos);
  EXPECT_TRUE(shown.empty());

  // Clones are numbered after the highest number of their type and take the new geometry.
  std::string created;
  EXPECT_EQ(model.clone("ClonePlaneSection",
                        args({{"Origin", {1, 2, 3}}, {"Orientation", {0, 1, 0}}}, {{"PlaneSection", "PlaneSection 1"}}),
                        created),
            "");
  EXPECT_EQ(created, "PlaneSection 2");
  EXPECT_EQ(model.find("PlaneSection 2")->p[0], (std::array<double, 3>{1, 2, 3}));
  EXPECT_EQ(model.find("PlaneSection 2")->block.getReal("size"), 0.8);
  // Refused: a missing vector, a zero normal, a source of another type, an unknown source.
  EXPECT_NE(model.clone("ClonePointPart", args({}, {{"PointPart", "PointPart 1"}}), created), "");
  EXPECT_NE(model.clone("ClonePlaneSection",
                        args({{"Origin", {1, 2, 3}}, {"Orientation", {0, 0, 0}}}, {{"PlaneSection", "PlaneSection 1"}}),
                        created),
            "");
  EXPECT_NE(model.clone("ClonePointPart", args({{"Position", {0, 0, 0}}}, {{"PointPart", "LinePart 1"}}), created), "");
  EXPECT_NE(model.clone("ClonePointPart", args({{"Position", {0, 0, 0}}}, {{"PointPart", "PointPart 9"}}), created), "");
  EXPECT_EQ(model.parts().size(), 5u);

  // "DeletePointPart" takes point, line and probe parts; "DeletePlaneSection" plane sections only.
  EXPECT_NE(model.remove("DeletePointPart", args({}, {{"Part", "PlaneSection 1"}}), changed), "");
  EXPECT_NE(model.remove("DeletePlaneSection", args({}, {{"Part", "LinePart 1"}}), changed), "");
  for (const char* name : {"PointPart 1", "LinePart 1", "PlaneProbePart 1"})
    EXPECT_EQ(model.remove("DeletePointPart", args({}, {{"Part", name}}), changed), "") << name;
  EXPECT_EQ(model.remove("DeletePlaneSection", args({}, {{"Part", "PlaneSection 1"}}), changed), "");
  EXPECT_EQ(namesOf(model), (std::vector<std::string>{"PlaneSection 2"}));
  EXPECT_EQ(model.clone("ClonePlaneSection",
                        args({{"Origin", {0, 0, 0}}, {"Orientation", {1, 0, 0}}}, {{"PlaneSection", "PlaneSection 2"}}),
                        created),
            "");
  EXPECT_EQ(created, "PlaneSection 3");

  EXPECT_EQ(model.move(args({{"Origin", {5, 5, 5}}, {"Orientation", {0, 0, 1}}}, {{"Part", "PlaneSection 3"}}), changed),
            "");
  EXPECT_TRUE(changed);
  EXPECT_EQ(model.find("PlaneSection 3")->p[0], (std::array<double, 3>{5, 5, 5}));
}

// A copy is numbered one above the highest number in use, however many digits that has.
TEST(PartModel, CopyNumbersCountOnPastEveryIntegerType) {
  const std::pair<const char*, const char*> cases[] = {
      {"PointPart 99999999999999999999", "PointPart 100000000000000000000"},
      {"PointPart 9223372036854775807", "PointPart 9223372036854775808"},
      {"PointPart 18446744073709551615", "PointPart 18446744073709551616"},
      {"PointPart 0041", "PointPart 42"},
      {"PointPart -5", "PointPart 1"},
      {"PointPart 12abc", "PointPart 1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.first);
    Properties block;
    block.set("type", "Part");
    block.set("part", "point");
    block.set("name", c.first);
    block.set("position", std::vector<double>{0, 0, 0});
    Properties drawables, content, record;
    drawables.set("p", block);
    content.set("drawables", drawables);
    record.set("FrameContent", content);
    PartModel model;
    model.readRecord(record);
    ASSERT_EQ(model.parts().size(), 1u);
    std::string created;
    EXPECT_EQ(model.clone("ClonePointPart", args({{"Position", {1, 1, 1}}}, {{"PointPart", c.first}}), created), "");
    EXPECT_EQ(created, c.second);
  }
}

TEST(PartServer, PartChangesReachEveryViewerOfTheScene) {
  TempDir dir;
  const std::string journal = dir.file("journal.txt");
  ServerProcess server;
  std::string error;
  ASSERT_TRUE(server.start({"--scene", "Alpha:2", "--journal", journal}, error)) << error;
  ServerConnection viewers[2];
  for (ServerConnection& c : viewers) ASSERT_NO_FATAL_FAILURE(openFirstScene(c, server.port()));
  Properties reply;
  Properties clone = args({{"Origin", {0, 1, 0}}, {"Orientation", {0, 1, 0}}},
                          {{"Scene", "Alpha"}, {"PlaneSection", "PlaneSection 1"}});
  ASSERT_TRUE(viewers[0].sendCommand("ClonePlaneSection", clone, reply)) << Error::getMessage(reply);
  EXPECT_EQ(reply.getString("Part"), "PlaneSection 2");
  Properties drag = args({{"Position", {0.25, 0.5, 0.75}}}, {{"Scene", "SceneCanvas_1"}, {"Part", "PointPart 1"}});
  ASSERT_TRUE(viewers[0].sendCommand("NotifyZeltSceneGraphNode", drag, reply)) << Error::getMessage(reply);
  for (ServerConnection& c : viewers) {
    ServerNotification cloned, moved;
    ASSERT_TRUE(c.notifications().waitPop(cloned, 5000));
    ASSERT_TRUE(c.notifications().waitPop(moved, 5000));
    EXPECT_EQ(cloned.name, ServerNotification::SCENE_UPDATE);
    EXPECT_EQ(moved.position(), cloned.position() + 1);
    const Properties record = moved.data.getProperties(ServerNotification::KEY_RECORD);
    EXPECT_EQ(partBlock(record, "PlaneSection 2").getString("part"), "PlaneSection");
    std::vector<double> position;
    partBlock(record, "PointPart 1").get("position", position);
    EXPECT_EQ(position, (std::vector<double>{0.25, 0.5, 0.75}));
  }
  // A refused command changes nothing and pushes nothing.
  Properties wrong = args({}, {{"Scene", "Alpha"}, {"Part", "PlaneSection 1"}});
  EXPECT_FALSE(viewers[1].sendCommand("DeletePointPart", wrong, reply));
  ServerNotification none;
  EXPECT_FALSE(viewers[1].notifications().waitPop(none, 300));
  const auto lines = linesNamed(readJournal(journal), "ClonePlaneSection");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].arguments, clone);
}

// Each connection has its own highlight: every viewer's scene names, per part, the connections
// that highlight it, and a part another connection highlights can be highlighted too.
TEST(PartServer, EveryViewerLearnsWhichConnectionHighlightsWhichPart) {
  ServerProcess server;
  std::string error;
  ASSERT_TRUE(server.start({"--scene", "Alpha:2"}, error)) << error;
  ServerConnection viewers[2];
  for (ServerConnection& c : viewers) ASSERT_NO_FATAL_FAILURE(openFirstScene(c, server.port()));
  const std::string id0 = std::to_string(viewers[0].getConnectionId());
  const std::string id1 = std::to_string(viewers[1].getConnectionId());
  auto highlight = [&](ServerConnection& c, const std::string& part) {
    Properties a, reply;
    a.set("Scene", "Alpha");
    a.set("Parts", std::vector<std::string>{part});
    return c.sendCommand("HighlightParts", a, reply);
  };
  // Part name -> the connections that highlight it, as both viewers' next scene has it.
  using Highlights = std::map<std::string, std::vector<std::string>>;
  auto next = [&](Highlights& seen) {
    Highlights at[2];
    for (int i = 0; i < 2; ++i) {
      ServerNotification n;
      if (!viewers[i].notifications().waitPop(n, 5000)) return false;
      const Properties drawables = n.data.getProperties(ServerNotification::KEY_RECORD)
                                       .getProperties("FrameContent")
                                       .getProperties("drawables");
      for (const std::string& name : drawables.names()) {
        const Properties block = drawables.getProperties(name);
        EXPECT_FALSE(block.getProperties("base").getBool("highlighted")) << name;
        std::vector<std::string> by;
        if (block.get("highlightedBy", by)) at[i][name] = by;
      }
    }
    EXPECT_EQ(at[0], at[1]) << "the viewers see different highlights";
    seen = at[0];
    return true;
  };
  Highlights seen;
  ASSERT_TRUE(highlight(viewers[0], "PlaneSection 1"));
  ASSERT_TRUE(next(seen));
  EXPECT_EQ(seen, (Highlights{{"PlaneSection 1", {id0}}}));
  ASSERT_TRUE(highlight(viewers[1], "PointPart 1"));
  ASSERT_TRUE(next(seen));
  EXPECT_EQ(seen, (Highlights{{"PlaneSection 1", {id0}}, {"PointPart 1", {id1}}}));
  // The same highlight again changes nothing and pushes nothing.
  ASSERT_TRUE(highlight(viewers[1], "PointPart 1"));
  ServerNotification none;
  EXPECT_FALSE(viewers[1].notifications().waitPop(none, 300));
  // The part the other highlights can be highlighted here too.
  ASSERT_TRUE(highlight(viewers[0], "PointPart 1"));
  ASSERT_TRUE(next(seen));
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ((std::set<std::string>(seen["PointPart 1"].begin(), seen["PointPart 1"].end())),
            (std::set<std::string>{id0, id1}));

  // A deleted part leaves every highlight: a copy that takes its name starts unhighlighted.
  Properties reply;
  Properties cloneLine =
      args({{"Point1", {0, 0, 0}}, {"Point2", {1, 0, 0}}}, {{"Scene", "Alpha"}, {"LinePart", "LinePart 1"}});
  ASSERT_TRUE(viewers[0].sendCommand("CloneLinePart", cloneLine, reply)) << Error::getMessage(reply);
  ASSERT_EQ(reply.getString("Part"), "LinePart 2");
  ASSERT_TRUE(next(seen));
  ASSERT_TRUE(highlight(viewers[0], "LinePart 2"));
  ASSERT_TRUE(next(seen));
  EXPECT_EQ(seen["LinePart 2"], std::vector<std::string>{id0});
  Properties deletion = args({}, {{"Scene", "Alpha"}, {"Part", "LinePart 2"}});
  ASSERT_TRUE(viewers[1].sendCommand("DeletePointPart", deletion, reply)) << Error::getMessage(reply);
  ASSERT_TRUE(next(seen));
  ASSERT_TRUE(viewers[1].sendCommand("CloneLinePart", cloneLine, reply)) << Error::getMessage(reply);
  ASSERT_EQ(reply.getString("Part"), "LinePart 2");
  ASSERT_TRUE(next(seen));
  EXPECT_EQ(seen, (Highlights{{"PointPart 1", seen["PointPart 1"]}}));
}
