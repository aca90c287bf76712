// The scene view on the sample scene (sample_vr.sce, first frame set, first frame) against the
// simulated headset running unpaced:
//   - time from the start of the program to the first frame submitted to the compositor, with
//     the moments the scene graph started and the scene was loaded;
//   - the steady frame time of the view (everything a frame does: interaction update, both
//     eyes, submission, mirror, Qt Quick's own frame and the window's buffer swap, which Xvfb
//     answers with a copy of the whole window) against a bare OpenVRRenderWindow stereo
//     frame of the same scene as the view shows it (volume rendering off, as the view starts)
//     at the same eye size and sampling, and their ratio. Blocks of
//     view frames and bare frames alternate in one loop (the view parked on the render lock
//     while the bare window draws), so drift of a shared machine moves both alike; the ratio
//     of each alternation is printed, then min / median / max.
//
// Usage: bench_sceneview [frames per block (default 20)] [alternations (default 7)]. Needs a
// display (Xvfb is fine); reads the configuration and assets beside the program
// (QUONIX_BASE_DIR moves them).
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
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <memory>
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
#include "SoftwareRasterizer.h"
#include "VRSimulator.h"
#include "VolumeRenderingManager.h"
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

// CPU time of the whole process (llvmpipe's threads included), in ms.
double cpuMs() {
  timespec t;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0.0 : v[v.size() / 2];
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

bool fail(const std::string& why) {
  std::fprintf(stderr, "%s\n", why.c_str());
  return false;
}

struct FrameCost {
  double wall = 0, cpu = 0;  // ms per frame
  double swap = 0;           // wall ms per frame from Qt Quick's end of rendering to the swapped buffer
};

// The program's view of the sample, shown until the end.
struct ViewRun {
  QQuickWindow* window = nullptr;
  double graphicsReady = 0, loaded = 0, firstFrame = 0;
  int eyeWidth = 0, eyeHeight = 0;
  double renderedAt = 0;           // render thread only
  std::atomic<double> swapMs{0};  // summed by the render thread

  bool start() {
    std::atomic<int>* rendered = new std::atomic<int>(0);
    window = new QQuickWindow;
    SetUpMainWindow(window);
    window->resize(1280, 720);
    auto* view = new SceneView(window->contentItem());
    view->setSize(QSizeF(1280, 720));
    if (!ConnectSceneView(window, view, QCoreApplication::instance())) return false;
    QObject::connect(window, &QQuickWindow::beforeRendering, window, [rendered] { ++*rendered; }, Qt::DirectConnection);
    // The window's own presentation (Xvfb takes a copy of the whole window), render thread.
    QObject::connect(
        window, &QQuickWindow::afterRendering, window, [this] { renderedAt = msSince(kStart); },
        Qt::DirectConnection);
    QObject::connect(
        window, &QQuickWindow::frameSwapped, window,
        [this] { swapMs = swapMs + (msSince(kStart) - renderedAt); }, Qt::DirectConnection);
    view->createOffscreenSurface();
    window->show();
    if (!waitFor([&] { return *rendered > 0; })) return false;
    graphicsReady = msSince(kStart);

    // The pickers' choices as the user makes them: first frame set, first frame.
    const QUrl url = QUrl::fromLocalFile(QString::fromStdString(samplePath()));
    view->openFileContinuation1(url);
    kvg::SDBReader reader;
    if (reader.open(QString::fromStdString(samplePath()).toStdWString()) != 0) return false;
    const QString title = QString::fromStdString(RecordsManager(reader).getFramesetTitle(0));
    view->openFileContinuation2(title, 0);
    view->openFileContinuation3(title, 0, 0);
    loaded = msSince(kStart);
    if (!waitFor([] { return vrsim::submittedFrameCount() >= 1; })) return false;
    firstFrame = msSince(kStart);
    uint32_t w = 0, h = 0;
    GetRecommendedRenderTargetSize(w, h);
    eyeWidth = static_cast<int>(w);
    eyeHeight = static_cast<int>(h);
    return true;
  }

  // `frames` submitted frames after `warmup`, the view running freely.
  bool measure(int frames, int warmup, FrameCost& cost) {
    const uint64_t begin = vrsim::submittedFrameCount() + warmup;
    if (!waitFor([&] { return vrsim::submittedFrameCount() >= begin; })) return false;
    const Clock::time_point start = Clock::now();
    const double cpu = cpuMs();
    const double swap = swapMs;
    if (!waitFor([&] { return vrsim::submittedFrameCount() >= begin + frames; })) return false;
    cost.wall = msSince(start) / frames;
    cost.cpu = (cpuMs() - cpu) / frames;
    cost.swap = (swapMs - swap) / frames;
    return true;
  }

  // Parks the view's render thread at its next runtime call: the caller holds the render lock
  // until resume(). Returns once no frame has been submitted for a while. No events are
  // processed meanwhile: Qt Quick's sync would wait for the parked render thread.
  void park() {
    GetRenderLock().acquire();
    uint64_t last = vrsim::submittedFrameCount();
    Clock::time_point quietSince = Clock::now();
    while (msSince(quietSince) < 150) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
      const uint64_t now = vrsim::submittedFrameCount();
      if (now != last) {
        last = now;
        quietSince = Clock::now();
      }
    }
  }
  void resume() { GetRenderLock().release(); }
};

