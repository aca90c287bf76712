#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "Error.h"
#include "FakeServer.h"
#include "NotificationQueue.h"
#include "ServerConnection.h"
#include "ServerProtocol.h"

namespace {

ServerNotification note(const std::string& name, int64_t position) {
  ServerNotification n;
  n.name = name;
  n.data.set(ServerNotification::KEY_POSITION, position);
  return n;
}

// Serves one command socket (greet, then drain) and one notification socket, on which it runs push.
class PushServer {
 public:
  explicit PushServer(std::function<void(FrameChannel&)> push, bool refuseNotify = false)
      : _server([this, push, refuseNotify](FrameChannel& ch) {
          Properties hello;
          MessageFrame in;
          std::string error;
          if (ch.read(in, 5000, 5000, error) != FrameChannel::Status::Ok) return;
          Properties welcome;
          if (in.body.getString(ServerProtocol::HELLO_ROLE) == ServerProtocol::ROLE_COMMAND) {
            welcome.set(ServerProtocol::HELLO_CONNECTION_ID, int64_t(77));
            ch.write(MessageFrame(MessageFrame::Welcome, "Welcome", welcome), 1000, error);
            MessageFrame command;
            while (FakeServer::readCommand(ch, command)) {
            }
            return;
          }
          notifyId = in.body.getInt64(ServerProtocol::HELLO_CONNECTION_ID);
          if (refuseNotify) Error::set(welcome, Error::COMMAND_FAILED, "no notification sockets here");
          ch.write(MessageFrame(MessageFrame::Welcome, "Welcome", welcome), 1000, error);
          if (!refuseNotify) push(ch);
        }) {}
  int port() const { return _server.port(); }
  std::atomic<int64_t> notifyId{0};

 private:
  FakeServer _server;
};

void pushNotification(FrameChannel& ch, const std::string& name, int64_t position) {
  std::string error;
  ch.write(MessageFrame(MessageFrame::Notification, name, note(name, position).data), 1000, error);
}

}  // namespace

TEST(NotificationQueue, KeepsOrderAndWaits) {
  NotificationQueue q;
  ServerNotification out;
  EXPECT_FALSE(q.tryPop(out));
  EXPECT_FALSE(q.waitPop(out, 10));
  std::thread producer([&] {
    for (int i = 1; i <= 3; ++i) q.push(note("n", i));
  });
  for (int i = 1; i <= 3; ++i) {
    ASSERT_TRUE(q.waitPop(out, 5000));
    EXPECT_EQ(out.position(), i);
  }
  producer.join();
  EXPECT_EQ(q.size(), 0u);
}

