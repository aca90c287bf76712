// Each client error path produced by a real failure of the real server (--fault rules).
#include <gtest/gtest.h>

#include <chrono>

#include "Error.h"
#include "ServerConnection.h"
#include "ServerNotification.h"
#include "ServerProcess.h"
#include "ServerTestSupport.h"

namespace {

const char* const kNames = "SceneGraphExportImport.getSceneNames";

Properties viewObject(const std::string& key) {
  Properties p;
  p.set("ViewObject", key);
  return p;
}

bool connect(ServerConnection& c, const ServerProcess& server, Properties& reply) {
  c.setTimeout(2000);
  return c.createCommandSocket("127.0.0.1", server.port(), reply);
}

}  // namespace

class ServerFaultTest : public ::testing::Test {
 protected:
  void start(std::vector<std::string> args) {
    args.push_back("--journal");
    args.push_back(journal);
    args.push_back("--scene");
    args.push_back("Alpha:3");
    std::string error;
    ASSERT_TRUE(server.start(args, error)) << error;
    Properties reply;
    ASSERT_TRUE(connect(client, server, reply)) << reply.getString("message");
  }
  // A fresh connection still gets its answer: the server survived.
  void expectServerAlive() {
    ServerConnection fresh;
    Properties reply;
    ASSERT_TRUE(connect(fresh, server, reply)) << reply.getString("message");
    EXPECT_TRUE(fresh.sendCommand(kNames, Properties(), reply)) << Error::getMessage(reply);
  }

  TempDir dir;
  std::string journal = dir.file("journal.txt");
  ServerProcess server;
  ServerConnection client;
};

TEST_F(ServerFaultTest, RefusedSceneKeyCarriesBothErrorKeys) {
  start({"--fault", "refuse=SceneGraphExportImport.getObjectKeyFromSceneName"});
  Properties args, reply;
  args.set("SceneName", "Alpha");
  EXPECT_FALSE(client.sendCommand("SceneGraphExportImport.getObjectKeyFromSceneName", args, reply));
  EXPECT_TRUE(reply.hasName(Error::ERROR_TAG));
  EXPECT_FALSE(reply.getString(Error::MESSAGE_TAG).empty());
  EXPECT_FALSE(reply.hasName("SceneKey"));
}

TEST_F(ServerFaultTest, RefusedCollaborativeServiceGivesAFalseResult) {
  start({"--fault", "refuse=StartCollaborativeVRServer"});
  Properties reply;
  EXPECT_FALSE(client.sendCommand("StartCollaborativeVRServer", Properties(), reply));
}

TEST_F(ServerFaultTest, SceneNamesOmittedTwiceThenAnswered) {
  start({"--fault", std::string("omit=") + kNames + "#2"});
  Properties reply;
  for (int i = 0; i < 2; ++i) {
    EXPECT_TRUE(client.sendCommand(kNames, Properties(), reply));
    EXPECT_FALSE(reply.hasName("SceneNames"));
  }
  EXPECT_TRUE(client.sendCommand(kNames, Properties(), reply));
  EXPECT_TRUE(reply.hasName("SceneNames"));
}

TEST_F(ServerFaultTest, ServerThatNeverAnswersGivesATimeOut) {
  start({"--fault", std::string("silent=") + kNames});
  client.setTimeout(200);
  Properties reply;
  EXPECT_FALSE(client.sendCommand(kNames, Properties(), reply));
  EXPECT_EQ(Error::getCode(reply), Error::TIMED_OUT);
  EXPECT_EQ(linesNamed(readJournal(journal), kNames).size(), 1u);  // it was received, just not answered
}

TEST_F(ServerFaultTest, ServerDyingOnACommandIsALostConnection) {
  start({"--fault", "die=*@3"});
  Properties reply;
  EXPECT_TRUE(client.sendCommand(kNames, Properties(), reply));
  EXPECT_TRUE(client.sendCommand("EnableVRMode", Properties(), reply));
  EXPECT_FALSE(client.sendCommand("EnableVRMode", Properties(), reply));
  EXPECT_EQ(Error::getCode(reply), Error::CONNECTION_LOST);
  EXPECT_EQ(server.wait(), 3);
  EXPECT_EQ(linesNamed(readJournal(journal), "EnableVRMode").size(), 2u);
  // Nothing listens any more: a new connection reports why.
  ServerConnection late;
  late.setNumTries(2);
  late.setRetryDelay(5);
  EXPECT_FALSE(connect(late, server, reply));
  EXPECT_NE(reply.getString("message").find("refused"), std::string::npos) << reply.getString("message");
}

TEST_F(ServerFaultTest, ServerKilledMidMessageIsATruncatedReply) {
  start({"--fault", "truncate=ViewObject.openView"});
  Properties reply;
  EXPECT_FALSE(client.sendCommand("ViewObject.openView", viewObject("SceneCanvas_1"), reply));
  EXPECT_EQ(Error::getCode(reply), Error::PROTOCOL_ERROR);
  EXPECT_NE(Error::getMessage(reply).find("truncated"), std::string::npos) << Error::getMessage(reply);
  EXPECT_EQ(server.wait(), 3);
}

