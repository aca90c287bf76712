// SceneView: the values of the settings and shared-settings dialogs.
#include <QUrl>

#include <algorithm>
#include <cmath>
#include <mutex>

#include "Configuration.h"
#include "SceneView.h"
#include "VolumeRenderingManager.h"
#include "kvg/DrawableSession.h"

namespace {
// QString::toDouble; an invalid text gives 0.
double numberOf(const QString& text) {
  bool ok = false;
  const double value = text.toDouble(&ok);
  return ok ? value : 0.0;
}

// The local path of a file URL held as text, as UTF-8; empty for anything that is not a file URL.
std::string localPathOf(const QString& urlText) {
  return QUrl(urlText, QUrl::TolerantMode).toLocalFile().toUtf8().toStdString();
}

// A texture scale is taken only when it is a positive, finite number.
void takeScale(const QString& text, double& scale) {
  const double value = numberOf(text);
  if (value > 0 && std::isfinite(value)) scale = value;
}
}  // namespace

// GUI thread, once at start-up: the values the dialogs restored from the settings store.
void SceneView::readSettingsDialog() {
  SceneViewSettings s = settingsSnapshot();

  if (QObject* o = findQmlChild("volumeRenderingQuality")) s.volumeRenderingQuality = o->property("value").toDouble();
  if (QObject* o = findQmlChild("floorTexScale")) takeScale(o->property("text").toString(), s.floorTexScale);
  if (QObject* o = findQmlChild("ceilTexScale")) takeScale(o->property("text").toString(), s.ceilTexScale);
  if (QObject* o = findQmlChild("accurateVolumeClipping")) s.accurateVolumeClipping = o->property("checked").toBool();

  QString floorText, ceilText;
  if (QObject* o = findQmlChild("floorTexFileName")) floorText = o->property("text").toString();
  if (QObject* o = findQmlChild("ceilTexFileName")) ceilText = o->property("text").toString();
  // An empty field keeps the default texture and shows it.
  if (!floorText.isEmpty()) {
    s.floorTexFileName = localPathOf(floorText);
  } else {
    setQmlProperty("floorTexFileName", "text",
                   QUrl::fromLocalFile(QString::fromStdString(s.floorTexFileName)).toString());
  }
  if (!ceilText.isEmpty()) {
    s.ceilTexFileName = localPathOf(ceilText);
  } else {
    setQmlProperty("ceilTexFileName", "text",
                   QUrl::fromLocalFile(QString::fromStdString(s.ceilTexFileName)).toString());
  }

  QObject* floorDialog = findQmlChild("floorTexFileDialog");
  QObject* ceilDialog = findQmlChild("ceilTexFileDialog");
  if (floorDialog && ceilDialog) {
    const QUrl assets = QUrl::fromLocalFile(QString::fromStdString(getVRAssetsDir()));
    floorDialog->setProperty("folder", assets);
    ceilDialog->setProperty("folder", assets);
  }

  if (QObject* o = findQmlChild("swapLeftRight")) s.swapLeftRight = o->property("checked").toBool();
  if (QObject* o = findQmlChild("adoptSceneView")) s.preserveOrientation = o->property("checked").toBool();
  if (QObject* o = findQmlChild("isoSurfaceOpacity")) s.isoSurfaceOpacity = o->property("value").toDouble();
  if (QObject* o = findQmlChild("snappingAngle")) s.snappingAngle = o->property("value").toDouble();
  if (QObject* o = findQmlChild("maxSceneMinification")) {
    const double value = numberOf(o->property("text").toString());
    if (value > 0) s.sceneMinificationFactor = 1.0 / std::max(1.0, value);
  }
  if (QObject* o = findQmlChild("maxSceneMagnification")) {
    const double value = numberOf(o->property("text").toString());
    if (value > 0) s.sceneMagnificationLimit = value;
  }
  {
    std::lock_guard<std::mutex> lock(_settingsMutex);
    _settings = s;
  }

  static const char* const sharedBoxes[6] = {"hudIsShared",           "flyModeIsShared",
                                             "floorVisibleIsShared",  "enableVolRendIsShared",
                                             "particleRadiusFactorIsShared", "particleSpeedFactorIsShared"};
  bool shared[6];
  for (int i = 0; i < 6; ++i) {
    QObject* box = findQmlChild(sharedBoxes[i]);
    shared[i] = box && box->property("checked").toBool();
  }
  setShareMask(shared);
}

// GUI thread; does not take the view mutex.
void SceneView::settings(double volumeRenderingQuality, const QString& floorTexScale, const QString& ceilTexScale,
                         bool accurateVolumeClipping, const QString& floorTexFileName, const QString& ceilTexFileName,
                         bool swapLeftRight, bool preserveOrientation, double isoSurfaceOpacity, double snappingAngle,
                         const QString& maxSceneMinification, const QString& maxSceneMagnification) {
  // Both sessions' volume rendering managers take these at once. Their setters only record the
  // request under the manager's own lock; each manager exists from its session's creation, and
  // sessions are replaced only inside the view's own waits, when no dialog input is taken.
  for (const auto& session : _drawableSessions) {
    if (!session) continue;
    kvg::VolumeRenderingManager& volumes = kvg::VolumeRenderingManager::getSingleton(*session);
    volumes.setUseStencilClipping(accurateVolumeClipping);
    volumes.setVolRendQuality(volumeRenderingQuality);
    volumes.setIsosurfaceOpacity(isoSurfaceOpacity);
  }
  std::lock_guard<std::mutex> lock(_settingsMutex);
  _settings.accurateVolumeClipping = accurateVolumeClipping;
  _settings.swapLeftRight = swapLeftRight;
  _settings.volumeRenderingQuality = volumeRenderingQuality;
  _settings.preserveOrientation = preserveOrientation;
  _settings.isoSurfaceOpacity = isoSurfaceOpacity;
  _settings.snappingAngle = snappingAngle;
  _settings.sceneMinificationFactor = 1.0 / std::max(1.0, numberOf(maxSceneMinification));
  _settings.sceneMagnificationLimit = std::max(1.0, numberOf(maxSceneMagnification));
  takeScale(floorTexScale, _settings.floorTexScale);
  takeScale(ceilTexScale, _settings.ceilTexScale);
  _settings.floorTexFileName = localPathOf(floorTexFileName);
  _settings.ceilTexFileName = localPathOf(ceilTexFileName);
}

// GUI thread; does not take the view mutex.
void SceneView::collaborativeSettings(bool hudIsShared, bool superManModeIsShared, bool floorVisibleIsShared,
                                      bool enableVolRendIsShared, bool particleRadiusFactorIsShared,
                                      bool particleSpeedFactorIsShared) {
  const bool shared[6] = {hudIsShared,           superManModeIsShared,         floorVisibleIsShared,
                          enableVolRendIsShared, particleRadiusFactorIsShared, particleSpeedFactorIsShared};
  setShareMask(shared);
}

void SceneView::setShareMask(const bool shared[6]) {
  int mask = 0;
  for (int i = 0; i < 6; ++i)
    if (shared[i]) mask |= 1 << i;
  _shareMask = mask;
  _collabSession.setShareMask(ShareableStateMask(shared[0], shared[1], shared[2], shared[3], shared[4], shared[5]));
}
