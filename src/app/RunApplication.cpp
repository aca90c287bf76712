#include "RunApplication.h"

#include <QDir>
#include <QFile>
#include <QFont>
#include <QFontDatabase>
#include <QIcon>
#include <QQmlApplicationEngine>
#include <QQuickWindow>
#include <QSurfaceFormat>
#include <QtQml>

#include <iostream>
#include <memory>

#include "Logger.h"
#include "MessageHandler.h"
#include "Platform.h"
#include "QmlResources.h"
#include "QtConsoleOutput.h"
#include "SceneView.h"
#include "SignalQuitter.h"
#include "StringHelper.h"
#include "ZeltVrApplication.h"
#include "ZeltviewSiteSettings.h"
#include "kvg/FreeTypeFontManager.h"

#ifdef QUONIX_HAVE_FREEZABLE_PIPELINE
#include "FreezablePipeline.h"
#endif

namespace {
const char* const kMainQml = "qrc:///qml/App.qml";
const char* const kWindowIcon = ":/qml/quonixvr.ico";
const char* const kFontFile = "kelmar_global_roman.ttf";

std::wstring applicationDirectory() {
  return StringHelper::toWString(QCoreApplication::applicationDirPath().toUtf8().toStdString());
}
}  // namespace

bool IsUsageRequested(const std::vector<std::wstring>& arguments) {
  // Nobody asking for help means a host named "--help".
  if (!arguments.empty() && (arguments[0] == L"--help" || arguments[0] == L"/?")) return true;
  return arguments.size() > 2;
}

void PrintUsage(std::ostream& out) {
  out << "Usage: 1) quonixvr" << std::endl;
  out << "       2) quonixvr filename.sce" << std::endl;
  out << "       3) quonixvr hostname portnumber" << std::endl;
}

void SetUpQtEnvironment() {
  Platform::system().setEnvironmentVariable("QSG_RENDER_LOOP", "threaded");

  QSurfaceFormat format;
  format.setRenderableType(QSurfaceFormat::OpenGL);
  format.setOption(QSurfaceFormat::DeprecatedFunctions);
  format.setProfile(QSurfaceFormat::CoreProfile);
  format.setMajorVersion(3);
  format.setMinorVersion(3);
  QSurfaceFormat::setDefaultFormat(format);

  qInstallMessageHandler(&MessageHandler);

  // These key the desktop settings store of the QML dialogs.
  QCoreApplication::setOrganizationName("Kelmar Software");
  QCoreApplication::setOrganizationDomain("kelmar-software.example");
  QCoreApplication::setApplicationName("Mavolin Quonix Virtual Reality");

  Logger& logger = Logger::getSingleton();
  logger.setFlags(logger.getFlags() | Logger::Warning | Logger::Error);
  logger.setOutput(new QtConsoleOutput);
}

void RegisterQmlTypes() { qmlRegisterType<SceneView>("SceneView", 1, 0, "SceneView"); }

void LoadApplicationFont() {
  const QString fontDir = QCoreApplication::applicationDirPath() + "/font";
  // The scene graph's labels take their font from the folder (the view picks it at its start).
  if (!kvg::FreeTypeFontManager::getSingleton().addFontDirectory(
          StringHelper::toWString(fontDir.toUtf8().toStdString()), false))
    Logger::getSingleton().warning("Font folder " + fontDir.toStdString() +
                                   " holds no font; labels use the built-in stroke font");
  const QString fontFile = fontDir + "/" + kFontFile;
  if (!QFile::exists(fontFile)) {
    Logger::getSingleton().warning("Font " + fontFile.toStdString() + " not found; using the default font");
    return;
  }
  const int id = QFontDatabase::addApplicationFont(fontFile);
  const QStringList families = id < 0 ? QStringList() : QFontDatabase::applicationFontFamilies(id);
  if (families.isEmpty()) {
    Logger::getSingleton().warning("Font " + fontFile.toStdString() + " has no font family; using the default font");
    return;
  }
  QApplication::setFont(QFont(families.first(), 10));
}

QQuickWindow* LoadMainWindow(QQmlApplicationEngine& engine, const QUrl& url, QString& error) {
  engine.load(url);
  const QList<QObject*> roots = engine.rootObjects();
  if (roots.isEmpty()) {
    error = "The main window could not be loaded from " + url.toString();
    return nullptr;
  }
  QQuickWindow* window = qobject_cast<QQuickWindow*>(roots.first());
  if (!window) error = "The root object of " + url.toString() + " is not a window";
  return window;
}

