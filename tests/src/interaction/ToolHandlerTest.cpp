// The scene tools' rules without drawing: the seed cone's shape from the flow, the plane a
// controller holds in each orientation with the axis snapping, the clip tool keeping and
// removing planes with their markers, the markers following the other buffer at a swap, and the
// timed two-trigger gesture at its default delay.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>

#include <vtkDataArray.h>
#include <vtkMatrix4x4.h>
#include <vtkMapper.h>
#include <vtkPlane.h>
#include <vtkPointData.h>
#include <vtkPolyData.h>
#include <vtkProperty.h>

#include "ClipMarker.h"
#include "ControllerModel.h"
#include <vtkCellArray.h>
#include "Environment.h"
#include "OpenVRActor.h"
#include "InteractionFixtures.h"
#include "IsoValueMarker.h"
#include "SceneMarkers.h"
#include "SceneViewSettings.h"
#include "SeedMarker.h"
#include "ToolGeometry.h"
#include "VRInteractionState.h"
#include "VolumeRenderingManager.h"
#include "VrTestSupport.h"
#include "CollabSession.h"
#include "ParticleAdvectionManager.h"
#include "kvg/VolumeRenderingAttributes.h"

namespace {

double angleOf(const VRInteractionState& state, double speed, double* height = nullptr) {
  const double flow[3] = {speed, 0.0, 0.0};
  double h = 0.0, a = 0.0;
  GetSeedMarkerShape(state, flow, h, a);
  if (height) *height = h;
  return a;
}

// A controller at the origin, turned about y by yaw degrees.
ControllerInput turned(double yawDegrees) {
  ControllerInput input;
  const double a = yawDegrees * M_PI / 180.0;
  input.pose[0] = std::cos(a);
  input.pose[2] = std::sin(a);
  input.pose[8] = -std::sin(a);
  input.pose[10] = std::cos(a);
  input.deviceIndex = 1;
  return input;
}

class Tools : public ::testing::Test {
 protected:
  VRInteractionState state{nullptr};
  SceneViewSettings settings;

  void SetUp() override {
    identityMatrix4x4(state.modelMatrix);
    for (int hand = 0; hand < 2; ++hand) state.toolSets[hand].init(nullptr, hand, nullptr);
    for (int i = 0; i < 4; ++i) state.clipMarkerPool.push_back(kvg::Ptr<ClipMarker>(new ClipMarker));
    for (auto& marker : state.clipMarkerPool) {
      const double c[3] = {0, 0, 0}, x[3] = {1, 0, 0}, z[3] = {0, 0, 1};
      marker->createTextured(nullptr, c, x, z, 1.0, nullptr, nullptr);
    }
  }
  // The right hand's tool tip placed at p (identity rotation, default offset).
  void tipAt(int hand, double x, double y, double z) {
    ControllerInput& input = state.controllerInputs[hand];
    input = ControllerInput();
    input.deviceIndex = 1 + hand;
    input.position[0] = x;
    input.position[1] = y + 0.024;
    input.position[2] = z + 0.1;
  }
};

}  // namespace

TEST(SeedMarkerCone, FasterFlowGivesASlimmerLongerConeOfOneBaseRadius) {
  ScopedBaseDir base;
  VRInteractionState state(nullptr);
  state.medianParticleSpeed = 2.0;
  double height = 0.0;
  // No flow: the widest angle; twice the median speed or more: the narrowest; NaN: narrowest.
  EXPECT_DOUBLE_EQ(angleOf(state, 0.0, &height), 50.0);
  EXPECT_NEAR(height, 0.0125 / std::tan(50.0 * M_PI / 180.0), 1e-12);
  EXPECT_DOUBLE_EQ(angleOf(state, 4.0), 15.0);
  EXPECT_DOUBLE_EQ(angleOf(state, 8.0), 15.0);
  EXPECT_DOUBLE_EQ(angleOf(state, std::numeric_limits<double>::quiet_NaN()), 15.0);
  EXPECT_DOUBLE_EQ(angleOf(state, 2.0), 32.5);
  // The base radius is the same for every flow.
  for (double speed : {0.0, 1.0, 3.0, 10.0}) {
    const double a = angleOf(state, speed, &height);
    EXPECT_NEAR(height * std::tan(a * M_PI / 180.0), 0.0125, 1e-12) << speed;
  }
  // No particle field at all (median 0) must not give a cone of no shape.
  state.medianParticleSpeed = 0.0;
  EXPECT_DOUBLE_EQ(angleOf(state, 0.0), 15.0);
}

