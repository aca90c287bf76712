// The main window from the embedded QML, set up as the start-up does, with a scene view that
// records what the window asks of it: titles, menus, actions and their enable rules, the
// dialogs and what they hand to the view, and the server dialog's remembered hosts.
#include <gtest/gtest.h>

#include <QTextDocument>

#include <QElapsedTimer>
#include <QIcon>
#include <QOpenGLContext>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQmlExpression>
#include <QQuickWindow>
#include <QSettings>
#include <QtQml>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "QmlResources.h"
#include "RunApplication.h"
#include "SceneView.h"
#include "ZeltVrApplication.h"

namespace {

// Records the openings the window asks for instead of running them.
class RecordingSceneView : public SceneView {
  Q_OBJECT

 public:
  explicit RecordingSceneView(QQuickItem* parent = nullptr) : SceneView(parent) {}

  struct ServerCall {
    QString host;
    int port;
    bool alwaysShowDialog;
  };
  static std::vector<ServerCall> serverCalls;
  static std::vector<QUrl> fileCalls;
  static int resets;

  Q_INVOKABLE QString openServerContinuation1(const QString& host, int port, bool alwaysShowDialog) {
    serverCalls.push_back({host, port, alwaysShowDialog});
    return QString();
  }
  Q_INVOKABLE QString openFileContinuation1(const QUrl& fileUrl) {
    fileCalls.push_back(fileUrl);
    return QString();
  }
  Q_INVOKABLE void reset() {
    ++resets;
    SceneView::reset();
  }
};
std::vector<RecordingSceneView::ServerCall> RecordingSceneView::serverCalls;
std::vector<QUrl> RecordingSceneView::fileCalls;
int RecordingSceneView::resets = 0;

// One main window as the start-up builds it.
struct MainWindow {
  std::unique_ptr<QQmlApplicationEngine> engine{new QQmlApplicationEngine};
  QQuickWindow* window = nullptr;
  SceneView* view = nullptr;
  bool connected = false;

  MainWindow() {
    QString error;
    window = LoadMainWindow(*engine, QUrl("qrc:///qml/App.qml"), error);
    if (!window) {
      ADD_FAILURE() << error.toStdString();
      return;
    }
    SetUpMainWindow(window);
    view = FindSceneView(window);
    if (!view) return;
    connected = ConnectSceneView(window, view, QCoreApplication::instance());
    view->createOffscreenSurface();
    view->setCommandLineArguments({});
    view->readSettingsDialog();
  }

  // Evaluates a QML expression where the window's ids are visible.
  QVariant eval(const QString& expression) {
    QQmlExpression e(qmlContext(window), window, expression);
    const QVariant value = e.evaluate();
    if (e.hasError()) ADD_FAILURE() << expression.toStdString() << ": " << e.error().toString().toStdString();
    return value;
  }
  std::string text(const QString& expression) { return eval(expression).toString().toStdString(); }
  bool flag(const QString& expression) { return eval(expression).toBool(); }
  QObject* child(const char* name) { return window->findChild<QObject*>(name); }

  // The server dialog's host list in model order.
  std::vector<std::string> hosts() {
    std::vector<std::string> out;
    QObject* box = child("hostBox");
    const int count = box->property("count").toInt();
    for (int i = 0; i < count; ++i) {
      QVariant text;
      QMetaObject::invokeMethod(box, "textAt", Q_RETURN_ARG(QVariant, text), Q_ARG(QVariant, i));
      out.push_back(text.toString().toStdString());
    }
    return out;
  }

  // Types a host (and a port) into the server dialog and presses Ok or Cancel.
  void connectTo(const QString& host, int port = -1, bool ok = true) {
    eval("serverDialog.open()");
    child("hostBox")->setProperty("editText", host);
    if (port >= 0) child("portField")->setProperty("value", port);
    eval(ok ? "serverDialog.click(StandardButton.Ok)" : "serverDialog.click(StandardButton.Cancel)");
  }

