// Drawable sessions fed by a server connection: notifications become update tasks at their
// positions; bad notifications, lost sockets and records that do not build end the feed with one
// clear error and leave the session's scene as it was.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <mutex>
#include <thread>

#include "Error.h"
#include "FakeServer.h"
#include "NotificationQueue.h"
#include "ServerConnection.h"
#include "ServerProtocol.h"
#include "SessionFeed.h"
#include "kvg/DrawableSession.h"
#include "kvg/RendererObjectRegistryBase.h"
#include "kvg/SceneCanvas.h"
#include "kvg/SphereDrawable.h"

namespace {

// A self-contained record of one sphere at x, as a server sends it.
Properties sphereRecord(double x, const std::string& canvasKey = "SceneCanvas_1") {
  Properties base, sphere, drawables, content, record;
  sphere.set("type", "Sphere");
  sphere.set("center", std::vector<double>{x, 0, 0});
  sphere.set("radius", 0.5);
  drawables.set("ball", sphere);
  content.set("drawables", drawables);
  record.set("CanvasKey", canvasKey);
  record.set("Canvas", Properties());
  record.set("Camera", Properties());
  record.set("FrameContent", content);
  return record;
}

// The record with one entry of its "ball" drawable replaced.
template <class T>
Properties withBall(Properties record, const std::string& key, const T& value) {
  Properties content = record.getProperties("FrameContent");
  Properties drawables = content.getProperties("drawables");
  Properties ball = drawables.getProperties("ball");
  ball.set(key, value);
  drawables.set("ball", ball);
  content.set("drawables", drawables);
  record.set("FrameContent", content);
  return record;
}

ServerNotification update(int64_t position, const Properties& record,
                          const char* name = ServerNotification::SCENE_UPDATE) {
  ServerNotification n;
  n.name = name;
  n.data.set(ServerNotification::KEY_SCENE_KEY, "SceneCanvas_1");
  n.data.set(ServerNotification::KEY_POSITION, position);
  n.data.set(ServerNotification::KEY_RECORD, record);
  return n;
}

std::unique_ptr<kvg::DrawableSession> newSession() {
  auto s = std::make_unique<kvg::DrawableSession>(kvg::RendererObjectRegistryBase::getNextHandle(0), -1);
  s->setUpdateTaskWait(0);
  return s;
}

// The x of the sphere the session's scene holds, or NaN without one.
double sphereX(kvg::DrawableSession& session) {
  for (const auto& entry : session.getNodeRegistry().getNodes())
    if (auto* s = entry.second.tryCast<kvg::SphereDrawable>()) return s->getCenter()[0];
  return std::nan("");
}

struct Errors {
  std::mutex mutex;
  std::vector<std::string> texts;
  SessionFeed::ErrorHandler handler() {
    return [this](const std::string& e) {
      std::lock_guard<std::mutex> lock(mutex);
      texts.push_back(e);
    };
  }
  std::vector<std::string> get() {
    std::lock_guard<std::mutex> lock(mutex);
    return texts;
  }
};

}  // namespace

TEST(SessionFeed, AppliesNotificationsAtTheirPositionsAndDropsStaleOnes) {
  NotificationQueue queue;
  auto session = newSession();
  Errors errors;
  queue.push(update(5, sphereRecord(1), ServerNotification::SCENE_DOWNLOAD));  // before the start
  SessionFeed feed(*session, queue, errors.handler());
  EXPECT_FALSE(feed.isAwaitingDownload());  // not started
  feed.start();
  EXPECT_FALSE(feed.isAwaitingDownload());
  queue.push(update(6, sphereRecord(2)));
  queue.push(update(6, sphereRecord(99)));  // repeated position
  queue.push(update(4, sphereRecord(98)));  // older
  EXPECT_EQ(session->executeNextUpdateTask(), 5);
  EXPECT_TRUE(session->getNodeRegistry().findNode("SceneCanvas_1"));
  EXPECT_EQ(sphereX(*session), 1.0);
  EXPECT_EQ(session->executeNextUpdateTask(), 6);
  EXPECT_EQ(sphereX(*session), 2.0);
  EXPECT_EQ(session->executeNextUpdateTask(), -1);
  EXPECT_TRUE(errors.get().empty());
}

