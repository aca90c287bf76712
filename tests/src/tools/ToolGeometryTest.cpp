// Where the drawn tools sit and how they turn, without drawing: the default right-hand
// layout, a palette-only re-layout, the box frame's 96 points, panels and beams turned onto
// directions (opposite and invalid ones included), the copy between buffers and a second
// set-up of a tool set.
#include <gtest/gtest.h>

#include <cmath>

#include <vtkActorCollection.h>
#include <vtkLookupTable.h>
#include <vtkMapper.h>
#include <vtkMatrix4x4.h>
#include <vtkNew.h>
#include <vtkPointData.h>
#include <vtkPolyData.h>
#include <vtkRenderer.h>

#include "ControllerInput.h"
#include "Cylinder.h"
#include "OpenVRActor.h"
#include "ToolSet.h"
#include "VirtualPostIt.h"
#include "VolumeRepresentation.h"
#include "VrTestSupport.h"

namespace {

void expectPoint(const double* actual, double x, double y, double z) {
  EXPECT_NEAR(actual[0], x, 1e-6);
  EXPECT_NEAR(actual[1], y, 1e-6);
  EXPECT_NEAR(actual[2], z, 1e-6);
}

}  // namespace

TEST(ToolLayout, DefaultRightHandPaletteAndColourBar) {
  ScopedBaseDir base;
  ToolSet tools;
  tools.init(nullptr, 1, nullptr);
  ASSERT_TRUE(tools.layoutTools(1, ToolLayoutSettings()));
  double point1[3], point2[3], origin[3];
  tools.palettePanel()->getCorners(point1, point2, origin);
  expectPoint(origin, -0.1, 0.0, -0.01);
  expectPoint(point1, 0.1, 0.0, -0.01);
  expectPoint(point2, -0.1, 0.0, -0.298);
  // The palette turns 40 degrees about x: its far edge rises.
  const double* o = tools.palettePanel()->orientation();
  EXPECT_NEAR(o[5], std::cos(40 * M_PI / 180), 1e-12);
  EXPECT_NEAR(o[9], std::sin(40 * M_PI / 180), 1e-12);

  vtkPolyData* bar = tools.colorBar().rampGeometry();
  ASSERT_EQ(bar->GetNumberOfPoints(), 514);
  expectPoint(bar->GetPoint(256), 0.1, 0.1, 0.039);   // first corner
  expectPoint(bar->GetPoint(257), -0.1, 0.1, 0.009);  // second corner
  expectPoint(bar->GetPoint(0), -0.1, 0.1, 0.039);    // origin
}

TEST(ToolLayout, APaletteAngleChangeReLaysOnlyThePalette) {
  ScopedBaseDir base;
  ToolSet tools;
  tools.init(nullptr, 0, nullptr);
  ToolLayoutSettings layout;
  tools.layoutTools(0, layout);
  // Marks on the icon and the bar that a re-layout would overwrite.
  tools.toolIcon(0).setOrientation(0, 0, 0);
  const double corner1[3] = {1, 0, 0}, corner2[3] = {0, 1, 0}, origin[3] = {0, 0, 0};
  tools.colorBar().buildGeometry(corner1, corner2, origin, 0.0);
  layout.paletteAngle = 30.0;
  EXPECT_TRUE(tools.layoutTools(0, layout));
  EXPECT_EQ(tools.toolIcon(0).orientation()[5], 1.0);
  expectPoint(tools.colorBar().rampGeometry()->GetPoint(256), 1, 0, 0);
  EXPECT_NEAR(tools.palettePanel()->orientation()[9], 0.5, 1e-12);
  EXPECT_FALSE(tools.layoutTools(0, layout));
  // The icons of the left hand mirror the offset: centred on (-0.05, 0.1, 0.024).
  layout.toolsOffset[0] = 0.05;
  EXPECT_TRUE(tools.layoutTools(0, layout));
  double p1[3], p2[3], o[3];
  tools.toolIcon(0).getCorners(p1, p2, o);
  EXPECT_NEAR((p1[0] + p2[0]) / 2, -0.05, 1e-12);
  EXPECT_NEAR((p1[2] + p2[2]) / 2, 0.024, 1e-12);
}

