// The real quonix-server over loopback: replies, journal, notifications, live mode, shut-down.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "Error.h"
#include "FrameChannel.h"
#include "ServerProtocol.h"
#include "ServerConnection.h"
#include "ServerNotification.h"
#include "ServerProcess.h"
#include "ServerTestSupport.h"

namespace {

const char* const kQuotedName = "Beta \"quoted\" \\ \xC3\xA9";

std::string sceneKey(ServerConnection& c, const std::string& name) {
  Properties args, reply;
  args.set("SceneName", name);
  c.sendCommand("SceneGraphExportImport.getObjectKeyFromSceneName", args, reply);
  return reply.getString("SceneKey");
}

Properties viewObject(const std::string& key) {
  Properties p;
  p.set("ViewObject", key);
  return p;
}

// Takes every notification that arrives within waitMs of the previous one (a viewer that gets
// updates without pause would never end it).
std::vector<ServerNotification> drain(ServerConnection& c, int waitMs) {
  std::vector<ServerNotification> out;
  ServerNotification n;
  while (c.notifications().waitPop(n, waitMs)) out.push_back(n);
  return out;
}

}  // namespace

class ServerTest : public ::testing::Test {
 protected:
  void startServer(std::vector<std::string> args) {
    args.push_back("--journal");
    args.push_back(journal);
    std::string error;
    ASSERT_TRUE(server.start(args, error)) << error;
  }
  void connect(ServerConnection& c, bool notify = false) {
    Properties reply;
    ASSERT_TRUE(c.createCommandSocket("127.0.0.1", server.port(), reply)) << reply.getString("message");
    if (notify) {
      ASSERT_TRUE(c.createNotifySocket("127.0.0.1", server.port())) << c.getLastError();
    }
  }

  TempDir dir;
  std::string journal = dir.file("journal.txt");
  ServerProcess server;
};

