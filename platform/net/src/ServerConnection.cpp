#include "ServerConnection.h"

#include <chrono>

#include "Error.h"
#include "Runnable.h"
#include "ServerProtocol.h"
#include "SessionFeed.h"
#include "Thread.h"
#include "kvg/DrawableSession.h"

class ServerConnection::NotificationReader : public Runnable {
 public:
  explicit NotificationReader(ServerConnection& owner) : _owner(owner) {}
  void run() override { _owner.readNotifications(); }

 private:
  ServerConnection& _owner;
};

ServerConnection::ServerConnection() : _maxMessageSize(MessageFrame::DEFAULT_MAX_BODY_SIZE) {}

ServerConnection::~ServerConnection() {
  close();
  std::unique_ptr<SessionFeed> feed;
  {
    std::lock_guard<std::mutex> lock(_feedMutex);
    feed = std::move(_feed);
  }
  if (feed) {
    feed->stop();
    feed->getSession().forgetConnection(this);
  }
}

bool ServerConnection::startSession(kvg::DrawableSession& session) {
  std::unique_ptr<SessionFeed> previous;
  {
    std::lock_guard<std::mutex> lock(_feedMutex);
    previous = std::move(_feed);
  }
  if (previous) {
    previous->stop();
    if (&previous->getSession() != &session) previous->getSession().forgetConnection(this);
  }
  if (!_notifyStarted) {
    std::lock_guard<std::mutex> lock(_settingsMutex);
    _lastError = "a drawable session needs the connection's notification socket";
    return false;
  }
  std::lock_guard<std::mutex> lock(_feedMutex);
  _feed = std::make_unique<SessionFeed>(session, _notifications, _sessionErrorHandler);
  _feed->start();
  return true;
}

void ServerConnection::stopSession(kvg::DrawableSession& session) {
  std::unique_ptr<SessionFeed> feed;
  {
    std::lock_guard<std::mutex> lock(_feedMutex);
    if (!_feed || &_feed->getSession() != &session) return;
    feed = std::move(_feed);
  }
  feed->stop();
}

int ServerConnection::getDownloadWait(const kvg::DrawableSession& session) const {
  std::lock_guard<std::mutex> lock(_feedMutex);
  if (!_feed || &_feed->getSession() != &session || !_feed->isAwaitingDownload()) return 0;
  return getTimeout();
}

void ServerConnection::setSessionErrorHandler(std::function<void(const std::string&)> handler) {
  std::lock_guard<std::mutex> lock(_feedMutex);
  _sessionErrorHandler = std::move(handler);
}

bool ServerConnection::setNumTries(int tries) {
  if (tries < 1) return false;
  std::lock_guard<std::mutex> lock(_settingsMutex);
  _numTries = tries;
  return true;
}

bool ServerConnection::setHost(const std::string& host) {
  if (host.empty()) return false;
  std::lock_guard<std::mutex> lock(_settingsMutex);
  _host = host;
  return true;
}

bool ServerConnection::setPort(int port) {
  if (port < 1 || port > 65535) return false;
  std::lock_guard<std::mutex> lock(_settingsMutex);
  _port = port;
  return true;
}

bool ServerConnection::setTimeout(int milliseconds) {
  if (milliseconds <= 0) return false;
  std::lock_guard<std::mutex> lock(_settingsMutex);
  _timeoutMs = milliseconds;
  return true;
}

bool ServerConnection::setRetryDelay(int milliseconds) {
  if (milliseconds < 0) return false;
  std::lock_guard<std::mutex> lock(_settingsMutex);
  _retryDelayMs = milliseconds;
  return true;
}

bool ServerConnection::setMaxMessageSize(size_t bytes) {
  if (bytes == 0) return false;
  std::lock_guard<std::mutex> lock(_settingsMutex);
  _maxMessageSize = bytes;
  return true;
}

int ServerConnection::getNumTries() const {
  std::lock_guard<std::mutex> lock(_settingsMutex);
  return _numTries;
}

std::string ServerConnection::getHost() const {
  std::lock_guard<std::mutex> lock(_settingsMutex);
  return _host;
}

int ServerConnection::getPort() const {
  std::lock_guard<std::mutex> lock(_settingsMutex);
  return _port;
}

int ServerConnection::getTimeout() const {
  std::lock_guard<std::mutex> lock(_settingsMutex);
  return _timeoutMs;
}

