#include "VRWidgetCommandHandler.h"

#include <chrono>

#include "Error.h"
#include "Logger.h"
#include "ServerConnectionSender.h"
#include "Thread.h"

namespace {
const char* const kEndCommand = "NOOP";
}

VRWidgetCommandHandler::VRWidgetCommandHandler(ServerConnection* connection)
    : _ownSender(std::make_unique<ServerConnectionSender>(connection)), _sender(_ownSender.get()) {}

VRWidgetCommandHandler::VRWidgetCommandHandler(ServerCommandSender* sender) : _sender(sender) {}

VRWidgetCommandHandler::~VRWidgetCommandHandler() { stopThread(); }

bool VRWidgetCommandHandler::start() {
  if (_thread) return false;
  {
    std::lock_guard<std::mutex> lock(_endMutex);
    _finished = false;
  }
  _thread = std::make_unique<Thread>(this, "VRCommands");
  return _thread->start();
}

void VRWidgetCommandHandler::stopThread() {
  if (!_thread) return;
  _queue.push(ServerCommand{kEndCommand, Properties()});
  bool ended;
  {
    std::unique_lock<std::mutex> lock(_endMutex);
    ended = _ended.wait_for(lock, std::chrono::milliseconds(_stopTimeoutMs), [this] { return _finished; });
  }
  // A server that stopped answering holds the send under way: make it, and the rest, fail.
  if (!ended && _sender) _sender->interrupt();
  _thread->join();
  _thread.reset();
}

void VRWidgetCommandHandler::detachConnection() {
  if (_sender) _sender->forgetConnection();
}

bool VRWidgetCommandHandler::isRunning() const { return _thread && _thread->isRunning(); }

// Render thread.
std::vector<VRWidgetCommandHandler::Refusal> VRWidgetCommandHandler::takeRefusals() {
  std::lock_guard<std::mutex> lock(_refusedMutex);
  std::vector<Refusal> refusals;
  refusals.swap(_refusals);
  return refusals;
}

ServerConnection* VRWidgetCommandHandler::getServerConnection() const {
  return _sender ? _sender->getServerConnection() : nullptr;
}

// Command thread.
void VRWidgetCommandHandler::run() {
  for (;;) {
    const ServerCommand entry = _queue.pop();
    if (entry.command == kEndCommand) break;
    if (!_sender) continue;
    Properties reply;
    _sender->sendCommand(entry.command, entry.arguments, reply);
    if (!reply.hasName(Error::ERROR_TAG)) continue;
    const std::string why = reply.hasName(Error::MESSAGE_TAG) ? reply.getString(Error::MESSAGE_TAG) : "no reason given";
    {
      std::lock_guard<std::mutex> lock(_refusedMutex);
      _refusals.push_back({entry.command, entry.arguments.hasName("Part") ? entry.arguments.getString("Part") : "", why});
    }
    Logger::getSingleton().error("The server refused " + entry.command + ": " + why);
  }
  std::lock_guard<std::mutex> lock(_endMutex);
  _finished = true;
  _ended.notify_all();
}
