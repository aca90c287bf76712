// The one-slot state queue, the updater's throttle and shut-down, and the listener's store, with
// a hand-made service where the real one cannot misbehave on purpose.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <thread>

#include <vtkNew.h>
#include <vtkUnsignedCharArray.h>

#include "CVRStateListener.h"
#include "CVRStateUpdater.h"
#include "FrameChannel.h"
#include "ListenSocket.h"
#include "ServerConnection.h"
#include "StateQueue.h"
#include "VrTestSupport.h"
#include "zeltvtk/ArrayFrame.h"

namespace {

bool waitFor(const std::function<bool()>& condition, int timeoutMs = 3000) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (std::chrono::steady_clock::now() < end) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return condition();
}

std::unique_ptr<kvg::VRState> clientState(double marker) {
  auto s = std::make_unique<kvg::VRClientState>();
  s->setModelScale(marker);
  return s;
}

// A service that greets, hands out ids and then does what the test says with the connection.
// The test's part may hold() the connection: that ends when the service goes, so a failed
// assertion cannot leave it waiting.
class FakeService {
 public:
  explicit FakeService(std::function<void(Socket&)> after) : _after(std::move(after)) {
    std::string error;
    EXPECT_TRUE(_listener.listen("127.0.0.1", 0, error)) << error;
    _thread = std::thread([this] { serve(); });
  }
  ~FakeService() {
    _done = true;
    _listener.shutdown();
    _thread.join();
  }
  int port() const { return _listener.port(); }
  // Waits until done().
  void hold() const {
    while (!_done) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }

 private:
  void serve() {
    Socket socket;
    std::string error;
    if (_listener.accept(socket, 5000, error) != Socket::Result::Ok) return;
    FrameChannel channel(std::move(socket));
    MessageFrame hello;
    if (channel.read(hello, 2000, 2000, error) != FrameChannel::Status::Ok) return;
    channel.write(MessageFrame(MessageFrame::Welcome, "Welcome", Properties()), 2000, error);
    if (!zeltvtk::Handshake::initiate(channel.socket(), 2000, error)) return;
    _after(channel.socket());
  }
  ListenSocket _listener;
  std::function<void(Socket&)> _after;
  std::thread _thread;
  std::atomic<bool> _done{false};
};

void sendArray(Socket& socket, const std::string& name, const std::vector<unsigned char>& bytes) {
  std::string frame, error;
  zeltvtk::ArrayFrame::encode(name, bytes.data(), bytes.size(), 0, frame);
  zeltvtk::ArrayFrame::writeFramed(socket, frame, 2000, error);
}

}  // namespace

TEST(StateQueue, NewestWinsAndTheEndMarkerStays) {
  StateQueue queue;
  queue.push(clientState(1));
  queue.push(clientState(2));
  std::unique_ptr<kvg::VRState> got = queue.waitPop();
  EXPECT_EQ(static_cast<kvg::VRClientState&>(*got).getModelScale(), 2.0);

  queue.push(StateQueue::makeEndMarker());
  queue.push(clientState(3));  // after the end marker: destroyed, never sent
  got = queue.waitPop();
  EXPECT_TRUE(StateQueue::isEndMarker(*got));

  // A waiting updater wakes for the next state.
  std::unique_ptr<kvg::VRState> woken;
  std::thread waiter([&] { woken = queue.waitPop(); });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  queue.push(clientState(4));
  waiter.join();
  EXPECT_EQ(static_cast<kvg::VRClientState&>(*woken).getModelScale(), 4.0);
}

TEST(CVRStateUpdater, ThrottleKeepsOneStatePerIntervalAndIdsStampEveryState) {
  ScopedBaseDir base("timeUntilNextServerUpdate = 0.3\n");
  std::vector<zeltvtk::ArrayMessage> received;
  std::mutex mutex;
  FakeService service([&](Socket& socket) {
    // An ids record without "TS": the states then carry ID 0.
    sendArray(socket, "CID = 4\n", {});
    for (;;) {
      zeltvtk::ArrayMessage m;
      std::string error;
      if (zeltvtk::ArrayFrame::read(socket, m, 3000, 1000, 1 << 20, error) != zeltvtk::ArrayFrame::Status::Ok) return;
      std::lock_guard<std::mutex> lock(mutex);
      received.push_back(m);
    }
  });
  ServerConnection connection;
  connection.setHost("127.0.0.1");
  connection.setPort(service.port());
  connection.setTimeout(1000);
  auto updater = std::make_unique<CVRStateUpdater>();
  updater->setSceneKey("SceneCanvas_7");
  ASSERT_TRUE(updater->connect(connection, 1)) << updater->getLastError();
  EXPECT_EQ(updater->getConnectionIds(), std::make_pair(4u, 0u));
  ASSERT_TRUE(updater->start());
  EXPECT_FALSE(updater->start());
  for (int i = 1; i <= 5; ++i) updater->queueState(clientState(i));  // only the first passes
  std::this_thread::sleep_for(std::chrono::milliseconds(350));
  updater->queueState(clientState(6));
  ASSERT_TRUE(waitFor([&] { return updater->getSentCount() == 2; }));
  updater.reset();  // sends "close"
  ASSERT_TRUE(waitFor([&] {
    std::lock_guard<std::mutex> lock(mutex);
    return received.size() == 4;
  }));
  std::lock_guard<std::mutex> lock(mutex);
  EXPECT_EQ(received[0].name, "SceneCanvas_7");
  for (int i : {1, 2}) {
    kvg::VRClientState s(received[i].bytes.data(), received[i].bytes.size());
    EXPECT_EQ(s.getID(), 0);
    EXPECT_EQ(s.getModelScale(), i == 1 ? 1.0 : 6.0);
  }
  EXPECT_EQ(received[3].name, "close");
  EXPECT_TRUE(received[3].bytes.empty());
}

