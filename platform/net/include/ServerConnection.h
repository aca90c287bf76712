#pragma once
// Client connection to the simulation server: one command socket for synchronous requests and,
// optionally, one notification socket on which the server pushes messages.
//
// Usage:
//   ServerConnection c;
//   c.setNumTries(20);                       // connect attempts per socket
//   Properties reply;
//   if (!c.createCommandSocket(host, port, reply)) show(reply.getString("message"));
//   c.createNotifySocket(host, port);        // needs the command socket first
//   c.sendCommand("SceneGraphExportImport.getSceneNames", Properties(), reply);
//
// Requests: one outstanding request per connection. sendCommand holds the connection for the
// whole exchange, so several threads may call it at once and each gets its own reply, one after
// the other. Every connect, write and wait for a reply is bounded by the time-out; a time-out or a
// malformed, oversized or truncated message breaks the connection (its stream can no longer be
// trusted): that request and every later one fail at once with the error keys set, until a new
// command socket is created.
//
// Failures: sendCommand and sendNoResponseCommand return false and fill the reply with
// Error::ERROR_TAG (an Error::Code) and Error::MESSAGE_TAG, whether the server refused the command
// or the transport failed. A failed createCommandSocket puts its text under "message".
//
// Notifications: the notification socket has its own thread that reads the server's pushes into
// notifications(), a NotificationQueue that a consumer drains on its own thread (see
// ServerNotification for what the server sends). When the socket ends, for any reason other than
// close(), the thread queues a ServerNotification::CONNECTION_LOST entry whose "ErrorMessage" says
// why, then ends.
//
// Drawable sessions: startSession feeds the notifications to one drawable session as update tasks
// (SessionFeed: the scene download, then each update, at the server's positions); the session
// must have been started through DrawableSession::startSession. A bad notification, a record that
// does not build or a lost notification socket ends the feed and is reported once to the session
// error handler. Destroying the connection stops its feed and detaches it from the session.
//
// Lifetime: close() may be called from any thread; it interrupts a request in progress (which
// then fails promptly), stops the notification thread and closes both sockets. The destructor
// calls it. Consumers of notifications() must stop using it before the connection is destroyed.
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "FrameChannel.h"
#include "NotificationQueue.h"
#include "Properties.h"
#include "kvg/SessionConnection.h"

class SessionFeed;
class Thread;

class ServerConnection : public kvg::SessionConnection {
 public:
  static constexpr int DEFAULT_TIMEOUT_MS = 10000;
  static constexpr int DEFAULT_RETRY_DELAY_MS = 100;

  ServerConnection();
  virtual ~ServerConnection();
  ServerConnection(const ServerConnection&) = delete;
  ServerConnection& operator=(const ServerConnection&) = delete;

  // Settings; each returns true when the value was accepted.
  bool setNumTries(int tries);               // connect attempts per socket (at least 1; default 1)
  bool setHost(const std::string& host);     // UTF-8 host name or address
  bool setPort(int port);                    // 1..65535
  bool setTimeout(int milliseconds);         // bound on each connect, write and reply wait (> 0)
  bool setRetryDelay(int milliseconds);      // pause between connect attempts (>= 0)
  bool setMaxMessageSize(size_t bytes);      // cap on a message body either way (> 0)

  int getNumTries() const;
  std::string getHost() const;
  int getPort() const;
  int getTimeout() const;
  // The 64-bit value the server gave the command socket; 0 until one exists.
  int64_t getConnectionId() const;
  // Text of the last failure of any operation, empty when none.
  std::string getLastError() const;

  // Connects the command socket (replacing both sockets of an earlier one) and greets the server.
  // On failure reply holds "message" with the reason. Host and port become the connection's.
  bool createCommandSocket(const std::string& host, int port, Properties& reply);
  bool createCommandSocket(const std::string& host, int port);
  // Connects the notification socket for this connection's command socket and starts its thread.
  bool createNotifySocket(const std::string& host, int port);
  bool hasCommandSocket() const;
  // True while the notification socket is open and its thread reads from it.
  bool hasNotifySocket() const;
  // True after a time-out or protocol error on the command socket, until a new one is created.
  bool isBroken() const;

  // Sends the command and waits for its reply, which replaces the content of reply. True when the
  // reply carries no Error::ERROR_TAG.
  bool sendCommand(const std::string& command, const Properties& arguments, Properties& reply);
  // Sends the command without awaiting an answer (the server sends none); reply is emptied, and
  // only gets the error keys when the send fails.
  bool sendNoResponseCommand(const std::string& command, const Properties& arguments, Properties& reply);

  // What the server pushed on the notification socket; see the class comment.
  NotificationQueue& notifications() { return _notifications; }

  // kvg::SessionConnection, called by DrawableSession::startSession and stopSession on the thread
  // that owns the session. One session at a time: starting another stops the first. False (with
  // getLastError) when no notification socket was made for the command socket; one that has
  // ended since still hands its queued notifications and its end to the session.
  bool startSession(kvg::DrawableSession& session) override;
  void stopSession(kvg::DrawableSession& session) override;
  // The reply time-out while the session's scene download is still on its way, else 0.
  int getDownloadWait(const kvg::DrawableSession& session) const override;
  // Called once per failed feed, on the notification thread or the session's owner thread, with
  // the reason; never after the feed was stopped. Set it before startSession.
  void setSessionErrorHandler(std::function<void(const std::string&)> handler);

  // Any thread: ends the connection (see the class comment). Create a socket again to reconnect.
  void close();

 private:
  class NotificationReader;
  friend class NotificationReader;

  bool connectWithTries(const std::string& host, int port, Socket& socket, std::string& error);
  bool greet(FrameChannel& channel, const Properties& hello, Properties& welcome, std::string& error);
  bool request(const std::string& command, const Properties& arguments, Properties& reply, bool awaitReply);
  bool fail(Properties& reply, int code, const std::string& message);
  void markBroken(const std::string& reason);
  void stopNotifications();
  // Notification thread: reads pushes until the socket ends.
  void readNotifications();
  std::string where() const;

  mutable std::mutex _settingsMutex;  // guards the settings, the id, the last error, the broken state
  std::string _host;
  int _port = 0;
  int _numTries = 1;
  int _timeoutMs = DEFAULT_TIMEOUT_MS;
  int _retryDelayMs = DEFAULT_RETRY_DELAY_MS;
  size_t _maxMessageSize;
  int64_t _connectionId = 0;
  std::string _lastError;
  bool _broken = false;
  std::string _brokenReason;

  // Held by whichever thread runs a request or creates a socket: one at a time per connection.
  std::mutex _requestMutex;
  // Guards replacing and closing the two channels, so close() can shut them down from another thread
  // while a request waits on them; also the mutex of _closeSignal.
  mutable std::mutex _socketMutex;
  std::condition_variable _closeSignal;  // wakes a pause between connect attempts
  std::atomic<bool> _closing{false};
  FrameChannel _command;
  FrameChannel _notify;  // read only by the notification thread once it runs
  std::atomic<bool> _notifyReading{false};
  // A notification socket was made for the current command socket (it may have ended since;
  // what it delivered, its end included, is still in the queue).
  std::atomic<bool> _notifyStarted{false};
  std::atomic<uint32_t> _nextRequestId{0};

  NotificationQueue _notifications;
  mutable std::mutex _feedMutex;  // guards the feed and the handler; held while a feed starts or stops
  std::unique_ptr<SessionFeed> _feed;
  std::function<void(const std::string&)> _sessionErrorHandler;
  std::unique_ptr<NotificationReader> _reader;
  std::unique_ptr<Thread> _notifyThread;
};
