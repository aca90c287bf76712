// The scene markers' geometry: the seed cone on its seed point, the clip marker's square, the
// iso-value marker's tilt and size, the volume box around its region; re-shaping below float
// precision costs nothing.
#include <gtest/gtest.h>

#include <array>
#include <cmath>

#include <vtkMapper.h>
#include <vtkMatrix4x4.h>
#include <vtkNew.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkRenderer.h>
#include <vtkTexture.h>
#include <vtkDataArray.h>
#include <vtkPointData.h>
#include <vtkProperty.h>
#include <vtkSphereSource.h>

#include "ClipMarker.h"
#include "DirectionMarker.h"
#include "ControllerInput.h"
#include "IsoValueMarker.h"
#include "OpenVRActor.h"
#include "SeedMarker.h"
#include "VolumeRepresentation.h"
#include "VrTestSupport.h"
#include "kvg/Ptr.h"

namespace {

vtkPolyData* drawn(vtkActor& actor) {
  return vtkPolyData::SafeDownCast(actor.GetMapper()->GetInputDataObject(0, 0));
}
vtkPolyData* drawn(MarkerProp& marker) { return drawn(*static_cast<vtkActor*>(marker.getActor())); }

}  // namespace

TEST(SeedMarkerShape, TheBaseCircleSitsOnTheSeedAndTheApexAlongTheDirection) {
  ScopedBaseDir base;
  vtkNew<vtkRenderer> renderer;
  kvg::Ptr<SeedMarker> marker(new SeedMarker());
  const double centre[3] = {1.0, 2.0, 3.0}, direction[3] = {0.0, 0.0, 1.0};
  const double height = 0.5, angle = 30.0;
  ASSERT_TRUE(marker->createActor(renderer, centre, direction, height, angle));
  EXPECT_TRUE(renderer->HasViewProp(marker->getActor()));
  EXPECT_TRUE(marker->getVisibility());
  vtkPolyData* cone = drawn(*marker);
  ASSERT_NE(cone, nullptr);
  ASSERT_GE(cone->GetNumberOfPoints(), 201);  // apex and 200 base points, no cap
  double apex[3];
  cone->GetPoint(0, apex);
  EXPECT_NEAR(apex[0], 1.0, 1e-6);
  EXPECT_NEAR(apex[1], 2.0, 1e-6);
  EXPECT_NEAR(apex[2], 3.5, 1e-6);
  // Every other point lies on the base circle about the seed point.
  for (vtkIdType i = 1; i < cone->GetNumberOfPoints(); ++i) {
    double p[3];
    cone->GetPoint(i, p);
    EXPECT_NEAR(std::hypot(p[0] - 1.0, p[1] - 2.0), height * std::tan(angle * M_PI / 180.0), 1e-6) << i;
    EXPECT_NEAR(p[2], 3.0, 1e-6) << i;
  }

  // Scaling leaves the seed point where it is.
  marker->scaleAboutCenter(2.0);
  double seed[4] = {1.0, 2.0, 3.0, 1.0}, moved[4];
  marker->getActor()->GetUserMatrix()->MultiplyPoint(seed, moved);
  for (int k = 0; k < 3; ++k) EXPECT_NEAR(moved[k], seed[k], 1e-12);
  EXPECT_EQ(marker->getCenter()[0], 1.0);
}

TEST(SeedMarkerShape, ReshapingBelowFloatPrecisionChangesNothing) {
  ScopedBaseDir base;
  vtkNew<vtkRenderer> renderer;
  kvg::Ptr<SeedMarker> marker(new SeedMarker());
  const double centre[3] = {1.0, 2.0, 3.0}, direction[3] = {1.0, 0.0, 0.0};
  marker->createActor(renderer, centre, direction, 0.2, 40.0);
  const vtkMTimeType before = drawn(*marker)->GetMTime();
  const double nearly[3] = {1.0 + 1e-12, 2.0, 3.0 - 1e-12};
  marker->setShape(nearly, direction, 0.2 + 1e-13, 40.0);
  EXPECT_EQ(drawn(*marker)->GetMTime(), before);
  EXPECT_EQ(marker->getCenter()[0], 1.0);
  // A real change re-shapes it; a copy takes the other's shape.
  const double elsewhere[3] = {0.0, 0.0, 0.0};
  marker->setShape(elsewhere, direction, 0.2, 40.0);
  EXPECT_GT(drawn(*marker)->GetMTime(), before);
  kvg::Ptr<SeedMarker> copy(new SeedMarker());
  copy->createFrom(renderer, *marker);
  EXPECT_EQ(copy->getCenter()[0], 0.0);
  EXPECT_DOUBLE_EQ(copy->getHeight(), 0.2);
  EXPECT_DOUBLE_EQ(copy->getAngle(), 40.0);
}

