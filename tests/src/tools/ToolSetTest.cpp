// The tool set's display state: pages found from the asset folder, reset and show-all, the
// palette page bits, the copy between buffers and the layout records.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include <vtkLookupTable.h>
#include <vtkNew.h>

#include "AnnotationLayoutSettings.h"
#include "ButtonStateTable.h"
#include "ControllerInput.h"
#include "ToolLayoutSettings.h"
#include "ToolSet.h"
#include "VrTestSupport.h"

namespace {

void touch(const ScopedBaseDir& base, const std::string& name) {
  WriteSolidPng(base.assets() + name, 2, 2, {10, 20, 30, 255});
}

}  // namespace

TEST(ToolSet, QuickStartPagesEndAtTheFirstMissingFile) {
  ScopedBaseDir base;
  touch(base, "QuickStart1.png");
  ToolSet tools;
  EXPECT_EQ(tools.quickStartPage(), -1);
  tools.init(nullptr, 1, nullptr);
  EXPECT_EQ(tools.quickStartPageCount(), 0);
  tools.selectQuickStartPage(0);
  EXPECT_EQ(tools.quickStartPage(), -1);

  touch(base, "QuickStart0.png");
  tools.init(nullptr, 1, nullptr);
  EXPECT_EQ(tools.quickStartPageCount(), 2);
  tools.selectQuickStartPage(1);
  EXPECT_EQ(tools.quickStartPage(), 1);
  tools.selectQuickStartPage(2);
  EXPECT_EQ(tools.quickStartPage(), -1);
}

TEST(ToolSet, LabelPagesOfTheLeftHand) {
  ScopedBaseDir base;
  for (int slot = 0; slot < 4; ++slot)
    for (int page = 0; page < 6; ++page) touch(base, "Left" + directionName(slot) + directionName(page) + ".png");
  touch(base, "Flymode_forward.png");
  touch(base, "Flymode_backward.png");
  ToolSet left, right;
  left.init(nullptr, 0, nullptr);
  right.init(nullptr, 1, nullptr);
  EXPECT_EQ(left.postItPageCount(DirectionNorth), 7);
  EXPECT_EQ(left.postItPageCount(DirectionSouth), 7);
  EXPECT_EQ(left.postItPageCount(DirectionWest), 6);
  EXPECT_EQ(left.postItPageCount(DirectionEast), 6);
  // No right-hand images: only the fly-mode pages.
  EXPECT_EQ(right.postItPageCount(DirectionNorth), 1);
  EXPECT_EQ(right.postItPageCount(DirectionEast), 0);
}

TEST(ToolSet, ResetAndShowAll) {
  ScopedBaseDir base;
  for (int page = 0; page < 6; ++page) touch(base, "LeftWest" + directionName(page) + ".png");
  ToolSet tools;
  tools.init(nullptr, 0, nullptr);
  EXPECT_FALSE(tools.isToolIconVisible(0));
  EXPECT_FALSE(tools.isLaserVisible());

  tools.selectPostItPage(DirectionWest, 2);
  tools.showAll(10);
  for (int i = 0; i < ToolSet::ToolIconCount; ++i) {
    EXPECT_TRUE(tools.isToolIconVisible(i));
    EXPECT_EQ(tools.toolIconPage(i), 7);
  }
  EXPECT_EQ(tools.postItPage(DirectionWest), 5);  // level 10 is beyond its six pages: the last one
  EXPECT_TRUE(tools.arePostItsVisible());
  EXPECT_TRUE(tools.isPalettePanelVisible());
  EXPECT_EQ(tools.palettePage(), 10);
  EXPECT_TRUE(tools.isLaserVisible());

  tools.reset();
  EXPECT_TRUE(tools.isToolIconVisible(0));
  EXPECT_FALSE(tools.isToolIconVisible(1));
  EXPECT_FALSE(tools.isPalettePanelVisible());
  EXPECT_FALSE(tools.isLaserVisible());
  EXPECT_FALSE(tools.arePostItsVisible());
  EXPECT_EQ(tools.postItPage(DirectionWest), DirectionNone);
  EXPECT_EQ(tools.palettePage(), 0);
  EXPECT_EQ(tools.quickStartPage(), -1);
}

TEST(ToolSet, PaletteStateBitsRestoreThePage) {
  ToolSet tools;
  tools.setPalettePage(5);
  tools.setPaletteStateBit(16, true);
  EXPECT_EQ(tools.palettePage(), 21);
  tools.setPaletteStateBit(16, false);
  EXPECT_EQ(tools.palettePage(), 5);
  tools.setPaletteStateBit(1, false);
  EXPECT_EQ(tools.palettePage(), 4);
}

TEST(ToolSet, CopyTakesTheDisplayButNotTheColourBar) {
  ScopedBaseDir base;
  ToolSet source, destination;
  source.init(nullptr, 1, nullptr);
  destination.init(nullptr, 1, nullptr);
  source.toolStatus.set(2, 3, false);
  source.setLaserVisible(true);
  source.setLaserLength(2.5);
  source.setToolIconState(1, true, 6);
  source.setPalettePage(9);
  source.setColorBarVisible(true);
  destination.copyFrom(source, 0, 0);
  EXPECT_FALSE(destination.toolStatus.get(2, 3));
  EXPECT_TRUE(destination.isLaserVisible());
  EXPECT_EQ(destination.laserLength(), 2.5);
  EXPECT_EQ(destination.toolIconPage(1), 6);
  EXPECT_EQ(destination.palettePage(), 9);
  EXPECT_FALSE(destination.isColorBarVisible());
}

