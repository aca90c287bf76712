#include "FrameChannel.h"

#include <chrono>

namespace {

FrameChannel::Status fromSocket(Socket::Result r) {
  switch (r) {
    case Socket::Result::Ok: return FrameChannel::Status::Ok;
    case Socket::Result::Closed: return FrameChannel::Status::Closed;
    default: return FrameChannel::Status::Failed;
  }
}

// Inside a frame every early end is a failure: the frame is truncated.
FrameChannel::Status partial(Socket::Result r, const char* what, size_t got, size_t want, std::string& error) {
  if (r == Socket::Result::Closed)
    error = std::string("truncated message: connection closed after ") + std::to_string(got) + " of " +
            std::to_string(want) + " bytes of the " + what;
  else if (r == Socket::Result::TimedOut)
    error = std::string("truncated message: ") + error + " after " + std::to_string(got) + " of " +
            std::to_string(want) + " bytes of the " + what;
  return FrameChannel::Status::Failed;
}

}  // namespace

FrameChannel::Status FrameChannel::write(const MessageFrame& frame, int timeoutMs, std::string& error) {
  std::string bytes;
  if (!frame.encode(bytes, error, _maxBodySize)) return Status::Failed;
  return writeBytes(bytes, timeoutMs, error);
}

FrameChannel::Status FrameChannel::writeBytes(const std::string& bytes, int timeoutMs, std::string& error) {
  return fromSocket(_socket.sendAll(bytes.data(), bytes.size(), timeoutMs, error));
}

FrameChannel::Status FrameChannel::read(MessageFrame& frame, int idleTimeoutMs, int frameTimeoutMs,
                                        std::string& error) {
  Socket::Result w = _socket.waitReadable(idleTimeoutMs, error);
  if (w == Socket::Result::TimedOut) return Status::Idle;
  if (w != Socket::Result::Ok) return fromSocket(w);

  // One deadline for the whole frame: a peer that trickles bytes, each within a per-read bound,
  // must not hold the reader for longer than a frame may take.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(frameTimeoutMs < 0 ? 0 : frameTimeoutMs);
  auto remaining = [&]() -> int {
    if (frameTimeoutMs < 0) return -1;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
    return left > 0 ? int(left) : 0;
  };
  unsigned char head[MessageFrame::HEADER_SIZE];
  size_t got = 0;
  Socket::Result r = _socket.receiveAll(head, sizeof head, remaining(), error, &got, frameTimeoutMs);
  if (r != Socket::Result::Ok) {
    if (got == 0 && r == Socket::Result::Closed) return Status::Closed;  // clean end between frames
    return partial(r, "header", got, sizeof head, error);
  }
  MessageFrame::Header header;
  if (!MessageFrame::decodeHeader(head, _maxBodySize, header, error)) return Status::Failed;

  std::string name(header.nameLength, '\0');
  if (header.nameLength > 0) {
    r = _socket.receiveAll(&name[0], name.size(), remaining(), error, &got, frameTimeoutMs);
    if (r != Socket::Result::Ok) return partial(r, "name", got, name.size(), error);
  }
  std::string body(header.bodyLength, '\0');
  if (header.bodyLength > 0) {
    r = _socket.receiveAll(&body[0], body.size(), remaining(), error, &got, frameTimeoutMs);
    if (r != Socket::Result::Ok) return partial(r, "body", got, body.size(), error);
  }
  return MessageFrame::decodePayload(header, name, body, frame, error) ? Status::Ok : Status::Failed;
}
