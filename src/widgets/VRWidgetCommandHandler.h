#pragma once
// The command channel towards the simulation server: a queue that any thread fills and a
// thread of its own that sends the commands one by one, in order, on one server connection.
// The command "NOOP" ends the thread. The scene view owns one handler while it is connected;
// destroying the handler sends what was queued before, then ends and joins the thread. That end
// is bounded: when the thread has not ended within the stop time-out (a server that stopped
// answering), the sender is interrupted, so the send under way and the rest fail at once.
#include <condition_variable>
#include <memory>
#include <string>
#include <vector>
#include <mutex>

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
  static constexpr int DEFAULT_STOP_TIMEOUT_MS = 2000;

  // Pushes "NOOP" and joins a started thread (interrupting the sender after the stop time-out),
  // then drops what is still queued.
  ~VRWidgetCommandHandler() override;
  VRWidgetCommandHandler(const VRWidgetCommandHandler&) = delete;
  VRWidgetCommandHandler& operator=(const VRWidgetCommandHandler&) = delete;

  // Starts the command thread; false (nothing done) when it was started before.
  bool start();
  // Ends a started thread as the destructor does: "NOOP", a bounded wait, then the interrupt
  // and the join. Afterwards the handler takes commands but sends none. GUI thread.
  void stopThread();
  // How long stopThread waits for queued commands to go out before interrupting (ms, >= 0).
  void setStopTimeout(int milliseconds) { _stopTimeoutMs = milliseconds < 0 ? 0 : milliseconds; }
  bool isRunning() const;
  // After stopThread, before the connection is destroyed: getServerConnection answers null from
  // now on (the part widgets may still ask).
  void detachConnection();

  // Any thread.
  void push(const ServerCommand& command) { _queue.push(command); }
  bool pushIfEmpty(const ServerCommand& command) { return _queue.pushIfEmpty(command); }
  bool hasPending() const { return _queue.hasPending(); }

  ServerConnection* getServerConnection() const;

  // A command the server refused, with the server's reason.
  struct Refusal {
    std::string command;
    std::string part;  // the command's "Part" (empty when it names none)
    std::string reason;
  };

  // Command thread: sends each popped command until "NOOP"; a failed send is not repeated. A
  // reply refusing the command is said in the log with the server's reason and kept for
  // takeRefusals.
  void run() override;
  // Render thread: the commands the server refused since the last call, in order.
  std::vector<Refusal> takeRefusals();

 private:
  std::unique_ptr<Thread> _thread;
  // Guards _finished, which run() sets as it leaves; the stopping thread waits on _ended.
  mutable std::mutex _endMutex;
  std::condition_variable _ended;
  bool _finished = false;
  int _stopTimeoutMs = DEFAULT_STOP_TIMEOUT_MS;
  CommandQueue _queue;
  // Guards _refusals (command thread writes, render thread takes).
  std::mutex _refusedMutex;
  std::vector<Refusal> _refusals;
  std::unique_ptr<ServerCommandSender> _ownSender;  // the connection's sender, when given one
  ServerCommandSender* _sender;
};
