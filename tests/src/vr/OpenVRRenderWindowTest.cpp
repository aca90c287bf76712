#include <vtk_glew.h>

#include <gtest/gtest.h>

#include <openvr.h>

#include <array>
#include <cmath>
#include <cstdlib>

#include <vtkActor.h>
#include <vtkActorCollection.h>
#include <vtkCamera.h>
#include <vtkCallbackCommand.h>
#include <vtkCubeSource.h>
#include <vtkColorTransferFunction.h>
#include <vtkCullerCollection.h>
#include <vtkFloatArray.h>
#include <vtkGPUVolumeRayCastMapper.h>
#include <vtkImageData.h>
#include <vtkMatrix4x4.h>
#include <vtkNew.h>
#include <vtkOpenGLRenderer.h>
#include <vtkOpenGLState.h>
#include <vtkPiecewiseFunction.h>
#include <vtkPointData.h>
#include <vtkPolyDataMapper.h>
#include <vtkProperty.h>
#include <vtkTimerLog.h>
#include <vtkVolume.h>
#include <vtkVolumeProperty.h>

#include "Configuration.h"
#include "OpenVRCamera.h"
#include "OpenVRRenderWindow.h"
#include "PngImage.h"
#include "RenderLock.h"
#include "SharedGlContexts.h"
#include "VRSimulator.h"
#include "VolumeRenderingManager.h"
#include "VrTestSupport.h"
#include "kvg/DrawableSession.h"
#include "kvg/OpenGLRenderer.h"
#include "kvg/RendererObjectRegistryBase.h"
#include "kvg/PropLighting.h"

namespace {

const double kIdentity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
constexpr int kEyeWidth = 320;   // the simulated headset's 640 x 720 at resolutionFactor 0.5
constexpr int kEyeHeight = 360;

// The simulated headset with its compositor writing every submitted frame, a window standing
// in for the program's, and an OpenVR render window on that window's context showing a red
// cube 2 m in front of the head in its model renderer.
class StereoScene : public ::testing::Test {
 protected:
  ScopedBaseDir base{"resolutionFactor = 0.5\nhudBorderSize = 2\nceilFogColorRGB = [0.1, 0.2]\nuseFog = false\n"};
  std::string captureDir = base.dir() + "/capture";
  std::unique_ptr<QtGlWindow> qt;
  vtkSmartPointer<OpenVRRenderWindow> window;
  vtkNew<vtkOpenGLRenderer> model;
  vtkNew<OpenVRCamera> camera;
  GLuint eyes[2] = {0, 0};

  void startHeadset(const std::string& script) {
    setenv("QUONIX_VRSIM_CAPTURE_DIR", captureDir.c_str(), 1);
    vrsim::useScript(script, "render-window-test");
    Lock::AutoLock lock(GetRenderLock());
    vr::EVRInitError error = vr::VRInitError_None;
    ASSERT_NE(vr::VR_Init(&error, vr::VRApplication_Scene), nullptr);
  }

  void build(int samples) {
    qt.reset(new QtGlWindow(kEyeWidth, kEyeHeight));
    ASSERT_TRUE(qt->valid());
    glGenTextures(2, eyes);
    window = vtkSmartPointer<OpenVRRenderWindow>::New();
    window->SetMultiSamples(samples);
    window->SetMakeCurrentCallback([this] { qt->makeCurrent(); });
    ASSERT_TRUE(window->CreateEyeFramebuffers(eyes[0], eyes[1]));
    window->SetViewSize(kEyeWidth, kEyeHeight);

    vtkNew<vtkCubeSource> cube;
    cube->SetCenter(0, 1.6, -2);
    cube->SetXLength(0.3);
    cube->SetYLength(0.3);
    cube->SetZLength(0.3);
    vtkNew<vtkPolyDataMapper> mapper;
    mapper->SetInputConnection(cube->GetOutputPort());
    vtkNew<vtkActor> actor;
    actor->SetMapper(mapper);
    kvg::SetPropLighting(actor, kvg::PropLighting::Unlit);
    actor->GetProperty()->SetColor(1, 0, 0);
    model->AddActor(actor);
    model->SetLayer(1);
    window->AddRenderer(model);

    updateEyeMatrices(camera);
    const double head[3] = {0, 1.6, 0};
    camera->setFromPose(kIdentity, head, kIdentity);
    for (int layer = 0; layer < 3; ++layer) window->GetLayerRenderer(layer)->SetActiveCamera(camera);
    model->SetActiveCamera(camera);
    window->SetupRenderer(model, {}, false);
  }

