// The drawn tools in a real GL window: the unlit laser in its configured colour, a textured
// panel showing its texel unchanged, the colour bar's ends in the table's end colours, and the
// palette painter's hover overlay, participant colours and laser circle.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <sstream>

#include <vtkCamera.h>
#include <vtkColorTransferFunction.h>
#include <vtkImageData.h>
#include <vtkLookupTable.h>
#include <vtkMapper.h>
#include <vtkNew.h>
#include <vtkPolyData.h>
#include <vtkRenderWindow.h>
#include <vtkRenderer.h>

#include "Cylinder.h"
#include "OpenVRActor.h"
#include "OpenVRTexture.h"
#include "PaletteImages.h"
#include "PalettePainter.h"
#include "VirtualColorBar.h"
#include "VirtualPostIt.h"
#include "VrTestSupport.h"

namespace {

const double kIdentity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
const double kZero[3] = {0.0, 0.0, 0.0};

// Looks down -z at the xy plane; the window spans halfHeight above and below the centre.
void lookAtPlane(GlWindow& gl, double halfHeight) {
  vtkCamera* camera = gl.renderer()->GetActiveCamera();
  camera->SetPosition(0, 0, 1);
  camera->SetFocalPoint(0, 0, 0);
  camera->SetViewUp(0, 1, 0);
  camera->SetParallelProjection(1);
  camera->SetParallelScale(halfHeight);
  camera->SetClippingRange(0.01, 10);
  gl.renderer()->SetBackground(0, 0, 0);
}

vtkSmartPointer<OpenVRTexture> textureOf(vtkImageData* image) {
  auto texture = vtkSmartPointer<OpenVRTexture>::New();
  texture->SetInputData(image);
  return texture;
}

// An RGBA image of w x h, transparent except the rectangle (fractions, y up) in the colour.
vtkSmartPointer<vtkImageData> rectImage(int w, int h, const PaletteRect& rect, std::array<int, 4> rgba) {
  vtkSmartPointer<vtkImageData> image = SolidImage(w, h, {0, 0, 0, 0});
  auto* p = static_cast<unsigned char*>(image->GetScalarPointer());
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const double u = (x + 0.5) / w, v = (y + 0.5) / h;
      if (u < rect[0] || u > rect[1] || v < rect[2] || v > rect[3]) continue;
      for (int c = 0; c < 4; ++c) p[(y * w + x) * 4 + c] = static_cast<unsigned char>(rgba[c]);
    }
  return image;
}

bool near(const std::array<int, 4>& pixel, std::array<int, 3> rgb, int tolerance) {
  for (int c = 0; c < 3; ++c)
    if (std::abs(pixel[c] - rgb[c]) > tolerance) return false;
  return true;
}

std::string show(const std::array<int, 4>& p) {
  std::ostringstream out;
  out << "(" << p[0] << ", " << p[1] << ", " << p[2] << ")";
  return out.str();
}

}  // namespace

TEST(ToolProps, TheLaserIsUnlitInItsConfiguredColour) {
  ScopedBaseDir base;
  GlWindow gl(64, 64);
  lookAtPlane(gl, 0.5);
  Cylinder laser;
  laser.setup(gl.renderer(), 1.0, 0.3);
  const double forward[3] = {0.0, 0.0, -1.0};
  laser.setDirection(forward);
  laser.setVisibility(true);
  laser.update(kIdentity, kIdentity, kZero);
  const std::array<int, 4> centre = gl.renderAndRead(32, 32);
  EXPECT_TRUE(near(centre, {0, 95, 255}, 2)) << show(centre);
}

TEST(ToolProps, AWhitePanelShowsItsTexelUnchanged) {
  ScopedBaseDir base;
  GlWindow gl(64, 64);
  lookAtPlane(gl, 0.5);
  VirtualPostIt panel;
  const double origin[3] = {-0.5, -0.5, 0}, point1[3] = {0.5, -0.5, 0}, point2[3] = {-0.5, 0.5, 0};
  panel.build(gl.renderer(), {textureOf(SolidImage(4, 4, {100, 150, 200, 255}))}, point1, point2, origin, kZero);
  panel.setTranslucencyMode(0);
  panel.updatePose(kIdentity, kIdentity, kZero);
  const std::array<int, 4> centre = gl.renderAndRead(32, 32);
  EXPECT_TRUE(near(centre, {100, 150, 200}, 2)) << show(centre);
}