TEST(ClipMarkerShape, TheSquareSpansItsEdgesAboutTheCentreAndKeepsItsTimeBelowFloatPrecision) {
  ScopedBaseDir base;
  vtkNew<vtkRenderer> renderer;
  vtkNew<vtkTexture> normal, highlighted;
  kvg::Ptr<ClipMarker> marker(new ClipMarker());
  const double origin[3] = {0.0, 0.0, 0.0}, x[3] = {1.0, 0.0, 0.0}, z[3] = {0.0, 0.0, 1.0};
  marker->createTextured(renderer, origin, x, z, 1.0, normal, highlighted);
  const double centre[3] = {1.0, 2.0, 3.0}, up[3] = {1.0, 0.0, 0.0}, right[3] = {0.0, 1.0, 0.0};
  marker->setGeometry(centre, up, right, 0.5);
  vtkPolyData* square = drawn(*marker);
  double bounds[6];
  square->GetBounds(bounds);
  EXPECT_NEAR(bounds[0], 0.75, 1e-9);
  EXPECT_NEAR(bounds[1], 1.25, 1e-9);
  EXPECT_NEAR(bounds[2], 1.75, 1e-9);
  EXPECT_NEAR(bounds[3], 2.25, 1e-9);
  EXPECT_NEAR(bounds[4], 3.0, 1e-9);
  EXPECT_NEAR(bounds[5], 3.0, 1e-9);
  const vtkMTimeType before = square->GetMTime();
  const double nearly[3] = {1.0 + 1e-12, 2.0, 3.0};
  marker->setGeometry(nearly, up, right, 0.5 + 1e-14);
  EXPECT_EQ(drawn(*marker)->GetMTime(), before);

  // A texture index beyond the two is only stored.
  marker->selectTexture(1);
  EXPECT_EQ(marker->getActor()->GetTexture(), highlighted.GetPointer());
  marker->selectTexture(2);
  EXPECT_EQ(marker->getTextureIndex(), 2);
  EXPECT_EQ(marker->getActor()->GetTexture(), highlighted.GetPointer());

  // A copy draws the same square with the textures it is given, not the other's.
  vtkNew<vtkTexture> ownNormal, ownHighlighted;
  kvg::Ptr<ClipMarker> copy(new ClipMarker());
  copy->createFrom(renderer, *marker, ownNormal, ownHighlighted);
  drawn(*copy)->GetBounds(bounds);
  EXPECT_NEAR(bounds[0], 0.75, 1e-9);
  EXPECT_EQ(copy->getActor()->GetTexture(), ownNormal.GetPointer());

  // Both show their texture unlit at 0.8 of its brightness.
  for (ClipMarker* m : {&*marker, &*copy}) {
    vtkProperty* look = m->getActor()->GetProperty();
    EXPECT_EQ(look->GetLighting(), false);
    EXPECT_EQ(look->GetAmbient(), 1.0);
    EXPECT_EQ(look->GetDiffuse(), 0.0);
    for (int i = 0; i < 3; ++i) EXPECT_DOUBLE_EQ(look->GetAmbientColor()[i], 0.8) << i;
  }
}

