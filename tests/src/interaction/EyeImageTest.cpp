// The interaction drives what the headset shows: a scene set up for VR, updated frame by
// frame and rendered through the OpenVR render window, reaches the simulated compositor with
// the model's centre where the view reset put it (1 m up, 2 m ahead), in both eyes with their
// parallax, and moves in the images when the head turns.
#include <vtk_glew.h>

#include <gtest/gtest.h>

#include <openvr.h>

#include <cstdio>
#include <fstream>
#include <cmath>
#include <cstdlib>
#include <memory>

#include <vtkMatrix4x4.h>

#include "CollabSession.h"
#include "Configuration.h"
#include "IconTextureCache.h"
#include "InteractionFixtures.h"
#include "OpenVRCamera.h"
#include "OpenVRRenderWindow.h"
#include "PngImage.h"
#include "RenderLock.h"
#include "SceneViewSettings.h"
#include "SharedGlContexts.h"
#include "VRInteractionState.h"
#include "VRSimulator.h"
#include "VrTestSupport.h"

namespace {

constexpr int kEyeWidth = 320;  // the simulated headset's 640 x 720 at resolutionFactor 0.5
constexpr int kEyeHeight = 360;
const std::array<double, 3> kCenter = {40.0, -12.0, 7.0};

struct Blob {
  int count = 0;
  double column = -1;
  double row = -1;
};

// The magenta pixels of an eye image: how many, and their mean column and row (row 0 at the
// bottom, as VTK keeps images).
Blob magenta(vtkImageData* image) {
  Blob blob;
  int dims[3];
  image->GetDimensions(dims);
  const auto* p = static_cast<const unsigned char*>(image->GetScalarPointer());
  double columns = 0, rows = 0;
  for (int y = 0; y < dims[1]; ++y)
    for (int x = 0; x < dims[0]; ++x, p += 4)
      if (p[0] > 200 && p[1] < 60 && p[2] > 200) {
        columns += x;
        rows += y;
        ++blob.count;
      }
  if (blob.count) {
    blob.column = columns / blob.count;
    blob.row = rows / blob.count;
  }
  return blob;
}

class EyeImages : public ::testing::Test {
 protected:
  // A model shown 0.4 m wide: small enough that the centre of its image is the image of its
  // centre (a large box is drawn bigger on its nearer side).
  ScopedBaseDir base{"resolutionFactor = 0.5\nuseFog = false\nresetViewModelSize = 0.4\n"};
  std::string captureDir = base.dir() + "/capture";
  std::unique_ptr<QtGlWindow> qt;
  vtkSmartPointer<OpenVRRenderWindow> window;
  std::unique_ptr<IconTextureCache> cache;
  std::unique_ptr<BoxScene> box;
  std::unique_ptr<VRInteractionState> state;
  SceneViewSettings settings;
  CollabSession collab;
  GLuint eyes[2] = {0, 0};
  int submitted = 0;

  // The controllers stand behind the user, out of view.
  void start(const std::string& script) {
    setenv("QUONIX_VRSIM_CAPTURE_DIR", captureDir.c_str(), 1);
    vrsim::useScript("rate 0\nleft position -1 1 2\nright position 1 1 2\n" + script, "eye-image-test");
    {
      Lock::AutoLock lock(GetRenderLock());
      vr::EVRInitError error = vr::VRInitError_None;
      ASSERT_NE(vr::VR_Init(&error, vr::VRApplication_Scene), nullptr);
    }
    qt.reset(new QtGlWindow(kEyeWidth, kEyeHeight));
    ASSERT_TRUE(qt->valid());
    glGenTextures(2, eyes);
    window = vtkSmartPointer<OpenVRRenderWindow>::New();
    window->SetMultiSamples(0);
    window->SetMakeCurrentCallback([this] { qt->makeCurrent(); });
    ASSERT_TRUE(window->CreateEyeFramebuffers(eyes[0], eyes[1]));
    window->SetViewSize(kEyeWidth, kEyeHeight);
    cache.reset(new IconTextureCache);
    // A box 4 x 2 x 1 scene units.
    box.reset(new BoxScene(kCenter, {4.0, 2.0, 1.0}, window));
    state.reset(new VRInteractionState(cache.get()));
    state->startSessionScene(window, box->renderer(), box->scene(), 0, settings, collab, nullptr, "");
    window->SetupRenderer(box->renderer(), {}, false);
    state->hudShown = false;  // the HUD shows a snapshot of the scene: keep it out of the measure
  }

