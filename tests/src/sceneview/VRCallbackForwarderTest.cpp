// Scene-graph callbacks towards the server: only node notifications become commands, queued on
// the command handler in the order the configuration asks for.
#include <gtest/gtest.h>

#include <mutex>

#include "Configuration.h"
#include "ServerCommandSender.h"
#include "VRCallbackForwarder.h"
#include "VRWidgetCommandHandler.h"

namespace {

class Recorder : public ServerCommandSender {
 public:
  bool sendCommand(const std::string& command, const Properties& arguments, Properties&) override {
    std::lock_guard<std::mutex> lock(mutex);
    sent.push_back({command, arguments});
    return true;
  }
  ServerConnection* getServerConnection() const override { return nullptr; }
  std::mutex mutex;
  std::vector<ServerCommand> sent;
};

Properties callback(const std::string& method, bool withArguments = true) {
  Properties args, cb;
  args.set("Node", "PlaneSection_3");
  args.set("Value", 2.5);
  cb.set("MethodName", method);
  if (withArguments) cb.set("Arguments", args);
  return cb;
}

// Forwards the callbacks through a started handler and returns what reached the sender.
std::vector<ServerCommand> forwardAll(const std::vector<Properties>& callbacks) {
  Recorder recorder;
  {
    VRWidgetCommandHandler handler(&recorder);
    handler.start();
    kvg::VRCallbackForwarder forwarder;
    forwarder.setHandler(&handler);
    for (const Properties& cb : callbacks) forwarder.forward(nullptr, cb);
  }  // the handler sends everything queued before it ends
  return recorder.sent;
}

void setAccumulate(bool value) {
  Properties p;
  p.set("useAccumulateForServerCallbacks", value);
  getConfig().merge(p);
}

}  // namespace

TEST(VRCallbackForwarder, OnlyNodeNotificationsAreSent) {
  setAccumulate(false);
  const auto sent = forwardAll({callback("notifykvgnode"), callback("notifyKvgNode2"), callback("notifyKvgNod"),
                                callback("notifyKvgNode", false), Properties(), callback("notifyKvgNode")});
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].command, "NotifyZeltSceneGraphNode");
  EXPECT_EQ(sent[0].arguments.getString("Node"), "PlaneSection_3");
  EXPECT_EQ(sent[0].arguments.typeOf("Accumulate"), Properties::Type::Bool);
  EXPECT_FALSE(sent[0].arguments.getBool("Accumulate"));
}

TEST(VRCallbackForwarder, AccumulatingSendsTheQueuedCommandFirstWithTheArgumentsAsGiven) {
  setAccumulate(true);
  const auto sent = forwardAll({callback("notifyKvgNode")});
  setAccumulate(false);
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0].command, "QueueNotifyZeltSceneGraphNode");
  EXPECT_EQ(sent[1].command, "NotifyZeltSceneGraphNode");
  for (const ServerCommand& c : sent) {
    EXPECT_FALSE(c.arguments.hasName("Accumulate"));
    EXPECT_EQ(c.arguments, callback("notifyKvgNode").getProperties("Arguments"));
  }
}

TEST(VRCallbackForwarder, WithoutAConnectionEveryCallbackPrintsTheErrorLine) {
  kvg::VRCallbackForwarder forwarder;
  testing::internal::CaptureStderr();
  forwarder.forward(nullptr, callback("notifyKvgNode"));
  forwarder.forward(nullptr, callback("somethingElse"));
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(err, "Failed to forward callback: no server connection\n"
                 "Failed to forward callback: no server connection\n");
}

TEST(VRCallbackForwarder, TheSessionHandsItsCallbacksToTheForwarder) {
  setAccumulate(false);
  Recorder recorder;
  {
    VRWidgetCommandHandler handler(&recorder);
    handler.start();
    kvg::VRCallbackForwarder forwarder;
    forwarder.setHandler(&handler);
    kvg::DrawableSession session(1234567, -1);
    session.setCallbackForwarder(&forwarder);
    Properties args;
    args.set("Node", "PointPart_1");
    EXPECT_TRUE(session.raiseCallback("notifyKvgNode", args));
  }
  ASSERT_EQ(recorder.sent.size(), 1u);
  EXPECT_EQ(recorder.sent[0].arguments.getString("Node"), "PointPart_1");
}