  std::string serializedHosts() { return text("serverDialog.serializedData"); }
};

class MainWindowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    char pattern[] = "/tmp/quonix-window-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    // The desktop settings of these tests stay in their own folder.
    setenv("XDG_CONFIG_HOME", pattern, 1);
    if (const char* bin = std::getenv("QUONIX_BIN_DIR")) setenv("QUONIX_BASE_DIR", bin, 1);
    SetUpQtEnvironment();
    static int argc = 0;
    app = new ZeltVrApplication(argc, nullptr);
    qmlRegisterType<RecordingSceneView>("SceneView", 1, 0, "SceneView");
    qputenv("QT_QUICK_CONTROLS_STYLE", "Base");
    InitQmlResources();
  }
  static void TearDownTestSuite() {
    delete app;
    app = nullptr;
  }
  void SetUp() override {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) GTEST_SKIP() << "needs a display (run under xvfb-run)";
    QSettings().clear();
    QSettings().sync();
    RecordingSceneView::serverCalls.clear();
    RecordingSceneView::fileCalls.clear();
    RecordingSceneView::resets = 0;
  }

  static void seedSettings(const QString& group, const QString& key, const QVariant& value) {
    QSettings settings;
    settings.beginGroup(group);
    settings.setValue(key, value);
    settings.endGroup();
    settings.sync();
  }

  static ZeltVrApplication* app;
};
ZeltVrApplication* MainWindowTest::app = nullptr;

// Processes events until the condition holds or a generous limit has passed.
template <typename Condition>
bool waitFor(Condition condition) {
  QElapsedTimer timer;
  timer.start();
  while (!condition()) {
    if (timer.elapsed() > 20000) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  }
  return true;
}

}  // namespace

TEST_F(MainWindowTest, WindowHasItsTitleSizeIconAndFormat) {
  MainWindow w;
  ASSERT_NE(w.window, nullptr);
  ASSERT_NE(w.view, nullptr);
  EXPECT_TRUE(w.connected);
  EXPECT_EQ(w.window->title().toStdString(), "Mavolin Quonix Virtual Reality");
  EXPECT_EQ(w.window->width(), 1280);
  EXPECT_EQ(w.window->height(), 720);
  EXPECT_FALSE(w.window->icon().isNull());
  EXPECT_FALSE(w.window->icon().availableSizes().isEmpty());
  EXPECT_EQ(w.view->objectName().toStdString(), "sceneView");
  EXPECT_FALSE(w.view->isVisible());
  EXPECT_EQ(w.view->width(), w.window->contentItem()->width());

  const QSurfaceFormat requested = w.window->requestedFormat();
  EXPECT_EQ(requested.swapInterval(), 0);
  EXPECT_EQ(requested.depthBufferSize(), 24);
  EXPECT_EQ(requested.stencilBufferSize(), 8);
  EXPECT_EQ(requested.profile(), QSurfaceFormat::CoreProfile);
  EXPECT_TRUE(w.window->isPersistentOpenGLContext());
  EXPECT_TRUE(w.window->isPersistentSceneGraph());

  bool swapped = false;
  QObject::connect(w.window, &QQuickWindow::frameSwapped, w.window, [&swapped] { swapped = true; },
                   Qt::QueuedConnection);
  w.window->show();
  ASSERT_TRUE(waitFor([&] { return swapped; })) << "the window never rendered";
  QOpenGLContext* context = w.window->openglContext();
  ASSERT_NE(context, nullptr);
  EXPECT_GE(context->format().depthBufferSize(), 24);
  EXPECT_GE(context->format().stencilBufferSize(), 8);
  w.window->hide();
}

TEST_F(MainWindowTest, CommandLineOpensOnceTheSceneGraphRuns) {
  {
    MainWindow w;
    w.view->setCommandLineArguments({L"/tmp/scene \x00e4.sce"});
    w.window->show();
    ASSERT_TRUE(waitFor([] { return !RecordingSceneView::fileCalls.empty(); }));
    EXPECT_EQ(RecordingSceneView::fileCalls[0], QUrl::fromLocalFile(QString::fromUtf8("/tmp/scene \xC3\xA4.sce")));
    EXPECT_TRUE(RecordingSceneView::serverCalls.empty());
    w.window->hide();
  }
  {
    MainWindow w;
    w.view->setCommandLineArguments({L"server.example", L"4000"});
    w.window->show();
    ASSERT_TRUE(waitFor([] { return !RecordingSceneView::serverCalls.empty(); }));
    EXPECT_EQ(RecordingSceneView::serverCalls[0].host.toStdString(), "server.example");
    EXPECT_EQ(RecordingSceneView::serverCalls[0].port, 4000);
    EXPECT_FALSE(RecordingSceneView::serverCalls[0].alwaysShowDialog);
    EXPECT_EQ(RecordingSceneView::fileCalls.size(), 1u);
    w.window->hide();
  }
}

