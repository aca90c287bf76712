#include "SceneView.h"

#include "CollaborativeStateMapping.h"

#include "GlxContextInfo.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QMutexLocker>
#include <QOpenGLContext>
#include <QQuickWindow>
#include <QThread>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cwctype>
#include <iostream>
#include <stdexcept>

#include <openvr.h>

#include <vtkGenericRenderWindowInteractor.h>
#include <vtkMapper.h>

#include "Configuration.h"
#include "FreezablePipeline.h"
#include "InternalError.h"
#include "Logger.h"
#include "Platform.h"
#include "RecordsManager.h"
#include "RenderLock.h"
#include "SceneGlState.h"
#include "SceneLoader.h"
#include "SoftwareRasterizer.h"
#include "ServerConnection.h"
#include "VROutputWindow.h"
#include "StringHelper.h"
#include "VRInteractionState.h"
#include "VRWidgetCommandHandler.h"
#include "VolumeRenderingManager.h"
#include "ZeltAnalytics.h"
#include "ZeltVersion.h"
#include "ZeltviewSiteSettings.h"
#include "kvg/DrawableScene.h"
#include "kvg/DrawableSession.h"
#include "kvg/FreeTypeFontManager.h"
#include "kvg/GPUMemoryManagementPolicy.h"
#include "kvg/RendererObjectRegistryBase.h"
#include "kvg/SDBReader.h"

namespace {
const char* const kProductTitle = "Mavolin Quonix Virtual Reality";

std::string defaultTextureFile() {
  return getVRAssetsDir() + getConfigString("defaultTexFileName", "hex-texture.png");
}
}  // namespace

SceneView::SceneView(QQuickItem* parent) : QQuickItem(parent) {
  // Before any scene arrives: the widget library's service sees the first scene too.
  loadWidgetLibrary();
  _collabScene = std::make_unique<InteractionCollaborativeScene>();
  _collabSession.setScene(_collabScene.get());
  // Render thread: a lost or rejoined shared session shows in the window's title, set on the
  // GUI thread.
  _collabSession.setLinkObserver([this](bool joined) {
    QMetaObject::invokeMethod(this, "showSharedSessionLink", Qt::QueuedConnection, Q_ARG(bool, joined));
  });
  for (auto& session : _drawableSessions) createDrawableSession(session);
  _backBufferReady = false;
  for (auto& ready : _sceneResourcesReady) ready = false;
  _updatesSuspended = false;
  _adjusting = false;
  _resetRequested = false;
  _quickStartRequested = false;

  SceneViewSettings defaults;
  defaults.floorTexFileName = defaultTextureFile();
  defaults.ceilTexFileName = defaultTextureFile();
  defaults.isoSurfaceOpacity = 0.1;
  defaults.snappingAngle = 15.0;
  defaults.particleCount = GetConfigInt("particleCount", 1024);
  defaults.particlesPerFrame = GetConfigInt("numParticlesPerFrame", 1);
  defaults.hudDist = GetConfigReal("hudDist", 0.3);
  defaults.hudSize = GetConfigReal("hudSize", 0.35);
  defaults.swapLeftRight = false;
  defaults.preserveOrientation = false;
  {
    std::lock_guard<std::mutex> lock(_settingsMutex);
    _settings = defaults;
  }
  createSceneLoader();
}

// GUI thread.
void SceneView::showSharedSessionLink(bool joined) {
  QQuickWindow* w = window();
  if (!w) return;
  const QString lost = QStringLiteral(" - shared session lost");
  QString title = w->title();
  if (title.endsWith(lost)) title.chop(lost.size());
  w->setTitle(joined ? title : title + lost);
}

