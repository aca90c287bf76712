#include "SceneLoader.h"

#include <exception>
#include <iostream>

#include "CollabSession.h"
#include "Error.h"
#include "InternalError.h"
#include "ServerConnection.h"
#include "TsanAnnotations.h"
#include "kvg/DrawableSession.h"
#include "kvg/RendererNodeStream.h"
#include "kvg/SDBReader.h"

namespace {
// A reply task without its connection must not leave an earlier task's reply to be read as its own.
void noConnection(Properties& reply, const char* messageKey) {
  reply = Properties();
  Error::set(reply, Error::NOT_CONNECTED, "No server connection");
  reply.set(messageKey, std::string("No server connection"));
}
}  // namespace

SceneLoader::SceneLoader(QObject* parent) : QThread(parent) { setObjectName("SceneLoader"); }

bool SceneLoader::asksServer(uint32_t taskCode) {
  switch (taskCode) {
    case StartSessions:
    case OpenServerView:
    case CreateCommandSockets:
    case ConnectCollaboration:
    case GetSceneKey:
    case StartCollaborativeService:
    case CreateNotifySockets:
    case EnableVRMode: return true;
    default: return false;
  }
}

// Loader thread.
void SceneLoader::run() {
  const TsanReleaseAtEnd ended(this);
  // Every result is this task's: one that is left out (or fails early) reports nothing done.
  recordLoaded = socketsCreated = collaborativeServerStarted = notifySocketsCreated = false;
  reply = Properties();
  transportError.clear();
  // The GUI thread waits for resultReady; whatever happens, it must come.
  try {
    switch (request.taskCode) {
      case StartSessions: startSessions(); break;
      case OpenServerView: openServerView(); break;
      case RunUpdater: runUpdater(); break;
      case LoadRecord: loadRecord(); break;
      case CreateCommandSockets: createCommandSockets(); break;
      case AwaitUpdater: awaitUpdater(); break;
      case ConnectCollaboration: connectCollaboration(); break;
      case GetSceneKey: getSceneKey(); break;
      case StartCollaborativeService: startCollaborativeService(); break;
      case CreateNotifySockets: createNotifySockets(); break;
      case EnableVRMode: enableVRMode(); break;
      default: break;
    }
  } catch (const InternalError& e) {
    std::cerr << "Scene loader task " << request.taskCode << " failed: " << e.toString() << std::endl;
  } catch (const std::exception& e) {
    std::cerr << "Scene loader task " << request.taskCode << " failed: " << e.what() << std::endl;
  }
  emit resultReady(QString());
}

// Loader thread.
void SceneLoader::startSessions() {
  for (int i = 0; i < 2; ++i)
    if (request.sessions[i] && request.connections[i]) request.sessions[i]->startSession(*request.connections[i]);
}

// Loader thread.
void SceneLoader::openServerView() {
  Properties arguments;
  arguments.set("ViewObject", request.viewObjectKey);
  Properties localReply;
  for (int i = 0; i < 2; ++i)
    if (ServerConnection* connection = request.connections[i])
      connection->sendCommand("ViewObject.openView", arguments, localReply);
  if (kvg::DrawableSession* session = request.sessions[1]) session->executeNextUpdateTask();
}

// Loader thread.
void SceneLoader::runUpdater() {
  if (!request.updater) return;
  request.updater->start(QThread::InheritPriority);
  request.updater->wait();
}

// Loader thread. The second session gets the record only when the first took it, so a faulty
// frame leaves both as they were.
void SceneLoader::loadRecord() {
  recordLoaded = false;
  kvg::SDBReader* reader = request.reader;
  if (!reader || !request.sessions[0] || !request.sessions[1]) return;
  kvg::RendererNodeStream first(*request.sessions[0]);
  if (!reader->loadRecord(request.record, first)) return;
  kvg::RendererNodeStream second(*request.sessions[1]);
  recordLoaded = reader->loadRecord(request.record, second);
}

// Loader thread. Stops at the first connection that fails; later ones get no socket.
void SceneLoader::createCommandSockets() {
  socketsCreated = false;
  const std::string host = request.host.toUtf8().toStdString();
  ServerConnection* const* connections = request.connections;
  if (!connections[0]) {
    noConnection(reply, "message");
    return;
  }
  if (!connections[0]->createCommandSocket(host, request.port, reply)) return;
  for (int i = 1; i < 4; ++i)
    if (!connections[i] || !connections[i]->createCommandSocket(host, request.port)) return;
  socketsCreated = !reply.hasName("message");
}

// Loader thread: wakes the updater's wait for a session task so that its pass ends soon.
void SceneLoader::awaitUpdater() {
  kvg::DrawableSession* inactive = request.sessions[request.activeIndex == 0 ? 1 : 0];
  if (inactive) inactive->addNoOpTask();
  if (request.updater) request.updater->wait();
}

// Loader thread.
void SceneLoader::connectCollaboration() {
  const bool connected =
      request.collabSession && request.connections[3] && request.collabSession->connect(*request.connections[3]);
  if (!connected) std::cerr << "Connection with collaborative server could not be established. " << std::endl;
}

// Loader thread.
void SceneLoader::getSceneKey() {
  Properties arguments;
  arguments.set("SceneName", request.sceneName);
  if (ServerConnection* connection = request.connections[0])
    connection->sendCommand("SceneGraphExportImport.getObjectKeyFromSceneName", arguments, reply);
  else
    noConnection(reply, Error::MESSAGE_TAG);
}

// Loader thread.
void SceneLoader::startCollaborativeService() {
  collaborativeServerStarted = false;
  if (ServerConnection* connection = request.connections[2])
    collaborativeServerStarted = connection->sendCommand("StartCollaborativeVRServer", Properties(), reply);
  else
    noConnection(reply, Error::MESSAGE_TAG);
}

// Loader thread. Connection 1 gets its socket only when connection 0 got one.
void SceneLoader::createNotifySockets() {
  notifySocketsCreated = false;
  const std::string host = request.host.toUtf8().toStdString();
  for (int i = 0; i < 2; ++i)
    if (!request.connections[i] || !request.connections[i]->createNotifySocket(host, request.port)) return;
  notifySocketsCreated = true;
}

// Loader thread. The server's answer is not used; only a request that never got one counts.
void SceneLoader::enableVRMode() {
  transportError.clear();
  ServerConnection* connection = request.connections[0];
  if (!connection) return;
  Properties vrReply;
  if (!connection->sendCommand("EnableVRMode", Properties(), vrReply) && connection->isBroken())
    transportError =
        vrReply.hasName(Error::MESSAGE_TAG) ? vrReply.getString(Error::MESSAGE_TAG) : connection->getLastError();
}
