// The reduced copies of big surfaces and their swap while the model moves: the reduction keeps
// the surface's place and its colouring arrays at about the asked triangle count, is made once
// for shallow copies of the same arrays, and is drawn only in frames in which the model moved,
// with the full mapper back after each frame.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <thread>

#include <vtkCellData.h>
#include <vtkFloatArray.h>
#include <vtkLookupTable.h>
#include <vtkPlaneCollection.h>
#include <vtkPlaneSource.h>
#include <vtkPointData.h>
#include <vtkPolyData.h>
#include <vtkPolyDataMapper.h>
#include <vtkRenderer.h>
#include <vtkSmartPointer.h>
#include <vtkSphereSource.h>

#include "MovingModelSurfaces.h"
#include "SurfaceReduction.h"
#include "kvg/DrawableProp.h"

namespace {

// A sphere of radius 1 about (0, 0, 0) with 2 x resolution^2 triangles, a point array "height"
// (z) and a cell array "band" (cell index / 1000).
vtkSmartPointer<vtkPolyData> sphere(int resolution) {
  vtkNew<vtkSphereSource> source;
  source->SetThetaResolution(resolution);
  source->SetPhiResolution(resolution);
  source->Update();
  auto data = vtkSmartPointer<vtkPolyData>::New();
  data->DeepCopy(source->GetOutput());
  vtkNew<vtkFloatArray> height;
  height->SetName("height");
  height->SetNumberOfTuples(data->GetNumberOfPoints());
  for (vtkIdType i = 0; i < data->GetNumberOfPoints(); ++i) height->SetValue(i, float(data->GetPoint(i)[2]));
  data->GetPointData()->AddArray(height);
  vtkNew<vtkFloatArray> band;
  band->SetName("band");
  band->SetNumberOfTuples(data->GetNumberOfCells());
  for (vtkIdType i = 0; i < data->GetNumberOfCells(); ++i) band->SetValue(i, float(i / 1000));
  data->GetCellData()->AddArray(band);
  return data;
}

// A flat 2 x 1 sheet of quads.
vtkSmartPointer<vtkPolyData> quadSheet(int columns, int rows) {
  vtkNew<vtkPlaneSource> source;
  source->SetOrigin(-1, -0.5, 0);
  source->SetPoint1(1, -0.5, 0);
  source->SetPoint2(-1, 0.5, 0);
  source->SetResolution(columns, rows);
  source->Update();
  auto data = vtkSmartPointer<vtkPolyData>::New();
  data->DeepCopy(source->GetOutput());
  return data;
}

vtkSmartPointer<vtkPolyData> shallowCopy(vtkPolyData* data) {
  auto copy = vtkSmartPointer<vtkPolyData>::New();
  copy->ShallowCopy(data);
  return copy;
}

bool waitReady(const std::shared_ptr<const SurfaceReduction::Result>& result) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  while (!result->ready.load(std::memory_order_acquire)) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

}  // namespace