// GUI thread. The render thread has released every graphics resource when the scene graph
// went (onSceneGraphInvalidated); what is left here holds no OpenGL object.
SceneView::~SceneView() {
  ZeltAnalytics::reset();
  stopSceneLoader();
  _backBufferUpdater.wait();
  if (hasGraphics()) {
    // The scene graph never went away (no render thread to release them on): the windows are
    // finalised without a context rather than left to a thread that no longer exists.
    for (auto& w : _renderWindows)
      if (w) w->Finalize();
  }
  waitForIconPreload();
  delete _iconPreloader;
  _iconPreloader = nullptr;
  _preloadSurface.destroy();
  _offscreenSurface.destroy();
  for (auto& state : _interactionStates) state.reset();
  for (auto& session : _drawableSessions) session.reset();
  for (QOpenGLContext*& context : _contexts) {
    delete context;
    context = nullptr;
  }
}

// GUI thread.
void SceneView::createOffscreenSurface() {
  if (window() && !_offscreenSurface.isValid()) _offscreenSurface.setFormat(window()->format());
  _offscreenSurface.create();
  if (window() && !_preloadSurface.isValid()) _preloadSurface.setFormat(window()->format());
  _preloadSurface.create();
}

// GUI thread.
void SceneView::setCommandLineArguments(const std::vector<std::wstring>& arguments) {
  _commandLineArguments = arguments;
}

SceneViewSettings SceneView::settingsSnapshot() const {
  std::lock_guard<std::mutex> lock(_settingsMutex);
  return _settings;
}

int SceneView::collaborativeShareMask() const { return _shareMask.load(); }

QObject* SceneView::findQmlChild(const QString& objectName) const {
  QQuickWindow* w = window();
  return w ? w->findChild<QObject*>(objectName) : nullptr;
}

void SceneView::setQmlProperty(const QString& objectName, const char* propertyName, const QVariant& value) {
  QObject* object = findQmlChild(objectName);
  if (!object) {
    std::cout << "object is null" << std::endl;
    return;
  }
  if (!object->setProperty(propertyName, value)) std::cout << "property could not be set!" << std::endl;
}

std::wstring SceneView::toWString(const QString& text) {
  return StringHelper::toWString(text.toUtf8().toStdString());
}

// Render thread.
void SceneView::onFrameSwapped() {}

// Render thread, once.
void SceneView::onSceneGraphInitialized() {
  QMutexLocker lock(&_viewMutex);
  _renderThread = QThread::currentThread();
  QQuickWindow* w = window();
  if (!w) return;

  vr::EVRInitError error = vr::VRInitError_None;
  {
    Lock::AutoLock renderLock(GetRenderLock());
    vr::VR_Init(&error, vr::VRApplication_Scene);
  }
  if (error != vr::VRInitError_None) {
    const char* description = nullptr;
    {
      Lock::AutoLock renderLock(GetRenderLock());
      description = vr::VR_GetVRInitErrorAsEnglishDescription(error);
    }
    const QString message = QString("VR hardware could not be initialized (") + QString::fromUtf8(description) +
                            "). " + kProductTitle + " cannot be launched.";
    // Logged as well as shown: the runtime's text is what a headset user reports.
    Logger::getSingleton().error(message.toStdString());
    emit fatalError(message);
    return;
  }
  _vrStarted = true;
  {
    Lock::AutoLock renderLock(GetRenderLock());
    if (vr::IVRCompositor* compositor = vr::VRCompositor())
      compositor->ForceInterleavedReprojectionOn(GetConfigBool("forceInterleaved", false));
  }

  QOpenGLContext* windowContext = QOpenGLContext::currentContext();
  const QString glProblem = checkOpenGL(windowContext);
  if (!glProblem.isEmpty()) {
    emit fatalError(glProblem);
    return;
  }
  // Decides, with the window's context current, what the eye targets and textures use.
  ReportSoftwareRasterizerChoices();

  VROutputWindow* messages = VROutputWindow::New();
  vtkOutputWindow::SetInstance(messages);
  messages->Delete();
  vtkMapper::SetResolveCoincidentTopologyToPolygonOffset();
  setDefaultKvgFont();

  SceneGlState::generateTextures(_eyeTextures);
  for (int i = 0; i < 2; ++i) {
    delete _contexts[i];
    _contexts[i] = new QOpenGLContext;
    QSurfaceFormat format = windowContext->format();
    format.setSwapInterval(0);
    _contexts[i]->setFormat(format);
    _contexts[i]->setShareContext(w->openglContext());
    windowContext->doneCurrent();
    _contexts[i]->create();

    _renderWindows[i] = vtkSmartPointer<OpenVRRenderWindow>::New();
    _renderWindows[i]->SetIsDirect(1);
    _renderWindows[i]->SetIsCurrent(true);
    _renderWindows[i]->SetMultiSamples(EyeMultiSamples());

    _contexts[i]->makeCurrent(&_offscreenSurface);
    _renderWindows[i]->SetMakeCurrentCallback(makeCurrentOn(_contexts[i], &_offscreenSurface));
    _renderWindows[i]->CreateEyeFramebuffers(_eyeTextures[0], _eyeTextures[1]);
    vtkNew<vtkGenericRenderWindowInteractor> interactor;
    _renderWindows[i]->SetInteractor(interactor);
    _renderWindows[i]->SetMakeCurrentCallback({});
    _contexts[i]->doneCurrent();
    windowContext->makeCurrent(w);
  }
  _contexts[!_activeIndex]->moveToThread(&_backBufferUpdater);
  startIconPreload(windowContext);

  openFromCommandLine();
  checkThreadingModel();
}

