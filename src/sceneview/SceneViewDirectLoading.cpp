// Loading without the loader thread: the loader's tasks run on the GUI thread, and a scene
// file opens at its first frame of its first frame set without pickers. Stands in for the scene
// loader and the file pickers until they exist; those replace this file as a whole.
#include <QCoreApplication>
#include <QFileInfo>
#include <QMutexLocker>
#include <QQuickWindow>

#include "RecordsManager.h"
#include "SceneView.h"
#include "kvg/DrawableSession.h"
#include "kvg/RendererNodeStream.h"
#include "kvg/SDBReader.h"

namespace {
const char* const kProductTitle = "Mavolin Quonix Virtual Reality";
// Task 3's result (GUI thread).
bool recordLoaded = false;
}  // namespace

// GUI thread.
void SceneView::startLoaderTask(const std::string& title, const std::string& status, uint32_t taskCode,
                                const Properties& record) {
  QMutexLocker lock(&_loaderMutex);
  showStatus(title, status);
  auto waitForUpdater = [this] {
    while (!_backBufferUpdater.wait(10)) QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  };
  switch (taskCode) {
    case 2:
      _backBufferUpdater.start(QThread::InheritPriority);
      waitForUpdater();
      break;
    case 3: {
      recordLoaded = false;
      kvg::RendererNodeStream first(*_drawableSessions[0]);
      if (_sceneReader && _sceneReader->loadRecord(record, first)) {
        kvg::RendererNodeStream second(*_drawableSessions[1]);
        recordLoaded = _sceneReader->loadRecord(record, second);
      }
      break;
    }
    case 5:
      _drawableSessions[_activeIndex == 0 ? 1 : 0]->addNoOpTask();
      waitForUpdater();
      break;
    default:
      break;
  }
  showStatus(title, std::string());
}

// GUI thread.
void SceneView::showStatus(const std::string& title, const std::string& status) {
  QQuickWindow* w = window();
  if (!w) return;
  if (status.empty()) {
    w->setTitle(QString::fromUtf8(title.c_str()));
    QCoreApplication::processEvents(QEventLoop::AllEvents);
  } else {
    w->setTitle(QString::fromUtf8(title.c_str()) + " - " + QString::fromUtf8(status.c_str()));
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  }
  if (window()) window()->update();
}

// GUI thread.
QString SceneView::openFileContinuation1(const QUrl& fileUrl) {
  QMutexLocker lock(&_viewMutex);
  reset();
  _sceneUrl = fileUrl;
  showStatus(kProductTitle, "loading...");
  _sceneReader.reset(new kvg::SDBReader);
  if (_sceneReader->open(toWString(fileUrl.toLocalFile())) != 0) {
    const std::string reason = _sceneReader->getLastError();
    reset();
    emit errorMessage("Error loading file. " + QString::fromUtf8(reason.c_str()));
    return QString();
  }
  _recordsManager.reset(new RecordsManager(*_sceneReader));
  if (_recordsManager->framesetsCount() == 0) {
    reset();
    emit errorMessage("No scenes found. ");
    return QString();
  }
  return openFileContinuation2(QString::fromUtf8(_recordsManager->getFrame(0, 0).getString("Title").c_str()));
}

// GUI thread.
QString SceneView::openFileContinuation2(const QString& title) {
  QMutexLocker lock(&_viewMutex);
  openFileContinuation3(title, 0);
  return QString();
}

// GUI thread.
void SceneView::openFileContinuation3(const QString& title, int frame) {
  QMutexLocker lock(&_viewMutex);
  if (!_recordsManager) return;
  int set = 0;
  const std::string wanted = title.toUtf8().toStdString();
  for (int i = _recordsManager->framesetsCount() - 1; i >= 0; --i)
    if (_recordsManager->getFrame(i, 0).getString("Title") == wanted) set = i;
  const Properties record = _recordsManager->getFrame(set, frame);
  startLoaderTask(wanted, "loading scene", 3, record);
  if (!recordLoaded) {
    reset();
    emit errorMessage("An error occurred loading the record. ");
    return;
  }
  _sceneKey = _sceneReader->getCanvasInfo().key;
  emit openFileComplete();
  const int sets = _recordsManager->framesetsCount();
  const int frames = _recordsManager->framesCount(set);
  if (sets > 1 || frames > 1) emit switchScenePossible();
  std::string composed =
      std::string(kProductTitle) + " - " + QFileInfo(_sceneUrl.toLocalFile()).baseName().toUtf8().toStdString();
  if (sets > 1) composed += ", " + wanted;
  if (frames > 1) composed += ", Frame: " + std::to_string(frame);
  startLoaderTask(composed, "initializing", 2);
  if (QQuickWindow* w = window()) {
    w->setClearBeforeRendering(false);
    w->update();
  }
}