TEST_F(ServerTest, AnswersEveryCommandAndJournalsItsArguments) {
  startServer({"--scene", "Alpha:3", "--scene", kQuotedName});
  ServerConnection c;
  connect(c, true);
  Properties reply;

  struct Sent {
    std::string name;
    Properties args;
    bool noResponse = false;
  };
  std::vector<Sent> sent;
  auto send = [&](const std::string& name, const Properties& args) {
    sent.push_back({name, args});
    return c.sendCommand(name, args, reply);
  };

  ASSERT_TRUE(send("SceneGraphExportImport.getSceneNames", Properties()));
  std::vector<std::string> names;
  ASSERT_TRUE(reply.get("SceneNames", names));
  EXPECT_EQ(names, (std::vector<std::string>{"Alpha", kQuotedName}));

  Properties args;
  args.set("SceneName", "Alpha");
  ASSERT_TRUE(send("SceneGraphExportImport.getObjectKeyFromSceneName", args));
  const std::string key = reply.getString("SceneKey");
  EXPECT_FALSE(key.empty());
  args.set("SceneName", kQuotedName);
  ASSERT_TRUE(send("SceneGraphExportImport.getObjectKeyFromSceneName", args));
  EXPECT_NE(reply.getString("SceneKey"), key);

  // A wrong scene name: the error keys, with the name in the message.
  args.set("SceneName", "Gamma");
  EXPECT_FALSE(send("SceneGraphExportImport.getObjectKeyFromSceneName", args));
  EXPECT_TRUE(reply.hasName(Error::ERROR_TAG));
  EXPECT_NE(reply.getString(Error::MESSAGE_TAG).find("'Gamma'"), std::string::npos);
  EXPECT_FALSE(reply.hasName("SceneKey"));
  EXPECT_FALSE(send("SceneGraphExportImport.getObjectKeyFromSceneName", Properties()));

  ASSERT_TRUE(send("ViewObject.openView", viewObject(key)));
  EXPECT_FALSE(send("ViewObject.openView", viewObject("SceneCanvas_99")));
  EXPECT_TRUE(Error::isError(reply));

  // Opening the view pushed the scene as it stands.
  ServerNotification download;
  ASSERT_TRUE(c.notifications().waitPop(download, 5000));
  EXPECT_EQ(download.name, ServerNotification::SCENE_DOWNLOAD);
  EXPECT_EQ(download.data.getString(ServerNotification::KEY_SCENE_KEY), key);
  EXPECT_EQ(download.data.getString(ServerNotification::KEY_SCENE_NAME), "Alpha");
  EXPECT_EQ(download.position(), 1);
  EXPECT_EQ(download.data.getInt(ServerNotification::KEY_FRAME), 0);
  EXPECT_EQ(download.data.getInt(ServerNotification::KEY_FRAME_COUNT), 3);
  const Properties record = download.data.getProperties(ServerNotification::KEY_RECORD);
  EXPECT_EQ(record.getInt("Frame"), 0);
  EXPECT_EQ(record.getString("CanvasKey"), key);

  EXPECT_TRUE(send("EnableVRMode", Properties()));
  EXPECT_TRUE(send("StartCollaborativeVRServer", Properties()));

  Properties node;
  node.set("Node", "PlaneSection_3");
  node.set("Origin", std::vector<double>{0.5, 0.25, -1});
  EXPECT_TRUE(send("QueueNotifyZeltSceneGraphNode", node));
  node.set("Accumulate", false);
  EXPECT_TRUE(send("NotifyZeltSceneGraphNode", node));

  // Each part-widget command on the generated scene's parts, then on a scene that is not there.
  auto partCommand = [](const char* type, const char* source, std::vector<std::pair<const char*, std::vector<double>>> g) {
    Properties a;
    for (auto& entry : g) a.set(entry.first, entry.second);
    a.set("Scene", "Alpha");
    a.set(type, source);
    return a;
  };
  std::vector<std::pair<std::string, Properties>> partCommands;
  Properties highlight;
  highlight.set("Scene", "Alpha");
  highlight.set("Parts", std::vector<std::string>{"PlaneSection 1"});
  highlight.set("CaptionsEnabled", false);
  highlight.set("HighlightingEnabled", true);
  highlight.set("MaximumCaptions", 0);
  partCommands.push_back({"HighlightParts", highlight});
  partCommands.push_back({"ClonePointPart", partCommand("PointPart", "PointPart 1", {{"Position", {0, 1, 0}}})});
  partCommands.push_back(
      {"CloneLinePart", partCommand("LinePart", "LinePart 1", {{"Point1", {0, 1, 0}}, {"Point2", {1, 1, 0}}})});
  partCommands.push_back({"ClonePlaneSection", partCommand("PlaneSection", "PlaneSection 1",
                                                           {{"Origin", {0, 1, 0}}, {"Orientation", {0, 1, 0}}})});
  partCommands.push_back({"ClonePlaneProbePart", partCommand("PlaneProbePart", "PlaneProbePart 1",
                                                             {{"Point1", {0, 1, 0}}, {"Point2", {1, 1, 0}},
                                                              {"Origin", {0, 0, 0}}})});
  Properties deletion;
  deletion.set("Part", "PointPart 1");
  deletion.set("Scene", "Alpha");
  partCommands.push_back({"DeletePointPart", deletion});
  deletion.set("Part", "PlaneSection 1");
  partCommands.push_back({"DeletePlaneSection", deletion});
  for (auto& command : partCommands) {
    SCOPED_TRACE(command.first);
    EXPECT_TRUE(send(command.first, command.second)) << Error::getMessage(reply);
    command.second.set("Scene", "No such scene");
    EXPECT_FALSE(send(command.first, command.second));
    EXPECT_NE(Error::getMessage(reply).find("No such scene"), std::string::npos);
  }

  EXPECT_FALSE(send("SceneGraphExportImport.selfDestruct", Properties()));
  EXPECT_EQ(Error::getCode(reply), Error::UNKNOWN_COMMAND);
  EXPECT_NE(Error::getMessage(reply).find("selfDestruct"), std::string::npos);

  sent.push_back({"ViewObject.closeView", viewObject(key), true});
  EXPECT_TRUE(c.sendNoResponseCommand("ViewObject.closeView", viewObject(key), reply));
  // Closing a view that is not open is a wrong request.
  EXPECT_FALSE(send("ViewObject.closeView", viewObject(key)));

  // The journal holds every command of this connection, in order, with its arguments.
  std::vector<JournalLine> lines = readJournal(journal);
  std::vector<JournalLine> mine;
  for (const JournalLine& l : lines)
    if (l.connection == c.getConnectionId()) mine.push_back(l);
  ASSERT_EQ(mine.size(), sent.size() + 2);  // + the greetings of both sockets
  EXPECT_EQ(mine[0].name, ":command-socket");
  EXPECT_EQ(mine[1].name, ":notify-socket");
  for (size_t i = 0; i < sent.size(); ++i) {
    SCOPED_TRACE(sent[i].name);
    EXPECT_EQ(mine[i + 2].name, sent[i].name);
    EXPECT_TRUE(mine[i + 2].parsed);
    EXPECT_EQ(mine[i + 2].arguments, sent[i].args);
  }
}