TEST(ToolProps, TheColourBarEndsShowTheTablesEndColours) {
  ScopedBaseDir base;
  GlWindow gl(128, 32);
  lookAtPlane(gl, 0.125);
  VirtualColorBar bar;
  bar.create(gl.renderer());
  // 1.0 long along x, 0.25 high, filling the window.
  const double origin[3] = {-0.5, -0.125, 0}, point1[3] = {0.5, -0.125, 0}, point2[3] = {-0.5, 0.125, 0};
  bar.buildGeometry(point1, point2, origin, 0.0);
  bar.setVisibility(true);
  bar.updateTransform(kIdentity, kIdentity, kZero);

  // A translucent table with its own range: the whole table along the bar, drawn opaque.
  vtkNew<vtkLookupTable> table;
  table->SetNumberOfTableValues(2);
  table->SetTableValue(0, 1.0, 0.0, 0.0, 0.5);
  table->SetTableValue(1, 0.0, 0.0, 1.0, 0.5);
  table->SetRange(10.0, 20.0);
  bar.setLookupTable(table);
  std::array<int, 4> left = gl.renderAndRead(1, 16), right = gl.read(126, 16);
  EXPECT_TRUE(near(left, {255, 0, 0}, 2)) << show(left);
  EXPECT_TRUE(near(right, {0, 0, 255}, 2)) << show(right);
  EXPECT_NEAR(table->GetTableValue(0)[3], 0.5, 0.01);  // the source keeps its alpha

  // A colour transfer function is sampled over its range rather than refused.
  vtkNew<vtkColorTransferFunction> transfer;
  transfer->AddRGBPoint(-5.0, 0.0, 1.0, 0.0);
  transfer->AddRGBPoint(5.0, 1.0, 1.0, 0.0);
  bar.setLookupTable(transfer);
  left = gl.renderAndRead(1, 16);
  right = gl.read(126, 16);
  EXPECT_TRUE(near(left, {0, 255, 0}, 3)) << show(left);
  EXPECT_TRUE(near(right, {255, 255, 0}, 3)) << show(right);

  // No source: the plain white bar.
  bar.setLookupTable(nullptr);
  left = gl.renderAndRead(1, 16);
  EXPECT_TRUE(near(left, {255, 255, 255}, 2)) << show(left);
}

TEST(ToolProps, DegenerateColourBarCornersKeepTheGeometry) {
  VirtualColorBar bar;
  bar.create(nullptr);
  const double origin[3] = {0, 0, 0}, point1[3] = {0.2, 0, 0}, point2[3] = {0, 0, -0.03};
  bar.buildGeometry(point1, point2, origin, 0.0);
  ASSERT_EQ(bar.rampGeometry()->GetNumberOfPoints(), 514);
  const double nan = std::nan("");
  const double bad[3] = {nan, 0, 0};
  testing::internal::CaptureStderr();
  bar.buildGeometry(origin, origin, origin, 0.0);
  bar.buildGeometry(bad, point2, origin, 0.0);
  const std::string errors = testing::internal::GetCapturedStderr();
  EXPECT_EQ(errors, "Initializing color bar failed\nInitializing color bar failed\n");
  EXPECT_EQ(bar.rampGeometry()->GetNumberOfPoints(), 514);
  double p[3];
  bar.rampGeometry()->GetPoint(256, p);
  EXPECT_NEAR(p[0], 0.2, 1e-6);
  EXPECT_DOUBLE_EQ(bar.horizontalAxis()[0], 1.0);
}

// The palette quad 0.2 x 0.288 m facing the camera, one pixel per millimetre: pixel (x, y)
// from the lower left is palette point (x / 200, y / 288).
class PalettePainterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    lookAtPlane(gl, 0.144);
    const double origin[3] = {-0.1, -0.144, 0}, point1[3] = {0.1, -0.144, 0}, point2[3] = {-0.1, 0.144, 0};
    panel.build(gl.renderer(), {textureOf(SolidImage(8, 8, {255, 255, 255, 255}))}, point1, point2, origin, kZero,
                painter);
    panel.setTranslucencyMode(1);
    panel.updatePose(kIdentity, kIdentity, kZero);
    // Overlay k: yellow over button k's rectangle, entry 0 transparent.
    PalettePainter::TextureList overlays;
    overlays.push_back(textureOf(SolidImage(8, 8, {0, 0, 0, 0})));
    for (int k = 1; k <= 24; ++k)
      overlays.push_back(textureOf(rectImage(100, 144, GetPaletteButtonRect((k - 1) % 12), {255, 255, 0, 255})));
    painter->SetOverlayTextures(overlays);
  }

  std::array<int, 4> at(double u, double v) { return gl.read(int(u * 200), int(v * 288)); }
  void render() { gl.window()->Render(); }

  using PalettePainter = kvg::PalettePainter;
  ScopedBaseDir base;
  GlWindow gl{200, 288};
  VirtualPostIt panel;
  vtkNew<kvg::PalettePainter> painter;
};

