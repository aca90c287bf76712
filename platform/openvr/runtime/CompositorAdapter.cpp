#include "CompositorAdapter.h"

#include <cstring>

#include "PoseLayout.h"
#include "SimulatorPort.h"

namespace vrsim {
namespace runtime {

void CompositorAdapter::SetTrackingSpace(vr::ETrackingUniverseOrigin eOrigin) {
  port::setTrackingSpace(_compositor, eOrigin);
}

vr::ETrackingUniverseOrigin CompositorAdapter::GetTrackingSpace() {
  return vr::ETrackingUniverseOrigin(port::trackingSpace(_compositor));
}

vr::EVRCompositorError CompositorAdapter::WaitGetPoses(vr::TrackedDevicePose_t* pRenderPoseArray,
                                                       uint32_t unRenderPoseArrayCount,
                                                       vr::TrackedDevicePose_t* pGamePoseArray,
                                                       uint32_t unGamePoseArrayCount) {
  return vr::EVRCompositorError(port::waitGetPoses(_compositor, portPoses(pRenderPoseArray), unRenderPoseArrayCount,
                                                   portPoses(pGamePoseArray), unGamePoseArrayCount));
}

vr::EVRCompositorError CompositorAdapter::GetLastPoses(vr::TrackedDevicePose_t* pRenderPoseArray,
                                                       uint32_t unRenderPoseArrayCount,
                                                       vr::TrackedDevicePose_t* pGamePoseArray,
                                                       uint32_t unGamePoseArrayCount) {
  return vr::EVRCompositorError(port::lastPoses(_compositor, portPoses(pRenderPoseArray), unRenderPoseArrayCount,
                                                portPoses(pGamePoseArray), unGamePoseArrayCount));
}

vr::EVRCompositorError CompositorAdapter::GetLastPoseForTrackedDeviceIndex(vr::TrackedDeviceIndex_t unDeviceIndex,
                                                                           vr::TrackedDevicePose_t* pOutputPose,
                                                                           vr::TrackedDevicePose_t* pOutputGamePose) {
  if (unDeviceIndex >= vr::k_unMaxTrackedDeviceCount) return vr::VRCompositorError_IndexOutOfRange;
  vr::TrackedDevicePose_t render[vr::k_unMaxTrackedDeviceCount] = {};
  vr::TrackedDevicePose_t game[vr::k_unMaxTrackedDeviceCount] = {};
  const vr::EVRCompositorError error =
      GetLastPoses(render, vr::k_unMaxTrackedDeviceCount, game, vr::k_unMaxTrackedDeviceCount);
  if (pOutputPose) *pOutputPose = render[unDeviceIndex];
  if (pOutputGamePose) *pOutputGamePose = game[unDeviceIndex];
  return error;
}

vr::EVRCompositorError CompositorAdapter::Submit(vr::EVREye eEye, const vr::Texture_t* pTexture,
                                                 const vr::VRTextureBounds_t* pBounds, vr::EVRSubmitFlags nSubmitFlags) {
  if (!pTexture) return vr::VRCompositorError_InvalidTexture;
  float bounds[4] = {0, 0, 1, 1};
  if (pBounds) {
    bounds[0] = pBounds->uMin;
    bounds[1] = pBounds->vMin;
    bounds[2] = pBounds->uMax;
    bounds[3] = pBounds->vMax;
  }
  return vr::EVRCompositorError(port::submit(_compositor, eEye, pTexture->handle, pTexture->eType,
                                             pTexture->eColorSpace, pBounds ? bounds : nullptr, nSubmitFlags));
}

// Texture arrays are not the simulator's: nothing is shown, as a runtime without them answers.
vr::EVRCompositorError CompositorAdapter::SubmitWithArrayIndex(vr::EVREye, const vr::Texture_t*, uint32_t,
                                                               const vr::VRTextureBounds_t*, vr::EVRSubmitFlags) {
  return vr::VRCompositorError_TextureUsesUnsupportedFormat;
}

void CompositorAdapter::ClearLastSubmittedFrame() { port::clearLastSubmittedFrame(_compositor); }

void CompositorAdapter::PostPresentHandoff() { port::postPresentHandoff(_compositor); }

// The SDK's record is longer (and packed): the fields the simulator knows are copied one by one.
bool CompositorAdapter::GetFrameTiming(vr::Compositor_FrameTiming* pTiming, uint32_t unFramesAgo) {
  if (!pTiming || pTiming->m_nSize != sizeof(vr::Compositor_FrameTiming)) return false;
  port::FrameTiming t{};
  if (!port::frameTiming(_compositor, t, unFramesAgo)) return false;
  std::memset(pTiming, 0, sizeof *pTiming);
  pTiming->m_nSize = sizeof(vr::Compositor_FrameTiming);
  pTiming->m_nFrameIndex = t.frameIndex;
  pTiming->m_nNumFramePresents = t.numFramePresents;
  pTiming->m_nNumMisPresented = t.numMisPresented;
  pTiming->m_nNumDroppedFrames = t.numDroppedFrames;
  pTiming->m_nReprojectionFlags = t.reprojectionFlags;
  pTiming->m_flSystemTimeInSeconds = t.systemTimeInSeconds;
  pTiming->m_flPreSubmitGpuMs = t.preSubmitGpuMs;
  pTiming->m_flPostSubmitGpuMs = t.postSubmitGpuMs;
  pTiming->m_flTotalRenderGpuMs = t.totalRenderGpuMs;
  pTiming->m_flCompositorRenderGpuMs = t.compositorRenderGpuMs;
  pTiming->m_flCompositorRenderCpuMs = t.compositorRenderCpuMs;
  pTiming->m_flCompositorIdleCpuMs = t.compositorIdleCpuMs;
  pTiming->m_flClientFrameIntervalMs = t.clientFrameIntervalMs;
  pTiming->m_flPresentCallCpuMs = t.presentCallCpuMs;
  pTiming->m_flWaitForPresentCpuMs = t.waitForPresentCpuMs;
  pTiming->m_flSubmitFrameMs = t.submitFrameMs;
  pTiming->m_flWaitGetPosesCalledMs = t.waitGetPosesCalledMs;
  pTiming->m_flNewPosesReadyMs = t.newPosesReadyMs;
  pTiming->m_flNewFrameReadyMs = t.newFrameReadyMs;
  pTiming->m_flCompositorUpdateStartMs = t.compositorUpdateStartMs;
  pTiming->m_flCompositorUpdateEndMs = t.compositorUpdateEndMs;
  pTiming->m_flCompositorRenderStartMs = t.compositorRenderStartMs;
  std::memcpy(&pTiming->m_HmdPose, &t.hmdPose, sizeof t.hmdPose);
  return true;
}

uint32_t CompositorAdapter::GetFrameTimings(vr::Compositor_FrameTiming* pTiming, uint32_t nFrames) {
  if (!pTiming) return 0;
  uint32_t count = 0;
  // Oldest first, ending with the latest frame.
  for (uint32_t ago = nFrames; ago-- > 0;) {
    vr::Compositor_FrameTiming& slot = pTiming[count];
    slot.m_nSize = sizeof(vr::Compositor_FrameTiming);
    if (GetFrameTiming(&slot, ago)) ++count;
  }
  return count;
}

float CompositorAdapter::GetFrameTimeRemaining() { return port::frameTimeRemaining(_compositor); }

void CompositorAdapter::GetCumulativeStats(vr::Compositor_CumulativeStats* pStats, uint32_t nStatsSizeInBytes) {
  if (pStats && nStatsSizeInBytes == sizeof(vr::Compositor_CumulativeStats)) std::memset(pStats, 0, nStatsSizeInBytes);
}

bool CompositorAdapter::IsFullscreen() { return port::fullscreen(_compositor); }

void CompositorAdapter::ForceInterleavedReprojectionOn(bool bOverride) {
  port::forceInterleavedReprojection(_compositor, bOverride);
}

vr::EVRCompositorError CompositorAdapter::GetMirrorTextureD3D11(vr::EVREye, void*, void**) {
  return vr::VRCompositorError_RequestFailed;
}

vr::EVRCompositorError CompositorAdapter::GetMirrorTextureGL(vr::EVREye, vr::glUInt_t*, vr::glSharedTextureHandle_t*) {
  return vr::VRCompositorError_RequestFailed;
}

uint32_t CompositorAdapter::GetVulkanInstanceExtensionsRequired(char* pchValue, uint32_t unBufferSize) {
  if (pchValue && unBufferSize > 0) pchValue[0] = '\0';
  return 1;
}

uint32_t CompositorAdapter::GetVulkanDeviceExtensionsRequired(VkPhysicalDevice_T*, char* pchValue,
                                                              uint32_t unBufferSize) {
  if (pchValue && unBufferSize > 0) pchValue[0] = '\0';
  return 1;
}

vr::EVRCompositorError CompositorAdapter::SetStageOverride_Async(const char*, const vr::HmdMatrix34_t*,
                                                                 const vr::Compositor_StageRenderSettings*, uint32_t) {
  return vr::VRCompositorError_RequestFailed;
}

vr::EVRCompositorError CompositorAdapter::GetLastPosePredictionIDs(uint32_t* pRenderPosePredictionID,
                                                                   uint32_t* pGamePosePredictionID) {
  if (pRenderPosePredictionID) *pRenderPosePredictionID = 0;
  if (pGamePosePredictionID) *pGamePosePredictionID = 0;
  return vr::VRCompositorError_None;
}

vr::EVRCompositorError CompositorAdapter::GetPosesForFrame(uint32_t, vr::TrackedDevicePose_t* pPoseArray,
                                                           uint32_t unPoseArrayCount) {
  return GetLastPoses(pPoseArray, unPoseArrayCount, nullptr, 0);
}

}  // namespace runtime
}  // namespace vrsim
