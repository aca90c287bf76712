// Cost of one stereo frame through the OpenVR render window against one mono render of the same
// scene at the same size by a plain VTK window. Both eyes are full passes, so about 2x is the
// floor; whatever lies above it is the window's own overhead (target switches, resolves, the
// compositor submission). The desktop mirror, drawn after the submission, is timed on its own
// and added in a second ratio.
//
// Usage: bench_vr_stereo [frames (default 150)] [samples] [sphere resolution (default 224)]
// Without a sample count it measures at the program's own (EyeMultiSamples: 4 on hardware, 0 on
// a software rasterizer unless config.ini says otherwise) and, when that differs, at 0.
// Runs against the simulated headset at its recommended size (times "resolutionFactor" of the
// configuration beside the program). Needs a display (Xvfb is fine). Prints the medians of wall
// time and of the process's CPU time per frame; on a software renderer sharing the machine with
// other work, the CPU time is the steadier of the two.
#include <vtk_glew.h>

#include <openvr.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <vtkActor.h>
#include <vtkCamera.h>
#include <vtkImageData.h>
#include <vtkMatrix4x4.h>
#include <vtkNew.h>
#include <vtkOpenGLRenderer.h>
#include <vtkPolyData.h>
#include <vtkPolyDataMapper.h>
#include <vtkProperty.h>
#include <vtkRenderWindow.h>
#include <vtkSmartPointer.h>
#include <vtkSphereSource.h>
#include <vtkUnsignedCharArray.h>

#include "BenchGlContext.h"
#include "OpenVRCamera.h"
#include "OpenVRRenderWindow.h"
#include "RenderLock.h"
#include "SoftwareRasterizer.h"
#include "kvg/OpenGLRenderer.h"

namespace {

using Clock = std::chrono::steady_clock;

const double kIdentity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
const double kHead[3] = {0, 1.6, 0};

double msSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// CPU time of the whole process (every llvmpipe thread included), in ms: unlike wall time, it
// hardly moves when other programs share the machine.
double cpuMs() {
  timespec t;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

struct FrameTime {
  double wall = 0, cpu = 0;
};

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0.0 : v[v.size() / 2];
}

vtkSmartPointer<vtkActor> MakeSphereActor(vtkPolyData* mesh) {
  vtkNew<vtkPolyDataMapper> mapper;
  mapper->SetInputData(mesh);
  mapper->Update();
  auto actor = vtkSmartPointer<vtkActor>::New();
  actor->SetMapper(mapper);
  actor->GetProperty()->SetColor(0.8, 0.3, 0.2);
  return actor;
}

}  // namespace

