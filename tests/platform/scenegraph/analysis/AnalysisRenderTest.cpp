// What the analysis props draw, checked on the pixels of an offscreen window (Xvfb).
#include "AnalysisFixtures.h"

#include "AnalysisAssembly.h"
#include "AnalysisPipeline.h"
#include "ClipPlaneSync.h"
#include "ParticleRenderProp.h"
#include "SimplePlaneSection.h"
#include "VolumeVisual.h"

#include <gtest/gtest.h>
#include <vtkActor.h>
#include <vtkAlgorithm.h>
#include <vtkCompositeDataPipeline.h>
#include <vtkLookupTable.h>
#include <vtkMath.h>
#include <vtkObjectFactory.h>
#include <vtkOpenGLCamera.h>
#include <vtkPlane.h>
#include <vtkPlaneCollection.h>
#include <vtkPlaneSource.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkPolyDataMapper.h>
#include <vtkPropAssembly.h>
#include <vtkProperty.h>
#include <vtkVolume.h>

#include <algorithm>
#include <cmath>
#include <memory>

using namespace testing_analysis;
using kvg::SimplePlaneSection;
using kvg::analysis::AnalysisAssembly;
using kvg::analysis::ClipPlaneSync;
using kvg::analysis::ParticleRenderProp;
using kvg::analysis::VolumeSettings;
using kvg::analysis::VolumeVisual;

namespace {

bool IsBlack(const std::array<int, 3>& c) { return c[0] == 0 && c[1] == 0 && c[2] == 0; }
int Brightest(const std::array<int, 3>& c) { return std::max(c[0], std::max(c[1], c[2])); }

// A visual of a unit volume (11 points a side from the origin) with volume rendering on, as the
// headset draws it.
std::unique_ptr<VolumeVisual> RenderedUnitVolume(const ScalarFn& field) {
  auto visual =
      std::make_unique<VolumeVisual>(MakeVolume({11, 11, 11}, {0, 0, 0}, {0.1, 0.1, 0.1}, field), "scalar");
  VolumeSettings settings;
  settings.volumeRendering = true;
  settings.vrMode = true;
  visual->applySettings(settings);
  return visual;
}

vtkSmartPointer<vtkActor> WhiteSquare(double size) {
  vtkNew<vtkPlaneSource> square;
  square->SetOrigin(-size, -size, 0);
  square->SetPoint1(size, -size, 0);
  square->SetPoint2(-size, size, 0);
  square->SetResolution(8, 8);
  square->Update();
  auto mapper = vtkSmartPointer<vtkPolyDataMapper>::New();
  auto data = vtkSmartPointer<vtkPolyData>::New();
  data->DeepCopy(square->GetOutput());
  mapper->SetInputData(data);
  auto actor = vtkSmartPointer<vtkActor>::New();
  actor->SetMapper(mapper);
  actor->GetProperty()->LightingOff();
  actor->GetProperty()->SetAmbient(1.0);
  actor->GetProperty()->SetDiffuse(0.0);
  actor->GetProperty()->SetColor(1, 1, 1);
  return actor;
}

}  // namespace

