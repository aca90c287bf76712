// The back-buffer updater: one pass per start brings the buffer the render thread does not show
// up to date (server updates, VR adaptation, first-time scene resources, scene and camera
// refresh) and hands its context back to the render thread.
#include <QElapsedTimer>
#include <QFileInfo>
#include <QOpenGLContext>
#include <QQuickWindow>
#include <QThread>

#include <algorithm>

#include <vtkCamera.h>
#include <vtkRenderer.h>

#include "Configuration.h"
#include "FreezablePipeline.h"
#include "IconPreload.h"
#include "Logger.h"
#include "OpenVRRenderWindow.h"
#include "PaletteImages.h"
#include "Platform.h"
#include "ParticleAdvectionManager.h"
#include "SceneGlState.h"
#include "SceneView.h"
#include "StringHelper.h"
#include "TsanAnnotations.h"
#include "SoftwareRasterizer.h"
#include "VRSceneAdaptation.h"
#include "VRInteractionState.h"
#include "VolumeRenderingManager.h"
#include "kvg/DrawableScene.h"
#include "kvg/DrawableSession.h"
#include "kvg/GenericWindowResourceManager.h"
#include "kvg/SceneCanvasRenderer.h"

namespace {

// Triangles of a big surface drawn while the model moves, on the software rasterizer.
constexpr int kMovingSurfaceTriangles = 100000;

// Icon preload thread. "QUONIX_ICON_FILL_WAIT_FILE" names a file whose appearance (at most a
// minute later) lets the icon and palette images be filled: a test's stand-in for a machine too
// loaded to fill them before the first frames are shown.
void waitForIconFillSignal() {
  const QString path = QString::fromLocal8Bit(qgetenv("QUONIX_ICON_FILL_WAIT_FILE"));
  if (path.isEmpty()) return;
  QElapsedTimer waited;
  waited.start();
  while (!QFileInfo::exists(path) && waited.elapsed() < 60000) QThread::msleep(20);
}

}  // namespace

// Back-buffer updater thread.
void SceneView::BackBufferUpdater::run() {
  const TsanReleaseAtEnd ended(this);
  SceneView& v = _sceneView;
  // Without buffers (the start-up failed) there is nothing to prepare.
  if (!v.hasGraphics()) return;
  checkThreading(v._contexts[!v._activeIndex]->thread() == this,
                 "_sceneView._contexts[!_sceneView._activeIndex]->thread() == this", __LINE__);
  checkThreading(v._contexts[v._activeIndex]->thread() == v._renderThread,
                 "_sceneView._contexts[_sceneView._activeIndex]->thread() == _sceneView._renderThread", __LINE__);
  FreezablePipeline::SetThreadFrozen(false);
  const int a = v._activeIndex;
  const int b = !a;

  QOpenGLContext* context = v._contexts[b];
  OpenVRRenderWindow* window = v._renderWindows[b];
  window->SetMakeCurrentCallback(makeCurrentOn(context, &v._offscreenSurface));
  window->MakeCurrent();

  if (v._connections[0] && v._sceneResourcesReady[a] && !v._updatesSuspended) {
    kvg::DrawableSession& session = *v._drawableSessions[b];
    int64_t r = session.executePendingTasks();
    if (r != -1) v._updatePositions[b] = r;
    // Update tasks until this buffer has executed a later one than the shown buffer.
    while (v._updatePositions[b] <= v._updatePositions[a] && !v._updatesSuspended && v._firstSwapDone) {
      r = session.executeNextUpdateTask();
      if (r != -1) v._updatePositions[b] = r;
    }
  }

  if (!v._updatesSuspended) {
    v._adjusting = true;
    VRSceneAdaptation::AdaptSceneForVR(*v._drawableSessions[b], v.settingsSnapshot(),
                                       GetConfigBool("disableAnimation", false));
    if (!v._sceneResourcesReady[b]) v.setUpSceneResources(b);
    v.updateSceneAndCamera(b);
    v._adjusting = false;
  }

  context->doneCurrent();
  window->SetMakeCurrentCallback({});
  context->moveToThread(v._renderThread);
  v._backBufferReady = true;

  checkThreading(v._contexts[v._activeIndex]->thread() == v._renderThread,
                 "_sceneView._contexts[_sceneView._activeIndex]->thread() == _sceneView._renderThread", __LINE__);
  checkThreading(v._contexts[!v._activeIndex]->thread() == v._renderThread,
                 "_sceneView._contexts[!_sceneView._activeIndex]->thread() == _sceneView._renderThread", __LINE__);
}

