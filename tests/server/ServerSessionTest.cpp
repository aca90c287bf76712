// Two drawable sessions on two connections to the real quonix-server, as the scene view keeps
// them: the download and the live updates arrive as update tasks whose positions mean the same
// scene in both sessions.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <map>
#include <set>

#include "ServerConnection.h"
#include "ServerProcess.h"
#include "ServerTestSupport.h"
#include "kvg/DrawableSession.h"
#include "kvg/RendererObjectRegistryBase.h"
#include "kvg/SceneCanvas.h"
#include "kvg/SphereDrawable.h"

namespace {

std::vector<double> sphereCenter(kvg::DrawableSession& session) {
  for (const auto& entry : session.getNodeRegistry().getNodes())
    if (auto* s = entry.second.tryCast<kvg::SphereDrawable>()) {
      const auto& c = s->getCenter();
      return {c[0], c[1], c[2]};
    }
  return {};
}

}  // namespace

TEST(ServerSessions, TwoSessionsFollowTheLiveSceneInStep) {
  ServerProcess server;
  std::string error;
  // Five frames a second: slow enough that even a sanitizer build keeps up with both sessions
  // most of the time (a session that falls eight updates behind gives the oldest up unbuilt).
  ASSERT_TRUE(server.start({"--live", "--frame-interval", "200", "--scene", "Orbit:6"}, error)) << error;
  ServerConnection connections[2];
  std::unique_ptr<kvg::DrawableSession> sessions[2];
  std::string key;
  for (int i = 0; i < 2; ++i) {
    Properties reply;
    ASSERT_TRUE(connections[i].createCommandSocket("127.0.0.1", server.port(), reply));
    ASSERT_TRUE(connections[i].createNotifySocket("127.0.0.1", server.port()));
    sessions[i] = std::make_unique<kvg::DrawableSession>(kvg::RendererObjectRegistryBase::getNextHandle(0), -1);
    ASSERT_TRUE(sessions[i]->startSession(connections[i]));
  }
  Properties args, reply;
  args.set("SceneName", "Orbit");
  ASSERT_TRUE(connections[0].sendCommand("SceneGraphExportImport.getObjectKeyFromSceneName", args, reply));
  key = reply.getString("SceneKey");
  Properties view;
  view.set("ViewObject", key);
  for (auto& c : connections) ASSERT_TRUE(c.sendCommand("ViewObject.openView", view, reply));

  // What each session shows at each position whose record it built. An update still waiting
  // while newer ones arrive is given up unbuilt (its task leaves the scene as it was), which a
  // slow machine sees often; so the sessions are stepped in turn until each has built eight
  // scenes and they share four positions, within a generous deadline.
  std::map<int64_t, std::vector<double>> seen[2];
  uint64_t generation[2] = {sessions[0]->getNodeRegistry().getGeneration(),
                            sessions[1]->getNodeRegistry().getGeneration()};
  auto sharedPositions = [&] {
    int n = 0;
    for (const auto& entry : seen[0]) n += int(seen[1].count(entry.first));
    return n;
  };
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  while ((seen[0].size() < 8 || seen[1].size() < 8 || sharedPositions() < 4) &&
         std::chrono::steady_clock::now() < deadline) {
    for (int i = 0; i < 2; ++i) {
      const int64_t p = sessions[i]->executeNextUpdateTask();
      const uint64_t built = sessions[i]->getNodeRegistry().getGeneration();
      if (p == -1 || built == generation[i]) continue;
      generation[i] = built;
      ASSERT_TRUE(sessions[i]->getNodeRegistry().findNode(key)) << "the canvas carries the scene key";
      seen[i][p] = sphereCenter(*sessions[i]);
      ASSERT_EQ(seen[i][p].size(), 3u);
    }
  }
  EXPECT_GE(seen[0].size(), 8u);
  EXPECT_GE(seen[1].size(), 8u);
  int common = 0;
  for (const auto& entry : seen[0]) {
    auto other = seen[1].find(entry.first);
    if (other == seen[1].end()) continue;
    ++common;
    EXPECT_EQ(other->second, entry.second) << "position " << entry.first;
  }
  EXPECT_GE(common, 4);
  // The positions show more than one frame: the model moves. (The scene repeats every six
  // frames, so two positions may show the same one; eight all on one would mean it stands still.)
  std::set<std::vector<double>> frames;
  for (const auto& entry : seen[0]) frames.insert(entry.second);
  EXPECT_GE(frames.size(), 2u);
}