TEST(SeedMarkerCone, AngleLimitsAtOrBeyondTheRightAngleStillGiveAFiniteCone) {
  VRInteractionState state(nullptr);
  state.medianParticleSpeed = 1.0;
  for (const char* config : {"seedMarkerMinMaxAngle = [0, 90]\n", "seedMarkerMinMaxAngle = [-5, 120]\n",
                             "seedMarkerMinMaxAngle = [90, 90]\n", "seedMarkerMinMaxAngle = [60, 20]\n"}) {
    ScopedBaseDir base(config);
    for (double speed : {0.0, 0.5, 2.0, 100.0}) {
      double height = 0.0;
      const double a = angleOf(state, speed, &height);
      EXPECT_GT(a, 0.0) << config << speed;
      EXPECT_LT(a, 90.0) << config << speed;
      EXPECT_TRUE(std::isfinite(height) && height > 0.0) << config << speed;
    }
  }
  // One value replaces only the minimum.
  ScopedBaseDir one("seedMarkerMinMaxAngle = [25]\n");
  EXPECT_DOUBLE_EQ(angleOf(state, 100.0), 25.0);
  EXPECT_DOUBLE_EQ(angleOf(state, 0.0), 50.0);
}

TEST(PlaneSnapping, ANormalNearAnAxisSnapsToItAndOthersStay) {
  struct Case {
    double tiltDegrees;  // of the normal away from +y, about x
    double snapping;
    bool snaps;
  };
  const Case cases[] = {{5.0, 10.0, true},    {12.0, 10.0, false}, {175.0, 10.0, true},
                        {0.0, 0.0, false},    {9.9, 10.0, true},   {45.0, 44.0, false}};
  for (const Case& c : cases) {
    const double t = c.tiltDegrees * M_PI / 180.0;
    // right x up = (0, cos t, sin t).
    const double up[3] = {1.0, 0.0, 0.0}, right[3] = {0.0, -std::sin(t), std::cos(t)};
    const double origin[3] = {1.0, 2.0, 3.0};
    const kvg::SimplePlaneSection section(origin, up, right);
    double n[3];
    section.getNormal(n);
    ASSERT_NEAR(n[1], std::cos(t), 1e-12);
    const kvg::SimplePlaneSection snapped = alignPlaneSectionBasis(section, c.snapping);
    double m[3];
    snapped.getNormal(m);
    SCOPED_TRACE(c.tiltDegrees);
    if (c.snaps) {
      EXPECT_NEAR(m[0], 0.0, 1e-12);
      EXPECT_NEAR(m[1], std::cos(t) > 0 ? 1.0 : -1.0, 1e-12);
      EXPECT_NEAR(m[2], 0.0, 1e-12);
    } else {
      for (int k = 0; k < 3; ++k) EXPECT_NEAR(m[k], n[k], 1e-12);
    }
    EXPECT_EQ(snapped.getOrigin()[2], 3.0);
  }
}

