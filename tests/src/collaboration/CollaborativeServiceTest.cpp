// The collaborative service of the stand-in server with several real participants in this
// process (state updaters and listeners on their own connections): ids, relay rules, echoes,
// stale stamps, newcomers, departures, and a participant that never reads.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <vtkNew.h>
#include <vtkUnsignedCharArray.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "CVRStateListener.h"
#include "CVRStateUpdater.h"
#include "CollabSession.h"
#include "CollaborativeScene.h"
#include "SceneLibrary.h"
#include "ServerConnection.h"
#include "ServerOptions.h"
#include "SimulationServer.h"
#include "VrTestSupport.h"
#include "kvg/DrawableScene.h"
#include "kvg/DrawableScenes.h"
#include "kvg/DrawableSession.h"
#include "kvg/GenericWindowResourceManager.h"
#include "kvg/NodeRegistry.h"
#include "kvg/SceneCanvas.h"
#include "zeltvtk/ArrayFrame.h"
#include "zeltvtk/ClientSocket.h"
#include "zeltvtk/Service.h"
#include "zeltvtk/SocketCommunicator.h"

extern char** environ;

namespace {

bool waitFor(const std::function<bool()>& condition, int timeoutMs = 3000) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (std::chrono::steady_clock::now() < end) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return condition();
}

// The stand-in server on a free port, serving on its own thread, and a command connection that
// started its collaborative service.
class LocalServer {
 public:
  explicit LocalServer(int timeoutMs = 1000, bool collaboration = true, std::vector<FaultPlan::Rule> faults = {}) {
    _options.port = 0;
    _options.timeoutMs = timeoutMs;
    _options.collaboration = collaboration;
    _options.faults = faults;
    _scenes.addGenerated("Orbit", 2);
    _server = std::make_unique<SimulationServer>(_options, _scenes, nullptr);
    std::string error;
    _started = _server->start(error);
    EXPECT_TRUE(_started) << error;
    if (_started) _thread = std::thread([this] { _server->run(); });
    connection.setTimeout(timeoutMs);
    Properties reply;
    EXPECT_TRUE(connection.createCommandSocket("127.0.0.1", _server->port(), reply));
    EXPECT_TRUE(connection.sendCommand("StartCollaborativeVRServer", Properties(), reply));
  }
  ~LocalServer() {
    connection.close();
    _server->stop();
    if (_thread.joinable()) _thread.join();
  }
  int port() const { return _server->port(); }
  int64_t status(const std::string& key) const { return _server->collaboration().status().getInt64(key); }

  ServerConnection connection;

 private:
  ServerOptions _options;
  SceneLibrary _scenes;
  std::unique_ptr<SimulationServer> _server;
  std::thread _thread;
  bool _started = false;
};

// One participant as a collaborative session keeps it: a client-state updater owning the
// sending connection, a shared-state updater borrowing it, and a listener.
struct Peer {
  std::unique_ptr<CVRStateListener> listener = std::make_unique<CVRStateListener>();
  std::unique_ptr<CVRStateUpdater> clients = std::make_unique<CVRStateUpdater>();
  std::unique_ptr<CVRStateUpdater> shared;

  bool join(ServerConnection& connection, int64_t value, const std::string& key) {
    clients->setSceneKey(key);
    if (!clients->connect(connection, value) || !listener->connect(connection, value)) return false;
    shared = std::make_unique<CVRStateUpdater>(*clients);
    listener->start();
    clients->start();
    shared->start();
    return true;
  }
  // In the session's order: the listener, then the owner of the connection, then the borrower.
  void leave() {
    listener.reset();
    clients.reset();
    shared.reset();
  }
  unsigned ts() const { return clients->getConnectionIds().second; }
  unsigned cid() const { return clients->getConnectionIds().first; }
  void sendClient(double marker) {
    auto s = std::make_unique<kvg::VRClientState>();
    s->setModelScale(marker);
    clients->queueState(std::move(s));
  }
  void sendShared(unsigned stamp, double marker) {
    auto s = std::make_unique<kvg::VRSharedState>();
    s->setTimeStamp(stamp);
    s->setParticleStepScale(marker);
    shared->queueState(std::move(s));
  }
  // The client state received from the participant with that TS, or null.
  std::unique_ptr<kvg::VRClientState> clientFrom(unsigned ts) {
    std::vector<kvg::VRClientState> states;
    listener->getClientStates(states);
    for (auto& s : states)
      if (s.getID() == int(ts)) return std::make_unique<kvg::VRClientState>(s);
    return nullptr;
  }
  kvg::VRSharedState sharedState() {
    kvg::VRSharedState s;
    listener->getSharedState(s);
    return s;
  }
};

}  // namespace

