// The scene view on the sample scene (sample_vr.sce, first frame set, first frame) against the
// simulated headset running unpaced:
//   - time from the start of the program to the first frame submitted to the compositor, with
//     the moments the scene graph started and the scene was loaded;
//   - the steady frame time of the view (everything a frame does: interaction update, both
//     eyes, mirror, submission, Qt Quick's own frame) against a bare OpenVRRenderWindow stereo
//     frame of the same scene at the same eye size and sampling, and their ratio.
//
// Usage: bench_sceneview [frames (default 60)]. Needs a display (Xvfb is fine); reads the
// configuration and assets beside the program (QUONIX_BASE_DIR moves them).
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QQuickWindow>
#include <QUrl>

#include <openvr.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

#include <vtkRenderer.h>

#include "OpenVRRenderWindow.h"
#include "RecordsManager.h"
#include "RenderLock.h"
#include "RunApplication.h"
#include "SceneGlState.h"
#include "SceneView.h"
#include "VRSimulator.h"
#include "kvg/DrawableScene.h"
#include "kvg/DrawableSession.h"
#include "kvg/GenericWindowResourceManager.h"
#include "kvg/RendererNodeStream.h"
#include "kvg/RendererObjectRegistryBase.h"
#include "kvg/SDBReader.h"
#include "kvg/SceneCanvasRenderer.h"

