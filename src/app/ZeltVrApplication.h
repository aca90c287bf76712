#pragma once
// The application object. Anything that escapes an event handler ends up here: the error
// box is shown on the GUI thread and the event loop is asked to end with code 0.
#include <QApplication>
#include <QString>

#include <deque>
#include <mutex>

class ZeltVrApplication : public QApplication {
  Q_OBJECT

 public:
  // argc must outlive the object (Qt keeps the reference).
  ZeltVrApplication(int& argc, char** argv);
  ~ZeltVrApplication() override;

  // Any thread: events for objects of every thread are delivered through here.
  bool notify(QObject* receiver, QEvent* event) override;

  static const char* errorBoxTitle() { return "Mavolin Quonix Virtual Reality error"; }

 protected:
  // GUI thread: the critical message box; tests replace it.
  virtual void showErrorBox(const QString& text);

 private:
  // Any thread: on the GUI thread the box at once, elsewhere logged and the box queued to the
  // GUI thread (widgets must never be built off it).
  void reportEscapedError(const QString& text);
  // GUI thread.
  void showErrorAndExit(const QString& text);
  // GUI thread: the oldest error a worker thread handed over, called by name from the queue.
  Q_INVOKABLE void showWorkerError();

  // Errors of worker threads on their way to the GUI thread; any thread, under the mutex.
  std::mutex _workerErrorsMutex;
  std::deque<QString> _workerErrors;
};
