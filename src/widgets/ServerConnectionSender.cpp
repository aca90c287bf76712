#include "ServerConnectionSender.h"

#include "ServerConnection.h"

bool ServerConnectionSender::sendCommand(const std::string& command, const Properties& arguments, Properties& reply) {
  ServerConnection* connection = _connection.load();
  return connection && connection->sendCommand(command, arguments, reply);
}

void ServerConnectionSender::interrupt() {
  if (ServerConnection* connection = _connection.load()) connection->close();
}
