// Results of the analysis core on analytic fields: plane sections, iso-surfaces, particle
// integration and re-emission, median magnitude and ray picking.
#include "AnalysisFixtures.h"

#include "IsoSurfaceBuilder.h"
#include "ParticleSystem.h"
#include "PlaneSectionBuilder.h"
#include "RayPicker.h"
#include "SimplePlaneSection.h"
#include "VectorField.h"
#include "VolumeLookupTable.h"

#include <gtest/gtest.h>
#include <vtkActor.h>
#include <vtkDataArray.h>
#include <vtkLineSource.h>
#include <vtkLookupTable.h>
#include <vtkMath.h>
#include <vtkPointData.h>
#include <vtkPolyData.h>
#include <vtkPolyDataMapper.h>
#include <vtkPropCollection.h>
#include <vtkSphereSource.h>

#include <cmath>
#include <memory>

using namespace testing_analysis;
using kvg::SimplePlaneSection;
using kvg::analysis::IsoSurfaceBuilder;
using kvg::analysis::ParticleSystem;
using kvg::analysis::PlaneSectionBuilder;
using kvg::analysis::RayHit;
using kvg::analysis::RayPicker;
using kvg::analysis::VectorField;

TEST(SimplePlaneSection, NormalIsRightCrossUpAndDefaultIsNone) {
  SimplePlaneSection none;
  EXPECT_TRUE(none.isNone());
  EXPECT_EQ(none.getOrigin()[0], kvg::NoValue);

  SimplePlaneSection s = MakeSection({1, 2, 3}, {0, 2, 0}, {3, 0, 0});
  EXPECT_FALSE(s.isNone());
  double n[3];
  s.getNormal(n);
  EXPECT_DOUBLE_EQ(n[0], 0.0);
  EXPECT_DOUBLE_EQ(n[1], 0.0);
  EXPECT_DOUBLE_EQ(n[2], 1.0);

  SimplePlaneSection degenerate = MakeSection({0, 0, 0}, {1, 0, 0}, {2, 0, 0});
  degenerate.getNormal(n);
  EXPECT_EQ(n[0], 0.0);
  EXPECT_EQ(n[1], 0.0);
  EXPECT_EQ(n[2], 0.0);

  SimplePlaneSection copy = s;
  EXPECT_EQ(copy, s);
  copy.setOrigin(1, 2, 3.5);
  EXPECT_NE(copy, s);
}

// A field growing linearly along x: the section carries exactly that field, and its colours run
// through the table from the low end (blue) to the high end (red) along x.
TEST(PlaneSection, LinearFieldGivesColourGradientAlongX) {
  auto volume = MakeVolume({21, 11, 11}, {0, 0, 0}, {0.1, 0.1, 0.1}, [](const double p[3]) { return 10.0 + 5.0 * p[0]; });
  PlaneSectionBuilder builder;
  builder.setInput(volume, "scalar");
  vtkNew<vtkPolyData> section;
  ASSERT_GT(builder.compute(MakeSection({1.0, 0.5, 0.37}, {0, 1, 0}, {1, 0, 0}), section), 0);

  vtkDataArray* values = section->GetPointData()->GetArray("scalar");
  ASSERT_NE(values, nullptr);
  double bounds[6];
  section->GetBounds(bounds);
  EXPECT_NEAR(bounds[0], 0.0, 1e-9);
  EXPECT_NEAR(bounds[1], 2.0, 1e-9);
  EXPECT_NEAR(bounds[4], 0.37, 1e-6);
  EXPECT_NEAR(bounds[5], 0.37, 1e-6);

  auto table = kvg::analysis::MakeDefaultLookupTable(10.0, 20.0);
  for (vtkIdType i = 0; i < section->GetNumberOfPoints(); ++i) {
    double p[3];
    section->GetPoint(i, p);
    EXPECT_NEAR(values->GetTuple1(i), 10.0 + 5.0 * p[0], 1e-6);
  }
  // Hue falls from blue (2/3) to red (0) along x.
  double previousHue = 1.0;
  for (double x = 0.0; x <= 2.0 + 1e-9; x += 0.25) {
    double rgb[3], hsv[3];
    table->GetColor(10.0 + 5.0 * x, rgb);
    vtkMath::RGBToHSV(rgb, hsv);
    EXPECT_LE(hsv[0], previousHue + 1e-9) << "x " << x;
    previousHue = hsv[0];
  }
  double low[3], high[3];
  table->GetColor(10.0, low);
  table->GetColor(20.0, high);
  EXPECT_GT(low[2], 0.9);
  EXPECT_LT(low[0], 0.1);
  EXPECT_GT(high[0], 0.9);
  EXPECT_LT(high[2], 0.1);
}

