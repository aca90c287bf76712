#include "ZeltVrApplication.h"

#include <QMessageBox>
#include <QMetaObject>
#include <QThread>

#include <exception>

#include "InternalError.h"
#include "Logger.h"
#include "kvg/RendererWidgetFactoryBase.h"

ZeltVrApplication::ZeltVrApplication(int& argc, char** argv) : QApplication(argc, argv) {
  kvg::RendererWidgetFactoryBase::setApplicationType(2);  // virtual reality
}

ZeltVrApplication::~ZeltVrApplication() = default;

bool ZeltVrApplication::notify(QObject* receiver, QEvent* event) {
  QString text;
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& error) {
    text = QString::fromUtf8(error.what());
  } catch (const InternalError& error) {
    text = QString::fromStdString(error.getMessage());
  } catch (...) {
    text = QStringLiteral("Unknown error");
  }
  reportEscapedError(text);
  return false;
}

void ZeltVrApplication::reportEscapedError(const QString& text) {
  if (QThread::currentThread() == thread()) {
    showErrorAndExit(text);
    return;
  }
  Logger::getSingleton().error("An event on a worker thread failed: " + text.toStdString());
  // The text goes over a mutex and the call by name, so that nothing made on this thread is
  // read on the GUI thread through Qt's event queue alone.
  {
    std::lock_guard<std::mutex> lock(_workerErrorsMutex);
    _workerErrors.push_back(text);
  }
  QMetaObject::invokeMethod(this, "showWorkerError", Qt::QueuedConnection);
}

void ZeltVrApplication::showWorkerError() {
  QString text;
  {
    std::lock_guard<std::mutex> lock(_workerErrorsMutex);
    if (_workerErrors.empty()) return;
    text = _workerErrors.front();
    _workerErrors.pop_front();
  }
  showErrorAndExit(text);
}

void ZeltVrApplication::showErrorAndExit(const QString& text) {
  showErrorBox(text);
  QCoreApplication::exit(0);
}

void ZeltVrApplication::showErrorBox(const QString& text) {
  QMessageBox::critical(nullptr, QString::fromUtf8(errorBoxTitle()), text, QMessageBox::Ok, QMessageBox::NoButton);
}