TEST(CollaborativeService, IdsRelayRulesEchoAndStaleStamps) {
  ScopedBaseDir base("timeUntilNextServerUpdate = 0\n");
  LocalServer server;
  Peer a, b, c, other;
  ASSERT_TRUE(a.join(server.connection, 11, "SceneCanvas_1")) << a.clients->getLastError();
  ASSERT_TRUE(b.join(server.connection, 22, "SceneCanvas_1"));
  ASSERT_TRUE(c.join(server.connection, 33, "SceneCanvas_1"));
  ASSERT_TRUE(other.join(server.connection, 44, "SceneCanvas_2"));
  std::set<unsigned> ts = {a.ts(), b.ts(), c.ts(), other.ts()};
  EXPECT_EQ(ts.size(), 4u);
  EXPECT_EQ(ts.count(0), 0u) << "0 means no participant";
  EXPECT_EQ(std::set<unsigned>({a.cid(), b.cid(), c.cid(), other.cid()}), std::set<unsigned>({0, 1, 2, 3}));
  EXPECT_EQ(b.shared->getConnectionIds(), b.clients->getConnectionIds());

  // A client state goes to the others of the scene, stamped with its sender's TS.
  a.sendClient(2.5);
  ASSERT_TRUE(waitFor([&] { return b.clientFrom(a.ts()) && c.clientFrom(a.ts()); }));
  EXPECT_EQ(b.clientFrom(a.ts())->getModelScale(), 2.5);
  // A shared state goes to everyone of the scene, its sender included.
  a.sendShared(1, 0.75);
  ASSERT_TRUE(waitFor([&] {
    return a.sharedState().getTimeStamp() == 1 && b.sharedState().getTimeStamp() == 1 &&
           c.sharedState().getTimeStamp() == 1;
  }));
  EXPECT_EQ(a.sharedState().getID(), int(a.ts()));
  EXPECT_EQ(c.sharedState().getParticleStepScale(), 0.75);
  // Stamps not newer than the scene's are refused.
  b.sendShared(1, 9.0);
  ASSERT_TRUE(waitFor([&] { return server.status("RefusedStale") == 1; }));
  b.sendShared(2, 3.0);
  ASSERT_TRUE(waitFor([&] { return a.sharedState().getTimeStamp() == 2; }));
  EXPECT_EQ(a.sharedState().getParticleStepScale(), 3.0);
  EXPECT_EQ(a.sharedState().getID(), int(b.ts()));

  // Nothing crosses to another scene, and nobody gets its own client state back.
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_TRUE(other.listener->isEmpty());
  EXPECT_EQ(other.sharedState().getTimeStamp(), 0u);
  EXPECT_FALSE(a.clientFrom(a.ts()));
  EXPECT_EQ(server.status("Participants"), 4);
  EXPECT_EQ(server.status("Stamp:SceneCanvas_1"), 2);
}

TEST(CollaborativeService, NewcomerGetsTheSceneAndLeaversAreAnnounced) {
  ScopedBaseDir base("timeUntilNextServerUpdate = 0\n");
  LocalServer server;
  Peer a, b;
  ASSERT_TRUE(a.join(server.connection, 1, "K"));
  ASSERT_TRUE(b.join(server.connection, 2, "K"));
  a.sendClient(1.5);
  b.sendClient(4.0);
  a.sendShared(1, 0.25);
  ASSERT_TRUE(waitFor([&] { return b.sharedState().getTimeStamp() == 1 && b.clientFrom(a.ts()); }));
  const unsigned aTS = a.ts(), bTS = b.ts();

  Peer newcomer;
  ASSERT_TRUE(newcomer.join(server.connection, 3, "K"));
  ASSERT_TRUE(waitFor([&] {
    return newcomer.sharedState().getTimeStamp() == 1 && newcomer.clientFrom(aTS) && newcomer.clientFrom(bTS);
  }));
  EXPECT_EQ(newcomer.clientFrom(bTS)->getModelScale(), 4.0);
  EXPECT_EQ(newcomer.sharedState().getParticleStepScale(), 0.25);

  // "close": the others drop the participant's state.
  a.leave();
  ASSERT_TRUE(waitFor([&] { return !b.clientFrom(aTS) && !newcomer.clientFrom(aTS); }));
  EXPECT_EQ(server.status("Participants"), 2);
  // A TS is never handed out again, and the colour comes free.
  Peer again;
  ASSERT_TRUE(again.join(server.connection, 1, "K"));
  EXPECT_GT(again.ts(), newcomer.ts());
  EXPECT_NE(again.ts(), aTS);
}

