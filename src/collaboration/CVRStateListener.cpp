#include "CVRStateListener.h"

#include <vtkNew.h>
#include <vtkUnsignedCharArray.h>

#include "CVRStateUpdater.h"
#include "Properties.h"
#include "ServerConnection.h"
#include "Thread.h"
#include "zeltvtk/Service.h"
#include "zeltvtk/SocketCommunicator.h"

CVRStateListener::CVRStateListener() : _communicator(vtkSmartPointer<zeltvtk::SocketCommunicator>::New()) {}

CVRStateListener::~CVRStateListener() { stop(); }

// Scene loader thread.
bool CVRStateListener::connect(ServerConnection& connection, int64_t value) {
  const int timeoutMs = connection.getTimeout();
  _lastError.clear();
  _socket = zeltvtk::connectToService(value, connection.getHost(), connection.getPort(),
                                      CVRStateUpdater::SERVICE_NAME, timeoutMs, &_lastError);
  if (!_socket) return false;
  _communicator->SetTimeout(timeoutMs);
  _communicator->SetSocket(_socket);
  if (_communicator->ServerSideHandshake() == 0) {
    _lastError = _communicator->GetLastError();
    _communicator->CloseConnection();
    return false;
  }
  return true;
}

bool CVRStateListener::connectTo(ServerConnection& connection) {
  return connect(connection, connection.getConnectionId());
}

// GUI thread.
bool CVRStateListener::start() {
  if (_thread) return false;
  _stop = false;
  _thread = std::make_unique<Thread>(this, "state listener");
  return _thread->start();
}

// Listener thread.
void CVRStateListener::run() {
  vtkNew<vtkUnsignedCharArray> array;
  for (;;) {
    if (_stop) return;
    if (!_communicator->Receive(array, 1, 0)) {
      if (_stop) return;
      // The others' last states would stand frozen: they go, and the session learns of the end.
      {
        std::lock_guard<std::mutex> lock(_clientMutex);
        _clients.clear();
        _clientCount = 0;
      }
      _ended = true;
      return;
    }
    const char* name = array->GetName();
    const unsigned char* bytes = array->GetPointer(0);
    const size_t size = size_t(array->GetNumberOfTuples());
    if (name && *name) {
      Properties record;
      if (Properties::fromText(name, record) && record.hasName("Disconnect"))
        removeClient(record.hasName("TS") ? record.getInt("TS") : 0);
      continue;
    }
    if (size == 0) continue;  // no name and no bytes: nothing to read
    if (bytes[0] == kvg::VRState::SHARED_STATE_TYPE) {
      kvg::VRSharedState state;
      if (!kvg::VRSharedState::fromBytes(bytes, size, state)) continue;
      ++_receivedSharedStates;
      std::lock_guard<std::mutex> lock(_stateMutex);
      _sharedState = state;
    } else {
      kvg::VRClientState state;
      if (!kvg::VRClientState::fromBytes(bytes, size, state)) continue;
      ++_receivedClientStates;
      std::lock_guard<std::mutex> lock(_clientMutex);
      _clients[state.getID()] = state;
      _clientCount = _clients.size();
    }
  }
}

void CVRStateListener::removeClient(int id) {
  std::lock_guard<std::mutex> lock(_clientMutex);
  _clients.erase(id);
  _clientCount = _clients.size();
}

void CVRStateListener::getClientStates(std::vector<kvg::VRClientState>& states) {
  std::lock_guard<std::mutex> lock(_clientMutex);
  states.clear();
  for (const auto& entry : _clients) states.push_back(entry.second);
}

void CVRStateListener::getSharedState(kvg::VRSharedState& state) {
  std::lock_guard<std::mutex> lock(_stateMutex);
  state = _sharedState;
}

// GUI thread.
void CVRStateListener::stop() {
  if (_thread && !_stop) {
    _stop = true;
    // Closing the descriptor under a running receive could hand it to another socket opened
    // meanwhile: shut it down to wake the receive, join, and only then close it.
    if (_socket) {
      _socket->Shutdown(zeltvtk::Socket::SHUTDOWN_BOTH);
      _socket->Flush();
    }
    _thread->join();
    _thread.reset();
    if (_socket) _socket->CloseSocket();
    _communicator->CloseConnection();
  }
  _stop = true;
  {
    std::lock_guard<std::mutex> lock(_stateMutex);
    _sharedState = kvg::VRSharedState();
  }
  std::lock_guard<std::mutex> lock(_clientMutex);
  _clients.clear();
  _clientCount = 0;
}
