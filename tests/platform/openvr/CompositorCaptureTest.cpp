// End to end through OpenGL: two differently coloured eye textures are submitted and the PNG
// files the compositor writes are read back; the run ends itself after N frames.
#include <gtest/gtest.h>
#include <openvr.h>

#include <QGuiApplication>
#include <QImage>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions>

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <thread>
#include <vector>

#include "VRSimulator.h"

namespace fs = std::filesystem;

namespace {

std::atomic<int> g_terminations{0};
void onTerminate(int) { ++g_terminations; }

QGuiApplication& application() {
  static int argc = 1;
  static char name[] = "test_openvr_gl";
  static char* argv[] = {name, nullptr};
  static QGuiApplication* app = new QGuiApplication(argc, argv);
  return *app;
}

}  // namespace

class CompositorCapture : public ::testing::Test {
 protected:
  void SetUp() override {
    application();  // before any Qt GL object
    surface = std::make_unique<QOffscreenSurface>();
    surface->create();
    context = std::make_unique<QOpenGLContext>();
    ASSERT_TRUE(context->create());
    ASSERT_TRUE(context->makeCurrent(surface.get()));
    gl = context->functions();
    dir = fs::temp_directory_path() / ("vrsim-capture-" + std::to_string(::getpid()) + "-" +
                                       ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    for (const char* v : {"QUONIX_VRSIM_CAPTURE_DIR", "QUONIX_VRSIM_CAPTURE_EVERY",
                          "QUONIX_VRSIM_CAPTURE_FRAMES", "QUONIX_VRSIM_EXIT_AFTER"})
      ::unsetenv(v);
  }

  void TearDown() override {
    vr::VR_Shutdown();
    if (context && context->makeCurrent(surface.get())) {
      gl->glDeleteTextures(2, textures);
      context->doneCurrent();
    }
    context.reset();
    surface.reset();
    fs::remove_all(dir);
  }

  // Left eye: red top half over green bottom half; right eye: blue.
  void makeTextures() {
    const int w = 64, h = 48;
    std::vector<uint8_t> left(w * h * 4), right(w * h * 4);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        uint8_t* l = &left[(y * w + x) * 4];
        uint8_t* r = &right[(y * w + x) * 4];
        const bool top = y >= h / 2;  // OpenGL rows go upwards
        l[0] = top ? 255 : 0;
        l[1] = top ? 0 : 255;
        l[2] = 0;
        l[3] = 255;
        r[0] = 0;
        r[1] = 0;
        r[2] = 255;
        r[3] = 255;
      }
    gl->glGenTextures(2, textures);
    const std::vector<uint8_t>* pixels[2] = {&left, &right};
    for (int i = 0; i < 2; ++i) {
      gl->glBindTexture(GL_TEXTURE_2D, textures[i]);
      gl->glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, w, h, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels[i]->data());
    }
    gl->glBindTexture(GL_TEXTURE_2D, 0);
  }

  void startRuntime() {
    vrsim::useScript("rate 0", "test");
    vr::EVRInitError error = vr::VRInitError_None;
    ASSERT_NE(vr::VR_Init(&error, vr::VRApplication_Scene), nullptr);
    compositor = vr::VRCompositor();
    ASSERT_NE(compositor, nullptr);
  }

  // One frame as the program runs it: wait for poses, submit both eyes.
  void runFrame() {
    vr::TrackedDevicePose_t poses[vr::k_unMaxTrackedDeviceCount];
    compositor->WaitGetPoses(poses, vr::k_unMaxTrackedDeviceCount, nullptr, 0);
    for (int eye = 0; eye < 2; ++eye) {
      const vr::Texture_t texture = {reinterpret_cast<void*>(uintptr_t(textures[eye])), vr::TextureType_OpenGL,
                                     vr::ColorSpace_Gamma};
      EXPECT_EQ(compositor->Submit(vr::EVREye(eye), &texture, nullptr, vr::Submit_Default),
                vr::VRCompositorError_None);
    }
  }

  bool captured(int frame, const char* eye) {
    char name[64];
    std::snprintf(name, sizeof name, "frame-%06d-%s.png", frame, eye);
    return fs::exists(dir / name);
  }

  std::unique_ptr<QOffscreenSurface> surface;
  std::unique_ptr<QOpenGLContext> context;
  QOpenGLFunctions* gl = nullptr;
  GLuint textures[2] = {0, 0};
  fs::path dir;
  vr::IVRCompositor* compositor = nullptr;
};