// A participant in another process that connects, sends a client state and waits to be killed.
TEST(CollaborativeServiceChild, Participant) {
  const char* port = std::getenv("QUONIX_COLLAB_CHILD_PORT");
  if (!port) GTEST_SKIP() << "run by KilledParticipantIsAnnounced";
  ScopedBaseDir base("timeUntilNextServerUpdate = 0\n");
  ServerConnection connection;
  ASSERT_TRUE(connection.createCommandSocket("127.0.0.1", std::atoi(port)));
  Peer p;
  ASSERT_TRUE(p.join(connection, 99, "K"));
  p.sendClient(7.0);
  for (;;) std::this_thread::sleep_for(std::chrono::seconds(1));
}

TEST(CollaborativeService, KilledParticipantIsAnnounced) {
  ScopedBaseDir base("timeUntilNextServerUpdate = 0\n");
  LocalServer server;
  Peer watcher;
  ASSERT_TRUE(watcher.join(server.connection, 1, "K"));

  const std::string portText = "QUONIX_COLLAB_CHILD_PORT=" + std::to_string(server.port());
  std::vector<char*> env;
  for (char** e = environ; *e; ++e) env.push_back(*e);
  env.push_back(const_cast<char*>(portText.c_str()));
  env.push_back(nullptr);
  char filter[] = "--gtest_filter=CollaborativeServiceChild.Participant";
  char self[] = "/proc/self/exe";
  char* argv[] = {self, filter, nullptr};
  pid_t child = 0;
  ASSERT_EQ(posix_spawn(&child, "/proc/self/exe", nullptr, nullptr, argv, env.data()), 0);

  std::vector<kvg::VRClientState> states;
  ASSERT_TRUE(waitFor([&] {
    watcher.listener->getClientStates(states);
    return states.size() == 1;
  }, 10000));
  EXPECT_EQ(states[0].getModelScale(), 7.0);
  ::kill(child, SIGKILL);
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_TRUE(waitFor([&] { return watcher.listener->isEmpty(); }));
  EXPECT_EQ(server.status("Participants"), 1);
}

TEST(CollaborativeService, ForeignIdsAndMalformedStatesAreDropped) {
  ScopedBaseDir base("timeUntilNextServerUpdate = 0\n");
  LocalServer server;
  Peer watcher;
  ASSERT_TRUE(watcher.join(server.connection, 1, "K"));

  // A raw participant that writes its own arrays.
  auto socket = zeltvtk::connectToService(5, "127.0.0.1", server.port(), "CollaborativeVRServer", 1000);
  ASSERT_TRUE(socket);
  vtkNew<zeltvtk::SocketCommunicator> raw;
  raw->SetSocket(socket);
  ASSERT_EQ(raw->ServerSideHandshake(), 1);
  vtkNew<vtkUnsignedCharArray> array;
  ASSERT_EQ(raw->Receive(array, 1, 0), 1);
  Properties ids;
  ASSERT_TRUE(Properties::fromText(array->GetName(), ids));
  const int ts = ids.getInt("TS");
  array->SetName("K");
  array->SetNumberOfTuples(0);
  ASSERT_EQ(raw->Send(array, 1, 0), 1);

  kvg::VRClientState state;
  array->SetName("");
  state.setID(ts + 1);  // not its own TS
  state.fillArray(array);
  ASSERT_EQ(raw->Send(array, 1, 0), 1);
  array->SetNumberOfTuples(100);  // a client state cut short
  array->SetValue(0, 1);
  ASSERT_EQ(raw->Send(array, 1, 0), 1);
  array->SetNumberOfTuples(0);  // no name, no bytes
  ASSERT_EQ(raw->Send(array, 1, 0), 1);
  state.setID(ts);
  state.setModelScale(6.0);
  state.fillArray(array);
  ASSERT_EQ(raw->Send(array, 1, 0), 1);
  ASSERT_TRUE(waitFor([&] { return !watcher.listener->isEmpty(); }));
  EXPECT_EQ(watcher.clientFrom(ts)->getModelScale(), 6.0);
  EXPECT_FALSE(watcher.clientFrom(ts + 1));
  EXPECT_EQ(server.status("RefusedForeignId"), 1);
  EXPECT_EQ(server.status("Malformed"), 1);
  EXPECT_EQ(server.status("RelayedClientStates"), 1);
}