int64_t ServerConnection::getConnectionId() const {
  std::lock_guard<std::mutex> lock(_settingsMutex);
  return _connectionId;
}

std::string ServerConnection::getLastError() const {
  std::lock_guard<std::mutex> lock(_settingsMutex);
  return _lastError;
}

bool ServerConnection::isBroken() const {
  std::lock_guard<std::mutex> lock(_settingsMutex);
  return _broken;
}

bool ServerConnection::hasCommandSocket() const {
  std::lock_guard<std::mutex> lock(_socketMutex);
  return _command.isOpen();
}

bool ServerConnection::hasNotifySocket() const {
  std::lock_guard<std::mutex> lock(_socketMutex);
  return _notify.isOpen() && _notifyReading;
}

std::string ServerConnection::where() const {
  std::lock_guard<std::mutex> lock(_settingsMutex);
  return _host + ":" + std::to_string(_port);
}

bool ServerConnection::connectWithTries(const std::string& host, int port, Socket& socket, std::string& error) {
  int tries, timeoutMs, delayMs;
  {
    std::lock_guard<std::mutex> lock(_settingsMutex);
    tries = _numTries;
    timeoutMs = _timeoutMs;
    delayMs = _retryDelayMs;
  }
  int attempt = 0;
  while (attempt < tries) {
    if (_closing) {
      error = "connection was closed";
      return false;
    }
    ++attempt;
    bool permanent = false;
    if (socket.connect(host, port, timeoutMs, error, &permanent)) return true;
    if (permanent) return false;
    if (attempt < tries) {
      std::unique_lock<std::mutex> lock(_socketMutex);
      _closeSignal.wait_for(lock, std::chrono::milliseconds(delayMs), [this] { return _closing.load(); });
    }
  }
  if (tries > 1) error += " (" + std::to_string(attempt) + " tries)";
  return false;
}

bool ServerConnection::greet(FrameChannel& channel, const Properties& hello, Properties& welcome, std::string& error) {
  const int timeoutMs = getTimeout();
  MessageFrame out(MessageFrame::Hello, "Hello", hello);
  FrameChannel::Status status = channel.write(out, timeoutMs, error);
  if (status != FrameChannel::Status::Ok) {
    error = "greeting the server failed: " + error;
    return false;
  }
  MessageFrame in;
  status = channel.read(in, timeoutMs, timeoutMs, error);
  if (status == FrameChannel::Status::Idle) {
    error = "the server did not answer the greeting within " + std::to_string(timeoutMs) + " ms";
    return false;
  }
  if (status == FrameChannel::Status::Closed) {
    error = "the server closed the connection during the greeting";
    return false;
  }
  if (status != FrameChannel::Status::Ok) return false;
  if (in.type != MessageFrame::Welcome) {
    error = std::string("protocol error: expected a welcome, got a ") + MessageFrame::typeName(in.type);
    return false;
  }
  if (Error::isError(in.body)) {
    error = Error::getMessage(in.body);
    if (error.empty()) error = "the server refused the connection";
    return false;
  }
  welcome = std::move(in.body);
  return true;
}

bool ServerConnection::createCommandSocket(const std::string& host, int port, Properties& reply) {
  reply.clear();
  std::lock_guard<std::mutex> requestLock(_requestMutex);
  _closing = false;
  stopNotifications();
  {
    std::lock_guard<std::mutex> lock(_socketMutex);
    _command.close();
  }
  size_t maxSize;
  {
    std::lock_guard<std::mutex> lock(_settingsMutex);
    _host = host;
    _port = port;
    _connectionId = 0;
    _broken = false;
    _brokenReason.clear();
    maxSize = _maxMessageSize;
  }
  std::string error;
  Socket socket;
  if (!connectWithTries(host, port, socket, error)) {
    reply.set(ServerProtocol::SOCKET_MESSAGE, error);
    std::lock_guard<std::mutex> lock(_settingsMutex);
    _lastError = error;
    return false;
  }
  {
    std::lock_guard<std::mutex> lock(_socketMutex);
    _command = FrameChannel(std::move(socket));
    _command.setMaxBodySize(maxSize);
  }
  Properties hello;
  hello.set(ServerProtocol::HELLO_ROLE, ServerProtocol::ROLE_COMMAND);
  hello.set(ServerProtocol::HELLO_PROTOCOL, ServerProtocol::VERSION);
  hello.set(ServerProtocol::HELLO_CLIENT, "quonixvr");
  Properties welcome;
  int64_t id = 0;
  bool ok = greet(_command, hello, welcome, error);
  if (ok && (!welcome.tryGetInt(ServerProtocol::HELLO_CONNECTION_ID, id) || id == 0)) {
    error = "protocol error: the server's welcome carries no connection id";
    ok = false;
  }
  if (!ok) {
    {
      std::lock_guard<std::mutex> lock(_socketMutex);
      _command.close();
    }
    reply.set(ServerProtocol::SOCKET_MESSAGE, error);
    std::lock_guard<std::mutex> lock(_settingsMutex);
    _lastError = error;
    return false;
  }
  std::lock_guard<std::mutex> lock(_settingsMutex);
  _connectionId = id;
  return true;
}

