// Placing the model: the view reset puts the model's centre at "resetViewModelPositionXYZ" in
// the room with its largest side "resetViewModelSize" long; zoom, dolly, fly mode and the
// clip planes of the scene.
#include <gtest/gtest.h>

#include <cmath>

#include <vtkCamera.h>
#include <vtkMatrix4x4.h>
#include <vtkPlane.h>
#include <vtkPlaneCollection.h>

#include "ClipMarker.h"
#include "InteractionFixtures.h"
#include "OpenVRCamera.h"
#include "SceneViewSettings.h"
#include "ToolGeometry.h"
#include "VRInteractionState.h"
#include "VrTestSupport.h"
#include "kvg/CollectionNode.h"
#include "kvg/Plane.h"

namespace {

const std::array<double, 3> kCenter = {10.0, 20.0, 30.0};

// Room point -> scene point through the state's model matrix.
std::array<double, 3> toScene(const VRInteractionState& state, const std::array<double, 3>& room) {
  std::array<double, 3> out;
  transformPointByMatrix(room.data(), state.modelMatrix, out.data());
  return out;
}

std::array<double, 3> sceneDirection(const VRInteractionState& state, const std::array<double, 3>& room) {
  std::array<double, 3> out;
  rotateVector(state.modelMatrix, room.data(), out.data());
  return out;
}

void expectNear(const std::array<double, 3>& a, const std::array<double, 3>& b, double tolerance = 1e-9) {
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(a[i], b[i], tolerance) << "component " << i;
}

class ViewReset : public ::testing::Test {
 protected:
  ScopedBaseDir base;
  BoxScene box{kCenter, {4.0, 2.0, 1.0}};
  VRInteractionState state{nullptr};
  SceneViewSettings settings;

  void resetVolumeState() {
    state.applyVolumeRendering(box.renderer(), box.session(), nullptr, settings);
  }
};

}  // namespace

TEST_F(ViewReset, PutsTheModelCentreOneMetreUpAndTwoAhead) {
  identityMatrix4x4(state.sceneCameraOrientation);
  resetVolumeState();
  EXPECT_TRUE(state.sceneBoundsValid);
  EXPECT_DOUBLE_EQ(state.largestSceneSide, 4.0);
  EXPECT_DOUBLE_EQ(state.smallestSceneSide, 1.0);
  // The largest side (4 scene units) spans 2 m: 2 scene units per metre.
  EXPECT_DOUBLE_EQ(state.modelScale, 2.0);
  expectNear(toScene(state, {0.0, 1.0, -2.0}), kCenter);
  expectNear(sceneDirection(state, {1.0, 0.0, 0.0}), {2.0, 0.0, 0.0});
  expectNear(sceneDirection(state, {0.0, 1.0, 0.0}), {0.0, 2.0, 0.0});
  EXPECT_EQ(state.environment.getPosition()[0], 0.0);
}

TEST_F(ViewReset, AnyPreviousZoomIsUndone) {
  identityMatrix4x4(state.sceneCameraOrientation);
  resetVolumeState();
  const double pivot[3] = {0.3, 1.0, -0.5};
  ASSERT_TRUE(state.applyModelSize(1.5, pivot, box.session(), 0.0, 1e30));
  state.resetView(box.renderer(), false, box.session());
  EXPECT_DOUBLE_EQ(state.modelScale, 2.0);
  expectNear(toScene(state, {0.0, 1.0, -2.0}), kCenter);
}

TEST_F(ViewReset, ThePositionComesFromTheConfiguration) {
  ScopedBaseDir configured("resetViewModelPositionXYZ = [0.5, 1.5]\nresetViewModelSize = 1.0\n");
  identityMatrix4x4(state.sceneCameraOrientation);
  resetVolumeState();
  EXPECT_DOUBLE_EQ(state.modelScale, 4.0);
  // A short list replaces only the leading components: z stays -2.
  expectNear(toScene(state, {0.5, 1.5, -2.0}), kCenter);
}

TEST_F(ViewReset, PreservedOrientationShowsTheModelAsTheScenesCameraDid) {
  // The scene's camera looks along -x at the box, up +y: the user should face the box the same way.
  vtkCamera* sceneCamera = box.renderer()->GetActiveCamera();
  sceneCamera->SetFocalPoint(kCenter.data());
  sceneCamera->SetPosition(kCenter[0] + 10.0, kCenter[1], kCenter[2]);
  sceneCamera->SetViewUp(0, 1, 0);
  SyncViewMatrixFromCamera(state, box.renderer());
  settings.preserveOrientation = true;
  resetVolumeState();
  expectNear(toScene(state, {0.0, 1.0, -2.0}), kCenter);
  // Ahead in the room (-z) is the camera's viewing direction (-x) in the scene; the box's
  // largest side (along x) now lies along the view, so the scale still comes from 4 units.
  const std::array<double, 3> ahead = sceneDirection(state, {0.0, 0.0, -1.0});
  expectNear(ahead, {-state.modelScale, 0.0, 0.0});
  expectNear(sceneDirection(state, {0.0, 1.0, 0.0}), {0.0, state.modelScale, 0.0});
}