TEST(CollaborativeService, AParticipantThatNeverReadsIsDroppedWithoutStallingTheOthers) {
  ScopedBaseDir base("timeUntilNextServerUpdate = 0\n");
  LocalServer server(500);
  Peer sender, reader;
  ASSERT_TRUE(sender.join(server.connection, 1, "K"));
  ASSERT_TRUE(reader.join(server.connection, 2, "K"));
  // Connected, but its listener thread never runs: nothing is read from its connection.
  CVRStateUpdater stuckSender;
  stuckSender.setSceneKey("K");
  CVRStateListener stuck;
  ASSERT_TRUE(stuckSender.connect(server.connection, 3));
  ASSERT_TRUE(stuck.connect(server.connection, 3));

  // Large shared states fill the stuck participant's socket buffers within a few; they go on
  // until the service drops it (a generous deadline: a slow machine takes long per state).
  std::vector<double> big(200000, 1.0);
  const auto start = std::chrono::steady_clock::now();
  unsigned stamp = 0;
  bool dropped = false;
  while (std::chrono::steady_clock::now() - start < std::chrono::seconds(120)) {
    auto s = std::make_unique<kvg::VRSharedState>();
    s->setTimeStamp(++stamp);
    s->setSeedPoints(big);
    sender.shared->queueState(std::move(s));
    // The reading participant receives every state all the while: a service that waited on the
    // stuck one for good would hold it back past any deadline.
    ASSERT_TRUE(waitFor([&] { return reader.sharedState().getTimeStamp() == stamp; }, 20000)) << "stamp " << stamp;
    if (server.status("DroppedReceivers") >= 1) {
      dropped = true;
      break;
    }
  }
  EXPECT_TRUE(dropped);
  EXPECT_TRUE(waitFor([&] { return server.status("Participants") == 2; }, 20000));
  // The others go on.
  sender.sendClient(3.0);
  EXPECT_TRUE(waitFor([&] { return reader.clientFrom(sender.ts()) != nullptr; }, 20000));
}

TEST(CollabSession, ConnectsWithDebugAvatarsAndFailsOnASilentService) {
  {
    ScopedBaseDir base("numDebugAvatars = 2\n");
    LocalServer server;
    CollabSession session;
    session.reset();
    session.setSceneKey("K");
    ASSERT_TRUE(session.connect(server.connection));
    EXPECT_TRUE(session.isReady());
    EXPECT_GT(session.getTS(), 0u);
    session.startThreads();
    EXPECT_EQ(server.status("Participants"), 3);
    // The debug avatars' ids are theirs, not the session's.
    EXPECT_NE(session.getDebugUpdaters()[0]->getConnectionIds().second, session.getTS());
    session.reset();
    EXPECT_FALSE(session.isReady());
    EXPECT_TRUE(waitFor([&] { return server.status("Participants") == 0; }));
  }
  {
    ScopedBaseDir base;
    FaultPlan::Rule silentIds;
    std::string error;
    ASSERT_TRUE(FaultPlan::parseRule("silent=:collaborative-ids", silentIds, error)) << error;
    LocalServer server(300, true, {silentIds});
    CollabSession session;
    session.setSceneKey("K");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(session.connect(server.connection));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    EXPECT_FALSE(session.isConnected());
    EXPECT_EQ(session.getTS(), 0u);
    session.startThreads();
  }
  {
    ScopedBaseDir base;
    LocalServer server(1000, false);
    CollabSession session;
    EXPECT_FALSE(session.connect(server.connection));
    EXPECT_NE(session.getClientStateUpdater()->getLastError().find("not been started"), std::string::npos)
        << session.getClientStateUpdater()->getLastError();
  }
}

