#pragma once
// Runs build/bin/quonix-server as a child process on a free loopback port for a test, and reads
// the port from its "listening on ADDRESS:PORT" line. The destructor ends a server still running.
#include <sys/types.h>

#include <string>
#include <vector>

class ServerProcess {
 public:
  // Starts the server with the arguments and "--port 0"; false (and error) when it did not report
  // a listening port within a few seconds.
  bool start(const std::vector<std::string>& args, std::string& error);
  ~ServerProcess();

  int port() const { return _port; }
  pid_t pid() const { return _pid; }
  // Sends the signal and waits for the exit; returns the exit code, or 128 + signal number when the
  // process was killed by one, or -1 when it did not end within timeoutMs (it is then killed).
  int stop(int signal, int timeoutMs = 10000);
  // Waits for the process to end by itself; the same result as stop().
  int wait(int timeoutMs = 10000);
  bool isRunning();
  // Everything the server wrote to its standard output so far.
  std::string output();

  static std::string binary();
  // Runs the server with exactly these arguments until it ends by itself; returns the exit code
  // (-1 when it had to be killed after timeoutMs) and its standard output.
  static int runToEnd(const std::vector<std::string>& args, std::string& output, int timeoutMs = 10000);

 private:
  bool spawn(std::vector<std::string> args, std::string& error);
  void readAvailable(int timeoutMs);

  pid_t _pid = -1;
  int _stdout = -1;
  int _port = -1;
  int _status = -1;
  std::string _output;
};
