// SceneView: opening scene files through the scene and frame pickers.
#include <QFileInfo>
#include <QMutexLocker>
#include <QQuickWindow>
#include <QStringList>

#include <sstream>

#include "Logger.h"
#include "PickerDialog.h"
#include "RecordsManager.h"
#include "SceneFormatHandler.h"
#include "SceneLoader.h"
#include "SceneView.h"
#include "StringHelper.h"
#include "ZeltAnalytics.h"
#include "kvg/SDBReader.h"

namespace {
const char* const kProductTitle = "Mavolin Quonix Virtual Reality";

// The fixed text of a failure, then the reader's own detail on a line of its own.
std::string withDetail(const std::string& text, const std::string& detail) {
  return detail.empty() ? text : text + "\n" + detail;
}

// The scene file's name without folder and extensions, as UTF-8.
std::string baseNameOf(const QUrl& url) { return QFileInfo(url.toLocalFile()).baseName().toStdString(); }
}  // namespace

// GUI thread. Returns the reason of a failure, empty on success.
std::string SceneView::openSceneFile(const std::wstring& path) {
  showStatus(kProductTitle, "loading...");

  std::ostringstream diagnostics;
  std::wstring workingPath;
  switch (SceneFormatHandler::detectSceneFormat(path, diagnostics)) {
    case SceneFormatHandler::FileMissing: return "File does not exist. ";
    case SceneFormatHandler::CannotOpen: return "Cannot open file. ";
    case SceneFormatHandler::ZippedScene: {
      std::string reason;
      workingPath = SceneFormatHandler::convertZippedScene(path, reason);
      if (workingPath.empty()) return withDetail("Could not open specified path. ", reason);
      break;
    }
    case SceneFormatHandler::PlainScene: workingPath = path; break;
    default: return "Unknown file format. " + diagnostics.str();
  }

  _sceneReader.reset(new kvg::SDBReader);
  const int opened = _sceneReader->open(workingPath);
  if (opened == kvg::SDBReader::BeingWritten) return "File is being written, try to open it later.";
  if (opened != kvg::SDBReader::Opened)
    return withDetail("Could not open specified path. ", _sceneReader->getLastError());

  if (ZeltAnalytics* analytics = ZeltAnalytics::has()) {
    // The size of the file the user chose, before any unpacking.
    const float bytes = float(QFileInfo(QString::fromStdString(StringHelper::toString(path))).size());
    Properties event;
    event.set("File_Size_In_MiB", double(bytes * (1.0f / 1048576.0f)));
    analytics->logEvent("OPEN_FILE", event);
  }

  _recordsManager.reset(new RecordsManager(_sceneReader.get()));
  showStatus(std::string(kProductTitle) + " - " + baseNameOf(_sceneUrl), std::string());
  return std::string();
}

// GUI thread, from reset. The window title loses the scene's name with it.
void SceneView::closeSceneFile() {
  _recordsManager.reset();
  _sceneReader.reset();
  if (QQuickWindow* w = window()) w->setTitle(QString::fromUtf8(kProductTitle));
}

std::vector<std::string> SceneView::listFramesetTitles() const {
  std::vector<std::string> titles;
  if (!_recordsManager) return titles;
  for (int i = 0; i < _recordsManager->framesetsCount(); ++i) titles.push_back(_recordsManager->getFramesetTitle(i));
  return titles;
}

std::vector<std::string> SceneView::listFrames(int frameset) const {
  std::vector<std::string> labels;
  if (!_recordsManager) return labels;
  for (int j = 0; j < _recordsManager->framesCount(frameset); ++j) {
    const Properties frame = _recordsManager->getFrame(frameset, j);
    const std::string description = frame.hasName("Description") ? frame.getString("Description") : std::string();
    labels.push_back("Frame " + std::to_string(j) + (description.empty() ? std::string() : ", " + description));
  }
  return labels;
}

int SceneView::findFramesetByTitle(const std::string& title) const {
  const std::vector<std::string> titles = listFramesetTitles();
  for (size_t i = 0; i < titles.size(); ++i)
    if (titles[i] == title) return int(i);
  return -1;
}

// GUI thread.
void SceneView::failOpening(const QString& message) {
  reset();
  Logger::getSingleton().error(message.toStdString());
  emit errorMessage(message);
}