TEST(CollaborativeService, SixteenColoursAreHandedOutAndComeFreeAgain) {
  ScopedBaseDir base("timeUntilNextServerUpdate = 0\n");
  LocalServer server;
  std::vector<std::unique_ptr<CVRStateUpdater>> peers;
  std::set<unsigned> colours;
  for (int i = 0; i < 16; ++i) {
    peers.push_back(std::make_unique<CVRStateUpdater>());
    peers.back()->setSceneKey("K");
    ASSERT_TRUE(peers.back()->connect(server.connection, 100 + i));
    colours.insert(peers.back()->getConnectionIds().first);
  }
  EXPECT_EQ(colours.size(), 16u);
  EXPECT_EQ(*colours.rbegin(), 15u);
  const unsigned freed = peers[5]->getConnectionIds().first;
  peers[5].reset();  // never started: its connection just closes
  ASSERT_TRUE(waitFor([&] { return server.status("Participants") == 15; }));
  CVRStateUpdater next;
  next.setSceneKey("K");
  ASSERT_TRUE(next.connect(server.connection, 200));
  EXPECT_EQ(next.getConnectionIds().first, freed);
  EXPECT_EQ(next.getConnectionIds().second, 17u);
}

namespace {

// The interaction layer's side of a session, reduced to a list of seed points that a shared
// state carries both ways; counts what the session asks of it.
struct SeedOnlyScene : CollaborativeScene {
  std::vector<double> seeds;
  int applied = 0;
  size_t peers = 0;
  void storeScene(VRInteractionState&, kvg::VRSharedState& shared, kvg::DrawableSession*) override {
    shared.setSeedPoints(seeds);
  }
  void applySharedState(VRInteractionState&, const kvg::VRSharedState& shared, vtkRenderer*, OpenVRRenderWindow&,
                        kvg::DrawableSession*, const ShareableStateMask&) override {
    seeds = shared.getSeedPoints();
    ++applied;
  }
  void applyClientStates(VRInteractionState&, const std::vector<kvg::VRClientState>& clients, OpenVRRenderWindow&,
                         kvg::DrawableScene&, const ShareableStateMask&) override {
    peers = clients.size();
  }
  void fillClientState(VRInteractionState&, kvg::VRClientState& client, kvg::DrawableSession*) override {
    const double none[9] = {kvg::VRClientState::NO_TOOL, kvg::VRClientState::NO_TOOL, kvg::VRClientState::NO_TOOL,
                            kvg::VRClientState::NO_TOOL, kvg::VRClientState::NO_TOOL, kvg::VRClientState::NO_TOOL,
                            kvg::VRClientState::NO_TOOL, kvg::VRClientState::NO_TOOL, kvg::VRClientState::NO_TOOL};
    client.setSeedPoint(none);
    client.setClipPlane(none);
    client.setPlaneSection(none);
  }
  void headPose(const VRInteractionState&, double pose[16]) override {
    for (int i = 0; i < 16; ++i) pose[i] = i % 5 == 0 ? 1.0 : 0.0;
  }
};

// A scene with a model renderer (no window), as the frame operations require.
struct ModelScene {
  ModelScene() : session(new kvg::DrawableSession(777, -1)) {
    kvg::Ptr<kvg::SceneCanvas> canvas(new kvg::SceneCanvas);
    const std::string key = session->getNodeRegistry().addNode(canvas);
    scene = session->getDrawableScenes().createScene(std::unique_ptr<kvg::GenericWindowResourceManager>(), key);
    scene->update(false);
  }
  std::unique_ptr<kvg::DrawableSession> session;
  kvg::DrawableScene* scene = nullptr;
};

// One program's collaborative session on its own server connection.
struct Participant {
  explicit Participant(int port) {
    Properties reply;
    connection.setTimeout(1000);
    EXPECT_TRUE(connection.createCommandSocket("127.0.0.1", port, reply));
    session.setScene(&scene);
    session.setSceneKey("SceneCanvas_1");
  }
  bool join() {
    if (!session.connect(connection)) return false;
    session.startThreads();
    return true;
  }
  // One rendered frame. The fake scene touches neither the interaction state nor the window,
  // so the frame operations get stand-in references that are never used.
  void frame(ModelScene& model) {
    session.applyRemoteState(*reinterpret_cast<VRInteractionState*>(unused),
                             *reinterpret_cast<OpenVRRenderWindow*>(unused), *model.scene);
    session.publishLocalState(*reinterpret_cast<VRInteractionState*>(unused), *model.scene);
  }
  ServerConnection connection;
  SeedOnlyScene scene;
  CollabSession session;
  alignas(16) unsigned char unused[16] = {};
};

}  // namespace