TEST_F(Tools, EachOrientationTakesItsAxisAndTheUprightOneIsMirroredForTheRightHand) {
  const double t = 20.0 * M_PI / 180.0;
  struct Case {
    int orientation;
    int hand;
    double normal[3];
    int icon;
  };
  const Case cases[] = {{0, 0, {0.0, -std::cos(t), std::sin(t)}, 0},
                        {1, 0, {0.0, -std::sin(t), -std::cos(t)}, 1},
                        {2, 0, {1.0, 0.0, 0.0}, 2},
                        {2, 1, {-1.0, 0.0, 0.0}, 2}};
  for (const Case& c : cases) {
    ScopedBaseDir base("planeSectionOrientation = " + std::to_string(c.orientation) + "\n");
    tipAt(c.hand, 0.0, 0.0, 0.0);
    double origin[3], up[3], right[3], normal[3];
    state.orientPlaneSection(c.hand, 6, origin, up, right, normal);
    SCOPED_TRACE(std::to_string(c.orientation) + " hand " + std::to_string(c.hand));
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(normal[k], c.normal[k], 1e-12);
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(origin[k], 0.0, 1e-12);
    // up, right and normal are an orthonormal frame in which right x up is the normal.
    double n[3];
    kvg::SimplePlaneSection(origin, up, right).getNormal(n);
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(std::abs(n[k]), std::abs(c.normal[k]), 1e-12);
    const ToolSet& tools = state.toolSets[c.hand];
    for (int icon = 0; icon < 3; ++icon) {
      EXPECT_EQ(tools.isToolIconVisible(icon), icon == c.icon);
      EXPECT_EQ(tools.toolIconPage(icon), 6);
    }
  }
}

TEST_F(Tools, KeptClipPlanesGetMarkersAndTheNearestGoesWithTheLaterOnesMovingUp) {
  ScopedBaseDir base("planeSectionOrientation = 2\ntoolIconSize = 0.1\n");
  settings.snappingAngle = 10.0;
  // Three planes kept at x = 0, 1, 2 (upright, across x), the controller turned by 5 degrees:
  // the plane snaps to x, the marker square keeps the tilt.
  for (int i = 0; i < 3; ++i) {
    state.controllerInputs[1] = turned(5.0);
    state.controllerInputs[1].position[0] = i;
    ASSERT_TRUE(state.handleClipTool(1, 1, settings));
  }
  ASSERT_EQ(state.clipPlanes.size(), 3u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_NEAR(std::abs(state.clipPlanes[i]->GetNormal()[0]), 1.0, 1e-12);
    EXPECT_TRUE(state.clipMarkerPool[i]->getVisibility());
  }
  EXPECT_FALSE(state.clipMarkerPool[3]->getVisibility());
  EXPECT_GT(std::abs(state.clipMarkerPool[0]->getRight()[0]), 0.05);  // the unsnapped tilt
  const double markerOne = state.clipMarkerPool[1]->getCenter()[0];
  const double markerTwo = state.clipMarkerPool[2]->getCenter()[0];

  // Removing the plane nearest the tip (at marker 1): marker 2 moves to place 1, the last is hidden.
  tipAt(1, markerOne, state.clipMarkerPool[1]->getCenter()[1], state.clipMarkerPool[1]->getCenter()[2]);
  ASSERT_TRUE(state.handleClipTool(1, 2, settings));
  ASSERT_EQ(state.clipPlanes.size(), 2u);
  EXPECT_NEAR(state.clipPlanes[1]->GetOrigin()[0], markerTwo, 1e-12);
  EXPECT_NEAR(state.clipMarkerPool[1]->getCenter()[0], markerTwo, 1e-12);
  EXPECT_FALSE(state.clipMarkerPool[2]->getVisibility());
  EXPECT_TRUE(state.clipMarkerPool[1]->getVisibility());

  // Equally far from two markers: the later one is the nearest and highlighted.
  const double* c0 = state.clipMarkerPool[0]->getCenter();
  const double* c1 = state.clipMarkerPool[1]->getCenter();
  tipAt(1, (c0[0] + c1[0]) / 2, (c0[1] + c1[1]) / 2, (c0[2] + c1[2]) / 2);
  EXPECT_EQ(state.nearestClipMarker(1), 1);
  ASSERT_TRUE(state.handleClipTool(1, 3, settings));
  EXPECT_EQ(state.clipMarkerPool[1]->getTextureIndex(), 1);
  EXPECT_EQ(state.clipMarkerPool[0]->getTextureIndex(), 0);

  // Nothing to remove: false, nothing changes.
  state.clipPlanes.clear();
  EXPECT_EQ(state.nearestClipMarker(1), -1);
  EXPECT_FALSE(state.handleClipTool(1, 2, settings));
  // Mode 0 only sets the plane of this frame.
  EXPECT_TRUE(state.handleClipTool(1, 0, settings));
  EXPECT_TRUE(state.interactiveClipPlane);
  EXPECT_TRUE(state.clipPlanes.empty());
}

