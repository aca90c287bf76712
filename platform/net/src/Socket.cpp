#include "Socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <utility>

namespace {

std::string describeErrno(int err) { return std::strerror(err); }

// Polls one descriptor for the events; 1 ready, 0 time-out, -1 error (errno kept). Retries EINTR
// with the time that is left.
int pollOne(int fd, short events, int timeoutMs, short* revents) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
  for (;;) {
    int wait = timeoutMs;
    if (timeoutMs >= 0) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      wait = left < 0 ? 0 : static_cast<int>(left);
    }
    pollfd p{fd, events, 0};
    int n = ::poll(&p, 1, wait);
    if (n < 0 && errno == EINTR) continue;
    if (n > 0 && revents) *revents = p.revents;
    return n;
  }
}

std::string addressText(const sockaddr* addr) {
  char host[NI_MAXHOST] = "";
  char serv[NI_MAXSERV] = "";
  socklen_t len = addr->sa_family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
  if (getnameinfo(addr, len, host, sizeof host, serv, sizeof serv, NI_NUMERICHOST | NI_NUMERICSERV) != 0)
    return std::string();
  return std::string(host) + ":" + serv;
}

}  // namespace

Socket::Socket(int fd) : _fd(fd) {}

Socket::~Socket() { close(); }

Socket::Socket(Socket&& other) noexcept : _fd(other._fd) { other._fd = -1; }

Socket& Socket::operator=(Socket&& other) noexcept {
  if (this != &other) {
    close();
    _fd = other._fd;
    other._fd = -1;
  }
  return *this;
}

void Socket::configure(int fd) {
  int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &one, sizeof one);
  fcntl(fd, F_SETFD, FD_CLOEXEC);
}

bool Socket::connect(const std::string& host, int port, int timeoutMs, std::string& error, bool* permanent) {
  close();
  if (permanent) *permanent = true;
  const std::string where = host + ":" + std::to_string(port);
  if (port <= 0 || port > 65535) {
    error = "invalid port " + std::to_string(port);
    return false;
  }
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICSERV;
  addrinfo* found = nullptr;
  int rc = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
  if (rc != 0) {
    error = "cannot resolve host " + host + ": " + gai_strerror(rc);
    if (permanent) *permanent = rc != EAI_AGAIN;
    return false;
  }
  if (permanent) *permanent = false;
  error.clear();
  for (addrinfo* a = found; a; a = a->ai_next) {
    int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol);
    if (fd < 0) {
      error = "socket: " + describeErrno(errno);
      continue;
    }
    int r = ::connect(fd, a->ai_addr, a->ai_addrlen);
    int err = r == 0 ? 0 : errno;
    if (r != 0 && err == EINPROGRESS) {
      short revents = 0;
      int n = pollOne(fd, POLLOUT, timeoutMs, &revents);
      if (n == 0) {
        err = ETIMEDOUT;
      } else if (n < 0) {
        err = errno;
      } else {
        socklen_t len = sizeof err;
        if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0) err = errno;
      }
    }
    if (err != 0) {
      error = "cannot connect to " + where + ": " + describeErrno(err);
      ::close(fd);
      continue;
    }
    configure(fd);
    _fd = fd;
    break;
  }
  freeaddrinfo(found);
  if (_fd < 0 && error.empty()) error = "cannot connect to " + where + ": no address";
  return _fd >= 0;
}