// Render thread, after the event loop has ended.
void SceneView::onSceneGraphInvalidated() {
  QMutexLocker lock(&_viewMutex);
  releaseGraphics();
  if (_vrStarted) {
    Lock::AutoLock renderLock(GetRenderLock());
    vr::VR_Shutdown();
    _vrStarted = false;
  }
}

// Render thread, with the window's context current.
void SceneView::releaseGraphics() {
  if (!hasGraphics()) return;
  // Context i may only be made current here once it is home from the updater. A pass still
  // waiting for server updates stops at its next task.
  _updatesSuspended = true;
  if (_backBufferUpdater.isRunning() && _drawableSessions[!_activeIndex])
    _drawableSessions[!_activeIndex]->addNoOpTask();
  _backBufferUpdater.wait();
  if (_contexts[!_activeIndex]->thread() != _renderThread) {
    _backBufferUpdater.start(QThread::InheritPriority);
    _backBufferUpdater.wait();
  }
  _updatesSuspended = false;
  waitForIconPreload();
  QOpenGLContext* windowContext = QOpenGLContext::currentContext();
  for (int i = 0; i < 2; ++i) {
    if (windowContext) windowContext->doneCurrent();
    _contexts[i]->makeCurrent(&_offscreenSurface);
    releaseBufferResources(i);
    if (i == 1) {
      // Shared by both contexts: released once, in the last one.
      _iconTextureCache.deleteAllTextures();
      SceneGlState::deleteTextures(_eyeTextures);
    }
    _renderWindows[i]->SetMakeCurrentCallback({});
    _renderWindows[i]->Finalize();
    _renderWindows[i] = nullptr;
    _contexts[i]->doneCurrent();
    delete _contexts[i];
    _contexts[i] = nullptr;
  }
  if (windowContext && window()) windowContext->makeCurrent(window());
}

// GUI thread.
void SceneView::interruptServerRequests() {
  _quitting = true;
  for (auto& connection : _connections)
    if (connection) connection->close();
}

// GUI thread.
void SceneView::onAboutToQuit() {
  // Before the lock: a frame of thousands of parts takes a second on a software renderer, and
  // none is wanted any more.
  _exiting = true;
  QMutexLocker lock(&_viewMutex);
  if (_backBufferUpdater.isRunning()) {
    _updatesSuspended = true;
    startLoaderTask(kProductTitle, "quitting", 5);
    _updatesSuspended = false;
  }
  closeServerScene();
}

// Render thread.
void SceneView::onBeforeSynchronizing() {}

