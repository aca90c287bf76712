#include <gtest/gtest.h>

#include <vector>

#include <vtkImageData.h>

#include "IconTextureCache.h"
#include "OpenVRActor.h"
#include "PaletteImages.h"
#include "PalettePainter.h"
#include "ToolSet.h"
#include "VrTestSupport.h"

namespace {

using Pixel = std::array<int, 4>;
const Pixel kArtwork{200, 180, 160, 255};
const Pixel kBorder{0, 95, 135, 255};

// A 101 x 101 palette (so rectangle fractions land on whole pixels): one artwork colour, red
// markers in the three avatar buttons, two pixels to probe the colour tolerance and a red pixel
// in the reset button, outside the avatar buttons.
vtkSmartPointer<vtkImageData> TestPalette() {
  return MakeImage(101, 101, 4, 8, [](int x, int y, int* rgba) {
    const Pixel* p = &kArtwork;
    static const Pixel red{255, 0, 0, 255}, near{110, 120, 130, 255}, far{90, 0, 0, 255};
    const bool markerRow = y >= 8 && y <= 12;
    if (markerRow && ((x >= 56 && x <= 58) || (x >= 70 && x <= 80) || (x >= 92 && x <= 94))) p = &red;
    if (x == 25 && y == 10) p = &red;
    if (x == 80 && y == 14) p = &near;
    if (x == 81 && y == 14) p = &far;
    for (int c = 0; c < 4; ++c) rgba[c] = (*p)[c];
  });
}

class PaletteTest : public ::testing::Test {
 protected:
  GlWindow gl;
  std::unique_ptr<ScopedBaseDir> base;
  std::unique_ptr<IconTextureCache> cache;
  std::vector<TextureContents> pages, overlays;
  TextureContents mask;

  void SetUp() override { configure(""); }
  void TearDown() override {
    cache->deleteAllTextures();
    cache.reset();
    base.reset();
  }
  void configure(const std::string& config) {
    if (cache) cache->deleteAllTextures();
    cache.reset();
    base.reset();
    base.reset(new ScopedBaseDir(config));
    cache.reset(new IconTextureCache);
  }
  // Builds every palette image from the artwork and reads them all back.
  void build(vtkImageData* artwork) {
    PaletteImageBuilder builder(cache.get(), artwork);
    ASSERT_TRUE(PaintPaletteToggleButtons(builder));
    ASSERT_TRUE(PaintPaletteButtonStates(builder));
    ASSERT_TRUE(RecolorImageRegion(builder, GetUiPrevAvatarRect(), GetUiNextAvatarRect()));
    std::vector<vtkSmartPointer<OpenVRTexture>> a, b;
    cache->createTexturesA(a);
    cache->createTexturesB(b);
    for (auto& t : a) pages.push_back(ReadTexture(t->GetIndex()));
    for (auto& t : b) overlays.push_back(ReadTexture(t->GetIndex()));
    mask = ReadTexture(cache->currentImage());
    gl.resetState();
  }
};

}  // namespace

TEST(PaletteRects, ConfiguredValuesReplaceTheDefaultFromTheFirstOn) {
  ScopedBaseDir base("uiReset = [0.1, 0.4]\nuiToggleHUD = [0.1, 0.2, 0.3, 0.4, 0.5, 0.6]\n");
  EXPECT_EQ(GetPaletteButtonRect(kReset), (PaletteRect{0.1, 0.4, 0.0, 0.2}));
  EXPECT_EQ(GetPaletteButtonRect(kToggleHUD), (PaletteRect{0.1, 0.2, 0.3, 0.4}));
  EXPECT_EQ(GetUiNextAvatarRect(), (PaletteRect{0.9, 1.0, 0.0, 0.2}));
  EXPECT_EQ(PaletteButtons()[kTeleportAvatar].key, std::string("uiTeleportAvatar"));
}

TEST_F(PaletteTest, ThirtyTwoPagesTwentyFiveOverlaysAndTheTeleportMask) {
  build(TestPalette());
  EXPECT_EQ(pages.size(), 32u);
  EXPECT_EQ(overlays.size(), 25u);
  EXPECT_EQ(mask.width, 101);
  EXPECT_EQ(pages[0].width, 101);
  EXPECT_EQ(pages[0].height, 101);
}

