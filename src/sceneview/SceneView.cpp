#include "SceneView.h"

#include <QMetaObject>
#include <QMutexLocker>
#include <QQuickWindow>
#include <QThread>

#include <algorithm>
#include <cmath>
#include <iostream>
#include <stdexcept>

#include "Configuration.h"
#include "Logger.h"
#include "Platform.h"
#include "StringHelper.h"
#include "ZeltAnalytics.h"
#include "ZeltVersion.h"
#include "ZeltviewSiteSettings.h"

namespace {
const char* const kProductTitle = "Mavolin Quonix Virtual Reality";

std::string defaultTextureFile() {
  return getVRAssetsDir() + getConfigString("defaultTexFileName", "hex-texture.png");
}
}  // namespace

SceneView::SceneView(QQuickItem* parent) : QQuickItem(parent) {
  // scene-view work: the two drawable sessions, each with its callback forwarder.
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
SceneView::~SceneView() {
  ZeltAnalytics::reset();
  stopSceneLoader();
  // scene-view work: finalise both render windows, end the collaborative session, then free
  // the remaining members in reverse order.
}

// GUI thread.
void SceneView::createOffscreenSurface() {
  if (window() && !_offscreenSurface.isValid()) _offscreenSurface.setFormat(window()->format());
  _offscreenSurface.create();
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
void SceneView::onBeforeRendering() {
  // scene-view work: one VR frame (swap, collaboration, interaction, both eyes).
}

// Render thread.
void SceneView::onFrameSwapped() {}

// Render thread, once.
void SceneView::onSceneGraphInitialized() {
  QMutexLocker lock(&_viewMutex);
  _renderThread = QThread::currentThread();
  // scene-view work: OpenVR start under the render lock, the OpenGL checks, VTK set-up, the
  // two buffer contexts and render windows, context 1 to the back-buffer updater.
  openFromCommandLine();
  // scene-view work: the threading-model check.
}

// Render thread, after the event loop has ended.
void SceneView::onSceneGraphInvalidated() {
  QMutexLocker lock(&_viewMutex);
  _offscreenSurface.destroy();
  // scene-view work: OpenVR shut-down under the render lock.
}

// GUI thread.
void SceneView::onAboutToQuit() {
  QMutexLocker lock(&_viewMutex);
  // scene-view work: a last no-op loader task while the updater is suspended.
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
    const QUrl url = QUrl::fromLocalFile(QString::fromStdString(StringHelper::toString(_commandLineArguments[0])));
    QMetaObject::invokeMethod(w, "openFile", Qt::AutoConnection, Q_ARG(QVariant, QVariant(url)));
  } else if (_commandLineArguments.size() == 2) {
    int port = 0;
    try {
      port = std::stoi(StringHelper::toString(_commandLineArguments[1]));
    } catch (const std::exception&) {
      // The start-up refuses a port that is not a whole number in 1..65535.
      emit errorMessage(QStringLiteral("Invalid port number"));
      return;
    }
    const QString host = QString::fromStdString(StringHelper::toString(_commandLineArguments[0]));
    QMetaObject::invokeMethod(w, "openServer", Qt::AutoConnection, Q_ARG(QVariant, QVariant(host)),
                              Q_ARG(QVariant, QVariant(port)), Q_ARG(QVariant, QVariant(false)));
  }
}

// GUI thread: Close, Disconnect, and the start of every opening.
void SceneView::reset() {
  if (refuseReentry("Close")) return;
  QMutexLocker lock(&_viewMutex);
  if (QQuickWindow* w = window()) w->setClearBeforeRendering(true);
  // scene-view work: bring the inactive context home and run the reset handshake with the
  // render thread (_resetRequested, _frameDone).
  _adjusting = false;
  _quickStartRequested = false;
  _backBufferReady = false;
  _firstSwapDone = false;
  _activeIndex = 0;
  // scene-view work: clear this thread's pipeline freeze flag.
  closeServerScene();
  _sceneKey.clear();
  _controllerType.clear();
  closeSceneFile();
  _sceneUrl.clear();
  for (int i = 0; i < 2; ++i) {
    // scene-view work: fresh drawable session and interaction state, empty render-window layers.
    _sceneResourcesReady[i] = false;
    _updatePositions[i] = -1;
  }
  // scene-view work: reset the collaborative session.
  _host.clear();
  _port = -1;
  // scene-view work: the threading-model check.
}

// GUI thread.
QString SceneView::openServerContinuation1(const QString& host, int port, bool alwaysShowDialog) {
  QMutexLocker lock(&_viewMutex);
  _host = host;
  _port = port;
  // scene-view work: connect, start the collaborative service, pick the scene.
  Logger::getSingleton().warning("Connecting to a simulation server is not available yet");
  return QString();
}

// GUI thread.
void SceneView::openServerContinuation2(const QString& sceneName) {
  QMutexLocker lock(&_viewMutex);
  _sceneName = sceneName.toUtf8().toStdString();
  // scene-view work: stream the chosen server scene.
}

// GUI thread: the window's closing, the quit, and reset.
void SceneView::closeServerScene() {
  if (refuseReentry("Closing the server scene")) return;
  QMutexLocker lock(&_viewMutex);
  if (_sceneKey.empty()) return;
  // scene-view work: send "ViewObject.closeView" on connections 0 and 1, delete the four
  // connections. The scene key is kept; reset empties it.
}

