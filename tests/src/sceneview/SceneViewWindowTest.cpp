// The scene view in a real Qt Quick window on the threaded render loop, with the simulated
// headset: frames skipped while the GUI thread holds the view are paced, a reset returns
// whether or not a frame is in flight, a failed start-up leaves nothing to touch, the settings
// record is published whole, and a reset releases what the buffers held
// and leaves the render thread unfrozen for the next scene.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QMutex>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QQuickWindow>
#include <QUrl>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <vtkRenderer.h>

#include "FreezablePipeline.h"
#include "OpenVRRenderWindow.h"
#include "SceneView.h"
#include "SceneViewWindowFixture.h"
#include "VRSimulator.h"
#include "kvg/OpenGLRenderer.h"

class SceneViewProbe {
 public:
  static QRecursiveMutex& viewMutex(SceneView& v) { return v._viewMutex; }
  static bool hasGraphics(const SceneView& v) { return v.hasGraphics(); }
  static bool sceneShown(const SceneView& v) { return v._sceneResourcesReady[v._activeIndex]; }
  static int port(const SceneView& v) { return v._port; }
  static int layerProps(SceneView& v) {
    int count = 0;
    for (auto& w : v._renderWindows)
      if (w)
        for (int layer = 0; layer < 3; ++layer) count += w->GetLayerRenderer(layer)->GetViewProps()->GetNumberOfItems();
    return count;
  }
  static QString checkOpenGL(QOpenGLContext* context) { return SceneView::checkOpenGL(context); }
  static QString checkOpenGL(QOpenGLContext* context, bool direct) { return SceneView::checkOpenGL(context, direct); }
  static bool buffersEmpty(const SceneView& v) {
    return !v._interactionStates[0] && !v._interactionStates[1] && !v._drawableScenes[0] && !v._drawableScenes[1];
  }
};

namespace {

class SceneViewWindow : public SceneViewWindowFixture {
 protected:
  // The test scene with one frame set of one frame opens without a picker.
  void openScene() {
    const std::string scene = std::string(std::getenv("QUONIX_BIN_DIR")) + "/../tests/scenes/one_set_one_frame.sce";
    EXPECT_EQ(view->openFileContinuation1(QUrl::fromLocalFile(QString::fromStdString(scene))), QString());
    ASSERT_TRUE(waitFor([this] { return SceneViewProbe::sceneShown(*view); }));
    const uint64_t submitted = vrsim::submittedFrameCount();
    ASSERT_TRUE(waitFor([&] { return vrsim::submittedFrameCount() > submitted + 3; }));
  }

};

}  // namespace

TEST_F(SceneViewWindow, ResetReturnsWithNoFrameInFlight) {
  open();
  ASSERT_TRUE(SceneViewProbe::hasGraphics(*view));
  // Nothing shown: no frame is asked for until the reset asks for one.
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  view->reset();
  view->reset();
  EXPECT_EQ(SceneViewProbe::port(*view), -1);
  EXPECT_TRUE(SceneViewProbe::buffersEmpty(*view));
}

TEST_F(SceneViewWindow, ResetWhileAShownSceneRendersReleasesTheBuffers) {
  open();
  openScene();
  EXPECT_GT(SceneViewProbe::layerProps(*view), 0);
  // The render thread's pipeline freeze flag as a frame finds it, after the view's own slot. A
  // static that the slot names without capturing anything: the slot outlives the test's scope
  // until the window goes, and Qt hands the connection to the render thread under its own lock,
  // which the thread sanitizer does not see.
  static std::atomic<int> frozen{-1};
  frozen = -1;
  QObject::connect(window, &QQuickWindow::beforeRendering, window,
                   [] { frozen = FreezablePipeline::IsThreadFrozen() ? 1 : 0; }, Qt::DirectConnection);
  ASSERT_TRUE(waitFor([&] { return frozen == 1; }));
  view->reset();
  EXPECT_TRUE(SceneViewProbe::buffersEmpty(*view));
  EXPECT_EQ(SceneViewProbe::layerProps(*view), 0);
  // Frozen after every frame of a shown scene, the render thread starts the next scene unfrozen,
  // as it started the first.
  frozen = -1;
  window->update();
  ASSERT_TRUE(waitFor([&] { return frozen != -1; }));
  EXPECT_EQ(frozen, 0);
  // The view is whole again: the scene opens a second time.
  openScene();
}

