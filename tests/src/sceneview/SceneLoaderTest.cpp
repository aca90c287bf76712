// The scene loader's task table: each code does its one step on the sessions, the reader, the
// updater, the collaborative session or the server connections it is given, reports failures as
// results, and always ends with resultReady. The server tasks run against the stand-in server.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

#include <unistd.h>

#include "CollabSession.h"
#include "CommandJournal.h"
#include "Error.h"
#include "RecordsManager.h"
#include "SceneLibrary.h"
#include "SceneLoader.h"
#include "ServerConnection.h"
#include "ServerOptions.h"
#include "SimulationServer.h"
#include "StringHelper.h"
#include "kvg/DrawableSession.h"
#include "kvg/RendererObjectRegistryBase.h"
#include "kvg/SDBReader.h"

namespace {

std::string scenePath(const std::string& name) {
  const char* bin = std::getenv("QUONIX_BIN_DIR");
  return std::string(bin ? bin : "bin") + "/../tests/scenes/" + name;
}

// A stand-in for the back-buffer updater: one counted pass that takes a while.
class CountingUpdater : public QThread {
 public:
  std::atomic<int> passes{0};
  int passMs = 0;

 protected:
  void run() override {
    if (passMs) QThread::msleep(passMs);
    ++passes;
  }
};

// A server connection that records the sessions started on it instead of feeding them.
class StreamingConnection : public ServerConnection {
 public:
  std::atomic<int> started{0};
  kvg::DrawableSession* lastSession = nullptr;
  bool startSession(kvg::DrawableSession& session) override {
    ++started;
    lastSession = &session;
    return true;
  }
  void stopSession(kvg::DrawableSession&) override {}
};

class SceneLoaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (auto& s : sessions) s.reset(new kvg::DrawableSession(kvg::RendererObjectRegistryBase::getNextHandle(0), -1));
    QObject::connect(&loader, &SceneLoader::resultReady, [this](const QString&) { ++results; });
  }

  // Runs one task as the view does: request in, start, wait.
  void run(uint32_t code) {
    loader.request.taskCode = code;
    for (int i = 0; i < 2; ++i) loader.request.sessions[i] = sessions[i].get();
    loader.start();
    ASSERT_TRUE(loader.wait(60000));
  }

  Properties frameRecord(kvg::SDBReader& reader, int set, int frame) {
    RecordsManager records(reader);
    return records.getFrame(set, frame);
  }

  SceneLoader loader;
  std::unique_ptr<kvg::DrawableSession> sessions[2];
  std::atomic<int> results{0};
};

// The stand-in server on a free loopback port, serving one generated scene, journalling commands.
class InProcessServer {
 public:
  InProcessServer() {
    std::string pattern = (std::filesystem::temp_directory_path() / "quonix-loader-journal-XXXXXX").string();
    const int fd = mkstemp(&pattern[0]);
    if (fd >= 0) ::close(fd);
    journalPath = pattern;
    std::string error;
    journal.open(journalPath, error);
    library.addGenerated("Generated scene", 2);
    ServerOptions options;
    options.port = 0;
    server.reset(new SimulationServer(options, library, &journal));
    started = server->start(error);
    if (started) thread = std::thread([this] { server->run(); });
  }
  ~InProcessServer() {
    if (started) {
      server->stop();
      thread.join();
    }
    std::remove(journalPath.c_str());
  }
  int port() const { return server->port(); }
  int commandCount(const std::string& name) const {
    std::ifstream in(journalPath);
    int count = 0;
    for (std::string line; std::getline(in, line);)
      if (line.find("\t" + name + "\t") != std::string::npos) ++count;
    return count;
  }

  bool started = false;
  std::string journalPath;
  CommandJournal journal;
  SceneLibrary library;
  std::unique_ptr<SimulationServer> server;
  std::thread thread;
};

}  // namespace