  void TearDown() override {
    if (window) {
      qt->makeCurrent();
      state.reset();
      box.reset();
      cache->deleteAllTextures();
      cache.reset();
      window->Finalize();
      window = nullptr;
      glDeleteTextures(2, eyes);
    }
    qt.reset();
    unsetenv("QUONIX_VRSIM_CAPTURE_DIR");
    Lock::AutoLock lock(GetRenderLock());
    vr::VR_Shutdown();
  }

  // One frame as the scene view's render thread runs it: the interaction, both eyes, submit.
  void frame() {
    state->update(box->scene(), false, settings, false);
    window->Render();
    window->SubmitEyes();
    ++submitted;
  }

  vtkSmartPointer<vtkImageData> eye(const char* name) const {
    char file[64];
    std::snprintf(file, sizeof file, "/frame-%06d-%s.png", submitted, name);
    return ReadPngRgba8(captureDir + file);
  }

  // Where a scene point lands in eye e (1 left, 0 right), in pixels.
  std::array<double, 2> expectedPixel(int e, const std::array<double, 3>& point) {
    OpenVRCamera* camera = state->getCamera();
    vtkNew<vtkMatrix4x4> view, full;
    vtkMatrix4x4::Multiply4x4(camera->scaledEyeOffset(e), camera->GetModelViewTransformMatrix(), view);
    vtkMatrix4x4::Multiply4x4(camera->projection(e), view, full);
    const double p[4] = {point[0], point[1], point[2], 1};
    double clip[4];
    full->MultiplyPoint(p, clip);
    return {(clip[0] / clip[3] + 1) / 2 * kEyeWidth - 0.5, (clip[1] / clip[3] + 1) / 2 * kEyeHeight - 0.5};
  }
};

}  // namespace

TEST_F(EyeImages, TheResetModelStandsAheadInBothEyes) {
  start("");
  frame();
  frame();
  vtkSmartPointer<vtkImageData> left = eye("left"), right = eye("right");
  ASSERT_TRUE(left && right);
  const Blob l = magenta(left), r = magenta(right);
  ASSERT_GT(l.count, 150);
  ASSERT_GT(r.count, 150);

  // The camera sees the scene centre where the room point (0, 1, -2) is: straight ahead of the
  // head (at 1.6 m), 0.6 m below the eyes.
  const std::array<double, 2> leftCentre = expectedPixel(1, kCenter), rightCentre = expectedPixel(0, kCenter);
  EXPECT_NEAR(l.column, leftCentre[0], 1.5);
  EXPECT_NEAR(r.column, rightCentre[0], 1.5);
  EXPECT_NEAR(l.row, leftCentre[1], 1.5);
  EXPECT_NEAR(r.row, rightCentre[1], 1.5);
  // Below the middle of the view, and the parallax of a near object: further right in the left eye.
  EXPECT_LT(l.row, kEyeHeight / 2.0 - 20);
  EXPECT_GT(l.column - r.column, 3.0);

  // Independently of the camera: the room point (0, 1, -2) maps onto the scene centre.
  double roomPoint[4] = {0, 1, -2, 1}, scene[4];
  vtkMatrix4x4::MultiplyPoint(state->modelMatrix, roomPoint, scene);
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(scene[i], kCenter[i], 1e-9);
}

TEST_F(EyeImages, TurningTheHeadMovesTheModelInTheImage) {
  start("frame 3\nhead rotation 15 0 0\n");
  frame();
  frame();
  const Blob before = magenta(eye("left"));
  frame();  // the head has turned 15 degrees to the left
  const Blob after = magenta(eye("left"));
  ASSERT_GT(before.count, 150);
  ASSERT_GT(after.count, 150);
  EXPECT_GT(after.column - before.column, 20.0);
  EXPECT_NEAR(after.column, expectedPixel(1, kCenter)[0], 1.5);
}

TEST_F(EyeImages, TheRoomSurroundsTheModelWithFloorBelowAndCeilingAbove) {
  WriteSolidPng(base.assets() + "floor.png", 8, 8, {0, 160, 0, 255});
  WriteSolidPng(base.assets() + "ceiling.png", 8, 8, {0, 0, 160, 255});
  settings.floorTexFileName = base.assets() + "floor.png";
  settings.ceilTexFileName = base.assets() + "ceiling.png";
  start("");
  frame();
  vtkSmartPointer<vtkImageData> left = eye("left");
  ASSERT_TRUE(left);
  const auto pixel = [&](int x, int y) { return static_cast<const unsigned char*>(left->GetScalarPointer(x, y, 0)); };
  // The floor fills the view below the horizon (eye height), the ceiling and walls above it.
  EXPECT_EQ(pixel(10, 10)[1], 160);
  EXPECT_EQ(pixel(10, kEyeHeight - 10)[2], 160);
  EXPECT_GT(magenta(left).count, 150);
}