// Render thread: the window's functions run queued on the GUI thread, as if the user had
// chosen the file or the server.
void SceneView::openFromCommandLine() {
  QQuickWindow* w = window();
  if (!w) return;
  if (_commandLineArguments.size() == 1) {
    const QUrl url = QUrl::fromLocalFile(QString::fromStdWString(_commandLineArguments[0]));
    QMetaObject::invokeMethod(w, "openFile", Qt::AutoConnection, Q_ARG(QVariant, QVariant(url)));
  } else if (_commandLineArguments.size() == 2) {
    int port = 0;
    if (!ParsePortArgument(_commandLineArguments[1], port)) {
      emit errorMessage("Invalid port number \"" + QString::fromStdWString(_commandLineArguments[1]) + "\"");
      return;
    }
    const QString host = QString::fromStdWString(_commandLineArguments[0]);
    QMetaObject::invokeMethod(w, "openServer", Qt::AutoConnection, Q_ARG(QVariant, QVariant(host)),
                              Q_ARG(QVariant, QVariant(port)), Q_ARG(QVariant, QVariant(false)));
  }
}

// Render thread, the window's context current: the reason the OpenGL runtime cannot serve the
// view, empty when it can.
QString SceneView::checkOpenGL(QOpenGLContext* context) {
  return checkOpenGL(context, context && IsCurrentContextDirect());
}

QString SceneView::checkOpenGL(QOpenGLContext* context, bool directRendering) {
  if (QOpenGLContext::openGLModuleType() != QOpenGLContext::LibGL) return "No proper OpenGL runtime detected";
  if (!context) return "No OpenGL context";
  // An indirect context sends every call to the X server; Mesa's software rasterizer in a
  // direct context is direct rendering as far as the window system is concerned.
  if (!directRendering) return "OpenGL context is not hardware accelerated";
  const QSurfaceFormat format = context->format();
  // Rendering goes through framebuffers and shaders of OpenGL 3.2 and later.
  if (context->isOpenGLES() || format.version() < qMakePair(3, 2)) return "No proper OpenGL runtime detected";
  return QString();
}

// Leading blanks and a sign, then decimal digits up to the first other character; at least one
// digit and a value within the signed 32-bit range.
bool ParsePortArgument(const std::wstring& text, int& port) {
  size_t i = 0;
  while (i < text.size() && std::iswspace(static_cast<wint_t>(text[i]))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) negative = text[i++] == L'-';
  long long value = 0;
  size_t digits = 0;
  for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i, ++digits) {
    value = value * 10 + (text[i] - L'0');
    if (value > static_cast<long long>(INT_MAX) + 1) return false;
  }
  if (digits == 0) return false;
  if (negative) value = -value;
  if (value < INT_MIN || value > INT_MAX) return false;
  port = static_cast<int>(value);
  return true;
}

// GUI thread: Close, Disconnect, and the start of every opening.
void SceneView::reset() {
  if (refuseReentry("Close")) return;
  QMutexLocker lock(&_viewMutex);
  if (QQuickWindow* w = window()) w->setClearBeforeRendering(true);
  bool handshakeDone = false;
  if (hasGraphics()) {
    bringBackContextHome("resetting");
    // The render thread releases the old buffers in their contexts; the reset goes on without
    // that frame when none can come.
    for (int i = 0; i < 2; ++i) retireBuffer(i);
    handshakeDone = waitForResetHandshake();
  } else {
    // No render windows and no contexts (the start-up failed or has not run): nothing of the
    // buffers holds graphics resources.
    for (int i = 0; i < 2; ++i) {
      _sceneResourcesReady[i] = false;
      _interactionStates[i].reset();
      _drawableScenes[i] = nullptr;
      _drawableSessions[i].reset();
    }
  }
  _adjusting = false;
  _quickStartRequested = false;
  _backBufferReady = false;
  _firstSwapDone = false;
  _activeIndex = 0;
  FreezablePipeline::SetThreadFrozen(false);
  closeServerScene();
  // Also after a failed or abandoned opening, which set no scene key.
  disconnectFromServer();
  _sceneKey.clear();
  _controllerType.clear();
  closeSceneFile();
  _sceneUrl.clear();
  for (int i = 0; i < 2; ++i) {
    // The handshake released the old session, its scenes, the interaction state and the layer
    // props in the buffer's own context.
    _drawableScenes[i] = nullptr;
    createDrawableSession(_drawableSessions[i]);
    _sceneResourcesReady[i] = false;
    _updatePositions[i] = -1;
  }
  _collabSession.reset();
  _host.clear();
  _port = -1;
  if (handshakeDone) checkThreadingModel();
}

