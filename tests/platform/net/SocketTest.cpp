#include <gtest/gtest.h>
#include <sys/socket.h>

#include <thread>
#include <vector>

#include "FakeServer.h"
#include "ListenSocket.h"
#include "Socket.h"

TEST(Socket, ConnectToNothingListeningFailsWithTheCause) {
  Socket s;
  std::string error;
  bool permanent = true;
  int port = FakeServer::unusedPort();
  EXPECT_FALSE(s.connect("127.0.0.1", port, 1000, error, &permanent));
  EXPECT_FALSE(permanent);  // a later try may succeed
  EXPECT_NE(error.find("127.0.0.1:" + std::to_string(port)), std::string::npos) << error;
  EXPECT_NE(error.find("refused"), std::string::npos) << error;
  EXPECT_FALSE(s.isOpen());
}

TEST(Socket, InvalidPortIsPermanent) {
  Socket s;
  std::string error;
  bool permanent = false;
  EXPECT_FALSE(s.connect("127.0.0.1", 70000, 1000, error, &permanent));
  EXPECT_TRUE(permanent);
}

TEST(Socket, ListenConnectAcceptAndExchange) {
  ListenSocket listener;
  std::string error;
  ASSERT_TRUE(listener.listen("127.0.0.1", 0, error)) << error;
  ASSERT_GT(listener.port(), 0);
  Socket client, server;
  ASSERT_TRUE(client.connect("localhost", listener.port(), 1000, error)) << error;
  ASSERT_EQ(listener.accept(server, 1000, error), Socket::Result::Ok) << error;
  EXPECT_NE(client.peerName().find(std::to_string(listener.port())), std::string::npos);
  ASSERT_EQ(client.sendAll("hello", 5, 1000, error), Socket::Result::Ok);
  char buffer[5];
  ASSERT_EQ(server.receiveAll(buffer, 5, 1000, error), Socket::Result::Ok);
  EXPECT_EQ(std::string(buffer, 5), "hello");
  // Nobody else connects: accept times out.
  Socket none;
  EXPECT_EQ(listener.accept(none, 20, error), Socket::Result::TimedOut);
}

TEST(Socket, ReceiveFromSilentPeerTimesOut) {
  int fds[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
  Socket a(fds[0]), b(fds[1]);
  std::string error;
  ASSERT_EQ(a.sendAll("ab", 2, 100, error), Socket::Result::Ok);
  char buffer[4];
  size_t received = 0;
  EXPECT_EQ(b.receiveAll(buffer, 4, 50, error, &received), Socket::Result::TimedOut);
  EXPECT_EQ(received, 2u);
  EXPECT_NE(error.find("timed out"), std::string::npos) << error;
}

TEST(Socket, SendToPeerThatNeverReadsTimesOut) {
  int fds[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
  Socket a(fds[0]), b(fds[1]);
  int small = 4096;
  setsockopt(a.fd(), SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
  std::vector<char> data(8 << 20, 'x');
  std::string error;
  EXPECT_EQ(a.sendAll(data.data(), data.size(), 50, error), Socket::Result::TimedOut);
  EXPECT_NE(error.find("send timed out"), std::string::npos) << error;
}

TEST(Socket, ShutdownFromAnotherThreadEndsAnUnboundedWait) {
  int fds[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
  Socket a(fds[0]), b(fds[1]);
  Socket::Result result = Socket::Result::Ok;
  std::thread waiter([&] {
    char c;
    std::string error;
    result = b.receiveAll(&c, 1, -1, error);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  b.shutdown();
  waiter.join();
  EXPECT_EQ(result, Socket::Result::Closed);
}

TEST(Socket, PeerCloseIsReportedAsClosed) {
  int fds[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
  Socket a(fds[0]), b(fds[1]);
  a.close();
  char c;
  std::string error;
  EXPECT_EQ(b.receiveAll(&c, 1, 1000, error), Socket::Result::Closed);
  EXPECT_EQ(b.waitReadable(1000, error), Socket::Result::Ok);  // end of stream reads as readable
}