TEST(PlaneSection, NoneOrMissingPlaneGivesNothing) {
  auto volume = MakeVolume({5, 5, 5}, {0, 0, 0}, {1, 1, 1}, [](const double p[3]) { return p[0]; });
  PlaneSectionBuilder builder;
  builder.setInput(volume, "scalar");
  vtkNew<vtkPolyData> out;
  EXPECT_EQ(builder.compute(SimplePlaneSection(), out), 0);
  EXPECT_EQ(out->GetNumberOfPoints(), 0);
  EXPECT_EQ(builder.compute(MakeSection({0, 0, 10}, {0, 1, 0}, {1, 0, 0}), out), 0);  // beyond the volume
  EXPECT_EQ(builder.compute(MakeSection({1, 1, 1}, {1, 0, 0}, {1, 0, 0}), out), 0);  // no normal
}

// The iso-surface of r = |p| at value r0 is the sphere of radius r0.
TEST(IsoSurface, RadialFieldGivesSphereOfThatRadius) {
  const double h = 0.05;
  auto volume = MakeVolume({41, 41, 41}, {-1, -1, -1}, {h, h, h},
                           [](const double p[3]) { return std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]); });
  IsoSurfaceBuilder builder;
  builder.setInput(volume, "scalar");
  for (double r0 : {0.3, 0.62, 0.85}) {
    vtkNew<vtkPolyData> surface;
    ASSERT_GT(builder.compute(r0, surface), 0) << r0;
    double b[6];
    surface->GetBounds(b);
    for (int i = 0; i < 6; ++i) EXPECT_NEAR(std::fabs(b[i]), r0, h) << "r " << r0 << " bound " << i;
    for (vtkIdType i = 0; i < surface->GetNumberOfPoints(); ++i) {
      double p[3];
      surface->GetPoint(i, p);
      ASSERT_NEAR(vtkMath::Norm(p), r0, h);
    }
    ASSERT_NE(surface->GetPointData()->GetNormals(), nullptr);
  }
  vtkNew<vtkPolyData> none;
  EXPECT_EQ(builder.compute(5.0, none), 0);
}

TEST(VectorField, TrilinearSamplingAndBounds) {
  auto volume = MakeVolume({3, 3, 3}, {0, 0, 0}, {1, 1, 1}, nullptr, [](const double p[3], double v[3]) {
    v[0] = p[0] + 2 * p[1];
    v[1] = -p[2];
    v[2] = 3.0;
  });
  VectorField field;
  ASSERT_TRUE(field.setImage(volume, "velocity"));
  double v[3];
  const double p[3] = {0.25, 1.5, 1.75};
  ASSERT_TRUE(field.sample(p, v));
  EXPECT_NEAR(v[0], 0.25 + 3.0, 1e-6);
  EXPECT_NEAR(v[1], -1.75, 1e-6);
  EXPECT_NEAR(v[2], 3.0, 1e-6);
  const double corner[3] = {2, 2, 2};
  EXPECT_TRUE(field.sample(corner, v));
  const double outside[3] = {2.01, 1, 1};
  EXPECT_FALSE(field.sample(outside, v));
  EXPECT_FALSE(field.contains(outside));
  double b[6];
  field.getBounds(b);
  EXPECT_EQ(b[1], 2.0);
  EXPECT_FALSE(field.setImage(volume, "missing"));
  EXPECT_TRUE(field.isEmpty());
}

TEST(VectorField, MedianMagnitude) {
  // |v| = x on 11 x-positions 0, 0.1, ..., 1.0, each repeated over y and z: the median is 0.5.
  auto volume = MakeVolume({11, 4, 3}, {0, 0, 0}, {0.1, 1, 1}, nullptr,
                           [](const double p[3], double v[3]) { v[0] = p[0]; v[1] = v[2] = 0; });
  VectorField field;
  ASSERT_TRUE(field.setImage(volume, "velocity"));
  EXPECT_NEAR(field.medianMagnitude(), 0.5, 1e-6);
}