  void TearDown() override {
    if (window) {
      qt->makeCurrent();
      window->Finalize();
      window = nullptr;
      glDeleteTextures(2, eyes);
    }
    qt.reset();
    unsetenv("QUONIX_VRSIM_CAPTURE_DIR");
    Lock::AutoLock lock(GetRenderLock());
    vr::VR_Shutdown();
  }

  std::string captured(int frame, const char* eye) const {
    char name[64];
    std::snprintf(name, sizeof name, "/frame-%06d-%s.png", frame, eye);
    return captureDir + name;
  }

  // The mean column of the red pixels, and how many there are.
  static double redCentroid(vtkImageData* image, int* count) {
    int dims[3];
    image->GetDimensions(dims);
    const auto* p = static_cast<const unsigned char*>(image->GetScalarPointer());
    double sum = 0;
    *count = 0;
    for (int y = 0; y < dims[1]; ++y)
      for (int x = 0; x < dims[0]; ++x, p += 4)
        if (p[0] > 200 && p[1] < 60 && p[2] < 60) {
          sum += x;
          ++*count;
        }
    return *count ? sum / *count : -1;
  }

  // Where a room point lands in eye e, in pixels (the projection the eye offsets give).
  std::array<double, 2> project(int e, double x, double y, double z) {
    vtkNew<vtkMatrix4x4> view, full;
    vtkMatrix4x4::Multiply4x4(camera->scaledEyeOffset(e), camera->GetModelViewTransformMatrix(), view);
    vtkMatrix4x4::Multiply4x4(camera->projection(e), view, full);
    const double point[4] = {x, y, z, 1};
    double clip[4];
    full->MultiplyPoint(point, clip);
    return {(clip[0] / clip[3] + 1) / 2 * kEyeWidth - 0.5, (clip[1] / clip[3] + 1) / 2 * kEyeHeight - 0.5};
  }
  // Where the cube's centre lands in eye e.
  double expectedColumn(int e) { return project(e, 0, 1.6, -2)[0]; }
};

class StereoSamples : public StereoScene, public ::testing::WithParamInterface<int> {};

}  // namespace