// Render thread, window context current.
void SceneView::startIconPreload(QOpenGLContext* windowContext) {
  if (_iconPreloader || !_preloadSurface.isValid() || !windowContext) return;
  QQuickWindow* w = window();
  if (!w) return;
  auto* context = new QOpenGLContext;
  QSurfaceFormat format = windowContext->format();
  format.setSwapInterval(0);
  context->setFormat(format);
  context->setShareContext(w->openglContext());
  windowContext->doneCurrent();
  const bool created = context->create();
  windowContext->makeCurrent(w);
  if (!created) {
    delete context;
    return;
  }
  const SceneViewSettings settings = settingsSnapshot();
  // Tool sets set up before the palette images are complete take them later.
  _iconTextureCache.setPalettePending(true);
  // Icon preload thread: the context is its own from start to end.
  _iconPreloader = QThread::create([this, context, settings] {
    const TsanReleaseAtEnd ended(QThread::currentThread());
    const bool current = context->makeCurrent(&_preloadSurface);
    AnnouncedImages announced;
    if (current) {
      announced = AnnounceIconImages(&_iconTextureCache, settings.floorTexFileName, settings.ceilTexFileName);
      // The buffers' contexts use the blank texture and the room's textures next: they must be complete.
      SceneGlState::finish();
    } else {
      // The set-up loads everything itself, the palette included.
      _iconTextureCache.setPalettePending(false);
    }
    {
      std::lock_guard<std::mutex> lock(_iconStepMutex);
      _iconsPreloaded = current;
      _iconStepEnded = true;
    }
    _iconStepEndedCondition.notify_all();
    if (current) {
      // Off the path to the first frame: the scene is set up and drawn meanwhile, each image
      // showing from the first frame after it is filled. The palette comes before the panels
      // shown on demand: a hand shows it as soon as its grip is squeezed.
      waitForIconFillSignal();
      FillIconImages(&_iconTextureCache, announced.first);
      PreloadPaletteImages(&_iconTextureCache, &BuildPaletteImages);
      SceneGlState::finish();
      _iconTextureCache.setPalettePending(false);
      FillIconImages(&_iconTextureCache, announced.later);
      context->doneCurrent();
    }
    delete context;
  });
  _iconPreloader->setObjectName("IconPreload");
  context->moveToThread(_iconPreloader);
  _iconPreloader->start(QThread::InheritPriority);
}

void SceneView::waitForIconPreload() {
  if (_iconPreloader) _iconPreloader->wait();
}

void SceneView::waitForPreloadedIcons() {
  if (!_iconPreloader) return;
  std::unique_lock<std::mutex> lock(_iconStepMutex);
  _iconStepEndedCondition.wait(lock, [this] { return _iconStepEnded; });
}

