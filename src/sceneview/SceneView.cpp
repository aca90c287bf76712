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

// QString::toDouble; an invalid text gives 0.
double numberOf(const QString& text) {
  bool ok = false;
  const double value = text.toDouble(&ok);
  return ok ? value : 0.0;
}

// The local path of a file URL held as text, as UTF-8; empty for anything that is not a file URL.
std::string localPathOf(const QString& urlText) {
  return QUrl(urlText, QUrl::TolerantMode).toLocalFile().toUtf8().toStdString();
}

// A texture scale is taken only when it is a positive, finite number.
void takeScale(const QString& text, double& scale) {
  const double value = numberOf(text);
  if (value > 0 && std::isfinite(value)) scale = value;
}

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
  // scene-view work: the scene loader, its resultReady connected to handleResults.
}

// GUI thread.
SceneView::~SceneView() {
  ZeltAnalytics::reset();
  // scene-view work: stop and wait for the scene loader, finalise both render windows, end
  // the collaborative session, then free the remaining members in reverse order.
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

// GUI thread, once at start-up: the values the dialogs restored from the settings store.
void SceneView::readSettingsDialog() {
  SceneViewSettings s = settingsSnapshot();

  if (QObject* o = findQmlChild("volumeRenderingQuality")) s.volumeRenderingQuality = o->property("value").toDouble();
  if (QObject* o = findQmlChild("floorTexScale")) takeScale(o->property("text").toString(), s.floorTexScale);
  if (QObject* o = findQmlChild("ceilTexScale")) takeScale(o->property("text").toString(), s.ceilTexScale);
  if (QObject* o = findQmlChild("accurateVolumeClipping")) s.accurateVolumeClipping = o->property("checked").toBool();

  QString floorText, ceilText;
  if (QObject* o = findQmlChild("floorTexFileName")) floorText = o->property("text").toString();
  if (QObject* o = findQmlChild("ceilTexFileName")) ceilText = o->property("text").toString();
  // An empty field keeps the default texture and shows it.
  if (!floorText.isEmpty()) {
    s.floorTexFileName = localPathOf(floorText);
  } else {
    setQmlProperty("floorTexFileName", "text",
                   QUrl::fromLocalFile(QString::fromStdString(s.floorTexFileName)).toString());
  }
  if (!ceilText.isEmpty()) {
    s.ceilTexFileName = localPathOf(ceilText);
  } else {
    setQmlProperty("ceilTexFileName", "text",
                   QUrl::fromLocalFile(QString::fromStdString(s.ceilTexFileName)).toString());
  }

  QObject* floorDialog = findQmlChild("floorTexFileDialog");
  QObject* ceilDialog = findQmlChild("ceilTexFileDialog");
  if (floorDialog && ceilDialog) {
    const QUrl assets = QUrl::fromLocalFile(QString::fromStdString(getVRAssetsDir()));
    floorDialog->setProperty("folder", assets);
    ceilDialog->setProperty("folder", assets);
  }

  if (QObject* o = findQmlChild("swapLeftRight")) s.swapLeftRight = o->property("checked").toBool();
  if (QObject* o = findQmlChild("adoptSceneView")) s.preserveOrientation = o->property("checked").toBool();
  if (QObject* o = findQmlChild("isoSurfaceOpacity")) s.isoSurfaceOpacity = o->property("value").toDouble();
  if (QObject* o = findQmlChild("snappingAngle")) s.snappingAngle = o->property("value").toDouble();
  if (QObject* o = findQmlChild("maxSceneMinification")) {
    const double value = numberOf(o->property("text").toString());
    if (value > 0) s.sceneMinificationFactor = 1.0 / std::max(1.0, value);
  }
  if (QObject* o = findQmlChild("maxSceneMagnification")) {
    const double value = numberOf(o->property("text").toString());
    if (value > 0) s.sceneMagnificationLimit = value;
  }
  {
    std::lock_guard<std::mutex> lock(_settingsMutex);
    _settings = s;
  }

  static const char* const sharedBoxes[6] = {"hudIsShared",           "flyModeIsShared",
                                             "floorVisibleIsShared",  "enableVolRendIsShared",
                                             "particleRadiusFactorIsShared", "particleSpeedFactorIsShared"};
  bool shared[6];
  for (int i = 0; i < 6; ++i) {
    QObject* box = findQmlChild(sharedBoxes[i]);
    shared[i] = box && box->property("checked").toBool();
  }
  setShareMask(shared);
}

// GUI thread, once, after the site settings know the application folder.
void SceneView::setUpAnalytics() {
  const int feedback = ZeltviewSiteSettings::getSingleton().getInt("QualityFeedbackProgram", 0);
  ZeltAnalytics::create("QUONIX.VIRTUALREALITY", feedback >= 1, 1, "quonixvr desktop");
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

// GUI thread.
void SceneView::handleResults(const QString&) {
  _loaderResultReady = true;
}

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
  // scene-view work: delete the scene reader and the records manager.
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

// GUI thread.
QString SceneView::openFileContinuation1(const QUrl& fileUrl) {
  QMutexLocker lock(&_viewMutex);
  _sceneUrl = fileUrl;
  // scene-view work: open the file and return the scene picker.
  Logger::getSingleton().warning("Opening scene files is not available yet");
  return QString();
}

// GUI thread.
QString SceneView::openFileContinuation2(const QString& title) {
  QMutexLocker lock(&_viewMutex);
  // scene-view work: the frame picker of the chosen frame set.
  return QString();
}

// GUI thread.
void SceneView::openFileContinuation3(const QString& title, int frame) {
  QMutexLocker lock(&_viewMutex);
  // scene-view work: load the chosen frame.
}

// GUI thread.
void SceneView::switchScene() {
  QMutexLocker lock(&_viewMutex);
  // scene-view work: with server connections 0 and 1, openServer(host, port, true); with an
  // open scene reader, openFile(scene URL); else nothing.
}

// GUI thread.
QString SceneView::getUpdatedAboutDialogText() {
  QMutexLocker lock(&_viewMutex);
  const std::string vendor = _controllerType.empty() ? "unknown" : _controllerType;
  ZeltVersion& version = ZeltVersion::getSingleton();
  const std::string versionedName = std::string(kProductTitle) + " " + ZeltVersion::_presentationVersion +
                                    (version.isDevelopmentVersion() ? ".Development" : "") + " (" +
                                    ZeltVersion::_releaseNumber + ")";
  const std::string text =
      "<html><head / ><body><p align = 'center'> " + versionedName +
      "</p><p>Shows the results of physics simulations made with Quonix in a virtual-reality headset: "
      "open a scene file or connect to a running simulation server, and walk through the model with "
      "two hand controllers. Quonix is the simulation product of Kelmar Software, "
      "<a href='https://www.kelmar-software.example'>www.kelmar-software.example</a>.<br / ><br / >"
      "VR hardware vendor: " +
      vendor + "<br / >\n</p></body></html>";
  return QString::fromUtf8(text.c_str());
}

// GUI thread: the window's closing, the quit, and reset.
void SceneView::closeServerScene() {
  QMutexLocker lock(&_viewMutex);
  if (_sceneKey.empty()) return;
  // scene-view work: send "ViewObject.closeView" on connections 0 and 1, delete the four
  // connections. The scene key is kept; reset empties it.
}

// GUI thread.
void SceneView::quickStart() {
  QMutexLocker lock(&_viewMutex);
  if (_sceneResourcesReady[_activeIndex]) {
    _quickStartRequested = true;
    return;
  }
  OS::FileSystem& fs = Platform::filesystem();
  std::wstring path;
  fs.getApplicationDataDirectory(path);
  path += fs.getPathSeparator();
  path += L"sample_vr.sce";
  const QUrl url = QUrl::fromLocalFile(QString::fromStdString(StringHelper::toString(path)));
  if (QQuickWindow* w = window())
    QMetaObject::invokeMethod(w, "openFile", Qt::AutoConnection, Q_ARG(QVariant, QVariant(url)));
}

// GUI thread; does not take the view mutex.
void SceneView::settings(double volumeRenderingQuality, const QString& floorTexScale, const QString& ceilTexScale,
                         bool accurateVolumeClipping, const QString& floorTexFileName, const QString& ceilTexFileName,
                         bool swapLeftRight, bool preserveOrientation, double isoSurfaceOpacity, double snappingAngle,
                         const QString& maxSceneMinification, const QString& maxSceneMagnification) {
  // scene-view work: both sessions' volume rendering managers take the clipping, quality and
  // iso-surface opacity at once.
  std::lock_guard<std::mutex> lock(_settingsMutex);
  _settings.accurateVolumeClipping = accurateVolumeClipping;
  _settings.swapLeftRight = swapLeftRight;
  _settings.volumeRenderingQuality = volumeRenderingQuality;
  _settings.preserveOrientation = preserveOrientation;
  _settings.isoSurfaceOpacity = isoSurfaceOpacity;
  _settings.snappingAngle = snappingAngle;
  _settings.sceneMinificationFactor = 1.0 / std::max(1.0, numberOf(maxSceneMinification));
  _settings.sceneMagnificationLimit = std::max(1.0, numberOf(maxSceneMagnification));
  takeScale(floorTexScale, _settings.floorTexScale);
  takeScale(ceilTexScale, _settings.ceilTexScale);
  _settings.floorTexFileName = localPathOf(floorTexFileName);
  _settings.ceilTexFileName = localPathOf(ceilTexFileName);
}

// GUI thread; does not take the view mutex.
void SceneView::collaborativeSettings(bool hudIsShared, bool superManModeIsShared, bool floorVisibleIsShared,
                                      bool enableVolRendIsShared, bool particleRadiusFactorIsShared,
                                      bool particleSpeedFactorIsShared) {
  const bool shared[6] = {hudIsShared,           superManModeIsShared,         floorVisibleIsShared,
                          enableVolRendIsShared, particleRadiusFactorIsShared, particleSpeedFactorIsShared};
  setShareMask(shared);
}

void SceneView::setShareMask(const bool shared[6]) {
  int mask = 0;
  for (int i = 0; i < 6; ++i)
    if (shared[i]) mask |= 1 << i;
  _shareMask = mask;
  // scene-view work: hand the mask to the collaborative session.
}
