#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "kvg/BaseAttributes.h"
#include "kvg/DrawableSession.h"
#include "kvg/GPUMemoryManagementPolicy.h"
#include "kvg/Plane.h"
#include "kvg/RendererNodeStream.h"
#include "kvg/RendererObjectRegistryBase.h"
#include "kvg/SceneCanvas.h"
#include "kvg/SurfaceDrawable.h"

namespace {

std::unique_ptr<kvg::DrawableSession> newSession() {
  return std::make_unique<kvg::DrawableSession>(kvg::RendererObjectRegistryBase::getNextHandle(0), -1);
}

struct RecordingForwarder : kvg::DrawableSession::CallbackForwarder {
  void forward(kvg::DrawableSession*, const Properties& callback) override { callbacks.push_back(callback); }
  std::vector<Properties> callbacks;
};

struct CountingConnection : kvg::SessionConnection {
  bool startSession(kvg::DrawableSession&) override { return ++starts, accept; }
  void stopSession(kvg::DrawableSession&) override { ++stops; }
  bool accept = true;
  int starts = 0, stops = 0;
};

}  // namespace

TEST(DrawableSession, RegistryForgetsASessionWhenItIsDestroyed) {
  kvg::DrawableSessionRegistry& registry = kvg::DrawableSession::getSessionRegistry();
  const size_t before = registry.size();
  auto session = newSession();
  const kvg::Handle handle = session->getHandle();
  EXPECT_EQ(registry.findSession(handle), session.get());
  // Entering it again, as the scene view does, keeps one entry.
  registry.registerSession(session.get());
  EXPECT_EQ(registry.size(), before + 1);
  session.reset();
  EXPECT_EQ(registry.findSession(handle), nullptr);
  EXPECT_EQ(registry.size(), before);
}

TEST(DrawableSession, ADestroyedSessionLeavesAnEntryThatOverwroteItsOwnAlone) {
  kvg::DrawableSessionRegistry& registry = kvg::DrawableSession::getSessionRegistry();
  const kvg::Handle handle = kvg::RendererObjectRegistryBase::getNextHandle(0);
  auto first = std::make_unique<kvg::DrawableSession>(handle, -1);
  auto second = std::make_unique<kvg::DrawableSession>(handle, -1);
  EXPECT_EQ(registry.findSession(handle), second.get());
  first.reset();
  EXPECT_EQ(registry.findSession(handle), second.get());
  second.reset();
  EXPECT_FALSE(registry.hasSession(handle));
}

TEST(DrawableSession, HandlesAreFreshAndGrow) {
  kvg::Handle a = kvg::RendererObjectRegistryBase::getNextHandle(0);
  kvg::Handle b = kvg::RendererObjectRegistryBase::getNextHandle(0);
  EXPECT_GT(a, 0);
  EXPECT_GT(b, a);
}

