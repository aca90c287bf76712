#include "zeltvtk/Service.h"

#include "Error.h"
#include "FrameChannel.h"
#include "ServerProtocol.h"

namespace zeltvtk {

vtkSmartPointer<ClientSocket> connectToService(int64_t value, const std::string& host, int port,
                                               const std::string& serviceName, int timeoutMs, std::string* error) {
  std::string why;
  auto fail = [&](const std::string& text) {
    if (error) *error = text;
    return vtkSmartPointer<ClientSocket>();
  };
  ::Socket stream;
  if (!stream.connect(host, port, timeoutMs, why)) return fail(why);
  FrameChannel channel(std::move(stream));
  Properties hello;
  hello.set(ServerProtocol::HELLO_ROLE, ROLE_SERVICE);
  hello.set(ServerProtocol::HELLO_PROTOCOL, ServerProtocol::VERSION);
  hello.set(HELLO_SERVICE, serviceName);
  hello.set(ServerProtocol::HELLO_CONNECTION_ID, value);
  if (channel.write(MessageFrame(MessageFrame::Hello, "Hello", hello), timeoutMs, why) != FrameChannel::Status::Ok)
    return fail("greeting: " + why);
  MessageFrame welcome;
  FrameChannel::Status status = channel.read(welcome, timeoutMs, timeoutMs, why);
  if (status == FrameChannel::Status::Idle) return fail("the server did not answer the greeting within " +
                                                        std::to_string(timeoutMs) + " ms");
  if (status != FrameChannel::Status::Ok) return fail("greeting: " + (why.empty() ? "connection closed" : why));
  if (welcome.type != MessageFrame::Welcome) return fail("the server answered the greeting with no Welcome");
  if (welcome.body.hasName(Error::ERROR_TAG)) return fail(Error::getMessage(welcome.body));
  auto socket = vtkSmartPointer<ClientSocket>::New();
  socket->SetStream(std::move(channel.socket()));
  return socket;
}

}  // namespace zeltvtk
