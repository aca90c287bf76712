#include "ServerOptions.h"

#include <cstdlib>

namespace {

bool parseInt(const std::string& text, long low, long high, int& out) {
  if (text.empty() || text.size() > 10) return false;
  char* end = nullptr;
  long v = std::strtol(text.c_str(), &end, 10);
  if (!end || *end != '\0' || v < low || v > high) return false;
  out = int(v);
  return true;
}

}  // namespace

std::string ServerOptions::usage() {
  return "Usage: quonix-server [options] [scene files...]\n"
         "Stand-in simulation server: serves scenes to quonixvr over TCP.\n"
         "\n"
         "Options:\n"
         "  --host ADDRESS          numeric address to listen on (default 127.0.0.1)\n"
         "  --port N                port to listen on (default 47827; 0 picks a free one)\n"
         "  --scene NAME[:FRAMES]   serve a generated scene of FRAMES frames (default 3); repeatable\n"
         "  --live                  run as a live simulation: advance every scene one frame per\n"
         "                          interval and notify each open viewer\n"
         "  --frame-interval MS     interval of the live simulation (default 500)\n"
         "  --no-collaboration      acknowledge StartCollaborativeVRServer without starting the\n"
         "                          collaborative VR service (its connections are refused)\n"
         "  --journal FILE          write one line per received command to FILE\n"
         "  --timeout MS            bound on each read and write of a message (default 10000)\n"
         "  --fault MODE=NAME[@FROM][#TIMES]\n"
         "                          inject a fault (tests); modes: refuse omit silent die truncate\n"
         "                          garbage oversized badversion badbody trickle stall; repeatable\n"
         "  --stall MS              how long a stall fault holds its answer (default 30000)\n"
         "  --help                  print this text\n"
         "\n"
         "Prints \"listening on ADDRESS:PORT\" once it accepts connections; stops cleanly on\n"
         "SIGINT or SIGTERM.\n";
}

bool ServerOptions::parse(const std::vector<std::string>& args, std::string& error) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= args.size()) {
        error = "option " + a + " needs a value";
        return false;
      }
      out = args[++i];
      return true;
    };
    std::string v;
    if (a == "--help" || a == "-h") {
      help = true;
    } else if (a == "--host") {
      if (!value(host)) return false;
    } else if (a == "--port") {
      if (!value(v)) return false;
      if (!parseInt(v, 0, 65535, port)) {
        error = "invalid port '" + v + "' (0 to 65535)";
        return false;
      }
    } else if (a == "--scene") {
      if (!value(v)) return false;
      GeneratedScene scene;
      scene.name = v;
      size_t colon = v.rfind(':');
      int frames = 0;
      if (colon != std::string::npos && parseInt(v.substr(colon + 1), 1, 100000, frames)) {
        scene.name = v.substr(0, colon);
        scene.frames = frames;
      }
      if (scene.name.empty()) {
        error = "a generated scene needs a name";
        return false;
      }
      generatedScenes.push_back(scene);
    } else if (a == "--live") {
      live = true;
    } else if (a == "--no-collaboration") {
      collaboration = false;
    } else if (a == "--frame-interval") {
      if (!value(v)) return false;
      if (!parseInt(v, 1, 3600000, frameIntervalMs)) {
        error = "invalid frame interval '" + v + "'";
        return false;
      }
    } else if (a == "--journal") {
      if (!value(journalPath)) return false;
    } else if (a == "--timeout") {
      if (!value(v)) return false;
      if (!parseInt(v, 1, 3600000, timeoutMs)) {
        error = "invalid time-out '" + v + "'";
        return false;
      }
    } else if (a == "--stall") {
      if (!value(v)) return false;
      if (!parseInt(v, 0, 3600000, stallMs)) {
        error = "invalid stall time '" + v + "'";
        return false;
      }
    } else if (a == "--fault") {
      if (!value(v)) return false;
      FaultPlan::Rule rule;
      if (!FaultPlan::parseRule(v, rule, error)) return false;
      faults.push_back(rule);
    } else if (a.size() > 1 && a[0] == '-') {
      error = "unknown option " + a;
      return false;
    } else {
      sceneFiles.push_back(a);
    }
  }
  return true;
}
