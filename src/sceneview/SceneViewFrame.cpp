// The render thread's side of the scene view: one VR frame per "beforeRendering()", the buffer
// swap, the reset handshake and the volume pre-render.
#include <QMutex>
#include <QOpenGLContext>
#include <QQuickWindow>
#include <QThread>

#include <cstring>

#include "CollabSession.h"
#include "FreezablePipeline.h"
#include "OpenVRRenderWindow.h"
#include "ParticleAdvectionManager.h"
#include "SceneGlState.h"
#include "SceneView.h"
#include "VRInteractionState.h"
#include "VolumeRenderingManager.h"
#include "kvg/DrawableScene.h"
#include "kvg/DrawableSession.h"
#include "kvg/SceneCanvasRenderer.h"

namespace {
// A frame skipped because the GUI thread holds the view: the next one is asked for after this
// pause, so the render thread does not spin while a long operation runs.
constexpr unsigned long kSkippedFramePauseMs = 10;
}  // namespace

// Render thread.
void SceneView::onBeforeRendering() {
  if (_resetRequested) {
    runResetHandshake();
    return;
  }
  QQuickWindow* w = window();
  if (!w || _exiting) return;
  if (!_viewMutex.tryLock()) {
    QThread::msleep(kSkippedFramePauseMs);
    w->update();
    return;
  }
  // Unlocks on every way out, including a failed check.
  struct Unlock {
    QRecursiveMutex& mutex;
    ~Unlock() { mutex.unlock(); }
  } unlock{_viewMutex};

  int a = _activeIndex;
  if (_contexts[a])
    checkThreading(_contexts[a]->thread() == _renderThread, "_contexts[_activeIndex]->thread() == _renderThread",
                   __LINE__);

  if (_backBufferReady) {
    checkThreading(_contexts[!a]->thread() == _renderThread, "_contexts[!_activeIndex]->thread() == _renderThread",
                   __LINE__);
    if (_backBufferUpdater.isRunning()) _backBufferUpdater.wait();
    const int b = !a;
    const int32_t taskDelta = static_cast<int32_t>(_updatePositions[b] - _updatePositions[a]);
    _backBufferReady = false;
    if (_interactionStates[0] && _interactionStates[1] && _drawableScenes[b]) {
      if (_drawableSessions[0] && _drawableSessions[1]) {
        kvg::ParticleAdvectionManager::getSingleton(*_drawableSessions[b]) =
            kvg::ParticleAdvectionManager::getSingleton(*_drawableSessions[a]);
        kvg::VolumeRenderingManager::getSingleton(*_drawableSessions[b]) =
            kvg::VolumeRenderingManager::getSingleton(*_drawableSessions[a]);
      }
      _interactionStates[b]->syncFrom(*_interactionStates[a], *_drawableScenes[b], settingsSnapshot(), taskDelta);
      _firstSwapDone = true;
    }
    _contexts[a]->moveToThread(&_backBufferUpdater);
    _activeIndex = b;
    a = b;
    if (_connections[0]) _backBufferUpdater.start(QThread::InheritPriority);
  }

  if (!_sceneResourcesReady[a] || !_contexts[a] || !_renderWindows[a] || !_interactionStates[a] ||
      !_drawableScenes[a])
    return;
  w->update();  // continuous rendering while a scene is shown

  QOpenGLContext* windowContext = QOpenGLContext::currentContext();
  if (windowContext) windowContext->doneCurrent();
  _contexts[a]->makeCurrent(w);
  OpenVRRenderWindow* renderWindow = _renderWindows[a];
  renderWindow->SetMakeCurrentCallback(makeCurrentOn(_contexts[a], w));
  renderWindow->SetViewSize(static_cast<int>(width()), static_cast<int>(height()));
  SceneGlState::applyDrawingState();
  prerenderVolumes();

  VRInteractionState& state = *_interactionStates[a];
  kvg::DrawableScene& scene = *_drawableScenes[a];
  const SceneViewSettings settings = settingsSnapshot();
  state.attachPaletteImages();
  _collabSession.applyRemoteState(state, *renderWindow, scene);
  const std::string refusal = _collabSession.takeRefusal();
  if (!refusal.empty())
    emit errorMessage(QStringLiteral("The collaborative session refused this participant: ") +
                      QString::fromStdString(refusal));
  double modelBefore[16];
  std::memcpy(modelBefore, state.modelMatrix, sizeof(modelBefore));
  state.update(scene, _adjusting, settings, _quickStartRequested);
  const bool modelMoved = std::memcmp(modelBefore, state.modelMatrix, sizeof(modelBefore)) != 0;
  _controllerType = state.controllerType();
  _quickStartRequested = false;
  _collabSession.publishLocalState(state, scene);
  kvg::SceneCanvasRenderer* model = scene.hasModelRenderer();
  MovingModelSurfaces* moving = _movingSurfaces[a].get();
  if (moving) moving->beginFrame(model ? model->getVTKRenderer() : nullptr, modelMoved);
  renderWindow->Render();
  if (moving) moving->endFrame();
  renderWindow->SubmitEyes();
  renderWindow->MirrorLeftEye();
  FreezablePipeline::SetThreadFrozen(true);
  SceneGlState::flush();
  renderWindow->SetMakeCurrentCallback({});
  _contexts[a]->doneCurrent();
  if (windowContext) windowContext->makeCurrent(w);
  // Qt Quick draws its menu and dialogs over the mirror next.
  w->resetOpenGLState();
}

