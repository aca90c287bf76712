#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <random>
#include <thread>
#include <vector>

#include "Error.h"
#include "FakeServer.h"
#include "ServerConnection.h"
#include "ServerProtocol.h"

namespace {

// A server that answers every command with its arguments plus "Command" = its name.
void echoServer(FrameChannel& channel) {
  if (!FakeServer::greetCommand(channel)) return;
  MessageFrame command;
  while (FakeServer::readCommand(channel, command)) {
    if (command.flags & MessageFrame::NoResponse) continue;
    Properties body = command.body;
    body.set("Command", command.name);
    if (!FakeServer::reply(channel, command, body)) return;
  }
}

void connect(ServerConnection& c, int port) {
  Properties reply;
  ASSERT_TRUE(c.createCommandSocket("127.0.0.1", port, reply)) << reply.getString("message");
}

}  // namespace

TEST(ServerConnection, SettersCheckTheirValues) {
  ServerConnection c;
  EXPECT_TRUE(c.setNumTries(20));
  EXPECT_FALSE(c.setNumTries(0));
  EXPECT_EQ(c.getNumTries(), 20);
  EXPECT_TRUE(c.setHost("127.0.0.1"));
  EXPECT_FALSE(c.setHost(""));
  EXPECT_TRUE(c.setPort(47827));
  EXPECT_FALSE(c.setPort(0));
  EXPECT_FALSE(c.setPort(65536));
  EXPECT_EQ(c.getHost(), "127.0.0.1");
  EXPECT_EQ(c.getPort(), 47827);
  EXPECT_EQ(c.getConnectionId(), 0);
  EXPECT_FALSE(c.hasCommandSocket());
}

TEST(ServerConnection, ConnectTriesAgainstNothingListeningEndWithAMessage) {
  ServerConnection c;
  c.setNumTries(3);
  c.setRetryDelay(5);
  Properties reply;
  int port = FakeServer::unusedPort();
  EXPECT_FALSE(c.createCommandSocket("127.0.0.1", port, reply));
  std::string message = reply.getString(ServerProtocol::SOCKET_MESSAGE);
  EXPECT_NE(message.find("127.0.0.1:" + std::to_string(port)), std::string::npos) << message;
  EXPECT_NE(message.find("refused"), std::string::npos) << message;
  EXPECT_NE(message.find("(3 tries)"), std::string::npos) << message;
  EXPECT_FALSE(c.hasCommandSocket());
  EXPECT_EQ(c.getConnectionId(), 0);
  // Without a socket every command fails with the error keys, at once.
  EXPECT_FALSE(c.sendCommand("EnableVRMode", Properties(), reply));
  EXPECT_EQ(Error::getCode(reply), Error::NOT_CONNECTED);
}

TEST(ServerConnection, ConnectTriesReachAServerThatStartsLate) {
  int port = FakeServer::unusedPort();
  std::atomic<bool> served{false};
  std::thread late([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    ListenSocket listener;
    std::string error;
    if (!listener.listen("127.0.0.1", port, error)) return;  // port taken meanwhile: the test says so below
    Socket socket;
    if (listener.accept(socket, 5000, error) != Socket::Result::Ok) return;
    FrameChannel channel(std::move(socket));
    served = FakeServer::greetCommand(channel, 42);
  });
  ServerConnection c;
  c.setNumTries(200);
  c.setRetryDelay(10);
  Properties reply;
  bool ok = c.createCommandSocket("127.0.0.1", port, reply);
  late.join();
  ASSERT_TRUE(served) << "could not listen on the port in time";
  EXPECT_TRUE(ok) << reply.getString("message");
  EXPECT_EQ(c.getConnectionId(), 42);
}

TEST(ServerConnection, KeepsTheFullSixtyFourBitConnectionValue) {
  const int64_t value = 0x7123456789ABCDEFLL;
  FakeServer server([&](FrameChannel& ch) { FakeServer::greetCommand(ch, value); });
  ServerConnection c;
  connect(c, server.port());
  EXPECT_EQ(c.getConnectionId(), value);
  EXPECT_EQ(c.getHost(), "127.0.0.1");
  EXPECT_EQ(c.getPort(), server.port());
}

TEST(ServerConnection, RefusedGreetingPutsTheServersTextInMessage) {
  FakeServer server([](FrameChannel& ch) {
    Properties refusal;
    Error::set(refusal, Error::COMMAND_FAILED, "the server accepts no more VR clients");
    FakeServer::greet(ch, refusal);
  });
  ServerConnection c;
  Properties reply;
  EXPECT_FALSE(c.createCommandSocket("127.0.0.1", server.port(), reply));
  EXPECT_EQ(reply.getString("message"), "the server accepts no more VR clients");
  EXPECT_FALSE(c.hasCommandSocket());
}

