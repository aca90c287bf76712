// The two analysis managers on their own (without a drawable session): settings, the queries of
// the tools, what they draw, and copy assignment from one manager to another one that draws in
// a different window (as at a buffer swap).
#include "AnalysisFixtures.h"

#include "ParticleAdvectionManager.h"
#include "ParticleRenderProp.h"
#include "VolumeRenderingManager.h"
#include "VolumeVisual.h"

#include <gtest/gtest.h>
#include <vtkDoubleArray.h>
#include <vtkActor.h>
#include <vtkLookupTable.h>
#include <vtkMath.h>
#include <vtkProperty.h>
#include <vtkPropAssembly.h>
#include <vtkPointData.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkTetra.h>
#include <vtkUnstructuredGrid.h>
#include <vtkVolume.h>

#include <cmath>
#include <thread>

using namespace testing_analysis;
using kvg::IsoValue;
using kvg::NoValue;
using kvg::ParticleAdvectionManager;
using kvg::SimplePlaneSection;
using kvg::VolumeRenderingManager;
using kvg::VolumeSource;

namespace {

// Radial scalars ("scalar") and a uniform flow along +x ("velocity") on [-1, 1]^3.
VolumeSource RadialVolume(const std::string& name = "Volume") {
  VolumeSource v;
  v.name = name;
  v.data = MakeVolume(
      {21, 21, 21}, {-1, -1, -1}, {0.1, 0.1, 0.1},
      [](const double p[3]) { return std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]); },
      [](const double*, double v[3]) {
        v[0] = 0.5;
        v[1] = 0.0;
        v[2] = 0.0;
      });
  return v;
}

}  // namespace

TEST(VolumeRenderingManager, SettingsAndClearing) {
  VolumeRenderingManager m;
  EXPECT_FALSE(m.getEnableVolRend());
  m.setEnableVolRend(true);
  m.setVRMode(true);
  m.setVolRendQuality(3.0);
  EXPECT_DOUBLE_EQ(m.getVolRendQuality(), 1.0);
  m.setVolRendQuality(0.0);
  EXPECT_DOUBLE_EQ(m.getVolRendQuality(), 0.1);
  m.setIsosurfaceOpacity(0.3);
  m.setLocalLightingForVRIsosurfaces(false);
  m.setUseNoisyStartPosition(true);
  m.setUseStencilClipping(false);
  EXPECT_TRUE(m.getEnableVolRend());
  EXPECT_TRUE(m.getVRMode());
  EXPECT_DOUBLE_EQ(m.getIsosurfaceOpacity(), 0.3);
  EXPECT_FALSE(m.getLocalLightingForVRIsosurfaces());
  EXPECT_TRUE(m.getUseNoisyStartPosition());
  EXPECT_FALSE(m.getUseStencilClipping());

  EXPECT_TRUE(kvg::isNoValue(m.getInteractiveIsoValue().second));
  m.setPersistentIsoValues({{"scalar", 0.5}, {"scalar", 0.7}});
  m.setInteractiveIsoValue({"scalar", 0.2});
  m.setPersistentPlaneSections({MakeSection({0, 0, 0}, {0, 1, 0}, {1, 0, 0})});
  m.setInteractivePlaneSection(MakeSection({0, 0, 0.5}, {0, 1, 0}, {1, 0, 0}));
  m.clearIsoValues();
  m.clearPlaneSections();
  EXPECT_TRUE(m.getPersistentIsoValues().empty());
  EXPECT_EQ(m.getInteractiveIsoValue(), IsoValue("", NoValue));
  EXPECT_TRUE(m.getPersistentPlaneSections().empty());
  EXPECT_TRUE(m.getInteractivePlaneSection().isNone());
}

