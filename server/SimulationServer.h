#pragma once
// The stand-in simulation server: accepts command and notification sockets, answers the commands
// the VR program sends, pushes scenes to open viewers and, as a live simulation, advances them.
//
// Threads: run() is the accepting thread; each accepted socket gets a thread of its own (a command
// socket's thread reads commands and writes their replies, a notification socket's thread writes
// what is queued for it, in order; a collaborative socket's thread greets it and hands it to the
// service's event thread); a live server has one more thread advancing the scenes. _mutex
// guards the clients, their views and the scenes' positions; a viewer's own mutex guards its queue
// (taken after _mutex when both are needed).
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "CollaborativeService.h"
#include "CommandJournal.h"
#include "FaultPlan.h"
#include "FrameChannel.h"
#include "PartModel.h"
#include "ListenSocket.h"
#include "SceneLibrary.h"
#include "ServerOptions.h"

class SimulationServer {
 public:
  // Most notifications a viewer may have waiting; a viewer that falls further behind is dropped.
  static constexpr size_t MAX_VIEWER_BACKLOG = 256;

  // scenes and journal must outlive the server; journal may be null.
  SimulationServer(const ServerOptions& options, const SceneLibrary& scenes, CommandJournal* journal);
  ~SimulationServer();
  SimulationServer(const SimulationServer&) = delete;
  SimulationServer& operator=(const SimulationServer&) = delete;

  // Listens on the options' address and port.
  bool start(std::string& error);
  int port() const { return _listener.port(); }
  // Accepting thread: serves until stop(); every thread of the server has ended when it returns.
  void run();
  // Any thread, also a signal handler (it only writes to a pipe): makes run() return.
  void stop();
  // The collaborative VR service ("StartCollaborativeVRServer" starts it).
  CollaborativeService& collaboration() { return *_collaboration; }

 private:
  struct Viewer;
  struct Client;
  struct SceneState {
    size_t frame = 0;
    int64_t position = 1;
    PartModel parts;  // what the part-widget commands change; shown in every frame sent
    bool highlightAsked = false;  // a "HighlightParts" came: the scene's own highlight is gone
  };
  // Open connections (a thread each, or held by the collaborative service) beyond which new ones
  // are closed at once.
  static constexpr size_t MAX_CONNECTIONS = 1280;
  struct Worker {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> done;
  };

  // Socket threads.
  void serveSocket(Socket socket);
  void serveCommands(FrameChannel& channel, const Properties& hello);
  void serveViewer(FrameChannel& channel, const Properties& hello);
  void handleCommand(Client& client, FrameChannel& channel, const MessageFrame& frame);
  // Live-simulation thread.
  void advanceScenes();

  // Caller holds _mutex.
  Properties dispatch(Client& client, const std::string& command, const Properties& args);
  Properties sceneNotification(size_t sceneIndex) const;
  bool enqueue(Viewer& viewer, MessageFrame frame);
  // The part-widget commands and moved-part notifications on the scene's part model; a
  // highlight is the client connection's own.
  Properties dispatchPartCommand(Client& client, const std::string& command, const Properties& args);
  // Counts an update of the scene and pushes it to every viewer that has it open.
  void publishScene(size_t sceneIndex);

  // Writes frame as the fault mode says (None: as it is). False when the socket failed.
  bool send(FrameChannel& channel, const MessageFrame& frame, FaultPlan::Mode mode);
  [[noreturn]] void dieNow(const std::string& why);
  void journal(int64_t id, const std::string& name, const Properties& args);
  void track(FrameChannel* channel, bool live);
  void reapWorkers(bool all);

  const ServerOptions _options;
  const SceneLibrary& _scenes;
  CommandJournal* _journal;
  FaultPlan _faults;
  ListenSocket _listener;
  int _wakePipe[2] = {-1, -1};
  std::atomic<bool> _stopping{false};
  int64_t _idBase = 0;
  std::atomic<int64_t> _nextId{1};

  std::mutex _mutex;
  std::condition_variable _tick;  // wakes the live thread at stop
  std::map<int64_t, std::shared_ptr<Client>> _clients;
  std::vector<SceneState> _sceneStates;
  std::set<FrameChannel*> _channels;  // open sockets, shut down at stop

  std::unique_ptr<CollaborativeService> _collaboration;

  std::list<Worker> _workers;  // touched by the accepting thread only
  bool _connectionsRefused = false;  // accepting thread only
  std::thread _liveThread;
};