TEST_F(PaletteTest, SwitchedOffTogglesAreDarkenedWithTheirAlphaKept) {
  build(TestPalette());
  const Pixel darker{100, 90, 80, 255};
  // Inside each toggle button, clear of its border.
  const std::array<int, 2> toggles[4] = {{25, 50}, {75, 50}, {25, 30}, {75, 30}};
  for (int t = 0; t < 4; ++t) {
    SCOPED_TRACE(t);
    const auto [x, y] = toggles[t];
    EXPECT_EQ(pages[0].at(x, y), darker);
    EXPECT_EQ(pages[15].at(x, y), kArtwork);
    // Only that toggle's bit decides.
    EXPECT_EQ(pages[1 << t].at(x, y), kArtwork);
    EXPECT_EQ(pages[15 & ~(1 << t)].at(x, y), darker);
  }
  // Buttons that are no toggles keep their artwork on every page.
  EXPECT_EQ(pages[0].at(25, 90), kArtwork);
  EXPECT_EQ(pages[0].at(25, 14), kArtwork);
}

TEST_F(PaletteTest, AvatarButtonsShowParticipantsPresentOrAbsent) {
  build(TestPalette());
  // No participants: the red turns light and then darkens with the rest of the buttons.
  EXPECT_EQ(pages[15].at(75, 10), (Pixel{102, 111, 115, 255}));
  EXPECT_EQ(pages[15].at(66, 10), (Pixel{100, 90, 80, 255}));
  EXPECT_EQ(pages[15].at(57, 10), (Pixel{102, 111, 115, 255}));
  // Participants present: the red turns black, the buttons keep their artwork.
  EXPECT_EQ(pages[31].at(75, 10), (Pixel{0, 0, 0, 255}));
  EXPECT_EQ(pages[31].at(94, 10), (Pixel{0, 0, 0, 255}));
  EXPECT_EQ(pages[31].at(66, 10), kArtwork);
  // The red in the reset button is outside the avatar buttons and stays.
  EXPECT_EQ(pages[31].at(25, 10), (Pixel{255, 0, 0, 255}));
}

TEST_F(PaletteTest, ColourMatchUsesTheToleranceOnEveryChannel) {
  build(TestPalette());
  EXPECT_EQ(pages[31].at(80, 14), (Pixel{0, 0, 0, 255}));   // every channel within 153
  EXPECT_EQ(pages[31].at(81, 14), (Pixel{90, 0, 0, 255}));  // red 165 away
  EXPECT_EQ(mask.at(80, 14), (Pixel{255, 255, 255, 255}));
  EXPECT_EQ(mask.at(81, 14), (Pixel{255, 255, 255, 0}));
  EXPECT_EQ(mask.at(75, 10), (Pixel{255, 255, 255, 255}));
  EXPECT_EQ(mask.at(57, 10), (Pixel{255, 255, 255, 255}));
  EXPECT_EQ(mask.at(66, 10), (Pixel{255, 255, 255, 0}));
  EXPECT_EQ(mask.at(25, 10), (Pixel{255, 255, 255, 0}));  // red, but outside the avatar buttons
}

TEST_F(PaletteTest, BorderWidthsFollowTheBorderSize) {
  build(TestPalette());
  const TextureContents& page = pages[31];
  auto borderColumns = [&](int y) {
    std::vector<int> columns;
    for (int x = 0; x <= 100; ++x) {
      const Pixel p = page.at(x, y);
      if (p[0] == 0 && p[1] == 95 && p[2] == 135) columns.push_back(x);
    }
    return columns;
  };
  // Wide borders: six pixels at the image edges, eleven between two neighbouring buttons.
  std::vector<int> expected;
  for (int x = 0; x <= 5; ++x) expected.push_back(x);
  for (int x = 45; x <= 55; ++x) expected.push_back(x);
  for (int x = 95; x <= 100; ++x) expected.push_back(x);
  EXPECT_EQ(borderColumns(50), expected);
  // The avatar row: the group's wide frame, thin lines of three between its buttons.
  expected.clear();
  for (int x = 0; x <= 5; ++x) expected.push_back(x);      // reset's left (image edge)
  for (int x = 45; x <= 55; ++x) expected.push_back(x);    // reset | avatar group
  for (int x = 59; x <= 61; ++x) expected.push_back(x);    // previous | teleport
  for (int x = 89; x <= 91; ++x) expected.push_back(x);    // teleport | next
  for (int x = 95; x <= 100; ++x) expected.push_back(x);   // image edge
  EXPECT_EQ(borderColumns(10), expected);
  EXPECT_EQ(page.at(50, 50)[3], 255);  // the border writes colour only
}

