// The interaction state of one render buffer: its initial values, the copy that makes the new
// front buffer follow the old one at a swap, the quick-start pages, the scene analysis after
// a refresh and the device strings.
#include <gtest/gtest.h>

#include <vtkCamera.h>
#include <vtkPlane.h>

#include "ClipMarker.h"
#include "InteractionFixtures.h"
#include "InternalError.h"
#include "OpenVRCamera.h"
#include "SceneViewSettings.h"
#include "SeedMarker.h"
#include "ToolGeometry.h"
#include "VRInteractionState.h"
#include "VrTestSupport.h"
#include "kvg/IsoSurfaceAttributes.h"
#include "kvg/Plane.h"
#include "kvg/SceneCanvas.h"
#include "kvg/VolumeRenderingAttributes.h"

namespace {

class InteractionState : public ::testing::Test {
 protected:
  ScopedBaseDir base;
};

// A source state in the middle of a session: placed model, head pose, scales, flags, planes.
void fillSource(VRInteractionState& s, bool boundsValid) {
  identityMatrix4x4(s.modelMatrix);
  s.modelMatrix[3] = 7.0;
  s.sceneBoundsValid = boundsValid;
  s.modelScale = 3.0;
  s.smallestSceneSide = 0.5;
  s.largestSceneSide = 6.0;
  identityMatrix4x4(s.headRotation);
  s.headPosition[1] = 1.7;
  s.particleStepScale = 1.5;
  s.particleRadiusScale = 0.5;
  s.flyMode = true;
  s.hudShown = false;
  s.floorShown = false;
  s.viewResetLatch = true;
  s.frameCounter = 42;
  s.updatingFrameCount = 9;
  s.hudDistance = 1.7;
  s.frameTime = 11.0;
  s.interactiveIsoField = "pressure";
  s.interactiveIsoValue = 0.25;
  s.scalarFieldName = "pressure";
  s.persistentIsoValues.push_back({"pressure", 0.5});
  s.controllerInputs[1].deviceIndex = 2;
  s.controllerInputs[1].triggerHeld = true;
  auto plane = vtkSmartPointer<vtkPlane>::New();
  plane->SetOrigin(1, 2, 3);
  plane->SetNormal(0, 1, 0);
  s.clipPlanes.push_back(plane);
}

}  // namespace

TEST_F(InteractionState, ANewStateHasTheStartValues) {
  VRInteractionState state(nullptr);
  EXPECT_TRUE(state.hudShown);
  EXPECT_TRUE(state.floorShown);
  EXPECT_FALSE(state.flyMode);
  EXPECT_FALSE(state.viewResetLatch);
  EXPECT_EQ(state.modelScale, 1.0);
  EXPECT_EQ(state.particleStepScale, 1.0);
  EXPECT_EQ(state.particleRadiusScale, 1.0);
  EXPECT_EQ(state.hudDistance, 1.0);
  EXPECT_EQ(state.frameTime, 20.0);
  EXPECT_EQ(state.frameTimeFactor, 1.0);
  EXPECT_EQ(state.isoMarkerLimit, 10);
  EXPECT_EQ(state.controllerType(), "");
  EXPECT_EQ(state.modelMatrix[0], 0.0);
  EXPECT_EQ(state.getCamera(), state.camera);
  EXPECT_TRUE(state.getCamera()->IsA("vtkCamera"));
  EXPECT_EQ(state.getQuickStartPage(0), -1);
  EXPECT_EQ(state.controllerInputs[0].deviceIndex, kNoDevice);
  EXPECT_FALSE(state.controllerModels[0].isLoaded());
}

TEST_F(InteractionState, CopyWithValidBoundsTakesPlacementAndFlags) {
  VRInteractionState source(nullptr), destination(nullptr);
  fillSource(source, true);
  destination.copyStateFrom(source);
  EXPECT_EQ(destination.modelMatrix[3], 7.0);
  EXPECT_EQ(destination.modelScale, 3.0);
  EXPECT_EQ(destination.largestSceneSide, 6.0);
  EXPECT_TRUE(destination.sceneBoundsValid);
  EXPECT_EQ(destination.frameCounter, 42u);
  EXPECT_EQ(destination.updatingFrameCount, 0);
  EXPECT_TRUE(destination.flyMode);
  EXPECT_FALSE(destination.hudShown);
  EXPECT_TRUE(destination.viewResetLatch);
  EXPECT_EQ(destination.hudDistance, 1.7);
  EXPECT_EQ(destination.frameTime, 11.0);
  EXPECT_EQ(destination.interactiveIsoField, "pressure");
  EXPECT_EQ(destination.scalarFieldName, "pressure");
  ASSERT_EQ(destination.persistentIsoValues.size(), 1u);
  EXPECT_EQ(destination.persistentIsoValues[0].second, 0.5);
  EXPECT_EQ(destination.controllerInputs[1].deviceIndex, 2u);
  EXPECT_TRUE(destination.controllerInputs[1].triggerHeld);
}

