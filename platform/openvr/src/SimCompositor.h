#pragma once
// The compositor interface of one runtime session: paces frames, hands out poses, takes the
// submitted eyes. Any thread (the program calls it on its render thread); every call takes the
// runtime's mutex, except for the pacing wait, which happens outside it.
#include "openvr.h"

namespace vrsim {

class SimCompositor : public vr::IVRCompositor {
 public:
  explicit SimCompositor(uint32_t token) : _token(token) {}
  ~SimCompositor() override = default;

  void SetTrackingSpace(vr::ETrackingUniverseOrigin eOrigin) override;
  vr::ETrackingUniverseOrigin GetTrackingSpace() override;
  vr::EVRCompositorError WaitGetPoses(vr::TrackedDevicePose_t* pRenderPoseArray,
                                      uint32_t unRenderPoseArrayCount,
                                      vr::TrackedDevicePose_t* pGamePoseArray,
                                      uint32_t unGamePoseArrayCount) override;
  vr::EVRCompositorError GetLastPoses(vr::TrackedDevicePose_t* pRenderPoseArray,
                                      uint32_t unRenderPoseArrayCount,
                                      vr::TrackedDevicePose_t* pGamePoseArray,
                                      uint32_t unGamePoseArrayCount) override;
  vr::EVRCompositorError Submit(vr::EVREye eEye, const vr::Texture_t* pTexture,
                                const vr::VRTextureBounds_t* pBounds,
                                vr::EVRSubmitFlags nSubmitFlags) override;
  void ClearLastSubmittedFrame() override;
  void PostPresentHandoff() override {}
  bool GetFrameTiming(vr::Compositor_FrameTiming* pTiming, uint32_t unFramesAgo) override;
  float GetFrameTimeRemaining() override;
  void ForceInterleavedReprojectionOn(bool bOverride) override;
  bool IsFullscreen() override { return true; }

 private:
  const uint32_t _token;
  vr::ETrackingUniverseOrigin _origin = vr::TrackingUniverseStanding;
  bool _interleaved = false;
  vr::TrackedDevicePose_t _lastPoses[vr::k_unMaxTrackedDeviceCount] = {};
};

}  // namespace vrsim