TEST_P(StereoSamples, BothEyesReachTheCompositorWithParallaxAndTheLeftEyeTheWindow) {
  startHeadset("ipd 0.064\n");
  build(GetParam());
  const OpenVRRenderWindow::FramebufferRecord& left = window->GetFramebufferRecord(OpenVRRenderWindow::LeftEyeRecord);
  EXPECT_EQ(left.width, kEyeWidth);
  EXPECT_EQ(left.height, kEyeHeight);
  EXPECT_EQ(left.resolveTexture, eyes[0]);
  EXPECT_EQ(window->GetFramebufferRecord(OpenVRRenderWindow::RightEyeRecord).resolveTexture, eyes[1]);

  // The targets: multisampled colour and depth with samples, else plain 2D storage that the
  // passes draw in directly.
  for (int record : {OpenVRRenderWindow::LeftEyeRecord, OpenVRRenderWindow::RightEyeRecord}) {
    const OpenVRRenderWindow::FramebufferRecord& r = window->GetFramebufferRecord(record);
    glBindFramebuffer(GL_FRAMEBUFFER, r.renderFramebuffer);
    GLint colour = 0, depthSamples = -1;
    glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_FRAMEBUFFER_ATTACHMENT_OBJECT_NAME,
                                          &colour);
    glBindRenderbuffer(GL_RENDERBUFFER, r.depthRenderbuffer);
    glGetRenderbufferParameteriv(GL_RENDERBUFFER, GL_RENDERBUFFER_SAMPLES, &depthSamples);
    EXPECT_EQ(static_cast<GLuint>(colour), r.colorTexture);
    EXPECT_EQ(depthSamples, GetParam());
    if (GetParam() == 0) {
      EXPECT_EQ(r.colorTexture, r.resolveTexture);
    } else {
      EXPECT_NE(r.colorTexture, r.resolveTexture);
      glBindTexture(GL_TEXTURE_2D_MULTISAMPLE, r.colorTexture);
      GLint colourSamples = 0;
      glGetTexLevelParameteriv(GL_TEXTURE_2D_MULTISAMPLE, 0, GL_TEXTURE_SAMPLES, &colourSamples);
      EXPECT_EQ(colourSamples, GetParam());
      glBindTexture(GL_TEXTURE_2D_MULTISAMPLE, 0);
    }
  }
  glBindFramebuffer(GL_FRAMEBUFFER, 0);
  window->GetState()->ResetFramebufferBindings();

  window->Render();
  window->SubmitEyes();
  window->MirrorLeftEye();
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));

  vtkSmartPointer<vtkImageData> leftImage = ReadPngRgba8(captured(1, "left"));
  vtkSmartPointer<vtkImageData> rightImage = ReadPngRgba8(captured(1, "right"));
  ASSERT_TRUE(leftImage && rightImage);
  EXPECT_EQ(leftImage->GetDimensions()[0], kEyeWidth);
  EXPECT_EQ(leftImage->GetDimensions()[1], kEyeHeight);
  int leftCount = 0, rightCount = 0;
  const double leftColumn = redCentroid(leftImage, &leftCount);
  const double rightColumn = redCentroid(rightImage, &rightCount);
  EXPECT_GT(leftCount, 200);
  EXPECT_GT(rightCount, 200);
  // Element 1 of the camera's arrays is the left eye.
  EXPECT_NEAR(leftColumn, expectedColumn(1), 1.5);
  EXPECT_NEAR(rightColumn, expectedColumn(0), 1.5);
  EXPECT_GT(leftColumn - rightColumn, 3.0);
  // Away from the cube the erased background pass left opaque white.
  const auto* corner = static_cast<const unsigned char*>(leftImage->GetScalarPointer(2, 2, 0));
  EXPECT_EQ(corner[0], 255);
  EXPECT_EQ(corner[1], 255);
  EXPECT_EQ(corner[2], 255);

  // The mirror: the window's own framebuffer holds the left eye.
  std::string mirror(static_cast<size_t>(kEyeWidth) * kEyeHeight * 4, '\0');
  glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
  glReadBuffer(GL_BACK);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, kEyeWidth, kEyeHeight, GL_RGBA, GL_UNSIGNED_BYTE, &mirror[0]);
  const auto* eye = static_cast<const unsigned char*>(leftImage->GetScalarPointer());
  int differing = 0;
  for (size_t i = 0; i < mirror.size(); i += 4)
    for (int c = 0; c < 3; ++c)
      if (std::abs(int(static_cast<unsigned char>(mirror[i + c])) - int(eye[i + c])) > 1) {
        ++differing;
        break;
      }
  EXPECT_EQ(differing, 0);
}

INSTANTIATE_TEST_SUITE_P(Samples, StereoSamples, ::testing::Values(0, 4));

