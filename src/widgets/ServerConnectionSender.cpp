#include "ServerConnectionSender.h"

#include "ServerConnection.h"

bool ServerConnectionSender::sendCommand(const std::string& command, const Properties& arguments, Properties& reply) {
  return _connection && _connection->sendCommand(command, arguments, reply);
}

void ServerConnectionSender::interrupt() {
  if (_connection) _connection->close();
}
