// Notification-to-frame latency on loopback: from asking the in-process server (the same code as
// quonix-server) to open a view until the pushed scene is a drawable session's scene, its props
// are built and, with a display, a frame of it is rendered. Prints figures; asserts nothing.
//
//   bench_notification_to_frame [rounds, default 200] [scene file ...]
// Under xvfb-run the figures include the frame's rendering; without a display they stop at
// the props.
#include <vtkRenderWindow.h>
#include <vtkSmartPointer.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "LatencyReport.h"
#include "SceneLibrary.h"
#include "ServerConnection.h"
#include "ServerOptions.h"
#include "SimulationServer.h"
#include "kvg/DrawableScene.h"
#include "kvg/DrawableScenes.h"
#include "kvg/DrawableSession.h"
#include "kvg/GenericWindowResourceManager.h"
#include "kvg/RendererObjectRegistryBase.h"

namespace {

using Clock = std::chrono::steady_clock;

double millis(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(5, std::atoi(argv[1])) : 200;
  ServerOptions options;
  options.port = 0;
  SceneLibrary scenes;
  scenes.addGenerated("Generated", 8);
  std::string error;
  for (int i = 2; i < argc; ++i)
    if (!scenes.addFile(argv[i], error)) std::fprintf(stderr, "%s\n", error.c_str());
  SimulationServer server(options, scenes, nullptr);
  if (!server.start(error)) {
    std::fprintf(stderr, "server: %s\n", error.c_str());
    return 1;
  }
  std::thread serverThread([&] { server.run(); });

  const bool render = std::getenv("DISPLAY") != nullptr;
  std::printf("scene download to frame on 127.0.0.1:%d (%s)\n", server.port(),
              render ? "with rendering" : "no display: up to the props");
  for (const ServedScene& served : scenes.scenes()) {
    ServerConnection connection;
    Properties reply;
    if (!connection.createCommandSocket("127.0.0.1", server.port(), reply) ||
        !connection.createNotifySocket("127.0.0.1", server.port())) {
      std::fprintf(stderr, "connect failed\n");
      return 1;
    }
    vtkSmartPointer<vtkRenderWindow> window;
    if (render) {
      window = vtkSmartPointer<vtkRenderWindow>::New();
      window->SetSize(640, 720);
      window->SetOffScreenRendering(1);
    }
    Properties view;
    view.set("ViewObject", served.key);
    std::vector<double> toQueued, toTask, toProps, toFrame;
    for (int i = 0; i < rounds; ++i) {
      // A fresh session each round: a session takes each position once.
      kvg::DrawableSession session(kvg::RendererObjectRegistryBase::getNextHandle(0), -1);
      session.startSession(connection);
      kvg::DrawableScene* scene = session.getDrawableScenes().createScene(
          std::make_unique<kvg::GenericWindowResourceManager>(window.Get(), false), served.key);
      const auto t0 = Clock::now();
      connection.sendCommand("ViewObject.openView", view, reply);
      while (session.getPendingTaskCount() == 0 && Clock::now() - t0 < std::chrono::seconds(10))
        std::this_thread::yield();
      toQueued.push_back(millis(Clock::now() - t0));
      if (session.executeNextUpdateTask() == -1) continue;
      toTask.push_back(millis(Clock::now() - t0));
      scene->update(false);
      toProps.push_back(millis(Clock::now() - t0));
      if (window) {
        window->Render();
        toFrame.push_back(millis(Clock::now() - t0));
      }
      connection.sendNoResponseCommand("ViewObject.closeView", view, reply);
    }
    std::printf("%s (%zu frame(s))\n", served.name.c_str(), served.frames.size());
    reportLatency("notification queued as a task", toQueued, "ms");
    reportLatency("task run: the session's scene", toTask, "ms");
    reportLatency("props built", toProps, "ms");
    reportLatency("frame rendered", toFrame, "ms");
  }
  server.stop();
  serverThread.join();
  return 0;
}