// The service takes the ids' reply and then never reads again: the updater's destructor still
// returns, after at most one send's time-out, instead of hanging in the join.
TEST(CVRStateUpdater, DestructorReturnsWhenTheServiceStoppedReading) {
  ScopedBaseDir base("timeUntilNextServerUpdate = 0\n");
  std::atomic<FakeService*> self{nullptr};
  FakeService service([&](Socket& socket) {
    sendArray(socket, "CID = 1\nTS = 2\n", {});
    while (!self) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    self.load()->hold();
  });
  self = &service;
  ServerConnection connection;
  connection.setHost("127.0.0.1");
  connection.setPort(service.port());
  connection.setTimeout(300);
  auto updater = std::make_unique<CVRStateUpdater>();
  ASSERT_TRUE(updater->connect(connection, 1));
  ASSERT_TRUE(updater->start());
  for (int i = 1; i <= 3; ++i) {
    auto big = std::make_unique<kvg::VRSharedState>();
    big->setTimeStamp(i);
    big->setSeedPoints(std::vector<double>(1500000, 1.0));  // 12 MB, more than the socket buffers hold
    updater->queueState(std::move(big));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  const auto start = std::chrono::steady_clock::now();
  updater.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
}

TEST(CVRStateUpdater, SilentServiceFailsTheConnectWithinTheTimeout) {
  ScopedBaseDir base;
  std::atomic<FakeService*> self{nullptr};
  FakeService service([&](Socket&) {
    while (!self) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    self.load()->hold();
  });
  self = &service;
  ServerConnection connection;
  connection.setHost("127.0.0.1");
  connection.setPort(service.port());
  connection.setTimeout(200);
  CVRStateUpdater updater;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(updater.connect(connection, 1));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  EXPECT_FALSE(updater.getLastError().empty());
}

TEST(CVRStateListener, StoresTheNewestPerSenderForgetsLeaversAndEmptiesOnStop) {
  auto bytesOf = [](const kvg::VRState& s) {
    vtkNew<vtkUnsignedCharArray> a;
    s.fillArray(a);
    return std::vector<unsigned char>(a->GetPointer(0), a->GetPointer(0) + a->GetNumberOfTuples());
  };
  std::atomic<FakeService*> self{nullptr};
  FakeService service([&](Socket& socket) {
    kvg::VRClientState seven;
    seven.setID(7);
    seven.setModelScale(1);
    sendArray(socket, "", bytesOf(seven));
    seven.setModelScale(2);  // same ID: replaces the first
    sendArray(socket, "", bytesOf(seven));
    kvg::VRClientState eight;
    eight.setID(8);
    sendArray(socket, "", bytesOf(eight));
    sendArray(socket, "", {});                  // no name, no bytes: ignored
    sendArray(socket, "", {1, 2, 3});           // malformed: ignored
    sendArray(socket, "CID = 1\nTS = 3\n", {});  // an ids record: ignored
    kvg::VRSharedState shared;
    shared.setTimeStamp(5);
    shared.setID(8);
    sendArray(socket, "", bytesOf(shared));
    sendArray(socket, "Disconnect = true\nTS = 8\n", {});
    sendArray(socket, "Disconnect = true\nTS = 99\n", {});  // nobody: nothing happens
    while (!self) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    self.load()->hold();
  });
  self = &service;
  ServerConnection connection;
  connection.setHost("127.0.0.1");
  connection.setPort(service.port());
  connection.setTimeout(1000);
  CVRStateListener listener;
  ASSERT_TRUE(listener.connect(connection, 1));
  ASSERT_TRUE(listener.start());
  kvg::VRSharedState shared;
  ASSERT_TRUE(waitFor([&] {
    listener.getSharedState(shared);
    return shared.getTimeStamp() == 5;
  }));
  std::vector<kvg::VRClientState> states;
  ASSERT_TRUE(waitFor([&] {
    listener.getClientStates(states);
    return states.size() == 1;
  }));
  EXPECT_EQ(states[0].getID(), 7);
  EXPECT_EQ(states[0].getModelScale(), 2.0);
  EXPECT_FALSE(listener.isEmpty());

  const auto start = std::chrono::steady_clock::now();
  listener.stop();  // wakes the blocked receive
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
  listener.getSharedState(shared);
  EXPECT_EQ(shared.getTimeStamp(), 0u);
  EXPECT_TRUE(listener.isEmpty());
}
