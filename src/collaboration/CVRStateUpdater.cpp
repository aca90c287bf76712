#include "CVRStateUpdater.h"

#include <vtkNew.h>
#include <vtkUnsignedCharArray.h>

#include <chrono>
#include <iostream>

#include "Configuration.h"
#include "Properties.h"
#include "ServerConnection.h"
#include "Thread.h"
#include "zeltvtk/Service.h"
#include "zeltvtk/SocketCommunicator.h"

namespace {

int64_t steadyNanoseconds() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

CVRStateUpdater::CVRStateUpdater()
    : _sendLock(std::make_shared<std::mutex>()),
      _interval(GetConfigReal("timeUntilNextServerUpdate", 0.01)),
      _failed(std::make_shared<std::atomic<bool>>(false)) {}

CVRStateUpdater::CVRStateUpdater(CVRStateUpdater& other)
    : _communicator(other._communicator),
      _sendLock(other._sendLock),
      _interval(GetConfigReal("timeUntilNextServerUpdate", 0.01)),
      _failed(other._failed) {
  _cid = other._cid.load();
  _ts = other._ts.load();
}

// GUI thread.
CVRStateUpdater::~CVRStateUpdater() {
  if (_thread) {
    _queue.push(StateQueue::makeEndMarker());
    _thread->join();
    _thread.reset();
    vtkNew<vtkUnsignedCharArray> close;
    close->SetName("close");
    std::lock_guard<std::mutex> lock(*_sendLock);
    if (_communicator && _communicator->GetIsConnected()) {
      _communicator->Send(close, 1, 0);
      _communicator->CloseConnection();
    }
  }
}

bool CVRStateUpdater::isConnected() const { return _communicator && _communicator->GetIsConnected(); }

// Scene loader thread.
bool CVRStateUpdater::connect(ServerConnection& connection, int64_t value) {
  const int timeoutMs = connection.getTimeout();
  _lastError.clear();
  vtkSmartPointer<zeltvtk::ClientSocket> socket = zeltvtk::connectToService(
      value, connection.getHost(), connection.getPort(), SERVICE_NAME, timeoutMs, &_lastError);
  if (!socket) return false;

  std::lock_guard<std::mutex> lock(*_sendLock);
  _communicator = vtkSmartPointer<zeltvtk::SocketCommunicator>::New();
  _communicator->SetTimeout(timeoutMs);
  _communicator->SetSocket(socket);
  auto fail = [this](const std::string& why) {
    _lastError = why;
    _communicator->CloseConnection();
    return false;
  };
  if (_communicator->ServerSideHandshake() != 1) return fail(_communicator->GetLastError());

  // The ids come right after the handshake; a service that stays silent must not hold the
  // loader (and the opening of the scene) for ever.
  vtkNew<vtkUnsignedCharArray> ids;
  _communicator->SetReceiveTimeout(timeoutMs);
  const int received = _communicator->Receive(ids, 1, 0);
  _communicator->SetReceiveTimeout(-1);
  if (!received) {
    const std::string why = _communicator->GetLastError();
    return fail(why.empty() ? "no ids from the service within " + std::to_string(timeoutMs) + " ms" : why);
  }
  Properties record;
  Properties::fromText(ids->GetName() ? ids->GetName() : "", record);
  if (record.hasName("CID")) _cid = unsigned(record.getInt64("CID"));
  if (record.hasName("TS")) _ts = unsigned(record.getInt64("TS"));

  vtkNew<vtkUnsignedCharArray> key;
  key->SetName(_sceneKey.c_str());
  if (!_communicator->Send(key, 1, 0)) {
    std::cout << "could not send scene key" << std::endl;
    return fail("could not send scene key");
  }
  _communicator->GetSocket()->Flush();
  return true;
}

bool CVRStateUpdater::connectTo(ServerConnection& connection) {
  return connect(connection, connection.getConnectionId());
}

// GUI thread.
bool CVRStateUpdater::start() {
  if (_thread) return false;
  _thread = std::make_unique<Thread>(this, "state updater");
  return _thread->start();
}

// Render thread.
void CVRStateUpdater::queueState(std::unique_ptr<kvg::VRState> state) {
  if (!state) return;
  const int64_t now = steadyNanoseconds();
  if (_interval != 0.0) {
    const double elapsed = double(now - _lastQueueTime) / 1e9;
    if (elapsed <= _interval) return;  // the throttle destroys it
  }
  _queue.push(std::move(state));
  _lastQueueTime = now;
}

// Updater thread.
void CVRStateUpdater::run() {
  vtkNew<vtkUnsignedCharArray> array;
  for (;;) {
    std::unique_ptr<kvg::VRState> state = _queue.waitPop();
    if (StateQueue::isEndMarker(*state)) break;
    state->setID(int(_ts.load()));
    state->fillArray(array);
    state.reset();
    std::lock_guard<std::mutex> lock(*_sendLock);
    if (_failed->load()) continue;
    if (_communicator && _communicator->GetIsConnected() && _communicator->Send(array, 1, 0)) {
      _communicator->GetSocket()->Flush();
      ++_sentCount;
    } else {
      *_failed = true;
    }
  }
}