TEST(ServerConnection, CommandRoundTripAndServerErrors) {
  FakeServer server([](FrameChannel& ch) {
    if (!FakeServer::greetCommand(ch)) return;
    MessageFrame command;
    while (FakeServer::readCommand(ch, command)) {
      Properties body;
      if (command.name == "Fail")
        Error::set(body, Error::COMMAND_FAILED, "no scene named 'x'");
      else
        body = command.body;
      FakeServer::reply(ch, command, body);
    }
  });
  ServerConnection c;
  connect(c, server.port());
  Properties args, reply;
  args.set("SceneName", "A \"scene\"");
  reply.set("Stale", 1);  // the reply replaces what the caller's set held
  EXPECT_TRUE(c.sendCommand("Echo", args, reply));
  EXPECT_EQ(reply, args);
  EXPECT_FALSE(c.sendCommand("Fail", args, reply));
  EXPECT_TRUE(Error::isError(reply));
  EXPECT_EQ(Error::getMessage(reply), "no scene named 'x'");
  // A refused command leaves the connection usable.
  EXPECT_FALSE(c.isBroken());
  EXPECT_TRUE(c.sendCommand("Echo", args, reply));
}

TEST(ServerConnection, SeveralThreadsOnOneConnectionGetTheirOwnReplies) {
  std::atomic<int> inFlight{0}, overlap{0};
  FakeServer server([&](FrameChannel& ch) {
    if (!FakeServer::greetCommand(ch)) return;
    std::mt19937 random(7);
    MessageFrame command;
    while (FakeServer::readCommand(ch, command)) {
      if (++inFlight > 1) ++overlap;
      std::this_thread::sleep_for(std::chrono::microseconds(random() % 300));
      Properties body = command.body;
      body.set("Command", command.name);
      --inFlight;
      if (!FakeServer::reply(ch, command, body)) return;
    }
  });
  ServerConnection c;
  connect(c, server.port());
  const int threads = 8, perThread = 25;
  std::atomic<int> wrong{0}, failed{0};
  std::vector<std::thread> workers;
  for (int t = 0; t < threads; ++t) {
    workers.emplace_back([&, t] {
      for (int i = 0; i < perThread; ++i) {
        Properties args, reply;
        args.set("Thread", t);
        args.set("Index", i);
        if (!c.sendCommand("Cmd" + std::to_string(t), args, reply)) {
          ++failed;
          continue;
        }
        if (reply.getInt("Thread") != t || reply.getInt("Index") != i ||
            reply.getString("Command") != "Cmd" + std::to_string(t))
          ++wrong;
      }
    });
  }
  for (std::thread& w : workers) w.join();
  EXPECT_EQ(failed, 0);
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(overlap, 0);
}

TEST(ServerConnection, SilentServerTimesOutAndBreaksTheConnection) {
  FakeServer server([](FrameChannel& ch) {
    if (!FakeServer::greetCommand(ch)) return;
    MessageFrame command;
    while (FakeServer::readCommand(ch, command)) {
    }
  });
  // The greetings have the usual time-out (a loaded machine may take long to greet); the
  // command's reply has a short one.
  ServerConnection c;
  const int usualTimeout = c.getTimeout();
  connect(c, server.port());
  c.setTimeout(100);
  Properties reply;
  EXPECT_FALSE(c.sendCommand("SceneGraphExportImport.getSceneNames", Properties(), reply));
  EXPECT_EQ(Error::getCode(reply), Error::TIMED_OUT);
  EXPECT_NE(Error::getMessage(reply).find("no reply to SceneGraphExportImport.getSceneNames"), std::string::npos)
      << Error::getMessage(reply);
  EXPECT_TRUE(c.isBroken());
  // A late reply could be taken for the next one: later commands fail at once.
  EXPECT_FALSE(c.sendCommand("EnableVRMode", Properties(), reply));
  EXPECT_EQ(Error::getCode(reply), Error::CONNECTION_LOST);
  EXPECT_NE(Error::getMessage(reply).find("broken"), std::string::npos);
  // A new command socket mends it.
  FakeServer echo(echoServer);
  c.setTimeout(usualTimeout);
  connect(c, echo.port());
  EXPECT_FALSE(c.isBroken());
  EXPECT_TRUE(c.sendCommand("EnableVRMode", Properties(), reply));
}