// A section through a field that grows along x shows the table's colours along x: the colour of
// every column is the table colour of the field value there.
TEST(AnalysisRender, PlaneSectionShowsColourGradientAlongX) {
  auto volume = MakeVolume({21, 11, 11}, {0, 0, 0}, {0.1, 0.1, 0.1}, [](const double p[3]) { return 10.0 + 5.0 * p[0]; });
  VolumeVisual visual(volume, "scalar");
  visual.setPlaneSections({MakeSection({1.0, 0.5, 0.5}, {0, 1, 0}, {1, 0, 0})});
  ASSERT_EQ(visual.sectionCount(), 1u);

  OffscreenView view(200, 100);
  view.renderer->AddViewProp(visual.assembly());
  view.lookAtXY(0, 2, 0, 1);
  auto pixels = view.render();

  double previousHue = 1.0;
  int checked = 0;
  for (int x = 4; x < view.width - 4; x += 8) {
    const auto c = OffscreenView::at(pixels, view.width, x, view.height / 2);
    double expected[3];
    visual.lookupTable()->GetColor(10.0 + 5.0 * 2.0 * (x + 0.5) / view.width, expected);
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(c[k], 255.0 * expected[k], 16.0) << "column " << x << " channel " << k;
    double rgb[3] = {c[0] / 255.0, c[1] / 255.0, c[2] / 255.0}, hsv[3];
    vtkMath::RGBToHSV(rgb, hsv);
    EXPECT_LE(hsv[0], previousHue + 0.01) << "column " << x;
    previousHue = hsv[0];
    ++checked;
  }
  EXPECT_GT(checked, 20);
  const auto left = OffscreenView::at(pixels, view.width, 2, view.height / 2);
  const auto right = OffscreenView::at(pixels, view.width, view.width - 3, view.height / 2);
  EXPECT_GT(left[2], 200);   // blue end
  EXPECT_LT(left[0], 40);
  EXPECT_GT(right[0], 200);  // red end
  EXPECT_LT(right[2], 40);
}

// A clip plane removes the half of the model on the side its normal points away from, for plain
// props and for the analysis parts alike; more than six planes are capped at six.
TEST(AnalysisRender, ClipPlaneRemovesFarHalf) {
  OffscreenView view(160, 160);
  auto square = WhiteSquare(1.0);
  view.renderer->AddActor(square);
  view.lookAtXY(-1, 1, -1, 1);

  auto full = view.render();
  EXPECT_FALSE(IsBlack(OffscreenView::at(full, view.width, 20, 80)));
  EXPECT_FALSE(IsBlack(OffscreenView::at(full, view.width, 140, 80)));

  vtkNew<vtkPlaneCollection> planes;
  vtkNew<vtkPlane> plane;
  plane->SetOrigin(0, 0, 0);
  plane->SetNormal(1, 0, 0);
  planes->AddItem(plane);
  ClipPlaneSync sync;
  sync.apply(view.renderer, planes);
  auto clipped = view.render();
  for (int y = 10; y < 150; y += 20) {
    for (int x = 5; x < 75; x += 10) EXPECT_TRUE(IsBlack(OffscreenView::at(clipped, view.width, x, y))) << x << "," << y;
    for (int x = 85; x < 155; x += 10) EXPECT_EQ(Brightest(OffscreenView::at(clipped, view.width, x, y)), 255) << x << "," << y;
  }

  // The plane moves: the mappers read the shared plane at every render.
  plane->SetNormal(0, -1, 0);
  auto turned = view.render();
  EXPECT_TRUE(IsBlack(OffscreenView::at(turned, view.width, 80, 140)));
  EXPECT_FALSE(IsBlack(OffscreenView::at(turned, view.width, 80, 20)));

  // Seven planes: the first six apply, the seventh (which would remove everything) is left out.
  vtkNew<vtkPlaneCollection> many;
  std::vector<vtkSmartPointer<vtkPlane>> keep;
  for (int i = 0; i < 6; ++i) {
    auto p = vtkSmartPointer<vtkPlane>::New();
    p->SetOrigin(-2, 0, 0);
    p->SetNormal(1, 0, 0);
    many->AddItem(p);
    keep.push_back(p);
  }
  vtkNew<vtkPlane> seventh;
  seventh->SetOrigin(5, 0, 0);
  seventh->SetNormal(1, 0, 0);
  many->AddItem(seventh);
  sync.apply(view.renderer, many);
  EXPECT_EQ(sync.applied()->GetNumberOfItems(), ClipPlaneSync::MaxPlanes);
  auto capped = view.render();
  EXPECT_FALSE(IsBlack(OffscreenView::at(capped, view.width, 80, 80)));

  sync.apply(view.renderer, nullptr);
  EXPECT_EQ(square->GetMapper()->GetClippingPlanes(), nullptr);
}