// Shared states between two sessions: the first state received is applied, a late joiner's empty
// scene does not wipe the others' seeds, own echoes are not applied, two sessions with masks that
// do not contain each other fall silent, and widening a mask applies the next state again.
TEST(CollabSession, SharedStatesApplyWhenNewerAndFallSilentWhenIdle) {
  ScopedBaseDir base;
  LocalServer server;
  ModelScene sceneA, sceneB;
  Participant a(server.port()), b(server.port());
  a.scene.seeds = {9, 9, 9};
  a.session.setShareMask(ShareableStateMask(true, false, false, false, false, false));
  b.session.setShareMask(ShareableStateMask(false, false, true, false, false, false));
  ASSERT_TRUE(a.join());
  auto frames = [&](int count, bool withB) {
    for (int i = 0; i < count; ++i) {
      a.frame(sceneA);
      if (withB) b.frame(sceneB);
      std::this_thread::sleep_for(std::chrono::milliseconds(4));
    }
  };
  frames(40, false);
  // The first state received is applied, even A's own (it equals the scene).
  EXPECT_EQ(a.scene.applied, 1);
  // A's later states come back as echoes: kept, not applied.
  a.scene.seeds = {1, 2, 3};
  frames(40, false);
  EXPECT_EQ(a.scene.applied, 1);
  EXPECT_EQ(a.scene.seeds, (std::vector<double>{1, 2, 3}));

  ASSERT_TRUE(b.join());
  frames(80, true);
  EXPECT_EQ(b.scene.seeds, (std::vector<double>{1, 2, 3})) << "the late joiner took the scene";
  EXPECT_EQ(a.scene.seeds, (std::vector<double>{1, 2, 3})) << "the late joiner's empty scene wiped the seeds";
  EXPECT_EQ(a.scene.peers, 1u);
  EXPECT_EQ(b.scene.peers, 1u);

  // Idle: the masks differ, but neither republishes for it.
  const uint64_t sentA = a.session.publishedSharedStates(), sentB = b.session.publishedSharedStates();
  const auto start = std::chrono::steady_clock::now();
  frames(100, true);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const uint64_t idle = a.session.publishedSharedStates() - sentA + b.session.publishedSharedStates() - sentB;
  std::cout << "idle shared states: " << idle / seconds << " per second" << std::endl;
  EXPECT_EQ(idle, 0u);

  // A change at B reaches A once.
  b.scene.seeds = {1, 2, 3, 4, 5, 6};
  const auto changed = std::chrono::steady_clock::now();
  for (int i = 0; i < 200 && a.scene.seeds != b.scene.seeds; ++i) frames(1, true);
  std::cout << "a change at B applied at A after "
            << std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - changed).count()
            << " ms (frames 4 ms apart)" << std::endl;
  frames(20, true);
  EXPECT_EQ(a.scene.seeds, b.scene.seeds);
  const int appliedAtA = a.scene.applied;

  // Widening A's mask applies the next received state even though it did not change.
  a.session.setShareMask(ShareableStateMask(true, false, true, false, false, false));
  b.scene.seeds.push_back(7);
  b.scene.seeds.push_back(8);
  b.scene.seeds.push_back(9);
  frames(60, true);
  EXPECT_GT(a.scene.applied, appliedAtA);
  EXPECT_EQ(a.scene.seeds, b.scene.seeds);
}

