#include <gtest/gtest.h>

#include <sstream>

#include <vtkCamera.h>
#include <vtkNew.h>
#include <vtkOpenGLActor.h>
#include <vtkOpenGLRenderer.h>
#include <vtkPlaneSource.h>
#include <vtkPolyDataMapper.h>
#include <vtkProperty.h>
#include <vtkRenderWindow.h>

#include "Logger.h"
#include "kvg/OpenGLRenderer.h"
#include "OpenVRActor.h"
#include "kvg/PropLighting.h"
#include "VrTestSupport.h"

namespace {

struct CaptureLog : Logger::Output {
  std::ostringstream* sink;
  explicit CaptureLog(std::ostringstream* s) : sink(s) {}
  void write(const std::string& t) override { *sink << t; }
  void writeLine(const std::string& t) override { *sink << t << '\n'; }
};

// A 32 x 32 window looking down -z with a fogged scene-graph renderer.
class ActorScene : public ::testing::Test {
 protected:
  vtkNew<vtkRenderWindow> window;
  vtkNew<kvg::OpenGLRenderer> renderer;
  std::ostringstream log;

  void SetUp() override {
    UseSharedDisplay(window);
    window->SetOffScreenRendering(1);
    window->SetMultiSamples(0);
    window->SetSize(32, 32);
    window->AddRenderer(renderer);
    vtkCamera* camera = renderer->GetActiveCamera();
    camera->SetPosition(0, 0, 0);
    camera->SetFocalPoint(0, 0, -1);
    camera->SetViewAngle(60);
    camera->SetClippingRange(0.1, 100);
    Logger::getSingleton().setOutput(new CaptureLog(&log));
    Logger::getSingleton().setFlags(Logger::Error | Logger::Warning);
  }
  void TearDown() override { Logger::getSingleton().setOutput(nullptr); }

  // An unlit square at depth z covering x0..x1, y0..y1.
  template <typename Actor>
  vtkSmartPointer<Actor> square(double z, double x0, double x1, double y0, double y1, std::array<double, 3> rgb) {
    vtkNew<vtkPlaneSource> plane;
    plane->SetOrigin(x0, y0, z);
    plane->SetPoint1(x1, y0, z);
    plane->SetPoint2(x0, y1, z);
    vtkNew<vtkPolyDataMapper> mapper;
    mapper->SetInputConnection(plane->GetOutputPort());
    auto actor = vtkSmartPointer<Actor>::New();
    actor->SetMapper(mapper);
    kvg::SetPropLighting(actor, kvg::PropLighting::Unlit);
    actor->GetProperty()->SetColor(rgb[0], rgb[1], rgb[2]);
    return actor;
  }
  std::array<int, 4> pixel(int x, int y) {
    vtkNew<vtkUnsignedCharArray> data;
    window->GetRGBACharPixelData(x, y, x, y, 0, data);
    const unsigned char* p = data->GetPointer(0);
    return {p[0], p[1], p[2], p[3]};
  }
};

}  // namespace

TEST(OpenVRActorType, AnswersForItselfAndItsOpenGLBase) {
  vtkNew<OpenVRActor> actor;
  for (const char* name : {"OpenVRActor", "vtkOpenGLActor", "vtkActor", "vtkProp3D", "vtkProp", "vtkObject"}) {
    EXPECT_TRUE(actor->IsA(name)) << name;
  }
  EXPECT_NE(vtkOpenGLActor::SafeDownCast(actor), nullptr);
  EXPECT_FALSE(actor->IsOccluded());
  EXPECT_EQ(actor->GetFogColor()[0], 1.0);
}

TEST(OpenVRActorType, TranslucencyModeDecidesThePass) {
  vtkNew<OpenVRActor> actor;
  vtkNew<vtkPolyDataMapper> mapper;
  vtkNew<vtkPlaneSource> plane;
  mapper->SetInputConnection(plane->GetOutputPort());
  actor->SetMapper(mapper);
  actor->GetProperty()->SetOpacity(0.5);
  EXPECT_TRUE(actor->HasTranslucentPolygonalGeometry());
  actor->SetTranslucencyMode(0);
  EXPECT_FALSE(actor->HasTranslucentPolygonalGeometry());
  actor->GetProperty()->SetOpacity(1.0);
  actor->SetTranslucencyMode(1);
  EXPECT_TRUE(actor->HasTranslucentPolygonalGeometry());
  actor->SetTranslucencyMode(2);
  EXPECT_FALSE(actor->HasTranslucentPolygonalGeometry());
}

