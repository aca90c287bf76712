#include "OpenVRRenderWindow.h"

#include <vtk_glew.h>

#include <openvr.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <iostream>
#include <sstream>

#include <vtkAssembly.h>
#include <vtkCallbackCommand.h>
#include <vtkCommand.h>
#include <vtkCullerCollection.h>
#include <vtkImageData.h>
#include <vtkLightCollection.h>
#include <vtkObjectFactory.h>
#include <vtkOpenGLGPUVolumeRayCastMapper.h>
#include <vtkOpenGLState.h>
#include <vtkProp3DCollection.h>
#include <vtkPropAssembly.h>
#include <vtkPropCollection.h>
#include <vtkRendererCollection.h>
#include <vtkTextureObject.h>
#include <vtkTimerLog.h>
#include <vtkVolume.h>

#include "Configuration.h"
#include "HudVolumeRendering.h"
#include "Logger.h"
#include "RenderLock.h"
#include "TextureParameters.h"
#include "kvg/OpenGLRenderer.h"

vtkStandardNewMacro(OpenVRRenderWindow);

namespace {

const char* const kLayerNames[3] = {"vrBackGround", "vrWidgets", "vrModels"};

// VTK's timer log is one process-wide buffer that every vtkRenderer::Render writes without a
// lock, and the two buffers render on two threads (render thread, back-buffer updater): it is
// switched off before main() runs, while the process has one thread. Nothing reads it.
[[maybe_unused]] const bool g_timerLogOff = [] {
  vtkTimerLog::LoggingOff();
  return true;
}();

// Largest render-target side accepted from the configuration.
constexpr int kMaxTargetSide = 16384;

int maxGl(GLenum what, int fallback) {
  GLint value = 0;
  glGetIntegerv(what, &value);
  return value > 0 ? value : fallback;
}

// Both buffers' windows fit their targets the same way: a setting that asks too much is said once.
void errorOnce(std::atomic<bool>& said, const std::string& text) {
  if (!said.exchange(true)) Logger::getSingleton().error(text);
}
std::atomic<bool> g_hudSizeSaid{false};
std::atomic<bool> g_eyeSizeSaid{false};

// The HUD target's size from "hudResolution" and "hudAspectRatio", within what GL allows.
void hudSize(int& width, int& height) {
  const int maxSide = maxGl(GL_MAX_TEXTURE_SIZE, kMaxTargetSide);
  const int askedWidth = GetConfigInt("hudResolution", 1024);
  width = GetConfigIntClamped("hudResolution", 1024, 1, kMaxTargetSide);
  const double aspect = GetConfigRealClamped("hudAspectRatio", 4.0 / 3.0, 1.0 / kMaxTargetSide, kMaxTargetSide);
  const double h = width / aspect;
  height = h < 1.0 ? 1 : h > kMaxTargetSide ? kMaxTargetSide : static_cast<int>(h);
  const bool outOfRange = width != askedWidth;
  if (FitTargetSize(width, height, maxSide) || outOfRange) {
    // What the config holds, not what the range above made of it.
    std::ostringstream text;
    text << "OpenVRRenderWindow: \"hudResolution\" asks for a " << askedWidth << " pixel wide HUD (aspect ratio "
         << GetConfigReal("hudAspectRatio", 4.0 / 3.0) << "); made " << width << " x " << height;
    errorOnce(g_hudSizeSaid, text.str());
  }
}

// Plain RGBA8 storage of one level, filtered linearly (the mirror scales it).
void defineResolveTexture(GLuint texture, int width, int height) {
  glBindTexture(GL_TEXTURE_2D, texture);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
  glBindTexture(GL_TEXTURE_2D, 0);
}

}  // namespace

