// SceneView: the scene loader thread and the GUI thread's wait for it.
#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMouseEvent>
#include <QMutexLocker>
#include <QPointer>
#include <QQuickWindow>
#include <QThread>
#include <QTimer>
#include <QWheelEvent>

#include <memory>
#include <vector>

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

namespace {
// Input that arrived while the view waited, held for when it is idle again (GUI thread only).
struct HeldInput {
  QPointer<QObject> target;
  std::unique_ptr<QEvent> event;
};
std::vector<HeldInput> g_heldInput;

// A copy of the input event to hold, or null for input that is dropped (moves, touch, tablets:
// replayed late they would only mislead).
QEvent* copyOfInput(QEvent* event) {
  switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
      auto* e = static_cast<QKeyEvent*>(event);
      return new QKeyEvent(e->type(), e->key(), e->modifiers(), e->nativeScanCode(), e->nativeVirtualKey(),
                           e->nativeModifiers(), e->text(), e->isAutoRepeat(), ushort(e->count()));
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick: {
      auto* e = static_cast<QMouseEvent*>(event);
      return new QMouseEvent(e->type(), e->localPos(), e->windowPos(), e->screenPos(), e->button(), e->buttons(),
                             e->modifiers(), e->source());
    }
    case QEvent::Wheel: {
      auto* e = static_cast<QWheelEvent*>(event);
      return new QWheelEvent(e->position(), e->globalPosition(), e->pixelDelta(), e->angleDelta(), e->buttons(),
                             e->modifiers(), e->phase(), e->inverted(), e->source());
    }
    case QEvent::Shortcut: {
      auto* e = static_cast<QShortcutEvent*>(event);
      return new QShortcutEvent(e->key(), e->shortcutId(), e->isAmbiguous());
    }
    default:
      return nullptr;
  }
}

// GUI thread: delivers the held input once the view no longer waits and a scene it opened is in
// place (Quick Start then pages that scene instead of opening the sample).
void replayHeldInput(QPointer<SceneView> view) {
  if (view && (view->isProcessingViewEvents() || view->isAwaitingSceneSwap())) {
    QTimer::singleShot(20, [view]() { replayHeldInput(view); });
    return;
  }
  std::vector<HeldInput> held;
  held.swap(g_heldInput);
  for (HeldInput& h : held)
    if (h.target) QCoreApplication::sendEvent(h.target, h.event.get());
}

// While the view waits, what the user does must not open, close or switch anything half way, so
// it is held and delivered when the view is idle; but closing the window or Quit (Ctrl+Q) must
// end the program at once whatever a server does. Qt would hold a window's close back with the
// rest of the input, so the input is sorted here instead: close and Quit give up the server
// requests in progress and quit.
class BusyInputGate : public QObject {
 public:
  explicit BusyInputGate(SceneView& view) : _view(&view) { QCoreApplication::instance()->installEventFilter(this); }
  ~BusyInputGate() override {
    QCoreApplication::instance()->removeEventFilter(this);
    if (!g_heldInput.empty()) {
      QPointer<SceneView> view = _view;
      QTimer::singleShot(0, [view]() { replayHeldInput(view); });
    }
  }

  // GUI thread.
  bool eventFilter(QObject* target, QEvent* event) override {
    if (event->type() == QEvent::Shortcut) {  // sent to the action that owns the shortcut
      const QKeySequence key = static_cast<QShortcutEvent*>(event)->key();
      if (key == QKeySequence(Qt::CTRL | Qt::Key_Q)) {
        quitNow();
        return true;
      }
      // Help/About only reads the view: it opens at once.
      if (key == QKeySequence(Qt::Key_F1)) return false;
      hold(target, event);
      return true;
    }
    if (!target->isWindowType()) return false;  // items get their input through their window
    // The about box opens, changes and closes nothing of the view.
    if (target->objectName() == QLatin1String("aboutDialog")) return false;
    switch (event->type()) {
      case QEvent::Close:
        if (!_view || target != _view->window()) return false;
        // The window stays up until the quit: the view's own clean-up still needs its frames.
        quitNow();
        return true;
      case QEvent::KeyPress: {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Q && (key->modifiers() & Qt::ControlModifier)) {
          quitNow();
          return true;
        }
        hold(target, event);
        return true;
      }
      case QEvent::KeyRelease:
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonRelease:
      case QEvent::MouseButtonDblClick:
      case QEvent::Wheel:
        hold(target, event);
        return true;
      case QEvent::ShortcutOverride:
      case QEvent::MouseMove:
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
  static void hold(QObject* target, QEvent* event) {
    if (QEvent* copy = copyOfInput(event)) g_heldInput.push_back({QPointer<QObject>(target), std::unique_ptr<QEvent>(copy)});
  }
  void quitNow() {
    Logger::getSingleton().info("Quit while a scene opens: the server requests in progress are given up");
    g_heldInput.clear();
    if (_view) _view->interruptServerRequests();
    QCoreApplication::quit();
  }
  QPointer<SceneView> _view;
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
bool SceneView::isAwaitingSceneSwap() const {
  const QQuickWindow* w = window();
  return w && w->isExposed() && _backBufferReady && !_sceneResourcesReady[_activeIndex];
}

// GUI thread.
bool SceneView::refuseReentry(const char* operation) const {
  if (!isProcessingViewEvents()) return false;
  Logger::getSingleton().warning(std::string(operation) + " ignored: the view is busy with a scene");
  return true;
}

// GUI thread.
bool SceneView::awaitResetHandshake() {
  while (_resetRequested && !_quitting) {
    processViewEvents(QEventLoop::ExcludeUserInputEvents);
    if (QQuickWindow* w = window()) w->update();
    _frameDone.tryWait(10);
  }
  return !_resetRequested;
}

// GUI thread.
void SceneView::startLoaderTask(const std::string& title, const std::string& status, uint32_t taskCode,
                                const Properties& record) {
  QMutexLocker lock(&_loaderMutex);
  // The wait below delivers events; none may start a second task over the running one.
  INTERNAL_CHECK(!_sceneLoader->isRunning(), "Scene loader task already running", "SceneView");

  LoadRequest request;
  request.taskCode = taskCode;
  // An updater pass needs its context back from a reset that no frame has answered yet (the
  // window was hidden); a quit in that wait leaves the pass out.
  if (taskCode == SceneLoader::RunUpdater && !awaitResetHandshake()) request.taskCode = SceneLoader::NoTask;
  // After a quit no server step starts: a connection made now would not know it was given up.
  if (_quitting && SceneLoader::asksServer(taskCode)) request.taskCode = SceneLoader::NoTask;
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
  // The dots move on every period; the wait ends as soon as the task has, and its report is
  // delivered by the event processing that follows.
  for (int n = 0; !_loaderResultReady.load(); ++n) {
    showStatus(title, status + std::string(size_t(n % 4), '.'));
    if (_sceneLoader->wait(kStatusPeriodMs))
      while (!_loaderResultReady.load()) processViewEvents(QEventLoop::ExcludeUserInputEvents);
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