// A green volume 1.2 m wide behind the red cube, drawn by VTK's GPU ray caster in the model
// renderer: the eyes show the volume around the cube and the cube in front of it, with or
// without multisampling, in stereo frames, after a one-eye render and in the HUD snapshot,
// and GL reports nothing.
TEST_P(StereoSamples, AVolumeBehindASurfaceIsHiddenWhereTheSurfaceStands) {
  startHeadset("ipd 0.064\n");
  build(GetParam());
  vtkNew<vtkImageData> block;
  block->SetDimensions(8, 8, 4);
  block->SetOrigin(-0.6, 1.0, -3.2);
  block->SetSpacing(1.2 / 7, 1.2 / 7, 0.4 / 3);
  vtkNew<vtkFloatArray> scalars;
  scalars->SetName("density");
  scalars->SetNumberOfTuples(block->GetNumberOfPoints());
  scalars->Fill(1.0);
  block->GetPointData()->SetScalars(scalars);
  vtkNew<vtkGPUVolumeRayCastMapper> mapper;
  mapper->SetInputData(block);
  mapper->SetAutoAdjustSampleDistances(0);
  mapper->SetSampleDistance(0.02f);
  vtkNew<vtkColorTransferFunction> colour;
  colour->AddRGBPoint(0.0, 0, 1, 0);
  colour->AddRGBPoint(1.0, 0, 1, 0);
  vtkNew<vtkPiecewiseFunction> opacity;
  opacity->AddPoint(0.0, 1.0);
  opacity->AddPoint(1.0, 1.0);
  vtkNew<vtkVolume> volume;
  volume->SetMapper(mapper);
  volume->GetProperty()->SetColor(colour);
  volume->GetProperty()->SetScalarOpacity(opacity);
  volume->GetProperty()->ShadeOff();
  model->AddVolume(volume);
  while (glGetError() != GL_NO_ERROR) {
  }

  auto pixel = [](vtkImageData* image, const std::array<double, 2>& at) {
    const auto* p = static_cast<const unsigned char*>(
        image->GetScalarPointer(static_cast<int>(std::lround(at[0])), static_cast<int>(std::lround(at[1])), 0));
    return std::array<int, 3>{p[0], p[1], p[2]};
  };
  const std::array<int, 3> red{255, 0, 0}, green{0, 255, 0};
  // Stereo, then one eye as the scene view's volume pre-render does, then stereo again.
  for (int frame = 1; frame <= 2; ++frame) {
    window->Render();
    window->SubmitEyes();
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR)) << "frame " << frame;
    for (int e : {0, 1}) {
      vtkSmartPointer<vtkImageData> image = ReadPngRgba8(captured(frame, e == 1 ? "left" : "right"));
      ASSERT_TRUE(image);
      EXPECT_EQ(pixel(image, project(e, 0, 1.6, -1.85)), red) << "eye " << e << ", frame " << frame;
      EXPECT_EQ(pixel(image, project(e, 0.35, 1.6, -3.0)), green) << "eye " << e << ", frame " << frame;
      EXPECT_EQ(pixel(image, project(e, 0, 1.3, -3.0)), green) << "eye " << e << ", frame " << frame;
    }
    if (frame == 1) {
      window->StereoRenderOff();
      window->Render();
      window->StereoRenderOn();
      EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR)) << "one eye";
    }
  }

  // The HUD snapshot draws the same cube and volume, seen from the head, into its own target.
  vtkNew<vtkOpenGLRenderer> hudScene;
  hudScene->AddActor(model->GetActors()->GetLastActor());
  hudScene->AddVolume(volume);
  hudScene->GetActiveCamera()->SetPosition(0, 1.6, 0);
  hudScene->GetActiveCamera()->SetFocalPoint(0, 1.6, -1);
  hudScene->GetActiveCamera()->SetClippingRange(0.1, 10);
  window->AddRenderer(hudScene);
  window->SetupRenderer(model, {hudScene.GetPointer()}, true);
  window->RenderHudSnapshot(nullptr);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR)) << "HUD";
  vtkImageData* hud = window->GetHudImage();
  int dims[3];
  hud->GetDimensions(dims);
  auto hudPixel = [&](int x, int y) {
    const auto* q = static_cast<const unsigned char*>(hud->GetScalarPointer(x, y, 0));
    return std::array<int, 3>{q[0], q[1], q[2]};
  };
  // The camera looks along -z from the cube's height: the cube stands in the middle, the volume
  // reaches out around it.
  EXPECT_EQ(hudPixel(dims[0] / 2, dims[1] / 2), red);
  EXPECT_EQ(hudPixel(dims[0] / 2, dims[1] / 2 - dims[1] / 6), green);
  EXPECT_EQ(hudPixel(dims[0] / 2 + dims[0] / 8, dims[1] / 2), green);
  window->RemoveRenderer(hudScene);
}

