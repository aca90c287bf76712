#pragma once
// The OpenVR SDK's compositor interface (IVRCompositor_028) over one session of the simulated
// headset; built only against the SDK's header. Calls the simulator offers go through the port,
// the rest do nothing and report no error. Any thread (programs call it on their render thread);
// the simulator's compositor takes its own mutex.
#include "openvr.h"

namespace vrsim {
namespace runtime {

class CompositorAdapter : public vr::IVRCompositor {
 public:
  explicit CompositorAdapter(void* compositor) : _compositor(compositor) {}

  void SetTrackingSpace(vr::ETrackingUniverseOrigin eOrigin) override;
  vr::ETrackingUniverseOrigin GetTrackingSpace() override;
  vr::EVRCompositorError WaitGetPoses(vr::TrackedDevicePose_t* pRenderPoseArray, uint32_t unRenderPoseArrayCount,
                                      vr::TrackedDevicePose_t* pGamePoseArray, uint32_t unGamePoseArrayCount) override;
  vr::EVRCompositorError GetLastPoses(vr::TrackedDevicePose_t* pRenderPoseArray, uint32_t unRenderPoseArrayCount,
                                      vr::TrackedDevicePose_t* pGamePoseArray, uint32_t unGamePoseArrayCount) override;
  vr::EVRCompositorError GetLastPoseForTrackedDeviceIndex(vr::TrackedDeviceIndex_t unDeviceIndex,
                                                          vr::TrackedDevicePose_t* pOutputPose,
                                                          vr::TrackedDevicePose_t* pOutputGamePose) override;
  vr::EVRCompositorError Submit(vr::EVREye eEye, const vr::Texture_t* pTexture, const vr::VRTextureBounds_t* pBounds,
                                vr::EVRSubmitFlags nSubmitFlags) override;
  vr::EVRCompositorError SubmitWithArrayIndex(vr::EVREye eEye, const vr::Texture_t* pTexture,
                                              uint32_t unTextureArrayIndex, const vr::VRTextureBounds_t* pBounds,
                                              vr::EVRSubmitFlags nSubmitFlags) override;
  void ClearLastSubmittedFrame() override;
  void PostPresentHandoff() override;
  bool GetFrameTiming(vr::Compositor_FrameTiming* pTiming, uint32_t unFramesAgo) override;
  uint32_t GetFrameTimings(vr::Compositor_FrameTiming* pTiming, uint32_t nFrames) override;
  float GetFrameTimeRemaining() override;
  void GetCumulativeStats(vr::Compositor_CumulativeStats* pStats, uint32_t nStatsSizeInBytes) override;
  void FadeToColor(float, float, float, float, float, bool) override {}
  vr::HmdColor_t GetCurrentFadeColor(bool) override { return vr::HmdColor_t{0, 0, 0, 0}; }
  void FadeGrid(float, bool) override {}
  float GetCurrentGridAlpha() override { return 0.0f; }
  vr::EVRCompositorError SetSkyboxOverride(const vr::Texture_t*, uint32_t) override { return vr::VRCompositorError_None; }
  void ClearSkyboxOverride() override {}
  void CompositorBringToFront() override {}
  void CompositorGoToBack() override {}
  void CompositorQuit() override {}
  bool IsFullscreen() override;
  uint32_t GetCurrentSceneFocusProcess() override { return 0; }
  uint32_t GetLastFrameRenderer() override { return 0; }
  bool CanRenderScene() override { return true; }
  void ShowMirrorWindow() override {}
  void HideMirrorWindow() override {}
  bool IsMirrorWindowVisible() override { return false; }
  void CompositorDumpImages() override {}
  bool ShouldAppRenderWithLowResources() override { return false; }
  void ForceInterleavedReprojectionOn(bool bOverride) override;
  void ForceReconnectProcess() override {}
  void SuspendRendering(bool) override {}
  vr::EVRCompositorError GetMirrorTextureD3D11(vr::EVREye, void*, void**) override;
  void ReleaseMirrorTextureD3D11(void*) override {}
  vr::EVRCompositorError GetMirrorTextureGL(vr::EVREye, vr::glUInt_t*, vr::glSharedTextureHandle_t*) override;
  bool ReleaseSharedGLTexture(vr::glUInt_t, vr::glSharedTextureHandle_t) override { return false; }
  void LockGLSharedTextureForAccess(vr::glSharedTextureHandle_t) override {}
  void UnlockGLSharedTextureForAccess(vr::glSharedTextureHandle_t) override {}
  uint32_t GetVulkanInstanceExtensionsRequired(char* pchValue, uint32_t unBufferSize) override;
  uint32_t GetVulkanDeviceExtensionsRequired(VkPhysicalDevice_T*, char* pchValue, uint32_t unBufferSize) override;
  void SetExplicitTimingMode(vr::EVRCompositorTimingMode) override {}
  vr::EVRCompositorError SubmitExplicitTimingData() override { return vr::VRCompositorError_None; }
  bool IsMotionSmoothingEnabled() override { return false; }
  bool IsMotionSmoothingSupported() override { return false; }
  bool IsCurrentSceneFocusAppLoading() override { return false; }
  vr::EVRCompositorError SetStageOverride_Async(const char*, const vr::HmdMatrix34_t*,
                                                const vr::Compositor_StageRenderSettings*, uint32_t) override;
  void ClearStageOverride() override {}
  bool GetCompositorBenchmarkResults(vr::Compositor_BenchmarkResults*, uint32_t) override { return false; }
  vr::EVRCompositorError GetLastPosePredictionIDs(uint32_t* pRenderPosePredictionID,
                                                  uint32_t* pGamePosePredictionID) override;
  vr::EVRCompositorError GetPosesForFrame(uint32_t unPosePredictionID, vr::TrackedDevicePose_t* pPoseArray,
                                          uint32_t unPoseArrayCount) override;

 private:
  void* const _compositor;  // the simulator's compositor of this session
};

}  // namespace runtime
}  // namespace vrsim