TEST_F(Tools, ASeedMarkerRemovalKeepsMarkersAndSeedsAligned) {
  ScopedBaseDir base;
  BoxScene box({0, 0, 0}, {1, 1, 1});
  kvg::ParticleAdvectionManager& particles = kvg::ParticleAdvectionManager::getSingleton(box.session());
  for (int i = 0; i < 3; ++i) {
    const double p[3] = {double(i), 0.0, 0.0}, d[3] = {1.0, 0.0, 0.0};
    particles.addSeedPosition(p);
    kvg::Ptr<SeedMarker> marker(new SeedMarker());
    marker->createActor(box.renderer(), p, d, 0.1, 30.0);
    state.seedMarkers.push_back(marker);
  }
  tipAt(1, 1.1, 0.0, 0.0);
  EXPECT_TRUE(state.handleSeedTool(1, 2, box.renderer(), box.scene()));
  ASSERT_EQ(state.seedMarkers.size(), 2u);
  EXPECT_EQ(state.seedMarkers[1]->getCenter()[0], 2.0);
  const std::vector<kvg::Point3> seeds = particles.getSeedPositions();
  ASSERT_EQ(seeds.size(), 2u);
  EXPECT_EQ(seeds[1][0], 2.0);
  // Halfway between the two left: the later goes.
  tipAt(1, 1.0, 0.0, 0.0);
  EXPECT_TRUE(state.handleSeedTool(1, 2, box.renderer(), box.scene()));
  ASSERT_EQ(state.seedMarkers.size(), 1u);
  EXPECT_EQ(state.seedMarkers[0]->getCenter()[0], 0.0);
  EXPECT_EQ(particles.getSeedPositions()[0][0], 0.0);
  state.seedMarkers.clear();
  EXPECT_FALSE(state.handleSeedTool(1, 2, box.renderer(), box.scene()));
}

