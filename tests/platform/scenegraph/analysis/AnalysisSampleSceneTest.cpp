// The managers on the sample scene's flow, as the program sees it: the record streamed into the
// two sessions of the render buffers, each shown by a drawable scene in a window of its own.
#include "ParticleAdvectionManager.h"
#include "VolumeRenderingManager.h"
#include "VolumeVisual.h"

#include "RecordsManager.h"
#include "SceneCorpus.h"
#include "kvg/DrawableScene.h"
#include "kvg/DrawableSession.h"
#include "kvg/RendererNodeStream.h"
#include "kvg/RendererObjectRegistryBase.h"
#include "kvg/SDBReader.h"
#include "kvg/SceneCanvasRenderer.h"

#include <gtest/gtest.h>
#include <vtkDataArray.h>
#include <vtkImageData.h>
#include <vtkNew.h>
#include <vtkPointData.h>
#include <vtkPolyData.h>
#include <vtkRenderWindow.h>
#include <vtkSmartPointer.h>
#include <vtkUnsignedCharArray.h>
#include <vtkVolume.h>

#include <memory>

using namespace kvg;

namespace {

struct Buffer {
  std::unique_ptr<DrawableSession> session;
  vtkSmartPointer<vtkRenderWindow> window;
  DrawableScene* scene = nullptr;
};

class SampleScene : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(reader.open(wide(binDir() + "/sample_vr.sce")), 0) << reader.getLastError();
    RecordsManager records(reader);
    const Properties record = records.getFrame(0, 2);
    for (Buffer& b : buffers) {
      b.session.reset(new DrawableSession(RendererObjectRegistryBase::getNextHandle(0), -1));
      // The view creates the managers with the session, before anything is loaded.
      VolumeRenderingManager::getSingleton(*b.session).setVRMode(true);
      ParticleAdvectionManager::getSingleton(*b.session).clearSeeds();
      RendererNodeStream stream(*b.session);
      ASSERT_TRUE(reader.loadRecord(record, stream)) << reader.getLastError();
      b.window = vtkSmartPointer<vtkRenderWindow>::New();
      b.window->SetOffScreenRendering(1);
      b.window->SetSize(200, 150);
      b.window->SetMultiSamples(0);
      b.scene = b.session->getDrawableScenes().createScene(new GenericWindowResourceManager(b.window, false),
                                                           reader.getCanvasInfo().key);
      b.window->MakeCurrent();
      b.scene->update(false);
      ASSERT_NE(b.scene->hasModelRenderer(), nullptr);
      b.scene->hasModelRenderer()->getVTKRenderer()->AddViewProp(
          ParticleAdvectionManager::getSingleton(*b.session).getRenderingTriggerProp());
    }
  }

  void TearDown() override {
    for (Buffer& b : buffers) {
      if (b.window) b.window->Finalize();
    }
  }

  vtkSmartPointer<vtkUnsignedCharArray> render(Buffer& b) {
    b.window->Render();
    auto pixels = vtkSmartPointer<vtkUnsignedCharArray>::New();
    b.window->GetPixelData(0, 0, 199, 149, 0, pixels);
    return pixels;
  }

  kvg::SDBReader reader;
  Buffer buffers[2];
};

}  // namespace