// Render thread, without the view mutex: reset() holds it while it waits for this.
void SceneView::runResetHandshake() {
  std::lock_guard<std::mutex> retiredLock(_retiredMutex);
  _resetRequested = false;
  QQuickWindow* w = window();
  if (hasGraphics() && w) {
    checkThreading(_contexts[0]->thread() == _renderThread, "_contexts[0]->thread() == _renderThread", __LINE__);
    checkThreading(_contexts[1]->thread() == _renderThread, "_contexts[1]->thread() == _renderThread", __LINE__);
    QOpenGLContext* windowContext = QOpenGLContext::currentContext();
    for (int i = 0; i < 2; ++i) {
      if (windowContext) windowContext->doneCurrent();
      _contexts[i]->makeCurrent(w);
      releaseRetired(i);
      _renderWindows[i]->SetMakeCurrentCallback({});
      _contexts[i]->doneCurrent();
      if (windowContext) windowContext->makeCurrent(w);
    }
    _contexts[1]->moveToThread(&_backBufferUpdater);
    checkThreading(_contexts[1]->thread() == &_backBufferUpdater, "_contexts[1]->thread() == &_backBufferUpdater",
                   __LINE__);
  }
  // The next scene's first frame runs as the program's first did: unfrozen until it ends.
  FreezablePipeline::SetThreadFrozen(false);
  ++_resetHandshakes;
  _frameDone.post();
}

// Render thread, context i current. The GUI thread waits in reset (or the scene graph is going),
// and the updater is stopped, so nothing else touches the buffer.
void SceneView::releaseBufferResources(int i) {
  checkThreading(QOpenGLContext::currentContext() == _contexts[i], "QOpenGLContext::currentContext() == _contexts[i]",
                 __LINE__);
  _sceneResourcesReady[i] = false;
  if (_movingSurfaces[i]) _movingSurfaces[i]->releaseGraphicsResources(_renderWindows[i]);
  _movingSurfaces[i].reset();
  // Removing a prop releases its graphics resources in the window's context.
  if (_renderWindows[i]) _renderWindows[i]->RemoveAllLayerProps();
  _interactionStates[i].reset();
  _drawableScenes[i] = nullptr;
  if (_exiting && _drawableSessions[i]) {
    // The process ends: taking thousands of parts apart one by one would only hold it up.
    // The scenes' renderers stay in the window, whose Finalize releases their props' graphics
    // resources in this context; the session itself is kept, whole and reachable, to the end
    // (only the render thread touches the list, here).
    _drawableSessions[i]->stopSession();
    static auto* const kept = new std::vector<std::unique_ptr<kvg::DrawableSession>>();
    kept->push_back(std::move(_drawableSessions[i]));
  }
  // The session's scenes take their renderers out of the window and release them.
  _drawableSessions[i].reset();
  // At shut-down no reset comes any more.
  releaseRetired(i);
}

// Render thread, context i current.
void SceneView::releaseRetired(int i) {
  // Removing a prop releases its graphics resources in the window's context.
  if (_renderWindows[i]) _renderWindows[i]->RemoveAllLayerProps();
  _retiredStates[i].clear();
  // The session's scenes take their renderers out of the window and release them.
  _retiredSessions[i].clear();
}

// Render thread, the active context current on the window.
void SceneView::prerenderVolumes() {
  const int a = _activeIndex;
  kvg::DrawableScene& scene = *_drawableScenes[a];
  kvg::SceneCanvasRenderer* model = scene.hasModelRenderer();
  vtkRenderer* renderer = model ? model->getVTKRenderer() : nullptr;
  if (!renderer) return;
  kvg::VolumeRenderingManager& volumes = kvg::VolumeRenderingManager::getSingleton(*_drawableSessions[a]);
  if (volumes.hasVolumes() && !_volumePrerendered[a]) {
    VRInteractionState& state = *_interactionStates[a];
    OpenVRRenderWindow* renderWindow = _renderWindows[a];
    const int pages[2] = {state.getQuickStartPage(0), state.getQuickStartPage(1)};
    renderWindow->StereoRenderOff();
    state.applySceneVolumeState(5, renderWindow, scene, renderer, false, true, false);
    renderWindow->Render();
    state.applySceneVolumeState(21, renderWindow, scene, renderer, true, false, true);
    renderWindow->Render();
    renderWindow->StereoRenderOn();
    state.resetToolSets();
    state.setQuickStartPage(0, pages[0]);
    state.setQuickStartPage(1, pages[1]);
    volumes.setEnableVolRend(false);
    SceneGlState::applyDrawingState();
  }
  _volumePrerendered[a] = true;
}