TEST(VolumeRenderingManager, VolumeQueries) {
  VolumeRenderingManager m;
  EXPECT_FALSE(m.hasVolumes());
  EXPECT_EQ(m.getLookupTable(), nullptr);
  const double inside[3] = {0.2, 0.1, -0.3}, outside[3] = {1.5, 0, 0};
  double lo = 0.0, hi = 1.0;
  EXPECT_FALSE(m.getScalarRange(inside, lo, hi));
  EXPECT_FALSE(m.findClosestProp(inside).found);

  m.setVolumes({RadialVolume()});
  ASSERT_TRUE(m.hasVolumes());
  const auto boxes = m.getBounds();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_DOUBLE_EQ(boxes[0][0], -1.0);
  EXPECT_DOUBLE_EQ(boxes[0][5], 1.0);
  ASSERT_TRUE(m.getScalarRange(inside, lo, hi));
  EXPECT_NEAR(lo, 0.0, 1e-12);
  EXPECT_NEAR(hi, std::sqrt(3.0), 1e-12);
  lo = 0.0;
  hi = 1.0;
  EXPECT_FALSE(m.getScalarRange(outside, lo, hi));
  EXPECT_EQ(lo, 0.0);
  EXPECT_EQ(hi, 1.0);
  EXPECT_NE(m.getLookupTable(inside), nullptr);
  EXPECT_EQ(m.getLookupTable(inside), m.getLookupTable());
  EXPECT_EQ(m.getLookupTable(outside), nullptr);

  auto hit = m.findClosestProp(inside);
  EXPECT_TRUE(hit.found);
  EXPECT_EQ(hit.fieldName, "scalar");
  EXPECT_EQ(hit.volumeName, "Volume");
  EXPECT_EQ(hit.prop, nullptr);  // not drawn anywhere yet
  EXPECT_FALSE(m.findClosestProp(outside).found);

  OffscreenView view(64, 64);
  m.attachRenderer(view.renderer);
  m.attachRenderer(view.renderer);  // once only
  EXPECT_EQ(view.renderer->GetViewProps()->GetNumberOfItems(), 1);
  view.render();
  hit = m.findClosestProp(inside, view.renderer);
  EXPECT_NE(vtkVolume::SafeDownCast(hit.prop), nullptr);

  // The same volumes again change nothing; a scene without volumes empties the manager.
  vtkLookupTable* table = m.getLookupTable();
  m.setVolumes({RadialVolume()});  // new data object: a new volume
  EXPECT_NE(m.getLookupTable(), table);
  m.setVolumes({});
  EXPECT_FALSE(m.hasVolumes());
  view.render();
  m.detachRenderer(view.renderer);
  EXPECT_EQ(view.renderer->GetViewProps()->GetNumberOfItems(), 0);
}

TEST(VolumeRenderingManager, DrawsSectionsAndIsoValuesOfTheNamedField) {
  VolumeRenderingManager m;
  m.setVolumes({RadialVolume()});
  OffscreenView view(64, 64);
  m.attachRenderer(view.renderer);

  m.setPersistentPlaneSections({MakeSection({0, 0, 0}, {0, 1, 0}, {1, 0, 0})});
  m.setInteractivePlaneSection(SimplePlaneSection());  // none: draws nothing
  m.setPersistentIsoValues({{"scalar", 0.5}, {"other field", 0.4}, {"scalar", NoValue}});
  m.setInteractiveIsoValue({"scalar", 0.8});
  auto* visual = m.visualFor(view.renderer, 0);
  ASSERT_NE(visual, nullptr);
  EXPECT_EQ(visual->sectionCount(), 1u);
  ASSERT_EQ(visual->isoCount(), 2u);
  double b[6];
  visual->isoData(1)->GetBounds(b);
  EXPECT_NEAR(b[1], 0.8, 0.1);

  m.setInteractivePlaneSection(MakeSection({0, 0, 0.5}, {0, 1, 0}, {1, 0, 0}));
  m.setIsosurfaceOpacity(0.4);
  view.render();
  EXPECT_EQ(visual->sectionCount(), 2u);
  EXPECT_DOUBLE_EQ(visual->isoActor(0)->GetProperty()->GetOpacity(), 0.4);
  m.setEnableVolRend(true);
  view.render();
  EXPECT_TRUE(visual->volume()->GetVisibility());
}