TEST_F(PaletteTest, OverlaysHighlightOneButtonEach) {
  build(TestPalette());
  EXPECT_EQ(overlays[0].at(0, 0), (Pixel{0, 0, 0, 0}));  // "none" is transparent, its corner too
  EXPECT_EQ(overlays[0].at(1, 0), (Pixel{0, 0, 0, 0}));
  EXPECT_EQ(overlays[0].at(50, 50), (Pixel{0, 0, 0, 0}));
  for (int k = 1; k <= 12; ++k) {
    SCOPED_TRACE(k);
    const PaletteRect rect = PaletteButtons()[k - 1].defaultRect;
    const int x = static_cast<int>((rect[0] + rect[1]) / 2 * 100), y = static_cast<int>((rect[2] + rect[3]) / 2 * 100);
    EXPECT_EQ(overlays[k].at(x, y), (Pixel{204, 204, 255, 102}));
    EXPECT_EQ(overlays[k + 12].at(x, y), (Pixel{127, 127, 255, 178}));
    // Both cover the same pixels.
    for (int yy = 0; yy <= 100; yy += 5)
      for (int xx = 0; xx <= 100; xx += 5) EXPECT_EQ(overlays[k].at(xx, yy)[3] == 0, overlays[k + 12].at(xx, yy)[3] == 0);
  }
  EXPECT_EQ(overlays[5].at(50, 60)[3], 102);  // the nearest rule includes both ends
  EXPECT_EQ(overlays[5].at(51, 50)[3], 0);
}

TEST_F(PaletteTest, OversizedRectanglesLongListsAndLargeFactorsStayInsideTheImage) {
  configure(
      "uiToggleHUD = [-1, 2, -5, 7, 99]\n"
      "paletteToggleOnRGB = [3, 3, 3]\n"
      "paletteHighlightColorRGBA = [2, -1, 0.5, 1, 7]\n");
  build(TestPalette());
  ASSERT_EQ(pages.size(), 32u);
  // The HUD toggle now spans the image: a switched-off HUD brightens it, clamped at 255.
  EXPECT_EQ(pages[30].at(30, 70)[0], 255);
  EXPECT_EQ(pages[30].at(30, 70)[3], 255);
  EXPECT_EQ(overlays[5].at(0, 0), (Pixel{255, 0, 127, 255}));
  EXPECT_EQ(overlays[5].at(100, 100), (Pixel{255, 0, 127, 255}));

  // Direct calls with rectangles far outside the image change only what lies inside.
  vtkSmartPointer<vtkImageData> small = SolidImage(3, 2, {10, 20, 30, 40});
  const double factors[4] = {300, 300, 300, 300};
  MultiplyImageRegion(factors, PaletteRect{-1e9, 1e9, -1e9, 1e9}, small);
  DrawRectBorder(small, PaletteRect{-5, 5, -5, 5}, 1e9);
  const unsigned char match[4] = {0, 95, 135, 255}, replacement[4] = {1, 2, 3, 4};
  ReplaceColorInRegion(match, replacement, PaletteRect{1e300, -1e300, 0, 1}, small);
  const auto* p = static_cast<const unsigned char*>(small->GetScalarPointer(0, 0, 0));
  EXPECT_EQ(p[0], 0);
  EXPECT_EQ(p[1], 95);
  EXPECT_EQ(p[3], 255);
}