// GUI thread, view mutex held.
void SceneView::bringBackContextHome(const char* status) {
  if (_backBufferUpdater.isRunning()) {
    _updatesSuspended = true;
    startLoaderTask(kProductTitle, status, 5);
    _updatesSuspended = false;
  } else if (_contexts[!_activeIndex]->thread() != _renderThread) {
    _updatesSuspended = true;
    startLoaderTask(kProductTitle, status, 2);
    _updatesSuspended = false;
  }
}

// GUI thread, view mutex held. Frames come only while the GUI thread's event loop turns (it
// starts the frames the window asks for), so the wait keeps processing events other than user
// input and keeps asking for frames; a frame that is already under way may also answer.
bool SceneView::waitForResetHandshake() {
  const uint64_t before = _resetHandshakes.load();
  _resetRequested = true;
  // A hidden (unmapped, minimised) window gets no frames until it is shown again.
  auto frameCanCome = [this] {
    const QQuickWindow* w = window();
    return w && w->isExposed() && !_quitting;
  };
  if (!frameCanCome()) return false;
  processViewEvents(QEventLoop::ExcludeUserInputEvents);
  if (QQuickWindow* w = window()) w->update();
  // A reset nested in this wait (an event processed here) may take the post: the count of
  // completed handshakes ends every waiter.
  while (_resetHandshakes.load() == before) {
    if (!frameCanCome()) return false;
    _frameDone.tryWait(10);
    processViewEvents(QEventLoop::ExcludeUserInputEvents);
    if (QQuickWindow* w = window()) w->update();
  }
  return true;
}

// GUI thread, view mutex held.
void SceneView::retireBuffer(int i) {
  std::lock_guard<std::mutex> lock(_retiredMutex);
  _sceneResourcesReady[i] = false;
  _drawableScenes[i] = nullptr;
  if (_interactionStates[i]) _retiredStates[i].push_back(std::move(_interactionStates[i]));
  if (_drawableSessions[i]) _retiredSessions[i].push_back(std::move(_drawableSessions[i]));
}

// GUI thread.
void SceneView::createDrawableSession(std::unique_ptr<kvg::DrawableSession>& slot) {
  // The session enters the process-wide registry under its handle itself.
  auto session = std::make_unique<kvg::DrawableSession>(kvg::RendererObjectRegistryBase::getNextHandle(0), -1);
  slot = std::move(session);
  kvg::GPUMemoryManagementPolicy::getGlobalMemoryManagementPolicy().sharedContexts = true;
  slot->setCallbackForwarder(&_callbackForwarders[&slot == &_drawableSessions[0] ? 0 : 1]);
  slot->getRenderingAttributes().setUseGpuMemoryManagement(false);
  slot->getRenderingAttributes().setUseOpportunisticRendering(true);
  kvg::VolumeRenderingManager::getSingleton(*slot).setVRMode(true);
}

// Any thread.
void SceneView::checkThreading(bool condition, const char* conditionText, int line) {
  if (!condition) throw InternalError("Threading model violation", conditionText, "SceneView", line);
}

// GUI thread (reset) or render thread (start-up), view mutex held.
void SceneView::checkThreadingModel() const {
  checkThreading(_activeIndex == 0, "_activeIndex == 0", __LINE__);
  checkThreading(_backBufferUpdater.isRunning() == false, "_backBufferUpdater.isRunning() == false", __LINE__);
  checkThreading(_contexts[0]->thread() == _renderThread, "_contexts[0]->thread() == _renderThread", __LINE__);
  checkThreading(_contexts[1]->thread() == &_backBufferUpdater, "_contexts[1]->thread() == &_backBufferUpdater",
                 __LINE__);
}

std::function<void()> SceneView::makeCurrentOn(QOpenGLContext* context, QSurface* surface) {
  return [context, surface] { context->makeCurrent(surface); };
}

