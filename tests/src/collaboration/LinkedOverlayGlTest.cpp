// The linked-state overlay reaching its texture: the cached texture of the render buffer gets
// the overlay's size (not the HUD's) even when nothing was preloaded, and a repaint reaches the
// GL texture at the next load.
#include <gtest/gtest.h>

#include <memory>

#include <vtkImageData.h>

#include "AvatarGroup.h"
#include "IconTextureCache.h"
#include "VrTestSupport.h"
#include "kvg/DrawableScene.h"
#include "kvg/DrawableScenes.h"
#include "kvg/DrawableSession.h"
#include "kvg/GenericWindowResourceManager.h"

TEST(LinkedOverlayTexture, RepaintsReachTheCachedTextureOfTheBuffer) {
  GlWindow gl;
  ScopedBaseDir base("linkedOverlayWidth = 256\nlinkedOverlayHeight = 400\n");
  WriteSolidPng(base.assets() + "Link2.png", 96, 96, {255, 255, 255, 255});
  auto cache = std::make_unique<IconTextureCache>();
  {
    AvatarGroup group(cache.get());
    group.setup(0, 1, 7, nullptr);
    OpenVRTexture* texture = group.linkedOverlayTexture();
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(texture->GetInput(), group.linkedOverlayImage());
    IconTextureCache::Record record;
    ASSERT_TRUE(cache->find("LINKED1", record));
    EXPECT_EQ(texture->GetIndex(), record.name);
    EXPECT_EQ(record.width, 256);
    EXPECT_EQ(record.height, 400);
    // Blank textures made afterwards have the HUD's size again.
    IconTextureCache::Record hud;
    CreateBlankTexture(*cache, "HUD1", hud);
    EXPECT_EQ(hud.width, 1024);
    EXPECT_EQ(hud.height, 768);

    // A participant sharing the HUD: the icon (colour 1) on the HUD button, uploaded at the load.
    std::unique_ptr<kvg::DrawableSession> session(new kvg::DrawableSession(4242, -1));
    kvg::DrawableScene* scene =
        session->getDrawableScenes().createScene(std::unique_ptr<kvg::GenericWindowResourceManager>(), "empty");
    kvg::VRClientState state;
    state.setID(3);
    state.setColorID(1);
    state.setShareableStateMask(kvg::SHARE_HUD);
    group.setShareableStateMask(ShareableStateMask::fromState(ShareableStateMask::ALL));
    group.updateAvatar({state}, nullptr, *scene);
    group.updateLinkedStates();
    EXPECT_TRUE(texture->GetNeedsUpload());
    texture->Load(gl.renderer());
    EXPECT_FALSE(texture->GetNeedsUpload());

    const TextureContents contents = ReadTexture(record.name);
    ASSERT_EQ(contents.width, 256);
    const int row = int((0.4 + 0.01) * 399), col = int(0.01 * 255);
    const double* teal = group.colorAt(1);
    EXPECT_EQ(contents.at(col + 10, row + 10),
              (std::array<int, 4>{int(255 * teal[0]), int(255 * teal[1]), int(255 * teal[2]), 255}));
    EXPECT_EQ(contents.at(col + 10, row - 2)[3], 0);
    EXPECT_EQ(contents.at(200, 300)[3], 0);
  }
  cache->deleteAllTextures();
}