TEST_F(ViewReset, TheHeadSeesTheCentreAheadAndBelowEyeHeight) {
  identityMatrix4x4(state.sceneCameraOrientation);
  resetVolumeState();
  const double rotation[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  const double head[3] = {0.0, 1.6, 0.0};
  state.getCamera()->setFromPose(rotation, head, state.modelMatrix);
  double c[4] = {kCenter[0], kCenter[1], kCenter[2], 1.0}, view[4];
  state.getCamera()->GetViewTransformMatrix()->MultiplyPoint(c, view);
  // 2 m ahead and 0.6 m below the eyes, in scene units (2 per metre).
  EXPECT_NEAR(view[0], 0.0, 1e-9);
  EXPECT_NEAR(view[1], -0.6 * 2.0, 1e-9);
  EXPECT_NEAR(view[2], -2.0 * 2.0, 1e-9);
}

TEST(ViewResetWithoutScene, FallsBackToUnitBounds) {
  ScopedBaseDir base;
  BoxScene empty;
  VRInteractionState state(nullptr);
  SceneViewSettings settings;
  identityMatrix4x4(state.sceneCameraOrientation);
  state.applyVolumeRendering(nullptr, empty.session(), nullptr, settings);
  EXPECT_FALSE(state.sceneBoundsValid);
  EXPECT_DOUBLE_EQ(state.largestSceneSide, 2.0);
  EXPECT_DOUBLE_EQ(state.modelScale, 1.0);
  expectNear(toScene(state, {0.0, 1.0, -2.0}), {0.0, 0.0, 0.0});
}

TEST_F(ViewReset, ZoomKeepsItsPivotAndStopsAtTheLimits) {
  identityMatrix4x4(state.sceneCameraOrientation);
  resetVolumeState();
  const std::array<double, 3> pivot = {0.2, 1.1, -0.4};
  const std::array<double, 3> before = toScene(state, pivot);
  ASSERT_TRUE(state.applyModelSize(1.0 / 1.03, pivot.data(), box.session(), 0.5, 2.0));
  expectNear(toScene(state, pivot), before);
  // Limits in units of the reset size (2 m): the largest side may show between 1 m and 4 m.
  int steps = 0;
  while (state.applyModelSize(1.0 / 1.03, pivot.data(), box.session(), 0.5, 2.0)) ++steps;
  const double shown = state.largestSceneSide / state.modelScale;
  EXPECT_LE(shown, 4.0);
  EXPECT_GT(shown * 1.03, 4.0);
  const double scale = state.modelScale;
  EXPECT_FALSE(state.applyModelSize(1.0 / 1.03, pivot.data(), box.session(), 0.5, 2.0));
  EXPECT_EQ(state.modelScale, scale);
  while (state.applyModelSize(1.03, pivot.data(), box.session(), 0.5, 2.0)) ++steps;
  EXPECT_GE(state.largestSceneSide / state.modelScale, 1.0);
  EXPECT_LT(state.largestSceneSide / state.modelScale / 1.03, 1.0);
}

TEST_F(ViewReset, DollyStepsGrowWithTheFrameTime) {
  identityMatrix4x4(state.sceneCameraOrientation);
  resetVolumeState();
  state.controllerInputs[1].deviceIndex = 2;
  auto dollyShift = [&](double factor) {
    state.frameTimeFactor = factor;
    const std::array<double, 3> before = toScene(state, {0, 0, 0});
    state.handleDolly(1, true);
    const std::array<double, 3> after = toScene(state, {0, 0, 0});
    return std::sqrt(std::pow(after[0] - before[0], 2) + std::pow(after[1] - before[1], 2) +
                     std::pow(after[2] - before[2], 2));
  };
  const double one = dollyShift(1.0);
  EXPECT_NEAR(one, 0.04 * state.modelScale, 1e-9);
  EXPECT_NEAR(dollyShift(2.0), 2.0 * one, 1e-9);
  EXPECT_EQ(state.toolSets[1].toolIconPage(0), 3);
}

// North ("Pull", "Fly forward") brings the model towards the user, South sends it away: the
// viewer's place in the scene moves along the tool direction (forward, tilted down by
// "toolsAngle") for North and against it for South.
TEST_F(ViewReset, NorthPullsTheModelNearerAndSouthPushesItAway) {
  identityMatrix4x4(state.sceneCameraOrientation);
  resetVolumeState();
  state.controllerInputs[1].deviceIndex = 2;
  const std::array<double, 3> eye = {0.0, 1.0, 0.0};  // 2 m in front of the model's centre
  auto distanceToCentre = [&] {
    const std::array<double, 3> p = toScene(state, eye);
    return std::sqrt(std::pow(p[0] - kCenter[0], 2) + std::pow(p[1] - kCenter[1], 2) + std::pow(p[2] - kCenter[2], 2));
  };
  const double start = distanceToCentre();
  const std::array<double, 3> before = toScene(state, eye);
  for (int i = 0; i < 10; ++i) state.handleDolly(1, true);
  EXPECT_LT(distanceToCentre(), start - 0.3 * state.modelScale);
  // The viewer moved along the tool direction, seen in the scene: forward (-z) and down.
  const std::array<double, 3> after = toScene(state, eye);
  const double a = 20.0 * M_PI / 180.0, step = 10 * 0.04 * state.modelScale;
  expectNear({after[0] - before[0], after[1] - before[1], after[2] - before[2]},
             {0.0, -std::sin(a) * step, -std::cos(a) * step}, 1e-9);
  for (int i = 0; i < 20; ++i) state.handleDolly(1, false);
  EXPECT_GT(distanceToCentre(), start + 0.3 * state.modelScale);
  EXPECT_EQ(state.toolSets[1].toolIconPage(0), 4);
}

TEST_F(ViewReset, ZoomStepsGrowWithTheFrameTime) {
  identityMatrix4x4(state.sceneCameraOrientation);
  resetVolumeState();
  state.controllerInputs[1].deviceIndex = 2;

  const double scale = state.modelScale;
  state.frameTimeFactor = 2.0;
  ASSERT_TRUE(state.handleZoom(1, false, box.session(), 0.0, 1e30));
  EXPECT_NEAR(state.modelScale, scale * 1.06, 1e-12);
  EXPECT_EQ(state.toolSets[1].toolIconPage(1), 2);
}

TEST_F(ViewReset, LeavingFlyModeMovesTheModelBack) {
  identityMatrix4x4(state.sceneCameraOrientation);
  resetVolumeState();
  state.controllerInputs[0].deviceIndex = 1;
  double start[16];
  std::copy(state.modelMatrix, state.modelMatrix + 16, start);
  ToggleFlyMode(state);
  ASSERT_TRUE(state.flyMode);
  for (int i = 0; i < 5; ++i) state.handleDolly(0, true);
  EXPECT_NE(state.environment.getPosition()[2], 0.0);
  ToggleFlyMode(state);
  EXPECT_FALSE(state.flyMode);
  for (int i = 0; i < 16; ++i) EXPECT_NEAR(state.modelMatrix[i], start[i], 1e-12) << i;
  EXPECT_EQ(state.environment.getPosition()[2], 0.0);
}

TEST(ClipPlanes, UserPlanesStayBelowTheLimitAndTheScenesOwnStay) {
  ScopedBaseDir base;
  VRInteractionState state(nullptr);
  state.maxClipPlanes = 8;
  state.sceneClipPlaneCount = 2;
  kvg::Ptr<kvg::CollectionNode> node(new kvg::CollectionNode);
  vtkNew<vtkPlaneCollection> planes;
  vtkNew<vtkPlane> own1, own2;
  planes->AddItem(own1);
  planes->AddItem(own2);
  for (int i = 0; i < 6; ++i) {
    auto plane = vtkSmartPointer<vtkPlane>::New();
    plane->SetOrigin(i, 0, 0);
    state.clipPlanes.push_back(plane);
    state.clipMarkerPool.push_back(kvg::Ptr<ClipMarker>(new ClipMarker));
  }
  const kvg::Ptr<ClipMarker> oldestMarker = state.clipMarkerPool.front();
  const kvg::Ptr<ClipMarker> secondMarker = state.clipMarkerPool[1];
  state.syncClipPlanes(*node, planes);
  // 8 - 2 - 1: five user planes, the oldest dropped; its marker goes hidden to the end of the
  // pool, the others stay with their planes.
  ASSERT_EQ(state.clipPlanes.size(), 5u);
  EXPECT_EQ(state.clipPlanes.front()->GetOrigin()[0], 1.0);
  ASSERT_EQ(state.clipMarkerPool.size(), 6u);
  EXPECT_EQ(&*state.clipMarkerPool.front(), &*secondMarker);
  EXPECT_EQ(&*state.clipMarkerPool.back(), &*oldestMarker);
  EXPECT_FALSE(oldestMarker->getVisibility());
  EXPECT_EQ(node->getNumberOfNodes(), 5u);
  EXPECT_EQ(planes->GetNumberOfItems(), 7);
  EXPECT_EQ(planes->GetItem(0), own1.GetPointer());
  EXPECT_EQ(planes->GetItem(1), own2.GetPointer());
  // The next frame replaces the nodes and planes of this one.
  state.interactiveClipPlane = vtkSmartPointer<vtkPlane>::New();
  state.syncClipPlanes(*node, planes);
  EXPECT_EQ(node->getNumberOfNodes(), 6u);
  EXPECT_EQ(planes->GetNumberOfItems(), 8);
  EXPECT_EQ(planes->GetItem(1), own2.GetPointer());
}