TEST_F(ServerTest, ConnectionValuesAreDistinctAndUseSixtyFourBits) {
  startServer({});
  ServerConnection a, b;
  connect(a);
  connect(b);
  EXPECT_NE(a.getConnectionId(), b.getConnectionId());
  EXPECT_GT(a.getConnectionId(), int64_t(1) << 32);
  // An empty server answers an empty list.
  Properties reply;
  ASSERT_TRUE(a.sendCommand("SceneGraphExportImport.getSceneNames", Properties(), reply));
  std::vector<std::string> names;
  EXPECT_TRUE(reply.get("SceneNames", names));
  EXPECT_TRUE(names.empty());
}

TEST_F(ServerTest, RefusesUnknownGreetingsAndSurvivesGarbage) {
  startServer({"--scene", "A"});
  auto raw = [&] {
    Socket socket;
    std::string error;
    EXPECT_TRUE(socket.connect("127.0.0.1", server.port(), 2000, error)) << error;
    return FrameChannel(std::move(socket));
  };
  auto greet = [&](const Properties& hello) {
    FrameChannel channel = raw();
    std::string error;
    EXPECT_EQ(channel.write(MessageFrame(MessageFrame::Hello, "Hello", hello), 2000, error),
              FrameChannel::Status::Ok);
    MessageFrame welcome;
    EXPECT_EQ(channel.read(welcome, 2000, 2000, error), FrameChannel::Status::Ok) << error;
    return welcome.body;
  };
  // A service this server does not offer (the collaborative one, for instance).
  Properties hello;
  hello.set(ServerProtocol::HELLO_ROLE, "CollaborativeVRServer");
  Properties welcome = greet(hello);
  EXPECT_TRUE(Error::isError(welcome));
  EXPECT_NE(Error::getMessage(welcome).find("no service 'CollaborativeVRServer'"), std::string::npos);
  // A notification socket for a connection that does not exist.
  hello.set(ServerProtocol::HELLO_ROLE, ServerProtocol::ROLE_NOTIFY);
  hello.set(ServerProtocol::HELLO_CONNECTION_ID, int64_t(12345));
  welcome = greet(hello);
  EXPECT_NE(Error::getMessage(welcome).find("no command connection 12345"), std::string::npos);
  // Bytes of another protocol: the server drops that socket and serves the next one.
  FrameChannel junk = raw();
  std::string error;
  junk.writeBytes("GET / HTTP/1.1\r\nHost: x\r\n\r\n", 2000, error);
  MessageFrame ignored;
  EXPECT_EQ(junk.read(ignored, 5000, 5000, error), FrameChannel::Status::Closed);
  ServerConnection c;
  connect(c);
  Properties reply;
  EXPECT_TRUE(c.sendCommand("SceneGraphExportImport.getSceneNames", Properties(), reply));
}