TEST_F(PalettePainterTest, HoverTintsOnlyThatButton) {
  const std::array<int, 3> white = {255, 255, 255}, yellow = {255, 255, 0};
  render();
  EXPECT_TRUE(near(at(0.25, 0.5), white, 2)) << show(at(0.25, 0.5));
  painter->SetOverlayIndex(kToggleHUD + 1);
  render();
  EXPECT_TRUE(near(at(0.25, 0.5), yellow, 2)) << show(at(0.25, 0.5));  // the HUD button
  EXPECT_TRUE(near(at(0.25, 0.3), white, 2)) << show(at(0.25, 0.3));   // floor
  EXPECT_TRUE(near(at(0.75, 0.5), white, 2)) << show(at(0.75, 0.5));   // fly mode
  painter->SetOverlayIndex(kToggleFloor + 13);
  render();
  EXPECT_TRUE(near(at(0.25, 0.3), yellow, 2)) << show(at(0.25, 0.3));
  EXPECT_TRUE(near(at(0.25, 0.5), white, 2)) << show(at(0.25, 0.5));

  // An index without an entry, or no list at all, draws the page alone: nothing stale.
  painter->SetOverlayIndex(25);
  render();
  EXPECT_TRUE(near(at(0.25, 0.3), white, 2)) << show(at(0.25, 0.3));
  painter->SetOverlayIndex(5);
  painter->SetOverlayTextures({});
  render();
  EXPECT_TRUE(near(at(0.25, 0.5), white, 2)) << show(at(0.25, 0.5));
}

TEST_F(PalettePainterTest, ParticipantColoursSplitAtTheTeleportButtonsEdges) {
  // The marked area spans the three avatar buttons (u 0.5 .. 1, v 0 .. 0.2).
  painter->SetTeleportOverlayTexture(textureOf(rectImage(200, 288, {0.5, 1.0, 0.0, 0.2}, {255, 255, 255, 255})));
  const double red[3] = {1, 0, 0}, green[3] = {0, 1, 0}, blue[3] = {0, 0, 1};
  painter->SetPrevColor(red);
  painter->SetCenterColor(green);
  painter->SetNextColor(blue);
  render();
  EXPECT_TRUE(near(at(0.55, 0.1), {255, 255, 255}, 2));  // hidden overlay: the page
  painter->SetTeleportOverlayVisible(true);
  render();
  EXPECT_TRUE(near(at(0.55, 0.1), {255, 0, 0}, 2)) << show(at(0.55, 0.1));
  EXPECT_TRUE(near(at(0.75, 0.1), {0, 255, 0}, 2)) << show(at(0.75, 0.1));
  EXPECT_TRUE(near(at(0.95, 0.1), {0, 0, 255}, 2)) << show(at(0.95, 0.1));
  EXPECT_TRUE(near(at(0.25, 0.1), {255, 255, 255}, 2)) << show(at(0.25, 0.1));
  EXPECT_TRUE(near(at(0.75, 0.5), {255, 255, 255}, 2)) << show(at(0.75, 0.5));
}

TEST_F(PalettePainterTest, TheLaserCircleIsRoundInMetres) {
  painter->SetLaserCirclePos(0.5, 0.5);
  painter->SetLaserCircleVisible(true);
  painter->SetLaserCircleOnFront(true);
  render();
  // "laserCircleRadius" 0.01 m: 10 pixels either way, across and up.
  auto laser = [&](int x, int y) { return near(gl.read(x, y), {0, 95, 255}, 3); };
  int across = 0, up = 0;
  for (int x = 0; x < 200; ++x) across += laser(x, 144);
  for (int y = 0; y < 288; ++y) up += laser(100, y);
  EXPECT_NEAR(across, 20, 2);
  EXPECT_NEAR(up, 20, 2);
  // Behind the palette: a ring, its centre showing the page.
  painter->SetLaserCircleOnFront(false);
  render();
  EXPECT_TRUE(near(gl.read(100, 144), {255, 255, 255}, 2));
  EXPECT_TRUE(laser(100, 144 + 9));
}

// A zero radius draws no circle; a zero palette width is no width at all and takes the default,
// so the circle is drawn as usual.
TEST_F(PalettePainterTest, AZeroRadiusDrawsNoCircleAndAZeroWidthTakesTheDefault) {
  for (const char* config : {"laserCircleRadius = 0\n", "paletteWidth = 0\n"}) {
    SCOPED_TRACE(config);
    ScopedBaseDir zero(config);
    painter->SetLaserCirclePos(0.5, 0.5);
    painter->SetLaserCircleVisible(true);
    painter->SetLaserCircleOnFront(true);
    render();
    if (std::string(config).find("Radius") != std::string::npos)
      EXPECT_TRUE(near(gl.read(100, 144), {255, 255, 255}, 2)) << show(gl.read(100, 144));
    else
      EXPECT_TRUE(near(gl.read(100, 144), {0, 95, 255}, 3)) << show(gl.read(100, 144));
  }
}