TEST_F(ServerFaultTest, MalformedRepliesBreakOnlyThatConnection) {
  struct Case {
    const char* mode;
    const char* expected;
  } cases[] = {{"garbage", "bad magic"},
               {"oversized", "oversized message"},
               {"badversion", "unsupported protocol version 99"},
               {"badbody", "malformed message"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    ServerProcess process;
    std::string error;
    ASSERT_TRUE(process.start({"--fault", std::string(c.mode) + "=" + kNames + "#1"}, error)) << error;
    ServerConnection conn;
    Properties reply;
    ASSERT_TRUE(connect(conn, process, reply));
    EXPECT_FALSE(conn.sendCommand(kNames, Properties(), reply));
    EXPECT_EQ(Error::getCode(reply), Error::PROTOCOL_ERROR);
    EXPECT_NE(Error::getMessage(reply).find(c.expected), std::string::npos) << Error::getMessage(reply);
    EXPECT_TRUE(conn.isBroken());
    // Reconnecting works: the server is unharmed and the fault was only for the first request.
    ASSERT_TRUE(connect(conn, process, reply));
    EXPECT_TRUE(conn.sendCommand(kNames, Properties(), reply)) << Error::getMessage(reply);
    EXPECT_TRUE(process.isRunning());
  }
}

TEST_F(ServerFaultTest, RefusedSocketsReportWhy) {
  start({"--fault", "refuse=:command-socket@2#1", "--fault", "refuse=:notify-socket"});
  ServerConnection second;
  Properties reply;
  EXPECT_FALSE(connect(second, server, reply));
  EXPECT_EQ(reply.getString("message"), "the server accepts no more VR clients");
  EXPECT_FALSE(client.createNotifySocket("127.0.0.1", server.port()));
  EXPECT_NE(client.getLastError().find("no notification sockets"), std::string::npos) << client.getLastError();
  expectServerAlive();
}

TEST_F(ServerFaultTest, MalformedNotificationEndsTheNotificationSocketOnly) {
  start({"--fault", std::string("garbage=") + ServerNotification::SCENE_DOWNLOAD});
  ASSERT_TRUE(client.createNotifySocket("127.0.0.1", server.port()));
  Properties reply;
  ASSERT_TRUE(client.sendCommand("ViewObject.openView", viewObject("SceneCanvas_1"), reply));
  ServerNotification n;
  ASSERT_TRUE(client.notifications().waitPop(n, 5000));
  EXPECT_TRUE(n.isConnectionLost());
  EXPECT_NE(Error::getMessage(n.data).find("bad magic"), std::string::npos) << Error::getMessage(n.data);
  EXPECT_TRUE(client.sendCommand("EnableVRMode", Properties(), reply));
}

TEST_F(ServerFaultTest, ServerDyingMidSessionEndsBothSockets) {
  start({"--live", "--frame-interval", "20", "--fault", std::string("die=") + ServerNotification::SCENE_UPDATE + "@3"});
  ASSERT_TRUE(client.createNotifySocket("127.0.0.1", server.port()));
  Properties reply;
  ASSERT_TRUE(client.sendCommand("ViewObject.openView", viewObject("SceneCanvas_1"), reply));
  std::vector<std::string> names;
  ServerNotification n;
  while (client.notifications().waitPop(n, 5000)) {
    names.push_back(n.name);
    if (n.isConnectionLost()) break;
  }
  ASSERT_EQ(names.size(), 4u);  // the download, two updates, then the loss
  EXPECT_EQ(names.back(), ServerNotification::CONNECTION_LOST);
  EXPECT_EQ(server.wait(), 3);
  EXPECT_FALSE(client.sendCommand("EnableVRMode", Properties(), reply));
}

// A stalled step answers, but only after the stall time: a client that waits less times out,
// one that waits longer gets the answer.
TEST_F(ServerFaultTest, StalledStepsAnswerLate) {
  start({"--stall", "1500", "--fault", "stall=EnableVRMode", "--fault", "stall=:notify-socket#1"});
  Properties reply;
  client.setTimeout(300);
  EXPECT_FALSE(client.createNotifySocket("127.0.0.1", server.port()));
  EXPECT_NE(client.getLastError().find("did not answer the greeting within 300 ms"), std::string::npos)
      << client.getLastError();

  ServerConnection patient;
  ASSERT_TRUE(connect(patient, server, reply)) << reply.getString("message");
  patient.setTimeout(5000);
  const auto asked = std::chrono::steady_clock::now();
  EXPECT_TRUE(patient.sendCommand("EnableVRMode", Properties(), reply)) << Error::getMessage(reply);
  EXPECT_GE(std::chrono::steady_clock::now() - asked, std::chrono::milliseconds(1500));
  EXPECT_TRUE(patient.createNotifySocket("127.0.0.1", server.port())) << patient.getLastError();  // only the first stalls
}