// The bare stereo frame: the same scene in one OpenVRRenderWindow at the program's sampling,
// rendered and submitted on this thread with a context of its own.
struct BareRun {
  QOffscreenSurface surface;
  QOpenGLContext context;
  unsigned int eyes[2] = {0, 0};
  vtkSmartPointer<OpenVRRenderWindow> window;
  std::unique_ptr<kvg::DrawableSession> session;
  kvg::SDBReader reader;
  int samples = 0;

  bool start() {
    surface.create();
    if (!context.create() || !context.makeCurrent(&surface)) return fail("no OpenGL context");
    SceneGlState::generateTextures(eyes);
    window = vtkSmartPointer<OpenVRRenderWindow>::New();
    samples = EyeMultiSamples();  // as the view's buffers
    window->SetMultiSamples(samples);
    window->SetMakeCurrentCallback([this] { context.makeCurrent(&surface); });
    if (!window->CreateEyeFramebuffers(eyes[0], eyes[1])) return fail("no eye framebuffers");
    window->SetViewSize(1280, 720);
    if (reader.open(QString::fromStdString(samplePath()).toStdWString()) != 0) return fail(reader.getLastError());
    session = std::make_unique<kvg::DrawableSession>(kvg::RendererObjectRegistryBase::getNextHandle(0), -1);
    {
      kvg::RendererNodeStream stream(*session);
      if (!reader.loadRecord(RecordsManager(reader).getFrame(0, 0), stream)) return fail(reader.getLastError());
    }
    kvg::DrawableScene* scene = session->getDrawableScenes().createScene(
        std::make_unique<kvg::GenericWindowResourceManager>(window, false), reader.getCanvasInfo().key);
    scene->update(false);
    // The view shows no volume rendering until the user turns it on: neither does the bare frame.
    kvg::VolumeRenderingManager::getSingleton(*session).setEnableVolRend(false);
    vtkRenderer* model = scene->hasModelRenderer() ? scene->hasModelRenderer()->getVTKRenderer() : nullptr;
    window->SetupRenderer(model, {}, false);
    context.doneCurrent();
    return true;
  }

  FrameCost frames(int count, int warmup) {
    context.makeCurrent(&surface);
    std::vector<double> wall, cpu;
    for (int i = 0; i < warmup + count; ++i) {
      const Clock::time_point start = Clock::now();
      const double c = cpuMs();
      window->Render();
      window->SubmitEyes();
      window->MirrorLeftEye();
      SceneGlState::finish();
      if (i >= warmup) {
        wall.push_back(msSince(start));
        cpu.push_back(cpuMs() - c);
      }
    }
    context.doneCurrent();
    return {std::accumulate(wall.begin(), wall.end(), 0.0) / wall.size(),
            std::accumulate(cpu.begin(), cpu.end(), 0.0) / cpu.size()};
  }

  void stop() {
    context.makeCurrent(&surface);
    session.reset();
    window->Finalize();
    window = nullptr;
    SceneGlState::deleteTextures(eyes);
    context.doneCurrent();
  }
};