// A scene change hands the tools' state to the volume renderer and keeps the state, the markers
// and the renderer in agreement: switched off, the interactive iso value and plane section are
// gone from the state too, so the next frame's hand-over does not bring them back.
TEST_F(Tools, ASceneChangeHandsTheToolStateToTheVolumeRenderer) {
  ScopedBaseDir base;
  BoxScene box({0, 0, 0}, {1, 1, 1});
  kvg::VolumeRenderingManager& volumes = kvg::VolumeRenderingManager::getSingleton(box.session());
  state.interactiveIsoField = "pressure";
  state.interactiveIsoValue = 0.25;
  state.colorBarPosition = 0.8;
  const double origin[3] = {0.1, 0.2, 0.3}, up[3] = {0, 1, 0}, right[3] = {1, 0, 0};
  state.interactivePlaneSection = kvg::SimplePlaneSection(origin, up, right);
  state.interactiveIsoMarker = IsoValueMarker::create(nullptr);
  state.isoValueMarkers.push_back(IsoValueMarker::create(nullptr));
  tipAt(0, 5.0, 5.0, 5.0);  // no volume under either tool: the tools keep the state's values
  tipAt(1, 0.4, 1.1, -0.3);

  // Iso-value mode on, plane section off (the first pass of the volume pre-render).
  state.applySceneVolumeState(5, nullptr, box.scene(), box.renderer(), false, true, false);
  EXPECT_EQ(volumes.getInteractiveIsoValue(), kvg::IsoValue("pressure", 0.25));
  EXPECT_TRUE(volumes.getInteractivePlaneSection().isNone());
  EXPECT_TRUE(state.interactivePlaneSection.isNone());
  for (IsoValueMarker* marker : {&*state.interactiveIsoMarker, &*state.isoValueMarkers[0]}) {
    EXPECT_TRUE(marker->getVisibility());
    vtkMatrix4x4* placed = marker->getActor()->GetUserMatrix();
    ASSERT_NE(placed, nullptr);
    EXPECT_NEAR(placed->GetElement(0, 3), 0.4, 1e-12);
    EXPECT_NEAR(placed->GetElement(1, 3), 1.124, 1e-12);
  }

  // Iso-value mode off: the state's value goes too, and stays gone at the next frame.
  state.applySceneVolumeState(21, nullptr, box.scene(), box.renderer(), true, false, true);
  EXPECT_TRUE(state.interactiveIsoField.empty());
  EXPECT_EQ(state.interactiveIsoValue, kvg::NoValue);
  EXPECT_FALSE(state.interactiveIsoMarker->getVisibility());
  EXPECT_FALSE(state.isoValueMarkers[0]->getVisibility());
  EXPECT_EQ(volumes.getInteractiveIsoValue().second, kvg::NoValue);
  ApplyIsoValues(state, box.scene(), settings);
  EXPECT_EQ(volumes.getInteractiveIsoValue().second, kvg::NoValue);
  EXPECT_EQ(state.colorBarPosition, 0.5);
}

// A changed "toolsAngle" (a per-controller file may bring one) reshapes the kept iso values'
// markers as well as the interactive one; they keep their colour and visibility.
TEST(IsoMarkerTilt, KeptMarkersFollowAToolsAngleChange) {
  ScopedBaseDir base;
  BoxScene box({0, 0, 0}, {1, 1, 1});
  VRInteractionState state(nullptr);
  state.interactiveIsoMarker = IsoValueMarker::create(nullptr);
  for (int i = 0; i < 2; ++i) state.isoValueMarkers.push_back(IsoValueMarker::create(nullptr));
  const double green[3] = {0.0, 1.0, 0.0};
  state.isoValueMarkers[1]->setColor(green);
  state.isoValueMarkers[1]->setVisibility(true);
  ASSERT_EQ(state.isoValueMarkers[0]->toolsAngle(), 20.0);
  ScopedBaseDir tilted("toolsAngle = 35\n");
  IdentifyControllers(state, box.scene(), nullptr, state.modelMatrix);
  EXPECT_EQ(state.interactiveIsoMarker->toolsAngle(), 35.0);
  for (const auto& marker : state.isoValueMarkers) EXPECT_EQ(marker->toolsAngle(), 35.0);
  EXPECT_FALSE(state.isoValueMarkers[0]->getVisibility());
  EXPECT_TRUE(state.isoValueMarkers[1]->getVisibility());
  EXPECT_EQ(state.isoValueMarkers[1]->getActor()->GetProperty()->GetDiffuseColor()[1], 1.0);
}