TEST_F(SceneLoaderTest, RecordGoesIntoBothSessions) {
  kvg::SDBReader reader;
  ASSERT_EQ(reader.open(StringHelper::toWString(scenePath("sets_1_and_3_frames.sce"))), kvg::SDBReader::Opened);
  loader.request.reader = &reader;
  loader.request.record = frameRecord(reader, 1, 2);
  run(SceneLoader::LoadRecord);
  EXPECT_TRUE(loader.recordLoaded);
  EXPECT_GT(sessions[0]->getNodeRegistry().size(), 0u);
  EXPECT_EQ(sessions[0]->getNodeRegistry().size(), sessions[1]->getNodeRegistry().size());
  EXPECT_EQ(results, 1);
}

TEST_F(SceneLoaderTest, FaultyRecordReachesNeitherSession) {
  kvg::SDBReader reader;
  ASSERT_EQ(reader.open(StringHelper::toWString(scenePath("broken_record.sce"))), kvg::SDBReader::Opened);
  loader.request.reader = &reader;
  for (int frame = 1; frame <= 5; ++frame) {
    loader.request.record = frameRecord(reader, 0, frame);
    run(SceneLoader::LoadRecord);
    EXPECT_FALSE(loader.recordLoaded) << frame;
    EXPECT_EQ(sessions[0]->getNodeRegistry().size(), 0u) << frame;
    EXPECT_EQ(sessions[1]->getNodeRegistry().size(), 0u) << frame;
  }
  // Without a reader nothing loads either.
  loader.request.reader = nullptr;
  run(SceneLoader::LoadRecord);
  EXPECT_FALSE(loader.recordLoaded);
  EXPECT_EQ(results, 6);
}

TEST_F(SceneLoaderTest, UpdaterTasksRunOrAwaitOnePass) {
  CountingUpdater updater;
  updater.passMs = 150;
  loader.request.updater = &updater;
  run(SceneLoader::RunUpdater);
  EXPECT_EQ(updater.passes, 1);
  EXPECT_TRUE(updater.isFinished());

  // Task 5 wakes the updater through the session of the buffer not shown, and waits for the pass.
  for (int active = 0; active < 2; ++active) {
    updater.start();
    loader.request.activeIndex = active;
    run(SceneLoader::AwaitUpdater);
    EXPECT_TRUE(updater.isFinished()) << active;
    EXPECT_EQ(sessions[active ? 0 : 1]->getPendingTaskCount(), 1u) << active;
    EXPECT_EQ(sessions[active]->getPendingTaskCount(), 0u) << active;
    sessions[active ? 0 : 1]->executePendingTasks();
  }
  EXPECT_EQ(updater.passes, 3);
  EXPECT_EQ(results, 3);
}

TEST_F(SceneLoaderTest, UnknownCodesDoNothingAndStillReport) {
  for (uint32_t code : {9u, 10u, 0xffffffffu}) run(code);
  EXPECT_EQ(results, 3);
  EXPECT_FALSE(loader.recordLoaded);
  EXPECT_FALSE(loader.socketsCreated);
  EXPECT_FALSE(loader.collaborativeServerStarted);
}

TEST_F(SceneLoaderTest, EachSessionStartsOnItsConnection) {
  StreamingConnection streaming[2];
  loader.request.connections[0] = &streaming[0];
  loader.request.connections[1] = &streaming[1];
  run(SceneLoader::StartSessions);
  EXPECT_EQ(streaming[0].started, 1);
  EXPECT_EQ(streaming[1].started, 1);
  EXPECT_EQ(streaming[0].lastSession, sessions[0].get());
  EXPECT_EQ(streaming[1].lastSession, sessions[1].get());
  // A missing connection starts nothing.
  loader.request.connections[1] = nullptr;
  run(SceneLoader::StartSessions);
  EXPECT_EQ(streaming[0].started, 2);
  EXPECT_EQ(streaming[1].started, 1);
  EXPECT_EQ(results, 2);
  // The sessions outlive these connections: they let go first, as the view's reset does.
  for (auto& s : sessions) s->stopSession();
}