bool ServerConnection::createCommandSocket(const std::string& host, int port) {
  Properties reply;
  return createCommandSocket(host, port, reply);
}

bool ServerConnection::createNotifySocket(const std::string& host, int port) {
  std::lock_guard<std::mutex> requestLock(_requestMutex);
  stopNotifications();
  int64_t id;
  size_t maxSize;
  {
    std::lock_guard<std::mutex> lock(_settingsMutex);
    id = _connectionId;
    maxSize = _maxMessageSize;
  }
  auto failed = [this](const std::string& error) {
    std::lock_guard<std::mutex> lock(_settingsMutex);
    _lastError = error;
    return false;
  };
  if (id == 0 || !hasCommandSocket()) return failed("a notification socket needs a command socket first");
  std::string error;
  Socket socket;
  if (!connectWithTries(host, port, socket, error)) return failed(error);
  {
    std::lock_guard<std::mutex> lock(_socketMutex);
    _notify = FrameChannel(std::move(socket));
    _notify.setMaxBodySize(maxSize);
  }
  Properties hello;
  hello.set(ServerProtocol::HELLO_ROLE, ServerProtocol::ROLE_NOTIFY);
  hello.set(ServerProtocol::HELLO_PROTOCOL, ServerProtocol::VERSION);
  hello.set(ServerProtocol::HELLO_CONNECTION_ID, id);
  Properties welcome;
  if (!greet(_notify, hello, welcome, error)) {
    std::lock_guard<std::mutex> lock(_socketMutex);
    _notify.close();
    return failed(error);
  }
  _notifications.reopen();
  _notifyReading = true;
  _reader = std::make_unique<NotificationReader>(*this);
  _notifyThread = std::make_unique<Thread>(_reader.get(), "notify-reader");
  _notifyThread->start();
  _notifyStarted = true;
  return true;
}

// Caller holds _requestMutex (or is close()).
void ServerConnection::stopNotifications() {
  _notifyStarted = false;
  {
    std::lock_guard<std::mutex> lock(_socketMutex);
    _notify.shutdown();
  }
  _notifications.close();  // a reader waiting for queue space returns
  if (_notifyThread) {
    if (_notifyThread->isCurrent()) {
      // Called from a wake callback on the reader itself: it ends on its own after this.
      return;
    }
    _notifyThread->join();
    _notifyThread.reset();
    _reader.reset();
  }
  std::lock_guard<std::mutex> lock(_socketMutex);
  _notify.close();
}

// Notification thread.
void ServerConnection::readNotifications() {
  const int timeoutMs = getTimeout();
  std::string reason;
  for (;;) {
    MessageFrame frame;
    std::string error;
    FrameChannel::Status status = _notify.read(frame, -1, timeoutMs, error);
    if (status == FrameChannel::Status::Ok) {
      if (frame.type != MessageFrame::Notification) {
        reason = std::string("protocol error on the notification socket: unexpected ") +
                 MessageFrame::typeName(frame.type);
        break;
      }
      if (!_notifications.push(ServerNotification{frame.name, std::move(frame.body)})) {
        _notifyReading = false;  // closed by close() or a new socket
        return;
      }
      continue;
    }
    if (status == FrameChannel::Status::Closed)
      reason = "the server closed the notification socket";
    else
      reason = "notification socket failed: " + error;
    break;
  }
  _notifyReading = false;
  _notify.shutdown();
  if (_closing) return;
  {
    std::lock_guard<std::mutex> lock(_settingsMutex);
    _lastError = reason;
  }
  ServerNotification lost;
  lost.name = ServerNotification::CONNECTION_LOST;
  Error::set(lost.data, Error::CONNECTION_LOST, reason);
  _notifications.push(std::move(lost));
}

