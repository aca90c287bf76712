#pragma once
// Reads and writes MessageFrames on a Socket with time-outs and a size cap. Any failure to read
// a whole, well-formed frame is reported with a text that says what was wrong; the channel never
// allocates more than the cap allows.
//
// Threads: one reader and one writer at a time (callers serialise); shutdown() from any thread.
#include <string>

#include "MessageFrame.h"
#include "Socket.h"

class FrameChannel {
 public:
  enum class Status {
    Ok,
    Idle,    // read: no frame began within the idle time-out (nothing was consumed)
    Closed,  // the peer closed between frames (or the socket was shut down)
    Failed   // time-out inside a frame, truncated or malformed frame, socket error
  };

  FrameChannel() = default;
  explicit FrameChannel(Socket socket) : _socket(std::move(socket)) {}

  void setMaxBodySize(size_t bytes) { _maxBodySize = bytes; }
  size_t getMaxBodySize() const { return _maxBodySize; }

  // Writes the whole frame; each wait for buffer space is bounded by timeoutMs.
  Status write(const MessageFrame& frame, int timeoutMs, std::string& error);
  // Writes raw bytes (fault injection and tests).
  Status writeBytes(const std::string& bytes, int timeoutMs, std::string& error);
  // Waits up to idleTimeoutMs (-1: no bound) for a frame to begin, then reads it with every further
  // wait bounded by frameTimeoutMs.
  Status read(MessageFrame& frame, int idleTimeoutMs, int frameTimeoutMs, std::string& error);

  Socket& socket() { return _socket; }
  bool isOpen() const { return _socket.isOpen(); }
  void shutdown() { _socket.shutdown(); }
  void close() { _socket.close(); }

 private:
  Socket _socket;
  size_t _maxBodySize = MessageFrame::DEFAULT_MAX_BODY_SIZE;
};