int main(int argc, char** argv) {
  const int frames = argc > 1 ? std::max(1, std::atoi(argv[1])) : 150;
  const int askedSamples = argc > 2 ? std::max(0, std::atoi(argv[2])) : -1;
  const int resolution = argc > 3 ? std::max(8, std::atoi(argv[3])) : 224;
  const int warmup = 10;

  {
    Lock::AutoLock lock(GetRenderLock());
    vr::EVRInitError error = vr::VRInitError_None;
    if (!vr::VR_Init(&error, vr::VRApplication_Scene)) {
      std::fprintf(stderr, "the VR runtime did not start (error %d)\n", static_cast<int>(error));
      return 1;
    }
  }
  uint32_t width = 0, height = 0;
  GetRecommendedRenderTargetSize(width, height);
  if (width == 0 || height == 0) {
    std::fprintf(stderr, "the headset reports no render size\n");
    return 1;
  }

  vtkNew<vtkSphereSource> sphere;
  sphere->SetCenter(0, 1.6, -1.5);
  sphere->SetRadius(0.6);
  sphere->SetThetaResolution(resolution);
  sphere->SetPhiResolution(resolution);
  sphere->Update();
  vtkPolyData* mesh = sphere->GetOutput();

  // The stereo side, set up as the scene view sets up a render buffer.
  BenchGlContext qt(static_cast<int>(width), static_cast<int>(height));
  if (!qt.valid()) {
    std::fprintf(stderr, "no GL context\n");
    return 1;
  }
  glewExperimental = GL_TRUE;
  glewInit();
  while (glGetError() != GL_NO_ERROR) {
  }
  std::printf("renderer: %s; the program's samples: %d\n", reinterpret_cast<const char*>(glGetString(GL_RENDERER)),
              EyeMultiSamples());
  std::fflush(stdout);
  if (askedSamples < 0) {
    // One process per sample count: a second set of windows in one process measures other things.
    int failures = 0;
    std::vector<int> counts = {EyeMultiSamples()};
    if (counts.front() != 0) counts.push_back(0);
    for (const int count : counts) {
      const std::string command = std::string("'") + argv[0] + "' " + std::to_string(frames) + " " +
                                  std::to_string(count) + " " + std::to_string(resolution);
      failures += std::system(command.c_str()) != 0;
    }
    Lock::AutoLock lock(GetRenderLock());
    vr::VR_Shutdown();
    return failures ? 1 : 0;
  }
  const int samples = askedSamples;
  {
  GLuint eyes[2] = {0, 0};
  glGenTextures(2, eyes);
  vtkNew<OpenVRRenderWindow> stereo;
  stereo->SetMultiSamples(samples);
  stereo->SetMakeCurrentCallback([&qt] { qt.makeCurrent(); });
  if (!stereo->CreateEyeFramebuffers(eyes[0], eyes[1])) return 1;
  stereo->SetViewSize(static_cast<int>(width), static_cast<int>(height));
  vtkNew<vtkOpenGLRenderer> model;
  model->AddActor(MakeSphereActor(mesh));
  model->SetLayer(1);
  stereo->AddRenderer(model);
  vtkNew<OpenVRCamera> camera;
  updateEyeMatrices(camera);
  camera->setFromPose(kIdentity, kHead, kIdentity);
  for (int layer = 0; layer < 3; ++layer) stereo->GetLayerRenderer(layer)->SetActiveCamera(camera);
  model->SetActiveCamera(camera);
  stereo->SetupRenderer(model, {}, false);

  // The mono side: a plain off-screen VTK window of the eye size, with the left eye's field.
  vtkNew<vtkRenderWindow> mono;
  mono->SetOffScreenRendering(1);
  mono->SetMultiSamples(samples);
  mono->SetSize(static_cast<int>(width), static_cast<int>(height));
  vtkNew<vtkRenderer> monoRenderer;
  monoRenderer->SetBackground(1, 1, 1);
  monoRenderer->AddActor(MakeSphereActor(mesh));
  mono->AddRenderer(monoRenderer);
  vtkCamera* monoCamera = monoRenderer->GetActiveCamera();
  monoCamera->SetPosition(kHead);
  monoCamera->SetFocalPoint(0, 1.6, -1);
  monoCamera->SetViewUp(0, 1, 0);
  monoCamera->SetClippingRange(0.2, 1000);
  const double p11 = camera->projection(1)->GetElement(1, 1);
  monoCamera->SetViewAngle(p11 > 0 ? 2.0 * std::atan(1.0 / p11) * 180.0 / M_PI : 100.0);

  auto stereoFrame = [&] {
    qt.makeCurrent();
    const double cpu = cpuMs();
    const Clock::time_point start = Clock::now();
    stereo->Render();
    stereo->SubmitEyes();
    glFinish();
    return FrameTime{msSince(start), cpuMs() - cpu};
  };
  // The desktop mirror, drawn after the submission.
  auto mirrorCopy = [&] {
    const double cpu = cpuMs();
    const Clock::time_point start = Clock::now();
    stereo->MirrorLeftEye();
    glFinish();
    return FrameTime{msSince(start), cpuMs() - cpu};
  };
  auto monoFrame = [&] {
    mono->MakeCurrent();
    const double cpu = cpuMs();
    const Clock::time_point start = Clock::now();
    mono->Render();
    glFinish();
    return FrameTime{msSince(start), cpuMs() - cpu};
  };

  for (int i = 0; i < warmup; ++i) {
    stereoFrame();
    mirrorCopy();
    monoFrame();
  }
  // Frame by frame in turn, so that a slow spell of the (shared) machine hits both sides alike.
  std::vector<FrameTime> stereoTimes, mirrorTimes, monoTimes;
  for (int i = 0; i < frames; ++i) {
    stereoTimes.push_back(stereoFrame());
    mirrorTimes.push_back(mirrorCopy());
    monoTimes.push_back(monoFrame());
  }

  auto medianOf = [](const std::vector<FrameTime>& times, double FrameTime::*field) {
    std::vector<double> v;
    for (const FrameTime& t : times) v.push_back(t.*field);
    return median(v);
  };
  const double s = medianOf(stereoTimes, &FrameTime::wall), m = medianOf(monoTimes, &FrameTime::wall);
  const double sc = medianOf(stereoTimes, &FrameTime::cpu), mc = medianOf(monoTimes, &FrameTime::cpu);
  std::printf("scene: %lld triangles; eye %u x %u; samples %d; %d frames each after %d warm-up\n",
              static_cast<long long>(mesh->GetNumberOfPolys()), width, height, samples, frames, warmup);
  std::printf("                                      wall ms   cpu ms (medians)\n");
  std::printf("stereo frame (OpenVRRenderWindow):   %7.2f  %7.2f\n", s, sc);
  std::printf("mono frame (vtkRenderWindow):        %7.2f  %7.2f\n", m, mc);
  std::printf("ratio stereo / mono:                 %7.3f  %7.3f\n", m > 0 ? s / m : 0.0, mc > 0 ? sc / mc : 0.0);
  const double r = medianOf(mirrorTimes, &FrameTime::wall), rc = medianOf(mirrorTimes, &FrameTime::cpu);
  std::printf("mirror after the submission:         %7.2f  %7.2f\n", r, rc);
  std::printf("ratio (stereo + mirror) / mono:      %7.3f  %7.3f\n", m > 0 ? (s + r) / m : 0.0,
              mc > 0 ? (sc + rc) / mc : 0.0);

  {
    // Both sides must have drawn the sphere over a similar share of the image.
    vtkNew<vtkUnsignedCharArray> monoPixels;
    mono->GetRGBACharPixelData(0, 0, width - 1, height - 1, 0, monoPixels);
    qt.makeCurrent();
    std::vector<unsigned char> eye(static_cast<size_t>(width) * height * 4);
    glBindTexture(GL_TEXTURE_2D, eyes[0]);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, eye.data());
    auto covered = [&](const unsigned char* p) {
      size_t n = 0;
      for (size_t i = 0; i < eye.size(); i += 4) n += p[i + 1] < 200;
      return 100.0 * n / (eye.size() / 4);
    };
    std::printf("sphere covers %.1f%% of the mono image and %.1f%% of the left eye\n", covered(monoPixels->GetPointer(0)),
                covered(eye.data()));
  }
  qt.makeCurrent();
  stereo->Finalize();
  glDeleteTextures(2, eyes);
  }
  Lock::AutoLock lock(GetRenderLock());
  vr::VR_Shutdown();
  return 0;
}