// Copy assignment: the other session's manager draws the same sections, iso values and volume
// setting in its own window, and its particle manager the same seeds and particles.
TEST(AnalysisManagers, CopyAssignmentMakesTheOtherSessionDrawTheSame) {
  VolumeRenderingManager volumesA, volumesB;
  ParticleAdvectionManager particlesA, particlesB;
  // Each session has its own copy of the scene's data.
  volumesA.setVolumes({RadialVolume()});
  volumesB.setVolumes({RadialVolume()});
  particlesA.setVolumes({RadialVolume()});
  particlesB.setVolumes({RadialVolume()});
  OffscreenView viewA(96, 96), viewB(96, 96);
  for (OffscreenView* v : {&viewA, &viewB}) v->lookAtXY(-1, 1, -1, 1);
  volumesA.attachRenderer(viewA.renderer);
  volumesB.attachRenderer(viewB.renderer);
  viewA.renderer->AddViewProp(particlesA.getRenderingTriggerProp());
  viewB.renderer->AddViewProp(particlesB.getRenderingTriggerProp());

  volumesA.setPersistentPlaneSections({MakeSection({0, 0, -0.2}, {0, 1, 0}, {1, 0, 0})});
  volumesA.setInteractivePlaneSection(MakeSection({0.3, 0, 0}, {0, 1, 0}, {0, 0, 1}));
  volumesA.setPersistentIsoValues({{"scalar", 0.9}});
  volumesA.setInteractiveIsoValue({"scalar", 0.5});
  volumesA.setIsosurfaceOpacity(1.0);
  particlesA.setParticleCount(16);
  particlesA.setNumParticlesPerFrame(2);
  particlesA.stepLength = 0.05;
  particlesA.pointRadius = 0.04f;
  const double seed1[3] = {-0.8, 0.3, 0.0}, seed2[3] = {-0.8, -0.4, 0.1};
  particlesA.addSeedPosition(seed1);
  particlesA.addSeedPosition(seed2);
  for (int i = 0; i < 5; ++i) viewA.render();
  const auto before = viewA.render();  // advances once more

  volumesB = volumesA;
  particlesB = particlesA;
  particlesA.stepLength = 0.0;  // A's next frame must not move: compare with B's first frame
  particlesB.stepLength = 0.0;
  const auto a = viewA.render();
  const auto b = viewB.render();

  auto* visualA = volumesA.visualFor(viewA.renderer, 0);
  auto* visualB = volumesB.visualFor(viewB.renderer, 0);
  ASSERT_EQ(visualB->sectionCount(), 2u);
  ASSERT_EQ(visualB->isoCount(), 2u);
  for (size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(visualA->sectionData(i)->GetNumberOfPoints(), visualB->sectionData(i)->GetNumberOfPoints());
    EXPECT_EQ(visualA->isoData(i)->GetNumberOfPoints(), visualB->isoData(i)->GetNumberOfPoints());
  }
  EXPECT_EQ(particlesB.getSeedPositions(), particlesA.getSeedPositions());
  EXPECT_EQ(particlesB.getNumberOfParticles(), particlesA.getNumberOfParticles());
  EXPECT_EQ(particlesB.getNumberOfParticles(), 2u * 2u * 7u);

  int lit = 0;
  const int differing = CountDifferences(a, b, &lit);
  EXPECT_GT(lit, 1000);
  EXPECT_EQ(differing, 0);
  (void)before;
}