TEST_F(CompositorCapture, NamedFramesAreWrittenAsUprightPngs) {
  makeTextures();
  ::setenv("QUONIX_VRSIM_CAPTURE_DIR", dir.c_str(), 1);
  ::setenv("QUONIX_VRSIM_CAPTURE_FRAMES", "2,3", 1);
  startRuntime();
  GLint bound = 0;
  gl->glBindTexture(GL_TEXTURE_2D, textures[1]);
  for (int i = 0; i < 3; ++i) runFrame();
  gl->glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
  EXPECT_EQ(GLuint(bound), textures[1]);  // the caller's binding survives the read-back

  EXPECT_FALSE(captured(1, "left"));
  EXPECT_TRUE(captured(3, "right"));
  QImage left((dir / "frame-000002-left.png").c_str());
  QImage right((dir / "frame-000002-right.png").c_str());
  ASSERT_FALSE(left.isNull());
  ASSERT_FALSE(right.isNull());
  EXPECT_EQ(left.size(), QSize(64, 48));
  EXPECT_EQ(left.pixel(5, 2), qRgb(255, 0, 0));    // top of the file: top of the image
  EXPECT_EQ(left.pixel(5, 45), qRgb(0, 255, 0));
  EXPECT_EQ(right.pixel(30, 20), qRgb(0, 0, 255));
}

TEST_F(CompositorCapture, EveryNthFrame) {
  makeTextures();
  ::setenv("QUONIX_VRSIM_CAPTURE_DIR", dir.c_str(), 1);
  ::setenv("QUONIX_VRSIM_CAPTURE_EVERY", "2", 1);
  startRuntime();
  for (int i = 0; i < 4; ++i) runFrame();
  EXPECT_FALSE(captured(1, "left"));
  EXPECT_TRUE(captured(2, "left"));
  EXPECT_TRUE(captured(2, "right"));
  EXPECT_FALSE(captured(3, "right"));
  EXPECT_TRUE(captured(4, "left"));
}

TEST_F(CompositorCapture, WithoutACurrentContextNothingIsWrittenAndSubmitGoesOn) {
  makeTextures();
  ::setenv("QUONIX_VRSIM_CAPTURE_DIR", dir.c_str(), 1);
  startRuntime();
  context->doneCurrent();
  runFrame();
  EXPECT_EQ(vrsim::submittedFrameCount(), 1u);
  EXPECT_FALSE(captured(1, "left"));
}

TEST_F(CompositorCapture, EndsTheProgramAfterTheNamedFrameCount) {
  makeTextures();
  ::setenv("QUONIX_VRSIM_EXIT_AFTER", "2", 1);
  struct sigaction action = {}, previous = {};
  action.sa_handler = onTerminate;
  sigaction(SIGTERM, &action, &previous);
  g_terminations = 0;
  startRuntime();
  runFrame();
  EXPECT_EQ(g_terminations.load(), 0);
  runFrame();
  // The signal may be handled on another thread of this process: wait for it, boundedly.
  for (int i = 0; i < 500 && g_terminations.load() == 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(g_terminations.load(), 1);
  runFrame();  // only once
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(g_terminations.load(), 1);
  sigaction(SIGTERM, &previous, nullptr);
}

TEST_F(CompositorCapture, UnwritableFolderIsReportedOnceAndFramesGoOn) {
  makeTextures();
  fs::create_directories(dir);
  const fs::path file = dir / "not-a-folder";
  std::FILE* f = std::fopen(file.c_str(), "w");
  ASSERT_NE(f, nullptr);
  std::fclose(f);
  ::setenv("QUONIX_VRSIM_CAPTURE_DIR", file.c_str(), 1);
  startRuntime();
  ::testing::internal::CaptureStderr();
  for (int i = 0; i < 3; ++i) runFrame();
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(vrsim::submittedFrameCount(), 3u);
  size_t reports = 0;
  for (size_t at = err.find("cannot write"); at != std::string::npos; at = err.find("cannot write", at + 1)) ++reports;
  EXPECT_EQ(reports, 1u) << err;
}
