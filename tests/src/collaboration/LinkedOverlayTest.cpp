// The palette's linked-state overlay as the avatar group paints it: one link icon per
// participant on each button whose setting both sides share, in the participant's colour,
// without GL (the overlay is a plain image; no icon cache, so no texture).
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include <vtkImageData.h>

#include "AvatarGroup.h"
#include "VrTestSupport.h"
#include "kvg/DrawableScene.h"
#include "kvg/DrawableScenes.h"
#include "kvg/DrawableSession.h"
#include "kvg/GenericWindowResourceManager.h"

namespace {

kvg::VRClientState participant(int id, unsigned colorID, unsigned mask) {
  kvg::VRClientState state;
  state.setID(id);
  state.setColorID(colorID);
  state.setCompanionID(-1);
  state.setShareableStateMask(mask);
  const double identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  state.setModel(identity);
  state.setView(identity);
  return state;
}

// A base folder whose link icon is a solid white square (the program scales it to 48 x 48).
class LinkedOverlay : public ::testing::Test {
 protected:
  void start(const std::string& config = std::string(), bool withIcon = true) {
    base.reset(new ScopedBaseDir(config));
    if (withIcon) WriteSolidPng(base->assets() + "Link2.png", 96, 96, {255, 255, 255, 255});
    session.reset(new kvg::DrawableSession(4242, -1));
    scene = session->getDrawableScenes().createScene(std::unique_ptr<kvg::GenericWindowResourceManager>(), "empty");
    ASSERT_NE(scene, nullptr);
    group.reset(new AvatarGroup(nullptr));
    group->setup(0, 0, 500, nullptr);
  }
  void TearDown() override {
    group.reset();
    session.reset();
    base.reset();
  }

  void show(const std::vector<kvg::VRClientState>& states, unsigned localMask) {
    group->setShareableStateMask(ShareableStateMask::fromState(localMask));
    group->updateAvatar(states, nullptr, *scene);
    group->updateLinkedStates();
  }

  vtkImageData* overlay() const { return group->linkedOverlayImage(); }
  int width() const { return overlay()->GetDimensions()[0]; }
  int height() const { return overlay()->GetDimensions()[1]; }
  const unsigned char* pixel(int row, int col) const {
    return static_cast<const unsigned char*>(overlay()->GetScalarPointer()) + (size_t(row) * width() + col) * 4;
  }
  int opaquePixels() const {
    int n = 0;
    for (int r = 0; r < height(); ++r)
      for (int c = 0; c < width(); ++c) n += pixel(r, c)[3] != 0;
    return n;
  }
  // The first overlay pixel of icon k in a column starting at x, on a button whose y0 is given.
  int iconRow(double y0, int k) const { return int(std::trunc((y0 + 0.01 + k * 48.0 / height()) * (height() - 1))); }
  int iconCol(double x) const { return int(std::trunc(x * (width() - 1))); }
  double rightColumn(double x1) const { return x1 - 0.01 - 48.0 / width(); }
  // The icon's pixels there, tinted with the colour of that id.
  void expectIconAt(int row, int col, unsigned colorID, const std::string& what) const {
    const double* color = group->colorAt(int(colorID));
    const unsigned char* icon = static_cast<const unsigned char*>(group->linkIcon()->GetScalarPointer());
    for (int r : {0, 47})
      for (int c : {0, 47}) {
        const unsigned char* p = pixel(row + r, col + c);
        const unsigned char* i = icon + (size_t(r) * 48 + c) * 4;
        for (int k = 0; k < 3; ++k)
          EXPECT_EQ(int(p[k]), int(std::trunc(i[k] * color[k]))) << what << " at " << r << "," << c;
        EXPECT_EQ(p[3], i[3]) << what;
      }
    // Nothing right of it (the columns are further apart than an icon).
    EXPECT_EQ(pixel(row, col + 48)[3], 0) << what;
  }