// The settings dialog changes a manager from the GUI thread while its window renders.
TEST(VolumeRenderingManager, SettingsFromAnotherThreadWhileRendering) {
  VolumeRenderingManager m;
  m.setVolumes({RadialVolume()});
  OffscreenView view(48, 48);
  view.lookAtXY(-1, 1, -1, 1);
  m.attachRenderer(view.renderer);
  m.setInteractiveIsoValue({"scalar", 0.5});
  std::thread gui([&] {
    for (int i = 0; i < 200; ++i) {
      m.setIsosurfaceOpacity(0.1 + 0.001 * i);
      m.setVolRendQuality(0.2 + 0.004 * i);
      m.setEnableVolRend(i % 2 == 0);
    }
  });
  for (int i = 0; i < 10; ++i) view.render();
  gui.join();
  view.render();
  EXPECT_NEAR(m.visualFor(view.renderer, 0)->isoActor(0)->GetProperty()->GetOpacity(), 0.1 + 0.199, 1e-9);
}

TEST(ParticleAdvectionManager, FlowQueriesAndSeedSearch) {
  ParticleAdvectionManager m;
  const double inside[3] = {0.1, 0.2, 0.3}, outside[3] = {3, 0, 0};
  double d[3];
  EXPECT_FALSE(m.checkInsideResampledVolume(inside));
  EXPECT_FALSE(m.getDirection(inside, d));
  EXPECT_EQ(d[0], NoValue);
  EXPECT_EQ(m.computeMedianMagnitude(), 0.0);

  m.setVolumes({RadialVolume()});
  ASSERT_TRUE(m.hasField());
  EXPECT_TRUE(m.checkInsideResampledVolume(inside));
  EXPECT_FALSE(m.checkInsideResampledVolume(outside));
  ASSERT_TRUE(m.getDirection(inside, d));
  EXPECT_NEAR(d[0], 0.5, 1e-6);
  EXPECT_FALSE(m.getDirection(outside, d));
  EXPECT_EQ(d[1], NoValue);
  EXPECT_EQ(d[2], NoValue);
  EXPECT_NEAR(m.computeMedianMagnitude(), 0.5, 1e-6);

  // A ray from outside finds the first point with flow where it enters the volume.
  double seed[3], dir[3];
  const double origin[3] = {-3, 0.25, 0.0}, along[3] = {2, 0, 0};
  ASSERT_TRUE(m.findSeedWithRayQuery(seed, dir, origin, along, 32));
  EXPECT_NEAR(seed[0], -1.0, 1e-9);
  EXPECT_NEAR(seed[1], 0.25, 1e-9);
  EXPECT_NEAR(dir[0], 0.5, 1e-6);
  // From inside, the origin itself.
  ASSERT_TRUE(m.findSeedWithRayQuery(seed, dir, inside, along, 32));
  EXPECT_NEAR(seed[0], inside[0], 1e-12);
  const double away[3] = {-1, 0, 0};
  EXPECT_FALSE(m.findSeedWithRayQuery(seed, dir, outside, along, 32));
  EXPECT_FALSE(m.findSeedWithRayQuery(seed, dir, outside, away, 0));

  // Random search near the surface of the volume finds a seed inside it; far away it does not.
  const double near[3] = {1.05, 0.0, 0.0};
  ASSERT_TRUE(m.findRandomSeed(seed, dir, near, 64));
  EXPECT_TRUE(m.checkInsideResampledVolume(seed));
  EXPECT_LE(std::sqrt(vtkMath::Distance2BetweenPoints(seed, near)), 0.05 * std::sqrt(12.0) + 1e-9);
  EXPECT_FALSE(m.findRandomSeed(seed, dir, outside, 64));
}

