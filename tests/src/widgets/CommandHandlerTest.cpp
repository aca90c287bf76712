// The command channel: commands reach the sender one by one in the order pushed, "NOOP" ends
// the command thread, and destroying the handler never hangs.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include <memory>
#include <thread>

#include "CommandQueue.h"
#include "ServerProcess.h"
#include "ServerConnection.h"
#include "ServerCommandSender.h"
#include "VRWidgetCommandHandler.h"

namespace {

// Records what the command thread sends. A gate can hold the thread inside a send, so a test
// can look at the queue while a command is in flight.
class RecordingSender : public ServerCommandSender {
 public:
  bool sendCommand(const std::string& command, const Properties& arguments, Properties& reply) override {
    std::unique_lock<std::mutex> lock(_mutex);
    _sent.push_back(command + (arguments.hasName("n") ? ":" + std::to_string(arguments.getInt("n")) : ""));
    _changed.notify_all();
    _changed.wait(lock, [this] { return _open; });
    return true;
  }
  ServerConnection* getServerConnection() const override { return nullptr; }
  // Opens the gate for good.
  void interrupt() override {
    std::lock_guard<std::mutex> lock(_mutex);
    _interrupted = true;
    _open = true;
    _changed.notify_all();
  }
  bool interrupted() {
    std::lock_guard<std::mutex> lock(_mutex);
    return _interrupted;
  }

  void close() {
    std::lock_guard<std::mutex> lock(_mutex);
    _open = false;
  }
  void open() {
    std::lock_guard<std::mutex> lock(_mutex);
    _open = true;
    _changed.notify_all();
  }
  void waitForSends(size_t count) {
    std::unique_lock<std::mutex> lock(_mutex);
    _changed.wait(lock, [&] { return _sent.size() >= count; });
  }
  std::vector<std::string> sent() {
    std::lock_guard<std::mutex> lock(_mutex);
    return _sent;
  }

 private:
  std::mutex _mutex;
  std::condition_variable _changed;
  std::vector<std::string> _sent;
  bool _open = true;
  bool _interrupted = false;
};

ServerCommand command(const std::string& name, int n = -1) {
  ServerCommand c;
  c.command = name;
  if (n >= 0) c.arguments.set("n", n);
  return c;
}

}  // namespace

TEST(CommandQueue, HandsOutEntriesOldestFirstAndAnEmptyOneWhenEmpty) {
  CommandQueue queue;
  EXPECT_TRUE(queue.tryPop().isEmpty());
  queue.push(command("A"));
  queue.push(command("B"));
  EXPECT_TRUE(queue.hasPending());
  EXPECT_EQ(queue.pop().command, "A");
  EXPECT_EQ(queue.tryPop().command, "B");
  EXPECT_FALSE(queue.hasPending());
  // Surplus counts of the semaphore only cost empty rounds: a later push is still popped.
  queue.push(command("C"));
  EXPECT_EQ(queue.pop().command, "C");
}

TEST(CommandQueue, PushIfEmptyKeepsAtMostOneWaitingEntry) {
  CommandQueue queue;
  EXPECT_TRUE(queue.pushIfEmpty(command("A")));
  EXPECT_FALSE(queue.pushIfEmpty(command("B")));
  EXPECT_EQ(queue.size(), 1u);
  EXPECT_EQ(queue.pop().command, "A");
  EXPECT_TRUE(queue.pushIfEmpty(command("B")));
}

TEST(VRWidgetCommandHandler, SendsCommandsInTheOrderPushed) {
  RecordingSender sender;
  {
    VRWidgetCommandHandler handler(&sender);
    for (int i = 0; i < 3; ++i) handler.push(command("HighlightParts", i));
    EXPECT_TRUE(handler.start());
    EXPECT_FALSE(handler.start());
    handler.push(command("DeletePointPart", 3));
    sender.waitForSends(4);
  }
  EXPECT_EQ(sender.sent(), (std::vector<std::string>{"HighlightParts:0", "HighlightParts:1", "HighlightParts:2",
                                                     "DeletePointPart:3"}));
}

TEST(VRWidgetCommandHandler, PushIfEmptyWhileACommandIsInFlight) {
  RecordingSender sender;
  sender.close();
  VRWidgetCommandHandler handler(&sender);
  handler.start();
  handler.push(command("First"));
  sender.waitForSends(1);  // taken out of the queue, held inside the send
  EXPECT_FALSE(handler.hasPending());
  EXPECT_TRUE(handler.pushIfEmpty(command("Second")));
  EXPECT_FALSE(handler.pushIfEmpty(command("Third")));
  EXPECT_TRUE(handler.hasPending());
  sender.open();
  sender.waitForSends(2);
  EXPECT_EQ(sender.sent(), (std::vector<std::string>{"First", "Second"}));
}

TEST(VRWidgetCommandHandler, NeverStartedHandlerDropsItsQueueUnsent) {
  RecordingSender sender;
  {
    VRWidgetCommandHandler handler(&sender);
    handler.push(command("A"));
    handler.push(command("B"));
  }
  EXPECT_TRUE(sender.sent().empty());
}