TEST(NotificationQueue, FullQueueHoldsTheProducerUntilTakenOrClosed) {
  NotificationQueue q(2);
  ASSERT_TRUE(q.push(note("n", 1)));
  ASSERT_TRUE(q.push(note("n", 2)));
  std::atomic<bool> pushed{false};
  std::thread producer([&] {
    q.push(note("n", 3));
    pushed = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_FALSE(pushed);  // still waiting for room
  ServerNotification out;
  ASSERT_TRUE(q.tryPop(out));
  producer.join();
  EXPECT_TRUE(pushed);
  EXPECT_EQ(q.size(), 2u);

  // Closing releases a waiting producer, which then reports the entry as dropped.
  std::atomic<int> result{-1};
  std::thread blocked([&] { result = q.push(note("n", 5)) ? 1 : 0; });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  q.close();
  blocked.join();
  EXPECT_EQ(result, 0);
  // Entries queued before the close can still be taken; then waitPop returns false at once.
  while (q.tryPop(out)) {
  }
  EXPECT_FALSE(q.waitPop(out, -1));
}

TEST(NotificationQueue, WakeCallbackRunsPerPushUntilCleared) {
  NotificationQueue q;
  std::atomic<int> calls{0};
  q.setWakeCallback([&] { ++calls; });
  q.push(note("n", 1));
  q.push(note("n", 2));
  EXPECT_EQ(calls, 2);
  q.setWakeCallback(nullptr);
  q.push(note("n", 3));
  EXPECT_EQ(calls, 2);
}

TEST(ServerConnection, NotificationSocketNeedsACommandSocket) {
  ServerConnection c;
  EXPECT_FALSE(c.createNotifySocket("127.0.0.1", 1));
  EXPECT_NE(c.getLastError().find("command socket first"), std::string::npos);
}

TEST(ServerConnection, NotificationsArriveInOrderThenConnectionLost) {
  PushServer server([](FrameChannel& ch) {
    pushNotification(ch, ServerNotification::SCENE_DOWNLOAD, 5);
    pushNotification(ch, ServerNotification::SCENE_UPDATE, 6);
    pushNotification(ch, ServerNotification::SCENE_UPDATE, 7);
    ch.close();  // the server goes away
  });
  ServerConnection c;
  std::atomic<int> wakes{0};
  c.notifications().setWakeCallback([&] { ++wakes; });
  ASSERT_TRUE(c.createCommandSocket("127.0.0.1", server.port()));
  ASSERT_TRUE(c.createNotifySocket("127.0.0.1", server.port())) << c.getLastError();
  // (The server may have closed it already: it pushes and goes at once.)
  EXPECT_EQ(server.notifyId, 77);  // tied to the command socket's connection value
  ServerNotification n;
  const char* names[] = {ServerNotification::SCENE_DOWNLOAD, ServerNotification::SCENE_UPDATE,
                         ServerNotification::SCENE_UPDATE};
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(c.notifications().waitPop(n, 5000));
    EXPECT_EQ(n.name, names[i]);
    EXPECT_EQ(n.position(), 5 + i);
  }
  ASSERT_TRUE(c.notifications().waitPop(n, 5000));
  EXPECT_TRUE(n.isConnectionLost());
  EXPECT_NE(Error::getMessage(n.data).find("closed the notification socket"), std::string::npos);
  EXPECT_FALSE(c.hasNotifySocket());
  // The callback runs just after an entry became visible: give the last one its moment.
  for (int i = 0; i < 500 && wakes < 4; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  EXPECT_EQ(wakes, 4);
  c.notifications().setWakeCallback(nullptr);
}

TEST(ServerConnection, MalformedNotificationEndsTheSocketWithAReason) {
  PushServer server([](FrameChannel& ch) {
    pushNotification(ch, ServerNotification::SCENE_DOWNLOAD, 1);
    std::string error;
    ch.writeBytes("GARBAGE! this is no message of the protocol\n", 1000, error);
    MessageFrame ignored;
    ch.read(ignored, 5000, 5000, error);  // hold the socket until the client drops it
  });
  ServerConnection c;
  ASSERT_TRUE(c.createCommandSocket("127.0.0.1", server.port()));
  ASSERT_TRUE(c.createNotifySocket("127.0.0.1", server.port()));
  ServerNotification n;
  ASSERT_TRUE(c.notifications().waitPop(n, 5000));
  EXPECT_EQ(n.position(), 1);
  ASSERT_TRUE(c.notifications().waitPop(n, 5000));
  EXPECT_TRUE(n.isConnectionLost());
  EXPECT_NE(Error::getMessage(n.data).find("bad magic"), std::string::npos) << Error::getMessage(n.data);
  // The command socket is not affected.
  EXPECT_TRUE(c.hasCommandSocket());
}

TEST(ServerConnection, RefusedNotificationSocketFails) {
  PushServer server([](FrameChannel&) {}, true);
  ServerConnection c;
  ASSERT_TRUE(c.createCommandSocket("127.0.0.1", server.port()));
  EXPECT_FALSE(c.createNotifySocket("127.0.0.1", server.port()));
  EXPECT_EQ(c.getLastError(), "no notification sockets here");
  EXPECT_FALSE(c.hasNotifySocket());
}

TEST(ServerConnection, CloseStopsTheNotificationThreadWithoutConnectionLost) {
  PushServer server([](FrameChannel& ch) {
    MessageFrame ignored;
    std::string error;
    ch.read(ignored, -1, 5000, error);  // silent until the client goes
  });
  ServerConnection c;
  ASSERT_TRUE(c.createCommandSocket("127.0.0.1", server.port()));
  ASSERT_TRUE(c.createNotifySocket("127.0.0.1", server.port()));
  c.close();
  EXPECT_FALSE(c.hasNotifySocket());
  EXPECT_FALSE(c.hasCommandSocket());
  ServerNotification n;
  EXPECT_FALSE(c.notifications().tryPop(n));  // an ordered close is no loss to report
}

TEST(ServerConnection, DestroyingWhileTheQueueIsFullDoesNotHang) {
  PushServer server([](FrameChannel& ch) {
    for (int i = 0; i < 5000; ++i) pushNotification(ch, ServerNotification::SCENE_UPDATE, i);
  });
  auto c = std::make_unique<ServerConnection>();
  ASSERT_TRUE(c->createCommandSocket("127.0.0.1", server.port()));
  ASSERT_TRUE(c->createNotifySocket("127.0.0.1", server.port()));
  // Nobody drains: the reader fills the queue and waits for room.
  while (c->notifications().size() < NotificationQueue::DEFAULT_CAPACITY)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  c.reset();
}