TEST_F(MainWindowTest, MenusHoldTheActionsInOrder) {
  MainWindow w;
  const std::string menus = w.text(
      "(function() {"
      "  var out = [];"
      "  for (var i = 0; i < appWindow.menuBar.menus.length; ++i) {"
      "    var menu = appWindow.menuBar.menus[i];"
      "    var items = [];"
      "    for (var j = 0; j < menu.items.length; ++j)"
      "      items.push(menu.items[j].type === MenuItemType.Separator ? '-' : menu.items[j].text);"
      "    out.push(menu.title + ': ' + items.join(' | '));"
      "  }"
      "  return out.join('\\n');"
      "})()");
  EXPECT_EQ(menus,
            "&File: &Open | &Close | - | Connect | Disconnect | - | Switch Scene | - | &Quit\n"
            "&Tools: Settings... | Collaborative...\n"
            "&Help: About Mavolin Quonix Virtual Reality | Quick Start");
}

TEST_F(MainWindowTest, ActionsHaveTheirTextsShortcutsAndInitialStates) {
  MainWindow w;
  struct Case {
    const char* id;
    const char* text;
    const char* tooltip;
    const char* shortcut;
    bool enabled;
  };
  const Case cases[] = {
      {"openFileAction", "&Open", "Opens an .sce file", "Ctrl+O", true},
      {"closeFileAction", "&Close", "Closes current file", "Ctrl+F4", false},
      {"quitAction", "&Quit", "", "Ctrl+Q", true},
      {"aboutAction", "About Mavolin Quonix Virtual Reality", "", "F1", true},
      {"openServerAction", "Connect", "Connects to Quonix server", "Ctrl+C", true},
      {"closeServerAction", "Disconnect", "Disconnects from Quonix server", "Ctrl+D", false},
      {"switchSceneAction", "Switch Scene", "Switches current scene", "Ctrl+S", false},
      {"quickStartAction", "Quick Start", "Open Quickstart slides", "Ctrl+T", true},
      {"settingsAction", "Settings...", "", "", true},
      {"collaborativeAction", "Collaborative...", "", "", true},
  };
  for (const Case& c : cases) {
    const QString id = c.id;
    EXPECT_EQ(w.text(id + ".text"), c.text) << c.id;
    EXPECT_EQ(w.text(id + ".tooltip"), c.tooltip) << c.id;
    EXPECT_EQ(w.text("String(" + id + ".shortcut || '')"), c.shortcut) << c.id;
    EXPECT_EQ(w.flag(id + ".enabled"), c.enabled) << c.id;
  }
}

TEST_F(MainWindowTest, SceneViewSignalsAndCloseActionsSwitchTheActions) {
  MainWindow w;
  auto states = [&] {
    return std::string(w.flag("closeFileAction.enabled") ? "C" : "c") +
           (w.flag("closeServerAction.enabled") ? "D" : "d") + (w.flag("switchSceneAction.enabled") ? "S" : "s");
  };
  EXPECT_EQ(states(), "cds");
  emit w.view->openFileComplete();
  EXPECT_EQ(states(), "Cds");
  emit w.view->switchScenePossible();
  EXPECT_EQ(states(), "CdS");
  emit w.view->openServerComplete();
  EXPECT_EQ(states(), "CDS");

  // Opening a server scene disables Close and Disconnect until it completes.
  w.eval("appWindow.openServer('host', 5, false)");
  EXPECT_EQ(states(), "cdS");
  ASSERT_EQ(RecordingSceneView::serverCalls.size(), 1u);
  EXPECT_EQ(RecordingSceneView::serverCalls[0].host.toStdString(), "host");
  EXPECT_EQ(RecordingSceneView::serverCalls[0].port, 5);
  EXPECT_FALSE(RecordingSceneView::serverCalls[0].alwaysShowDialog);

  // Opening a file disables all three.
  emit w.view->openServerComplete();
  w.eval("appWindow.openFile('file:///tmp/a.sce')");
  EXPECT_EQ(states(), "cds");
  ASSERT_EQ(RecordingSceneView::fileCalls.size(), 1u);
  EXPECT_EQ(RecordingSceneView::fileCalls[0].toString().toStdString(), "file:///tmp/a.sce");

  // Close and Disconnect disable themselves and Switch Scene, and reset the view.
  emit w.view->openFileComplete();
  emit w.view->switchScenePossible();
  w.eval("closeFileAction.trigger()");
  EXPECT_EQ(states(), "cds");
  EXPECT_EQ(RecordingSceneView::resets, 1);
  emit w.view->openServerComplete();
  emit w.view->switchScenePossible();
  w.eval("closeServerAction.trigger()");
  EXPECT_EQ(states(), "cds");
  EXPECT_EQ(RecordingSceneView::resets, 2);
}