// In a uniform flow of velocity v a particle is at seed + v t after the time t; it goes dark when
// it leaves the volume and is released from its seed again when its slot comes round.
TEST(ParticleSystem, UniformFlowAndReEmission) {
  const double vel[3] = {0.5, 0.2, 0.0};
  auto volume = MakeVolume({41, 21, 21}, {0, 0, 0}, {0.1, 0.1, 0.1}, nullptr, [&](const double*, double v[3]) {
    v[0] = vel[0];
    v[1] = vel[1];
    v[2] = vel[2];
  });
  auto field = std::make_shared<VectorField>();
  ASSERT_TRUE(field->setImage(volume, "velocity"));
  ParticleSystem particles;
  particles.setFields({field});
  particles.setParticlesPerSeed(100);
  particles.setEmissionPerFrame(1);
  const kvg::Point3 seed = {0.5, 0.4, 1.0};
  particles.setSeeds({seed});
  const double dt = 0.1;

  // Frame 1 releases particle 0 at the seed; every later frame moves it by v dt.
  for (int frame = 1; frame <= 30; ++frame) {
    particles.step(dt);
    const auto& p0 = particles.groups()[0].particles[0];
    ASSERT_TRUE(p0.alive);
    const double t = (frame - 1) * dt;
    for (int a = 0; a < 3; ++a) ASSERT_NEAR(p0.position[a], seed[a] + vel[a] * t, 1e-6) << "frame " << frame;
    EXPECT_NEAR(p0.speed, std::sqrt(0.25 + 0.04), 1e-6);
  }
  EXPECT_EQ(particles.aliveCount(), 30u);

  // x reaches the end (4.0) after (4.0 - 0.5) / 0.5 = 7 time units, i.e. 70 moves; the next move
  // (in frame 72) leaves the volume.
  int darkFrame = -1;
  for (int frame = 31; frame <= 100; ++frame) {
    particles.step(dt);
    const auto& p0 = particles.groups()[0].particles[0];
    if (!p0.alive) {
      darkFrame = frame;
      break;
    }
    ASSERT_TRUE(field->contains(p0.position));
  }
  ASSERT_GT(darkFrame, 0);
  EXPECT_NEAR(darkFrame, 72, 1);
  while (particles.groups()[0].particles[0].alive == false) particles.step(dt);
  // Slot 0 comes round after 100 frames: released at the seed again.
  const auto& again = particles.groups()[0].particles[0];
  for (int a = 0; a < 3; ++a) EXPECT_DOUBLE_EQ(again.position[a], seed[a]);

  particles.reset();
  EXPECT_EQ(particles.aliveCount(), 0u);
}

// Solid-body rotation v = (-y, x, 0): a fourth-order integrator keeps the particle on its circle
// (an Euler scheme would spiral out by about 20% over one turn at this step).
TEST(ParticleSystem, RotationKeepsRadius) {
  auto volume = MakeVolume({21, 21, 3}, {-1, -1, -0.1}, {0.1, 0.1, 0.1}, nullptr, [](const double p[3], double v[3]) {
    v[0] = -p[1];
    v[1] = p[0];
    v[2] = 0.0;
  });
  auto field = std::make_shared<VectorField>();
  ASSERT_TRUE(field->setImage(volume, "velocity"));
  ParticleSystem particles;
  particles.setFields({field});
  particles.setParticlesPerSeed(200);
  particles.setSeeds({{0.6, 0.0, 0.0}});
  const int steps = 100;
  for (int i = 0; i <= steps; ++i) particles.step(2.0 * vtkMath::Pi() / steps);
  const auto& p0 = particles.groups()[0].particles[0];
  ASSERT_TRUE(p0.alive);
  EXPECT_NEAR(std::hypot(p0.position[0], p0.position[1]), 0.6, 1e-5);
  EXPECT_NEAR(p0.position[0], 0.6, 1e-4);  // one full turn
  EXPECT_NEAR(p0.position[1], 0.0, 1e-4);
}