TEST(IsoValueMarkerShape, TiltedLikeTheToolAndSizedByTheColourBar) {
  struct Case {
    const char* config;
    double axis[3];
  };
  const double a = 20.0 * M_PI / 180.0;
  const Case cases[] = {{"toolsAngle = 0\n", {0.0, 1.0, 0.0}},
                        {"toolsAngle = 20\n", {0.0, std::cos(a), -std::sin(a)}},
                        {"", {0.0, std::cos(a), -std::sin(a)}}};
  vtkNew<vtkRenderer> renderer;
  for (const Case& c : cases) {
    ScopedBaseDir base(c.config);
    kvg::Ptr<IsoValueMarker> marker = IsoValueMarker::create(renderer);
    SCOPED_TRACE(c.config);
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(marker->axis()[k], c.axis[k], 1e-12);
    EXPECT_FALSE(marker->getVisibility());
    EXPECT_NEAR(marker->stemLength(), 0.015, 1e-12);
    EXPECT_NEAR(marker->stemRadius(), 0.0015, 1e-12);
    // The farthest point along the axis is the ball's top: 1.63 L + R.
    vtkPoints* points = drawn(*marker)->GetPoints();
    double far = 0.0;
    for (vtkIdType i = 0; i < points->GetNumberOfPoints(); ++i) {
      double p[3];
      points->GetPoint(i, p);
      far = std::max(far, p[0] * c.axis[0] + p[1] * c.axis[1] + p[2] * c.axis[2]);
    }
    EXPECT_NEAR(far, 1.63 * 0.015 + 0.0015, 1e-4);
  }
  // Built like another, it keeps the other's size and tells the angle it was built with.
  ScopedBaseDir first("colorBarHeight = 0.03\ntoolsAngle = 10\n");
  kvg::Ptr<IsoValueMarker> original = IsoValueMarker::create(renderer);
  ScopedBaseDir second("colorBarHeight = 0.1\ntoolsAngle = 30\n");
  kvg::Ptr<IsoValueMarker> like(new IsoValueMarker());
  like->buildLike(renderer, *original);
  EXPECT_NEAR(like->stemLength(), 0.015, 1e-12);
  EXPECT_EQ(original->toolsAngle(), 10.0);
}