TEST_F(SceneLoaderTest, CommandSocketsStopAtTheFirstFailure) {
  InProcessServer server;
  ASSERT_TRUE(server.started);
  ServerConnection connections[4];
  for (int i = 0; i < 4; ++i) loader.request.connections[i] = &connections[i];
  loader.request.host = QString::fromUtf8("127.0.0.1");
  loader.request.port = server.port();
  run(SceneLoader::CreateCommandSockets);
  EXPECT_TRUE(loader.socketsCreated);
  for (auto& c : connections) EXPECT_TRUE(c.hasCommandSocket());

  // A port where nobody listens: the first connection fails and the others are not tried.
  ServerConnection refused[4];
  for (int i = 0; i < 4; ++i) loader.request.connections[i] = &refused[i];
  loader.request.port = 1;
  run(SceneLoader::CreateCommandSockets);
  EXPECT_FALSE(loader.socketsCreated);
  EXPECT_TRUE(loader.reply.hasName("message"));
  for (auto& c : refused) EXPECT_FALSE(c.hasCommandSocket());

  // A missing third connection: the first two get sockets, the fourth is not tried.
  ServerConnection partial[4];
  for (int i = 0; i < 4; ++i) loader.request.connections[i] = i == 2 ? nullptr : &partial[i];
  loader.request.port = server.port();
  run(SceneLoader::CreateCommandSockets);
  EXPECT_FALSE(loader.socketsCreated);
  EXPECT_TRUE(partial[0].hasCommandSocket());
  EXPECT_TRUE(partial[1].hasCommandSocket());
  EXPECT_FALSE(partial[3].hasCommandSocket());
}

TEST_F(SceneLoaderTest, ServerTasksAskTheServer) {
  InProcessServer server;
  ASSERT_TRUE(server.started);
  ServerConnection connections[4];
  for (int i = 0; i < 4; ++i) {
    ASSERT_TRUE(connections[i].createCommandSocket("127.0.0.1", server.port()));
    loader.request.connections[i] = &connections[i];
  }

  loader.request.sceneName = "Generated scene";
  run(SceneLoader::GetSceneKey);
  ASSERT_FALSE(Error::isError(loader.reply)) << Error::getMessage(loader.reply);
  const std::string key = loader.reply.getString("SceneKey");
  EXPECT_EQ(key, server.library.findByName("Generated scene")->key);

  loader.request.sceneName = "No such scene";
  run(SceneLoader::GetSceneKey);
  EXPECT_TRUE(Error::isError(loader.reply));

  loader.request.viewObjectKey = key;
  run(SceneLoader::OpenServerView);
  EXPECT_EQ(server.commandCount("ViewObject.openView"), 2);

  run(SceneLoader::StartCollaborativeService);
  EXPECT_TRUE(loader.collaborativeServerStarted);
  EXPECT_EQ(server.commandCount("StartCollaborativeVRServer"), 1);
  EXPECT_EQ(results, 4);
}

TEST_F(SceneLoaderTest, ReplyTasksWithoutTheirConnectionFailAndLeaveNoEarlierReply) {
  loader.reply.set("SceneKey", std::string("stale"));
  run(SceneLoader::GetSceneKey);
  EXPECT_TRUE(Error::isError(loader.reply));
  EXPECT_FALSE(loader.reply.hasName("SceneKey"));
  loader.collaborativeServerStarted = true;
  run(SceneLoader::StartCollaborativeService);
  EXPECT_FALSE(loader.collaborativeServerStarted);
  EXPECT_TRUE(Error::isError(loader.reply));
  run(SceneLoader::CreateCommandSockets);
  EXPECT_FALSE(loader.socketsCreated);
  EXPECT_TRUE(loader.reply.hasName("message"));
}

TEST_F(SceneLoaderTest, CollaborationThatCannotConnectIsReportedOnTheErrorStream) {
  CollabSession collab;
  ServerConnection unconnected;
  loader.request.collabSession = &collab;
  loader.request.connections[3] = &unconnected;
  testing::internal::CaptureStderr();
  run(SceneLoader::ConnectCollaboration);
  loader.request.connections[3] = nullptr;
  run(SceneLoader::ConnectCollaboration);
  std::string err = testing::internal::GetCapturedStderr();
  // The first configuration read of the process may say that this test runs without config.ini.
  const std::string noConfig = "config.ini could not be opened\n";
  if (err.compare(0, noConfig.size(), noConfig) == 0) err.erase(0, noConfig.size());
  EXPECT_FALSE(collab.isConnected());
  const std::string line = "Connection with collaborative server could not be established. \n";
  EXPECT_EQ(err, line + line);
  EXPECT_EQ(results, 2);
}