TEST_F(ActorScene, OcclusionQueryReportsAHiddenActorFromTheNextDrawingOn) {
  auto wall = square<vtkActor>(-2.0, -10, 10, -10, 10, {0, 0, 1});
  auto hidden = square<OpenVRActor>(-5.0, -0.5, 0.5, -0.5, 0.5, {1, 0, 0});
  auto seen = square<OpenVRActor>(-1.0, -0.2, 0.2, -0.2, 0.2, {0, 1, 0});
  renderer->AddActor(wall);
  renderer->AddActor(hidden);
  renderer->AddActor(seen);
  hidden->SetOcclusionQueryEnabled(true);
  seen->SetOcclusionQueryEnabled(true);
  EXPECT_FALSE(hidden->IsOccluded());
  window->Render();
  EXPECT_FALSE(hidden->IsOccluded());  // nothing collected yet
  window->Render();
  window->Render();
  EXPECT_TRUE(hidden->IsOccluded());
  EXPECT_FALSE(seen->IsOccluded());

  // After a release the query is made again before it is used: no GL errors, and the
  // actor, now in front, is reported visible.
  hidden->ReleaseGraphicsResources(window);
  hidden->SetPosition(0, 0, 4.5);
  window->Render();
  window->Render();
  window->Render();
  EXPECT_FALSE(hidden->IsOccluded());
  EXPECT_EQ(log.str(), "");
}

TEST_F(ActorScene, OwnFogColourReplacesTheRenderersWhileDrawnOnly) {
  auto own = square<OpenVRActor>(-2.0, -10, 0, -10, 10, {1, 1, 1});
  auto plain = square<OpenVRActor>(-2.0, 0, 10, -10, 10, {1, 1, 1});
  const double green[3] = {0, 1, 0};
  own->SetFogColor(green);
  own->SetFogColorOverride(true);
  renderer->AddActor(own);
  renderer->AddActor(plain);
  const double red[3] = {1, 0, 0};
  renderer->setFogColor(red);
  renderer->setFogDensity(10.0);  // all fog at distance 2
  renderer->setUseFog(true);
  window->Render();
  EXPECT_EQ(pixel(4, 16), (std::array<int, 4>{0, 255, 0, 255}));
  EXPECT_EQ(pixel(28, 16), (std::array<int, 4>{255, 0, 0, 255}));
  double after[3];
  renderer->getFogColor(after);
  EXPECT_EQ(after[0], 1.0);
  EXPECT_EQ(after[1], 0.0);

  own->SetFogColorOverride(false);
  window->Render();
  EXPECT_EQ(pixel(4, 16), (std::array<int, 4>{255, 0, 0, 255}));
}

TEST_F(ActorScene, WithoutASceneGraphRendererTheOverrideChangesNothing) {
  vtkNew<vtkOpenGLRenderer> plainRenderer;
  plainRenderer->SetActiveCamera(renderer->GetActiveCamera());
  window->RemoveRenderer(renderer);
  window->AddRenderer(plainRenderer);
  auto actor = square<OpenVRActor>(-2.0, -10, 10, -10, 10, {0.2, 0.4, 0.6});
  const double green[3] = {0, 1, 0};
  actor->SetFogColor(green);
  actor->SetFogColorOverride(true);
  plainRenderer->AddActor(actor);
  window->Render();
  EXPECT_EQ(pixel(16, 16), (std::array<int, 4>{51, 102, 153, 255}));
}

TEST_F(ActorScene, DisabledDepthTestDrawsOverNearerGeometry) {
  auto front = square<vtkActor>(-1.0, -10, 10, -10, 10, {0, 0, 1});
  auto back = square<OpenVRActor>(-3.0, -0.5, 0.5, -0.5, 0.5, {1, 1, 0});
  renderer->AddActor(front);
  renderer->AddActor(back);
  window->Render();
  EXPECT_EQ(pixel(16, 16), (std::array<int, 4>{0, 0, 255, 255}));
  back->DepthTestDisabledOn();
  window->Render();
  EXPECT_EQ(pixel(16, 16), (std::array<int, 4>{255, 255, 0, 255}));
  EXPECT_EQ(back->GetDepthTestDisabled(), 1);
}
