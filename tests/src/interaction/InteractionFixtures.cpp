#include "InteractionFixtures.h"

#include <gtest/gtest.h>

#include <openvr.h>

#include <vtkActor.h>
#include <vtkCubeSource.h>
#include <vtkProperty.h>

#include "RenderLock.h"
#include "VRSimulator.h"
#include "kvg/GenericWindowResourceManager.h"
#include "kvg/PolyDataNode.h"
#include "kvg/SceneCanvas.h"
#include "kvg/SceneCanvasRenderer.h"
#include "kvg/SurfaceDrawable.h"

namespace {
kvg::Handle nextHandle() {
  static kvg::Handle handle = 1000;
  return ++handle;
}
}  // namespace

BoxScene::BoxScene(const std::array<double, 3>& center, const std::array<double, 3>& sides, vtkRenderWindow* window,
                   const std::array<double, 3>& color)
    : _session(new kvg::DrawableSession(nextHandle(), -1)) {
  kvg::Ptr<kvg::SceneCanvas> canvas(new kvg::SceneCanvas);
  _key = _session->getNodeRegistry().addNode(canvas);
  vtkNew<vtkCubeSource> cube;
  cube->SetCenter(center.data());
  cube->SetXLength(sides[0]);
  cube->SetYLength(sides[1]);
  cube->SetZLength(sides[2]);
  cube->Update();
  kvg::Ptr<kvg::SurfaceDrawable> box(new kvg::SurfaceDrawable);
  box->setName("Box");
  box->setDataNode(kvg::Ptr<kvg::Object>(new kvg::PolyDataNode(cube->GetOutput())));
  canvas->getDrawables()->addNode(box);
  _session->getNodeRegistry().addNode(box);
  std::unique_ptr<kvg::GenericWindowResourceManager> resources;
  if (window) resources.reset(new kvg::GenericWindowResourceManager(window, false));
  _scene = _session->getDrawableScenes().createScene(std::move(resources), _key);
  _scene->update(false);
  if (vtkActor* actor = vtkActor::SafeDownCast(_scene->findProp(box->getKey()))) {
    actor->GetProperty()->SetLighting(false);
    actor->GetProperty()->SetAmbient(1.0);
    actor->GetProperty()->SetDiffuse(0.0);
    actor->GetProperty()->SetColor(color[0], color[1], color[2]);
  }
}

BoxScene::BoxScene() : _session(new kvg::DrawableSession(nextHandle(), -1)) {
  _scene = _session->getDrawableScenes().createScene(std::unique_ptr<kvg::GenericWindowResourceManager>(), "empty");
}

BoxScene::~BoxScene() = default;

ScriptedHeadset::ScriptedHeadset(const std::string& script) {
  const auto errors = vrsim::useScript("rate 0\n" + script, "interaction-test");
  for (const std::string& e : errors) ADD_FAILURE() << e;
  Lock::AutoLock lock(GetRenderLock());
  vr::EVRInitError error = vr::VRInitError_None;
  if (!vr::VR_Init(&error, vr::VRApplication_Scene)) ADD_FAILURE() << "the simulated headset did not start";
}

ScriptedHeadset::~ScriptedHeadset() {
  Lock::AutoLock lock(GetRenderLock());
  vr::VR_Shutdown();
}
