// Two drawable sessions on two connections to the real quonix-server, as the scene view keeps
// them: the download and the live updates arrive as update tasks whose positions mean the same
// scene in both sessions.
#include <gtest/gtest.h>

#include <cmath>
#include <map>

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
  ASSERT_TRUE(server.start({"--live", "--frame-interval", "40", "--scene", "Orbit:6"}, error)) << error;
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

  // What each session shows at each position it reached.
  std::map<int64_t, std::vector<double>> seen[2];
  for (int i = 0; i < 2; ++i) {
    for (int k = 0; k < 8; ++k) {
      int64_t p = -1;
      for (int wait = 0; wait < 50 && p == -1; ++wait) p = sessions[i]->executeNextUpdateTask();
      ASSERT_NE(p, -1) << "session " << i << ", task " << k;
      ASSERT_TRUE(sessions[i]->getNodeRegistry().findNode(key)) << "the canvas carries the scene key";
      seen[i][p] = sphereCenter(*sessions[i]);
      ASSERT_EQ(seen[i][p].size(), 3u);
    }
  }
  int common = 0;
  for (const auto& entry : seen[0]) {
    auto other = seen[1].find(entry.first);
    if (other == seen[1].end()) continue;
    ++common;
    EXPECT_EQ(other->second, entry.second) << "position " << entry.first;
  }
  EXPECT_GE(common, 4);
  // Later positions show other frames: the model moves.
  EXPECT_NE(seen[0].begin()->second, seen[0].rbegin()->second);
}