void GetRecommendedRenderTargetSize(uint32_t& width, uint32_t& height) {
  Lock::AutoLock lock(GetRenderLock());
  vr::IVRSystem* system = vr::VRSystem();
  if (!system) return;
  system->GetRecommendedRenderTargetSize(&width, &height);
  // The factor scales a size: kept within what a texture can be.
  const double wf = GetConfigRealClamped("resolutionFactor", 1.0, 0.01, 16.0);
  const double w = std::trunc(width * wf);
  const double hf = GetConfigRealClamped("resolutionFactor", 1.0, 0.01, 16.0);
  const double h = std::trunc(height * hf);
  width = static_cast<uint32_t>(w < 1 ? 1 : w > kMaxTargetSide ? kMaxTargetSide : w);
  height = static_cast<uint32_t>(h < 1 ? 1 : h > kMaxTargetSide ? kMaxTargetSide : h);
}

OpenVRRenderWindow::OpenVRRenderWindow() : _hudImage(vtkSmartPointer<vtkImageData>::New()) {
  // The scene view owns the context and makes it current before every use of this window.
  SetOwnContext(0);
  SetIsCurrent(true);
  SetReadyForRendering(true);
  SetMapped(1);
  SetSwapBuffers(1);
  SetFrameBlitModeToNoBlit();
  SetStereoCapableWindow(1);
  SetStereoTypeToCrystalEyes();
  SetStereoRender(1);
  for (int i = 0; i < 3; ++i) {
    _layers[i] = vtkSmartPointer<kvg::OpenGLRenderer>::New();
    _layers[i]->setName(kLayerNames[i]);
    AddRenderer(_layers[i]);
  }
  _layers[BackgroundLayer]->SetErase(true);
  _layers[WidgetLayer]->SetErase(false);
  _layers[ModelLayer]->SetErase(false);
}

OpenVRRenderWindow::~OpenVRRenderWindow() {
  for (auto& mapper : _volumeMappers) {
    if (!mapper) continue;
    mapper->RemoveObserver(_volumeMapperCommand);
    if (_volumeDepth) mapper->SetSharedDepthTexture(nullptr);
  }
}

void OpenVRRenderWindow::ReleaseGraphicsResources(vtkWindow* window) {
  vtkGenericOpenGLRenderWindow::ReleaseGraphicsResources(window);
  if (_volumeDepth) _volumeDepth->ReleaseGraphicsResources(window);
  if (_volumeDepthFramebuffer != 0) {
    GLuint name = _volumeDepthFramebuffer;
    glDeleteFramebuffers(1, &name);
    _volumeDepthFramebuffer = 0;
  }
}

void OpenVRRenderWindow::Render() {
  vtkRendererCollection* renderers = GetRenderers();
  vtkCollectionSimpleIterator it;
  renderers->InitTraversal(it);
  while (vtkRenderer* renderer = renderers->GetNextRenderer(it)) {
    if (!renderer->GetDraw()) continue;
    vtkPropCollection* props = renderer->GetViewProps();
    vtkCollectionSimpleIterator pit;
    props->InitTraversal(pit);
    while (vtkProp* prop = props->GetNextProp(pit)) watchVolumeMappers(prop);
  }
  vtkGenericOpenGLRenderWindow::Render();
}

void OpenVRRenderWindow::watchVolumeMappers(vtkProp* prop) {
  // Visibility is no test: the scene's managers may show a volume only once rendering starts.
  if (auto* volume = vtkVolume::SafeDownCast(prop)) {
    auto* mapper = vtkOpenGLGPUVolumeRayCastMapper::SafeDownCast(volume->GetMapper());
    if (!mapper || mapper->HasObserver(vtkCommand::VolumeMapperRenderStartEvent, _volumeMapperCommand)) return;
    if (!_volumeDepth) {
      _volumeDepth = vtkSmartPointer<vtkTextureObject>::New();
      _volumeMapperCommand->SetClientData(this);
      _volumeMapperCommand->SetCallback(&OpenVRRenderWindow::onVolumeMapperEvent);
    }
    mapper->SetSharedDepthTexture(_volumeDepth);
    mapper->AddObserver(vtkCommand::VolumeMapperRenderStartEvent, _volumeMapperCommand);
    mapper->AddObserver(vtkCommand::VolumeMapperRenderEndEvent, _volumeMapperCommand);
    _volumeMappers.erase(std::remove_if(_volumeMappers.begin(), _volumeMappers.end(),
                                        [](const vtkWeakPointer<vtkOpenGLGPUVolumeRayCastMapper>& m) { return !m; }),
                         _volumeMappers.end());
    _volumeMappers.emplace_back(mapper);
  } else if (auto* assembly = vtkPropAssembly::SafeDownCast(prop)) {
    vtkPropCollection* parts = assembly->GetParts();
    vtkCollectionSimpleIterator it;
    parts->InitTraversal(it);
    while (vtkProp* part = parts->GetNextProp(it)) watchVolumeMappers(part);
  } else if (auto* assembly3d = vtkAssembly::SafeDownCast(prop)) {
    vtkProp3DCollection* parts = assembly3d->GetParts();
    vtkCollectionSimpleIterator it;
    parts->InitTraversal(it);
    while (vtkProp3D* part = parts->GetNextProp3D(it)) watchVolumeMappers(part);
  }
}

