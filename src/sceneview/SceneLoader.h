#pragma once
// SceneLoader: the worker thread that runs the slow steps of opening a scene, one task per
// start, while the GUI thread waits and keeps the window painted (SceneView::startLoaderTask).
#include <QString>
#include <QThread>

#include <cstdint>
#include <string>

#include "Properties.h"

class CollabSession;
class ServerConnection;
namespace kvg {
class DrawableSession;
class SDBReader;
}  // namespace kvg

// One loader task and what it works on, copied from the scene view when the task starts.
struct LoadRequest {
  uint32_t taskCode = 0;
  std::string viewObjectKey;
  std::string sceneName;
  kvg::DrawableSession* sessions[2] = {nullptr, nullptr};
  ServerConnection* connections[4] = {nullptr, nullptr, nullptr, nullptr};
  // The back-buffer updater: tasks 2 and 5 run it or wait for it.
  QThread* updater = nullptr;
  CollabSession* collabSession = nullptr;
  Properties record;
  kvg::SDBReader* reader = nullptr;
  QString host;
  int32_t port = 0;
  int32_t activeIndex = 0;
};

// The GUI thread writes the request while the thread is stopped and reads the results after
// wait() has returned; the thread touches both only inside run(). Tasks never throw on a server
// or file failure: failures are results.
class SceneLoader : public QThread {
  Q_OBJECT

 public:
  enum TaskCode : uint32_t {
    StartSessions = 0,             // each drawable session on its server connection
    OpenServerView = 1,            // "ViewObject.openView" on connections 0 and 1
    RunUpdater = 2,                // one pass of the back-buffer updater
    LoadRecord = 3,                // the scene-file record into both sessions
    CreateCommandSockets = 4,      // the four connections' command sockets
    AwaitUpdater = 5,              // a no-op task for the updater, then wait for it
    ConnectCollaboration = 6,      // the collaborative session on connection 3
    GetSceneKey = 7,               // the view-object key of the chosen server scene
    StartCollaborativeService = 8,  // "StartCollaborativeVRServer" on connection 2
    CreateNotifySockets = 9,        // the notification sockets of connections 0 and 1
    EnableVRMode = 10,              // "EnableVRMode" on connection 0
    NoTask = 0xFFFFFFFFu            // nothing; the result comes at once
  };

  explicit SceneLoader(QObject* parent = nullptr);
  // The task talks to the server (and may wait for it).
  static bool asksServer(uint32_t taskCode);

  LoadRequest request;
  // Task 3: both drawable sessions received the record.
  bool recordLoaded = false;
  // Task 4: all four command sockets exist and the reply carries no "message".
  bool socketsCreated = false;
  // Tasks 4, 7 and 8: the server's reply.
  Properties reply;
  // Task 8: the server started the collaborative service.
  bool collaborativeServerStarted = false;
  // Task 9: both notification sockets exist.
  bool notifySocketsCreated = false;
  // Task 10: why the request failed on its way (a server's refusal is no failure here); empty
  // when it went through.
  std::string transportError;

 signals:
  void resultReady(const QString& s);

 protected:
  // Loader thread: runs the request's task, then emits resultReady, also for an unknown code.
  void run() override;

 private:
  void startSessions();
  void openServerView();
  void runUpdater();
  void loadRecord();
  void createCommandSockets();
  void awaitUpdater();
  void connectCollaboration();
  void getSceneKey();
  void startCollaborativeService();
  void createNotifySockets();
  void enableVRMode();
};