TEST_F(PaletteTest, NotANumberInAColourOrFactorGivesZeroAndInfinityFullIntensity) {
  configure(
      "paletteToggleOnRGB = [nan, inf, 0.5]\n"
      "paletteHighlightColorRGBA = [nan, inf, -inf, 1]\n");
  build(TestPalette());
  ASSERT_EQ(pages.size(), 32u);
  EXPECT_EQ(pages[0].at(25, 50), (Pixel{0, 255, 80, 255}));
  EXPECT_EQ(overlays[5].at(25, 50)[0], 0);
  EXPECT_EQ(overlays[5].at(25, 50)[1], 255);
  EXPECT_EQ(overlays[5].at(25, 50)[2], 0);
}

TEST_F(PaletteTest, WithoutAnArtworkNothingIsUploaded) {
  PaletteImageBuilder empty(cache.get(), nullptr);
  EXPECT_FALSE(PaintPaletteToggleButtons(empty));
  EXPECT_FALSE(PaintPaletteButtonStates(empty));
  EXPECT_FALSE(RecolorImageRegion(empty, GetUiPrevAvatarRect(), GetUiNextAvatarRect()));
  BuildPaletteImages(*cache, base->assets() + "PaletteVersion9.png");
  EXPECT_EQ(cache->paletteImageCountA(), 0u);
  EXPECT_EQ(cache->paletteImageCountB(), 0u);
  EXPECT_EQ(cache->currentImage(), 0u);

  WritePng(base->assets() + "PaletteVersion9.png", TestPalette());
  BuildPaletteImages(*cache, base->assets() + "PaletteVersion9.png");
  EXPECT_EQ(cache->paletteImageCountA(), 32u);
  EXPECT_EQ(cache->paletteImageCountB(), 25u);
  EXPECT_NE(cache->currentImage(), 0u);
}

// A tool set set up while the palette images are still being built shows no palette, takes
// none of the incomplete lists, and takes them all once they are complete, on the page and
// with the visibility asked for by then.
TEST_F(PaletteTest, AToolSetTakesThePaletteOnceItIsNoLongerPending) {
  WritePng(base->assets() + "PaletteVersion9.png", TestPalette());
  cache->setPalettePending(true);
  cache->uploadImageA(SolidImage(2, 2, {1, 2, 3, 255}));
  ToolSet tools;
  tools.init(nullptr, 0, cache.get());
  EXPECT_EQ(tools.palettePanel()->pageCount(), 32);
  EXPECT_EQ(tools.palettePanel()->getActor()->GetTexture(), nullptr);
  EXPECT_TRUE(tools.palettePainter()->GetOverlayTextures().empty());
  EXPECT_FALSE(tools.attachPaletteImages(cache.get()));
  EXPECT_EQ(tools.palettePanel()->getActor()->GetTexture(), nullptr);

  cache->deleteAllTextures();
  BuildPaletteImages(*cache, base->assets() + "PaletteVersion9.png");
  tools.setPalettePage(5);
  // Asked for before its images are there, the palette is not drawn (a blank white sheet).
  tools.setPalettePanelVisible(true);
  EXPECT_FALSE(tools.isPalettePanelVisible());
  EXPECT_FALSE(tools.palettePanel()->getVisibility());
  cache->setPalettePending(false);
  std::vector<vtkSmartPointer<OpenVRTexture>> pages, overlays;
  cache->createTexturesA(pages);
  cache->createTexturesB(overlays);
  ASSERT_EQ(pages.size(), 32u);
  EXPECT_TRUE(tools.attachPaletteImages(cache.get()));
  EXPECT_FALSE(tools.attachPaletteImages(cache.get()));
  EXPECT_EQ(tools.palettePanel()->pageCount(), 32);
  EXPECT_EQ(tools.palettePage(), 5);
  EXPECT_TRUE(tools.isPalettePanelVisible());
  auto* shown = dynamic_cast<OpenVRTexture*>(tools.palettePanel()->getActor()->GetTexture());
  ASSERT_NE(shown, nullptr);
  EXPECT_EQ(shown->GetIndex(), pages[5]->GetIndex());
  EXPECT_EQ(tools.palettePainter()->GetOverlayTextures().size(), overlays.size());

  // A set built once the palette is complete takes it at once.
  ToolSet later;
  later.init(nullptr, 1, cache.get());
  EXPECT_FALSE(later.attachPaletteImages(cache.get()));
  EXPECT_EQ(later.palettePainter()->GetOverlayTextures().size(), overlays.size());
}
