#include "FrameCompositor.h"

#include <signal.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <sstream>

#include "PngWriter.h"
#include "SimWorld.h"
#include "TextureReadback.h"

namespace vrsim {

namespace {

const size_t kTimingsKept = 256;

std::string environment(const char* name) {
  const char* v = std::getenv(name);
  return v ? std::string(v) : std::string();
}

// A positive whole number from the environment, 0 when absent; a bad value is reported.
uint64_t positiveFromEnvironment(const char* name) {
  const std::string text = environment(name);
  if (text.empty()) return 0;
  char* end = nullptr;
  const unsigned long long v = std::strtoull(text.c_str(), &end, 10);
  if (*end != '\0' || text[0] == '-' || v == 0) {
    std::cerr << "vrsim: " << name << "=" << text << " is not a positive whole number; ignored"
              << std::endl;
    return 0;
  }
  return v;
}

}  // namespace

FrameCompositor::FrameCompositor() { now(); }

double FrameCompositor::now() {
  static const auto epoch = std::chrono::steady_clock::now();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - epoch).count();
}

void FrameCompositor::configureFromEnvironment() {
  _captureDir = environment("QUONIX_VRSIM_CAPTURE_DIR");
  _captureEvery = positiveFromEnvironment("QUONIX_VRSIM_CAPTURE_EVERY");
  _captureFrames.clear();
  const std::string frames = environment("QUONIX_VRSIM_CAPTURE_FRAMES");
  std::stringstream list(frames);
  std::string item;
  while (std::getline(list, item, ',')) {
    char* end = nullptr;
    const unsigned long long v = std::strtoull(item.c_str(), &end, 10);
    if (item.empty() || *end != '\0' || item[0] == '-' || v == 0)
      std::cerr << "vrsim: QUONIX_VRSIM_CAPTURE_FRAMES: '" << item
                << "' is not a frame number (1, 2, ...); ignored" << std::endl;
    else
      _captureFrames.insert(v);
  }
  _exitAfter = positiveFromEnvironment("QUONIX_VRSIM_EXIT_AFTER");
  _exitSent = false;
  _captureFailed = false;
  _writeFailed = false;
}

void FrameCompositor::reset() {
  _submitted = 0;
  _eyesSubmitted = 0;
  _timings.clear();
  _exitSent = false;
}

double FrameCompositor::secondsUntilNextFrame(double rate) const {
  if (rate <= 0) return 0;
  // Display periods begin on a fixed grid, as a display's vertical sync does.
  const double period = 1.0 / rate;
  const double t = now();
  const double wait = period - std::fmod(t, period);
  return wait > period ? period : wait;
}

float FrameCompositor::frameTimeRemaining(double rate) const {
  return float(secondsUntilNextFrame(rate));
}

void FrameCompositor::beginFrame() { _eyesSubmitted = 0; }

bool FrameCompositor::wantsCapture(uint64_t frame) const {
  if (_captureDir.empty()) return false;
  if (_captureEvery == 0 && _captureFrames.empty()) return true;  // only a folder: every frame
  if (_captureEvery != 0 && frame % _captureEvery == 0) return true;
  return _captureFrames.count(frame) != 0;
}

vr::EVRCompositorError FrameCompositor::submit(SimWorld& world, vr::EVREye eye,
                                               const vr::Texture_t* texture) {
  if (eye != vr::Eye_Left && eye != vr::Eye_Right) return vr::VRCompositorError_IndexOutOfRange;
  if (!texture || !texture->handle || texture->eType != vr::TextureType_OpenGL)
    return vr::VRCompositorError_InvalidTexture;
  if (int code = world.submitFailure[eye].take()) return vr::EVRCompositorError(code);

  const uint64_t frame = _submitted + 1;
  EyeImage& image = _eyes[eye];
  image.rgba.clear();
  if (wantsCapture(frame)) {
    std::string error;
    const auto name = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(texture->handle));
    if (!readTexture(name, image.width, image.height, image.rgba, error)) {
      image.rgba.clear();
      if (!_captureFailed)
        std::cerr << "vrsim: cannot capture the submitted eye: " << error << std::endl;
      _captureFailed = true;
    }
  }
  _eyesSubmitted |= 1 << eye;
  if (_eyesSubmitted == 3) completeFrame(world);
  return vr::VRCompositorError_None;
}

void FrameCompositor::completeFrame(SimWorld& world) {
  _eyesSubmitted = 0;
  ++_submitted;

  vr::Compositor_FrameTiming timing;
  std::memset(&timing, 0, sizeof timing);
  timing.m_nSize = sizeof timing;
  timing.m_nFrameIndex = uint32_t(_submitted);
  timing.m_nNumFramePresents = 1;
  timing.m_flSystemTimeInSeconds = world.now();
  if (!_timings.empty())
    timing.m_flClientFrameIntervalMs =
        float((timing.m_flSystemTimeInSeconds - _timings.front().m_flSystemTimeInSeconds) * 1000.0);
  for (const SimDevice& d : world.devices())
    if (d.deviceClass == vr::TrackedDeviceClass_HMD && d.present()) timing.m_HmdPose = world.poseOf(d);
  _timings.push_front(timing);
  if (_timings.size() > kTimingsKept) _timings.pop_back();

  if (wantsCapture(_submitted)) writeCapture(_submitted);

  if (_exitAfter != 0 && _submitted >= _exitAfter && !_exitSent) {
    _exitSent = true;
    std::cerr << "vrsim: " << _submitted << " frames submitted; ending the program" << std::endl;
    ::kill(::getpid(), SIGTERM);
  }
}

void FrameCompositor::writeCapture(uint64_t frame) {
  static const char* const eyeNames[2] = {"left", "right"};
  std::error_code ec;
  std::filesystem::create_directories(_captureDir, ec);
  for (int eye = 0; eye < 2; ++eye) {
    const EyeImage& image = _eyes[eye];
    if (image.rgba.empty()) continue;
    char file[64];
    std::snprintf(file, sizeof file, "frame-%06llu-%s.png", static_cast<unsigned long long>(frame),
                  eyeNames[eye]);
    const std::string path = (std::filesystem::path(_captureDir) / file).string();
    std::string error;
    if (!PngWriter::writeRGB(path, image.width, image.height, image.rgba, true, error) && !_writeFailed) {
      std::cerr << "vrsim: cannot write " << path << ": " << error << std::endl;
      _writeFailed = true;  // reported once, not every frame
    }
  }
}

void FrameCompositor::clearLastSubmittedFrame() { _eyesSubmitted = 0; }

bool FrameCompositor::frameTiming(vr::Compositor_FrameTiming* timing, uint32_t framesAgo) const {
  if (!timing || timing->m_nSize != sizeof(vr::Compositor_FrameTiming)) return false;
  if (framesAgo >= _timings.size()) return false;
  *timing = _timings[framesAgo];
  return true;
}

}  // namespace vrsim
