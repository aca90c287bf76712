// SceneView: the scene loader thread and the GUI thread's wait for it.
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMutexLocker>
#include <QQuickWindow>
#include <QThread>

#include "InternalError.h"
#include "Logger.h"
#include "SceneLoader.h"
#include "SceneView.h"
#include "kvg/SDBReader.h"

namespace {
// The status text's dots move on once per period.
constexpr unsigned long kStatusPeriodMs = 250;

// Counts the view's own event processing, so that what it delivers can be told from the
// ordinary event loop.
class ViewEventScope {
 public:
  explicit ViewEventScope(int& depth) : _depth(depth) { ++_depth; }
  ~ViewEventScope() { --_depth; }
  ViewEventScope(const ViewEventScope&) = delete;
  ViewEventScope& operator=(const ViewEventScope&) = delete;

 private:
  int& _depth;
};
}  // namespace

// GUI thread, from the constructor.
void SceneView::createSceneLoader() {
  _sceneLoader.reset(new SceneLoader);
  // Emitted on the loader thread: the slot runs queued on the GUI thread.
  connect(_sceneLoader.get(), &SceneLoader::resultReady, this, &SceneView::handleResults, Qt::AutoConnection);
}

// GUI thread, from the destructor.
void SceneView::stopSceneLoader() {
  if (!_sceneLoader) return;
  _sceneLoader->quit();
  _sceneLoader->wait();
}

// GUI thread.
void SceneView::processViewEvents(QEventLoop::ProcessEventsFlags flags) {
  ViewEventScope scope(_viewEventDepth);
  QCoreApplication::processEvents(flags);
}

// GUI thread.
bool SceneView::refuseReentry(const char* operation) const {
  if (!isProcessingViewEvents()) return false;
  Logger::getSingleton().warning(std::string(operation) + " ignored: the view is busy with a scene");
  return true;
}

// GUI thread.
void SceneView::startLoaderTask(const std::string& title, const std::string& status, uint32_t taskCode,
                                const Properties& record) {
  QMutexLocker lock(&_loaderMutex);
  // The wait below delivers events; none may start a second task over the running one.
  INTERNAL_CHECK(!_sceneLoader->isRunning(), "Scene loader task already running", "SceneView");

  LoadRequest request;
  request.taskCode = taskCode;
  for (int i = 0; i < 2; ++i) request.sessions[i] = _drawableSessions[i].get();
  for (int i = 0; i < 4; ++i) request.connections[i] = _connections[i].get();
  request.updater = &_backBufferUpdater;
  request.collabSession = &_collabSession;
  request.viewObjectKey = _sceneKey;
  request.sceneName = _sceneName;
  request.record = record;
  request.host = _host;
  request.port = _port;
  request.activeIndex = _activeIndex;
  request.reader = _sceneReader.get();
  _sceneLoader->request = request;

  _sceneLoader->start(QThread::InheritPriority);
  QGuiApplication::setOverrideCursor(Qt::WaitCursor);
  // The dots move on every period; the wait ends with the task, whose report is delivered by
  // the event processing that follows.
  for (int n = 0; !_loaderResultReady.load(); ++n) {
    showStatus(title, status + std::string(size_t(n % 4), '.'));
    while (!_loaderResultReady.load() && _sceneLoader->wait(kStatusPeriodMs))
      processViewEvents(QEventLoop::ExcludeUserInputEvents);
  }
  _sceneLoader->quit();
  _sceneLoader->wait();
  QGuiApplication::restoreOverrideCursor();
  _loaderResultReady.exchange(false);
  showStatus(title, std::string());
}

// GUI thread. Titles are UTF-8. User input stays queued until the view is idle: it could
// otherwise open, close or switch while a scene is half opened.
void SceneView::showStatus(const std::string& title, const std::string& status) {
  QQuickWindow* w = window();
  if (!w) return;
  w->setTitle(QString::fromStdString(status.empty() ? title : title + " - " + status));
  processViewEvents(QEventLoop::ExcludeUserInputEvents);
  if (QQuickWindow* still = window()) still->update();
}

// GUI thread (queued from the scene loader).
void SceneView::handleResults(const QString&) { _loaderResultReady.exchange(true); }
