// The analysis managers as services of drawable sessions: one per session, fed by the scene's
// volume drawables, drawn in the scene's model renderer; copy assignment between the two
// sessions of the render buffers; picking drawables with the select tool.
#include "AnalysisFixtures.h"

#include "ParticleAdvectionManager.h"
#include "SelectTool.h"
#include "VolumeRenderingManager.h"
#include "VolumeVisual.h"

#include "InternalError.h"
#include "kvg/DrawableScene.h"
#include "kvg/DrawableSession.h"
#include "kvg/GenericWindowResourceManager.h"
#include "kvg/ImageDataNode.h"
#include "kvg/PolyDataNode.h"
#include "kvg/SceneCanvas.h"
#include "kvg/SceneCanvasRenderer.h"
#include "kvg/SurfaceDrawable.h"
#include "kvg/VolumeDrawable.h"

#include <gtest/gtest.h>
#include <vtkPlane.h>
#include <vtkPlaneCollection.h>
#include <vtkSphereSource.h>
#include <vtkVolume.h>

#include <cmath>
#include <memory>

using namespace testing_analysis;
using namespace kvg;

namespace {

// One render buffer's worth: a session holding a canvas with a volume (radial scalars
// "scalar", uniform flow "velocity" along +x on [-1, 1]^3) and a sphere named "Wing", shown by a
// drawable scene in an offscreen window.
struct BufferScene {
  std::unique_ptr<DrawableSession> session;
  OffscreenView view;
  DrawableScene* scene = nullptr;
  vtkRenderer* model = nullptr;

  explicit BufferScene(Handle handle) : view(96, 96) {
    session.reset(new DrawableSession(handle, -1));
    Ptr<SceneCanvas> canvas(new SceneCanvas);
    const std::string key = session->getNodeRegistry().addNode(canvas);

    Ptr<VolumeDrawable> volume(new VolumeDrawable);
    volume->setName("Pressure");
    auto image = MakeVolume(
        {21, 21, 21}, {-1, -1, -1}, {0.1, 0.1, 0.1},
        [](const double p[3]) { return std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]); },
        [](const double*, double v[3]) {
          v[0] = 0.5;
          v[1] = v[2] = 0.0;
        });
    volume->setDataNode(Ptr<Object>(new ImageDataNode(image)));
    canvas->getDrawables()->addNode(volume);
    session->getNodeRegistry().addNode(volume);

    vtkNew<vtkSphereSource> sphere;
    sphere->SetCenter(0, 0, 3);
    sphere->SetRadius(0.5);
    sphere->Update();
    Ptr<SurfaceDrawable> wing(new SurfaceDrawable);
    wing->setName("Wing");
    wing->setDataNode(Ptr<Object>(new PolyDataNode(sphere->GetOutput())));
    canvas->getDrawables()->addNode(wing);
    session->getNodeRegistry().addNode(wing);

    // The view's own renderer clears the window on layer 0; the model renderer comes on top.
    scene = session->getDrawableScenes().createScene(
        std::unique_ptr<GenericWindowResourceManager>(new GenericWindowResourceManager(view.window, false)), key);
    scene->update(false);
    model = scene->hasModelRenderer()->getVTKRenderer();
    vtkCamera* cam = model->GetActiveCamera();
    cam->ParallelProjectionOn();
    cam->SetFocalPoint(0, 0, 0);
    cam->SetPosition(0, 0, 10);
    cam->SetViewUp(0, 1, 0);
    cam->SetParallelScale(1.0);
    cam->SetClippingRange(0.1, 100);
  }
};

}  // namespace

TEST(AnalysisSession, OneManagerPerSession) {
  DrawableSession a(7101, -1), b(7102, -1);
  EXPECT_EQ(&VolumeRenderingManager::getSingleton(a), &VolumeRenderingManager::getSingleton(&a));
  EXPECT_NE(&VolumeRenderingManager::getSingleton(a), &VolumeRenderingManager::getSingleton(b));
  EXPECT_EQ(&ParticleAdvectionManager::getSingleton(a), &ParticleAdvectionManager::getSingleton(&a));
  EXPECT_NE(&ParticleAdvectionManager::getSingleton(a), &ParticleAdvectionManager::getSingleton(b));
  EXPECT_THROW(VolumeRenderingManager::getSingleton(static_cast<DrawableSession*>(nullptr)), InternalError);
  EXPECT_THROW(ParticleAdvectionManager::getSingleton(static_cast<DrawableSession*>(nullptr)), InternalError);
  EXPECT_FALSE(VolumeRenderingManager::getSingleton(a).hasVolumes());
}

