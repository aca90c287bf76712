// The frame time of the real program with each hand tool held against no tool: a block of flow
// (2 x 2 x 2 scene units, 27 points, constant flow along x) on the unpaced simulated headset; a
// controller holds its tool at the block's centre from frame 60 on. The time between the
// captures of two submitted frames (their files' modification times) over the frames between
// gives the steady frame time of everything a frame does.
//
// Usage: bench_tool_frames [frames (default 300)]. Needs a display (Xvfb is fine) and the
// program and its assets beside the bench (build/bin).
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "TestScenes.h"

namespace {

double modified(const std::string& path) {
  struct stat s;
  if (stat(path.c_str(), &s) != 0) return -1;
  return double(s.st_mtim.tv_sec) + s.st_mtim.tv_nsec * 1e-9;
}

}  // namespace

int main(int argc, char** argv) {
  const int frames = argc > 1 ? std::max(10, std::atoi(argv[1])) : 300;
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  const std::string self(argv[0]);
  const std::string bin = self.substr(0, self.find_last_of('/') + 1) + "../bin";
  char pattern[] = "/tmp/quonix-tool-bench-XXXXXX";
  if (!mkdtemp(pattern)) return 1;
  const std::string dir = pattern;
  std::ofstream(dir + "/flow.sce") << flowScene();
  std::system(("mkdir -p " + dir + "/base && ln -s \"$(realpath " + bin + "/vrassets)\" " + dir + "/base/vrassets")
                  .c_str());
  std::ofstream(dir + "/base/config.ini") << "resolutionFactor = 0.5\nuseFog = false\nresetViewModelSize = 0.4\n"
                                             "defaultPointRadius = 0.03\nbaseParticleStepSize = 0.02\n";
  struct Tool {
    const char* name;
    const char* script;
  };
  const Tool tools[] = {
      {"no tool", ""},
      {"seed (right East)", "right position 0 1.024 -1.9\nright axis 0 0.9 0\nright press pad\n"},
      {"plane section (left West)",
       "left position 0 1.024 -1.9\nleft rotation 45 0 0\nleft axis 0 -0.9 0\nleft press pad\n"},
      {"clip plane (right West)", "right position 0 1.024 -1.9\nright axis 0 -0.9 0\nright press pad\n"},
      {"colour bar (left East)", "left position 0 1.024 -1.9\nleft axis 0 0.9 0\nleft press pad\n"},
  };
  const int first = 100, last = first + frames;
  std::printf("flow block, eye 320 x 360, unpaced headset; frames %d..%d, tool held from frame 60\n", first, last);
  for (const Tool& tool : tools) {
    const std::string run = dir + "/run";
    std::system(("rm -rf " + run + " && mkdir -p " + run).c_str());
    std::ofstream(run + "/vrsim.txt") << "rate 0\nleft position -0.5 1 -1\nright position 0.5 1 -1\nframe 60\n"
                                      << tool.script;
    const std::string command = "QUONIX_BASE_DIR=" + dir + "/base QUONIX_VRSIM_SCRIPT=" + run +
                                "/vrsim.txt QUONIX_VRSIM_CAPTURE_DIR=" + run + "/eyes QUONIX_VRSIM_CAPTURE_FRAMES=" +
                                std::to_string(first) + "," + std::to_string(last) +
                                " QUONIX_VRSIM_EXIT_AFTER=" + std::to_string(last + 1) + " XDG_CONFIG_HOME=" + run +
                                "/settings " + bin + "/quonixvr " + dir + "/flow.sce > " + run + "/out.txt 2>&1";
    std::system(command.c_str());
    char a[64], b[64];
    std::snprintf(a, sizeof a, "/eyes/frame-%06d-right.png", first);
    std::snprintf(b, sizeof b, "/eyes/frame-%06d-right.png", last);
    const double start = modified(run + a), end = modified(run + b);
    if (start < 0 || end < 0) {
      std::printf("%-28s the program did not reach frame %d\n", tool.name, last);
      continue;
    }
    std::printf("%-28s %8.2f ms per frame\n", tool.name, (end - start) * 1000.0 / frames);
  }
  std::system(("rm -rf " + dir).c_str());
  return 0;
}
