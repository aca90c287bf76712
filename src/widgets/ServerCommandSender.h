#pragma once
// Where the command thread delivers server commands: the view's server connection in the
// program. The handler talks to it only through this interface, so it can be driven without
// a server.
#include <string>

class Properties;
class ServerConnection;

class ServerCommandSender {
 public:
  virtual ~ServerCommandSender() = default;
  // Command thread: sends one command and waits for its reply; true on success.
  virtual bool sendCommand(const std::string& command, const Properties& arguments, Properties& reply) = 0;
  // The connection the commands travel on; null when there is none.
  virtual ServerConnection* getServerConnection() const = 0;
  // Any thread: makes a send under way, and every later one, fail promptly (a server that went
  // silent must not hold the command thread's end). The default does nothing.
  virtual void interrupt() {}
  // The connection is about to go: the sender no longer names it. The default does nothing.
  virtual void forgetConnection() {}
};
