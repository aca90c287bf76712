#pragma once
// A connected TCP stream socket with a time-out on every wait, so that a silent or dead peer
// gives an error instead of a hang. Owns its descriptor; movable, not copyable.
//
// Threads: one thread reads and one writes at a time (callers serialise). shutdown() may be called
// from any thread while another waits on the socket: the wait ends at once with Closed/Failed.
// close() only by the owner once no other thread uses the socket.
#include <cstddef>
#include <string>

class Socket {
 public:
  enum class Result {
    Ok,        // everything transferred
    TimedOut,  // no progress within the time-out
    Closed,    // the peer closed (or the socket was shut down)
    Failed     // a socket error
  };

  Socket() = default;
  explicit Socket(int fd);  // takes ownership of a connected descriptor
  ~Socket();
  Socket(Socket&& other) noexcept;
  Socket& operator=(Socket&& other) noexcept;
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;

  // Resolves host and connects to the first address that answers within timeoutMs.
  // On failure error names the host, the port and the cause; permanent (optional) is set when
  // trying again cannot help (an unknown host, an invalid port).
  bool connect(const std::string& host, int port, int timeoutMs, std::string& error, bool* permanent = nullptr);

  // Sends all bytes; each wait for buffer space is bounded by timeoutMs (-1: no bound).
  Result sendAll(const void* data, size_t size, int timeoutMs, std::string& error);
  // Receives exactly size bytes; each wait for data is bounded by timeoutMs (-1: no bound).
  // received (optional) tells how many arrived before a failure.
  // timeoutMs bounds the whole call (-1: no bound), not each wait; reportedTimeoutMs, when given,
  // is the bound named in the time-out message (a caller's deadline spread over several calls).
  Result receiveAll(void* data, size_t size, int timeoutMs, std::string& error, size_t* received = nullptr,
                    int reportedTimeoutMs = -2);
  // Waits until data (or the peer's close) can be read: Ok, TimedOut, Closed or Failed.
  Result waitReadable(int timeoutMs, std::string& error);

  // Any thread: ends both directions; blocked waits on this socket return.
  void shutdown();
  void close();
  bool isOpen() const { return _fd >= 0; }
  int fd() const { return _fd; }
  // "address:port" of the peer, or empty.
  std::string peerName() const;
  int localPort() const;

  // Applies the options every stream socket of ours carries (no delay, keep-alive, close-on-exec).
  static void configure(int fd);
  // The local port a descriptor is bound to, or -1.
  static int boundPort(int fd);

 private:
  int _fd = -1;
};