TEST(AnalysisSession, SceneVolumesReachTheManagers) {
  BufferScene buffer(7111);
  auto& volumes = VolumeRenderingManager::getSingleton(*buffer.session);
  auto& particles = ParticleAdvectionManager::getSingleton(*buffer.session);
  // The services came after the first update: the next update feeds them.
  buffer.scene->update(false);
  ASSERT_TRUE(volumes.hasVolumes());
  const auto boxes = volumes.getBounds(*buffer.scene);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_DOUBLE_EQ(boxes[0][1], 1.0);
  EXPECT_NE(volumes.getRenderProp(buffer.model), nullptr);
  EXPECT_TRUE(particles.hasField());
  EXPECT_NEAR(particles.computeMedianMagnitude(), 0.5, 1e-6);

  // The volume's prop exists right after the update, before any render.
  const double inside[3] = {0.1, 0.1, 0.1};
  auto closest = volumes.findClosestProp(inside, *buffer.scene);
  ASSERT_TRUE(closest.found);
  EXPECT_EQ(closest.fieldName, "scalar");
  EXPECT_EQ(closest.volumeName, "Pressure");
  EXPECT_NE(vtkVolume::SafeDownCast(closest.prop), nullptr);
  const double outside[3] = {0.0, 0.0, 3.0};
  EXPECT_FALSE(volumes.findClosestProp(outside, *buffer.scene).found);

  // Clip planes the program appends to the model renderer's collection cut the volume's parts.
  volumes.setEnableVolRend(false);
  volumes.setInteractivePlaneSection(MakeSection({0, 0, 0}, {0, 1, 0}, {1, 0, 0}));
  auto uncut = buffer.view.render();
  EXPECT_FALSE(OffscreenView::at(uncut, 96, 20, 48)[0] == 0 && OffscreenView::at(uncut, 96, 20, 48)[2] == 0);
  vtkNew<vtkPlane> plane;
  plane->SetOrigin(0, 0, 0);
  plane->SetNormal(1, 0, 0);
  buffer.scene->hasModelRenderer()->getClippingPlanes()->AddItem(plane);
  buffer.view.render();
  auto cut = buffer.view.render();
  const auto left = OffscreenView::at(cut, 96, 20, 48), right = OffscreenView::at(cut, 96, 76, 48);
  EXPECT_EQ(left[0] + left[1] + left[2], 0);
  EXPECT_GT(right[0] + right[1] + right[2], 0);
}

// At a buffer swap the other session's managers become copies: the other window then shows the
// same seeds and particles, plane sections and iso values.
TEST(AnalysisSession, CopyAssignmentBetweenTheTwoSessions) {
  BufferScene front(7121), back(7122);
  for (BufferScene* b : {&front, &back}) {
    VolumeRenderingManager::getSingleton(*b->session);
    ParticleAdvectionManager::getSingleton(*b->session);
    b->scene->update(false);
    b->model->AddViewProp(ParticleAdvectionManager::getSingleton(*b->session).getRenderingTriggerProp());
  }
  auto& volumesA = VolumeRenderingManager::getSingleton(*front.session);
  auto& particlesA = ParticleAdvectionManager::getSingleton(*front.session);
  volumesA.setPersistentPlaneSections({MakeSection({0, 0, -0.3}, {0, 1, 0}, {1, 0, 0})});
  volumesA.setInteractivePlaneSection(MakeSection({0.25, 0, 0}, {0, 1, 0}, {0, 0, 1}));
  volumesA.setPersistentIsoValues({{"scalar", 0.95}});
  volumesA.setInteractiveIsoValue({"scalar", 0.4});
  volumesA.setIsosurfaceOpacity(1.0);
  particlesA.setParticleCount(12);
  particlesA.stepLength = 0.1;
  particlesA.pointRadius = 0.05f;
  const double seed[3] = {-0.9, 0.6, 0.5};
  particlesA.addSeedPosition(seed);
  for (int i = 0; i < 8; ++i) front.view.render();

  auto& volumesB = VolumeRenderingManager::getSingleton(*back.session);
  auto& particlesB = ParticleAdvectionManager::getSingleton(*back.session);
  volumesB = volumesA;
  particlesB = particlesA;
  particlesA.stepLength = particlesB.stepLength = 0.0;
  const auto a = front.view.render();
  const auto b = back.view.render();

  EXPECT_EQ(particlesB.getSeedPositions(), particlesA.getSeedPositions());
  EXPECT_EQ(particlesB.getNumberOfParticles(), 9u);
  auto* visual = volumesB.visualFor(back.model, 0);
  ASSERT_NE(visual, nullptr);
  EXPECT_EQ(visual->sectionCount(), 2u);
  EXPECT_EQ(visual->isoCount(), 2u);
  int lit = 0;
  const int differing = CountDifferences(a, b, &lit);
  EXPECT_GT(lit, 1000);
  EXPECT_EQ(differing, 0);
}

TEST(AnalysisSession, SelectToolPicksDrawablesByName) {
  BufferScene buffer(7131);
  SelectTool tool(*buffer.scene);
  double distance = 0.0;
  const double tip[3] = {0.1, 0.0, 10.0}, down[3] = {0, 0, -1};
  EXPECT_EQ(tool.pickRay3D(buffer.scene->hasModelRenderer(), tip, down, 20.0, distance, 0.005, nullptr), "Wing");
  EXPECT_NEAR(distance, 10.0 - 3.5, 0.05);  // the sphere is tessellated
  EXPECT_NE(tool.getPickedProp(), nullptr);
  double unchanged = 1.5;
  const double aside[3] = {2.0, 0.0, 10.0};
  EXPECT_EQ(tool.pickRay3D(buffer.scene->hasModelRenderer(), aside, down, 20.0, unchanged, 0.005, nullptr), "");
  EXPECT_EQ(unchanged, 1.5);
  EXPECT_EQ(tool.pickRay3D(buffer.scene->hasModelRenderer(), tip, down, 5.0, distance, 0.005, nullptr), "");
  EXPECT_EQ(tool.pickRay3D(static_cast<SceneCanvasRenderer*>(nullptr), tip, down, 20.0, distance, 0.005, nullptr), "");
}
