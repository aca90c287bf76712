// Command round-trip time to the simulation server on loopback, with the server running in this
// process on its own threads (the same code as quonix-server). Prints figures; asserts nothing.
//
//   bench_command_roundtrip [round trips, default 5000]
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "LatencyReport.h"
#include "SceneLibrary.h"
#include "ServerConnection.h"
#include "ServerOptions.h"
#include "SimulationServer.h"

namespace {

using Clock = std::chrono::steady_clock;

double micros(Clock::duration d) { return std::chrono::duration<double, std::micro>(d).count(); }


bool connect(ServerConnection& c, int port, bool notify) {
  Properties reply;
  if (!c.createCommandSocket("127.0.0.1", port, reply)) {
    std::fprintf(stderr, "connect failed: %s\n", reply.getString("message").c_str());
    return false;
  }
  return !notify || c.createNotifySocket("127.0.0.1", port);
}

}  // namespace

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::max(10, std::atoi(argv[1])) : 5000;
  ServerOptions options;
  options.port = 0;
  SceneLibrary scenes;
  for (int i = 0; i < 10; ++i) scenes.addGenerated("Scene " + std::to_string(i), 8);
  SimulationServer server(options, scenes, nullptr);
  std::string error;
  if (!server.start(error)) {
    std::fprintf(stderr, "server: %s\n", error.c_str());
    return 1;
  }
  std::thread serverThread([&] { server.run(); });
  const int port = server.port();
  std::printf("command round trips on 127.0.0.1:%d\n", port);

  {
    ServerConnection c;
    if (!connect(c, port, false)) return 1;
    Properties args, reply;
    std::vector<double> samples;
    for (int i = 0; i < count; ++i) {
      auto t0 = Clock::now();
      c.sendCommand("SceneGraphExportImport.getSceneNames", args, reply);
      samples.push_back(micros(Clock::now() - t0));
    }
    reportLatency("getSceneNames, one thread", samples, "us");

    Properties node;
    node.set("Node", "PlaneSection_1");
    node.set("Origin", std::vector<double>{0.1, 0.2, 0.3});
    node.set("Normal", std::vector<double>{0, 0, 1});
    node.set("Accumulate", false);
    samples.clear();
    for (int i = 0; i < count; ++i) {
      auto t0 = Clock::now();
      c.sendCommand("NotifyZeltSceneGraphNode", node, reply);
      samples.push_back(micros(Clock::now() - t0));
    }
    reportLatency("NotifyZeltSceneGraphNode, one thread", samples, "us");

    Properties big;
    big.set("Payload", std::string(1 << 20, 'x'));
    samples.clear();
    for (int i = 0; i < std::max(10, count / 100); ++i) {
      auto t0 = Clock::now();
      c.sendCommand("NotifyZeltSceneGraphNode", big, reply);
      samples.push_back(micros(Clock::now() - t0));
    }
    reportLatency("NotifyZeltSceneGraphNode with 1 MiB", samples, "us");
  }

  {
    // Four threads share one connection: requests queue behind each other.
    ServerConnection c;
    if (!connect(c, port, false)) return 1;
    std::vector<std::thread> threads;
    std::vector<std::vector<double>> perThread(4);
    auto t0 = Clock::now();
    for (int t = 0; t < 4; ++t) {
      threads.emplace_back([&, t] {
        Properties args, reply;
        for (int i = 0; i < count / 4; ++i) {
          auto s = Clock::now();
          c.sendCommand("EnableVRMode", args, reply);
          perThread[t].push_back(micros(Clock::now() - s));
        }
      });
    }
    for (std::thread& t : threads) t.join();
    double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    std::vector<double> all;
    for (auto& v : perThread) all.insert(all.end(), v.begin(), v.end());
    reportLatency("EnableVRMode, 4 threads on one connection", all, "us");
    std::printf("%-44s %.0f commands/s\n", "  throughput", all.size() / seconds);
  }

  {
    // Opening a view: the reply, then the scene download on the notification socket.
    ServerConnection c;
    if (!connect(c, port, true)) return 1;
    Properties args, reply;
    args.set("SceneName", "Scene 3");
    c.sendCommand("SceneGraphExportImport.getObjectKeyFromSceneName", args, reply);
    Properties view;
    view.set("ViewObject", reply.getString("SceneKey"));
    std::vector<double> toReply, toDownload;
    for (int i = 0; i < std::max(10, count / 10); ++i) {
      auto t0 = Clock::now();
      c.sendCommand("ViewObject.openView", view, reply);
      toReply.push_back(micros(Clock::now() - t0));
      ServerNotification n;
      if (c.notifications().waitPop(n, 5000)) toDownload.push_back(micros(Clock::now() - t0));
      c.sendNoResponseCommand("ViewObject.closeView", view, reply);
    }
    reportLatency("openView reply", toReply, "us");
    reportLatency("openView to scene download received", toDownload, "us");
  }

  server.stop();
  serverThread.join();
  return 0;
}
