#pragma once
// The command thread's sender in the program: one server connection of the scene view (not
// owned; the view keeps it alive longer than the handler).
#include <atomic>

#include "ServerCommandSender.h"

class ServerConnectionSender : public ServerCommandSender {
 public:
  explicit ServerConnectionSender(ServerConnection* connection) : _connection(connection) {}

  // Command thread. False without a connection.
  bool sendCommand(const std::string& command, const Properties& arguments, Properties& reply) override;
  ServerConnection* getServerConnection() const override { return _connection.load(); }
  // Any thread: closes the connection, which ends a request in progress.
  void interrupt() override;
  void forgetConnection() override { _connection = nullptr; }

 private:
  std::atomic<ServerConnection*> _connection;
};