TEST(SessionFeed, BadNotificationsEndTheFeedWithOneClearError) {
  const Properties withFile = withBall(sphereRecord(1), "data", "../../etc/passwd");
  Properties noKey = sphereRecord(1);
  noKey.remove("CanvasKey");
  ServerNotification noRecord = update(3, Properties());
  noRecord.data.remove(ServerNotification::KEY_RECORD);
  ServerNotification noPosition = update(3, sphereRecord(1));
  noPosition.data.remove(ServerNotification::KEY_POSITION);
  ServerNotification lost;
  lost.name = ServerNotification::CONNECTION_LOST;
  Error::set(lost.data, Error::CONNECTION_LOST, "the server closed the notification socket");
  struct Case {
    const char* what;
    ServerNotification n;
    const char* says;
  } cases[] = {
      {"unknown name", update(3, sphereRecord(1), "SceneGraphExportImport.explode"), "unexpected notification"},
      {"no position", noPosition, "\"Position\""},
      {"negative position", update(-2, sphereRecord(1)), "\"Position\""},
      {"no record", noRecord, "\"Record\""},
      {"no canvas key", update(3, noKey), "\"CanvasKey\""},
      {"data file", update(3, withFile), "names data files"},
      {"lost socket", lost, "the server closed the notification socket"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    NotificationQueue queue;
    auto session = newSession();
    Errors errors;
    SessionFeed feed(*session, queue, errors.handler());
    feed.start();
    queue.push(update(1, sphereRecord(1), ServerNotification::SCENE_DOWNLOAD));
    EXPECT_TRUE(session->executeNextUpdateTask() == 1);
    queue.push(c.n);
    queue.push(update(7, sphereRecord(7)));  // nothing after the failure
    EXPECT_EQ(session->executeNextUpdateTask(), -1);
    EXPECT_EQ(sphereX(*session), 1.0);
    ASSERT_EQ(errors.get().size(), 1u);
    EXPECT_NE(errors.get()[0].find(c.says), std::string::npos) << errors.get()[0];
    EXPECT_TRUE(feed.hasFailed());
    EXPECT_EQ(feed.getError(), errors.get()[0]);
  }
}

TEST(SessionFeed, RecordThatDoesNotBuildLeavesTheSceneAndReportsOnTheOwnerThread) {
  NotificationQueue queue;
  auto session = newSession();
  Errors errors;
  SessionFeed feed(*session, queue, errors.handler());
  feed.start();
  queue.push(update(1, sphereRecord(1), ServerNotification::SCENE_DOWNLOAD));
  queue.push(update(2, withBall(sphereRecord(2), "type", "Teapot")));
  EXPECT_EQ(session->executeNextUpdateTask(), 1);
  EXPECT_TRUE(errors.get().empty());
  EXPECT_EQ(session->executeNextUpdateTask(), 2);  // the position is reached, the scene kept
  EXPECT_EQ(sphereX(*session), 1.0);
  ASSERT_EQ(errors.get().size(), 1u);
  EXPECT_NE(errors.get()[0].find("cannot be shown"), std::string::npos);
}

TEST(SessionFeed, KeepsOnlyAFewRecordsForAnOwnerThatFallsBehind) {
  NotificationQueue queue;
  auto session = newSession();
  SessionFeed feed(*session, queue, nullptr);
  feed.start();
  for (int i = 1; i <= 50; ++i) queue.push(update(i, sphereRecord(i)));
  EXPECT_EQ(session->getPendingTaskCount(), 50u);  // every position stays
  int64_t last = -1;
  for (int i = 1; i <= 50; ++i) {
    int64_t p = session->executeNextUpdateTask();
    EXPECT_EQ(p, i);
    last = p;
    // The superseded ones change nothing; the newest few carry their scene.
    if (i <= 50 - int(SessionFeed::MAX_PENDING_RECORDS)) {
      EXPECT_TRUE(std::isnan(sphereX(*session)));
    }
  }
  EXPECT_EQ(last, 50);
  EXPECT_EQ(sphereX(*session), 50.0);
}

TEST(SessionFeed, StoppedFeedDeliversNothingAndTasksOutliveIt) {
  NotificationQueue queue;
  auto session = newSession();
  Errors errors;
  auto feed = std::make_unique<SessionFeed>(*session, queue, errors.handler());
  feed->start();
  queue.push(update(1, sphereRecord(1)));
  feed.reset();  // the queued task no longer has its record
  queue.push(update(2, sphereRecord(2)));
  EXPECT_EQ(session->executeNextUpdateTask(), 1);
  EXPECT_TRUE(std::isnan(sphereX(*session)));
  EXPECT_EQ(session->executeNextUpdateTask(), -1);
  EXPECT_TRUE(errors.get().empty());
}

// Over real sockets: what a hostile or dying server does to a session started on the connection.
class SessionOnConnection : public ::testing::Test {
 protected:
  // Serves the command socket, and on the notification socket the download, then push.
  void serve(std::function<void(FrameChannel&)> push) {
    server = std::make_unique<FakeServer>([push](FrameChannel& ch) {
      FakeServer::serveRoles(ch, 77, [&](FrameChannel& notify) {
        std::string error;
        ServerNotification d = update(1, sphereRecord(1), ServerNotification::SCENE_DOWNLOAD);
        notify.write(MessageFrame(MessageFrame::Notification, d.name, d.data), 1000, error);
        push(notify);
      });
    });
    connection = std::make_unique<ServerConnection>();
    connection->setTimeout(2000);
    connection->setSessionErrorHandler(errors.handler());
    ASSERT_TRUE(connection->createCommandSocket("127.0.0.1", server->port()));
    ASSERT_TRUE(connection->createNotifySocket("127.0.0.1", server->port()));
    ASSERT_TRUE(session->startSession(*connection));
  }
  void waitForError() {
    for (int i = 0; i < 300 && errors.get().empty(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }

  std::unique_ptr<kvg::DrawableSession> session = newSession();
  Errors errors;
  std::unique_ptr<FakeServer> server;
  std::unique_ptr<ServerConnection> connection;
};

TEST_F(SessionOnConnection, MalformedFramesAreAnErrorOnThatConnection) {
  struct Case {
    const char* what;
    std::string bytes;
  } cases[] = {
      {"garbage", "GARBAGE! no frame of this protocol\n"},
      {"oversized", [] {
         MessageFrame::Header h;
         h.type = MessageFrame::Notification;
         h.bodyLength = 0xFFFFFFF0u;
         return MessageFrame::encodeHeader(h);
       }()},
      {"truncated", [] {
         std::string bytes, error;
         ServerNotification n = update(2, sphereRecord(2));
         MessageFrame(MessageFrame::Notification, n.name, n.data).encode(bytes, error);
         return bytes.substr(0, bytes.size() / 2);
       }()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    session = newSession();
    errors.texts.clear();
    const std::string bytes = c.bytes;
    serve([bytes](FrameChannel& ch) {
      std::string error;
      ch.writeBytes(bytes, 1000, error);
      ch.shutdown();
    });
    waitForError();
    ASSERT_EQ(errors.get().size(), 1u);
    EXPECT_NE(errors.get()[0].find("lost the server's notifications"), std::string::npos) << errors.get()[0];
    EXPECT_EQ(session->executeNextUpdateTask(), 1);  // the download that came before still applies
    EXPECT_EQ(session->executeNextUpdateTask(), -1);
    EXPECT_EQ(sphereX(*session), 1.0);
  }
}

TEST_F(SessionOnConnection, DownloadWaitLastsUntilTheSceneArrives) {
  std::atomic<bool> release{false};
  // No download until released: the session waits for it longer than one update.
  server = std::make_unique<FakeServer>([&](FrameChannel& ch) {
    FakeServer::serveRoles(ch, 77, [&](FrameChannel& notify) {
      while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(5));
      std::string error;
      ServerNotification d = update(3, sphereRecord(3), ServerNotification::SCENE_DOWNLOAD);
      notify.write(MessageFrame(MessageFrame::Notification, d.name, d.data), 1000, error);
      MessageFrame ignored;
      notify.read(ignored, -1, 1000, error);
    });
  });
  connection = std::make_unique<ServerConnection>();
  connection->setTimeout(3000);
  ASSERT_TRUE(connection->createCommandSocket("127.0.0.1", server->port()));
  ASSERT_TRUE(connection->createNotifySocket("127.0.0.1", server->port()));
  ASSERT_TRUE(session->startSession(*connection));
  EXPECT_EQ(connection->getDownloadWait(*session), 3000);
  std::thread later([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    release = true;
  });
  EXPECT_EQ(session->executeNextUpdateTask(), 3);
  later.join();
  EXPECT_EQ(connection->getDownloadWait(*session), 0);
}

TEST_F(SessionOnConnection, ConnectionDestroyedFirstLeavesTheSessionDetached) {
  serve([](FrameChannel& ch) {
    MessageFrame ignored;
    std::string error;
    ch.read(ignored, -1, 1000, error);
  });
  EXPECT_EQ(session->getConnection(), connection.get());
  connection.reset();
  EXPECT_EQ(session->getConnection(), nullptr);
  session->stopSession();  // nothing to call
  EXPECT_TRUE(errors.get().empty());
}

TEST(SessionOnConnectionWithoutNotifySocket, StartFailsWithAReason) {
  ServerConnection connection;
  auto session = newSession();
  EXPECT_FALSE(session->startSession(connection));
  EXPECT_EQ(session->getConnection(), nullptr);
  EXPECT_NE(connection.getLastError().find("notification socket"), std::string::npos);
}
