// SceneView: the connection to a simulation server and the opening of its scenes, the server
// scene's closing, and the failures of the drawable sessions' server feeds.
#include <QCoreApplication>
#include <QMutexLocker>
#include <QQuickWindow>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <thread>

#include "Error.h"
#include "Logger.h"
#include "PickerDialog.h"
#include "SceneLoader.h"
#include "SceneView.h"
#include "ServerConnection.h"
#include "VRWidgetCommandHandler.h"
#include "kvg/DrawableSession.h"

namespace {

const char* const kProductTitle = "Mavolin Quonix Virtual Reality";
const int kNumTries = 20;
// Replies to the scene-name query that may lack the names before the query gives up; one
// second apart.
const int kSceneNameRequests = 10;

// The error box of a connection that failed while a scene was open or opening.
QString connectionFailed(const QString& host, int port, const QString& reason) {
  return QStringLiteral("Connection to host: %1, port: %2 failed. %3").arg(host).arg(port).arg(reason);
}

}  // namespace

std::string SceneView::serverTitle() const {
  return std::string(kProductTitle) + " - " + _host.toUtf8().toStdString() + ":" + std::to_string(_port);
}

bool SceneView::checkServerReply(const Properties& reply, std::string& error) {
  if (!reply.hasName(Error::ERROR_TAG)) return true;
  if (reply.hasName(Error::MESSAGE_TAG))
    error = reply.getString(Error::MESSAGE_TAG) +
            ". Possible version mismatch or server connection mode is not set to 'Collaboration'.";
  return false;
}

// GUI thread, view mutex held.
std::string SceneView::connectToServer() {
  disconnectFromServer();
  // The server dialog offers port 0 and the command line takes any number: both get this box.
  if (_port < 1 || _port > 65535) return "Cannot create command socket. The port must be a number from 1 to 65535.";
  const uint64_t generation = ++_serverGeneration;
  const std::string host = _host.toUtf8().toStdString();
  for (int i = 0; i < 4; ++i) {
    _connections[i].reset(new ServerConnection);
    _connections[i]->setNumTries(kNumTries);
    _connections[i]->setHost(host);
    _connections[i]->setPort(_port);
  }
  // A failed feed reaches the GUI thread queued; a report that arrives after this connection
  // was replaced is recognised by its generation.
  for (int i = 0; i < 2; ++i)
    _connections[i]->setSessionErrorHandler([this, generation](const std::string& reason) {
      const QString text = QString::fromStdString(reason);
      QMetaObject::invokeMethod(
          this, [this, generation, text] { onServerSessionFailed(generation, text); }, Qt::QueuedConnection);
    });
  _widgetCommandHandler.reset(new VRWidgetCommandHandler(_connections[3].get()));
  for (auto& forwarder : _callbackForwarders) forwarder.setHandler(_widgetCommandHandler.get());
  _widgetCommandHandler->start();

  startLoaderTask(kProductTitle, "connecting to server", SceneLoader::CreateCommandSockets);
  if (!_sceneLoader->socketsCreated) {
    std::string error = "Cannot create command socket. ";
    if (_sceneLoader->reply.hasName("message")) error += _sceneLoader->reply.getString("message");
    return error;
  }
  // The greetings wait for the server like every other step: on the loader thread, the window
  // painted and Quit acting at once.
  startLoaderTask(serverTitle(), "notify server...", SceneLoader::CreateNotifySockets);
  if (!_sceneLoader->notifySocketsCreated) return "Cannot create notification socket. ";
  startLoaderTask(serverTitle(), "starting collaborative service", SceneLoader::StartCollaborativeService);
  if (!_sceneLoader->collaborativeServerStarted) return "Cannot create collaborative VR server. ";
  return std::string();
}

// GUI thread. The request runs on a helper thread while the window keeps being painted (user
// input waits); every request is bounded by the connection's time-out.
std::string SceneView::queryServerSceneNames(ServerConnection& connection, std::vector<std::string>& names) {
  names.clear();
  auto paintWhile = [this](const std::function<bool()>& busy) {
    while (busy()) {
      processViewEvents(QEventLoop::ExcludeUserInputEvents);
      if (QQuickWindow* w = window()) w->update();
      QThread::msleep(20);
    }
  };
  for (int request = 1;; ++request) {
    Properties reply;
    std::atomic<bool> done{false};
    std::thread sender([&] {
      connection.sendCommand("SceneGraphExportImport.getSceneNames", Properties(), reply);
      done = true;
    });
    paintWhile([&] { return !done.load(); });
    sender.join();
    if (reply.hasName("SceneNames")) {
      reply.get("SceneNames", names);
      return std::string();
    }
    // A refusal or a broken connection does not get better by asking again.
    if (Error::isError(reply)) return Error::getMessage(reply);
    if (request >= kSceneNameRequests)
      return "The server sent no scene names in " + std::to_string(kSceneNameRequests) + " replies.";
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    paintWhile([&] { return std::chrono::steady_clock::now() < until; });
  }
}