// The section of a volume is clipped like any other prop of the model.
TEST(AnalysisRender, ClipPlaneCutsSections) {
  auto volume = MakeVolume({11, 11, 11}, {-1, -1, -1}, {0.2, 0.2, 0.2}, [](const double p[3]) { return p[0]; });
  VolumeVisual visual(volume, "scalar");
  visual.setPlaneSections({MakeSection({0, 0, 0}, {0, 1, 0}, {1, 0, 0})});
  OffscreenView view(160, 160);
  view.renderer->AddViewProp(visual.assembly());
  view.lookAtXY(-1, 1, -1, 1);
  vtkNew<vtkPlaneCollection> planes;
  vtkNew<vtkPlane> plane;
  plane->SetOrigin(0, 0, 0);
  plane->SetNormal(-1, 0, 0);
  planes->AddItem(plane);
  ClipPlaneSync sync;
  sync.apply(view.renderer, planes);
  auto pixels = view.render();
  EXPECT_FALSE(IsBlack(OffscreenView::at(pixels, view.width, 40, 80)));
  EXPECT_TRUE(IsBlack(OffscreenView::at(pixels, view.width, 120, 80)));
}

// Volume rendering draws inside the projection of the volume and nothing outside it.
TEST(AnalysisRender, VolumeRenderingStaysInsideProjection) {
  auto volume = MakeVolume({11, 11, 11}, {0, 0, 0}, {0.1, 0.1, 0.1},
                           [](const double p[3]) { return p[0] + p[1] + p[2]; });
  VolumeVisual visual(volume, "scalar");
  VolumeSettings settings;
  settings.volumeRendering = true;
  settings.quality = 1.0;
  settings.vrMode = true;
  visual.applySettings(settings);

  OffscreenView view(150, 150);
  view.renderer->AddViewProp(visual.assembly());
  view.lookAtXY(-1, 2, -1, 2);  // the volume covers the middle third: pixels 50..99
  auto pixels = view.render();
  int inside = 0, lit = 0;
  for (int y = 0; y < view.height; y += 3) {
    for (int x = 0; x < view.width; x += 3) {
      const auto c = OffscreenView::at(pixels, view.width, x, y);
      const bool in = x >= 52 && x <= 97 && y >= 52 && y <= 97;
      const bool out = x < 48 || x > 101 || y < 48 || y > 101;
      if (in) {
        ++inside;
        lit += Brightest(c) > 8 ? 1 : 0;
      } else if (out) {
        ASSERT_TRUE(IsBlack(c)) << "outside at " << x << "," << y;
      }
    }
  }
  EXPECT_EQ(lit, inside);

  settings.volumeRendering = false;
  visual.applySettings(settings);
  auto off = view.render();
  EXPECT_TRUE(IsBlack(OffscreenView::at(off, view.width, 75, 75)));
}

// Iso-surfaces draw in the table's colour of their value, with the configured opacity.
TEST(AnalysisRender, IsoSurfaceDrawsInTableColour) {
  auto volume = MakeVolume({21, 21, 21}, {-1, -1, -1}, {0.1, 0.1, 0.1},
                           [](const double p[3]) { return std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]); });
  VolumeVisual visual(volume, "scalar");
  VolumeSettings settings;
  settings.isoOpacity = 1.0;
  settings.isoLighting = false;
  visual.applySettings(settings);
  visual.setIsoValues({{"scalar", 0.5}, {"no such field", 0.5}});
  ASSERT_EQ(visual.isoCount(), 1u);

  OffscreenView view(120, 120);
  view.renderer->AddViewProp(visual.assembly());
  view.lookAtXY(-1, 1, -1, 1);
  auto pixels = view.render();
  double expected[3];
  visual.lookupTable()->GetColor(0.5, expected);
  const auto centre = OffscreenView::at(pixels, view.width, 60, 60);
  for (int k = 0; k < 3; ++k) EXPECT_NEAR(centre[k], 255.0 * expected[k], 3.0);
  EXPECT_TRUE(IsBlack(OffscreenView::at(pixels, view.width, 60, 110)));  // r > 0.8 there

  // Unchanged values are kept; a changed list recomputes only the new value.
  vtkPolyData* kept = visual.isoData(0);
  visual.setIsoValues({{"scalar", 0.5}, {"scalar", 0.7}});
  EXPECT_EQ(visual.isoData(0), kept);
  visual.setIsoValues({});
  EXPECT_EQ(visual.isoCount(), 0u);
  auto none = view.render();
  EXPECT_TRUE(IsBlack(OffscreenView::at(none, view.width, 60, 60)));
}