// Error boxes guess rich text; texts from files and servers must read as they are, and an image
// tag must not become an image.
TEST_F(MainWindowTest, ErrorTextsWithMarkupShowAsTheyAre) {
  MainWindow w;
  const QString texts[] = {"Scene <img src=\"http://127.0.0.1:9/x.png\"> is <b>gone</b>", "Heat & Mass, R&D",
                           "a < b\nand <font color=red>red</font>"};
  for (const QString& text : texts) {
    emit w.view->errorMessage(text);
    const QString shown = QString::fromStdString(w.text("errorDialog.text"));
    QString read = shown;
    if (Qt::mightBeRichText(shown)) {
      QTextDocument document;
      document.setHtml(shown);
      read = document.toPlainText();
      EXPECT_FALSE(shown.contains("<img")) << shown.toStdString();
    }
    EXPECT_EQ(read.toStdString(), text.toStdString());
    w.eval("errorDialog.accept()");
  }
}

TEST_F(MainWindowTest, ErrorSignalsOpenTheirBoxesAndTheFatalOneQuits) {
  MainWindow w;
  int quits = 0;
  QObject::connect(w.engine.get(), &QQmlEngine::quit, [&quits] { ++quits; });

  emit w.view->errorMessage("The file could not be opened");
  EXPECT_EQ(w.text("errorDialog.text"), "The file could not be opened");
  EXPECT_TRUE(w.flag("errorDialog.visible"));
  EXPECT_EQ(w.text("errorDialog.title"), "Mavolin Quonix Virtual Reality");
  w.eval("errorDialog.accept()");
  EXPECT_EQ(quits, 0);

  emit w.view->fatalError("VR hardware could not be initialized");
  EXPECT_EQ(w.text("fatalDialog.text"), "VR hardware could not be initialized");
  EXPECT_TRUE(w.flag("fatalDialog.visible"));
  w.eval("fatalDialog.reject()");  // the window's close button
  EXPECT_EQ(quits, 1);
  emit w.view->fatalError("again");
  w.eval("fatalDialog.accept()");
  EXPECT_EQ(quits, 2);
}

TEST_F(MainWindowTest, AboutShowsTheViewsText) {
  MainWindow w;
  w.eval("aboutAction.trigger()");
  QObject* about = w.child("aboutDialog");
  ASSERT_NE(about, nullptr);
  EXPECT_TRUE(about->property("visible").toBool());
  EXPECT_EQ(about->property("title").toString().toStdString(), "About Mavolin Quonix Virtual Reality");
  EXPECT_EQ(about->property("width").toInt(), 400);
  EXPECT_EQ(about->property("height").toInt(), 300);
  const std::string text = w.child("aboutText")->property("text").toString().toStdString();
  EXPECT_NE(text.find("VR hardware vendor: unknown"), std::string::npos) << text;
  QMetaObject::invokeMethod(w.child("aboutOkButton"), "clicked");
  EXPECT_FALSE(about->property("visible").toBool());
}

TEST_F(MainWindowTest, FirstStartGivesTheViewTheDialogDefaults) {
  MainWindow w;
  const SceneViewSettings s = w.view->settingsSnapshot();
  EXPECT_DOUBLE_EQ(s.volumeRenderingQuality, 0.5);
  EXPECT_DOUBLE_EQ(s.isoSurfaceOpacity, 0.1);
  EXPECT_TRUE(s.accurateVolumeClipping);
  EXPECT_DOUBLE_EQ(s.floorTexScale, 1.0);
  EXPECT_DOUBLE_EQ(s.ceilTexScale, 1.0);
  EXPECT_DOUBLE_EQ(s.snappingAngle, 10.0);
  EXPECT_DOUBLE_EQ(s.sceneMinificationFactor, 1.0 / 20.0);
  EXPECT_DOUBLE_EQ(s.sceneMagnificationLimit, 20000.0);
  EXPECT_FALSE(s.swapLeftRight);
  EXPECT_FALSE(s.preserveOrientation);
  // Both texture fields show the default texture as a file URL.
  const std::string defaultUrl = QUrl::fromLocalFile(QString::fromStdString(s.floorTexFileName)).toString().toStdString();
  EXPECT_NE(s.floorTexFileName.find("/vrassets/hex-texture.png"), std::string::npos);
  EXPECT_EQ(w.child("floorTexFileName")->property("text").toString().toStdString(), defaultUrl);
  EXPECT_EQ(w.child("ceilTexFileName")->property("text").toString().toStdString(), defaultUrl);
  // The file dialogs open in the asset folder.
  const std::string folder = w.child("floorTexFileDialog")->property("folder").toUrl().toLocalFile().toStdString();
  EXPECT_NE(folder.find("vrassets"), std::string::npos) << folder;
  EXPECT_EQ(w.view->collaborativeShareMask(), 63);
}