TEST(VRWidgetCommandHandler, DestroyingSendsWhatWasQueuedBeforeTheEnd) {
  RecordingSender sender;
  sender.close();
  {
    VRWidgetCommandHandler handler(&sender);
    handler.start();
    handler.push(command("A"));
    sender.waitForSends(1);
    handler.push(command("B"));
    handler.push(command("C"));
    sender.open();
  }
  EXPECT_EQ(sender.sent(), (std::vector<std::string>{"A", "B", "C"}));
}

TEST(VRWidgetCommandHandler, APushedNoopEndsTheThreadAndLaterCommandsStay) {
  RecordingSender sender;
  {
    VRWidgetCommandHandler handler(&sender);
    handler.start();
    handler.push(command("A"));
    handler.push(command("NOOP"));
    handler.push(command("B"));
    sender.waitForSends(1);
    // The destructor's own "NOOP" finds the thread ended; joining returns.
  }
  EXPECT_EQ(sender.sent(), (std::vector<std::string>{"A"}));
}

TEST(VRWidgetCommandHandler, WithoutASenderCommandsAreTakenAndDropped) {
  VRWidgetCommandHandler handler(static_cast<ServerCommandSender*>(nullptr));
  handler.start();
  handler.push(command("A"));
  EXPECT_EQ(handler.getServerConnection(), nullptr);
}

TEST(VRWidgetCommandHandler, SendsOnItsServerConnection) {
  // A connection without a command socket refuses every command at once; the thread goes on.
  ServerConnection connection;
  VRWidgetCommandHandler handler(&connection);
  EXPECT_EQ(handler.getServerConnection(), &connection);
  handler.start();
  handler.push(command("HighlightParts"));
  handler.push(command("DeletePlaneSection"));
}

TEST(VRWidgetCommandHandler, StoppingOnASilentServerEndsAfterTheStopTimeOut) {
  RecordingSender sender;
  sender.close();  // a server that stopped answering: the send hangs until interrupted
  VRWidgetCommandHandler handler(&sender);
  handler.setStopTimeout(100);
  handler.start();
  handler.push(command("HighlightParts"));
  handler.push(command("DeletePointPart"));
  sender.waitForSends(1);
  EXPECT_TRUE(handler.isRunning());
  const auto before = std::chrono::steady_clock::now();
  handler.stopThread();
  const auto took = std::chrono::steady_clock::now() - before;
  EXPECT_FALSE(handler.isRunning());
  EXPECT_LT(took, std::chrono::seconds(2));
  EXPECT_TRUE(sender.interrupted());
  // Once interrupted the rest goes through at once (this sender no longer blocks).
  EXPECT_EQ(sender.sent(), (std::vector<std::string>{"HighlightParts", "DeletePointPart"}));
}

TEST(VRWidgetCommandHandler, StoppingOnAHealthyServerSendsEverythingFirst) {
  RecordingSender sender;
  VRWidgetCommandHandler handler(&sender);
  handler.setStopTimeout(5000);
  handler.start();
  for (int i = 0; i < 20; ++i) handler.push(command("Q", i));
  handler.stopThread();
  EXPECT_EQ(sender.sent().size(), 20u);
  EXPECT_FALSE(handler.isRunning());
}

TEST(VRWidgetCommandHandler, DetachedHandlerNamesNoConnection) {
  ServerConnection connection;
  VRWidgetCommandHandler handler(&connection);
  handler.start();
  handler.stopThread();
  handler.detachConnection();
  EXPECT_EQ(handler.getServerConnection(), nullptr);
  handler.push(command("HighlightParts"));  // taken, never sent
  EXPECT_FALSE(handler.isRunning());
}

// The stand-in server answers no "HighlightParts": the command thread gives that reply up after
// the connection's time-out and sends what follows; the end waits no longer than its bound.
TEST(VRWidgetCommandHandler, APartCommandTheServerNeverAnswersHoldsNeitherTheThreadNorTheEnd) {
  ServerProcess server;
  std::string error;
  ASSERT_TRUE(server.start({"--scene", "Alpha:1", "--fault", "silent=HighlightParts#1"}, error)) << error;
  ServerConnection connection;
  Properties reply;
  ASSERT_TRUE(connection.createCommandSocket("127.0.0.1", server.port(), reply));
  connection.setTimeout(300);
  auto handler = std::make_unique<VRWidgetCommandHandler>(&connection);
  handler->setStopTimeout(500);
  ASSERT_TRUE(handler->start());
  Properties highlight;
  highlight.set("Scene", "Alpha");
  highlight.set("Parts", std::vector<std::string>{"PointPart 1"});
  handler->push(ServerCommand{"HighlightParts", highlight});
  handler->push(ServerCommand{"HighlightParts", highlight});
  // Both leave the queue although the first gets no answer.
  for (int i = 0; i < 100 && handler->hasPending(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_FALSE(handler->hasPending());
  handler->push(ServerCommand{"HighlightParts", highlight});
  const auto before = std::chrono::steady_clock::now();
  handler.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(2));
}
