#pragma once
// A scripted peer for connection tests: listens on a free loopback port and runs the handler on a
// thread of its own for every accepted socket. The destructor shuts every socket down and joins.
#include <atomic>
#include <functional>
#include <list>
#include <mutex>
#include <set>
#include <thread>

#include "FrameChannel.h"
#include "ListenSocket.h"

class FakeServer {
 public:
  using Handler = std::function<void(FrameChannel&)>;

  explicit FakeServer(Handler handler);
  ~FakeServer();
  int port() const { return _port; }

  // A loopback port that nothing listens on (bound, then released).
  static int unusedPort();
  // Reads the Hello and answers with the welcome; false when no Hello came.
  static bool greet(FrameChannel& channel, const Properties& welcome, Properties* hello = nullptr);
  // Greets a command socket with the connection value.
  static bool greetCommand(FrameChannel& channel, int64_t connectionId = 0x123456789ABCLL);
  // Reads one command; false when the socket ended.
  static bool readCommand(FrameChannel& channel, MessageFrame& command);
  static bool reply(FrameChannel& channel, const MessageFrame& command, const Properties& body);
  // Serves one socket of a client: a command socket is greeted with the connection value and
  // its commands are read (unanswered) until it ends; a notification socket is greeted and
  // handed to notify.
  static void serveRoles(FrameChannel& channel, int64_t connectionId,
                         const std::function<void(FrameChannel&)>& notify);

 private:
  void acceptLoop();

  Handler _handler;
  ListenSocket _listener;
  int _port = -1;
  std::atomic<bool> _stopping{false};
  std::mutex _mutex;  // guards _channels and _threads
  std::set<FrameChannel*> _channels;
  std::list<std::thread> _threads;
  std::thread _acceptThread;
};
