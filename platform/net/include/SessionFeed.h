#pragma once
// Turns what a server connection's notification socket delivers into update tasks of one
// drawable session: the scene download and every later update become tasks at the server's
// "Position", so two sessions fed from two connections to the same scene run the same update at
// the same position. Each task builds the notification's self-contained record (the scene as it
// stands at that update) into the session, replacing its scene.
//
// Bounded and safe: a notification is checked before anything is queued (known name, a
// position, a record with a canvas key and inline data only: a server never makes the viewer
// read its files); the first bad one, a lost connection or a record that does not build is
// reported once through the error handler and ends the feed. Stale positions are dropped. At
// most MAX_PENDING_RECORDS records wait for the session's owner; older waiting updates give
// their record up (a later record holds the whole scene) but keep their position.
//
// Threads: start and stop on the thread that owns the session's connection slot (the caller of
// DrawableSession::startSession / stopSession); notifications are taken on the connection's
// notification thread (through the queue's wake callback); tasks run on the session's owner
// thread. The shared state's mutex guards the error handler and the waiting records.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "ServerNotification.h"

class NotificationQueue;
namespace kvg {
class DrawableSession;
}

class SessionFeed {
 public:
  using ErrorHandler = std::function<void(const std::string&)>;
  static constexpr size_t MAX_PENDING_RECORDS = 8;

  // The queue must outlive the feed. handler may be empty; it runs on the notification thread
  // or the session's owner thread, never after stop() has returned.
  SessionFeed(kvg::DrawableSession& session, NotificationQueue& queue, ErrorHandler handler);
  ~SessionFeed();
  SessionFeed(const SessionFeed&) = delete;
  SessionFeed& operator=(const SessionFeed&) = delete;

  // Takes what is queued already, then every notification as it arrives.
  void start();
  // After it returns nothing reaches the session any more and the handler is never called.
  void stop();

  kvg::DrawableSession& getSession() const { return _session; }
  // True until the scene's download arrived, while the feed runs and has not failed.
  bool isAwaitingDownload() const;
  bool hasFailed() const;
  // The reason the feed ended; empty while it runs.
  std::string getError() const;

  // The reason the notification cannot be applied, empty when it can (a lost connection gives
  // its message). Exposed for tests.
  static std::string check(const ServerNotification& notification);

 private:
  struct Shared;
  struct Pending;
  // Notification thread.
  void drain();
  void accept(ServerNotification notification);

  kvg::DrawableSession& _session;
  NotificationQueue& _queue;
  std::shared_ptr<Shared> _shared;
  bool _started = false;
};
