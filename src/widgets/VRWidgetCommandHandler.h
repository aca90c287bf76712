#pragma once
// The command channel towards the simulation server: a queue that any thread fills and a
// thread of its own that sends the commands one by one, in order, on one server connection.
// The command "NOOP" ends the thread. The scene view owns one handler while it is connected;
// destroying the handler sends what was queued before, then ends and joins the thread.
#include <memory>

#include "CommandQueue.h"
#include "Runnable.h"

class ServerConnection;
class ServerCommandSender;
class Thread;

class VRWidgetCommandHandler : public Runnable {
 public:
  // Sends on the server connection (not owned; it must outlive the handler).
  explicit VRWidgetCommandHandler(ServerConnection* connection);
  // Sends through the sender (not owned; it must outlive the handler).
  explicit VRWidgetCommandHandler(ServerCommandSender* sender);
  // Pushes "NOOP" and joins a started thread, then drops what is still queued.
  ~VRWidgetCommandHandler() override;
  VRWidgetCommandHandler(const VRWidgetCommandHandler&) = delete;
  VRWidgetCommandHandler& operator=(const VRWidgetCommandHandler&) = delete;

  // Starts the command thread; false (nothing done) when it was started before.
  bool start();

  // Any thread.
  void push(const ServerCommand& command) { _queue.push(command); }
  bool pushIfEmpty(const ServerCommand& command) { return _queue.pushIfEmpty(command); }
  bool hasPending() const { return _queue.hasPending(); }

  ServerConnection* getServerConnection() const;

  // Command thread: sends each popped command until "NOOP"; results and replies are not
  // examined, a failed send is not repeated.
  void run() override;

 private:
  std::unique_ptr<Thread> _thread;
  CommandQueue _queue;
  std::unique_ptr<ServerCommandSender> _ownSender;  // the connection's sender, when given one
  ServerCommandSender* _sender;
};
