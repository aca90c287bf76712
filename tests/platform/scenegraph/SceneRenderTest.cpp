// Drawable scenes drawn into a plain VTK window under Xvfb.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include <vtkActor.h>
#include <vtkCamera.h>
#include <vtkFloatArray.h>
#include <vtkImageData.h>
#include <vtkCellArray.h>
#include <vtkMapper.h>
#include <vtkPolyData.h>
#include <vtkPropCollection.h>
#include <vtkRenderWindow.h>
#include <vtkRenderer.h>
#include <vtkSmartPointer.h>
#include <vtkSphereSource.h>

#include "StringHelper.h"
#include "WindowPixels.h"

#include "kvg/DrawableProp.h"
#include "kvg/DrawableScene.h"
#include "kvg/DrawableSession.h"
#include "kvg/ImageDataNode.h"
#include "kvg/PartDrawable.h"
#include "kvg/FreeTypeFontManager.h"
#include "kvg/LabelDrawable.h"
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

// Props of many drawables come and go in one walk of the renderer's list: the renderer ends with
// the props of the drawables there are, each with the renderer among its consumers, and keeps
// the props others put in it, in their order; the props that went no longer name it.
TEST_F(SceneRender, PropsOfManyDrawablesComeAndGoAndOtherPropsStay) {
  scene->update(false);
  vtkRenderer* model = scene->hasModelRenderer()->getVTKRenderer();
  auto other = vtkSmartPointer<vtkActor>::New();
  model->AddActor(other);
  std::vector<kvg::Ptr<kvg::SurfaceDrawable>> many;
  for (int i = 0; i < 200; ++i) {
    many.emplace_back(new kvg::SurfaceDrawable);
    many.back()->setName("Part " + std::to_string(i));
    many.back()->setDataNode(ball->getDataNode());
    many.back()->addAttributes(base);
    canvas->getDrawables()->addNode(many.back());
  }
  scene->update(false);
  const auto props = [&] {
    std::vector<vtkProp*> out;
    vtkCollectionSimpleIterator it;
    model->GetViewProps()->InitTraversal(it);
    while (vtkProp* p = model->GetViewProps()->GetNextProp(it)) out.push_back(p);
    return out;
  };
  std::vector<vtkProp*> now = props();
  ASSERT_EQ(now.size(), 202u);
  EXPECT_EQ(now[1], other.GetPointer());
  for (vtkProp* p : now) EXPECT_TRUE(p->IsConsumer(model));
  EXPECT_EQ(scene->getPropCount(), 201u);

  // Half of them go and the ball changes: its prop is made anew.
  std::vector<vtkSmartPointer<vtkProp>> gone(now.begin() + 102, now.end());
  vtkSmartPointer<vtkProp> oldBall = scene->findProp(ball->getKey());
  for (int i = 0; i < 100; ++i) canvas->getDrawables()->removeNode(many[size_t(100 + i)]);
  ball->setName("Ball Boundary 2");
  scene->update(false);
  now = props();
  ASSERT_EQ(now.size(), 102u);
  EXPECT_EQ(now[0], other.GetPointer());
  EXPECT_TRUE(other->IsConsumer(model));
  for (vtkProp* p : now) EXPECT_TRUE(p->IsConsumer(model));
  for (vtkProp* p : gone) EXPECT_FALSE(p->IsConsumer(model));
  EXPECT_FALSE(oldBall->IsConsumer(model));
  EXPECT_NE(scene->findProp(ball->getKey()), oldBall.GetPointer());
  EXPECT_EQ(now.back(), scene->findProp(ball->getKey()));
  EXPECT_GT(redPixels(), 500);

  // All props made anew: only the other prop is left of the ones before.
  std::vector<vtkSmartPointer<vtkProp>> before(now.begin() + 1, now.end());
  scene->update(true);
  now = props();
  ASSERT_EQ(now.size(), 102u);
  EXPECT_EQ(now[0], other.GetPointer());
  for (vtkProp* p : before) EXPECT_FALSE(p->IsConsumer(model));
  EXPECT_GT(redPixels(), 500);
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

namespace {
// The total area of the prop's triangles and the height of its bounds.
void labelGeometry(vtkProp* prop, double& area, double& width, double& height, vtkIdType& polys) {
  area = 0;
  width = 0;
  height = 0;
  polys = 0;
  auto* actor = vtkActor::SafeDownCast(prop);
  vtkPolyData* data = actor && actor->GetMapper() ? vtkPolyData::SafeDownCast(actor->GetMapper()->GetInput()) : nullptr;
  if (!data) return;
  width = data->GetBounds()[1] - data->GetBounds()[0];
  height = data->GetBounds()[3] - data->GetBounds()[2];
  polys = data->GetNumberOfPolys();
  vtkCellArray* cells = data->GetPolys();
  vtkIdType n;
  const vtkIdType* ids;
  for (cells->InitTraversal(); cells->GetNextCell(n, ids);) {
    if (n != 3) continue;
    double a[3], b[3], c[3];
    data->GetPoint(ids[0], a);
    data->GetPoint(ids[1], b);
    data->GetPoint(ids[2], c);
    area += std::abs((b[0] - a[0]) * (c[1] - a[1]) - (c[0] - a[0]) * (b[1] - a[1])) / 2;
  }
}
}  // namespace

// Labels are drawn in the font manager's default font once there is one: filled glyphs whose
// capital letter is the label's height, with the holes of the letters open; without a font
// folder they keep the stroke font.
TEST_F(SceneRender, LabelsTakeTheDefaultFontOfTheFontFolder) {
  kvg::FreeTypeFontManager& fonts = kvg::FreeTypeFontManager::getSingleton();
  fonts.clear();
  EXPECT_FALSE(fonts.addFontDirectory(L"/nonexistent/font", false));
  EXPECT_FALSE(setDefaultKvgFont());

  // A canvas holding the label replaces the ball's.
  kvg::Ptr<kvg::LabelDrawable> label(new kvg::LabelDrawable);
  auto show = [&](const std::string& text) {
    kvg::RendererNodeStream stream(*session);
    kvg::Ptr<kvg::SceneCanvas> labelled(new kvg::SceneCanvas);
    label = new kvg::LabelDrawable;
    label->setName("Label");
    label->setText(text);
    label->setHeight(0.5);
    labelled->getDrawables()->addNode(label);
    stream.addNode(labelled, "SceneCanvas_1");
    stream.commit();
    scene->update(false);
  };
  show("O");
  ASSERT_NE(scene->findProp(label->getKey()), nullptr);
  double strokeArea, strokeWidth, strokeHeight;
  vtkIdType strokePolys;
  labelGeometry(scene->findProp(label->getKey()), strokeArea, strokeWidth, strokeHeight, strokePolys);
  ASSERT_GT(strokePolys, 0);

  const char* bin = std::getenv("QUONIX_BIN_DIR");
  ASSERT_NE(bin, nullptr);
  ASSERT_TRUE(fonts.addFontDirectory(StringHelper::toWString(std::string(bin) + "/font"), false));
  ASSERT_TRUE(setDefaultKvgFont());
  EXPECT_EQ(fonts.getDefaultFontFile(), std::string(bin) + "/font/kelmar_global_roman.ttf");
  show("O");
  double area, width, height;
  vtkIdType polys;
  labelGeometry(scene->findProp(label->getKey()), area, width, height, polys);
  const vtkSmartPointer<vtkPolyData> outline = fonts.textOutline("O");
  ASSERT_TRUE(outline);
  EXPECT_EQ(polys, outline->GetNumberOfPolys());
  EXPECT_NE(polys, strokePolys);
  // A round letter overshoots the capital height a little.
  EXPECT_NEAR(height, 0.5, 0.05);
  // A ring, not a disc: well under the ellipse of the letter's outer edge (0.785 of its box).
  EXPECT_GT(area, 0.15 * width * height);
  EXPECT_LT(area, 0.6 * width * height);
  fonts.clear();
}