TEST_F(InteractionState, CopyWithoutValidBoundsKeepsThePlacement) {
  VRInteractionState source(nullptr), destination(nullptr);
  fillSource(source, false);
  destination.modelScale = 2.0;
  destination.updatingFrameCount = 4;
  destination.copyStateFrom(source);
  EXPECT_EQ(destination.modelMatrix[3], 0.0);
  EXPECT_EQ(destination.modelScale, 2.0);
  EXPECT_EQ(destination.largestSceneSide, 1.0);
  EXPECT_FALSE(destination.sceneBoundsValid);
  EXPECT_EQ(destination.headPosition[1], 1.7);
  EXPECT_EQ(destination.particleStepScale, 1.5);
  EXPECT_EQ(destination.particleRadiusScale, 0.5);
  EXPECT_TRUE(destination.flyMode);
  EXPECT_EQ(destination.updatingFrameCount, 0);
}

TEST_F(InteractionState, CopyingOntoItselfKeepsTheStrings) {
  VRInteractionState state(nullptr);
  fillSource(state, true);
  state.copyStateFrom(state);
  EXPECT_EQ(state.interactiveIsoField, "pressure");
  EXPECT_EQ(state.scalarFieldName, "pressure");
  EXPECT_EQ(state.persistentIsoValues.size(), 1u);
  EXPECT_EQ(state.clipPlanes.size(), 1u);
  EXPECT_EQ(state.updatingFrameCount, 0);
}

TEST_F(InteractionState, ClipPlanesAreCopiedNotShared) {
  VRInteractionState source(nullptr), destination(nullptr);
  fillSource(source, true);
  destination.copyStateFrom(source);
  ASSERT_EQ(destination.clipPlanes.size(), 1u);
  vtkPlane* copy = destination.clipPlanes[0];
  EXPECT_NE(copy, source.clipPlanes[0].GetPointer());
  EXPECT_EQ(copy->GetOrigin()[2], 3.0);
  EXPECT_EQ(copy->GetNormal()[1], 1.0);
  source.clipPlanes[0]->SetOrigin(9, 9, 9);
  EXPECT_EQ(copy->GetOrigin()[0], 1.0);
}

TEST_F(InteractionState, DifferingHandSwapsExchangeThePostItsOnce) {
  // Only the left hand has label images, so its labels are told apart by their page count.
  ScopedBaseDir assets;
  WriteSolidPng(assets.assets() + "LeftNorthUndefined.png", 2, 2, {1, 2, 3, 255});
  VRInteractionState source(nullptr), destination(nullptr);
  for (VRInteractionState* s : {&source, &destination})
    for (int hand = 0; hand < 2; ++hand) s->toolSets[hand].init(nullptr, hand, nullptr);
  ASSERT_EQ(destination.toolSets[0].postItPageCount(DirectionNorth), 6);
  ASSERT_EQ(destination.toolSets[1].postItPageCount(DirectionNorth), 0);
  source.handsSwapped = true;
  destination.copyStateFrom(source);
  EXPECT_TRUE(destination.handsSwapped);
  EXPECT_EQ(destination.toolSets[1].postItPageCount(DirectionNorth), 6);
  EXPECT_EQ(destination.toolSets[0].postItPageCount(DirectionNorth), 0);
  destination.copyStateFrom(source);
  EXPECT_EQ(destination.toolSets[1].postItPageCount(DirectionNorth), 6);
}

TEST_F(InteractionState, ClipMarkersFollowTheSourceAndMustBeClipMarkers) {
  VRInteractionState source(nullptr), destination(nullptr);
  source.maxClipPlanes = 2;
  for (VRInteractionState* s : {&source, &destination})
    for (int i = 0; i < 2; ++i) s->clipMarkerPool.push_back(kvg::Ptr<ClipMarker>(new ClipMarker));
  const double center[3] = {1, 2, 3}, up[3] = {0, 1, 0}, right[3] = {1, 0, 0};
  source.clipMarkerPool[1]->setGeometry(center, up, right, 0.1);
  destination.copyStateFrom(source);
  EXPECT_EQ(destination.clipMarkerPool[1]->getCenter()[2], 3.0);
  EXPECT_EQ(destination.clipMarkerPool[1]->getSize(), 0.1);

  // An empty entry on either side is skipped; the others are still copied.
  source.clipMarkerPool[0].reset();
  source.clipMarkerPool[1]->setGeometry(center, up, right, 0.2);
  EXPECT_NO_THROW(destination.copyStateFrom(source));
  EXPECT_EQ(destination.clipMarkerPool[1]->getSize(), 0.2);
  destination.clipMarkerPool[1].reset();
  EXPECT_NO_THROW(destination.copyStateFrom(source));
  source.clipMarkerPool[0] = kvg::Ptr<ClipMarker>(new ClipMarker);

  // A pool entry that holds another kind of object breaks the copy loudly.
  destination.clipMarkerPool[0] = kvg::Ptr<ClipMarker>(new SeedMarker);
  try {
    destination.copyStateFrom(source);
    FAIL() << "no error";
  } catch (const InternalError& e) {
    EXPECT_EQ(e.getMessage(), "Uninitialized object or unexpected object type");
  }
}