TEST_F(MainWindowTest, StoredLimitIsTakenAtStartUpAndBoundedOnOk) {
  seedSettings("mySettings", "maxSceneMagnification", "0.5");
  MainWindow w;
  EXPECT_DOUBLE_EQ(w.view->settingsSnapshot().sceneMagnificationLimit, 0.5);
  w.eval("settingsAction.trigger()");
  w.eval("settingsDialog.accept()");
  EXPECT_EQ(w.text("settingsDialog.maxSceneMagnification"), "1.0");
  EXPECT_DOUBLE_EQ(w.view->settingsSnapshot().sceneMagnificationLimit, 1.0);
}

TEST_F(MainWindowTest, SettingsOkHandsTheValuesToTheViewAndCancelRestores) {
  MainWindow w;
  w.eval("settingsAction.trigger()");
  EXPECT_TRUE(w.flag("settingsDialog.visible"));
  w.child("volumeRenderingQuality")->setProperty("value", 0.8);
  w.child("swapLeftRight")->setProperty("checked", true);
  w.child("adoptSceneView")->setProperty("checked", true);
  w.child("floorTexScale")->setProperty("text", "0.0001");
  w.child("ceilTexScale")->setProperty("text", "3");
  w.child("maxSceneMinification")->setProperty("text", "");
  w.child("floorTexFileName")->setProperty("text", "file:///tmp/floor.png");
  w.eval("settingsDialog.accept()");
  EXPECT_FALSE(w.flag("settingsDialog.visible"));
  SceneViewSettings s = w.view->settingsSnapshot();
  EXPECT_DOUBLE_EQ(s.volumeRenderingQuality, 0.8);
  EXPECT_TRUE(s.swapLeftRight);
  EXPECT_TRUE(s.preserveOrientation);
  EXPECT_DOUBLE_EQ(s.floorTexScale, 0.001);  // raised to the lower bound
  EXPECT_DOUBLE_EQ(s.ceilTexScale, 3.0);
  EXPECT_DOUBLE_EQ(s.sceneMinificationFactor, 1.0 / 20.0);  // the empty limit came back from the saved value
  EXPECT_EQ(s.floorTexFileName, "/tmp/floor.png");

  w.eval("settingsAction.trigger()");
  w.child("volumeRenderingQuality")->setProperty("value", 0.2);
  w.child("swapLeftRight")->setProperty("checked", false);
  w.eval("settingsDialog.reject()");
  EXPECT_DOUBLE_EQ(w.child("volumeRenderingQuality")->property("value").toDouble(), 0.8);
  EXPECT_TRUE(w.child("swapLeftRight")->property("checked").toBool());
  EXPECT_DOUBLE_EQ(w.view->settingsSnapshot().volumeRenderingQuality, 0.8);
}

TEST_F(MainWindowTest, SharedSettingsOkHandsTheMaskToTheViewAndCancelRestores) {
  MainWindow w;
  w.eval("collaborativeAction.trigger()");
  EXPECT_TRUE(w.flag("collaborativeDialog.visible"));
  w.child("flyModeIsShared")->setProperty("checked", false);
  w.child("particleSpeedFactorIsShared")->setProperty("checked", false);
  w.eval("collaborativeDialog.accept()");
  EXPECT_EQ(w.view->collaborativeShareMask(), 63 & ~2 & ~32);

  w.eval("collaborativeAction.trigger()");
  w.child("hudIsShared")->setProperty("checked", false);
  w.eval("collaborativeDialog.reject()");
  EXPECT_TRUE(w.child("hudIsShared")->property("checked").toBool());
  EXPECT_EQ(w.view->collaborativeShareMask(), 63 & ~2 & ~32);
}

