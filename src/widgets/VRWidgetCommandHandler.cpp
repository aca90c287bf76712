#include "VRWidgetCommandHandler.h"

#include "ServerConnectionSender.h"
#include "Thread.h"

namespace {
const char* const kEndCommand = "NOOP";
}

VRWidgetCommandHandler::VRWidgetCommandHandler(ServerConnection* connection)
    : _ownSender(std::make_unique<ServerConnectionSender>(connection)), _sender(_ownSender.get()) {}

VRWidgetCommandHandler::VRWidgetCommandHandler(ServerCommandSender* sender) : _sender(sender) {}

VRWidgetCommandHandler::~VRWidgetCommandHandler() {
  if (_thread) {
    _queue.push(ServerCommand{kEndCommand, Properties()});
    _thread->join();
    _thread.reset();
  }
}

bool VRWidgetCommandHandler::start() {
  if (_thread) return false;
  _thread = std::make_unique<Thread>(this, "VRCommands");
  return _thread->start();
}

ServerConnection* VRWidgetCommandHandler::getServerConnection() const {
  return _sender ? _sender->getServerConnection() : nullptr;
}

void VRWidgetCommandHandler::run() {
  for (;;) {
    const ServerCommand entry = _queue.pop();
    if (entry.command == kEndCommand) return;
    if (!_sender) continue;
    Properties reply;
    _sender->sendCommand(entry.command, entry.arguments, reply);
  }
}