TEST(MarkerMirroring, TheTargetFollowsTheSourcesCountsAndShapes) {
  ScopedBaseDir base;
  BoxScene box({0, 0, 0}, {1, 1, 1});
  VRInteractionState source(nullptr), target(nullptr);
  const double d[3] = {0.0, 1.0, 0.0};
  for (int i = 0; i < 3; ++i) {
    const double p[3] = {double(i), 0.0, 0.0};
    kvg::Ptr<SeedMarker> marker(new SeedMarker());
    marker->createActor(nullptr, p, d, 0.1 * (i + 1), 30.0);
    source.seedMarkers.push_back(marker);
  }
  for (int i = 0; i < 5; ++i) {
    const double p[3] = {-1.0, -1.0, -1.0};
    kvg::Ptr<SeedMarker> marker(new SeedMarker());
    marker->createActor(box.renderer(), p, d, 0.5, 10.0);
    target.seedMarkers.push_back(marker);
  }
  const kvg::Ptr<SeedMarker> surplus[2] = {target.seedMarkers[3], target.seedMarkers[4]};
  CreateMarkers(target, source, box.scene());
  ASSERT_EQ(target.seedMarkers.size(), 3u);
  for (const auto& marker : surplus) EXPECT_FALSE(box.renderer()->HasViewProp(marker->getActor()));
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(target.seedMarkers[i]->getCenter()[0], double(i));
    EXPECT_NEAR(target.seedMarkers[i]->getHeight(), 0.1 * (i + 1), 1e-12);
    EXPECT_TRUE(box.renderer()->HasViewProp(target.seedMarkers[i]->getActor()));
  }

  // Plane-section markers for a scene without a model renderer: entries stay empty, and a later
  // swap with a renderer builds them instead of touching the empty ones.
  for (int i = 0; i < 2; ++i) {
    kvg::Ptr<ClipMarker> marker(new ClipMarker());
    const double c[3] = {double(i), 0, 0}, x[3] = {1, 0, 0}, z[3] = {0, 0, 1};
    marker->createTextured(nullptr, c, x, z, 0.1, nullptr, nullptr);
    source.planeSectionMarkers.push_back(marker);
  }
  BoxScene bare;
  CreateMarkers(target, source, bare.scene());
  ASSERT_EQ(target.planeSectionMarkers.size(), 2u);
  EXPECT_FALSE(target.planeSectionMarkers[0]);
  // Mirrored back while its entries are still empty, the other side skips them (no throw at the
  // swap); an empty iso-value entry gives a marker of the default shape.
  {
    VRInteractionState back(nullptr);
    back.planeSectionMarkers.resize(1);
    target.isoValueMarkers.resize(1);
    EXPECT_NO_THROW(CreateMarkers(back, target, box.scene()));
    ASSERT_EQ(back.planeSectionMarkers.size(), 2u);
    EXPECT_FALSE(back.planeSectionMarkers[0]);
    ASSERT_EQ(back.isoValueMarkers.size(), 1u);
    EXPECT_TRUE(back.isoValueMarkers[0].isValid());
    target.isoValueMarkers.clear();
  }
  CreateMarkers(target, source, box.scene());
  ASSERT_TRUE(target.planeSectionMarkers[1].isValid());
  EXPECT_EQ(target.planeSectionMarkers[1]->getCenter()[0], 1.0);
  EXPECT_TRUE(box.renderer()->HasViewProp(target.planeSectionMarkers[1]->getActor()));

  // The target's iso-value markers only grow.
  vtkNew<vtkRenderer> models;
  target.isoValueMarkers.push_back(IsoValueMarker::create(models));
  target.isoValueMarkers.push_back(IsoValueMarker::create(models));
  source.isoValueMarkers.push_back(IsoValueMarker::create(models));
  CreateMarkers(target, source, box.scene());
  EXPECT_EQ(target.isoValueMarkers.size(), 2u);
}

TEST(TriggerGesture, BothTriggersResetOnlyAfterTheDefaultDelayAndWhenPressedTogether) {
  ScopedBaseDir base;
  BoxScene box({5.0, -3.0, 2.0}, {2.0, 1.0, 1.0});
  VRInteractionState state(nullptr);
  SceneViewSettings settings;
  CollabSession collab;
  // Pressed together at frame 2; frame 6 comes 0.8 s later. Then pressed 0.1 s apart.
  ScriptedHeadset headset("frame 2\nleft press trigger\nright press trigger\n"
                          "frame 6\ntime +0.8\nframe 8\nleft release trigger\nright release trigger\n"
                          "frame 10\nleft press trigger\nframe 11\ntime +0.1\nright press trigger\n"
                          "frame 12\ntime +0.8\n");
  state.startSessionScene(nullptr, box.renderer(), box.scene(), 0, settings, collab, nullptr, "");
  auto frames = [&](int n) {
    for (int i = 0; i < n; ++i) state.update(box.scene(), false, settings, false);
  };
  frames(4);  // held, but only for a moment
  EXPECT_FALSE(state.viewResetLatch);
  frames(2);  // frame 6: held 0.8 s
  EXPECT_TRUE(state.viewResetLatch);
  frames(2);
  EXPECT_FALSE(state.viewResetLatch);
  frames(5);  // frame 13: both held long, but pressed 0.1 s apart
  EXPECT_FALSE(state.viewResetLatch);
}