TEST_F(ServerTest, LiveSimulationNotifiesEveryViewerWithPositionsInStep) {
  startServer({"--live", "--frame-interval", "30", "--scene", "Still:1", "--scene", "Anim:4"});
  ServerConnection c0, c1;
  connect(c0, true);
  connect(c1, true);
  const std::string key = sceneKey(c0, "Anim");
  Properties reply;
  ASSERT_TRUE(c0.sendCommand("ViewObject.openView", viewObject(key), reply));
  ASSERT_TRUE(c1.sendCommand("ViewObject.openView", viewObject(key), reply));

  std::vector<ServerNotification> got[2];
  ServerConnection* conns[2] = {&c0, &c1};
  for (int i = 0; i < 2; ++i) {
    ServerNotification n;
    while (got[i].size() < 6 && conns[i]->notifications().waitPop(n, 5000)) got[i].push_back(n);
    ASSERT_EQ(got[i].size(), 6u);
  }
  std::map<int64_t, Properties> seen;
  for (int i = 0; i < 2; ++i) {
    SCOPED_TRACE("connection " + std::to_string(i));
    EXPECT_EQ(got[i][0].name, ServerNotification::SCENE_DOWNLOAD);
    for (size_t k = 0; k < got[i].size(); ++k) {
      const ServerNotification& n = got[i][k];
      if (k > 0) {
        EXPECT_EQ(n.name, ServerNotification::SCENE_UPDATE);
        EXPECT_EQ(n.position(), got[i][k - 1].position() + 1);  // no update skipped
      }
      EXPECT_EQ(n.data.getString(ServerNotification::KEY_SCENE_KEY), key);
      const int frame = n.data.getInt(ServerNotification::KEY_FRAME);
      EXPECT_EQ(frame, int((n.position() - 1) % 4));
      EXPECT_EQ(n.data.getProperties(ServerNotification::KEY_RECORD).getInt("Frame"), frame);
      // The same position carries the same update on both connections.
      auto it = seen.find(n.position());
      if (it != seen.end())
        EXPECT_EQ(it->second, n.data);
      else
        seen[n.position()] = n.data;
    }
  }

  // After closeView the viewer gets nothing more; the other one goes on.
  ASSERT_TRUE(c0.sendNoResponseCommand("ViewObject.closeView", viewObject(key), reply));
  ASSERT_TRUE(c0.sendCommand("EnableVRMode", Properties(), reply));  // the close has been handled
  drain(c0, 150);
  EXPECT_TRUE(drain(c0, 200).empty());
  ServerNotification n;
  EXPECT_TRUE(c1.notifications().waitPop(n, 5000));
}

TEST_F(ServerTest, ServesEveryFrameSetOfASceneFileWithItsDataInline) {
  // A poly-data file beside the scene: the viewer gets its content, not its name.
  std::ofstream(dir.file("tri.vtp")) << R"(<?xml version="1.0"?>
<VTKFile type="PolyData" version="0.1" byte_order="LittleEndian">
  <PolyData><Piece NumberOfPoints="3" NumberOfPolys="1">
    <Points><DataArray type="Float32" NumberOfComponents="3" format="ascii">0 0 0 1 0 0 0 1 0</DataArray></Points>
    <Polys>
      <DataArray type="Int32" Name="connectivity" format="ascii">0 1 2</DataArray>
      <DataArray type="Int32" Name="offsets" format="ascii">3</DataArray>
    </Polys>
  </Piece></PolyData>
</VTKFile>
)";
  const std::string file = dir.file("wing flow.sce");
  std::ofstream(file) << R"(format = quonix-scene