// Whichever thread renders this window, context current.
void OpenVRRenderWindow::onVolumeMapperEvent(vtkObject*, unsigned long event, void* self, void*) {
  auto* window = static_cast<OpenVRRenderWindow*>(self);
  if (event == vtkCommand::VolumeMapperRenderStartEvent) {
    window->copyVolumeDepth();
  } else if (window->_volumeDepth->GetHandle() != 0) {
    window->_volumeDepth->Deactivate();
  }
}

void OpenVRRenderWindow::copyVolumeDepth() {
  // The mapper reads the depth of the renderer's viewport in the bound target, whose depth
  // buffer (multisampled or not) is GL_DEPTH_COMPONENT24 like the texture.
  vtkOpenGLState* state = GetState();
  GLint viewport[4] = {0, 0, 0, 0};
  state->vtkglGetIntegerv(GL_VIEWPORT, viewport);
  const int w = viewport[2], h = viewport[3];
  if (w <= 0 || h <= 0) return;
  unsigned int target = 0, drawBuffer = 0;
  state->GetCurrentDrawFramebufferState(target, drawBuffer);
  if (_volumeDepth->GetHandle() == 0 || static_cast<int>(_volumeDepth->GetWidth()) != w ||
      static_cast<int>(_volumeDepth->GetHeight()) != h) {
    _volumeDepth->SetContext(this);
    _volumeDepth->SetWrapS(vtkTextureObject::ClampToEdge);
    _volumeDepth->SetWrapT(vtkTextureObject::ClampToEdge);
    _volumeDepth->SetMinificationFilter(vtkTextureObject::Nearest);
    _volumeDepth->SetMagnificationFilter(vtkTextureObject::Nearest);
    _volumeDepth->AllocateDepth(w, h, vtkTextureObject::Fixed24);
    if (_volumeDepthFramebuffer == 0) {
      GLuint name = 0;
      glGenFramebuffers(1, &name);
      _volumeDepthFramebuffer = name;
    }
    state->PushDrawFramebufferBinding();
    state->vtkglBindFramebuffer(GL_DRAW_FRAMEBUFFER, _volumeDepthFramebuffer);
    glFramebufferTexture2D(GL_DRAW_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_TEXTURE_2D, _volumeDepth->GetHandle(), 0);
    glDrawBuffer(GL_NONE);
    state->PopDrawFramebufferBinding();
  }
  state->PushFramebufferBindings();
  state->vtkglBindFramebuffer(GL_READ_FRAMEBUFFER, target);
  state->vtkglBindFramebuffer(GL_DRAW_FRAMEBUFFER, _volumeDepthFramebuffer);
  {
    vtkOpenGLState::ScopedglEnableDisable scissor(state, GL_SCISSOR_TEST);
    state->vtkglDisable(GL_SCISSOR_TEST);
    state->vtkglBlitFramebuffer(viewport[0], viewport[1], viewport[0] + w, viewport[1] + h, 0, 0, w, h,
                                GL_DEPTH_BUFFER_BIT, GL_NEAREST);
  }
  state->PopFramebufferBindings();
  _volumeDepth->Activate();
}

kvg::OpenGLRenderer* OpenVRRenderWindow::GetLayerRenderer(int layer) {
  return layer >= 0 && layer < 3 ? _layers[layer].GetPointer() : nullptr;
}