  std::unique_ptr<ScopedBaseDir> base;
  std::unique_ptr<kvg::DrawableSession> session;
  kvg::DrawableScene* scene = nullptr;
  std::unique_ptr<AvatarGroup> group;
};

}  // namespace

TEST_F(LinkedOverlay, TwelveIconsPerButtonLeftColumnFirstSmallerIdsLower) {
  start();
  ASSERT_EQ(width(), 1024);
  ASSERT_EQ(height(), 1600);
  ASSERT_EQ(group->linkIcon()->GetDimensions()[0], 48);
  ASSERT_EQ(group->linkIcon()->GetDimensions()[1], 48);
  EXPECT_EQ(opaquePixels(), 0);

  // Thirteen participants share the HUD (and only the HUD), given in a jumbled order.
  std::vector<kvg::VRClientState> states;
  for (int id : {13, 2, 7, 1, 12, 3, 11, 4, 10, 5, 9, 6, 8}) states.push_back(participant(id, id % 16, kvg::SHARE_HUD));
  show(states, ShareableStateMask::ALL);
  // HUD button (0, 0.5, 0.4, 0.6): ids 1..6 up the left column, 7..12 up the right one.
  for (int k = 0; k < 6; ++k) {
    expectIconAt(iconRow(0.4, k), iconCol(0.01), unsigned(k + 1), "left " + std::to_string(k));
    expectIconAt(iconRow(0.4, k), iconCol(rightColumn(0.5)), unsigned(k + 7), "right " + std::to_string(k));
  }
  // Id 13 gets none, and no other button shows anything.
  EXPECT_EQ(opaquePixels(), 12 * 48 * 48);
}

TEST_F(LinkedOverlay, OnlyTheSettingsBothSidesShareShowAndParticleBitsShowTwice) {
  start();
  struct Case {
    unsigned local, remote;
    std::vector<std::array<double, 2>> buttons;  // (x0, y0) of the buttons with an icon
  } cases[] = {
      {ShareableStateMask::ALL, kvg::SHARE_PARTICLE_RADIUS, {{0.0, 0.6}, {0.5, 0.6}}},
      {ShareableStateMask::ALL, kvg::SHARE_PARTICLE_SPEED, {{0.0, 0.8}, {0.5, 0.8}}},
      {kvg::SHARE_HUD | kvg::SHARE_FLOOR, ShareableStateMask::ALL, {{0.0, 0.4}, {0.0, 0.2}}},
      {kvg::SHARE_FLY_MODE | kvg::SHARE_VOLUME_RENDERING, ShareableStateMask::ALL, {{0.5, 0.4}, {0.5, 0.2}}},
      {kvg::SHARE_HUD, kvg::SHARE_FLOOR, {}},
      {ShareableStateMask::ALL, ShareableStateMask::ALL,
       {{0.0, 0.4}, {0.5, 0.4}, {0.0, 0.2}, {0.5, 0.2}, {0.0, 0.6}, {0.5, 0.6}, {0.0, 0.8}, {0.5, 0.8}}},
  };
  int id = 1;
  for (const Case& c : cases) {
    // A new participant each time, so the overlay is repainted with it alone.
    show({participant(id, 4, c.remote)}, c.local);
    const std::string what = "local " + std::to_string(c.local) + " remote " + std::to_string(c.remote);
    for (const auto& b : c.buttons) expectIconAt(iconRow(b[1], 0), iconCol(b[0] + 0.01), 4, what);
    EXPECT_EQ(opaquePixels(), int(c.buttons.size()) * 48 * 48) << what;
    ++id;
  }
}