TEST(ToolSet, LasersSetOutAtTheConfiguredAngle) {
  ScopedBaseDir base("laserAngle = 30\ndefaultLaserLength = 4\nlaserColorRGB = [1, 0.5]\n");
  ToolSet tools;
  tools.setLaserVisible(true);
  tools.setupLasers(GetPaletteAngle());
  EXPECT_FALSE(tools.isLaserVisible());
  EXPECT_EQ(tools.laserLength(), 4.0);
  EXPECT_NEAR(tools.getLaserDirection()[1], -0.5, 1e-12);
  EXPECT_NEAR(tools.getLaserDirection()[2], -std::sqrt(3.0) / 2, 1e-12);
  EXPECT_EQ(tools.laserColor()[0], 1.0);
  EXPECT_EQ(tools.laserColor()[1], 0.5);
  EXPECT_EQ(tools.laserColor()[2], 1.0);  // a short list keeps the default's last value
}

TEST(ToolSet, TheColourSourceIsTakenWhenItChanged) {
  ToolSet tools;
  vtkNew<vtkLookupTable> table;
  tools.setColorBarSource(table);
  EXPECT_EQ(tools.colorBarSource(), table.GetPointer());
  tools.setColorBarSource(nullptr);
  EXPECT_EQ(tools.colorBarSource(), table.GetPointer());  // cleared bar, source kept
}

TEST(ToolLayout, RecordsAreLaidOutOnceUntilAValueChanges) {
  ScopedBaseDir base;
  ToolSet tools;
  const ToolLayoutSettings layout;
  const AnnotationLayoutSettings labels;
  EXPECT_EQ(layout.paletteAngle, 40.0);
  EXPECT_EQ(layout.toolsOffset[2], -0.024);
  EXPECT_EQ(labels.touchPadPitch, 5.0);
  EXPECT_EQ(labels.touchPadOffset[1], -0.0485);
  EXPECT_TRUE(tools.layoutTools(1, layout));
  EXPECT_TRUE(tools.layoutAnnotations(1, labels));
  EXPECT_FALSE(tools.layoutTools(1, layout));
  EXPECT_FALSE(tools.layoutAnnotations(1, labels));
  ToolLayoutSettings changed = layout;
  changed.paletteAngle = 35.0;
  EXPECT_TRUE(tools.layoutTools(1, changed));
  changed.toolIconSize = std::nan("");
  EXPECT_TRUE(tools.layoutTools(1, changed));
  EXPECT_TRUE(tools.layoutTools(1, changed));  // a NaN never equals the cache
}

// A layout value that would remove a panel (not a number, a zero or negative size) takes its
// default, and the standard error names the key once, however often the records are read.
TEST(ToolLayout, BadValuesTakeTheirDefaultsWithOneWarningNamingTheKey) {
  ScopedBaseDir base(
      "paletteAngle = nan\ntoolIconSize = 0\ncolorBarWidth = -0.2\ntouchPadWidth = inf\n"
      "toolsOffset = [0, nan, 0]\npaletteHeight = 0.3\n");
  testing::internal::CaptureStderr();
  ToolLayoutSettings layout;
  AnnotationLayoutSettings labels;
  layout.read();
  labels.read();
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(layout.paletteAngle, 40.0);
  EXPECT_EQ(layout.toolIconSize, 0.1);
  EXPECT_EQ(layout.colorBarWidth, 0.2);
  EXPECT_EQ(labels.touchPadWidth, 0.03);
  EXPECT_EQ(layout.toolsOffset[1], 0.1);
  EXPECT_EQ(layout.paletteHeight, 0.3);
  for (const char* key : {"'paletteAngle'", "'toolIconSize'", "'colorBarWidth'", "'touchPadWidth'", "'toolsOffset'"}) {
    size_t count = 0;
    for (size_t at = err.find(key); at != std::string::npos; at = err.find(key, at + 1)) ++count;
    EXPECT_EQ(count, 1u) << key << "\n" << err;
  }
  EXPECT_EQ(err.find("'paletteHeight'"), std::string::npos) << err;
  EXPECT_NE(err.find("config.ini, line 1: the value of 'paletteAngle' is not a finite number; its default is used"),
            std::string::npos)
      << err;
}

// The colour bar slides along its length, the controller's x axis, so that the colour of the
// chosen fraction stands at the controller: the same rule at its owner and at the others.
TEST(ToolSet, TheColourBarSlidesAlongTheControllersXAxis) {
  ToolSet tools;
  double pose[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  tools.slideColorBar(pose, 0.8, 0.2);
  EXPECT_NEAR(tools.colorBar().offset()[0], -0.06, 1e-12);
  EXPECT_EQ(tools.colorBar().offset()[2], 0.0);
  // Turned a quarter to the left about y: x points along -z.
  const double turned[16] = {0, 0, 1, 0, 0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 0, 1};
  tools.slideColorBar(turned, 0.2, 0.2);
  EXPECT_NEAR(tools.colorBar().offset()[0], 0.0, 1e-12);
  EXPECT_NEAR(tools.colorBar().offset()[2], -0.06, 1e-12);
  tools.slideColorBar(turned, 0.5, 0.2);
  EXPECT_EQ(tools.colorBar().offset()[2], 0.0);
}

TEST(ButtonStateTable, AllTrueAtFirstAndOutsideTheTable) {
  ButtonStateTable table;
  EXPECT_TRUE(table.get(3, 5));
  table.set(3, 5, false);
  EXPECT_FALSE(table.get(3, 5));
  table.set(4, 0, false);
  EXPECT_TRUE(table.get(4, 0));
  EXPECT_TRUE(table.get(-1, 2));
}