bool ServerConnection::fail(Properties& reply, int code, const std::string& message) {
  Error::set(reply, code, message);
  std::lock_guard<std::mutex> lock(_settingsMutex);
  _lastError = message;
  return false;
}

// Caller holds _requestMutex.
void ServerConnection::markBroken(const std::string& reason) {
  {
    std::lock_guard<std::mutex> lock(_settingsMutex);
    _broken = true;
    _brokenReason = reason;
  }
  std::lock_guard<std::mutex> lock(_socketMutex);
  _command.close();
}

bool ServerConnection::sendCommand(const std::string& command, const Properties& arguments, Properties& reply) {
  return request(command, arguments, reply, true);
}

bool ServerConnection::sendNoResponseCommand(const std::string& command, const Properties& arguments,
                                             Properties& reply) {
  return request(command, arguments, reply, false);
}

bool ServerConnection::request(const std::string& command, const Properties& arguments, Properties& reply,
                               bool awaitReply) {
  reply.clear();
  std::lock_guard<std::mutex> requestLock(_requestMutex);
  int timeoutMs;
  size_t maxSize;
  std::string brokenReason;
  bool broken;
  {
    std::lock_guard<std::mutex> lock(_settingsMutex);
    timeoutMs = _timeoutMs;
    maxSize = _maxMessageSize;
    broken = _broken;
    brokenReason = _brokenReason;
  }
  const std::string server = where();
  if (_closing) return fail(reply, Error::NOT_CONNECTED, "the connection to " + server + " was closed");
  if (broken) return fail(reply, Error::CONNECTION_LOST, "the connection to " + server + " is broken: " + brokenReason);
  if (!_command.isOpen()) return fail(reply, Error::NOT_CONNECTED, "no command socket to " + server);

  uint32_t id = ++_nextRequestId;
  if (id == 0) id = ++_nextRequestId;
  MessageFrame out(MessageFrame::Command, command, arguments, id, awaitReply ? 0 : MessageFrame::NoResponse);
  std::string bytes, error;
  if (!out.encode(bytes, error, maxSize)) return fail(reply, Error::PROTOCOL_ERROR, error);

  FrameChannel::Status status = _command.writeBytes(bytes, timeoutMs, error);
  if (status != FrameChannel::Status::Ok) {
    std::string reason = "sending " + command + " to " + server + " failed: " + error;
    markBroken(reason);
    return fail(reply, _closing ? Error::NOT_CONNECTED : Error::CONNECTION_LOST, reason);
  }
  if (!awaitReply) return true;

  MessageFrame in;
  status = _command.read(in, timeoutMs, timeoutMs, error);
  std::string reason;
  int code = Error::PROTOCOL_ERROR;
  switch (status) {
    case FrameChannel::Status::Ok:
      if (in.type != MessageFrame::Reply || in.requestId != id) {
        reason = std::string("protocol error: expected the reply to ") + command + " from " + server + ", got a " +
                 MessageFrame::typeName(in.type) + " '" + in.name + "'";
        break;
      }
      reply = std::move(in.body);
      return !Error::isError(reply);
    case FrameChannel::Status::Idle:
      code = Error::TIMED_OUT;
      reason = "no reply to " + command + " from " + server + " within " + std::to_string(timeoutMs) + " ms";
      break;
    case FrameChannel::Status::Closed:
      code = _closing ? Error::NOT_CONNECTED : Error::CONNECTION_LOST;
      reason = _closing ? "the connection to " + server + " was closed"
                        : "the server " + server + " closed the connection while " + command + " was waiting";
      break;
    case FrameChannel::Status::Failed:
      reason = "bad reply to " + command + " from " + server + ": " + error;
      break;
  }
  markBroken(reason);
  return fail(reply, code, reason);
}

void ServerConnection::close() {
  _closing = true;
  {
    std::lock_guard<std::mutex> lock(_socketMutex);
    _command.shutdown();
    _notify.shutdown();
  }
  _closeSignal.notify_all();
  std::lock_guard<std::mutex> requestLock(_requestMutex);
  stopNotifications();
  std::lock_guard<std::mutex> lock(_socketMutex);
  _command.close();
}