void SetUpMainWindow(QQuickWindow* window) {
  // A fresh QSurfaceFormat would lose Qt Quick's depth and stencil buffers.
  QSurfaceFormat format = QSurfaceFormat::defaultFormat();
  format.setSwapInterval(0);
  if (format.depthBufferSize() < 24) format.setDepthBufferSize(24);
  if (format.stencilBufferSize() < 8) format.setStencilBufferSize(8);
  window->setFormat(format);
  window->setPersistentOpenGLContext(true);
  window->setPersistentSceneGraph(true);
  window->setIcon(QIcon(kWindowIcon));
  window->setWindowState(Qt::WindowNoState);
}

SceneView* FindSceneView(QQuickWindow* window) {
  return window ? window->findChild<SceneView*>("sceneView") : nullptr;
}

bool ConnectSceneView(QQuickWindow* window, SceneView* view, QCoreApplication* application) {
  // Direct: the scene-graph slots run on the render thread that emits the signals.
  bool ok = true;
  ok &= bool(QObject::connect(window, SIGNAL(sceneGraphInitialized()), view, SLOT(onSceneGraphInitialized()),
                              Qt::DirectConnection));
  ok &= bool(QObject::connect(window, SIGNAL(sceneGraphInvalidated()), view, SLOT(onSceneGraphInvalidated()),
                              Qt::DirectConnection));
  ok &= bool(QObject::connect(window, SIGNAL(beforeRendering()), view, SLOT(onBeforeRendering()),
                              Qt::DirectConnection));
  ok &= bool(QObject::connect(window, SIGNAL(frameSwapped()), view, SLOT(onFrameSwapped()), Qt::DirectConnection));
  ok &= bool(QObject::connect(window, SIGNAL(beforeSynchronizing()), view, SLOT(onBeforeSynchronizing()),
                              Qt::DirectConnection));
  ok &= bool(QObject::connect(application, SIGNAL(aboutToQuit()), view, SLOT(onAboutToQuit()),
                              Qt::DirectConnection));
  return ok;
}

int RunApplication(const std::vector<std::wstring>& arguments) { return RunApplication(arguments, QUrl(kMainQml)); }

int RunApplication(const std::vector<std::wstring>& arguments, const QUrl& mainQml) {
  if (IsUsageRequested(arguments)) {
    PrintUsage(std::cout);
    return 1;
  }

  SetUpQtEnvironment();

  // Qt sees no command-line options.
  static int argc = 0;
  ZeltVrApplication application(argc, nullptr);
  SignalQuitter signalQuitter;

  std::unique_ptr<QQmlApplicationEngine> engine(new QQmlApplicationEngine);
  RegisterQmlTypes();
  QCoreApplication::setAttribute(Qt::AA_DisableWindowContextHelpButton, true);

  LoadApplicationFont();
  qputenv("QT_QUICK_CONTROLS_STYLE", "Base");

  InitQmlResources();
  QString error;
  QQuickWindow* window = LoadMainWindow(*engine, mainQml, error);
  if (!window) {
    std::cerr << error.toStdString() << std::endl;
    return kStartUpFailureExitCode;
  }
  SetUpMainWindow(window);

  SceneView* view = FindSceneView(window);
  if (!view) {
    std::cerr << "The main window has no SceneView item named \"sceneView\"" << std::endl;
    return kStartUpFailureExitCode;
  }
  if (!ConnectSceneView(window, view, &application)) {
    std::cerr << "The main window could not be connected to its scene view" << std::endl;
    return kStartUpFailureExitCode;
  }

  // A signal that arrives while a scene opens must not wait for a server that does not answer.
  QObject::connect(&signalQuitter, &SignalQuitter::quitRequested, view, &SceneView::interruptServerRequests);
  view->createOffscreenSurface();
  view->setCommandLineArguments(arguments);
  view->readSettingsDialog();

#ifdef QUONIX_HAVE_FREEZABLE_PIPELINE
  // Every VTK algorithm created from here on may be frozen per thread.
  FreezablePipeline::InstallAsDefault();
#endif

  ZeltviewSiteSettings::getSingleton().setApplicationHome(applicationDirectory());
  view->setUpAnalytics();

  window->show();
  const int result = application.exec();

  // The engine tears down the scene graph and the view before the application object goes.
  engine.reset();
  return result;
}
