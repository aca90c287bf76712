#pragma once
// Turns SIGINT and SIGTERM into a normal Qt quit: the signal handler only writes a byte into
// a pipe; a socket notifier on the GUI thread reads it and asks the event loop to end, so
// the usual shut-down (aboutToQuit, engine and view teardown) runs.
#include <QObject>

class QSocketNotifier;

class SignalQuitter : public QObject {
  Q_OBJECT

 public:
  // GUI thread, after the application object exists. One instance at a time.
  explicit SignalQuitter(QObject* parent = nullptr);
  // Restores the default signal actions.
  ~SignalQuitter() override;

  bool isInstalled() const { return _notifier != nullptr; }

 signals:
  // GUI thread, just before the quit: lets work that blocks the event loop give up first.
  void quitRequested();

 private slots:
  // GUI thread.
  void onSignalByte();

 private:
  static void handleSignal(int signalNumber);
  QSocketNotifier* _notifier = nullptr;
};
