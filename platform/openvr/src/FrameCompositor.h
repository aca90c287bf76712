#pragma once
// The compositor's record of frames: pacing of WaitGetPoses, the eyes submitted for the frame
// in progress, timings of presented frames, capture of submitted eyes to PNG files and the
// clean end of the program after a number of frames. Guarded by the runtime's mutex.
#include <chrono>
#include <cstdint>
#include <deque>
#include <set>
#include <string>
#include <vector>

#include "openvr.h"

namespace vrsim {

class SimWorld;

class FrameCompositor {
 public:
  FrameCompositor();

  // Reads QUONIX_VRSIM_CAPTURE_DIR, QUONIX_VRSIM_CAPTURE_EVERY, QUONIX_VRSIM_CAPTURE_FRAMES and
  // QUONIX_VRSIM_EXIT_AFTER (at every initialisation).
  void configureFromEnvironment();
  // Forgets every frame (a new world).
  void reset();

  // Time to wait until the next display period begins at rate Hz (0: none); at most one period.
  double secondsUntilNextFrame(double rate) const;
  float frameTimeRemaining(double rate) const;
  // A new frame begins (WaitGetPoses returned): an eye submitted without its partner is dropped.
  void beginFrame();

  vr::EVRCompositorError submit(SimWorld& world, vr::EVREye eye, const vr::Texture_t* texture);
  void clearLastSubmittedFrame();
  bool frameTiming(vr::Compositor_FrameTiming* timing, uint32_t framesAgo) const;
  uint64_t submittedFrames() const { return _submitted; }

  // Seconds on the runtime's clock (steady, from the first use of the runtime).
  static double now();

 private:
  struct EyeImage {
    int width = 0, height = 0;
    std::vector<uint8_t> rgba;  // bottom row first, as OpenGL reads it
  };

  bool wantsCapture(uint64_t frame) const;
  void completeFrame(SimWorld& world);
  void writeCapture(uint64_t frame);

  std::string _captureDir;
  uint64_t _captureEvery = 0;
  std::set<uint64_t> _captureFrames;
  uint64_t _exitAfter = 0;
  bool _exitSent = false;

  uint64_t _submitted = 0;  // complete frames (both eyes)
  int _eyesSubmitted = 0;   // bits of the frame in progress
  EyeImage _eyes[2];
  bool _captureFailed = false;  // reported once
  bool _writeFailed = false;
  std::deque<vr::Compositor_FrameTiming> _timings;  // newest first
};

}  // namespace vrsim
