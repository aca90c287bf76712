// The direction marker of an avatar whose head is in view but hidden behind scene geometry, as
// the GPU's occlusion queries report it: shown once the head stayed hidden two frames in a row,
// not after a single hidden frame, and gone again once the head is seen.
#include <gtest/gtest.h>

#include <vtkActor.h>
#include <vtkCamera.h>
#include <vtkCubeSource.h>
#include <vtkPolyDataMapper.h>

#include "Avatar.h"
#include "AvatarContext.h"
#include "AvatarGroup.h"
#include "ControllerModel.h"
#include "OpenVRActor.h"
#include "VrTestSupport.h"

namespace {

const double kIdentity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

// The local user at the room's origin; no camera, so every head counts as well inside the view.
class LocalUser : public AvatarContext {
 public:
  OpenVRCamera* camera() const override { return nullptr; }
  void modelMatrix(double out[16]) const override { std::copy(kIdentity, kIdentity + 16, out); }
  void headPose(double out[16]) const override { std::copy(kIdentity, kIdentity + 16, out); }
  const ControllerModel& controllerModel(int hand) const override { return _models[hand]; }
  void handleIsoValueTool(const ControllerInput&, int, kvg::DrawableScene&, vtkRenderer*, const double*,
                          double) override {}

 private:
  ControllerModel _models[2];
};

vtkSmartPointer<vtkPolyDataMapper> boxMesh(double half) {
  vtkNew<vtkCubeSource> cube;
  cube->SetXLength(2 * half);
  cube->SetYLength(2 * half);
  cube->SetZLength(2 * half);
  auto mapper = vtkSmartPointer<vtkPolyDataMapper>::New();
  mapper->SetInputConnection(cube->GetOutputPort());
  mapper->Update();
  return mapper;
}

}  // namespace

TEST(AvatarOcclusion, TheMarkerShowsAfterTwoOccludedFramesInARow) {
  ScopedBaseDir base;
  GlWindow gl(64, 64);
  vtkCamera* camera = gl.renderer()->GetActiveCamera();
  camera->SetPosition(0, 0, 0);
  camera->SetFocalPoint(0, 0, -1);
  camera->SetViewUp(0, 1, 0);
  camera->SetViewAngle(60);
  camera->SetClippingRange(0.1, 100);

  AvatarGroup group(nullptr);
  kvg::Ptr<Avatar> avatar(new Avatar());
  vtkSmartPointer<vtkPolyDataMapper> head = boxMesh(0.1), inlays = boxMesh(0.05);
  avatar->setupPointers(nullptr, nullptr, head, inlays, nullptr, false, &group, nullptr);
  kvg::VRClientState state;
  state.setID(3);
  state.setColorID(1);
  state.setModel(kIdentity);
  const double view[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, -2, 0, 0, 0, 1};
  state.setView(view);
  LocalUser local;

  // A wall between the local user and the head, switched on and off.
  vtkNew<vtkActor> wall;
  vtkNew<vtkCubeSource> slab;
  slab->SetCenter(0, 0, -1);
  slab->SetXLength(4);
  slab->SetYLength(4);
  slab->SetZLength(0.05);
  vtkNew<vtkPolyDataMapper> wallMapper;
  wallMapper->SetInputConnection(slab->GetOutputPort());
  wall->SetMapper(wallMapper);
  // Drawn first, as the scene is: a query counts the samples that pass at the head's drawing.
  gl.renderer()->AddActor(wall);
  gl.renderer()->AddActor(avatar->head().headActor());
  gl.renderer()->AddActor(avatar->head().inlayActor());

  // One frame: the state, the update from the previous render's queries, the render.
  struct Frame {
    bool occluded;  // what the head's query reported at the update
    bool marker;
  };
  auto frame = [&]() {
    avatar->setClientState(state);
    EXPECT_TRUE(avatar->updateFromState(nullptr, nullptr, local, kIdentity));
    Frame f{avatar->head().isOccluded(), avatar->isDirectionMarkerVisible()};
    gl.window()->Render();
    return f;
  };

  wall->SetVisibility(0);
  for (int i = 0; i < 3; ++i) {
    const Frame f = frame();
    EXPECT_FALSE(f.occluded) << i;
    EXPECT_FALSE(f.marker) << i;
  }
  wall->SetVisibility(1);
  std::vector<Frame> frames;
  for (int i = 0; i < 6; ++i) frames.push_back(frame());
  size_t first = 0;
  while (first < frames.size() && !frames[first].occluded) ++first;
  ASSERT_LT(first + 1, frames.size()) << "the queries never reported the head hidden";
  EXPECT_FALSE(frames[first].marker) << "one hidden frame is not enough";
  for (size_t i = first + 1; i < frames.size(); ++i) EXPECT_TRUE(frames[i].marker) << i;

  wall->SetVisibility(0);
  frames.clear();
  for (int i = 0; i < 4; ++i) frames.push_back(frame());
  EXPECT_FALSE(frames.back().occluded);
  EXPECT_FALSE(frames.back().marker);
}