// GUI thread.
QString SceneView::openServerContinuation1(const QString& host, int port, bool alwaysShowDialog) {
  if (refuseReentry("Connecting to a server")) return QString();
  QMutexLocker lock(&_viewMutex);
  reset();
  _host = host;
  _port = port;
  const QString where = QStringLiteral("host: %1, port: %2. ").arg(host).arg(port);
  std::string error = connectToServer();
  if (!error.empty()) {
    failOpening(QStringLiteral("Error connecting to ") + where + QString::fromStdString(error));
    return QString();
  }
  std::vector<std::string> names;
  error = queryServerSceneNames(*_connections[0], names);
  if (!error.empty()) {
    failOpening(QStringLiteral("Error getting scene list from ") + where + QString::fromStdString(error));
    return QString();
  }
  if (names.empty()) {
    failOpening(QStringLiteral("No scenes found on ") + where);
    return QString();
  }
  if (names.size() == 1 && !alwaysShowDialog) {
    openServerContinuation2(QString::fromStdString(names[0]));
    return QString();
  }
  return PickerDialog::build(QStringLiteral("Select scene"), QStringLiteral("scenes"), names,
                             [](const QString&, const QString& label) {
                               return QStringLiteral("sceneView.openServerContinuation2(%1);").arg(label);
                             });
}

// GUI thread.
void SceneView::openServerContinuation2(const QString& sceneName) {
  if (refuseReentry("Choosing a server scene")) return;
  QMutexLocker lock(&_viewMutex);
  if (!_connections[0]) {
    failOpening(QStringLiteral("SceneGraphExportImport.getObjectKeyFromSceneName failed. No server connection."));
    return;
  }
  _sceneName = sceneName.toUtf8().toStdString();
  const std::string title = serverTitle() + ", " + _sceneName;
  startLoaderTask(title, "waiting for scene info", SceneLoader::GetSceneKey);
  const Properties reply = _sceneLoader->reply;
  std::string error;
  if (!checkServerReply(reply, error) || !reply.hasName("SceneKey")) {
    failOpening(QStringLiteral("SceneGraphExportImport.getObjectKeyFromSceneName failed. ") +
                QString::fromStdString(error));
    return;
  }
  _sceneKey = reply.getString("SceneKey");
  _collabSession.setSceneKey(_sceneKey);
  startLoaderTask(title, "connecting to collaborative server", SceneLoader::ConnectCollaboration);
  startLoaderTask(title, "downloading scene", SceneLoader::StartSessions);
  startLoaderTask(title, "updating scene", SceneLoader::OpenServerView);
  // A quit in one of these waits gave the connections up: the rest is left to the shut-down.
  if (_quitting) return;
  emit openServerComplete();
  emit switchScenePossible();
  startLoaderTask(title, "initializing scene", SceneLoader::RunUpdater);
  if (_quitting) return;
  if (_connections[0]) {
    // The server's answer is not used; but a request that got none has broken connection 0, on
    // which the scene's updates come.
    startLoaderTask(title, "enabling VR mode", SceneLoader::EnableVRMode);
    if (!_sceneLoader->transportError.empty()) {
      failOpening(connectionFailed(_host, _port, QString::fromStdString(_sceneLoader->transportError)));
      return;
    }
  }
  if (QQuickWindow* w = window()) {
    w->setClearBeforeRendering(false);
    w->update();
  }
  _collabSession.startThreads();
}

// GUI thread: the window's closing, the quit, and reset.
void SceneView::closeServerScene() {
  if (refuseReentry("Closing the server scene")) return;
  QMutexLocker lock(&_viewMutex);
  if (_sceneKey.empty()) return;
  Properties view;
  view.set("ViewObject", _sceneKey);
  for (int i = 0; i < 2; ++i) {
    if (!_connections[i]) continue;
    Properties reply;
    _connections[i]->sendNoResponseCommand("ViewObject.closeView", view, reply);
  }
  disconnectFromServer();
}

// GUI thread, view mutex held (so no render-thread frame runs meanwhile).
void SceneView::disconnectFromServer() {
  ++_serverGeneration;
  bool any = _widgetCommandHandler != nullptr;
  for (const auto& c : _connections) any = any || c;
  if (!any) return;
  // An updater pass may be in its task catch-up, which reads connection 0 and session tasks.
  if (_backBufferUpdater.isRunning()) {
    _updatesSuspended = true;
    startLoaderTask(kProductTitle, "disconnecting", SceneLoader::AwaitUpdater);
    _updatesSuspended = false;
  }
  // The command thread ends before its connection goes; the part widgets may still hold the
  // handler, which stays (stopped, naming no connection) until the next connect or the end.
  for (auto& forwarder : _callbackForwarders) forwarder.setHandler(nullptr);
  if (_widgetCommandHandler) {
    _widgetCommandHandler->stopThread();
    _widgetCommandHandler->detachConnection();
  }
  for (auto& session : _drawableSessions)
    if (session) session->stopSession();
  for (auto& c : _connections) c.reset();
}

// GUI thread.
void SceneView::onServerSessionFailed(uint64_t generation, const QString& reason) {
  if (generation != _serverGeneration) return;  // that connection is gone already
  if (isProcessingViewEvents()) {
    // An opening or closing is under way; look again once it is done.
    QTimer::singleShot(100, this, [this, generation, reason] { onServerSessionFailed(generation, reason); });
    return;
  }
  QMutexLocker lock(&_viewMutex);
  failOpening(connectionFailed(_host, _port, reason));
}