TEST_F(MainWindowTest, ServerDialogKeepsFiveMostRecentHostsNewestFirst) {
  MainWindow w;
  EXPECT_EQ(w.hosts(), (std::vector<std::string>{"localhost"}));
  EXPECT_EQ(w.text("serverDialog.title"), "Mavolin Quonix Virtual Reality server dialog");
  EXPECT_EQ(w.child("portField")->property("value").toInt(), 47827);

  for (const char* host : {"h1", "h2", "h3", "h4", "h5"}) w.connectTo(host);
  EXPECT_EQ(w.hosts(), (std::vector<std::string>{"h5", "h4", "h3", "h2", "h1"}));
  w.connectTo("h3");  // a remembered host moves to the top
  EXPECT_EQ(w.hosts(), (std::vector<std::string>{"h3", "h5", "h4", "h2", "h1"}));
  w.connectTo("h6", 5000);  // a sixth drops the oldest
  EXPECT_EQ(w.hosts(), (std::vector<std::string>{"h6", "h3", "h5", "h4", "h2"}));
  EXPECT_EQ(w.serializedHosts(),
            "[{\"text\":\"h6\"},{\"text\":\"h3\"},{\"text\":\"h5\"},{\"text\":\"h4\"},{\"text\":\"h2\"}]");

  ASSERT_EQ(RecordingSceneView::serverCalls.size(), 7u);
  EXPECT_EQ(RecordingSceneView::serverCalls.back().host.toStdString(), "h6");
  EXPECT_EQ(RecordingSceneView::serverCalls.back().port, 5000);
  EXPECT_FALSE(RecordingSceneView::serverCalls.back().alwaysShowDialog);

  // Cancel changes neither the list nor the port.
  w.connectTo("other", 6000, false);
  EXPECT_EQ(w.hosts(), (std::vector<std::string>{"h6", "h3", "h5", "h4", "h2"}));
  EXPECT_EQ(RecordingSceneView::serverCalls.size(), 7u);

  // An empty host is not connected to and not remembered.
  w.connectTo("   ");
  EXPECT_EQ(RecordingSceneView::serverCalls.size(), 7u);
  EXPECT_EQ(w.hosts(), (std::vector<std::string>{"h6", "h3", "h5", "h4", "h2"}));
}

TEST_F(MainWindowTest, ServerDialogRestoresHostsAndPortOfTheLastRun) {
  {
    MainWindow first;
    first.connectTo("alpha", 4242);
    first.connectTo("bravo");
    // An edit that is cancelled is neither kept in the dialog nor stored.
    first.connectTo("charlie", 5151, false);
    first.eval("serverDialog.open()");
    EXPECT_EQ(first.child("portField")->property("value").toInt(), 4242);
    first.eval("serverDialog.click(StandardButton.Cancel)");
  }  // the settings are written when the window goes
  MainWindow second;
  EXPECT_EQ(second.hosts(), (std::vector<std::string>{"bravo", "alpha", "localhost"}));
  EXPECT_EQ(second.child("portField")->property("value").toInt(), 4242);
  EXPECT_EQ(second.child("hostBox")->property("currentText").toString().toStdString(), "bravo");
}

TEST_F(MainWindowTest, UnusableSavedHostListsAreIgnoredOrCleaned) {
  struct Case {
    const char* saved;
    std::vector<std::string> hosts;
  };
  const Case cases[] = {
      {"not json", {"localhost"}},
      {"{\"text\":\"a\"}", {"localhost"}},
      {"[]", {"localhost"}},
      {"[{\"text\":\"\"}, {\"x\":1}, null, 5, \"plain\", {\"text\":\"  \"}, {\"text\":7}]", {"localhost"}},
      {"[{\"text\":\"a\"}, {\"text\":\"\"}, {\"text\":\"b\"}, {\"text\":\"a\"}]", {"a", "b"}},
      {"[{\"text\":\"1\"},{\"text\":\"2\"},{\"text\":\"3\"},{\"text\":\"4\"},{\"text\":\"5\"},{\"text\":\"6\"}]",
       {"1", "2", "3", "4", "5"}},
  };
  for (const Case& c : cases) {
    QSettings().clear();
    seedSettings("serverConnection", "serializedData", QString::fromUtf8(c.saved));
    MainWindow w;
    EXPECT_EQ(w.hosts(), c.hosts) << c.saved;
  }
}

#include "MainWindowTest.moc"