// A crowd: hundreds of participants join four scenes from several threads at once and never
// read their receiving connections, while one participant floods its scene with large states
// (so silent receivers fall behind and are dropped while states are being relayed). The
// service survives it; a full scene refuses the next participant with a reason its listener
// gets; the participants that read go on, and newcomers still see each other.
TEST(CollaborativeService, SurvivesACrowdAndRefusesTheSixtyFifthOfAScene) {
  ScopedBaseDir base("timeUntilNextServerUpdate = 0\n");
  // Time-outs long enough that a loaded or sanitizer-slowed machine still greets every joiner
  // and never stalls the talker's frames that long; silent receivers are dropped after them.
  LocalServer server(2000);
  Peer talker, reader;
  ASSERT_TRUE(talker.join(server.connection, 1, "K0"));
  ASSERT_TRUE(reader.join(server.connection, 2, "K0"));
  std::atomic<bool> flooding{true};
  std::thread flood([&] {
    const std::vector<double> big(60000, 1.0);
    unsigned stamp = 0;
    while (flooding) {
      auto s = std::make_unique<kvg::VRSharedState>();
      s->setTimeStamp(++stamp);
      s->setSeedPoints(big);
      talker.shared->queueState(std::move(s));
      talker.sendClient(double(stamp));
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  });

  struct Silent {
    CVRStateUpdater sender;
    CVRStateListener receiver;  // connected, never started: nothing is read
  };
  constexpr int kCrowd = 300, kJoiners = 6;
  std::vector<std::unique_ptr<Silent>> crowd(kCrowd);
  std::vector<std::thread> joiners;
  for (int t = 0; t < kJoiners; ++t)
    joiners.emplace_back([&, t] {
      for (int i = t; i < kCrowd; i += kJoiners) {
        auto s = std::make_unique<Silent>();
        s->sender.setSceneKey("K" + std::to_string(i % 4));
        if (s->sender.connect(server.connection, 1000 + i)) s->receiver.connect(server.connection, 1000 + i);
        crowd[size_t(i)] = std::move(s);
      }
    });
  for (auto& joiner : joiners) joiner.join();

  // Scene K1 (which nobody floods, so nobody leaves it) is full: the next one hears why.
  Peer late;
  ASSERT_TRUE(late.join(server.connection, 5000, "K1"));
  EXPECT_TRUE(waitFor([&] { return late.listener->refusal().find("64 participants") != std::string::npos; }, 10000))
      << late.listener->refusal();
  EXPECT_GT(server.status("Refused"), 0);
  // No scene holds more than 64. (Refused participants whose receiving connection did not come
  // in time are still present until their sending connection closes, so the total may be more.)
  EXPECT_EQ(server.status("Members:K1"), 64);
  for (const char* key : {"Members:K0", "Members:K2", "Members:K3"}) EXPECT_LE(server.status(key), 64) << key;
  // The flood fills the silent receivers' sockets; each is dropped once a write stays blocked.
  EXPECT_TRUE(waitFor([&] { return server.status("DroppedReceivers") > 0; }, 60000));

  flooding = false;
  flood.join();
  crowd.clear();
  // The reading participant kept up and still hears the talker.
  talker.sendClient(42.0);
  EXPECT_TRUE(waitFor([&] {
    auto s = reader.clientFrom(talker.ts());
    return s && s->getModelScale() == 42.0;
  }, 30000));
  Peer a, b;
  ASSERT_TRUE(a.join(server.connection, 6001, "Fresh"));
  ASSERT_TRUE(b.join(server.connection, 6002, "Fresh"));
  a.sendClient(3.0);
  b.sendClient(4.0);
  EXPECT_TRUE(waitFor([&] { return a.clientFrom(b.ts()) && b.clientFrom(a.ts()); }, 30000));
  EXPECT_TRUE(late.listener->isEmpty());
}

namespace {

// A participant that writes and reads the service's bytes itself: frames packed into one write,
// cut across writes, or left unfinished.
struct RawParticipant {
  vtkSmartPointer<zeltvtk::ClientSocket> out, in;
  vtkNew<zeltvtk::SocketCommunicator> outChannel, inChannel;
  unsigned ts = 0;

  bool connect(int port, int64_t value) {
    auto greet = [&](vtkSmartPointer<zeltvtk::ClientSocket>& socket, zeltvtk::SocketCommunicator& channel) {
      socket = zeltvtk::connectToService(value, "127.0.0.1", port, "CollaborativeVRServer", 5000);
      if (!socket) return false;
      channel.SetSocket(socket);
      vtkNew<vtkUnsignedCharArray> ids;
      Properties record;
      if (channel.ServerSideHandshake() != 1 || channel.Receive(ids, 1, 0) != 1 ||
          !Properties::fromText(ids->GetName(), record))
        return false;
      ts = unsigned(record.getInt("TS"));
      return true;
    };
    return greet(out, *outChannel) && greet(in, *inChannel);
  }
  void send(const std::string& bytes) {
    ASSERT_EQ(::send(out->GetSocketDescriptor(), bytes.data(), bytes.size(), MSG_NOSIGNAL), ssize_t(bytes.size()));
  }
  // Exactly `size` bytes from the receiving connection; fewer when it ends or nothing comes in 10 s.
  std::string read(size_t size) {
    std::string got;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (got.size() < size && std::chrono::steady_clock::now() < end) {
      pollfd fd{in->GetSocketDescriptor(), POLLIN, 0};
      if (::poll(&fd, 1, 100) <= 0) continue;
      char buffer[4096];
      const ssize_t n = ::recv(fd.fd, buffer, std::min(sizeof buffer, size - got.size()), 0);
      if (n <= 0) break;
      got.append(buffer, size_t(n));
    }
    return got;
  }
};

std::string frameOf(const std::string& name, const std::vector<unsigned char>& bytes, uint32_t tag = 0) {
  std::string frame;
  zeltvtk::ArrayFrame::encode(name, bytes.data(), bytes.size(), tag, frame);
  return frame;
}

std::vector<unsigned char> bytesOf(const kvg::VRState& state) {
  vtkNew<vtkUnsignedCharArray> array;
  state.fillArray(array);
  return std::vector<unsigned char>(array->GetPointer(0), array->GetPointer(0) + array->GetNumberOfTuples());
}

std::vector<unsigned char> clientState(unsigned ts, double marker) {
  kvg::VRClientState state;
  state.setID(int(ts));
  state.setModelScale(marker);
  return bytesOf(state);
}

}  // namespace

// Frames reach the service as the network cuts them: several in one read, one across many reads
// (cut within the header, the name, the bytes, and between one frame's end and the next one's
// start). Each is relayed whole and byte for byte; a sender idle between frames stays, one that
// stops within a frame for longer than the time-out is ended.
TEST(CollaborativeService, PackedAndCutFramesAreRelayedWholeAndAStalledFrameEndsItsSender) {
  ScopedBaseDir base("timeUntilNextServerUpdate = 0\n");
  LocalServer server(300);
  Peer watcher;
  ASSERT_TRUE(watcher.join(server.connection, 1, "K"));
  RawParticipant raw;
  ASSERT_TRUE(raw.connect(server.port(), 5));
  auto markerFrom = [&](double marker) {
    return waitFor([&] {
      auto s = watcher.clientFrom(raw.ts);
      return s && s->getModelScale() == marker;
    }, 10000);
  };

  // The join and two states in one write.
  raw.send(frameOf("K", {}) + frameOf("", clientState(raw.ts, 1.0)) + frameOf("", clientState(raw.ts, 2.0)));
  EXPECT_TRUE(markerFrom(2.0));
  EXPECT_TRUE(waitFor([&] { return server.status("RelayedClientStates") == 2; }));

  // Two frames cut at every kind of place, with pauses the service sees as separate reads.
  const std::string first = frameOf("", clientState(raw.ts, 3.0), 7);
  const std::string both = first + frameOf("", clientState(raw.ts, 4.0));
  const size_t cuts[] = {5, zeltvtk::ArrayFrame::HEADER_SIZE, 40, first.size() + 9, both.size()};
  size_t at = 0;
  for (size_t cut : cuts) {
    raw.send(both.substr(at, cut - at));
    at = cut;
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
  }
  EXPECT_TRUE(markerFrom(4.0));
  EXPECT_TRUE(waitFor([&] { return server.status("RelayedClientStates") == 4; }));

  // A shared state comes back to its sender as the service writes every state: the same bytes,
  // no name, tag 0.
  kvg::VRSharedState shared;
  shared.setID(int(raw.ts));
  shared.setTimeStamp(1);
  shared.setSeedPoints(std::vector<double>(3000, 0.5));
  const std::vector<unsigned char> sharedBytes = bytesOf(shared);
  const std::string sent = frameOf("", sharedBytes, 9);
  raw.send(sent.substr(0, 12));
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  raw.send(sent.substr(12));
  const std::string expected = frameOf("", sharedBytes);
  EXPECT_EQ(raw.read(expected.size()), expected);

  // Quiet between frames for longer than the time-out: still a participant.
  std::this_thread::sleep_for(std::chrono::milliseconds(800));
  raw.send(frameOf("", clientState(raw.ts, 5.0)));
  EXPECT_TRUE(markerFrom(5.0));

  // Half a frame, then nothing: the sender is ended, the others hear it, its connections close.
  const std::string stalled = frameOf("", clientState(raw.ts, 6.0));
  raw.send(stalled.substr(0, stalled.size() / 2));
  EXPECT_TRUE(waitFor([&] { return !watcher.clientFrom(raw.ts); }, 10000));
  EXPECT_TRUE(waitFor([&] { return server.status("Participants") == 1; }, 10000));
  EXPECT_EQ(raw.read(1), "");
  EXPECT_EQ(server.status("RelayedClientStates"), 5);
}
