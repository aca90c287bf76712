// SceneView: the menu actions Switch Scene, About and Quick Start, and the analytics set-up.
#include <QMetaObject>
#include <QMutexLocker>
#include <QQuickWindow>
#include <QVariant>

#include "Platform.h"
#include "kvg/SDBReader.h"
#include "SceneView.h"
#include "StringHelper.h"
#include "ZeltAnalytics.h"
#include "ZeltVersion.h"
#include "ZeltviewSiteSettings.h"

namespace {
const char* const kProductTitle = "Mavolin Quonix Virtual Reality";
}  // namespace

// GUI thread, once, after the site settings know the application folder.
void SceneView::setUpAnalytics() {
  const int feedback = ZeltviewSiteSettings::getSingleton().getInt("QualityFeedbackProgram", 0);
  ZeltAnalytics::create("QUONIX.VIRTUALREALITY", feedback >= 1, 1, "quonixvr desktop");
}

// GUI thread. The window's openFile runs at once, inside this call, and takes the view mutex
// again on this thread.
void SceneView::switchScene() {
  if (refuseReentry("Switch Scene")) return;
  QMutexLocker lock(&_viewMutex);
  if (_connections[0] && _connections[1]) {
    const QString host = _host;
    const int port = _port;
    if (QQuickWindow* w = window())
      QMetaObject::invokeMethod(w, "openServer", Qt::AutoConnection, Q_ARG(QVariant, QVariant(host)),
                                Q_ARG(QVariant, QVariant(port)), Q_ARG(QVariant, QVariant(true)));
    return;
  }
  if (!_sceneReader) return;
  const QUrl url = _sceneUrl;
  if (QQuickWindow* w = window())
    QMetaObject::invokeMethod(w, "openFile", Qt::AutoConnection, Q_ARG(QVariant, QVariant(url)));
}

// GUI thread.
QString SceneView::getUpdatedAboutDialogText() {
  QMutexLocker lock(&_viewMutex);
  const std::string vendor = _controllerType.empty() ? "unknown" : _controllerType;
  ZeltVersion& version = ZeltVersion::getSingleton();
  const std::string versionedName = std::string(kProductTitle) + " " + ZeltVersion::_presentationVersion +
                                    (version.isDevelopmentVersion() ? ".Development" : "") + " (" +
                                    ZeltVersion::_releaseNumber + ")";
  const std::string text =
      "<html><head / ><body><p align = 'center'> " + versionedName +
      "</p><p>Shows the results of physics simulations made with Quonix in a virtual-reality headset: "
      "open a scene file or connect to a running simulation server, and walk through the model with "
      "two hand controllers. Quonix is the simulation product of Kelmar Software, "
      "<a href='https://www.kelmar-software.example'>www.kelmar-software.example</a>.<br / ><br / >"
      "VR hardware vendor: " +
      vendor + "<br / >\n</p></body></html>";
  return QString::fromUtf8(text.c_str());
}

// GUI thread.
void SceneView::quickStart() {
  if (refuseReentry("Quick Start")) return;
  QMutexLocker lock(&_viewMutex);
  if (_sceneResourcesReady[_activeIndex]) {
    _quickStartRequested = true;
    return;
  }
  OS::FileSystem& fs = Platform::filesystem();
  std::wstring path;
  fs.getApplicationDataDirectory(path);
  path += fs.getPathSeparator();
  path += L"sample_vr.sce";
  const QUrl url = QUrl::fromLocalFile(QString::fromStdString(StringHelper::toString(path)));
  if (QQuickWindow* w = window())
    QMetaObject::invokeMethod(w, "openFile", Qt::AutoConnection, Q_ARG(QVariant, QVariant(url)));
}
