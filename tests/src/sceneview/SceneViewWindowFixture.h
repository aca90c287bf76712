#pragma once
// A scene view in a real Qt Quick window on the threaded render loop, with the simulated
// headset, connected as the program's start-up connects it.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QQuickWindow>
#include <QString>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "RunApplication.h"
#include "SceneView.h"
#include "VRSimulator.h"

class SceneViewWindowFixture : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    SetUpQtEnvironment();
    static int argc = 0;
    app = new QGuiApplication(argc, nullptr);
  }
  static void TearDownTestSuite() {
    delete app;
    app = nullptr;
  }

  void SetUp() override {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) GTEST_SKIP() << "needs a display (run under xvfb-run)";
  }
  void TearDown() override {
    delete window;  // the scene graph goes first (render thread), then the view
    window = nullptr;
    vrsim::useScriptFile();
  }

  // Shows the window with its view and waits for its first frame.
  void open(const std::string& script = "rate 0\n", const std::vector<std::wstring>& arguments = {}) {
    vrsim::useScript(script, "scene-view-window-test");
    window = new QQuickWindow;
    SetUpMainWindow(window);
    window->resize(320, 240);
    view = new SceneView(window->contentItem());
    view->setSize(QSizeF(320, 240));
    ASSERT_TRUE(ConnectSceneView(window, view, app));
    QObject::connect(window, &QQuickWindow::beforeRendering, window, [this] { ++frames; }, Qt::DirectConnection);
    QObject::connect(view, &SceneView::fatalError, view, [this](const QString& e) { fatalError = e; });
    QObject::connect(view, &SceneView::errorMessage, view, [this](const QString& e) { errorMessage = e; });
    view->createOffscreenSurface();
    view->setCommandLineArguments(arguments);
    window->show();
    waitFor([this] { return frames > 0; });
  }

  template <class Condition>
  bool waitFor(Condition condition, int milliseconds = 20000) {
    QElapsedTimer timer;
    timer.start();
    while (!condition() && timer.elapsed() < milliseconds) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return condition();
  }

  static inline QGuiApplication* app = nullptr;
  QQuickWindow* window = nullptr;
  SceneView* view = nullptr;
  std::atomic<int> frames{0};
  QString fatalError;
  QString errorMessage;
};