TEST(IsoValueMarkerShape, TheToolOffsetSitsAboveTheTipAndFollowsTheController) {
  ScopedBaseDir base("toolsAngle = 20\ncolorBarHeight = 0.03\ntoolsOffset = [0.01, 0.1, -0.024]\n");
  vtkNew<vtkRenderer> renderer;
  kvg::Ptr<IsoValueMarker> marker = IsoValueMarker::create(renderer);
  ControllerInput input;
  const double a = -20.0 * M_PI / 180.0, h = 0.03 * 0.4;
  marker->computeToolOffset(0.0, input, 1);
  EXPECT_NEAR(marker->offset()[0], 0.01, 1e-12);
  EXPECT_NEAR(marker->offset()[1], -0.024 + h * std::cos(a), 1e-12);
  EXPECT_NEAR(marker->offset()[2], h * std::sin(a) - 0.1, 1e-12);
  marker->computeToolOffset(0.0, input, 0);
  EXPECT_NEAR(marker->offset()[0], -0.01, 1e-12);
  // Turned half round about y, the offset turns with the controller.
  input.pose[0] = -1.0;
  input.pose[10] = -1.0;
  marker->computeToolOffset(0.0, input, 1);
  EXPECT_NEAR(marker->offset()[0], -0.01, 1e-12);
  EXPECT_NEAR(marker->offset()[2], -(h * std::sin(a) - 0.1), 1e-12);
  // Placed: model matrix x the pose moved to position + offset.
  double model[16] = {1, 0, 0, 5, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  const double position[3] = {1.0, 2.0, 3.0};
  marker->updateTransform(model, input.pose, position);
  vtkMatrix4x4* placed = marker->getActor()->GetUserMatrix();
  EXPECT_NEAR(placed->GetElement(0, 3), 5.0 + 1.0 - 0.01, 1e-12);
  EXPECT_NEAR(placed->GetElement(0, 0), -1.0, 1e-12);
}

TEST(VolumeBox, FramesLieJustOutsideTheRegion) {
  ScopedBaseDir base;
  vtkNew<vtkRenderer> renderer;
  kvg::Ptr<VolumeRepresentation> box(new VolumeRepresentation());
  const double region[6] = {-1.0, 1.0, 0.0, 4.0, 2.0, 3.0};
  ASSERT_TRUE(box->build(renderer, region, 0.005, false));
  EXPECT_TRUE(renderer->HasViewProp(box->getActor()));
  for (int i = 0; i < 6; ++i) EXPECT_EQ(box->getBounds()[i], region[i]);
  vtkPolyData* frames = drawn(*box);
  EXPECT_EQ(frames->GetNumberOfPolys(), 24);
  double bounds[6];
  frames->GetBounds(bounds);
  const double t = 0.005 * 4.0;  // of the largest (y) extent, for every face
  for (int i = 0; i < 6; ++i) EXPECT_NEAR(bounds[i], region[i] + (i % 2 ? t : -t), 1e-6) << i;
}

namespace {

// Where the marker's user matrix takes the point r (0, 0, 1), the image's place straight ahead.
std::array<double, 3> imagePlace(DirectionMarker& marker) {
  double ahead[4] = {0.0, 0.0, 1.0, 1.0}, out[4];
  marker.actor()->GetUserMatrix()->MultiplyPoint(ahead, out);
  return {out[0], out[1], out[2]};
}

}  // namespace

TEST(DirectionMarkerTurn, TheImageLeansTowardsTheTargetAndShowsTheBackImageBehind) {
  ScopedBaseDir base("directionMarkerMaxAngle = 25\ndirectionMarkerMinAngle = 1\n");
  vtkNew<vtkRenderer> renderer;
  vtkNew<vtkTexture> pointer, behind;
  DirectionMarker marker;
  ASSERT_TRUE(marker.setup(renderer, pointer, behind, 0.5));
  EXPECT_TRUE(renderer->HasViewProp(marker.actor()));
  EXPECT_EQ(marker.sphere()->GetRadius(), 0.5);
  double identity[16];
  vtkMatrix4x4::Identity(identity);
  const double tilt = 25.0 * M_PI / 180.0;

  struct Case {
    double d[3];
    int texture;
    std::array<double, 3> place;  // of the straight-ahead point after the turn
  };
  const double s = std::sqrt(0.5);
  const Case cases[] = {
      // To the right: leaning 25 degrees towards +x.
      {{1.0, 0.0, 0.0}, 0, {std::sin(tilt), 0.0, std::cos(tilt)}},
      // Up: towards +y.
      {{0.0, 1.0, 0.0}, 0, {0.0, std::sin(tilt), std::cos(tilt)}},
      // Straight ahead: the fixed side (about -x), never NaN.
      {{0.0, 0.0, 1.0}, 0, {0.0, std::sin(tilt), std::cos(tilt)}},
      // Straight behind: the back image, untilted.
      {{0.0, 0.0, -1.0}, 1, {0.0, 0.0, 1.0}},
      // Behind but far to the side: the pointer, at the full tilt.
      {{s, 0.0, -s}, 0, {std::sin(tilt), 0.0, std::cos(tilt)}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.d[0]) + " " + std::to_string(c.d[1]) + " " + std::to_string(c.d[2]));
    marker.update(identity, c.d);
    EXPECT_EQ(marker.textureIndex(), c.texture);
    EXPECT_EQ(marker.actor()->GetTexture(), c.texture ? behind.GetPointer() : pointer.GetPointer());
    const std::array<double, 3> p = imagePlace(marker);
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(std::abs(p[k]), std::abs(c.place[k]), 1e-9) << k;
    EXPECT_NEAR(p[2], c.place[2], 1e-9);
  }
  // A direction a rounding step too long still gives a finite matrix.
  const double tooLong[3] = {0.0, 0.0, 1.0000000000000004};
  marker.update(identity, tooLong);
  for (int i = 0; i < 16; ++i) EXPECT_TRUE(std::isfinite(marker.actor()->GetUserMatrix()->GetData()[i]));
  // The placement matrix comes first.
  double moved[16];
  vtkMatrix4x4::Identity(moved);
  moved[3] = 2.0;
  const double behindDirection[3] = {0.0, 0.0, -1.0};
  marker.update(moved, behindDirection);
  EXPECT_NEAR(imagePlace(marker)[0], 2.0, 1e-12);

  const double red[3] = {1.0, 0.0, 0.0};
  marker.setColor(red);
  EXPECT_EQ(marker.actor()->GetProperty()->GetDiffuseColor()[1], 0.0);
}

TEST(DirectionMarkerTurn, SizeAndDepthTestFromTheConfiguration) {
  vtkNew<vtkRenderer> renderer;
  for (const char* config : {"directionMarkerSize = 0\n", "directionMarkerSize = -2\n", "directionMarkerSize = 1\n"}) {
    ScopedBaseDir base(std::string(config) + "directionMarkerAlwaysOnTop = true\n");
    DirectionMarker marker;
    marker.setup(renderer, nullptr, nullptr, 0.5);
    EXPECT_EQ(marker.actor()->GetDepthTestDisabled(), 1) << config;
    // The image's texture coordinates span 75 repeats around the sphere for a size of 1 or less.
    vtkDataArray* tcoords = drawn(*marker.actor())->GetPointData()->GetTCoords();
    ASSERT_NE(tcoords, nullptr);
    double range[2];
    tcoords->GetRange(range, 0);
    EXPECT_NEAR(range[1] - range[0], 75.0, 1.0) << config;
  }
}
