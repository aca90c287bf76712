#include "SimCompositor.h"

#include <chrono>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>

#include "Runtime.h"

namespace vrsim {

namespace {
using Guard = std::lock_guard<std::recursive_mutex>;
}

void SimCompositor::SetTrackingSpace(vr::ETrackingUniverseOrigin eOrigin) {
  Guard guard(Runtime::instance().mutex());
  _origin = eOrigin;
}

vr::ETrackingUniverseOrigin SimCompositor::GetTrackingSpace() {
  Guard guard(Runtime::instance().mutex());
  return _origin;
}

vr::EVRCompositorError SimCompositor::WaitGetPoses(vr::TrackedDevicePose_t* renderPoses,
                                                   uint32_t renderCount,
                                                   vr::TrackedDevicePose_t* gamePoses,
                                                   uint32_t gameCount) {
  Runtime& rt = Runtime::instance();
  double wait = 0;
  {
    Guard guard(rt.mutex());
    if (!rt.isCurrent(_token)) return vr::VRCompositorError_RequestFailed;
    if (!rt.world().scriptedClock) wait = rt.frames().secondsUntilNextFrame(rt.world().rate);
  }
  // At most one display period; the runtime's mutex stays free meanwhile.
  if (wait > 0) std::this_thread::sleep_for(std::chrono::duration<double>(wait));

  Guard guard(rt.mutex());
  if (!rt.isCurrent(_token)) return vr::VRCompositorError_RequestFailed;
  SimWorld& world = rt.world();
  rt.frames().beginFrame();
  world.advanceFrame();
  // A scripted "time" line holds the frame; the runtime's mutex stays free meanwhile.
  for (double delay = world.takePendingDelay(); delay > 0; delay = world.takePendingDelay()) {
    rt.mutex().unlock();
    std::this_thread::sleep_for(std::chrono::duration<double>(delay));
    rt.mutex().lock();
    if (!rt.isCurrent(_token)) return vr::VRCompositorError_RequestFailed;
  }
  // A scripted "wait-file" line holds the frame until the file is there, at most a minute.
  if (!world.pendingFile.empty()) {
    const std::string path = world.pendingFile;
    world.pendingFile.clear();
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    rt.mutex().unlock();
    while (!std::ifstream(path).good() && std::chrono::steady_clock::now() < end)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    rt.mutex().lock();
    if (!rt.isCurrent(_token)) return vr::VRCompositorError_RequestFailed;
  }
  world.fillPoses(_lastPoses, vr::k_unMaxTrackedDeviceCount);
  world.fillPoses(renderPoses, renderCount);
  world.fillPoses(gamePoses, gameCount);
  return vr::VRCompositorError_None;
}

vr::EVRCompositorError SimCompositor::GetLastPoses(vr::TrackedDevicePose_t* renderPoses,
                                                   uint32_t renderCount,
                                                   vr::TrackedDevicePose_t* gamePoses,
                                                   uint32_t gameCount) {
  Runtime& rt = Runtime::instance();
  Guard guard(rt.mutex());
  if (!rt.isCurrent(_token)) return vr::VRCompositorError_RequestFailed;
  vr::TrackedDevicePose_t* arrays[2] = {renderPoses, gamePoses};
  const uint32_t counts[2] = {renderCount, gameCount};
  for (int a = 0; a < 2; ++a) {
    if (!arrays[a]) continue;
    for (uint32_t i = 0; i < counts[a]; ++i) {
      if (i < vr::k_unMaxTrackedDeviceCount) {
        arrays[a][i] = _lastPoses[i];
      } else {
        std::memset(&arrays[a][i], 0, sizeof arrays[a][i]);
        arrays[a][i].eTrackingResult = vr::TrackingResult_Uninitialized;
      }
    }
  }
  return vr::VRCompositorError_None;
}

vr::EVRCompositorError SimCompositor::Submit(vr::EVREye eEye, const vr::Texture_t* pTexture,
                                             const vr::VRTextureBounds_t*, vr::EVRSubmitFlags) {
  Runtime& rt = Runtime::instance();
  Guard guard(rt.mutex());
  if (!rt.isCurrent(_token)) return vr::VRCompositorError_RequestFailed;
  return rt.frames().submit(rt.world(), eEye, pTexture);
}

void SimCompositor::ClearLastSubmittedFrame() {
  Runtime& rt = Runtime::instance();
  Guard guard(rt.mutex());
  if (rt.isCurrent(_token)) rt.frames().clearLastSubmittedFrame();
}

bool SimCompositor::GetFrameTiming(vr::Compositor_FrameTiming* pTiming, uint32_t unFramesAgo) {
  Runtime& rt = Runtime::instance();
  Guard guard(rt.mutex());
  return rt.isCurrent(_token) && rt.frames().frameTiming(pTiming, unFramesAgo);
}

float SimCompositor::GetFrameTimeRemaining() {
  Runtime& rt = Runtime::instance();
  Guard guard(rt.mutex());
  return rt.isCurrent(_token) ? rt.frames().frameTimeRemaining(rt.world().rate) : 0.0f;
}

void SimCompositor::ForceInterleavedReprojectionOn(bool bOverride) {
  Guard guard(Runtime::instance().mutex());
  _interleaved = bOverride;  // a simulated display never reprojects; kept for completeness
}

}  // namespace vrsim