Socket::Result Socket::sendAll(const void* data, size_t size, int timeoutMs, std::string& error) {
  if (_fd < 0) {
    error = "socket is not open";
    return Result::Failed;
  }
  const char* p = static_cast<const char*>(data);
  size_t left = size;
  while (left > 0) {
    ssize_t n = ::send(_fd, p, left, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      p += n;
      left -= size_t(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      short revents = 0;
      int r = pollOne(_fd, POLLOUT, timeoutMs, &revents);
      if (r == 0) {
        error = "send timed out after " + std::to_string(timeoutMs) + " ms (" + std::to_string(size - left) + " of " +
                std::to_string(size) + " bytes sent)";
        return Result::TimedOut;
      }
      if (r < 0) {
        error = "poll: " + describeErrno(errno);
        return Result::Failed;
      }
      if (revents & (POLLERR | POLLHUP | POLLNVAL) && !(revents & POLLOUT)) {
        error = "connection closed by peer";
        return Result::Closed;
      }
      continue;
    }
    if (n < 0 && (errno == EPIPE || errno == ECONNRESET)) {
      error = "connection closed by peer";
      return Result::Closed;
    }
    error = "send: " + describeErrno(errno);
    return Result::Failed;
  }
  return Result::Ok;
}

Socket::Result Socket::receiveAll(void* data, size_t size, int timeoutMs, std::string& error, size_t* received,
                                  int reportedTimeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
  if (reportedTimeoutMs == -2) reportedTimeoutMs = timeoutMs;
  size_t got = 0;
  if (received) *received = 0;
  if (_fd < 0) {
    error = "socket is not open";
    return Result::Failed;
  }
  char* p = static_cast<char*>(data);
  while (got < size) {
    ssize_t n = ::recv(_fd, p + got, size - got, MSG_DONTWAIT);
    if (n > 0) {
      got += size_t(n);
      if (received) *received = got;
      continue;
    }
    if (n == 0) {
      error = "connection closed by peer";
      return Result::Closed;
    }
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
      int wait = -1;
      if (timeoutMs >= 0) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        wait = left > 0 ? int(left) : 0;
      }
      Result w = waitReadable(wait, error);
      if (w == Result::TimedOut) {
        error = "receive timed out after " + std::to_string(reportedTimeoutMs) + " ms";
        return w;
      }
      if (w == Result::Failed) return w;
      continue;  // Ok or Closed: recv tells which
    }
    if (errno == ECONNRESET) {
      error = "connection reset by peer";
      return Result::Closed;
    }
    error = "recv: " + describeErrno(errno);
    return Result::Failed;
  }
  return Result::Ok;
}

Socket::Result Socket::waitReadable(int timeoutMs, std::string& error) {
  if (_fd < 0) {
    error = "socket is not open";
    return Result::Failed;
  }
  short revents = 0;
  int r = pollOne(_fd, POLLIN, timeoutMs, &revents);
  if (r == 0) {
    error = "no data within " + std::to_string(timeoutMs) + " ms";
    return Result::TimedOut;
  }
  if (r < 0) {
    error = "poll: " + describeErrno(errno);
    return Result::Failed;
  }
  if (revents & POLLNVAL) {
    error = "socket is not open";
    return Result::Failed;
  }
  if ((revents & (POLLHUP | POLLERR)) && !(revents & POLLIN)) {
    error = "connection closed by peer";
    return Result::Closed;
  }
  return Result::Ok;
}

void Socket::shutdown() {
  if (_fd >= 0) ::shutdown(_fd, SHUT_RDWR);
}

void Socket::close() {
  if (_fd >= 0) {
    ::close(_fd);
    _fd = -1;
  }
}

std::string Socket::peerName() const {
  if (_fd < 0) return std::string();
  sockaddr_storage addr{};
  socklen_t len = sizeof addr;
  if (getpeername(_fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) return std::string();
  return addressText(reinterpret_cast<sockaddr*>(&addr));
}

int Socket::localPort() const { return boundPort(_fd); }

int Socket::boundPort(int fd) {
  if (fd < 0) return -1;
  sockaddr_storage addr{};
  socklen_t len = sizeof addr;
  if (getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) return -1;
  if (addr.ss_family == AF_INET) return ntohs(reinterpret_cast<sockaddr_in*>(&addr)->sin_port);
  if (addr.ss_family == AF_INET6) return ntohs(reinterpret_cast<sockaddr_in6*>(&addr)->sin6_port);
  return -1;
}
