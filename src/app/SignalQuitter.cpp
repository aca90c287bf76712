#include "SignalQuitter.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

#include "Logger.h"

namespace {
// Read end [0] and write end [1]; -1 when not open. The handler only reads the write end.
volatile sig_atomic_t g_writeEnd = -1;
int g_readEnd = -1;
}  // namespace

void SignalQuitter::handleSignal(int) {
  const int savedErrno = errno;
  const char byte = 1;
  if (g_writeEnd >= 0) {
    ssize_t ignored = ::write(g_writeEnd, &byte, 1);  // async-signal-safe; a full pipe means a quit is pending
    (void)ignored;
  }
  errno = savedErrno;
}

SignalQuitter::SignalQuitter(QObject* parent) : QObject(parent) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
    Logger::getSingleton().warning("SIGINT and SIGTERM will end the program without its shut-down");
    return;
  }
  g_readEnd = fds[0];
  g_writeEnd = fds[1];
  _notifier = new QSocketNotifier(g_readEnd, QSocketNotifier::Read, this);
  connect(_notifier, &QSocketNotifier::activated, this, &SignalQuitter::onSignalByte);

  struct sigaction action = {};
  action.sa_handler = &SignalQuitter::handleSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

SignalQuitter::~SignalQuitter() {
  if (!_notifier) return;
  signal(SIGINT, SIG_DFL);
  signal(SIGTERM, SIG_DFL);
  const int writeEnd = g_writeEnd;
  g_writeEnd = -1;
  delete _notifier;
  _notifier = nullptr;
  ::close(g_readEnd);
  ::close(writeEnd);
  g_readEnd = -1;
}

void SignalQuitter::onSignalByte() {
  char buffer[16];
  while (::read(g_readEnd, buffer, sizeof buffer) > 0) {
  }
  emit quitRequested();
  QCoreApplication::quit();
}