// The particle prop calls its frame callback once per window render, also when a stereo render
// draws the renderer twice, and draws the points it was given as spheres.
TEST(AnalysisRender, ParticlePropAdvancesOncePerFrameAndDrawsSpheres) {
  OffscreenView view(120, 120);
  vtkNew<ParticleRenderProp> particles;
  int calls = 0;
  particles->SetFrameCallback([&](vtkPolyData* out) {
    ++calls;
    vtkNew<vtkPoints> pts;
    pts->InsertNextPoint(-0.5, 0, 0);
    pts->InsertNextPoint(0.5, 0, 0);
    out->Initialize();
    out->SetPoints(pts);
  });
  particles->SetRadius(0.1);
  view.renderer->AddViewProp(particles);
  view.lookAtXY(-1, 1, -1, 1);
  view.window->SetStereoCapableWindow(1);
  view.window->SetStereoTypeToSplitViewportHorizontal();
  view.window->StereoRenderOn();
  view.render();
  view.render();
  auto pixels = view.render();
  EXPECT_EQ(calls, 3);
  EXPECT_EQ(particles->GetFrameCount(), 2u);  // counted from the first render on

  view.window->StereoRenderOff();
  pixels = view.render();
  EXPECT_EQ(calls, 4);
  EXPECT_FALSE(IsBlack(OffscreenView::at(pixels, view.width, 30, 60)));
  EXPECT_FALSE(IsBlack(OffscreenView::at(pixels, view.width, 90, 60)));
  EXPECT_TRUE(IsBlack(OffscreenView::at(pixels, view.width, 60, 60)));
  EXPECT_TRUE(IsBlack(OffscreenView::at(pixels, view.width, 30, 90)));
}

// The assembly lets its owner change the parts at the start of every render.
TEST(AnalysisRender, AssemblyPreparesPartsBeforeDrawing) {
  OffscreenView view(80, 80);
  vtkNew<AnalysisAssembly> assembly;
  auto square = WhiteSquare(1.0);
  int prepared = 0;
  assembly->SetPrepareCallback([&](vtkRenderer* renderer) {
    ++prepared;
    EXPECT_EQ(renderer, view.renderer.GetPointer());
    if (!assembly->GetParts()->IsItemPresent(square)) assembly->AddPart(square);
  });
  view.renderer->AddViewProp(assembly);
  view.lookAtXY(-1, 1, -1, 1);
  auto pixels = view.render();
  EXPECT_GE(prepared, 1);
  EXPECT_EQ(Brightest(OffscreenView::at(pixels, view.width, 40, 40)), 255);
}

namespace {
// Like the program's VR camera: an OpenGL camera that answers the type check for vtkCamera only.
class PlainTypedCamera : public vtkOpenGLCamera {
 public:
  static PlainTypedCamera* New();
  vtkTypeMacro(PlainTypedCamera, vtkCamera);
};
vtkStandardNewMacro(PlainTypedCamera);
}  // namespace