TEST(ParticleAdvectionManager, SeedsAndParticles) {
  ParticleAdvectionManager m;
  m.setVolumes({RadialVolume()});
  m.setParticleCount(10);
  m.stepLength = 0.1;
  const double s0[3] = {-0.9, 0, 0}, s1[3] = {-0.9, 0.5, 0}, none[3] = {NoValue, NoValue, NoValue};
  m.addSeedPosition(s0);
  m.addSeedPosition(s1);
  m.addSeedPosition(none);  // ignored
  ASSERT_EQ(m.getSeedPositions().size(), 2u);
  vtkNew<vtkPolyData> points;
  for (int i = 0; i < 3; ++i) m.advanceFrame(points);
  EXPECT_EQ(m.getNumberOfParticles(), 6u);
  // Particle 0 of seed 0 moved twice by v dt = 0.05 along x.
  EXPECT_NEAR(points->GetPoint(0)[0], -0.8, 1e-6);

  m.removeSeedPosition(7);  // out of range: nothing
  m.removeSeedPosition(0);
  ASSERT_EQ(m.getSeedPositions().size(), 1u);
  EXPECT_EQ(m.getSeedPositions()[0][1], 0.5);
  m.advanceFrame(points);
  EXPECT_EQ(m.getNumberOfParticles(), 4u);  // the second seed kept its particles

  // Collaborative seeds are re-applied every frame and keep their particles.
  const double peer[3] = {-0.9, -0.5, 0}, flow[3] = {1, 0, 0};
  for (int i = 0; i < 3; ++i) {
    m.clearCollaborativeClientSeeds();
    m.addCollaborativeClientSeed(peer, flow);
    m.advanceFrame(points);
  }
  EXPECT_EQ(m.getNumberOfParticles(), 7u + 3u);

  // The interactive seed moves; its particles keep flowing.
  double moving[3] = {-0.9, 0.2, 0.2};
  for (int i = 0; i < 3; ++i) {
    m.setInteractiveSeedPosition(moving);
    m.advanceFrame(points);
    moving[1] += 0.05;
  }
  EXPECT_EQ(m.getNumberOfParticles(), 10u + 6u + 3u);  // seed full (10 slots), peer, moving seed
  EXPECT_NEAR(m.getInteractiveSeedPosition()[1], 0.3, 1e-12);
  m.setInteractiveSeedPosition(none);
  EXPECT_EQ(m.getInteractiveSeedPosition()[0], NoValue);
  m.advanceFrame(points);
  EXPECT_EQ(m.getNumberOfParticles(), 10u + 7u);  // the moving seed's particles are gone

  m.resetParticles();
  EXPECT_EQ(m.getNumberOfParticles(), 0u);
  m.clearSeeds();
  m.clearCollaborativeClientSeeds();
  m.advanceFrame(points);
  EXPECT_EQ(points->GetNumberOfPoints(), 0);
}

// Data that is not on a regular grid is resampled; points of the box outside the data's cells
// have no flow.
TEST(ParticleAdvectionManager, ResampledVolumeKnowsWhereItHasNoValue) {
  vtkNew<vtkPoints> pts;
  pts->InsertNextPoint(0, 0, 0);
  pts->InsertNextPoint(1, 0, 0);
  pts->InsertNextPoint(0, 1, 0);
  pts->InsertNextPoint(0, 0, 1);
  vtkNew<vtkUnstructuredGrid> grid;
  grid->SetPoints(pts);
  vtkIdType ids[4] = {0, 1, 2, 3};
  grid->InsertNextCell(VTK_TETRA, 4, ids);
  vtkNew<vtkDoubleArray> v;
  v->SetName("velocity");
  v->SetNumberOfComponents(3);
  for (int i = 0; i < 4; ++i) v->InsertNextTuple3(0, 0, 2);
  grid->GetPointData()->SetVectors(v);

  ParticleAdvectionManager m;
  VolumeSource source;
  source.name = "Tetra";
  source.data = grid;
  m.setVolumes({source});
  ASSERT_TRUE(m.hasField());
  const double in[3] = {0.1, 0.1, 0.1}, corner[3] = {0.9, 0.9, 0.9};
  EXPECT_TRUE(m.checkInsideResampledVolume(in));
  EXPECT_FALSE(m.checkInsideResampledVolume(corner));
  double d[3];
  ASSERT_TRUE(m.getDirection(in, d));
  EXPECT_NEAR(d[2], 2.0, 1e-6);
}