TEST(BoxFrame, NinetySixPointsInOutwardRings) {
  const double box[6] = {0, 1, 0, 2, 0, 3};
  for (bool inside : {false, true}) {
    SCOPED_TRACE(inside);
    VolumeRepresentation frame;
    frame.build(nullptr, box, 0.1, inside);
    vtkPolyData* data = vtkPolyData::SafeDownCast(frame.getActor()->GetMapper()->GetInput());
    ASSERT_NE(data, nullptr);
    ASSERT_EQ(data->GetNumberOfPoints(), VolumeRepresentation::PointCount);
    ASSERT_EQ(data->GetNumberOfCells(), VolumeRepresentation::QuadCount);
    // The largest extent (3, along z) sets the frame width for every face: 0.3.
    if (!inside) {
      expectPoint(data->GetPoint(0), -0.3, -0.3, -0.3);
      expectPoint(data->GetPoint(2), 1.0, 0.0, -0.3);
      expectPoint(data->GetPoint(16), -0.3, -0.3, 3.3);
    } else {
      expectPoint(data->GetPoint(0), 0, 0, 0);
      expectPoint(data->GetPoint(2), 0.7, 0.3, 0);
    }
    vtkDataArray* normals = data->GetPointData()->GetNormals();
    ASSERT_NE(normals, nullptr);
    for (vtkIdType k = 0; k < VolumeRepresentation::QuadCount; ++k) {
      SCOPED_TRACE(k);
      double a[3], b[3], c[3], n[3];
      data->GetPoint(4 * k, a);
      data->GetPoint(4 * k + 1, b);
      data->GetPoint(4 * k + 2, c);
      normals->GetTuple(4 * k, n);
      // Every quad is wound counter-clockwise seen from outside: its winding normal is the
      // face's outward normal.
      const double u[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]}, v[3] = {c[0] - a[0], c[1] - a[1], c[2] - a[2]};
      const double w[3] = {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
      EXPECT_GT(w[0] * n[0] + w[1] * n[1] + w[2] * n[2], 0.0);
    }
    EXPECT_EQ(frame.getBounds()[3], 2.0);
  }
}

// A volume flat in x (one slice) still gets visible frames: their width comes from its largest
// extent, not from its zero x extent.
TEST(BoxFrame, AFlatBoxKeepsVisibleFrames) {
  const double flat[6] = {0, 0, 0, 2, 0, 1};
  VolumeRepresentation frame;
  frame.build(nullptr, flat, 0.1, false);
  vtkPolyData* data = vtkPolyData::SafeDownCast(frame.getActor()->GetMapper()->GetInput());
  ASSERT_NE(data, nullptr);
  expectPoint(data->GetPoint(0), -0.2, -0.2, -0.2);
  expectPoint(data->GetPoint(2), 0.0, 0.0, -0.2);
  double bounds[6];
  data->GetBounds(bounds);
  EXPECT_NEAR(bounds[1] - bounds[0], 0.4, 1e-6);
}

TEST(PanelAndBeam, DirectionsOppositeOrInvalid) {
  VirtualPostIt panel;
  panel.build(nullptr, {});
  expectPoint(panel.normal(), -1, 0, 0);
  const double opposite[3] = {1, 0, 0};
  panel.alignTo(opposite);
  expectPoint(panel.normal(), 1, 0, 0);  // turned half round
  const double longer[3] = {0, 0, 5};
  panel.alignTo(longer);
  expectPoint(panel.normal(), 0, 0, 1);
  const double invalid[2][3] = {{0, 0, 0}, {std::nan(""), 1, 0}};
  for (const auto& d : invalid) {
    panel.alignTo(d);
    expectPoint(panel.normal(), 0, 0, 1);
    for (int i = 0; i < 16; ++i) EXPECT_TRUE(std::isfinite(panel.orientation()[i]));
  }

  ScopedBaseDir base("laserAngle = 0\n");
  Cylinder beam;
  beam.setup(nullptr, 1.0, 0.001);
  expectPoint(beam.direction(), 0, 0, -1);
  const double backwards[3] = {0, 0, 2};
  beam.setDirection(backwards);
  expectPoint(beam.direction(), 0, 0, 1);
  beam.setDirection(invalid[1]);
  expectPoint(beam.direction(), 0, 0, 1);
  const double identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}, zero[3] = {0, 0, 0};
  beam.update(identity, identity, zero);
  // The beam now runs from the controller origin 1 m backwards (+z).
  double bounds[6];
  beam.getActor()->GetBounds(bounds);
  EXPECT_NEAR(bounds[4], 0.0, 1e-6);
  EXPECT_NEAR(bounds[5], 1.0, 1e-6);
}