// VTK's ray caster would crash on such a camera; the volume draws through a stand-in camera and
// shows the same picture as with an ordinary camera.
TEST(AnalysisRender, VolumeRenderingWithACameraThatHidesItsOpenGLType) {
  auto visual = RenderedUnitVolume([](const double p[3]) { return p[0] + p[1]; });
  OffscreenView view(90, 90);
  view.renderer->AddViewProp(visual->assembly());
  view.lookAtXY(-1, 2, -1, 2);
  auto ordinary = view.render();

  vtkNew<PlainTypedCamera> camera;
  camera->DeepCopy(view.renderer->GetActiveCamera());
  ASSERT_FALSE(camera->IsA("vtkOpenGLCamera"));
  view.renderer->SetActiveCamera(camera);
  auto standIn = view.render();
  EXPECT_EQ(view.renderer->GetActiveCamera(), camera.GetPointer());
  EXPECT_GT(Brightest(OffscreenView::at(standIn, view.width, 45, 45)), 8);
  EXPECT_EQ(CountDifferences(ordinary, standIn), 0);
}

// The clip planes cut the rendered volume too.
TEST(AnalysisRender, ClipPlaneCutsTheRenderedVolume) {
  auto visual = RenderedUnitVolume([](const double p[3]) { return 1.0 + p[1]; });
  OffscreenView view(100, 100);
  view.renderer->AddViewProp(visual->assembly());
  view.lookAtXY(0, 1, 0, 1);
  vtkNew<vtkPlaneCollection> planes;
  vtkNew<vtkPlane> plane;
  plane->SetOrigin(0.5, 0, 0);
  plane->SetNormal(1, 0, 0);
  planes->AddItem(plane);
  ClipPlaneSync sync;
  sync.apply(view.renderer, planes);
  auto pixels = view.render();
  for (int y = 10; y < 90; y += 20) {
    EXPECT_TRUE(IsBlack(OffscreenView::at(pixels, view.width, 25, y))) << y;
    EXPECT_GT(Brightest(OffscreenView::at(pixels, view.width, 75, y)), 8) << y;
  }
}

// Precise bounds end the volume exactly at an oblique plane; without them it ends at the box
// around the part the plane keeps, which is cheaper and shows the cut as a step.
TEST(AnalysisRender, PreciseBoundsCutAtThePlaneApproximateOnesAtItsBox) {
  auto visual = RenderedUnitVolume([](const double p[3]) { return 1.0 + p[1]; });
  OffscreenView view(100, 100);
  view.renderer->AddViewProp(visual->assembly());
  view.lookAtXY(0, 1, 0, 1);
  vtkNew<vtkPlaneCollection> planes;
  vtkNew<vtkPlane> plane;
  plane->SetOrigin(0.75, 0.75, 0.5);  // keeps x + y >= 1.5
  plane->SetNormal(1, 1, 0);
  planes->AddItem(plane);
  visual->setClippingPlanes(planes);

  VolumeSettings settings;
  settings.volumeRendering = true;
  settings.vrMode = true;
  double box[6];
  struct {
    bool precise;
    bool betweenPlaneAndBox;  // lit at (0.55, 0.55): cut away by the plane, inside its box
  } cases[] = {{true, false}, {false, true}, {true, false}};
  for (const auto& c : cases) {
    settings.preciseBounds = c.precise;
    visual->applySettings(settings);
    EXPECT_EQ(visual->croppedBox(box), !c.precise);
    auto pixels = view.render();
    EXPECT_EQ(Brightest(OffscreenView::at(pixels, view.width, 55, 55)) > 8, c.betweenPlaneAndBox) << c.precise;
    EXPECT_TRUE(IsBlack(OffscreenView::at(pixels, view.width, 25, 25))) << c.precise;
    EXPECT_GT(Brightest(OffscreenView::at(pixels, view.width, 90, 90)), 8) << c.precise;
  }
  settings.preciseBounds = false;
  visual->applySettings(settings);
  ASSERT_TRUE(visual->croppedBox(box));
  const double expected[6] = {0.5, 1, 0.5, 1, 0, 1};
  for (int i = 0; i < 6; ++i) EXPECT_NEAR(box[i], expected[i], 1e-9) << i;

  // A moved plane moves the box; a plane that keeps nothing hides the volume.
  plane->SetOrigin(0.25, 0.25, 0.5);  // keeps x + y >= 0.5
  visual->setClippingPlanes(planes);
  ASSERT_TRUE(visual->croppedBox(box));
  EXPECT_NEAR(box[0], 0.0, 1e-9);
  plane->SetOrigin(3, 3, 0);
  visual->setClippingPlanes(planes);
  EXPECT_FALSE(visual->croppedBox(box));
  EXPECT_FALSE(visual->volume()->GetVisibility());
  plane->SetOrigin(0.75, 0.75, 0.5);
  visual->setClippingPlanes(planes);
  EXPECT_TRUE(visual->volume()->GetVisibility());
}

