#include "ListenSocket.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

ListenSocket::~ListenSocket() { close(); }

bool ListenSocket::listen(const std::string& address, int port, std::string& error) {
  close();
  if (port < 0 || port > 65535) {
    error = "invalid port " + std::to_string(port);
    return false;
  }
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV | AI_PASSIVE;
  addrinfo* found = nullptr;
  int rc = getaddrinfo(address.c_str(), std::to_string(port).c_str(), &hints, &found);
  if (rc != 0) {
    error = "invalid listen address " + address + ": " + gai_strerror(rc);
    return false;
  }
  int fd = ::socket(found->ai_family, found->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, found->ai_protocol);
  if (fd < 0) {
    error = std::string("socket: ") + std::strerror(errno);
    freeaddrinfo(found);
    return false;
  }
  int one = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  if (::bind(fd, found->ai_addr, found->ai_addrlen) != 0 || ::listen(fd, 64) != 0) {
    error = "cannot listen on " + address + ":" + std::to_string(port) + ": " + std::strerror(errno);
    ::close(fd);
    freeaddrinfo(found);
    return false;
  }
  freeaddrinfo(found);
  _fd = fd;
  return true;
}

int ListenSocket::port() const { return Socket::boundPort(_fd); }

Socket::Result ListenSocket::accept(Socket& client, int timeoutMs, std::string& error) {
  if (_fd < 0) {
    error = "not listening";
    return Socket::Result::Failed;
  }
  for (;;) {
    pollfd p{_fd, POLLIN, 0};
    int n = ::poll(&p, 1, timeoutMs);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      error = std::string("poll: ") + std::strerror(errno);
      return Socket::Result::Failed;
    }
    if (n == 0) {
      error = "no connection within " + std::to_string(timeoutMs) + " ms";
      return Socket::Result::TimedOut;
    }
    if (p.revents & (POLLHUP | POLLERR | POLLNVAL)) {
      error = "listening socket was shut down";
      return Socket::Result::Closed;
    }
    int fd = ::accept4(_fd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) {
      if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK || errno == ECONNABORTED) continue;
      if (errno == EINVAL) {
        error = "listening socket was shut down";
        return Socket::Result::Closed;
      }
      error = std::string("accept: ") + std::strerror(errno);
      return Socket::Result::Failed;
    }
    Socket::configure(fd);
    client = Socket(fd);
    return Socket::Result::Ok;
  }
}

void ListenSocket::shutdown() {
  if (_fd >= 0) ::shutdown(_fd, SHUT_RDWR);
}

void ListenSocket::close() {
  if (_fd >= 0) {
    ::close(_fd);
    _fd = -1;
  }
}
