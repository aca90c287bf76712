#pragma once
// The VTK render window through which everything reaches the headset. It owns no native window
// or context: the scene view owns one context per render buffer and makes it current through the
// make-current callback. Both eyes are rendered into framebuffers of the headset's recommended
// size and resolved into the eye textures (without multisampling they are drawn there directly),
// both go to the compositor, then the left eye is mirrored into the view. Three layer renderers
// of its own surround the scene's model renderer: "vrBackGround" (with fog) below it, "vrModels"
// and "vrWidgets" above it. VTK's GPU volume mappers in its renderers take the depth drawn so
// far from a texture of this window (see copyVolumeDepth).
//
// All calls run with this window's context current: on the render thread (frames, submission)
// or on the back-buffer updater thread (renderer set-up, HUD snapshot) of its buffer, never on
// both at once. VR runtime calls take the render lock.
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_set>
#include <vector>

#include <vtkGenericOpenGLRenderWindow.h>
#include <vtkNew.h>
#include <vtkSmartPointer.h>
#include <vtkWeakPointer.h>

class vtkCallbackCommand;
class vtkImageData;
class vtkOpenGLGPUVolumeRayCastMapper;
class vtkProp;
class vtkRenderer;
class vtkTextureObject;
namespace kvg {
class DrawableSession;
class OpenGLRenderer;
}  // namespace kvg

class OpenVRRenderWindow : public vtkGenericOpenGLRenderWindow {
 public:
  static OpenVRRenderWindow* New();
  vtkTypeMacro(OpenVRRenderWindow, vtkGenericOpenGLRenderWindow);
  void PrintSelf(ostream& os, vtkIndent indent) override;

  // GL objects of one render target; all 0 until created.
  struct FramebufferRecord {
    uint32_t depthRenderbuffer = 0;
    uint32_t colorTexture = 0;  // multisampled when samples > 0, else the resolve texture itself
    uint32_t renderFramebuffer = 0;
    uint32_t resolveTexture = 0;
    uint32_t resolveFramebuffer = 0;
    int32_t width = 0;
    int32_t height = 0;
    bool complete = false;
  };
  // Record indices: the eyes' own targets, the HUD, a spare, and the targets the passes use.
  enum { LeftEyeRecord = 0, RightEyeRecord = 1, HudRecord = 2, SpareRecord = 3, ActiveLeftRecord = 4,
         ActiveRightRecord = 5, RecordCount = 6 };
  enum { BackgroundLayer = 0, WidgetLayer = 1, ModelLayer = 2 };

  // The layer renderers: by index, or by name ("vrBackGround", "vrWidgets", "vrModels"; null
  // for another name).
  kvg::OpenGLRenderer* GetLayerRenderer(int layer);
  kvg::OpenGLRenderer* GetLayerRenderer(const std::string& name);
  // The HUD snapshot: 8-bit RGBA, rows from the bottom.
  vtkImageData* GetHudImage() { return _hudImage; }
  const FramebufferRecord& GetFramebufferRecord(int index) const { return _records[index]; }

  // Makes this window's context current through the callback; touches no context itself.
  void MakeCurrent() override;
  void SetMakeCurrentCallback(const std::function<void()>& callback) { _makeCurrent = callback; }
  // Size of the view that shows the mirror (the Qt Quick item).
  void SetViewSize(int width, int height);

  // Context current. Initialises VTK on the current context, sizes the window to the headset's
  // recommended size and builds the eye, HUD and spare targets; left and right become the eyes'
  // resolve textures. False (nothing built) when the headset reports no size.
  bool CreateEyeFramebuffers(unsigned int leftTexture, unsigned int rightTexture);
  // Render thread, after the frame: both eye textures to the compositor under the render lock.
  // A failed right-eye submission prints its error number to standard output.
  void SubmitEyes();
  // Render thread, after the submission, so the headset's frame does not wait for the desktop:
  // the left eye stretched over the view in the default framebuffer.
  void MirrorLeftEye();
  // Back-buffer updater thread: the scene's renderers that the HUD pass of SetupRenderer left
  // drawing, rendered once, mono, into the HUD image (with volume rendering of the session).
  void RenderHudSnapshot(kvg::DrawableSession* session);
  // Prepares the window's renderers for the HUD pass (only the given renderers draw) or for the
  // VR pass (the layers and the model renderer draw), with the layers around the model renderer.
  void SetupRenderer(vtkRenderer* modelRenderer, const std::unordered_set<vtkRenderer*>& renderers, bool hudPass);
  // Removes every prop from the three layers.
  void RemoveAllLayerProps();

  // Hands the depth texture to the volume mappers of the drawn renderers, then renders.
  void Render() override;
  // Binds the HUD target for a mono (HUD) render, after VTK has bound its own framebuffer.
  void Start() override;
  // Called by VTK's stereo render: before the left eye, between the eyes, after the right eye.
  void StereoUpdate() override;
  void StereoMidpoint() override;
  void StereoRenderComplete() override;
  // VTK's own blit of its render framebuffer would overwrite the mirror; the eyes are already
  // where they belong.
  void Frame() override {}
  // Also frees the volume depth texture and its framebuffer; context current.
  void ReleaseGraphicsResources(vtkWindow* window) override;

 protected:
  OpenVRRenderWindow();
  ~OpenVRRenderWindow() override;

 private:
  OpenVRRenderWindow(const OpenVRRenderWindow&) = delete;
  void operator=(const OpenVRRenderWindow&) = delete;

  FramebufferRecord createFramebuffer(int width, int height, int samples, unsigned int resolveTexture);
  // createFramebuffer, halving the size until the driver can make the target (one error line).
  FramebufferRecord createTarget(int width, int height, int samples, unsigned int resolveTexture);
  void deleteFramebuffer(const FramebufferRecord& record);
  void watchVolumeMappers(vtkProp* prop);
  static void onVolumeMapperEvent(vtkObject* caller, unsigned long event, void* self, void*);
  void copyVolumeDepth();
  void resolve(const FramebufferRecord& record);
  int samples();

  int _viewWidth = 0;
  int _viewHeight = 0;
  vtkSmartPointer<kvg::OpenGLRenderer> _layers[3];
  vtkSmartPointer<vtkImageData> _hudImage;
  std::function<void()> _makeCurrent;
  FramebufferRecord _records[RecordCount];
  // VTK 9.1's volume mapper blits the bound target's depth into a texture of its own format
  // (32-bit, or packed with stencil), which a blit from our 24-bit depth cannot fill. The
  // mappers get this texture of our format instead, filled just before each volume draws.
  vtkNew<vtkCallbackCommand> _volumeMapperCommand;
  std::vector<vtkWeakPointer<vtkOpenGLGPUVolumeRayCastMapper>> _volumeMappers;
  vtkSmartPointer<vtkTextureObject> _volumeDepth;
  unsigned int _volumeDepthFramebuffer = 0;
};

// The headset's recommended eye size times "resolutionFactor", under the render lock. Without
// a headset system interface both values stay as the caller set them.
void GetRecommendedRenderTargetSize(uint32_t& width, uint32_t& height);