TEST(PanelAndBeam, ACopyReportsTheNormalItDraws) {
  VirtualPostIt source, copy;
  source.build(nullptr, {});
  copy.build(nullptr, {});
  const double up[3] = {0, 1, 0};
  source.alignTo(up);
  copy.copyFrom(source);
  expectPoint(copy.normal(), 0, 1, 0);
  for (int i = 0; i < 16; ++i) EXPECT_DOUBLE_EQ(copy.orientation()[i], source.orientation()[i]);
}

TEST(ToolSetDrawing, ASecondInitTakesTheFirstPiecesAway) {
  ScopedBaseDir base;
  vtkNew<vtkRenderer> renderer;
  ToolSet tools;
  tools.init(renderer, 1, nullptr);
  const int once = renderer->GetActors()->GetNumberOfItems();
  // Palette, quick start, two lasers, laser spot, three icons, four labels, colour bar.
  EXPECT_EQ(once, 13);
  tools.init(renderer, 1, nullptr);
  EXPECT_EQ(renderer->GetActors()->GetNumberOfItems(), once);
  tools.removeFromRenderer(renderer);
  EXPECT_EQ(renderer->GetActors()->GetNumberOfItems(), 0);
}

TEST(ToolSetDrawing, ANullColourSourceClearsTheBarAndTheSameTableColoursItAgain) {
  ScopedBaseDir base;
  ToolSet tools;
  tools.init(nullptr, 1, nullptr);
  vtkMapper* mapper = tools.colorBar().getActor()->GetMapper();
  vtkNew<vtkLookupTable> table;
  tools.setColorBarSource(table);
  EXPECT_TRUE(mapper->GetScalarVisibility());
  tools.setColorBarSource(nullptr);
  EXPECT_FALSE(mapper->GetScalarVisibility());
  tools.setColorBarSource(table);
  EXPECT_TRUE(mapper->GetScalarVisibility());
}

TEST(ToolSetDrawing, PlacementFollowsTheController) {
  ScopedBaseDir base;
  ToolSet tools;
  tools.init(nullptr, 1, nullptr);
  tools.setPalettePage(0);
  tools.setPalettePanelVisible(true);
  tools.setLaserVisible(true);
  ControllerInput input;
  input.position[0] = 0.5;
  input.position[1] = 1.0;
  input.position[2] = -0.25;
  const double identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  tools.update(identity, identity, input, 1, AnnotationLayoutSettings(), ToolLayoutSettings());
  double bounds[6];
  tools.palettePanel()->getActor()->GetBounds(bounds);
  // 0.2 wide round the controller's x, from 0.01 m ahead, rising forward at 40 degrees.
  EXPECT_NEAR(bounds[0], 0.4, 1e-6);
  EXPECT_NEAR(bounds[1], 0.6, 1e-6);
  EXPECT_NEAR(bounds[5], -0.25 - 0.01 * std::cos(40 * M_PI / 180), 1e-6);
  EXPECT_NEAR(bounds[3], 1.0 + 0.298 * std::sin(40 * M_PI / 180), 1e-6);
  // The hidden colour bar was not placed.
  EXPECT_EQ(tools.colorBar().getActor()->GetUserMatrix()->GetElement(0, 3), 0.0);
}