void printRange(const char* what, const std::vector<double>& v, const char* format) {
  std::vector<double> sorted = v;
  std::sort(sorted.begin(), sorted.end());
  std::printf("%s", what);
  std::printf(format, sorted.front());
  std::printf(" /");
  std::printf(format, median(v));
  std::printf(" /");
  std::printf(format, sorted.back());
  std::printf("   (min / median / max)\n");
}

}  // namespace

int main(int argc, char** argv) {
  const int frames = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
  const int alternations = argc > 2 ? std::max(1, std::atoi(argv[2])) : 7;
  SetUpQtEnvironment();
  // The configuration and assets beside the program, unless the caller chose others.
  if (!std::getenv("QUONIX_BASE_DIR")) {
    const std::string self = QFileInfo(QString::fromLocal8Bit(argv[0])).absolutePath().toStdString();
    setenv("QUONIX_BASE_DIR", (self + "/../bin").c_str(), 1);
  }
  int qtArgc = 1;
  QGuiApplication application(qtArgc, argv);
  vrsim::useScript("rate 0\n", "bench");

  ViewRun view;
  if (!view.start()) {
    std::fprintf(stderr, "the scene view did not show %s\n", samplePath().c_str());
    return 1;
  }
  std::printf("sample_vr.sce, first frame set, first frame; eye %d x %d; unpaced headset\n", view.eyeWidth,
              view.eyeHeight);
  std::printf("start -> scene graph and buffers ready: %8.1f ms\n", view.graphicsReady);
  std::printf("start -> scene loaded and prepared:     %8.1f ms\n", view.loaded);
  std::printf("start -> first submitted frame:         %8.1f ms\n", view.firstFrame);
  std::fflush(stdout);

  // The view keeps running while the bare window is set up; it is parked for each bare block.
  view.park();
  BareRun bare;
  const bool bareReady = bare.start();
  view.resume();
  if (!bareReady) {
    std::fprintf(stderr, "the bare render window did not render %s\n", samplePath().c_str());
    return 1;
  }
  std::printf("%d samples; blocks of %d frames (after 3 warm-up frames), %d alternations\n", bare.samples, frames,
              alternations);
  std::printf("alternation   view ms (wall / cpu)   bare ms (wall / cpu)   ratio (wall / cpu)\n");
  std::vector<double> viewWall, viewCpu, viewSwap, bareWall, bareCpu, ratioWall, ratioCpu, ratioUnswapped;
  for (int a = 0; a < alternations; ++a) {
    FrameCost v;
    if (!view.measure(frames, 3, v)) {
      std::fprintf(stderr, "the scene view stopped submitting frames\n");
      return 1;
    }
    view.park();
    const FrameCost b = bare.frames(frames, 3);
    view.resume();
    viewWall.push_back(v.wall);
    viewCpu.push_back(v.cpu);
    viewSwap.push_back(v.swap);
    bareWall.push_back(b.wall);
    bareCpu.push_back(b.cpu);
    ratioWall.push_back(b.wall > 0 ? v.wall / b.wall : 0.0);
    ratioCpu.push_back(b.cpu > 0 ? v.cpu / b.cpu : 0.0);
    ratioUnswapped.push_back(b.wall > 0 ? (v.wall - v.swap) / b.wall : 0.0);
    std::printf("%11d   %8.2f / %8.2f    %8.2f / %8.2f    %6.3f / %6.3f\n", a + 1, v.wall, v.cpu, b.wall, b.cpu,
                ratioWall.back(), ratioCpu.back());
    std::fflush(stdout);
  }
  printRange("steady frame, scene view, wall ms:  ", viewWall, "%8.2f");
  printRange("  of which the window's swap, wall ms:", viewSwap, "%8.2f");
  printRange("steady frame, bare stereo, wall ms: ", bareWall, "%8.2f");
  printRange("ratio scene view / bare, wall:      ", ratioWall, "%8.3f");
  printRange("ratio scene view / bare, cpu:       ", ratioCpu, "%8.3f");
  printRange("ratio without the swap, wall:       ", ratioUnswapped, "%8.3f");

  view.park();
  bare.stop();
  view.resume();
  delete view.window;
  return 0;
}