TEST(SurfaceReduction, ReducesTrianglesAndQuadsToAboutTheTargetKeepingPlaceAndArrays) {
  struct Case {
    const char* name;
    vtkSmartPointer<vtkPolyData> surface;
    vtkIdType target;
  };
  const Case cases[] = {
      {"sphere of 320k triangles to 10k", sphere(400), 10000},
      {"sphere of 320k triangles to 100k", sphere(400), 100000},
      {"flat sheet of 90k quads to 5k", quadSheet(300, 300), 5000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    vtkSmartPointer<vtkPolyData> reduced = SurfaceReduction::Reduce(c.surface, c.target);
    ASSERT_TRUE(reduced);
    const vtkIdType count = reduced->GetNumberOfPolys();
    EXPECT_LE(count, c.target * 115 / 100);
    EXPECT_GE(count, c.target / 2);
    EXPECT_EQ(reduced->GetPolys()->GetNumberOfConnectivityIds(), 3 * count) << "triangles only";
    double full[6], copy[6];
    c.surface->GetBounds(full);
    reduced->GetBounds(copy);
    for (int i = 0; i < 6; ++i) EXPECT_NEAR(copy[i], full[i], 0.05) << "bound " << i;
    if (vtkDataArray* height = c.surface->GetPointData()->GetArray("height")) {
      vtkDataArray* reducedHeight = reduced->GetPointData()->GetArray("height");
      ASSERT_TRUE(reducedHeight);
      ASSERT_EQ(reducedHeight->GetNumberOfTuples(), reduced->GetNumberOfPoints());
      // Averages of the bins' heights lie at the points' heights, within the bin size.
      for (vtkIdType i = 0; i < reduced->GetNumberOfPoints(); i += 97)
        EXPECT_NEAR(reducedHeight->GetComponent(i, 0), reduced->GetPoint(i)[2], 0.05);
      double range[2];
      reducedHeight->GetRange(range);
      EXPECT_GE(range[0], height->GetRange()[0] - 1e-6);
      EXPECT_LE(range[1], height->GetRange()[1] + 1e-6);
      vtkDataArray* band = reduced->GetCellData()->GetArray("band");
      ASSERT_TRUE(band);
      EXPECT_EQ(band->GetNumberOfTuples(), count);
    }
  }
}

TEST(SurfaceReduction, NothingToGainOrNothingToReduceGivesNoCopy) {
  EXPECT_FALSE(SurfaceReduction::Reduce(sphere(40), 100000)) << "fewer triangles than the target";
  EXPECT_FALSE(SurfaceReduction::Reduce(nullptr, 1000));
  EXPECT_FALSE(SurfaceReduction::Reduce(sphere(100), 0));
  auto lines = vtkSmartPointer<vtkPolyData>::New();
  lines->SetPoints(sphere(100)->GetPoints());
  EXPECT_FALSE(SurfaceReduction::Reduce(lines, 1000)) << "no polygons";
}

TEST(SurfaceReduction, ShallowCopiesOfOneSurfaceShareOneCopy) {
  SurfaceReduction reduction;
  vtkSmartPointer<vtkPolyData> surface = sphere(200);
  auto first = reduction.request(shallowCopy(surface), 5000);
  auto second = reduction.request(shallowCopy(surface), 5000);
  auto otherTarget = reduction.request(surface, 20000);
  auto otherData = reduction.request(sphere(200), 5000);
  EXPECT_EQ(first, second);
  EXPECT_NE(first, otherTarget);
  EXPECT_NE(first, otherData);
  for (const auto& result : {first, otherTarget, otherData}) {
    ASSERT_TRUE(waitReady(result));
    ASSERT_TRUE(result->reduced);
  }
  EXPECT_LE(first->reduced->GetNumberOfPolys(), 5750);
  EXPECT_LE(otherTarget->reduced->GetNumberOfPolys(), 23000);
  EXPECT_GT(otherTarget->reduced->GetNumberOfPolys(), first->reduced->GetNumberOfPolys());
}

namespace {

vtkSmartPointer<kvg::DrawableProp> addDrawable(vtkRenderer* renderer, vtkPolyData* data, const char* className) {
  auto mapper = vtkSmartPointer<vtkPolyDataMapper>::New();
  mapper->SetInputData(data);
  mapper->Update();
  auto prop = vtkSmartPointer<kvg::DrawableProp>::New();
  prop->SetMapper(mapper);
  prop->SetDrawableClassName(className);
  renderer->AddViewProp(prop);
  return prop;
}

}  // namespace

TEST(MovingModelSurfaces, BigSurfacesDrawTheirCopyOnlyInFramesInWhichTheModelMoved) {
  vtkNew<vtkRenderer> renderer;
  vtkSmartPointer<kvg::DrawableProp> big = addDrawable(renderer, sphere(200), "SurfaceDrawable");
  vtkSmartPointer<kvg::DrawableProp> small = addDrawable(renderer, sphere(20), "SurfaceDrawable");
  vtkSmartPointer<kvg::DrawableProp> spheres = addDrawable(renderer, sphere(200), "PointSphereDrawable");
  vtkMapper* bigMapper = big->GetMapper();
  auto* full = vtkPolyDataMapper::SafeDownCast(bigMapper);
  vtkNew<vtkLookupTable> table;
  vtkNew<vtkPlaneCollection> planes;
  full->SetLookupTable(table);
  full->SelectColorArray("height");
  full->SetScalarModeToUsePointFieldData();
  full->SetScalarRange(-1.0, 1.0);
  full->ScalarVisibilityOn();
  full->SetClippingPlanes(planes);

  SurfaceReduction reduction;
  MovingModelSurfaces surfaces(reduction);
  surfaces.setTriangleLimit(5000);
  // The copy is made on the worker: until it is there, moving frames draw the full surface.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  while (surfaces.readyCount() == 0 && std::chrono::steady_clock::now() < deadline) {
    surfaces.beginFrame(renderer, true);
    surfaces.endFrame();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_EQ(surfaces.surfaceCount(), 1u) << "only the big surface drawable";
  ASSERT_EQ(surfaces.readyCount(), 1u);

  ASSERT_EQ(surfaces.beginFrame(renderer, true), 1);
  auto* copy = vtkPolyDataMapper::SafeDownCast(big->GetMapper());
  ASSERT_NE(copy, full);
  ASSERT_TRUE(copy && copy->GetInput());
  EXPECT_LE(copy->GetInput()->GetNumberOfPolys(), 5750);
  EXPECT_EQ(copy->GetLookupTable(), table.GetPointer());
  EXPECT_STREQ(copy->GetArrayName(), "height");
  EXPECT_EQ(copy->GetScalarMode(), full->GetScalarMode());
  EXPECT_TRUE(copy->GetScalarVisibility());
  EXPECT_EQ(copy->GetScalarRange()[1], 1.0);
  EXPECT_EQ(copy->GetClippingPlanes(), planes.GetPointer());
  EXPECT_EQ(small->GetMapper()->GetInput()->GetNumberOfCells(), sphere(20)->GetNumberOfCells());
  EXPECT_EQ(spheres->GetMapper()->GetInput()->GetNumberOfCells(), sphere(200)->GetNumberOfCells());
  surfaces.endFrame();
  EXPECT_EQ(big->GetMapper(), bigMapper);

  // The copy's mapper stays unmodified from one moving frame to the next: its buffers are built once.
  const vtkMTimeType copied = copy->GetMTime();
  ASSERT_EQ(surfaces.beginFrame(renderer, true), 1);
  EXPECT_EQ(big->GetMapper(), copy);
  EXPECT_EQ(copy->GetMTime(), copied);
  surfaces.endFrame();

  // A still model draws the full surface; so does a renderer whose limit is 0.
  EXPECT_EQ(surfaces.beginFrame(renderer, false), 0);
  EXPECT_EQ(big->GetMapper(), bigMapper);
  surfaces.endFrame();
  surfaces.setTriangleLimit(0);
  EXPECT_EQ(surfaces.beginFrame(renderer, true), 0);
  EXPECT_EQ(big->GetMapper(), bigMapper);
  EXPECT_EQ(surfaces.surfaceCount(), 0u);
  surfaces.endFrame();

  // A surface gone from the renderer is forgotten.
  surfaces.setTriangleLimit(5000);
  surfaces.beginFrame(renderer, true);
  surfaces.endFrame();
  EXPECT_EQ(surfaces.surfaceCount(), 1u);
  renderer->RemoveViewProp(big);
  surfaces.beginFrame(renderer, true);
  surfaces.endFrame();
  EXPECT_EQ(surfaces.surfaceCount(), 0u);
}
