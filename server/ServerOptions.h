#pragma once
// Command line of quonix-server.
#include <string>
#include <vector>

#include "FaultPlan.h"

struct ServerOptions {
  struct GeneratedScene {
    std::string name;
    int frames = 3;
  };

  std::string host = "127.0.0.1";
  int port = 47827;
  std::vector<std::string> sceneFiles;
  std::vector<GeneratedScene> generatedScenes;
  std::string journalPath;
  bool live = false;
  bool collaboration = true;  // the collaborative VR service can be started
  int frameIntervalMs = 500;
  int timeoutMs = 10000;
  int stallMs = 30000;  // how long a "stall" fault holds its answer
  std::vector<FaultPlan::Rule> faults;
  bool help = false;

  // Parses the arguments (without the program name). False with an error text on a bad one.
  bool parse(const std::vector<std::string>& args, std::string& error);
  static std::string usage();
};
