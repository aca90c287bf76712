#include "FakeServer.h"

#include <stdexcept>

#include "ServerProtocol.h"

FakeServer::FakeServer(Handler handler) : _handler(std::move(handler)) {
  std::string error;
  if (!_listener.listen("127.0.0.1", 0, error)) throw std::runtime_error(error);
  _port = _listener.port();
  _acceptThread = std::thread([this] { acceptLoop(); });
}

FakeServer::~FakeServer() {
  _stopping = true;
  _acceptThread.join();
  {
    std::lock_guard<std::mutex> lock(_mutex);
    for (FrameChannel* channel : _channels) channel->shutdown();
  }
  for (std::thread& t : _threads) t.join();
}

void FakeServer::acceptLoop() {
  while (!_stopping) {
    Socket socket;
    std::string error;
    if (_listener.accept(socket, 20, error) != Socket::Result::Ok) continue;
    std::lock_guard<std::mutex> lock(_mutex);
    _threads.emplace_back([this, s = std::move(socket)]() mutable {
      FrameChannel channel(std::move(s));
      {
        std::lock_guard<std::mutex> lock(_mutex);
        _channels.insert(&channel);
        if (_stopping) channel.shutdown();
      }
      _handler(channel);
      std::lock_guard<std::mutex> lock(_mutex);
      _channels.erase(&channel);
    });
  }
}

int FakeServer::unusedPort() {
  ListenSocket probe;
  std::string error;
  if (!probe.listen("127.0.0.1", 0, error)) return -1;
  return probe.port();  // released when probe goes
}

bool FakeServer::greet(FrameChannel& channel, const Properties& welcome, Properties* hello) {
  MessageFrame in;
  std::string error;
  if (channel.read(in, 5000, 5000, error) != FrameChannel::Status::Ok || in.type != MessageFrame::Hello) return false;
  if (hello) *hello = in.body;
  return channel.write(MessageFrame(MessageFrame::Welcome, "Welcome", welcome), 5000, error) ==
         FrameChannel::Status::Ok;
}

bool FakeServer::greetCommand(FrameChannel& channel, int64_t connectionId) {
  Properties welcome;
  welcome.set(ServerProtocol::HELLO_CONNECTION_ID, connectionId);
  return greet(channel, welcome);
}

bool FakeServer::readCommand(FrameChannel& channel, MessageFrame& command) {
  std::string error;
  return channel.read(command, -1, 5000, error) == FrameChannel::Status::Ok;
}

bool FakeServer::reply(FrameChannel& channel, const MessageFrame& command, const Properties& body) {
  std::string error;
  return channel.write(MessageFrame(MessageFrame::Reply, command.name, body, command.requestId), 5000, error) ==
         FrameChannel::Status::Ok;
}

void FakeServer::serveRoles(FrameChannel& channel, int64_t connectionId,
                            const std::function<void(FrameChannel&)>& notify) {
  MessageFrame in;
  std::string error;
  if (channel.read(in, 5000, 5000, error) != FrameChannel::Status::Ok || in.type != MessageFrame::Hello) return;
  Properties welcome;
  if (in.body.getString(ServerProtocol::HELLO_ROLE) == ServerProtocol::ROLE_COMMAND) {
    welcome.set(ServerProtocol::HELLO_CONNECTION_ID, connectionId);
    if (channel.write(MessageFrame(MessageFrame::Welcome, "Welcome", welcome), 5000, error) != FrameChannel::Status::Ok)
      return;
    MessageFrame command;
    while (readCommand(channel, command)) {
    }
    return;
  }
  if (channel.write(MessageFrame(MessageFrame::Welcome, "Welcome", welcome), 5000, error) == FrameChannel::Status::Ok)
    notify(channel);
}