TEST_F(StereoScene, HudSnapshotDrawsTheGivenRenderersWithARedBorder) {
  startHeadset("");
  build(4);
  vtkNew<vtkOpenGLRenderer> background;
  background->SetBackground(0, 0, 1);
  background->SetBackgroundAlpha(1.0);
  window->AddRenderer(background);
  window->SetupRenderer(model, {background.GetPointer()}, true);
  EXPECT_FALSE(model->GetDraw());
  EXPECT_FALSE(window->GetLayerRenderer(0)->GetDraw());
  EXPECT_TRUE(background->GetDraw());
  window->RenderHudSnapshot(nullptr);

  vtkImageData* hud = window->GetHudImage();
  EXPECT_EQ(hud->GetDimensions()[0], 1024);
  EXPECT_EQ(hud->GetDimensions()[1], 768);
  EXPECT_EQ(hud->GetNumberOfScalarComponents(), 4);
  auto at = [&](int x, int y) {
    const auto* p = static_cast<const unsigned char*>(hud->GetScalarPointer(x, y, 0));
    return std::array<int, 4>{p[0], p[1], p[2], p[3]};
  };
  const std::array<int, 4> red{255, 0, 0, 255}, blue{0, 0, 255, 255};
  for (auto xy : {std::array<int, 2>{0, 0}, {1, 1}, {1023, 767}, {1022, 400}, {500, 1}, {500, 766}}) {
    EXPECT_EQ(at(xy[0], xy[1]), red) << xy[0] << "," << xy[1];
  }
  for (auto xy : {std::array<int, 2>{2, 2}, {1021, 765}, {512, 384}, {2, 400}}) {
    EXPECT_EQ(at(xy[0], xy[1]), blue) << xy[0] << "," << xy[1];
  }
  // Back to the VR pass: eye size and stereo again, the HUD renderer no longer drawn.
  EXPECT_EQ(window->GetSize()[0], kEyeWidth);
  EXPECT_TRUE(window->GetStereoRender());
  window->SetupRenderer(model, {background.GetPointer()}, false);
  EXPECT_FALSE(background->GetDraw());
  window->Render();
  window->SubmitEyes();
  vtkSmartPointer<vtkImageData> leftImage = ReadPngRgba8(captured(1, "left"));
  ASSERT_TRUE(leftImage);
  const auto* corner = static_cast<const unsigned char*>(leftImage->GetScalarPointer(2, 2, 0));
  EXPECT_EQ(corner[2], 255);
  EXPECT_EQ(corner[0], 255);
}

TEST_F(StereoScene, HudSnapshotDrawsVolumesAloneAtFullQualityAndPutsTheSessionBack) {
  startHeadset("");
  build(0);
  kvg::DrawableSession session(kvg::RendererObjectRegistryBase::getNextHandle(0), -1);
  kvg::VolumeRenderingManager& volumes = kvg::VolumeRenderingManager::getSingleton(session);
  const double origin[3] = {0.1, 0.2, 0.3}, up[3] = {0, 0, 1}, right[3] = {1, 0, 0};
  const std::vector<kvg::SimplePlaneSection> sections{kvg::SimplePlaneSection(origin, up, right)};
  const kvg::SimplePlaneSection interactive(origin, right, up);
  const kvg::IsoValueList isoValues{{"pressure", 0.5}, {"speed", 2.0}};
  const kvg::IsoValue interactiveIso{"pressure", 0.75};
  volumes.setEnableVolRend(false);
  volumes.setVolRendQuality(0.3);
  volumes.setPersistentPlaneSections(sections);
  volumes.setInteractivePlaneSection(interactive);
  volumes.setPersistentIsoValues(isoValues);
  volumes.setInteractiveIsoValue(interactiveIso);

  // What the volume rendering looks like while the snapshot renders.
  struct Seen {
    bool enabled = false;
    double quality = 0;
    size_t sections = 99, isoValues = 99;
    bool interactiveSectionNone = false;
    kvg::IsoValue interactiveIso;
  } seen;
  vtkNew<vtkCallbackCommand> onRender;
  onRender->SetCallback([](vtkObject*, unsigned long, void* data, void*) {
    auto* pair = static_cast<std::pair<kvg::VolumeRenderingManager*, Seen*>*>(data);
    kvg::VolumeRenderingManager& v = *pair->first;
    *pair->second = Seen{v.getEnableVolRend(), v.getVolRendQuality(), v.getPersistentPlaneSections().size(),
                         v.getPersistentIsoValues().size(), v.getInteractivePlaneSection().isNone(),
                         v.getInteractiveIsoValue()};
  });
  std::pair<kvg::VolumeRenderingManager*, Seen*> data{&volumes, &seen};
  onRender->SetClientData(&data);
  window->AddObserver(vtkCommand::StartEvent, onRender);
  window->SetupRenderer(model, {}, true);
  window->RenderHudSnapshot(&session);
  window->RemoveObserver(onRender);

  EXPECT_TRUE(seen.enabled);
  EXPECT_DOUBLE_EQ(seen.quality, 1.0);
  EXPECT_EQ(seen.sections, 0u);
  EXPECT_EQ(seen.isoValues, 0u);
  EXPECT_TRUE(seen.interactiveSectionNone);
  EXPECT_EQ(seen.interactiveIso.first, "");
  EXPECT_EQ(seen.interactiveIso.second, kvg::NoValue);

  EXPECT_FALSE(volumes.getEnableVolRend());
  EXPECT_DOUBLE_EQ(volumes.getVolRendQuality(), 0.3);
  EXPECT_EQ(volumes.getPersistentPlaneSections(), sections);
  EXPECT_EQ(volumes.getInteractivePlaneSection(), interactive);
  EXPECT_EQ(volumes.getPersistentIsoValues(), isoValues);
  EXPECT_EQ(volumes.getInteractiveIsoValue(), interactiveIso);
}