namespace {
using Clock = std::chrono::steady_clock;
const Clock::time_point kStart = Clock::now();

double msSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

template <class Condition>
bool waitFor(Condition condition, int milliseconds = 120000) {
  QElapsedTimer timer;
  timer.start();
  while (!condition() && timer.elapsed() < milliseconds) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return condition();
}

std::string samplePath() {
  return QFileInfo(QCoreApplication::applicationDirPath() + "/../bin/sample_vr.sce").canonicalFilePath().toStdString();
}

// The view's steady frame time: wall time over `frames` submitted frames after `warmup`.
struct ViewFigures {
  double graphicsReady = 0, loaded = 0, firstFrame = 0, frameMs = 0;
  int eyeWidth = 0, eyeHeight = 0;
};

bool runView(int frames, int warmup, ViewFigures& figures) {
  std::atomic<int> rendered{0};
  auto* window = new QQuickWindow;
  SetUpMainWindow(window);
  window->resize(1280, 720);
  auto* view = new SceneView(window->contentItem());
  view->setSize(QSizeF(1280, 720));
  if (!ConnectSceneView(window, view, QCoreApplication::instance())) return false;
  QObject::connect(window, &QQuickWindow::beforeRendering, window, [&rendered] { ++rendered; }, Qt::DirectConnection);
  view->createOffscreenSurface();
  window->show();
  if (!waitFor([&] { return rendered > 0; })) return false;
  figures.graphicsReady = msSince(kStart);

  // The pickers' choices as the user makes them: first frame set, first frame.
  const QUrl url = QUrl::fromLocalFile(QString::fromStdString(samplePath()));
  view->openFileContinuation1(url);
  kvg::SDBReader reader;
  if (reader.open(QString::fromStdString(samplePath()).toStdWString()) != 0) return false;
  const QString title = QString::fromStdString(RecordsManager(reader).getFramesetTitle(0));
  view->openFileContinuation2(title, 0);
  view->openFileContinuation3(title, 0, 0);
  figures.loaded = msSince(kStart);
  if (!waitFor([] { return vrsim::submittedFrameCount() >= 1; })) return false;
  figures.firstFrame = msSince(kStart);

  const uint64_t begin = vrsim::submittedFrameCount() + warmup;
  if (!waitFor([&] { return vrsim::submittedFrameCount() >= begin; })) return false;
  const Clock::time_point start = Clock::now();
  if (!waitFor([&] { return vrsim::submittedFrameCount() >= begin + frames; })) return false;
  figures.frameMs = msSince(start) / frames;
  uint32_t w = 0, h = 0;
  GetRecommendedRenderTargetSize(w, h);
  figures.eyeWidth = static_cast<int>(w);
  figures.eyeHeight = static_cast<int>(h);
  delete window;
  return true;
}

bool fail(const std::string& why) {
  std::fprintf(stderr, "%s\n", why.c_str());
  return false;
}

// The bare stereo frame: the same scene in one OpenVRRenderWindow, rendered and submitted.
bool runBare(int frames, int warmup, double& frameMs) {
  {
    Lock::AutoLock lock(GetRenderLock());
    vr::EVRInitError error = vr::VRInitError_None;
    if (!vr::VR_Init(&error, vr::VRApplication_Scene)) return fail("the headset runtime did not start");
  }
  QOffscreenSurface surface;
  surface.create();
  QOpenGLContext context;
  if (!context.create() || !context.makeCurrent(&surface)) return fail("no OpenGL context");
  unsigned int eyes[2] = {0, 0};
  SceneGlState::generateTextures(eyes);
  auto window = vtkSmartPointer<OpenVRRenderWindow>::New();
  window->SetMultiSamples(4);  // as the view's buffers
  window->SetMakeCurrentCallback([&] { context.makeCurrent(&surface); });
  if (!window->CreateEyeFramebuffers(eyes[0], eyes[1])) return fail("no eye framebuffers");
  window->SetViewSize(1280, 720);

  kvg::SDBReader reader;
  if (reader.open(QString::fromStdString(samplePath()).toStdWString()) != 0) return fail(reader.getLastError());
  auto session = std::make_unique<kvg::DrawableSession>(kvg::RendererObjectRegistryBase::getNextHandle(0), -1);
  {
    kvg::RendererNodeStream stream(*session);
    if (!reader.loadRecord(RecordsManager(reader).getFrame(0, 0), stream)) return fail(reader.getLastError());
  }
  kvg::DrawableScene* scene = session->getDrawableScenes().createScene(
      std::make_unique<kvg::GenericWindowResourceManager>(window, false), reader.getCanvasInfo().key);
  scene->update(false);
  vtkRenderer* model = scene->hasModelRenderer() ? scene->hasModelRenderer()->getVTKRenderer() : nullptr;
  window->SetupRenderer(model, {}, false);

  std::vector<double> times;
  for (int i = 0; i < warmup + frames; ++i) {
    const Clock::time_point start = Clock::now();
    window->Render();
    window->SubmitEyes();
    SceneGlState::finish();
    if (i >= warmup) times.push_back(msSince(start));
  }
  frameMs = std::accumulate(times.begin(), times.end(), 0.0) / times.size();

  session.reset();
  window->Finalize();
  SceneGlState::deleteTextures(eyes);
  context.doneCurrent();
  Lock::AutoLock lock(GetRenderLock());
  vr::VR_Shutdown();
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const int frames = argc > 1 ? std::max(1, std::atoi(argv[1])) : 60;
  const int warmup = 10;
  SetUpQtEnvironment();
  // The configuration and assets beside the program, unless the caller chose others.
  if (!std::getenv("QUONIX_BASE_DIR")) {
    const std::string self = QFileInfo(QString::fromLocal8Bit(argv[0])).absolutePath().toStdString();
    setenv("QUONIX_BASE_DIR", (self + "/../bin").c_str(), 1);
  }
  int qtArgc = 1;
  QGuiApplication application(qtArgc, argv);
  vrsim::useScript("rate 0\n", "bench");

  ViewFigures view;
  if (!runView(frames, warmup, view)) {
    std::fprintf(stderr, "the scene view did not show %s\n", samplePath().c_str());
    return 1;
  }
  double bare = 0;
  if (!runBare(frames, warmup, bare)) {
    std::fprintf(stderr, "the bare render window did not render %s\n", samplePath().c_str());
    return 1;
  }
  std::printf("sample_vr.sce, first frame set, first frame; eye %d x %d, 4 samples; unpaced headset\n",
              view.eyeWidth, view.eyeHeight);
  std::printf("start -> scene graph and buffers ready: %8.1f ms\n", view.graphicsReady);
  std::printf("start -> scene loaded and prepared:     %8.1f ms\n", view.loaded);
  std::printf("start -> first submitted frame:         %8.1f ms\n", view.firstFrame);
  std::printf("steady frame, scene view (%d frames after %d): %7.2f ms\n", frames, warmup, view.frameMs);
  std::printf("steady frame, bare OpenVRRenderWindow stereo:  %7.2f ms\n", bare);
  std::printf("ratio scene view / bare: %.3f\n", bare > 0 ? view.frameMs / bare : 0.0);
  return 0;
}
