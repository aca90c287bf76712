#include "ServerProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <regex>
#include <thread>

std::string ServerProcess::binary() {
  const char* dir = std::getenv("QUONIX_BIN_DIR");
  return std::string(dir ? dir : "bin") + "/quonix-server";
}

bool ServerProcess::spawn(std::vector<std::string> all, std::string& error) {
  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) {
    error = "pipe failed";
    return false;
  }
  all.insert(all.begin(), binary());
  std::vector<char*> argv;
  for (std::string& a : all) argv.push_back(&a[0]);
  argv.push_back(nullptr);
  _pid = fork();
  if (_pid == 0) {
    dup2(out[1], STDOUT_FILENO);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(out[1]);
  _stdout = out[0];
  if (_pid < 0) {
    error = "fork failed";
    return false;
  }
  return true;
}

int ServerProcess::runToEnd(const std::vector<std::string>& args, std::string& output, int timeoutMs) {
  ServerProcess process;
  std::string error;
  if (!process.spawn(args, error)) return -1;
  int code = process.wait(timeoutMs);
  output = process.output();
  return code;
}

bool ServerProcess::start(const std::vector<std::string>& args, std::string& error) {
  std::vector<std::string> all{"--port", "0"};
  all.insert(all.end(), args.begin(), args.end());
  if (!spawn(all, error)) return false;
  const std::regex listening("listening on [0-9.]+:([0-9]+)");
  // A wait for the line, not a bound on start-up: the server reads its scene files first, which
  // on a loaded machine (or under a sanitizer) takes many times its usual second.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (std::chrono::steady_clock::now() < deadline) {
    readAvailable(50);
    std::smatch m;
    if (std::regex_search(_output, m, listening)) {
      _port = std::stoi(m[1]);
      return true;
    }
    if (!isRunning()) break;
  }
  error = "the server did not report its port; output: " + _output;
  return false;
}

ServerProcess::~ServerProcess() {
  if (_pid > 0 && isRunning()) stop(SIGKILL);
  if (_stdout >= 0) close(_stdout);
}

void ServerProcess::readAvailable(int timeoutMs) {
  if (_stdout < 0) return;
  pollfd p{_stdout, POLLIN, 0};
  while (poll(&p, 1, timeoutMs) > 0) {
    char buffer[4096];
    ssize_t n = read(_stdout, buffer, sizeof buffer);
    if (n <= 0) {
      close(_stdout);
      _stdout = -1;
      return;
    }
    _output.append(buffer, size_t(n));
    timeoutMs = 0;
  }
}

std::string ServerProcess::output() {
  readAvailable(0);
  return _output;
}

bool ServerProcess::isRunning() {
  if (_pid <= 0 || _status != -1) return false;
  int status = 0;
  pid_t r = waitpid(_pid, &status, WNOHANG);
  if (r == 0) return true;
  if (r == _pid) _status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return false;
}

int ServerProcess::wait(int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (isRunning()) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(_pid, SIGKILL);
      waitpid(_pid, nullptr, 0);
      _status = -2;
      return -1;
    }
    readAvailable(10);
  }
  readAvailable(0);
  return _status;
}

int ServerProcess::stop(int signal, int timeoutMs) {
  if (isRunning()) kill(_pid, signal);
  return wait(timeoutMs);
}