version = 1
canvas { title = "Wing" }
frameSets {
  a { title = "Pressure \"p\"", frames {
        f0 { drawables { wing { type = Surface, data = "tri.vtp" } } }
        f1 { drawables { ball { type = Sphere, center = [0, 0, 0], radius = 1 } } } } }
  b { title = "Empty", frames { } }
  c { title = "Ball", frames { f0 { drawables { ball { type = Sphere, center = [1, 0, 0], radius = 1 } } } } }
}
)";
  startServer({file});
  ServerConnection c;
  connect(c, true);
  Properties reply;
  ASSERT_TRUE(c.sendCommand("SceneGraphExportImport.getSceneNames", Properties(), reply));
  std::vector<std::string> names;
  reply.get("SceneNames", names);
  ASSERT_EQ(names, (std::vector<std::string>{"Pressure \"p\"", "Ball"}));  // a set without frames is left out
  const std::string key = sceneKey(c, "Pressure \"p\"");
  EXPECT_EQ(key, "SceneCanvas_1");
  EXPECT_EQ(sceneKey(c, "Ball"), "SceneCanvas_2");
  ASSERT_TRUE(c.sendCommand("ViewObject.openView", viewObject(key), reply));
  ServerNotification n;
  ASSERT_TRUE(c.notifications().waitPop(n, 5000));
  EXPECT_EQ(n.data.getInt(ServerNotification::KEY_FRAME_COUNT), 2);
  const Properties record = n.data.getProperties(ServerNotification::KEY_RECORD);
  EXPECT_EQ(record.getString("CanvasKey"), key);
  EXPECT_EQ(record.getProperties("Canvas").getString("title"), "Wing");
  const Properties wing = record.getProperties("FrameContent").getProperties("drawables").getProperties("wing");
  EXPECT_EQ(wing.typeOf("data"), Properties::Type::Nested);
  std::vector<double> points;
  ASSERT_TRUE(wing.getProperties("data").get("points", points));
  EXPECT_EQ(points.size(), 9u);
}

TEST_F(ServerTest, RefusesASceneFileWithAFaultyFrame) {
  const std::string file = dir.file("broken.sce");
  std::ofstream(file) << "format = quonix-scene\nversion = 1\nframeSets { a { frames { f { drawables {"
                         " w { type = Surface, data = \"missing.vtp\" } } } } } }\n";
  std::string output;
  EXPECT_EQ(ServerProcess::runToEnd({"--port", "0", file}, output), 2);
}

TEST_F(ServerTest, StopsCleanlyOnSigtermAndSigint) {
  for (int signal : {SIGTERM, SIGINT}) {
    SCOPED_TRACE(signal);
    ServerProcess process;
    std::string error;
    ASSERT_TRUE(process.start({"--live", "--frame-interval", "20", "--scene", "A:2"}, error)) << error;
    ServerConnection c;
    Properties reply;
    ASSERT_TRUE(c.createCommandSocket("127.0.0.1", process.port(), reply));
    ASSERT_TRUE(c.createNotifySocket("127.0.0.1", process.port()));
    ASSERT_TRUE(c.sendCommand("ViewObject.openView", viewObject(sceneKey(c, "A")), reply));
    EXPECT_EQ(process.stop(signal), 0);
    EXPECT_NE(process.output().find("stopped"), std::string::npos);
    // The client learns that the server went away.
    ServerNotification n;
    bool lost = false;
    while (!lost && c.notifications().waitPop(n, 5000)) lost = n.isConnectionLost();
    EXPECT_TRUE(lost);
    EXPECT_FALSE(c.sendCommand("EnableVRMode", Properties(), reply));
    EXPECT_TRUE(Error::isError(reply));
  }
}

TEST(ServerCommandLine, BadArgumentsExitWithUsageAndCodeTwo) {
  struct Case {
    std::vector<std::string> args;
    int code;
    const char* stdoutHolds;
  } cases[] = {
      {{"--help"}, 0, "Usage: quonix-server"},
      {{"--port", "http"}, 2, ""},
      {{"--port", "70000"}, 2, ""},
      {{"--frame-interval"}, 2, ""},
      {{"--fault", "explode=EnableVRMode"}, 2, ""},
      {{"--fault", "die=EnableVRMode@0"}, 2, ""},
      {{"--bogus"}, 2, ""},
      {{"--port", "0", "no-such-file.sce"}, 2, ""},
      {{"--host", "not-an-address", "--port", "0"}, 2, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0] + (c.args.size() > 1 ? " " + c.args[1] : ""));
    std::string output;
    EXPECT_EQ(ServerProcess::runToEnd(c.args, output), c.code);
    EXPECT_NE(output.find(c.stdoutHolds), std::string::npos) << output;
  }
}