// Back-buffer updater thread, context i current.
void SceneView::setUpSceneResources(int i) {
  const SceneViewSettings settings = settingsSnapshot();

  kvg::DrawableSession& session = *_drawableSessions[i];
  std::vector<kvg::DrawableScene*> found = session.getDrawableScenes().hasScene(_sceneKey);
  kvg::DrawableScene* scene = found.empty() ? nullptr : found.front();
  if (!scene) {
    scene = session.getDrawableScenes().createScene(
        std::make_unique<kvg::GenericWindowResourceManager>(_renderWindows[i], false), _sceneKey);
  }
  _drawableScenes[i] = scene;
  scene->update(false);
  kvg::SceneCanvasRenderer* model = scene->hasModelRenderer();
  vtkRenderer* renderer = model ? model->getVTKRenderer() : nullptr;

  // The scene above needs no icons: it is set up while the preload may still run. The icons
  // need only be announced: their wrappers take them once filled. The palette images need not
  // be there either: the tool sets take them when they are (attachPaletteImages).
  waitForPreloadedIcons();
  bool preloaded = false;
  {
    std::lock_guard<std::mutex> lock(_iconStepMutex);
    preloaded = _iconsPreloaded;
  }
  if (!preloaded) {
    // The contexts share textures: what is loaded here serves both buffers.
    PreloadIconTextures(&_iconTextureCache, settings.floorTexFileName, settings.ceilTexFileName,
                        &BuildPaletteImages);
    std::lock_guard<std::mutex> lock(_iconStepMutex);
    _iconsPreloaded = true;
  }
  _interactionStates[i].reset(new VRInteractionState(&_iconTextureCache));
  // Read per scene: a big surface is drawn reduced while the model moves only where drawing it
  // whole would stall the headset, on the software rasterizer.
  if (_movingSurfaces[i]) _movingSurfaces[i]->releaseGraphicsResources(_renderWindows[i]);
  _movingSurfaces[i].reset(new MovingModelSurfaces(_surfaceReduction));
  _movingSurfaces[i]->setTriangleLimit(
      std::max(0, GetConfigInt("movingSurfaceTriangles", IsSoftwareRasterizer() ? kMovingSurfaceTriangles : 0)));
  _volumePrerendered[i] = false;
  // The part widgets name the server's scene by the name the server offered it under.
  const std::string& widgetScene = _widgetCommandHandler && !_sceneName.empty() ? _sceneName : _sceneKey;
  _interactionStates[i]->startSessionScene(_renderWindows[i], renderer, *scene, i, settings, _collabSession,
                                           _widgetCommandHandler.get(), widgetScene);
  kvg::ParticleAdvectionManager::getSingleton(session).clearSeeds();
  kvg::VolumeRenderingManager& volumes = kvg::VolumeRenderingManager::getSingleton(session);
  volumes.clearPlaneSections();
  volumes.clearIsoValues();
  _sceneResourcesReady[i] = true;
  loadWidgetLibrary();
}

// GUI thread at start-up (before any scene arrives), back-buffer updater thread at every scene
// set-up. The widget library adds the part widgets' service to every
// drawable session; without it the program runs on without part widgets.
void SceneView::loadWidgetLibrary() {
  std::wstring error;
  if (Platform::dynamiclibrary().load(L"ZeltSceneGraphWidget", error, 0) || _widgetLibraryReported.exchange(true))
    return;
  Logger::getSingleton().warning("Widget library ZeltSceneGraphWidget not loaded, part widgets are off: " +
                                 StringHelper::toString(error));
}

// Back-buffer updater thread, context b current.
void SceneView::updateSceneAndCamera(int b) {
  kvg::DrawableScene& scene = *_drawableScenes[b];
  OpenVRRenderWindow* window = _renderWindows[b];
  kvg::SceneCanvasRenderer* model = scene.hasModelRenderer();
  vtkRenderer* renderer = model ? model->getVTKRenderer() : nullptr;
  // The scene's update and the HUD snapshot see a default camera; the VR camera comes back
  // through AnalyseSceneOnLoad.
  vtkSmartPointer<vtkCamera> previousCamera;
  if (renderer) {
    previousCamera = renderer->GetActiveCamera();
    renderer->SetActiveCamera(vtkSmartPointer<vtkCamera>::New());
  }
  scene.update(false);
  window->SetMultiSamples(EyeMultiSamples());
  SceneGlState::applyDrawingState();
  window->SetupRenderer(renderer, configureBackground(scene), true);
  window->RenderHudSnapshot(scene.getSession());
  window->SetupRenderer(renderer, configureBackground(scene), false);
  _interactionStates[b]->AnalyseSceneOnLoad(scene, previousCamera);
  SceneGlState::finish();
}

// Back-buffer updater thread.
std::unordered_set<vtkRenderer*> SceneView::configureBackground(kvg::DrawableScene& scene) {
  std::unordered_set<vtkRenderer*> renderers;
  for (const char* name : {"Backdrop", "Orientation", "Background"})
    if (kvg::SceneRenderer* r = scene.hasRenderer(name)) renderers.insert(r->getVTKRenderer());
  return renderers;
}