TEST(ParticleSystem, SeedsKeepTheirParticlesAndCopiesFollow) {
  auto volume = MakeVolume({11, 11, 11}, {0, 0, 0}, {0.1, 0.1, 0.1}, nullptr,
                           [](const double*, double v[3]) { v[0] = 0.1; v[1] = v[2] = 0; });
  auto field = std::make_shared<VectorField>();
  ASSERT_TRUE(field->setImage(volume, "velocity"));
  ParticleSystem a;
  a.setFields({field});
  a.setParticlesPerSeed(8);
  a.setEmissionPerFrame(2);
  a.setSeeds({{0.1, 0.5, 0.5}, {0.1, 0.2, 0.2}});
  for (int i = 0; i < 3; ++i) a.step(0.1);
  EXPECT_EQ(a.aliveCount(), 12u);
  // The same seeds again (as a shared state re-applies them) keep their particles; a seed outside
  // every field releases nothing.
  a.setSeeds({{0.1, 0.2, 0.2}, {0.1, 0.5, 0.5}, {5, 5, 5}});
  EXPECT_EQ(a.aliveCount(), 12u);
  EXPECT_EQ(a.groups()[2].field, -1);
  a.step(0.1);
  EXPECT_EQ(a.aliveCount(), 16u);

  ParticleSystem b;
  b.setFields({field});
  b.copyStateFrom(a);
  EXPECT_EQ(b.aliveCount(), a.aliveCount());
  a.step(0.1);
  b.step(0.1);
  vtkNew<vtkPolyData> pa, pb;
  a.fillPolyData(pa);
  b.fillPolyData(pb);
  ASSERT_EQ(pa->GetNumberOfPoints(), pb->GetNumberOfPoints());
  for (vtkIdType i = 0; i < pa->GetNumberOfPoints(); ++i) {
    double x[3], y[3];
    pa->GetPoint(i, x);
    pb->GetPoint(i, y);
    EXPECT_EQ(vtkMath::Distance2BetweenPoints(x, y), 0.0);
  }
  ASSERT_NE(pa->GetPointData()->GetArray("speed"), nullptr);
  EXPECT_EQ(pa->GetNumberOfVerts(), pa->GetNumberOfPoints());
}

// Picking along a ray: the nearest prop wins, a line is hit within the tolerance only, the
// prop's own placement is honoured and candidates restrict the search.
TEST(RayPicker, NearestHitWithTolerance) {
  vtkNew<vtkRenderer> renderer;
  vtkNew<vtkSphereSource> sphere;
  sphere->SetRadius(0.5);
  sphere->SetThetaResolution(32);
  sphere->SetPhiResolution(32);
  sphere->Update();
  vtkNew<vtkPolyDataMapper> sphereMapper;
  sphereMapper->SetInputData(sphere->GetOutput());
  vtkNew<vtkActor> near, far;
  near->SetMapper(sphereMapper);
  far->SetMapper(sphereMapper);
  near->SetPosition(0, 0, -3);  // placed by its matrix
  far->SetPosition(0, 0, -6);
  vtkNew<vtkLineSource> line;
  line->SetPoint1(-1, 0.2, -1);
  line->SetPoint2(1, 0.2, -1);
  line->Update();
  vtkNew<vtkPolyDataMapper> lineMapper;
  lineMapper->SetInputData(line->GetOutput());
  vtkNew<vtkActor> wire;
  wire->SetMapper(lineMapper);
  renderer->AddActor(far);
  renderer->AddActor(near);
  renderer->AddActor(wire);

  RayPicker picker;
  const double origin[3] = {0, 0, 0}, down[3] = {0, 0, -1};
  RayHit hit;
  ASSERT_TRUE(picker.pick(renderer, origin, down, 10.0, 0.001, nullptr, hit));
  EXPECT_EQ(hit.prop, near.GetPointer());
  EXPECT_NEAR(hit.distance, 2.5, 0.01);

  ASSERT_TRUE(picker.pick(renderer, origin, down, 10.0, 0.25, nullptr, hit));
  EXPECT_EQ(hit.prop, wire.GetPointer());
  EXPECT_NEAR(hit.distance, 1.0, 0.01);

  EXPECT_FALSE(picker.pick(renderer, origin, down, 2.0, 0.001, nullptr, hit));  // too short

  vtkNew<vtkPropCollection> onlyFar;
  onlyFar->AddItem(far);
  ASSERT_TRUE(picker.pick(renderer, origin, down, 10.0, 0.25, onlyFar, hit));
  EXPECT_EQ(hit.prop, far.GetPointer());
  EXPECT_NEAR(hit.distance, 5.5, 0.01);
}