// The HUD panel costs no translucent pass when its image allows, and looks the same: a wholly
// transparent snapshot draws nothing, an opaque one draws as the blended panel would.
TEST_F(EyeImages, TheHudDrawsTheSameWithoutBlendingWhereItsImageAllows) {
  // A round band: its front lies beyond the near plane (0.2 m), where the eyes see it.
  std::ofstream(base.dir() + "/config.ini", std::ios::app) << "hudCurvature = 1.0\n";
  reloadConfigForTesting();
  start("");
  HudOverlay& hud = state->overlays[VRInteractionState::HudPanel];
  vtkImageData* image = window->GetHudImage();
  image->SetExtent(0, 1023, 0, 767, 0, 0);  // the HUD target's default size, as a snapshot makes it
  image->AllocateScalars(VTK_UNSIGNED_CHAR, 4);
  int dims[3];
  image->GetDimensions(dims);
  ASSERT_GT(dims[0] * dims[1], 0);
  auto fill = [&](unsigned char alpha) {
    auto* p = static_cast<unsigned char*>(image->GetScalarPointer());
    for (int y = 0; y < dims[1]; ++y)
      for (int x = 0; x < dims[0]; ++x, p += 4) {
        // A green frame around a transparent middle.
        const bool frame = x < dims[0] / 4 || x >= dims[0] * 3 / 4 || y < dims[1] / 4 || y >= dims[1] * 3 / 4;
        p[0] = 0;
        p[1] = frame ? 200 : 0;
        p[2] = 0;
        p[3] = frame ? alpha : 0;
      }
    image->Modified();
    hud.requestTextureUpload();
  };
  auto differing = [](vtkImageData* a, vtkImageData* b) {
    int d[3];
    a->GetDimensions(d);
    const auto* p = static_cast<const unsigned char*>(a->GetScalarPointer());
    const auto* q = static_cast<const unsigned char*>(b->GetScalarPointer());
    int n = 0;
    for (int i = 0; i < d[0] * d[1]; ++i, p += 4, q += 4)
      n += std::abs(p[0] - q[0]) > 8 || std::abs(p[1] - q[1]) > 8 || std::abs(p[2] - q[2]) > 8;
    return n;
  };
  auto green = [](vtkImageData* a) {
    int d[3];
    a->GetDimensions(d);
    const auto* p = static_cast<const unsigned char*>(a->GetScalarPointer());
    int n = 0;
    for (int i = 0; i < d[0] * d[1]; ++i, p += 4) n += p[1] > 150 && p[0] < 60 && p[2] < 60;
    return n;
  };

  frame();
  vtkSmartPointer<vtkImageData> without = eye("left");
  ASSERT_TRUE(without);

  // Empty: shown, yet nothing to draw and nothing translucent.
  state->hudShown = true;
  fill(0);
  frame();
  EXPECT_TRUE(hud.actor()->GetVisibility());
  EXPECT_TRUE(hud.actor()->GetShowsNothing());
  EXPECT_FALSE(hud.actor()->HasTranslucentPolygonalGeometry());
  EXPECT_EQ(differing(eye("left"), without), 0);

  // Opaque where it shows: drawn in the opaque pass, the same picture as blended.
  fill(255);
  frame();
  EXPECT_FALSE(hud.actor()->GetShowsNothing());
  EXPECT_FALSE(hud.actor()->HasTranslucentPolygonalGeometry());
  vtkSmartPointer<vtkImageData> opaque = eye("left");
  ASSERT_TRUE(opaque);
  EXPECT_GT(green(opaque), 500);
  hud.actor()->SetForceOpaque(false);  // the blended panel, for comparison
  window->Render();
  window->SubmitEyes();
  ++submitted;
  vtkSmartPointer<vtkImageData> blended = eye("left");
  EXPECT_TRUE(hud.actor()->HasTranslucentPolygonalGeometry());
  EXPECT_LE(differing(opaque, blended), green(blended) / 50) << green(blended);

  // Half transparent: blended.
  fill(128);
  frame();
  EXPECT_TRUE(hud.actor()->HasTranslucentPolygonalGeometry());
  EXPECT_GT(differing(eye("left"), without), 500);
}
