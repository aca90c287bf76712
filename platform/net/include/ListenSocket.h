#pragma once
// A listening TCP socket. Owned by one thread (the accepting one); shutdown() may be called from
// any thread to end a wait in accept().
#include <string>

#include "Socket.h"

class ListenSocket {
 public:
  ListenSocket() = default;
  ~ListenSocket();
  ListenSocket(const ListenSocket&) = delete;
  ListenSocket& operator=(const ListenSocket&) = delete;

  // Binds to the numeric address and port (0: any free port) and listens.
  bool listen(const std::string& address, int port, std::string& error);
  // The port actually bound (useful after listening on port 0), or -1.
  int port() const;
  // Waits up to timeoutMs (-1: no bound) for a connection. Ok fills client; TimedOut; Closed after
  // shutdown(); Failed on an error.
  Socket::Result accept(Socket& client, int timeoutMs, std::string& error);
  void shutdown();
  void close();
  bool isOpen() const { return _fd >= 0; }
  int fd() const { return _fd; }

 private:
  int _fd = -1;
};