TEST_F(SampleScene, ManagersSeeTheFlowVolume) {
  Buffer& b = buffers[0];
  auto& volumes = VolumeRenderingManager::getSingleton(*b.session);
  auto& particles = ParticleAdvectionManager::getSingleton(*b.session);
  ASSERT_TRUE(volumes.hasVolumes());
  const auto boxes = volumes.getBounds(*b.scene);
  ASSERT_EQ(boxes.size(), 1u);
  const double centre[3] = {0.5 * (boxes[0][0] + boxes[0][1]), 0.5 * (boxes[0][2] + boxes[0][3]),
                            0.5 * (boxes[0][4] + boxes[0][5])};
  auto closest = volumes.findClosestProp(centre, *b.scene);
  ASSERT_TRUE(closest.found);
  EXPECT_EQ(closest.fieldName, "pressure");
  EXPECT_NE(vtkVolume::SafeDownCast(closest.prop), nullptr);
  double lo = 0, hi = 1;
  ASSERT_TRUE(volumes.getScalarRange(centre, lo, hi));
  EXPECT_LT(lo, hi);
  EXPECT_NE(volumes.getLookupTable(centre), nullptr);

  // The flow comes along +x: a ray from upstream finds a seed where it enters the volume, and
  // the particles released there travel downstream.
  ASSERT_TRUE(particles.hasField());
  const double median = particles.computeMedianMagnitude();
  EXPECT_GT(median, 1.0);
  const double upstream[3] = {boxes[0][0] - 1.0, 0.5 * (boxes[0][2] + boxes[0][3]), boxes[0][4] + 0.2 * (boxes[0][5] - boxes[0][4])};
  const double along[3] = {1, 0, 0};
  double seed[3], flow[3];
  ASSERT_TRUE(particles.findSeedWithRayQuery(seed, flow, upstream, along, *b.scene, 32));
  EXPECT_NEAR(seed[0], boxes[0][0], 1e-9);
  EXPECT_GT(flow[0], 0.0);
  particles.addSeedPosition(seed);
  particles.setParticleCount(64);
  particles.stepLength = 0.02 / median;
  vtkNew<vtkPolyData> points;
  for (int i = 0; i < 20; ++i) particles.advanceFrame(points);
  EXPECT_EQ(particles.getNumberOfParticles(), 20u);
  EXPECT_GT(points->GetPoint(0)[0], seed[0] + 0.2);

  // Sections and iso-surfaces of the real data.
  const double up[3] = {0, 1, 0}, right[3] = {1, 0, 0};
  volumes.setInteractivePlaneSection(SimplePlaneSection(centre, up, right));
  volumes.setInteractiveIsoValue({"pressure", lo + 0.3 * (hi - lo)});
  auto* visual = volumes.visualFor(b.scene->hasModelRenderer()->getVTKRenderer(), 0);
  ASSERT_NE(visual, nullptr);
  ASSERT_EQ(visual->sectionCount(), 1u);
  EXPECT_GT(visual->sectionData(0)->GetNumberOfPolys(), 100);
  ASSERT_EQ(visual->isoCount(), 1u);
  EXPECT_GT(visual->isoData(0)->GetNumberOfPolys(), 100);
}

// The buffer swap: the other session's managers become copies and its window shows the same.
TEST_F(SampleScene, SwapCopiesWhatTheOtherBufferShows) {
  auto& volumesA = VolumeRenderingManager::getSingleton(*buffers[0].session);
  auto& particlesA = ParticleAdvectionManager::getSingleton(*buffers[0].session);
  const auto box = volumesA.getBounds(*buffers[0].scene)[0];
  const double centre[3] = {0.5 * (box[0] + box[1]), 0.5 * (box[2] + box[3]), 0.5 * (box[4] + box[5])};
  const double up[3] = {0, 1, 0}, right[3] = {1, 0, 0}, across[3] = {0, 0, 1};
  volumesA.setPersistentPlaneSections({SimplePlaneSection(centre, up, right)});
  volumesA.setInteractivePlaneSection(SimplePlaneSection(centre, up, across));
  volumesA.setPersistentIsoValues({{"pressure", -20.0}});
  volumesA.setEnableVolRend(true);
  const double seed[3] = {box[0] + 0.01, centre[1], centre[2] + 0.3};
  particlesA.addSeedPosition(seed);
  particlesA.pointRadius = 0.03f;
  particlesA.stepLength = 0.005;
  for (int i = 0; i < 10; ++i) render(buffers[0]);

  VolumeRenderingManager::getSingleton(*buffers[1].session) = volumesA;
  ParticleAdvectionManager::getSingleton(*buffers[1].session) = particlesA;
  particlesA.stepLength = 0.0;
  ParticleAdvectionManager::getSingleton(*buffers[1].session).stepLength = 0.0;
  auto a = render(buffers[0]);
  auto b = render(buffers[1]);
  EXPECT_EQ(ParticleAdvectionManager::getSingleton(*buffers[1].session).getNumberOfParticles(), 11u);
  int differing = 0;
  for (vtkIdType i = 0; i < a->GetNumberOfValues(); ++i) differing += a->GetValue(i) != b->GetValue(i) ? 1 : 0;
  EXPECT_EQ(differing, 0);
}
