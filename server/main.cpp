// quonix-server: the stand-in simulation server. See ServerOptions::usage() and README.md.
#include <signal.h>

#include <cstdio>
#include <string>
#include <vector>

#include "CommandJournal.h"
#include "SceneLibrary.h"
#include "ServerOptions.h"
#include "SimulationServer.h"

namespace {

SimulationServer* gServer = nullptr;

void onSignal(int) {
  if (gServer) gServer->stop();  // only writes to a pipe: safe in a signal handler
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  ServerOptions options;
  std::string error;
  if (!options.parse(args, error)) {
    std::fprintf(stderr, "quonix-server: %s\nTry 'quonix-server --help' for the options.\n", error.c_str());
    return 2;
  }
  if (options.help) {
    std::fputs(ServerOptions::usage().c_str(), stdout);
    return 0;
  }

  SceneLibrary scenes;
  for (const std::string& file : options.sceneFiles) {
    std::vector<std::string> warnings;
    if (!scenes.addFile(file, error, &warnings)) {
      std::fprintf(stderr, "quonix-server: %s\n", error.c_str());
      return 2;
    }
    for (const std::string& warning : warnings) std::fprintf(stderr, "quonix-server: %s\n", warning.c_str());
  }
  for (const ServerOptions::GeneratedScene& scene : options.generatedScenes)
    scenes.addGenerated(scene.name, scene.frames);

  CommandJournal journal;
  if (!options.journalPath.empty() && !journal.open(options.journalPath, error)) {
    std::fprintf(stderr, "quonix-server: %s\n", error.c_str());
    return 2;
  }

  SimulationServer server(options, scenes, &journal);
  if (!server.start(error)) {
    std::fprintf(stderr, "quonix-server: %s\n", error.c_str());
    return 2;
  }
  gServer = &server;
  struct sigaction action {};
  action.sa_handler = onSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  signal(SIGPIPE, SIG_IGN);

  std::printf("listening on %s:%d\n", options.host.c_str(), server.port());
  std::printf("serving %zu scene(s)%s\n", scenes.scenes().size(), options.live ? ", live" : "");
  std::fflush(stdout);
  server.run();
  gServer = nullptr;
  std::printf("stopped\n");
  std::fflush(stdout);
  return 0;
}