TEST(TriggerGesture, TriggersWithoutASeenPressNeverReset) {
  ControllerInput a, b;
  a.triggerHeld = b.triggerHeld = true;
  a.triggerPressTime = b.triggerPressTime = 0;
  ScopedBaseDir base("bothTriggersPressedDelay = 0\n");
  EXPECT_FALSE(areBothTriggersHeld(a, b));
}

TEST(SceneAnalysis, TheIsoValueCountStartsAfreshForEachScene) {
  ScopedBaseDir base;
  BoxScene box({0, 0, 0}, {1, 1, 1});
  VRInteractionState state(nullptr);
  // Iso-surface mode, but no iso-surface node: no iso values, whatever the previous scene had.
  kvg::Ptr<kvg::VolumeRenderingAttributes> rendering(new kvg::VolumeRenderingAttributes);
  rendering->setRenderingMode(kvg::VolumeRenderingAttributes::IsoSurfaces);
  box.session()->getNodeRegistry().addNode(rendering);
  state.sceneIsoValueCount = 7;
  state.AnalyseSceneOnLoad(box.scene(), nullptr);
  EXPECT_EQ(state.sceneIsoValueCount, 0);
}

TEST(Room, ANonPositiveFloorSizeOrCeilingHeightKeepsTheDefaultRoom) {
  for (const char* config : {"floorSize = 0\nceilingHeight = 0\n", "floorSize = -5\nceilingHeight = -1\n"}) {
    ScopedBaseDir base(config);
    vtkNew<vtkRenderer> renderer;
    Environment room;
    SceneViewSettings settings;
    room.buildEnvironment(renderer, nullptr, settings);
    vtkPolyData* floor = vtkPolyData::SafeDownCast(room.floorActor()->GetMapper()->GetInputDataObject(0, 0));
    ASSERT_NE(floor, nullptr) << config;
    double bounds[6];
    floor->GetBounds(bounds);
    EXPECT_EQ(bounds[0], -100.0) << config;
    EXPECT_EQ(bounds[1], 100.0) << config;
    vtkDataArray* tcoords = floor->GetPointData()->GetTCoords();
    ASSERT_NE(tcoords, nullptr);
    for (vtkIdType i = 0; i < tcoords->GetNumberOfTuples(); ++i)
      EXPECT_TRUE(std::isfinite(tcoords->GetComponent(i, 0)) && std::isfinite(tcoords->GetComponent(i, 1))) << config;
  }
}

TEST(ControllerRenderModel, ATriangleNamingAMissingVertexIsDropped) {
  ScopedBaseDir base;
  ScriptedHeadset headset("broken-model vrsim_controller\n");
  vtkNew<vtkRenderer> renderer;
  ControllerModel model;
  model.init(false);
  for (int step = 0; step < 5 && !LoadControllerRenderModel(model, renderer, "vrsim_controller"); ++step) {
  }
  ASSERT_NE(model.polyData(), nullptr);
  vtkPolyData* mesh = model.polyData();
  ASSERT_GT(mesh->GetNumberOfPolys(), 0);
  vtkIdType count = 0;
  const vtkIdType* ids = nullptr;
  mesh->GetPolys()->InitTraversal();
  while (mesh->GetPolys()->GetNextCell(count, ids))
    for (vtkIdType k = 0; k < count; ++k) EXPECT_LT(ids[k], mesh->GetNumberOfPoints());
}