TEST(DrawableSession, PendingTasksRunInOrderAndReportTheLastPosition) {
  auto session = newSession();
  std::vector<int> ran;
  EXPECT_EQ(session->executePendingTasks(), -1);
  session->addTask([&](kvg::DrawableSession&) { ran.push_back(1); }, 10);
  session->addTask([&](kvg::DrawableSession&) { ran.push_back(2); }, 11);
  session->addNoOpTask();
  // A task queued by a task waits for the next call.
  session->addTask([&](kvg::DrawableSession& s) {
    ran.push_back(3);
    s.addTask([&](kvg::DrawableSession&) { ran.push_back(4); }, 13);
  });
  EXPECT_EQ(session->executePendingTasks(), 11);
  EXPECT_EQ(ran, (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(session->executePendingTasks(), 13);
  EXPECT_EQ(session->executePendingTasks(), -1);
}

TEST(DrawableSession, NextUpdateTaskTimesOutWithMinusOne) {
  auto session = newSession();
  session->setUpdateTaskWait(10);
  EXPECT_EQ(session->executeNextUpdateTask(), -1);
  session->addTask([](kvg::DrawableSession&) {}, 5);
  session->addNoOpTask();
  EXPECT_EQ(session->executeNextUpdateTask(), 5);
  EXPECT_EQ(session->executeNextUpdateTask(), -1);  // the no-op: ran, no position
  EXPECT_EQ(session->getPendingTaskCount(), 0u);
}

TEST(DrawableSession, NoOpTaskWakesAWaitingUpdater) {
  auto session = newSession();
  // Without the wake-up this wait would outlast the test's time-out.
  session->setUpdateTaskWait(24 * 3600 * 1000);
  std::thread other([&] { session->addNoOpTask(); });
  EXPECT_EQ(session->executeNextUpdateTask(), -1);
  other.join();
  EXPECT_EQ(session->getPendingTaskCount(), 0u);
}

// The back-buffer updater's catch-up: the back session runs update tasks until it has run a
// later one than the front session showed; the same update has the same position in both.
TEST(DrawableSession, UpdatePositionsMeanTheSameUpdateInBothSessions) {
  auto front = newSession(), back = newSession();
  std::vector<int> frontSeen, backSeen;
  for (int update = 1; update <= 4; ++update) {
    front->addTask([&, update](kvg::DrawableSession&) { frontSeen.push_back(update); }, update);
    back->addTask([&, update](kvg::DrawableSession&) { backSeen.push_back(update); }, update);
  }
  front->setUpdateTaskWait(0);
  back->setUpdateTaskWait(0);
  int64_t frontPosition = -1;
  for (int i = 0; i < 3; ++i) frontPosition = front->executeNextUpdateTask();
  ASSERT_EQ(frontPosition, 3);
  int64_t backPosition = -1;
  while (backPosition <= frontPosition) {
    int64_t r = back->executeNextUpdateTask();
    ASSERT_NE(r, -1);
    backPosition = r;
  }
  EXPECT_EQ(backPosition, 4);
  EXPECT_EQ(backSeen, (std::vector<int>{1, 2, 3, 4}));
  EXPECT_EQ(frontSeen, (std::vector<int>{1, 2, 3}));
}

TEST(DrawableSession, ATaskThatThrowsStillCounts) {
  auto session = newSession();
  session->addTask([](kvg::DrawableSession&) { throw std::runtime_error("bad notification"); }, 3);
  EXPECT_EQ(session->executePendingTasks(), 3);
}

TEST(DrawableSession, CallbacksReachTheForwarderAsMethodAndArguments) {
  auto session = newSession();
  Properties args;
  args.set("x", 1);
  EXPECT_FALSE(session->raiseCallback("notifyKvgNode", args));
  RecordingForwarder forwarder;
  session->setCallbackForwarder(&forwarder);
  EXPECT_TRUE(session->raiseCallback("notifyKvgNode", args));
  // Attributes told to notify raise one; the VR adaptation's changes stay local.
  kvg::RendererNodeStream stream(*session);
  kvg::Ptr<kvg::BaseAttributes> base(new kvg::BaseAttributes);
  stream.addNode(base);
  stream.commit();
  base->setVisibility(false, false);
  base->setVisibility(true, true);
  ASSERT_EQ(forwarder.callbacks.size(), 2u);
  EXPECT_EQ(forwarder.callbacks[0].getString("MethodName"), "notifyKvgNode");
  EXPECT_EQ(forwarder.callbacks[0].getProperties("Arguments").getInt("x"), 1);
  EXPECT_EQ(forwarder.callbacks[1].getProperties("Arguments").getString("Key"), "BaseAttributes_1");
  EXPECT_TRUE(forwarder.callbacks[1].getProperties("Arguments").getBool("Visibility"));
}

TEST(DrawableSession, ConnectionIsStoppedOnRestartAndOnDestruction) {
  CountingConnection a, b;
  {
    auto session = newSession();
    EXPECT_TRUE(session->startSession(a));
    EXPECT_TRUE(session->startSession(b));
    EXPECT_EQ(a.stops, 1);
    EXPECT_EQ(session->getConnection(), &b);
  }
  EXPECT_EQ(b.stops, 1);
  CountingConnection refusing;
  refusing.accept = false;
  auto session = newSession();
  EXPECT_FALSE(session->startSession(refusing));
  EXPECT_EQ(session->getConnection(), nullptr);
}

TEST(DrawableSession, SettingsTheSceneViewMakes) {
  auto session = newSession();
  session->getRenderingAttributes().setUseGpuMemoryManagement(false);
  session->getRenderingAttributes().setUseOpportunisticRendering(true);
  EXPECT_FALSE(session->getRenderingAttributes().getUseGpuMemoryManagement());
  EXPECT_TRUE(session->getRenderingAttributes().getUseOpportunisticRendering());
  kvg::GPUMemoryManagementPolicy::getGlobalMemoryManagementPolicy().sharedContexts = true;
  EXPECT_TRUE(kvg::GPUMemoryManagementPolicy::getGlobalMemoryManagementPolicy().sharedContexts);
}

TEST(RendererNodeStream, TwoSessionsGetIndependentNodeSetsWithTheSameKeys) {
  auto first = newSession(), second = newSession();
  for (kvg::DrawableSession* session : {first.get(), second.get()}) {
    kvg::RendererNodeStream stream(session);
    kvg::Ptr<kvg::SceneCanvas> canvas(new kvg::SceneCanvas);
    kvg::Ptr<kvg::SurfaceDrawable> wall(new kvg::SurfaceDrawable);
    wall->addAttributes(kvg::Ptr<kvg::Attributes>(new kvg::BaseAttributes));
    canvas->getDrawables()->addNode(wall);
    EXPECT_EQ(stream.addNode(canvas, "SceneCanvas_4"), "SceneCanvas_4");
    EXPECT_TRUE(stream.commit());
  }
  const auto& a = first->getNodeRegistry().getNodes();
  const auto& b = second->getNodeRegistry().getNodes();
  ASSERT_EQ(a.size(), b.size());
  for (auto ia = a.begin(), ib = b.begin(); ia != a.end(); ++ia, ++ib) {
    EXPECT_EQ(ia->first, ib->first);
    EXPECT_NE(ia->second.getObject(), ib->second.getObject());
  }
  auto attrsA = first->getNodeRegistry().findNodesOfClass<kvg::BaseAttributes>();
  auto attrsB = second->getNodeRegistry().findNodesOfClass<kvg::BaseAttributes>();
  ASSERT_EQ(attrsA.size(), 1u);
  attrsA[0]->setVisibility(false, false);
  EXPECT_TRUE(attrsB[0]->getVisibility());
  EXPECT_EQ(attrsA[0]->getSession(), first.get());
  EXPECT_EQ(attrsB[0]->getSession(), second.get());
}

TEST(RendererNodeStream, AnAbortedStreamLeavesTheSessionAsItWas) {
  auto session = newSession();
  {
    kvg::RendererNodeStream stream(*session);
    stream.addNode(new kvg::Plane);
    stream.commit();
  }
  const uint64_t generation = session->getNodeRegistry().getGeneration();
  kvg::Ptr<kvg::Node> staged(new kvg::Plane);
  {
    kvg::RendererNodeStream stream(*session);
    EXPECT_EQ(stream.addNode(staged), "Plane_1");
    EXPECT_EQ(stream.addNode(new kvg::Plane, "Plane_1"), "");
    // Destroyed without commit: aborted.
  }
  EXPECT_EQ(staged->getKey(), "");
  EXPECT_EQ(session->getNodeRegistry().getGeneration(), generation);
  EXPECT_EQ(session->getNodeRegistry().getNodes().size(), 1u);
}

TEST(RendererNodeStream, MergingAddsNodesBesideTheSceneAndReplacesByKey) {
  auto session = newSession();
  {
    kvg::RendererNodeStream stream(*session);
    stream.addNode(new kvg::Plane);
    stream.addNode(new kvg::Plane);
    stream.commit();
  }
  kvg::RendererNodeStream merge(*session, kvg::RendererNodeStream::MergeIntoScene);
  kvg::Ptr<kvg::Plane> replacement(new kvg::Plane);
  replacement->setName("new");
  EXPECT_EQ(merge.addNode(replacement, "Plane_2"), "Plane_2");
  EXPECT_EQ(merge.addNode(new kvg::Plane), "Plane_3");
  merge.commit();
  const auto& nodes = session->getNodeRegistry().getNodes();
  EXPECT_EQ(nodes.size(), 3u);
  EXPECT_EQ(nodes.at("Plane_2")->getName(), "new");
  EXPECT_THROW(kvg::RendererNodeStream(nullptr), InternalError);
}

TEST(DrawableSession, NodesHeldElsewhereForgetTheSessionWhenItGoes) {
  kvg::Ptr<kvg::BaseAttributes> kept(new kvg::BaseAttributes);
  {
    auto session = newSession();
    kvg::RendererNodeStream stream(*session);
    stream.addNode(kept);
    stream.commit();
    EXPECT_EQ(kept->getSession(), session.get());
  }
  EXPECT_EQ(kept->getSession(), nullptr);
  kept->setVisibility(false, true);  // nobody to tell, nothing to crash
  EXPECT_FALSE(kept->getVisibility());
}
