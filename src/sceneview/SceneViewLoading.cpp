// SceneView: the scene loader thread and the GUI thread's wait for it.
#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMutexLocker>
#include <QQuickWindow>
#include <QThread>

#include "InternalError.h"
#include "Logger.h"
#include "SceneLoader.h"
#include "SceneView.h"
#include "kvg/SDBReader.h"

namespace {
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

namespace {
// While the view waits, what the user does must not open, close or switch anything half way; but
// closing the window or Quit (Ctrl+Q) must end the program at once whatever a server does. Qt
// holds a window's close back with the rest of the input, so the input is seen here instead:
// close and Quit give up the server requests in progress and quit; the rest is dropped.
class BusyInputGate : public QObject {
 public:
  explicit BusyInputGate(SceneView& view) : _view(view) { QCoreApplication::instance()->installEventFilter(this); }
  ~BusyInputGate() override { QCoreApplication::instance()->removeEventFilter(this); }

  // GUI thread.
  bool eventFilter(QObject* target, QEvent* event) override {
    if (event->type() == QEvent::Shortcut) {  // sent to the action that owns the shortcut
      if (static_cast<QShortcutEvent*>(event)->key() == QKeySequence(Qt::CTRL | Qt::Key_Q)) quitNow();
      return true;
    }
    if (!target->isWindowType()) return false;  // items get their input through their window
    switch (event->type()) {
      case QEvent::Close:
        // The window stays up until the quit: the view's own clean-up still needs its frames.
        quitNow();
        return true;
      case QEvent::KeyPress: {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Q && (key->modifiers() & Qt::ControlModifier)) quitNow();
        return true;
      }
      case QEvent::KeyRelease:
      case QEvent::ShortcutOverride:
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonRelease:
      case QEvent::MouseButtonDblClick:
      case QEvent::MouseMove:
      case QEvent::Wheel:
      case QEvent::TouchBegin:
      case QEvent::TouchUpdate:
      case QEvent::TouchEnd:
      case QEvent::TabletPress:
      case QEvent::TabletRelease:
      case QEvent::TabletMove:
      case QEvent::ContextMenu:
        return true;
      default:
        return false;
    }
  }

 private:
  void quitNow() {
    Logger::getSingleton().info("Quit while a scene opens: the server requests in progress are given up");
    _view.interruptServerRequests();
    QCoreApplication::quit();
  }
  SceneView& _view;
};
}  // namespace

// GUI thread.
void SceneView::processViewEvents(QEventLoop::ProcessEventsFlags flags) {
  ViewEventScope scope(_viewEventDepth);
  if (flags & QEventLoop::ExcludeUserInputEvents) {
    BusyInputGate gate(*this);
    QCoreApplication::processEvents(flags & ~QEventLoop::ProcessEventsFlags(QEventLoop::ExcludeUserInputEvents));
    return;
  }
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
  // The flag is checked after the sleep, so every task shows its status for at least one period.
  for (int n = 0; !_loaderResultReady.load(); ++n) {
    showStatus(title, status + std::string(size_t(n % 4), '.'));
    QThread::msleep(250);
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