kvg::OpenGLRenderer* OpenVRRenderWindow::GetLayerRenderer(const std::string& name) {
  for (auto& layer : _layers)
    if (layer->getName() == name) return layer;
  return nullptr;
}

void OpenVRRenderWindow::MakeCurrent() {
  if (_makeCurrent) _makeCurrent();
}

void OpenVRRenderWindow::SetViewSize(int width, int height) {
  _viewWidth = width;
  _viewHeight = height;
}

int OpenVRRenderWindow::samples() {
  // VTK allows more samples than llvmpipe and other drivers take.
  const int wanted = GetMultiSamples();
  const int maxSamples = maxGl(GL_MAX_SAMPLES, 0);
  return wanted < 0 ? 0 : wanted > maxSamples ? maxSamples : wanted;
}

OpenVRRenderWindow::FramebufferRecord OpenVRRenderWindow::createFramebuffer(int width, int height, int samples,
                                                                            unsigned int resolveTexture) {
  FramebufferRecord record;
  record.width = width;
  record.height = height;
  GLuint name = 0;
  glGenFramebuffers(1, &name);
  record.renderFramebuffer = name;
  glBindFramebuffer(GL_FRAMEBUFFER, name);

  glGenRenderbuffers(1, &name);
  record.depthRenderbuffer = name;
  glBindRenderbuffer(GL_RENDERBUFFER, name);
  if (samples > 0) {
    glRenderbufferStorageMultisample(GL_RENDERBUFFER, samples, GL_DEPTH_COMPONENT24, width, height);
  } else {
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, width, height);
  }
  glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, name);

  if (samples > 0) {
    glGenTextures(1, &name);
    record.colorTexture = name;
    glBindTexture(GL_TEXTURE_2D_MULTISAMPLE, name);
    glTexImage2DMultisample(GL_TEXTURE_2D_MULTISAMPLE, samples, GL_RGBA8, width, height, GL_TRUE);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D_MULTISAMPLE, name, 0);
    glBindTexture(GL_TEXTURE_2D_MULTISAMPLE, 0);
  } else {
    // Without multisampling the passes draw straight into the resolve texture: a resolve
    // would only copy every pixel once more per eye.
    record.colorTexture = resolveTexture;
    defineResolveTexture(resolveTexture, width, height);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, resolveTexture, 0);
  }
  record.complete = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;

  glGenFramebuffers(1, &name);
  record.resolveFramebuffer = name;
  glBindFramebuffer(GL_FRAMEBUFFER, name);
  record.resolveTexture = resolveTexture;
  if (samples > 0) defineResolveTexture(resolveTexture, width, height);
  glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, resolveTexture, 0);
  glBindFramebuffer(GL_FRAMEBUFFER, 0);
  // A driver out of memory may still call the attachments complete.
  while (GLenum error = glGetError()) {
    if (error == GL_OUT_OF_MEMORY) record.complete = false;
  }
  return record;
}

OpenVRRenderWindow::FramebufferRecord OpenVRRenderWindow::createTarget(int width, int height, int samples,
                                                                        unsigned int resolveTexture) {
  FramebufferRecord record = createFramebuffer(width, height, samples, resolveTexture);
  // Halve until the driver can make it, so a size it refuses costs one line, not every frame.
  while (!record.complete && (record.width > 64 || record.height > 64)) {
    const int w = std::max(1, record.width / 2), h = std::max(1, record.height / 2);
    deleteFramebuffer(record);
    record = createFramebuffer(w, h, samples, resolveTexture);
  }
  if (record.width != width || record.height != height || !record.complete) {
    Logger::getSingleton().error("OpenVRRenderWindow: render target " + std::to_string(width) + " x " +
                                 std::to_string(height) + " is incomplete; " +
                                 (record.complete ? "made " + std::to_string(record.width) + " x " +
                                                        std::to_string(record.height) + " instead"
                                                  : std::string("no smaller one could be made either")));
  }
  return record;
}

