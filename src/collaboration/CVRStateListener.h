#pragma once
// Receiving thread of the collaboration: holds its own connection to the collaborative service
// and keeps the latest client state of every other participant and the latest shared state,
// which the render thread copies out once per frame.
//
// Locks: _clientMutex guards _clients, _stateMutex the shared state and the refusal; never held
// together.
// Threads: connect on the scene loader thread; run on the listener thread; the copies on the
// render thread; stop on the GUI thread.
#include <vtkSmartPointer.h>

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "Runnable.h"
#include "VRClientState.h"
#include "kvg/VRSharedState.h"

class ServerConnection;
class Thread;
namespace zeltvtk {
class ClientSocket;
class SocketCommunicator;
}  // namespace zeltvtk

class CVRStateListener : public Runnable {
 public:
  using ClientStateMap = std::map<int, kvg::VRClientState>;

  CVRStateListener();
  // Stops the thread.
  ~CVRStateListener() override;
  CVRStateListener(const CVRStateListener&) = delete;
  CVRStateListener& operator=(const CVRStateListener&) = delete;

  void setSceneKey(const std::string& key) { _sceneKey = key; }
  const std::string& getSceneKey() const { return _sceneKey; }
  // Scene loader thread: opens the receiving connection with the 64-bit value; true when the
  // handshake succeeded. Bounded by the connection's time-out.
  bool connect(ServerConnection& connection, int64_t value);
  bool connectTo(ServerConnection& connection);
  const std::string& getLastError() const { return _lastError; }

  // False when a thread exists already.
  bool start();
  // Render thread: a copy of every stored client state, in ascending ID order.
  void getClientStates(std::vector<kvg::VRClientState>& states);
  // Render thread: a copy of the last received shared state (time stamp 0: none yet).
  void getSharedState(kvg::VRSharedState& state);
  // Render thread: the reason the service gave for refusing this participant, empty when none.
  std::string refusal();
  // Any thread, without the lock: a stale answer only shifts a send by a frame.
  bool isEmpty() const { return _clientCount.load() == 0; }
  void removeClient(int id);
  // Any thread: the receiving connection failed (not stopped): the thread ended and the other
  // participants' states were dropped.
  bool hasEnded() const { return _ended.load(); }
  // States received and read since construction (any thread): the traffic figures.
  uint64_t receivedClientStates() const { return _receivedClientStates.load(); }
  uint64_t receivedSharedStates() const { return _receivedSharedStates.load(); }

  // Listener thread.
  void run() override;
  // GUI thread: shuts the socket down (which wakes run), joins the thread, then closes the
  // socket and the connection; forgets every stored state.
  void stop() override;

 private:
  // Listener thread: true the first time a participant's items are refused.
  bool firstRefusal(int id);

  std::unique_ptr<Thread> _thread;
  vtkSmartPointer<zeltvtk::SocketCommunicator> _communicator;
  vtkSmartPointer<zeltvtk::ClientSocket> _socket;
  ClientStateMap _clients;
  std::mutex _clientMutex;
  std::atomic<size_t> _clientCount{0};
  kvg::VRSharedState _sharedState;
  std::mutex _stateMutex;
  std::string _sceneKey;
  std::atomic<bool> _stop{false};
  std::atomic<bool> _ended{false};
  std::atomic<uint64_t> _receivedClientStates{0};
  std::atomic<uint64_t> _receivedSharedStates{0};
  std::string _lastError;
  std::string _refusal;              // guarded by _stateMutex
  std::set<int> _refusedFrom;        // listener thread: participants whose refusal was logged
  std::string _lastSharedRefusal;    // listener thread: what the last shared state lost
};