// GUI thread.
QString SceneView::openFileContinuation1(const QUrl& fileUrl) {
  if (refuseReentry("Opening a scene file")) return QString();
  QMutexLocker lock(&_viewMutex);
  reset();
  _sceneUrl = fileUrl;
  const std::string error = openSceneFile(toWString(fileUrl.toLocalFile()));
  if (!error.empty()) {
    failOpening(QStringLiteral("Error loading file. ") + QString::fromStdString(error));
    return QString();
  }
  const std::vector<std::string> titles = listFramesetTitles();
  if (titles.empty()) {
    failOpening(QStringLiteral("No scenes found. "));
    return QString();
  }
  if (titles.size() == 1) return openFrameset(0);
  return PickerDialog::build(
      QStringLiteral("Select scene"), QStringLiteral("scenes"), titles,
      [](const QString& index, const QString& label) {
        // The window makes the next picker, so that it outlives this one.
        return QStringLiteral(
                   "var selectFrameDialog = sceneView.openFileContinuation2(%1, %2);  "
                   "appWindow.showPicker(selectFrameDialog, \"selectFrameDialog\");")
            .arg(label, index);
      });
}

// GUI thread.
QString SceneView::openFileContinuation2(const QString& title, int frameset) {
  if (refuseReentry("Choosing a scene")) return QString();
  QMutexLocker lock(&_viewMutex);
  if (!_recordsManager) {
    failOpening(QStringLiteral("No scene file is open. "));
    return QString();
  }
  const int index = frameset >= 0 ? frameset : findFramesetByTitle(title.toStdString());
  if (index < 0 || index >= _recordsManager->framesetsCount()) {
    failOpening(QStringLiteral("Scene \"%1\" not found. ").arg(title));
    return QString();
  }
  return openFrameset(index);
}

// GUI thread, under the view mutex.
QString SceneView::openFrameset(int frameset) {
  const std::vector<std::string> labels = listFrames(frameset);
  if (labels.empty()) {
    failOpening(QStringLiteral("No frames found. "));
    return QString();
  }
  if (labels.size() == 1) {
    openFrame(frameset, 0);
    return QString();
  }
  const QString title = QString::fromStdString(_recordsManager->getFramesetTitle(frameset));
  return PickerDialog::build(QStringLiteral("Select frame"), QStringLiteral("frames"), labels,
                             [&](const QString& index, const QString&) {
                               return QStringLiteral("sceneView.openFileContinuation3(%1, %2, %3);")
                                   .arg(PickerDialog::stringLiteral(title), index, QString::number(frameset));
                             });
}

// GUI thread.
void SceneView::openFileContinuation3(const QString& title, int frame, int frameset) {
  if (refuseReentry("Choosing a frame")) return;
  QMutexLocker lock(&_viewMutex);
  if (!_recordsManager) {
    failOpening(QStringLiteral("No scene file is open. "));
    return;
  }
  const int index = frameset >= 0 ? frameset : findFramesetByTitle(title.toStdString());
  if (index < 0 || index >= _recordsManager->framesetsCount()) {
    failOpening(QStringLiteral("Scene \"%1\" not found. ").arg(title));
    return;
  }
  if (frame < 0 || frame >= _recordsManager->framesCount(index)) {
    failOpening(QStringLiteral("Frame %1 not found. ").arg(frame));
    return;
  }
  openFrame(index, frame);
}

// GUI thread, under the view mutex: loads the frame into both sessions and prepares it for VR.
void SceneView::openFrame(int frameset, int frame) {
  Properties record;
  _recordsManager->getFrame(frameset, frame, record);
  const std::string setTitle = _recordsManager->getFramesetTitle(frameset);

  startLoaderTask(setTitle, "loading scene", SceneLoader::LoadRecord, record);
  if (!_sceneLoader->recordLoaded) {
    const std::string reason = _sceneReader ? _sceneReader->getLastError() : std::string();
    failOpening(QStringLiteral("An error occurred loading the record. ") + QString::fromStdString(reason));
    return;
  }

  _sceneKey = _sceneReader->getCanvasInfo().key;
  const int setCount = _recordsManager->framesetsCount();
  const int frameCount = _recordsManager->framesCount(frameset);
  emit openFileComplete();
  if (setCount >= 2 || frameCount >= 2) emit switchScenePossible();

  std::string windowTitle = std::string(kProductTitle) + " - " + baseNameOf(_sceneUrl);
  if (setCount > 1) windowTitle += ", " + setTitle;
  if (frameCount > 1) windowTitle += ", Frame: " + std::to_string(frame);
  startLoaderTask(windowTitle, "initializing", SceneLoader::RunUpdater);

  if (QQuickWindow* w = window()) {
    w->setClearBeforeRendering(false);
    w->update();
  }
}