void OpenVRRenderWindow::deleteFramebuffer(const FramebufferRecord& record) {
  // The resolve texture belongs to the caller and is defined again by the next try.
  GLuint names[2] = {record.renderFramebuffer, record.resolveFramebuffer};
  glDeleteFramebuffers(2, names);
  GLuint depth = record.depthRenderbuffer;
  glDeleteRenderbuffers(1, &depth);
  if (record.colorTexture != record.resolveTexture) {
    GLuint color = record.colorTexture;
    glDeleteTextures(1, &color);
  }
}

bool OpenVRRenderWindow::CreateEyeFramebuffers(unsigned int leftTexture, unsigned int rightTexture) {
  uint32_t width = 0, height = 0;
  GetRecommendedRenderTargetSize(width, height);
  if (width == 0 || height == 0) {
    Logger::getSingleton().error("OpenVRRenderWindow: the headset reports no render size; no eye targets made");
    return false;
  }
  SetSize(static_cast<int>(width), static_cast<int>(height));
  InitializeFromCurrentContext();
  const int maxSide = std::min(maxGl(GL_MAX_TEXTURE_SIZE, kMaxTargetSide), maxGl(GL_MAX_RENDERBUFFER_SIZE, kMaxTargetSide));
  const int s = samples();
  int w = static_cast<int>(width), h = static_cast<int>(height);
  if (FitTargetSize(w, h, maxSide, s)) {
    errorOnce(g_eyeSizeSaid, "OpenVRRenderWindow: \"resolutionFactor\" asks for " + std::to_string(width) + " x " +
                                 std::to_string(height) + " eye images; made " + std::to_string(w) + " x " +
                                 std::to_string(h));
  }

  _records[LeftEyeRecord] = createTarget(w, h, s, leftTexture);
  _records[RightEyeRecord] = createTarget(_records[LeftEyeRecord].width, _records[LeftEyeRecord].height, s, rightTexture);
  SetSize(_records[LeftEyeRecord].width, _records[LeftEyeRecord].height);
  _records[ActiveLeftRecord] = _records[LeftEyeRecord];
  _records[ActiveRightRecord] = _records[RightEyeRecord];
  int hudWidth = 0, hudHeight = 0;
  hudSize(hudWidth, hudHeight);
  GLuint texture = 0;
  glGenTextures(1, &texture);
  _records[HudRecord] = createTarget(hudWidth, hudHeight, s, texture);
  glGenTextures(1, &texture);
  _records[SpareRecord] = createFramebuffer(64, 64, s, texture);
  // VTK draws both eyes into the colour attachment of whatever framebuffer is bound.
  SetBackLeftBuffer(GL_COLOR_ATTACHMENT0);
  SetBackRightBuffer(GL_COLOR_ATTACHMENT0);
  GetState()->ResetFramebufferBindings();
  return true;
}

void OpenVRRenderWindow::resolve(const FramebufferRecord& record) {
  vtkOpenGLState* state = GetState();
  // A single-sampled target was drawn in its resolve texture already.
  if (record.colorTexture == record.resolveTexture) {
    state->vtkglBindFramebuffer(GL_FRAMEBUFFER, 0);
    return;
  }
  state->vtkglBindFramebuffer(GL_FRAMEBUFFER, 0);
  state->vtkglDisable(GL_MULTISAMPLE);
  state->vtkglBindFramebuffer(GL_READ_FRAMEBUFFER, record.renderFramebuffer);
  state->vtkglBindFramebuffer(GL_DRAW_FRAMEBUFFER, record.resolveFramebuffer);
  state->vtkglDisable(GL_BLEND);
  state->vtkglDisable(GL_SCISSOR_TEST);
  state->vtkglBlitFramebuffer(0, 0, record.width, record.height, 0, 0, record.width, record.height,
                              GL_COLOR_BUFFER_BIT, GL_LINEAR);
  state->vtkglBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
  state->vtkglBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
}

void OpenVRRenderWindow::Start() {
  vtkGenericOpenGLRenderWindow::Start();
  // Stereo passes bind their targets in StereoUpdate; a mono render is the HUD snapshot.
  if (!GetStereoRender() && _records[ActiveLeftRecord].renderFramebuffer != 0) {
    GetState()->vtkglBindFramebuffer(GL_FRAMEBUFFER, _records[ActiveLeftRecord].renderFramebuffer);
  }
}

