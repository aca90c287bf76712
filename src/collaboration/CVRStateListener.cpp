#include "CVRStateListener.h"

#include <vtkNew.h>
#include <vtkUnsignedCharArray.h>

#include <iostream>

#include "CVRStateUpdater.h"
#include "Properties.h"
#include "ReceivedStateBounds.h"
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
      if (!Properties::fromText(name, record)) continue;
      if (record.hasName("Disconnect")) removeClient(record.hasName("TS") ? record.getInt("TS") : 0);
      if (record.hasName("Refused")) {
        const std::string reason = record.getString("Refused");
        std::cerr << "The collaborative session refused this participant: " << reason << std::endl;
        std::lock_guard<std::mutex> lock(_stateMutex);
        _refusal = reason;
      }
      continue;
    }
    if (size == 0) continue;  // no name and no bytes: nothing to read
    if (bytes[0] == kvg::VRState::SHARED_STATE_TYPE) {
      kvg::VRSharedState state;
      if (!kvg::VRSharedState::fromBytes(bytes, size, state)) continue;
      ++_receivedSharedStates;
      // One line for a participant's refusal; a flood of such states repeats it only when it changes.
      std::string refused = ReceivedStateBounds::bound(state);
      if (!refused.empty() && refused != _lastSharedRefusal)
        std::cerr << "Shared scene " << state.getTimeStamp() << " from " << state.getID() << ": refused " << refused
                  << " beyond what can be drawn" << std::endl;
      _lastSharedRefusal = std::move(refused);
      std::lock_guard<std::mutex> lock(_stateMutex);
      _sharedState = state;
    } else {
      kvg::VRClientState state;
      if (!kvg::VRClientState::fromBytes(bytes, size, state)) continue;
      ++_receivedClientStates;
      const std::string refused = ReceivedStateBounds::bound(state);
      if (!refused.empty() && firstRefusal(state.getID()))
        std::cerr << "Participant " << state.getID() << ": refused " << refused << std::endl;
      std::lock_guard<std::mutex> lock(_clientMutex);
      if (!_clients.count(state.getID()) && _clients.size() >= ReceivedStateBounds::MAX_PARTICIPANTS) {
        if (firstRefusal(state.getID()))
          std::cerr << "Participant " << state.getID() << ": refused, " << _clients.size()
                    << " participants are shown already" << std::endl;
        continue;
      }
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

bool CVRStateListener::firstRefusal(int id) {
  // A crowd of ids logs its first few only.
  return _refusedFrom.size() < ReceivedStateBounds::MAX_PARTICIPANTS * 4 && _refusedFrom.insert(id).second;
}

std::string CVRStateListener::refusal() {
  std::lock_guard<std::mutex> lock(_stateMutex);
  return _refusal;
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
    _refusal.clear();
  }
  std::lock_guard<std::mutex> lock(_clientMutex);
  _clients.clear();
  _clientCount = 0;
}