// Each scene's renderer draws that scene's volumes; the queries see all of them.
TEST(VolumeRenderingManager, VolumesPerScene) {
  VolumeRenderingManager m;
  int sceneA = 0, sceneB = 0;  // stand-ins for two drawable scenes
  VolumeSource left = RadialVolume("Left"), right = RadialVolume("Right");
  vtkImageData::SafeDownCast(right.data)->SetOrigin(2, -1, -1);
  m.setSceneVolumes(&sceneA, {left});
  m.setSceneVolumes(&sceneB, {right, RadialVolume("Third")});
  EXPECT_EQ(m.volumeCount(), 3u);
  EXPECT_EQ(m.getSceneBounds(&sceneA).size(), 1u);
  EXPECT_EQ(m.getSceneBounds(&sceneB).size(), 2u);
  EXPECT_DOUBLE_EQ(m.getSceneBounds(&sceneB)[0][0], 2.0);
  const double inRight[3] = {3, 0, 0};
  EXPECT_EQ(m.findClosestProp(inRight).volumeName, "Right");

  OffscreenView a(32, 32), b(32, 32);
  m.attachRenderer(a.renderer, &sceneA);
  m.attachRenderer(b.renderer, &sceneB);
  a.render();
  b.render();
  EXPECT_NE(m.visualFor(a.renderer, 0), nullptr);
  EXPECT_EQ(m.visualFor(a.renderer, 1), nullptr);
  EXPECT_NE(m.visualFor(b.renderer, 1), nullptr);
  EXPECT_EQ(m.findClosestProp(inRight, b.renderer).prop, m.visualFor(b.renderer, 0)->volume());
  EXPECT_EQ(m.findClosestProp(inRight, a.renderer).prop, nullptr);

  m.removeScene(&sceneB);
  EXPECT_EQ(m.volumeCount(), 1u);
  b.render();
  EXPECT_EQ(m.visualFor(b.renderer, 0), nullptr);
}

// A volume the scene shows through iso-surfaces draws its scene iso values (not the volume)
// while volume rendering is on; iso values of another field of the volume use that field.
TEST(VolumeRenderingManager, SceneIsoSurfaceModeAndOtherFields) {
  VolumeSource source = RadialVolume();
  auto* image = vtkImageData::SafeDownCast(source.data);
  vtkNew<vtkDoubleArray> height;
  height->SetName("height");
  height->SetNumberOfTuples(image->GetNumberOfPoints());
  for (vtkIdType i = 0; i < image->GetNumberOfPoints(); ++i) height->SetValue(i, image->GetPoint(i)[2]);
  image->GetPointData()->AddArray(height);
  source.isoSurfaceMode = true;
  source.sceneIsoValues = {{"", 0.5}, {"height", 0.25}};

  VolumeRenderingManager m;
  m.setVolumes({source});
  OffscreenView view(32, 32);
  m.attachRenderer(view.renderer);
  auto* visual = m.visualFor(view.renderer, 0);
  EXPECT_EQ(visual->isoCount(), 0u);  // volume rendering is off
  m.setEnableVolRend(true);
  m.setPersistentIsoValues({{"height", -0.5}});
  view.render();
  EXPECT_FALSE(visual->volume()->GetVisibility());
  ASSERT_EQ(visual->isoCount(), 3u);
  double b[6];
  visual->isoData(0)->GetBounds(b);  // height = -0.5: the plane z = -0.5
  EXPECT_NEAR(b[4], -0.5, 1e-6);
  EXPECT_NEAR(b[5], -0.5, 1e-6);
  visual->isoData(1)->GetBounds(b);  // the sphere r = 0.5
  EXPECT_NEAR(b[1], 0.5, 0.1);
}