// Each case answers the first command with bad bytes; the client reports a protocol error.
TEST(ServerConnection, MalformedRepliesAreCleanErrors) {
  struct Case {
    const char* what;
    std::function<std::string(const MessageFrame&)> answer;
    bool closeAfter;
    int code;
    const char* expected;
  };
  auto encoded = [](MessageFrame frame) {
    std::string bytes, error;
    frame.encode(bytes, error);
    return bytes;
  };
  const std::vector<Case> cases = {
      {"garbage", [](const MessageFrame&) { return std::string("GARBAGE! this is no message of the protocol\n"); },
       false, Error::PROTOCOL_ERROR, "bad magic"},
      {"oversized",
       [](const MessageFrame& c) {
         MessageFrame::Header h;
         h.type = MessageFrame::Reply;
         h.requestId = c.requestId;
         h.bodyLength = 0xFFFFFFF0u;
         return MessageFrame::encodeHeader(h);
       },
       false, Error::PROTOCOL_ERROR, "oversized"},
      {"truncated, then the server dies",
       [&](const MessageFrame& c) {
         std::string b = encoded(MessageFrame(MessageFrame::Reply, c.name, Properties(), c.requestId));
         return b.substr(0, b.size() / 2);
       },
       true, Error::PROTOCOL_ERROR, "truncated"},
      {"other version",
       [&](const MessageFrame& c) {
         std::string b = encoded(MessageFrame(MessageFrame::Reply, c.name, Properties(), c.requestId));
         b[4] = char(99);
         return b;
       },
       false, Error::PROTOCOL_ERROR, "unsupported protocol version 99"},
      {"wrong request id",
       [&](const MessageFrame& c) {
         return encoded(MessageFrame(MessageFrame::Reply, c.name, Properties(), c.requestId + 1));
       },
       false, Error::PROTOCOL_ERROR, "expected the reply to Cmd"},
      {"a notification instead of a reply",
       [&](const MessageFrame& c) {
         return encoded(MessageFrame(MessageFrame::Notification, "Push", Properties(), c.requestId));
       },
       false, Error::PROTOCOL_ERROR, "got a notification"},
      {"closed without a reply", [](const MessageFrame&) { return std::string(); }, true, Error::CONNECTION_LOST,
       "closed the connection while Cmd was waiting"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FakeServer server([&](FrameChannel& ch) {
      if (!FakeServer::greetCommand(ch)) return;
      MessageFrame command;
      if (!FakeServer::readCommand(ch, command)) return;
      std::string error;
      std::string bytes = c.answer(command);
      if (!bytes.empty()) ch.writeBytes(bytes, 1000, error);
      if (c.closeAfter) {
        ch.close();
        return;
      }
      while (FakeServer::readCommand(ch, command)) {
      }
    });
    ServerConnection conn;
    connect(conn, server.port());  // the usual time-out for the greetings, a short one for the reply
    conn.setTimeout(200);
    Properties reply;
    EXPECT_FALSE(conn.sendCommand("Cmd", Properties(), reply));
    EXPECT_EQ(Error::getCode(reply), c.code) << Error::getMessage(reply);
    EXPECT_NE(Error::getMessage(reply).find(c.expected), std::string::npos) << Error::getMessage(reply);
    EXPECT_TRUE(conn.isBroken());
  }
}

TEST(ServerConnection, CloseFromAnotherThreadEndsAWaitingRequest) {
  FakeServer server([](FrameChannel& ch) {
    if (!FakeServer::greetCommand(ch)) return;
    MessageFrame command;
    while (FakeServer::readCommand(ch, command)) {
    }
  });
  ServerConnection c;
  c.setTimeout(60000);  // the test would stall if close() did not interrupt
  connect(c, server.port());
  std::atomic<bool> started{false};
  bool result = true;
  Properties reply;
  std::thread sender([&] {
    started = true;
    result = c.sendCommand("NeverAnswered", Properties(), reply);
  });
  while (!started) std::this_thread::yield();
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  c.close();
  sender.join();
  EXPECT_FALSE(result);
  EXPECT_TRUE(Error::isError(reply));
  EXPECT_FALSE(c.hasCommandSocket());
}

TEST(ServerConnection, NoResponseCommandDoesNotWait) {
  std::atomic<bool> flagged{false};
  FakeServer server([&](FrameChannel& ch) {
    if (!FakeServer::greetCommand(ch)) return;
    MessageFrame command;
    while (FakeServer::readCommand(ch, command)) {
      if (command.name == "ViewObject.closeView") {
        flagged = (command.flags & MessageFrame::NoResponse) != 0 && command.body.getString("ViewObject") == "K";
        continue;
      }
      FakeServer::reply(ch, command, Properties());
    }
  });
  ServerConnection c;
  connect(c, server.port());
  Properties args, reply;
  args.set("ViewObject", "K");
  reply.set("Stale", true);
  EXPECT_TRUE(c.sendNoResponseCommand("ViewObject.closeView", args, reply));
  EXPECT_TRUE(reply.empty());
  // The next request gets its own reply, not a stray one.
  EXPECT_TRUE(c.sendCommand("EnableVRMode", Properties(), reply));
  EXPECT_TRUE(flagged);
}

TEST(ServerConnection, OversizedArgumentsAreRefusedBeforeSendingAndKeepTheConnection) {
  FakeServer server(echoServer);
  ServerConnection c;
  c.setMaxMessageSize(1024);
  connect(c, server.port());
  Properties big, reply;
  big.set("Blob", std::string(4096, 'b'));
  EXPECT_FALSE(c.sendCommand("Big", big, reply));
  EXPECT_EQ(Error::getCode(reply), Error::PROTOCOL_ERROR);
  EXPECT_FALSE(c.isBroken());
  EXPECT_TRUE(c.sendCommand("Small", Properties(), reply));
  EXPECT_EQ(reply.getString("Command"), "Small");
}