void OpenVRRenderWindow::StereoUpdate() {
  vtkOpenGLState* state = GetState();
  if (samples() != 0) state->vtkglEnable(GL_MULTISAMPLE);
  state->vtkglBindFramebuffer(GL_FRAMEBUFFER, _records[ActiveLeftRecord].renderFramebuffer);
  state->vtkglDepthFunc(GL_LEQUAL);
  state->vtkglClearDepth(1.0);
  state->vtkglEnable(GL_DEPTH_TEST);
  state->vtkglColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
  state->vtkglDepthMask(GL_TRUE);
}

void OpenVRRenderWindow::StereoMidpoint() {
  resolve(_records[ActiveLeftRecord]);
  vtkOpenGLState* state = GetState();
  if (samples() != 0) state->vtkglEnable(GL_MULTISAMPLE);
  state->vtkglBindFramebuffer(GL_FRAMEBUFFER, _records[ActiveRightRecord].renderFramebuffer);
}

void OpenVRRenderWindow::StereoRenderComplete() {
  resolve(_records[ActiveRightRecord]);
  vtkOpenGLState* state = GetState();
  state->vtkglDisable(GL_DEPTH_TEST);
  state->vtkglDisable(GL_CULL_FACE);
  state->vtkglDisable(GL_BLEND);
  glBindBuffer(GL_ARRAY_BUFFER, 0);
  state->vtkglBindFramebuffer(GL_FRAMEBUFFER, 0);
}

void OpenVRRenderWindow::MirrorLeftEye() {
  const FramebufferRecord& left = _records[ActiveLeftRecord];
  vtkOpenGLState* state = GetState();
  state->vtkglBindFramebuffer(GL_FRAMEBUFFER, 0);
  if (left.resolveTexture == 0 || _viewWidth <= 0 || _viewHeight <= 0) return;
  state->vtkglViewport(0, 0, _viewWidth, _viewHeight);
  state->vtkglScissor(0, 0, _viewWidth, _viewHeight);
  kvg::OpenGLRenderer* models = _layers[ModelLayer];
  if (!models->IsA("OpenGLRenderer")) return;
  models->getFramebufferUtils().copyColorTextureToFramebuffer2D(left.resolveTexture, left.width, left.height,
                                                               _viewWidth, _viewHeight);
}

void OpenVRRenderWindow::SubmitEyes() {
  Lock::AutoLock lock(GetRenderLock());
  vr::IVRCompositor* compositor = vr::VRCompositor();
  if (!compositor) return;
  const vr::Texture_t left = {reinterpret_cast<void*>(static_cast<uintptr_t>(_records[ActiveLeftRecord].resolveTexture)),
                              vr::TextureType_OpenGL, vr::ColorSpace_Gamma};
  compositor->Submit(vr::Eye_Left, &left, nullptr, vr::Submit_Default);
  const vr::Texture_t right = {
      reinterpret_cast<void*>(static_cast<uintptr_t>(_records[ActiveRightRecord].resolveTexture)),
      vr::TextureType_OpenGL, vr::ColorSpace_Gamma};
  const vr::EVRCompositorError error = compositor->Submit(vr::Eye_Right, &right, nullptr, vr::Submit_Default);
  if (error != vr::VRCompositorError_None) std::cout << static_cast<int>(error) << std::flush;
}