TEST_F(InteractionState, SyncFromTakesTheScaleOfABoundedSource) {
  BoxScene box({0, 0, 0}, {1, 1, 1});
  VRInteractionState source(nullptr), destination(nullptr);
  fillSource(source, true);
  SceneViewSettings settings;
  destination.syncFrom(source, box.scene(), settings, 0);
  EXPECT_EQ(destination.modelScale, 3.0);
  double near = 0, far = 0;
  destination.getCamera()->GetClippingRange(near, far);
  EXPECT_NEAR(near, 0.6, 1e-12);
  EXPECT_NEAR(far, 3000.0, 1e-9);
}

TEST_F(InteractionState, QuickStartPagesOutsideTheRangeSelectNone) {
  ScopedBaseDir assets;
  for (int k = 0; k < 4; ++k) WriteSolidPng(assets.assets() + "QuickStart" + std::to_string(k) + ".png", 2, 2, {1, 2, 3, 255});
  VRInteractionState state(nullptr);
  state.toolSets[1].init(nullptr, 1, nullptr);
  EXPECT_EQ(state.toolSets[1].quickStartPageCount(), 4);
  state.setQuickStartPage(1, 3);
  EXPECT_EQ(state.getQuickStartPage(1), 3);
  EXPECT_TRUE(state.toolSets[1].isQuickStartVisible());
  state.setQuickStartPage(1, 4);
  EXPECT_EQ(state.getQuickStartPage(1), -1);
  state.setQuickStartPage(1, 2);
  state.setQuickStartPage(1, -1);
  EXPECT_EQ(state.getQuickStartPage(1), -1);
}

TEST_F(InteractionState, PoseMatricesForTheClientState) {
  VRInteractionState state(nullptr);
  fillSource(state, true);
  state.headPosition[0] = 0.25;
  double view[16], model[16];
  state.CopyPoseMatrixA(view);
  EXPECT_EQ(view[3], 0.25);
  EXPECT_EQ(view[7], 1.7);
  EXPECT_EQ(view[0], 1.0);
  state.CopyPoseMatrixB(model);
  EXPECT_EQ(model[3], 7.0);
}

TEST_F(InteractionState, SceneAnalysisRestoresTheCameraAndCountsPlanesAndIsoValues) {
  BoxScene box({0, 0, 0}, {1, 1, 1});
  VRInteractionState state(nullptr);
  kvg::SceneCanvas* canvas = box.scene().getSceneCanvas();
  ASSERT_NE(canvas, nullptr);
  kvg::Ptr<kvg::ClipPlanesAttributes> clip(new kvg::ClipPlanesAttributes);
  clip->hasClippingPlanes()->addNode(kvg::Ptr<kvg::Node>(new kvg::Plane));
  clip->hasClippingPlanes()->addNode(kvg::Ptr<kvg::Node>(new kvg::Plane));
  canvas->setClipPlanesAttributes(clip);

  kvg::Ptr<kvg::VolumeRenderingAttributes> rendering(new kvg::VolumeRenderingAttributes);
  kvg::Ptr<kvg::IsoSurfaceAttributes> iso(new kvg::IsoSurfaceAttributes);
  iso->setIsoValues({0.1, 0.2, 0.3});
  box.session()->getNodeRegistry().addNode(rendering);
  box.session()->getNodeRegistry().addNode(iso);

  vtkNew<vtkCamera> previous;
  state.AnalyseSceneOnLoad(box.scene(), previous);
  EXPECT_EQ(box.renderer()->GetActiveCamera(), previous.GetPointer());
  EXPECT_EQ(state.sceneClipPlaneCount, 2);
  EXPECT_EQ(state.sceneIsoValueCount, 0);  // direct volume rendering: no iso values
  rendering->setRenderingMode(kvg::VolumeRenderingAttributes::IsoSurfaces);
  state.AnalyseSceneOnLoad(box.scene(), previous);
  EXPECT_EQ(state.sceneIsoValueCount, 3);
  EXPECT_EQ(state.medianParticleSpeed, 0.0);  // no flow in the scene
}

TEST_F(InteractionState, DeviceStringsAndFileNames) {
  ScriptedHeadset headset("right property 7000 \"a/b c\"\n");
  EXPECT_EQ(GetTrackedDeviceString(vr::VRSystem(), 2, vr::Prop_ControllerType_String), "a/b c");
  EXPECT_EQ(GetTrackedDeviceString(vr::VRSystem(), 2, vr::Prop_ManufacturerName_String), "Mavolin");
  EXPECT_EQ(GetTrackedDeviceString(vr::VRSystem(), 9, vr::Prop_ManufacturerName_String), "");
  EXPECT_EQ(GetTrackedDeviceString(nullptr, 2, vr::Prop_ManufacturerName_String), "");
  EXPECT_EQ(SanitizeFileName("a/b c"), "a_b_c");
  EXPECT_EQ(SanitizeFileName("<>:\"/\\|?* x"), "__________x");
  EXPECT_EQ(SanitizeFileName("vive_controller"), "vive_controller");
}