TEST_F(StereoScene, ARightEyeSubmitErrorPrintsItsNumber) {
  startHeadset("fail submit 101 right times 1\n");
  build(0);
  window->Render();
  testing::internal::CaptureStdout();
  window->SubmitEyes();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "101");
  testing::internal::CaptureStdout();
  window->SubmitEyes();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST_F(StereoScene, LayersSitAroundTheModelRendererAndTheBackgroundCarriesTheFog) {
  startHeadset("");
  build(0);
  kvg::OpenGLRenderer* background = window->GetLayerRenderer("vrBackGround");
  kvg::OpenGLRenderer* widgets = window->GetLayerRenderer("vrWidgets");
  kvg::OpenGLRenderer* models = window->GetLayerRenderer("vrModels");
  ASSERT_TRUE(background && widgets && models);
  EXPECT_EQ(window->GetLayerRenderer("other"), nullptr);
  EXPECT_TRUE(background->GetErase());
  EXPECT_FALSE(widgets->GetErase());
  EXPECT_FALSE(model->GetErase());

  model->SetLayer(3);
  window->SetupRenderer(model, {}, false);
  EXPECT_EQ(background->GetLayer(), 2);
  EXPECT_EQ(models->GetLayer(), 4);
  EXPECT_EQ(widgets->GetLayer(), 5);
  EXPECT_GE(window->GetNumberOfLayers(), 6);
  EXPECT_EQ(models->GetLights(), model->GetLights());
  EXPECT_TRUE(model->GetDraw());
  EXPECT_EQ(model->GetCullers()->GetNumberOfItems(), 0);

  // A model renderer on the lowest layer moves up, so the room still draws below it.
  model->SetLayer(0);
  window->SetupRenderer(model, {}, false);
  EXPECT_EQ(model->GetLayer(), 1);
  EXPECT_EQ(background->GetLayer(), 0);
  EXPECT_EQ(models->GetLayer(), 2);
  EXPECT_EQ(widgets->GetLayer(), 3);

  window->SetupRenderer(nullptr, {}, false);
  EXPECT_EQ(background->GetLayer(), 0);
  EXPECT_EQ(widgets->GetLayer(), 1);
  EXPECT_EQ(models->GetLayer(), 2);

  double fog[3];
  background->getFogColor(fog);
  EXPECT_DOUBLE_EQ(fog[0], 0.1);
  EXPECT_DOUBLE_EQ(fog[1], 0.2);
  EXPECT_DOUBLE_EQ(fog[2], 0.625);
  EXPECT_FALSE(background->getUseFog());
}

TEST(OpenVRRenderWindowNoHeadset, MissingInterfacesAreSkipped) {
  uint32_t width = 7, height = 9;
  GetRecommendedRenderTargetSize(width, height);
  EXPECT_EQ(width, 7u);
  EXPECT_EQ(height, 9u);
  QtGlWindow qt(64, 64);
  ASSERT_TRUE(qt.valid());
  vtkNew<OpenVRRenderWindow> window;
  window->SetMakeCurrentCallback([&] { qt.makeCurrent(); });
  EXPECT_FALSE(window->CreateEyeFramebuffers(1, 2));
  testing::internal::CaptureStdout();
  window->SubmitEyes();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  window->RenderHudSnapshot(nullptr);
  EXPECT_EQ(window->GetHudImage()->GetNumberOfPoints(), 0);
  EXPECT_TRUE(window->IsA("vtkGenericOpenGLRenderWindow"));
}

// The two buffers render on two threads, and VTK's timer log takes every render's entry in one
// unlocked process-wide buffer: it is off before any test (or the program's main) runs.
TEST(OpenVRRenderWindowTimerLog, IsOffFromStartUp) { EXPECT_EQ(vtkTimerLog::GetLogging(), 0); }
