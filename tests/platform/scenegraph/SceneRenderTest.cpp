// Drawable scenes drawn into a plain VTK window under Xvfb.
#include <gtest/gtest.h>

#include <vtkCamera.h>
#include <vtkFloatArray.h>
#include <vtkImageData.h>
#include <vtkRenderWindow.h>
#include <vtkRenderer.h>
#include <vtkSmartPointer.h>
#include <vtkSphereSource.h>

#include "WindowPixels.h"

#include "kvg/DrawableProp.h"
#include "kvg/DrawableScene.h"
#include "kvg/DrawableSession.h"
#include "kvg/ImageDataNode.h"
#include "kvg/PartDrawable.h"
#include "kvg/Plane.h"
#include "kvg/PolyDataNode.h"
#include "kvg/RendererFactory.h"
#include "kvg/RendererNodeStream.h"
#include "kvg/RendererObjectRegistryBase.h"
#include "kvg/SceneCanvas.h"
#include "kvg/SessionExtension.h"
#include "kvg/SurfaceDrawable.h"
#include "kvg/TriadDrawable.h"

namespace {

class SceneRender : public ::testing::Test {
 protected:
  void SetUp() override {
    session = std::make_unique<kvg::DrawableSession>(kvg::RendererObjectRegistryBase::getNextHandle(0), -1);
    window = vtkSmartPointer<vtkRenderWindow>::New();
    window->SetOffScreenRendering(1);
    window->SetSize(160, 120);
    window->SetMultiSamples(0);

    kvg::RendererNodeStream stream(*session);
    canvas = new kvg::SceneCanvas;
    canvas->setBackground({0.0, 0.0, 0.0});
    auto sphere = vtkSmartPointer<vtkSphereSource>::New();
    sphere->SetThetaResolution(32);
    sphere->SetPhiResolution(16);
    sphere->Update();
    ball = new kvg::SurfaceDrawable;
    ball->setName("Ball Boundary");
    ball->setDataNode(kvg::Ptr<kvg::Object>(new kvg::PolyDataNode(sphere->GetOutput())));
    base = new kvg::BaseAttributes;
    base->setColor({1.0, 0.0, 0.0});
    ball->addAttributes(base);
    canvas->getDrawables()->addNode(ball);
    kvg::Ptr<kvg::Camera> camera(new kvg::Camera);
    camera->setPosition({0.0, 0.0, 5.0});
    camera->setFocalPoint({0.0, 0.0, 0.0});
    canvas->setCamera(camera);
    stream.addNode(canvas, "SceneCanvas_1");
    stream.commit();
    scene = session->getDrawableScenes().createScene(new kvg::GenericWindowResourceManager(window, false),
                                                      "SceneCanvas_1");
  }
  void TearDown() override {
    session.reset();
    window->Finalize();
  }

  // Pixels whose red channel is bright and green dark: the red ball, lit.
  int redPixels() {
    return countPixels(window, [](int r, int g, int) { return r > 60 && g < 30; });
  }

  std::unique_ptr<kvg::DrawableSession> session;
  vtkSmartPointer<vtkRenderWindow> window;
  kvg::Ptr<kvg::SceneCanvas> canvas;
  kvg::Ptr<kvg::SurfaceDrawable> ball;
  kvg::Ptr<kvg::BaseAttributes> base;
  kvg::DrawableScene* scene = nullptr;
};

}  // namespace

TEST_F(SceneRender, ModelRendererOwnsLayerOneAndBackgroundRenderersComeWithTheCanvas) {
  EXPECT_EQ(scene->hasModelRenderer(), nullptr);
  scene->update(false);
  ASSERT_NE(scene->hasModelRenderer(), nullptr);
  EXPECT_GE(scene->hasModelRenderer()->getVTKRenderer()->GetLayer(), 1);
  EXPECT_EQ(scene->hasModelRenderer()->hasSceneCanvas(), canvas.get());
  ASSERT_NE(scene->hasRenderer("Background"), nullptr);
  EXPECT_EQ(scene->hasRenderer("Background")->getVTKRenderer()->GetLayer(), 0);
  EXPECT_EQ(scene->hasRenderer("Backdrop"), nullptr);
  EXPECT_EQ(scene->hasRenderer("Orientation"), nullptr);
  EXPECT_TRUE(window->HasRenderer(scene->hasModelRenderer()->getVTKRenderer()));

  canvas->setBackdrop({0.1, 0.1, 0.1}, {0.3, 0.3, 0.3});
  canvas->getDrawables()->addNode(new kvg::TriadDrawable);
  scene->update(false);
  ASSERT_NE(scene->hasRenderer("Orientation"), nullptr);
  EXPECT_GT(scene->hasRenderer("Orientation")->getVTKRenderer()->GetLayer(),
            scene->hasModelRenderer()->getVTKRenderer()->GetLayer());
  ASSERT_NE(scene->hasRenderer("Backdrop"), nullptr);
  EXPECT_TRUE(scene->hasRenderer("Backdrop")->getVTKRenderer()->GetGradientBackground());
}