TEST_F(SceneViewWindow, FramesSkippedWhileTheViewIsHeldArePaced) {
  open();
  openScene();
  const int before = frames;
  {
    // As a long GUI operation does: the render thread finds the view busy for 500 ms.
    QMutexLocker hold(&SceneViewProbe::viewMutex(*view));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
  }
  const int skipped = frames - before;
  // Each skipped frame waits 10 ms before it asks for the next: at most about 50 in 500 ms,
  // where an unpaced render thread runs hundreds.
  EXPECT_LE(skipped, 60);
  EXPECT_GE(skipped, 10);
  // Drawing resumes once the view is free.
  const uint64_t submitted = vrsim::submittedFrameCount();
  EXPECT_TRUE(waitFor([&] { return vrsim::submittedFrameCount() > submitted + 3; }));
}

TEST_F(SceneViewWindow, FailedHeadsetStartLeavesNothingToTouch) {
  open("fail init 108\n");
  EXPECT_TRUE(waitFor([this] { return !fatalError.isEmpty(); }));
  EXPECT_TRUE(fatalError.startsWith("VR hardware could not be initialized (")) << fatalError.toStdString();
  EXPECT_TRUE(fatalError.endsWith("). Mavolin Quonix Virtual Reality cannot be launched.")) << fatalError.toStdString();
  EXPECT_FALSE(SceneViewProbe::hasGraphics(*view));
  // Reset, frames and the shut-down run without contexts or render windows.
  view->reset();
  window->update();
  const int before = frames;
  EXPECT_TRUE(waitFor([&] { return frames > before; }));
}

TEST_F(SceneViewWindow, SettingsRecordIsPublishedWhole) {
  open();
  std::atomic<bool> done{false};
  std::atomic<int> torn{0};
  // Readers on another thread see the floor and ceiling files of one call together.
  std::thread reader([&] {
    while (!done) {
      const SceneViewSettings s = view->settingsSnapshot();
      if (s.floorTexFileName.size() != s.ceilTexFileName.size()) ++torn;
    }
  });
  for (int i = 0; i < 2000; ++i) {
    const QString file = QUrl::fromLocalFile(QString("/textures/") + QString(i % 2 ? 40 : 3, 'a') + ".png").toString();
    view->settings(0.5, "1", "1", false, file, file, false, false, 0.1, 15, "1", "1");
  }
  done = true;
  reader.join();
  EXPECT_EQ(torn, 0);
}

TEST_F(SceneViewWindow, UnusablePortArgumentIsReportedNotThrown) {
  // The render thread acts on the command line; a port that is no number ends in an error box.
  open("rate 0\n", {L"localhost", L"port"});
  EXPECT_TRUE(waitFor([this] { return !errorMessage.isEmpty(); }));
  EXPECT_EQ(errorMessage, "Invalid port number \"port\"");
  EXPECT_TRUE(SceneViewProbe::hasGraphics(*view));
}

// The start-up's OpenGL checks: Mesa's software rasterizer under Xvfb is a direct context and
// passes; an indirect context, or none, gets its own fatal text.
TEST(SceneViewOpenGLCheck, DirectContextsPassAndIndirectOnesAreRefused) {
  if (qEnvironmentVariableIsEmpty("DISPLAY")) GTEST_SKIP() << "needs a display (run under xvfb-run)";
  int argc = 1;
  char name[] = "test";
  char* argv[] = {name, nullptr};
  std::unique_ptr<QGuiApplication> app;
  if (!QCoreApplication::instance()) app = std::make_unique<QGuiApplication>(argc, argv);
  QSurfaceFormat format;
  format.setVersion(3, 3);
  format.setProfile(QSurfaceFormat::CoreProfile);
  QOffscreenSurface surface;
  surface.setFormat(format);
  surface.create();
  QOpenGLContext context;
  context.setFormat(format);
  ASSERT_TRUE(context.create());
  ASSERT_TRUE(context.makeCurrent(&surface));
  EXPECT_EQ(SceneViewProbe::checkOpenGL(&context).toStdString(), "");
  EXPECT_EQ(SceneViewProbe::checkOpenGL(&context, false).toStdString(), "OpenGL context is not hardware accelerated");
  EXPECT_EQ(SceneViewProbe::checkOpenGL(nullptr).toStdString(), "No OpenGL context");
  context.doneCurrent();
}