void OpenVRRenderWindow::RenderHudSnapshot(kvg::DrawableSession* session) {
  const FramebufferRecord& hud = _records[HudRecord];
  if (hud.renderFramebuffer == 0) return;
  // The target's own size: a setting changed since the targets were made cannot make the
  // read-back larger than the target.
  const int W = hud.width, H = hud.height;
  _hudImage->SetExtent(0, W - 1, 0, H - 1, 0, 0);
  _hudImage->AllocateScalars(VTK_UNSIGNED_CHAR, 4);

  _records[ActiveLeftRecord] = hud;
  SetSize(W, H);
  SetStereoRender(0);
  const HudVolumeRenderingState volumeRendering = PrepareVolumeRenderingForHud(session);
  Render();

  vtkOpenGLState* state = GetState();
  state->PushFramebufferBindings();
  resolve(hud);
  state->vtkglBindFramebuffer(GL_FRAMEBUFFER, hud.resolveFramebuffer);
  state->vtkglPixelStorei(GL_PACK_ALIGNMENT, 4);
  glReadPixels(0, 0, W, H, GL_RGBA, GL_UNSIGNED_BYTE, _hudImage->GetScalarPointer());
  state->PopFramebufferBindings();
  RestoreVolumeRenderingAfterHud(session, volumeRendering);

  SetSize(_records[LeftEyeRecord].width, _records[LeftEyeRecord].height);
  SetStereoRender(1);
  _records[ActiveLeftRecord] = _records[LeftEyeRecord];

  const int border = GetConfigIntClamped("hudBorderSize", 0, 0, W < H ? W : H);
  if (border > 0) {
    auto* pixels = static_cast<unsigned char*>(_hudImage->GetScalarPointer());
    for (int y = 0; y < H; ++y) {
      for (int x = 0; x < W; ++x) {
        if (x < border || y < border || x >= W - border || y >= H - border) {
          unsigned char* p = pixels + (static_cast<size_t>(y) * W + x) * 4;
          p[0] = 255;
          p[1] = 0;
          p[2] = 0;
          p[3] = 255;
        }
      }
    }
  }
  _hudImage->Modified();
}

void OpenVRRenderWindow::SetupRenderer(vtkRenderer* modelRenderer, const std::unordered_set<vtkRenderer*>& renderers,
                                       bool hudPass) {
  if (modelRenderer) modelRenderer->SetErase(false);
  vtkRendererCollection* all = GetRenderers();
  vtkCollectionSimpleIterator it;
  all->InitTraversal(it);
  while (vtkRenderer* renderer = all->GetNextRenderer(it)) {
    renderer->GetCullers()->RemoveAllItems();
    renderer->SetDraw(hudPass && renderers.count(renderer) != 0);
  }
  for (auto& layer : _layers) layer->SetDraw(!hudPass);
  _layers[ModelLayer]->SetTwoSidedLighting(false);

  kvg::OpenGLRenderer* background = _layers[BackgroundLayer];
  const std::array<double, 3> fogColor = GetConfigVector3("ceilFogColorRGB", std::array<double, 3>{0.6, 0.6, 0.625});
  background->setFogColor(fogColor.data());
  background->setUseFog(GetConfigBool("useFog", true));

  if (!modelRenderer) {
    if (GetNumberOfLayers() < 3) SetNumberOfLayers(3);
    _layers[BackgroundLayer]->SetLayer(0);
    _layers[WidgetLayer]->SetLayer(1);
    _layers[ModelLayer]->SetLayer(2);
    return;
  }
  // The room must lie below the model: a model renderer on the lowest layer moves up one.
  if (modelRenderer->GetLayer() < 1) modelRenderer->SetLayer(1);
  const int L = modelRenderer->GetLayer();
  modelRenderer->SetDraw(!hudPass);
  _layers[ModelLayer]->SetLightCollection(modelRenderer->GetLights());
  if (GetNumberOfLayers() < L + 3) SetNumberOfLayers(L + 3);
  _layers[BackgroundLayer]->SetLayer(L - 1);
  _layers[ModelLayer]->SetLayer(L + 1);
  _layers[WidgetLayer]->SetLayer(L + 2);
}

void OpenVRRenderWindow::RemoveAllLayerProps() {
  for (auto& layer : _layers) layer->RemoveAllViewProps();
}

void OpenVRRenderWindow::PrintSelf(ostream& os, vtkIndent indent) {
  vtkGenericOpenGLRenderWindow::PrintSelf(os, indent);
  os << indent << "ViewSize: " << _viewWidth << " x " << _viewHeight << "\n";
  for (int i = 0; i < RecordCount; ++i) {
    os << indent << "Record " << i << ": " << _records[i].width << " x " << _records[i].height << ", render "
       << _records[i].renderFramebuffer << ", resolve texture " << _records[i].resolveTexture << "\n";
  }
}