TEST_F(LinkedOverlay, RepaintedOnlyWhenSomeonesLinkedSettingsChange) {
  start();
  show({participant(3, 1, kvg::SHARE_HUD), participant(5, 2, kvg::SHARE_HUD)}, ShareableStateMask::ALL);
  expectIconAt(iconRow(0.4, 0), iconCol(0.01), 1, "3 first");
  expectIconAt(iconRow(0.4, 1), iconCol(0.01), 2, "5 above it");
  const vtkMTimeType painted = overlay()->GetMTime();

  // The same states again, and a change outside the linked bits: nothing is repainted.
  show({participant(3, 1, kvg::SHARE_HUD), participant(5, 2, kvg::SHARE_HUD)}, ShareableStateMask::ALL);
  show({participant(3, 1, kvg::SHARE_HUD | 64), participant(5, 2, kvg::SHARE_HUD)}, ShareableStateMask::ALL);
  EXPECT_EQ(overlay()->GetMTime(), painted);

  // 3 leaves: its icon goes with it, and 5's moves down to the first place.
  show({participant(5, 2, kvg::SHARE_HUD)}, ShareableStateMask::ALL);
  EXPECT_GT(overlay()->GetMTime(), painted);
  expectIconAt(iconRow(0.4, 0), iconCol(0.01), 2, "5 alone");
  EXPECT_EQ(opaquePixels(), 48 * 48);

  // 5 stops sharing the HUD and starts sharing the floor.
  show({participant(5, 2, kvg::SHARE_FLOOR)}, ShareableStateMask::ALL);
  expectIconAt(iconRow(0.2, 0), iconCol(0.01), 2, "5 on the floor button");
  EXPECT_EQ(opaquePixels(), 48 * 48);

  // The local user stops sharing the floor: the value changes, the icon goes.
  show({participant(5, 2, kvg::SHARE_FLOOR)}, kvg::SHARE_HUD);
  EXPECT_EQ(opaquePixels(), 0);
  // A newcomer repaints at once.
  show({participant(5, 2, kvg::SHARE_FLOOR), participant(8, 3, kvg::SHARE_HUD)}, kvg::SHARE_HUD);
  expectIconAt(iconRow(0.4, 0), iconCol(0.01), 3, "8");
}

TEST_F(LinkedOverlay, IconsPastTheEdgesAreClippedPixelByPixel) {
  struct Case {
    const char* rect;  // "uiToggleHUD"
    int rows, cols;    // the part of the icon that lies inside the overlay
  } cases[] = {
      // From x0 + 0.01 = 0.99 and y0 + 0.01 = 0.99: past the right and the top edge.
      {"[0.98, 1.0, 0.98, 1.0]", 1600 - int(std::trunc(0.99 * 1599)), 1024 - int(std::trunc(0.99 * 1023))},
      // Starting left of and below the image.
      {"[-0.02, 0.5, -0.02, 0.2]", 48 + int(std::trunc(-0.01 * 1599)), 48 + int(std::trunc(-0.01 * 1023))},
      // Wholly outside: nothing.
      {"[2.0, 2.5, 0.4, 0.6]", 0, 0},
  };
  for (const Case& c : cases) {
    start(std::string("uiToggleHUD = ") + c.rect + "\n");
    show({participant(3, 10, kvg::SHARE_HUD)}, ShareableStateMask::ALL);
    EXPECT_EQ(opaquePixels(), c.rows * c.cols) << c.rect;
    TearDown();
  }
}

TEST_F(LinkedOverlay, NoIconOrNoRoomForOnePaintsNothing) {
  struct Case {
    const char* config;
    bool icon;
  } cases[] = {
      {"", false},                          // "Link2.png" missing
      {"linkedOverlayHeight = 0\n", true},  // read as the smallest height, 1
      {"linkedOverlayHeight = 200\n", true},  // less than five icons high
  };
  for (const Case& c : cases) {
    start(c.config, c.icon);
    show({participant(3, 10, ShareableStateMask::ALL), participant(4, 2, ShareableStateMask::ALL)},
         ShareableStateMask::ALL);
    EXPECT_EQ(opaquePixels(), 0) << c.config;
    TearDown();
  }
}