TEST_F(SceneRender, DrawsTheModelAndHidesItThroughItsBaseAttributes) {
  scene->update(false);
  EXPECT_GT(redPixels(), 500);
  vtkProp* prop = scene->findProp(ball->getKey());
  ASSERT_NE(prop, nullptr);
  EXPECT_TRUE(prop->IsA("DrawableProp"));
  EXPECT_EQ(kvg::DrawableProp::SafeDownCast(prop)->GetDrawableName(), "Ball Boundary");
  base->setVisibility(false, false);
  scene->update(false);
  EXPECT_EQ(redPixels(), 0);
  // A highlighted drawable shows in the highlight colour instead.
  base->setVisibility(true, false);
  base->setHighlightEnabled(true);
  scene->update(false);
  EXPECT_EQ(redPixels(), 0);
}

TEST_F(SceneRender, CanvasClipPlanesCutTheModel) {
  scene->update(false);
  ASSERT_GT(redPixels(), 500);
  // Keeps what lies in front of z = 10: nothing of the ball.
  canvas->hasClipPlanesAttributes()->hasClippingPlanes()->addNode(new kvg::Plane({0, 0, 10}, {0, 0, 1}));
  scene->update(false);
  EXPECT_EQ(scene->hasModelRenderer()->getClippingPlanes()->GetNumberOfItems(), 1);
  EXPECT_EQ(redPixels(), 0);
}

TEST_F(SceneRender, AFreshActiveCameraGetsTheScenesCameraAndAKnownOneIsLeftAlone) {
  scene->update(false);
  vtkRenderer* model = scene->hasModelRenderer()->getVTKRenderer();
  auto fresh = vtkSmartPointer<vtkCamera>::New();
  model->SetActiveCamera(fresh);
  scene->update(false);
  EXPECT_DOUBLE_EQ(fresh->GetPosition()[2], 5.0);
  fresh->SetPosition(0.0, 0.0, 9.0);
  scene->update(false);
  EXPECT_DOUBLE_EQ(fresh->GetPosition()[2], 9.0);
}

TEST_F(SceneRender, ANewSetOfNodesReplacesEveryProp) {
  scene->update(false);
  vtkProp* before = scene->findProp(ball->getKey());
  {
    kvg::RendererNodeStream stream(*session);
    kvg::Ptr<kvg::SceneCanvas> empty(new kvg::SceneCanvas);
    empty->setBackground({0, 0, 0});
    stream.addNode(empty, "SceneCanvas_1");
    stream.commit();
  }
  scene->update(false);
  EXPECT_EQ(scene->getPropCount(), 0u);
  EXPECT_EQ(redPixels(), 0);
  (void)before;
}

TEST_F(SceneRender, RenderersComeFromTheFactoryAndServicesHearOfUpdates) {
  std::vector<std::string> made;
  kvg::RendererFactory::setCreateFunction([&](const std::string& name) {
    made.push_back(name);
    return vtkSmartPointer<vtkRenderer>::New();
  });
  struct Listener : kvg::SessionExtension {
    explicit Listener(kvg::DrawableSession&) {}
    void sceneUpdated(kvg::DrawableScene&) override { ++updates; }
    int updates = 0;
  };
  Listener& listener = session->getOrCreateExtension<Listener>("listener");
  scene->update(false);
  kvg::RendererFactory::setCreateFunction(nullptr);
  EXPECT_EQ(made, (std::vector<std::string>{"Model", "Background"}));
  EXPECT_EQ(listener.updates, 1);
}

// A plane section cut from a volume shows its scalars through its colour map, seen face on or at
// a slant: the head light does not darken it to black when its normal runs across the view.
TEST_F(SceneRender, APlaneSectionShowsItsColourMapAtASlant) {
  base->setVisibility(false, false);
  auto volume = vtkSmartPointer<vtkImageData>::New();
  volume->SetDimensions(3, 3, 3);
  volume->SetOrigin(-1, -1, -1);
  volume->SetSpacing(1, 1, 1);
  auto pressure = vtkSmartPointer<vtkFloatArray>::New();
  pressure->SetName("pressure");
  for (vtkIdType i = 0; i < volume->GetNumberOfPoints(); ++i) pressure->InsertNextValue(float(volume->GetPoint(i)[1]));
  volume->GetPointData()->AddArray(pressure);
  for (const kvg::Vec3& normal : {kvg::Vec3{0.0, 0.0, 1.0}, kvg::Vec3{1.0, 0.0, 0.3}}) {
    SCOPED_TRACE(normal[0]);
    kvg::Ptr<kvg::PartDrawable> section(new kvg::PartDrawable);
    section->setName("Cut PlaneSection");
    section->setPartType(kvg::PartDrawable::PlaneSection);
    section->setP0({0.0, 0.0, 0.0});
    section->setP1(normal);
    section->setDataNode(kvg::Ptr<kvg::Object>(new kvg::ImageDataNode(volume)));
    kvg::Ptr<kvg::BaseAttributes> colours(new kvg::BaseAttributes);
    colours->setColorArray("pressure");
    colours->setColorMap("coolwarm");
    colours->setScalarRange(-1.0, 1.0);
    section->addAttributes(colours);
    canvas->getDrawables()->addNode(section);
    scene->update(false);
    // The map's two ends at full strength: blue below, red above.
    EXPECT_GT(countPixels(window, [](int r, int, int b) { return b > 160 && r < 90; }), 40);
    EXPECT_GT(countPixels(window, [](int r, int g, int b) { return r > 150 && g < 60 && b < 90; }), 40);
    canvas->getDrawables()->removeNode(section);
  }
}
