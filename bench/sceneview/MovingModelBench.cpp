// The frame time of the real program with a big surface, while a hand drags the model and once
// it is still, with the surface's reduced copy while it moves (the program's default on the
// software rasterizer) against none ("movingSurfaceTriangles = 0"). A wavy sheet of N triangles
// (a .vtp file written once per size) on the unpaced simulated headset, eyes 640 x 720: the right
// hand holds its trigger and moves 2 mm a frame for 30 frames, then holds still. The time between
// the captures of two submitted frames (their files' modification times) over the frames between
// gives the frame time; each interval includes one capture's writing. The two runs alternate.
//
// Usage: bench_moving_model [SIZES (default 1000000,5000000)]; QUONIX_MOVING_REPEATS (default 2)
// repeats each pair. Needs a display (Xvfb is fine) and the program and its assets beside the
// bench (build/bin).
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "WavySurface.h"

namespace {

double modified(const std::string& path) {
  struct stat s;
  if (stat(path.c_str(), &s) != 0) return -1;
  return double(s.st_mtim.tv_sec) + s.st_mtim.tv_nsec * 1e-9;
}

bool exists(const std::string& path) { return modified(path) >= 0; }

std::string readAll(const std::string& path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

const int kMoveFrom = 5, kMoving = 30, kStill = 10;

std::string eyeFile(const std::string& run, int frame) {
  char name[64];
  std::snprintf(name, sizeof name, "/eyes/frame-%06d-right.png", frame);
  return run + name;
}

// One run; prints one row. False when the program did not get through.
bool runOnce(const std::string& dir, const std::string& bin, long triangles, bool reduced) {
  const std::string run = dir + "/run";
  std::system(("rm -rf " + run + " && mkdir -p " + run + "/base && ln -s \"$(realpath " + bin + "/vrassets)\" " + run +
               "/base/vrassets")
                  .c_str());
  std::ofstream(run + "/base/config.ini") << "useFog = false\n" << (reduced ? "" : "movingSurfaceTriangles = 0\n");
  std::ostringstream script;
  script << "rate 0\nright position 0.5 1 2\nframe 3\nwait-file " << run << "/go\nframe 4\nright press trigger\n";
  for (int f = kMoveFrom; f < kMoveFrom + kMoving; ++f)
    script << "frame " << f << "\nright position " << 0.5 + 0.002 * (f - kMoveFrom + 1) << " 1 2\n";
  std::ofstream(run + "/vrsim.txt") << script.str();
  const int m0 = kMoveFrom + 3, m1 = kMoveFrom + kMoving - 1, s0 = kMoveFrom + kMoving + 2, s1 = s0 + kStill;
  const std::string frames = "2," + std::to_string(m0) + "," + std::to_string(m1) + "," + std::to_string(s0) + "," +
                             std::to_string(s1);
  const std::string scene = dir + "/sheet-" + std::to_string(triangles) + ".sce";
  const std::string command = "QUONIX_BASE_DIR=" + run + "/base QUONIX_VRSIM_SCRIPT=" + run +
                              "/vrsim.txt QUONIX_VRSIM_CAPTURE_DIR=" + run + "/eyes QUONIX_VRSIM_CAPTURE_FRAMES=" +
                              frames + " QUONIX_VRSIM_EXIT_AFTER=" + std::to_string(s1 + 1) + " XDG_CONFIG_HOME=" +
                              run + "/settings " + bin + "/quonixvr " + scene + " > " + run + "/out.txt 2>&1; touch " +
                              run + "/ended";
  std::system(("(" + command + ") &").c_str());
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(10);
  auto waitFor = [&](auto condition) {
    while (!condition()) {
      if (exists(run + "/ended") || std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
  };
  bool ok = waitFor([&] { return exists(eyeFile(run, 2)); });
  if (ok && reduced) ok = waitFor([&] { return readAll(run + "/out.txt").find("while the model moves") != std::string::npos; });
  std::ofstream(run + "/go") << "go\n";
  ok = ok && waitFor([&] { return exists(eyeFile(run, s1)); });
  while (!exists(run + "/ended")) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  if (!ok) {
    std::printf("%9ld %-8s the program did not get through:\n%s\n", triangles, reduced ? "reduced" : "full",
                readAll(run + "/out.txt").c_str());
    return false;
  }
  const double moving = (modified(eyeFile(run, m1)) - modified(eyeFile(run, m0))) * 1000.0 / (m1 - m0);
  const double still = (modified(eyeFile(run, s1)) - modified(eyeFile(run, s0))) * 1000.0 / (s1 - s0);
  double load[3] = {0, 0, 0};
  getloadavg(load, 3);
  // The program's line on the copy: its triangles and the time it took.
  const std::string out = readAll(run + "/out.txt");
  const size_t line = out.find("A surface of ");
  const std::string copy = line == std::string::npos ? "" : out.substr(line, out.find('\n', line) - line);
  std::printf("%9ld %-8s %9.1f %6.1f %9.1f %6.2f %6.1f  %s\n", triangles, reduced ? "reduced" : "full", moving,
              1000.0 / moving, still, 1000.0 / still, load[0], copy.c_str());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  const std::string self(argv[0]);
  const std::string bin = self.substr(0, self.find_last_of('/') + 1) + "../bin";
  std::vector<long> sizes;
  std::stringstream list(argc > 1 ? argv[1] : "1000000,5000000");
  for (std::string item; std::getline(list, item, ',');) sizes.push_back(std::atol(item.c_str()));
  const char* repeatText = std::getenv("QUONIX_MOVING_REPEATS");
  const int repeats = std::max(1, repeatText ? std::atoi(repeatText) : 2);
  char pattern[] = "/tmp/quonix-moving-bench-XXXXXX";
  if (!mkdtemp(pattern)) return 1;
  const std::string dir = pattern;
  std::printf("wavy sheet, eyes 640 x 720, unpaced headset; moving: frames %d..%d dragged, still: %d frames after\n",
              kMoveFrom + 3, kMoveFrom + kMoving - 1, kStill);
  std::printf("%9s %-8s %9s %6s %9s %6s %6s\n", "triangles", "copy", "moving ms", "fps", "still ms", "fps", "load");
  int failures = 0;
  for (long triangles : sizes) {
    const int n = int(std::lround(std::sqrt(triangles / 2.0)));
    writeTriangles(dir + "/sheet-" + std::to_string(triangles) + ".vtp", n);
    std::ofstream(dir + "/sheet-" + std::to_string(triangles) + ".sce")
        << "format = quonix-scene\nversion = 1\ncamera { position = [0.5, 0.5, 3], focalPoint = [0.5, 0.5, 0] }\n"
           "frameSets {\n  only {\n    title = \"Sheet\"\n    frames {\n      first {\n        drawables {\n"
           "          sheet {\n            type = Surface\n            name = \"Wave Boundary\"\n"
           "            data = \"sheet-" << triangles << ".vtp\"\n          }\n        }\n      }\n    }\n  }\n}\n";
    for (int r = 0; r < repeats; ++r)
      for (bool reduced : {true, false})
        if (!runOnce(dir, bin, triangles, reduced)) ++failures;
  }
  std::system(("rm -rf " + dir).c_str());
  return failures ? 1 : 0;
}
