#pragma once
// The command thread's sender in the program: one server connection of the scene view (not
// owned; the view keeps it alive longer than the handler).
#include "ServerCommandSender.h"

class ServerConnectionSender : public ServerCommandSender {
 public:
  explicit ServerConnectionSender(ServerConnection* connection) : _connection(connection) {}

  // Command thread. False without a connection.
  bool sendCommand(const std::string& command, const Properties& arguments, Properties& reply) override;
  ServerConnection* getServerConnection() const override { return _connection; }
  // Any thread: closes the connection, which ends a request in progress.
  void interrupt() override;

 private:
  ServerConnection* _connection;
};
