#pragma once
// Sending thread of the collaboration: the render thread hands it states, it keeps only the
// newest (StateQueue) and writes it to the collaborative service on its own thread, so a slow
// network never stalls a frame. Every state sent carries this participant's "TS" as its ID.
//
// A borrowing updater (constructed from another) shares the owner's connection, ids and send
// lock; the owner's destructor sends "close" and closes that connection.
//
// Threads: connect on the scene loader thread; queueState on the render thread; run on the
// updater thread; the destructor on the GUI thread. The send lock serialises everything written
// to the connection (both updaters of one connection, and the whole of connect).
#include <vtkSmartPointer.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "Runnable.h"
#include "StateQueue.h"

class ServerConnection;
class Thread;
namespace zeltvtk {
class SocketCommunicator;
}

class CVRStateUpdater : public Runnable {
 public:
  static constexpr const char* SERVICE_NAME = "CollaborativeVRServer";

  // Reads the throttle "timeUntilNextServerUpdate" (seconds, default 0.01).
  CVRStateUpdater();
  // Shares other's connection, send lock and ids.
  explicit CVRStateUpdater(CVRStateUpdater& other);
  // Ends the thread (after at most one send's time-out when the service stopped reading), then,
  // when a thread ran, sends "close" and closes the connection.
  ~CVRStateUpdater() override;
  CVRStateUpdater(const CVRStateUpdater&) = delete;
  CVRStateUpdater& operator=(const CVRStateUpdater&) = delete;

  void setSceneKey(const std::string& key) { _sceneKey = key; }
  const std::string& getSceneKey() const { return _sceneKey; }
  // Scene loader thread: opens the sending connection to the service beside connection's server
  // with the 64-bit value, receives the ids and sends the scene key. Every step is bounded by the
  // connection's time-out.
  bool connect(ServerConnection& connection, int64_t value);
  // The same with the server connection's own value.
  bool connectTo(ServerConnection& connection);
  // ("CID", "TS") received at connection; (0, 0) before.
  std::pair<unsigned, unsigned> getConnectionIds() const { return {_cid.load(), _ts.load()}; }
  // Why the last connect failed.
  const std::string& getLastError() const { return _lastError; }

  // False when a thread exists already.
  bool start();
  // Render thread: takes ownership; dropped when less than the interval passed since the last
  // accepted state, else queued (replacing a pending one).
  void queueState(std::unique_ptr<kvg::VRState> state);
  // States written to the connection so far (any thread).
  int getSentCount() const { return _sentCount.load(); }
  // Any thread: a send on the connection failed; nothing more is sent on it.
  bool hasFailed() const { return _failed && _failed->load(); }
  bool isConnected() const;

  // Updater thread.
  void run() override;

 private:
  std::unique_ptr<Thread> _thread;
  std::atomic<unsigned> _cid{0};
  std::atomic<unsigned> _ts{0};
  vtkSmartPointer<zeltvtk::SocketCommunicator> _communicator;
  std::shared_ptr<std::mutex> _sendLock;
  StateQueue _queue;
  std::string _sceneKey;
  int64_t _lastQueueTime = 0;  // steady clock, ns; render thread only
  double _interval = 0.01;
  std::atomic<int> _sentCount{0};
  // Shared by the updaters of one connection, like the send lock.
  std::shared_ptr<std::atomic<bool>> _failed;
  std::string _lastError;
};