namespace {

// A default executive that does nothing on a frozen thread, as the program's does.
thread_local bool tlFrozen = false;
class FreezingExecutive : public vtkCompositeDataPipeline {
 public:
  static FreezingExecutive* New();
  vtkTypeMacro(FreezingExecutive, vtkCompositeDataPipeline);
  vtkTypeBool Update() override { return tlFrozen ? 1 : Superclass::Update(); }
  vtkTypeBool Update(int port) override { return tlFrozen ? 1 : Superclass::Update(port); }
  vtkTypeBool UpdateWholeExtent() override { return tlFrozen ? 1 : Superclass::UpdateWholeExtent(); }
  vtkTypeBool Update(int port, vtkInformationVector* requests) override {
    return tlFrozen ? 1 : Superclass::Update(port, requests);
  }
};
vtkStandardNewMacro(FreezingExecutive);

class FrozenThread : public ::testing::Test {
 protected:
  void SetUp() override {
    vtkNew<FreezingExecutive> prototype;
    vtkAlgorithm::SetDefaultExecutivePrototype(prototype);
    kvg::analysis::SetThreadThaw(
        [] {
          const bool frozen = tlFrozen;
          tlFrozen = false;
          return frozen;
        },
        [](bool previous) { tlFrozen = previous; });
  }
  void TearDown() override {
    tlFrozen = false;
    kvg::analysis::SetThreadThaw(nullptr, nullptr);
    vtkAlgorithm::SetDefaultExecutivePrototype(nullptr);
  }
};

}  // namespace

// VTK's ray caster builds the volume's proxy geometry through pipelines of its own, on the first
// draw and at every draw with the camera inside the volume. On a thread whose updates are frozen
// they stayed empty and the draw crashed; the volume draws as on any thread, and the thread is
// frozen again afterwards.
TEST_F(FrozenThread, VolumeRenderingDrawsOnAFrozenThread) {
  struct Case {
    const char* name;
    bool drawnBeforeFreezing;
    double eye[3];  // perspective camera looking down -z; inside the volume or in front of it
  };
  const Case cases[] = {
      {"first draw frozen", false, {0.5, 0.5, 3.0}},
      {"camera moves into the volume while frozen", true, {0.5, 0.5, 0.6}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto visual = RenderedUnitVolume([](const double p[3]) { return p[0] + p[1]; });
    OffscreenView view(90, 90);
    view.renderer->AddViewProp(visual->assembly());
    vtkCamera* camera = view.renderer->GetActiveCamera();
    camera->SetFocalPoint(0.5, 0.5, -1.0);
    camera->SetViewUp(0, 1, 0);
    camera->SetPosition(0.5, 0.5, 3.0);
    camera->SetClippingRange(0.01, 10.0);
    if (c.drawnBeforeFreezing) view.render();
    tlFrozen = true;
    camera->SetPosition(c.eye);
    camera->SetClippingRange(0.01, 10.0);
    auto pixels = view.render();
    EXPECT_TRUE(tlFrozen);
    tlFrozen = false;
    EXPECT_GT(Brightest(OffscreenView::at(pixels, view.width, 45, 45)), 8);
  }
}
