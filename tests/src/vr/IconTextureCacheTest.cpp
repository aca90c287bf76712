#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <set>
#include <thread>

#include <vtkImageData.h>
#include <vtkNew.h>

#include <vtk_glew.h>

#include "IconTextureCache.h"
#include "SharedGlContexts.h"
#include "VrTestSupport.h"

namespace {

// A GL context, a base folder with the given configuration, and a cache built after both.
class CacheTest : public ::testing::Test {
 protected:
  GlWindow gl;
  std::unique_ptr<ScopedBaseDir> base;
  std::unique_ptr<IconTextureCache> cache;

  void SetUp() override { configure(""); }
  void TearDown() override {
    if (cache) cache->deleteAllTextures();
    cache.reset();
    base.reset();
  }
  void configure(const std::string& configText) {
    if (cache) cache->deleteAllTextures();
    cache.reset();
    base.reset();
    base.reset(new ScopedBaseDir(configText));
    cache.reset(new IconTextureCache);
  }
  std::string file(const std::string& name) const { return base->dir() + "/" + name; }
};

}  // namespace

TEST_F(CacheTest, AMissingNameGetsOneTransparentBlankOfTheHudSize) {
  IconTextureCache::Record record;
  EXPECT_FALSE(LoadPngIcon(*cache, file("missing.png"), record, ""));
  EXPECT_EQ(record.width, 1024);
  EXPECT_EQ(record.height, 768);
  TextureContents contents = ReadTexture(record.name);
  EXPECT_EQ(contents.width, 1024);
  EXPECT_EQ(contents.immutableLevels, 11);
  EXPECT_EQ(contents.at(0, 0), (std::array<int, 4>{0, 0, 0, 0}));
  EXPECT_EQ(contents.at(1023, 767), (std::array<int, 4>{0, 0, 0, 0}));

  vtkSmartPointer<OpenVRTexture> again;
  cache->getTexture(again, file("missing.png"), 1);
  EXPECT_EQ(again->GetIndex(), record.name);
  EXPECT_EQ(again->GetWidth(), 1024);
  EXPECT_EQ(again->GetHeight(), 768);
  EXPECT_EQ(again->GetTranslucencyMode(), 1);
  EXPECT_FALSE(again->GetOwnsHandle());
  EXPECT_EQ(cache->size(), 1u);
}

TEST_F(CacheTest, AMissingOrBrokenFileTakesTheFallbacksPixelsUnderItsOwnName) {
  WriteSolidPng(file("fallback.png"), 4, 2, {10, 20, 30, 255});
  std::ofstream(file("notapng.png")) << "this is text, not an image";
  {
    // A PNG cut short after its header.
    WriteSolidPng(file("whole.png"), 64, 64, {1, 2, 3, 255});
    std::ifstream in(file("whole.png"), std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::ofstream(file("truncated.png"), std::ios::binary) << bytes.substr(0, 60);
  }
  for (const char* name : {"missing.png", "notapng.png", "truncated.png"}) {
    SCOPED_TRACE(name);
    IconTextureCache::Record record;
    EXPECT_TRUE(LoadPngIcon(*cache, file(name), record, file("fallback.png")));
    EXPECT_EQ(record.width, 4);
    EXPECT_EQ(record.height, 2);
    EXPECT_EQ(ReadTexture(record.name).at(3, 1), (std::array<int, 4>{10, 20, 30, 255}));
    IconTextureCache::Record cached;
    EXPECT_TRUE(cache->find(file(name), cached));
    EXPECT_EQ(cached.name, record.name);
  }
  IconTextureCache::Record notCached;
  EXPECT_FALSE(cache->find(file("fallback.png"), notCached));
  // Broken with no fallback: a blank, as for a missing file.
  IconTextureCache::Record blank;
  EXPECT_FALSE(LoadPngIcon(*cache, file("notapng.png") + "2", blank, ""));
  EXPECT_EQ(blank.width, 1024);
  // A directory does not count as a file.
  IconTextureCache::Record dir;
  EXPECT_FALSE(LoadPngIcon(*cache, base->dir(), dir, ""));
}

TEST_F(CacheTest, EveryPixelLayoutArrivesAsRGBA) {
  struct Case {
    const char* name;
    int components;
    int bits;
    std::array<int, 4> expected;
  };
  const Case cases[] = {
      {"grey.png", 1, 8, {77, 77, 77, 255}},
      {"greyalpha.png", 2, 8, {77, 77, 77, 128}},
      {"rgb.png", 3, 8, {77, 140, 200, 255}},
      {"rgb16.png", 3, 16, {77, 140, 200, 255}},
      {"rgba16.png", 4, 16, {77, 140, 200, 128}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // Width 3 makes RGB rows 9 bytes long: any row-alignment slip shows.
    WritePng(file(c.name), MakeImage(3, 5, c.components, c.bits, [&](int x, int y, int* rgba) {
               rgba[0] = 77;
               rgba[1] = c.components == 2 ? 128 : 140;
               rgba[2] = 200;
               rgba[3] = 128;
               if (x == 2 && y == 4 && c.components >= 3) rgba[0] = 11;
             }));
    IconTextureCache::Record record;
    ASSERT_TRUE(LoadPngIcon(*cache, file(c.name), record, ""));
    TextureContents contents = ReadTexture(record.name);
    EXPECT_EQ(contents.width, 3);
    EXPECT_EQ(contents.height, 5);
    EXPECT_EQ(contents.immutableLevels, 3);
    EXPECT_EQ(contents.at(0, 0), c.expected);
    if (c.components >= 3) {
      EXPECT_EQ(contents.at(2, 4)[0], 11);
    }
  }
  WriteSolidPng(file("one.png"), 1, 1, {9, 9, 9, 255});
  IconTextureCache::Record one;
  ASSERT_TRUE(LoadPngIcon(*cache, file("one.png"), one, ""));
  EXPECT_EQ(ReadTexture(one.name).immutableLevels, 1);
}

TEST_F(CacheTest, TheBlankSizeFollowsSetHudSizeUntilReadHudSize) {
  IconTextureCache::Record record;
  SetHudSize(*cache, 1024, 1600);
  LoadPngIcon(*cache, "LINKED0", record, "");
  EXPECT_EQ(record.width, 1024);
  EXPECT_EQ(record.height, 1600);
  ReadHudSize(*cache);
  LoadPngIcon(*cache, "HUD0", record, "");
  EXPECT_EQ(record.height, 768);
}

TEST_F(CacheTest, SizeSettingsAreClampedToWhatTextureStorageAllows) {
  struct Case {
    const char* config;
    int width;
    int height;
  };
  const Case cases[] = {
      {"hudResolution = 0\n", 1, 1},
      {"hudResolution = -5\nhudAspectRatio = 2\n", 1, 1},
      {"hudAspectRatio = 0\n", 1024, 16384},
      {"hudAspectRatio = -1\n", 1024, 16384},
      {"hudResolution = 100000\nhudAspectRatio = 1\n", 4096, 4096},  // the pixel budget, not just the GL limit
      {"hudResolution = 800\nhudAspectRatio = 2\n", 800, 400},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.config);
    configure(c.config);
    IconTextureCache::Record record;
    CreateBlankTexture(*cache, "HUD0", record);
    EXPECT_EQ(record.width, c.width);
    EXPECT_EQ(record.height, c.height);
    EXPECT_NE(record.name, 0u);
    cache->deleteAllTextures();
  }
}

TEST_F(CacheTest, AnisotropyIsClampedToTheDriversMaximum) {
  configure("textureQuality = 1000\n");
  WriteSolidPng(file("icon.png"), 2, 2, {1, 2, 3, 255});
  IconTextureCache::Record record;
  ASSERT_TRUE(LoadPngIcon(*cache, file("icon.png"), record, ""));
  float maximum = 0, used = 0;
  glGetFloatv(0x84FF /* GL_MAX_TEXTURE_MAX_ANISOTROPY */, &maximum);
  glBindTexture(0x0DE1 /* GL_TEXTURE_2D */, record.name);
  glGetTexParameterfv(0x0DE1, 0x84FE /* GL_TEXTURE_MAX_ANISOTROPY */, &used);
  glBindTexture(0x0DE1, 0);
  EXPECT_GE(maximum, 1.0f);
  EXPECT_EQ(used, maximum);
}

TEST_F(CacheTest, PaletteListsAndTheCurrentImage) {
  EXPECT_FALSE(HasPendingItems(*cache));
  std::vector<vtkSmartPointer<OpenVRTexture>> textures;
  cache->createTexturesA(textures);
  EXPECT_TRUE(textures.empty());

  vtkNew<vtkImageData> empty;
  EXPECT_FALSE(cache->uploadImageA(empty));
  EXPECT_FALSE(HasPendingItems(*cache));
  EXPECT_TRUE(cache->uploadImageA(SolidImage(8, 4, {255, 0, 0, 255})));
  EXPECT_TRUE(HasPendingItems(*cache));
  EXPECT_TRUE(cache->uploadImageA(SolidImage(8, 4, {0, 255, 0, 255})));
  EXPECT_TRUE(cache->uploadImageB(SolidImage(8, 4, {0, 0, 255, 255})));
  EXPECT_TRUE(cache->uploadCurrentImage(SolidImage(8, 4, {255, 255, 255, 0})));
  cache->createTexturesA(textures);
  ASSERT_EQ(textures.size(), 2u);
  EXPECT_EQ(textures[1]->GetTranslucencyMode(), 1);
  EXPECT_EQ(ReadTexture(textures[1]->GetIndex()).at(7, 3), (std::array<int, 4>{0, 255, 0, 255}));
  cache->createTexturesB(textures);
  EXPECT_EQ(textures.size(), 3u);
  vtkSmartPointer<OpenVRTexture> current;
  cache->wrapCurrentTexture(current);
  EXPECT_EQ(current->GetIndex(), cache->currentImage());
  EXPECT_NE(current->GetIndex(), 0u);
}

TEST_F(CacheTest, DeletingAllTexturesEmptiesTheCache) {
  IconTextureCache::Record record;
  LoadPngIcon(*cache, "one", record, "");
  const unsigned int named = record.name;
  cache->uploadImageA(SolidImage(2, 2, {1, 1, 1, 1}));
  cache->uploadImageB(SolidImage(2, 2, {1, 1, 1, 1}));
  cache->uploadCurrentImage(SolidImage(2, 2, {1, 1, 1, 1}));
  const unsigned int current = cache->currentImage();
  cache->deleteAllTextures();
  EXPECT_FALSE(IsTexture(named));
  EXPECT_FALSE(IsTexture(current));
  EXPECT_EQ(cache->size(), 0u);
  EXPECT_EQ(cache->paletteImageCountA(), 0u);
  EXPECT_EQ(cache->paletteImageCountB(), 0u);
  EXPECT_EQ(cache->currentImage(), 0u);
  EXPECT_FALSE(HasPendingItems(*cache));
  EXPECT_FALSE(cache->find("one", record));

  // A texture made afterwards under a recycled name is not deleted by a second call.
  LoadPngIcon(*cache, "two", record, "");
  const unsigned int fresh = record.name;
  IconTextureCache::Record kept = record;
  cache->deleteAllTextures();
  EXPECT_FALSE(IsTexture(fresh));
  (void)kept;
  GLuint probe = 0;
  glGenTextures(1, &probe);
  glBindTexture(GL_TEXTURE_2D, probe);
  glBindTexture(GL_TEXTURE_2D, 0);
  cache->deleteAllTextures();
  EXPECT_TRUE(IsTexture(probe));
  glDeleteTextures(1, &probe);
}

TEST_F(CacheTest, WrapModeFollowsTheRepeatFlag) {
  WriteSolidPng(file("a.png"), 2, 2, {1, 2, 3, 255});
  WriteSolidPng(file("b.png"), 2, 2, {1, 2, 3, 255});
  IconTextureCache::Record a, b;
  cache->setRepeatWrap(false);
  LoadPngIcon(*cache, file("a.png"), a, "");
  cache->setRepeatWrap(true);
  LoadPngIcon(*cache, file("b.png"), b, "");
  GLint wrapA = 0, wrapB = 0;
  float border[4];
  glBindTexture(GL_TEXTURE_2D, a.name);
  glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, &wrapA);
  glGetTexParameterfv(GL_TEXTURE_2D, GL_TEXTURE_BORDER_COLOR, border);
  glBindTexture(GL_TEXTURE_2D, b.name);
  glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, &wrapB);
  glBindTexture(GL_TEXTURE_2D, 0);
  EXPECT_EQ(wrapA, GL_CLAMP_TO_BORDER);
  EXPECT_EQ(wrapB, GL_REPEAT);
  EXPECT_EQ(border[0], 1.0f);
  EXPECT_EQ(border[3], 0.0f);
}

// The palette images are built while other threads may load textures that repeat: they clamp
// to the transparent border whatever the flag says meanwhile.
TEST_F(CacheTest, PaletteImagesClampWhateverTheRepeatFlag) {
  cache->setRepeatWrap(true);
  ASSERT_TRUE(cache->uploadImageA(SolidImage(2, 2, {1, 2, 3, 255})));
  ASSERT_TRUE(cache->uploadCurrentImage(SolidImage(2, 2, {1, 2, 3, 255})));
  std::vector<vtkSmartPointer<OpenVRTexture>> pages;
  cache->createTexturesA(pages);
  ASSERT_EQ(pages.size(), 1u);
  for (unsigned int name : {static_cast<unsigned int>(cache->currentImage()), pages[0]->GetIndex()}) {
    GLint wrapS = 0, wrapT = 0;
    glBindTexture(GL_TEXTURE_2D, name);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, &wrapS);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, &wrapT);
    glBindTexture(GL_TEXTURE_2D, 0);
    EXPECT_EQ(wrapS, GL_CLAMP_TO_BORDER);
    EXPECT_EQ(wrapT, GL_CLAMP_TO_BORDER);
  }
  EXPECT_TRUE(cache->getRepeatWrap());
}

TEST(CacheThreads, TwoThreadsLoadingOneNameKeepOneTexture) {
  ScopedBaseDir base;
  const std::string png = base.dir() + "/shared.png";
  WriteSolidPng(png, 64, 64, {5, 6, 7, 255});
  IconTextureCache cache;
  constexpr int kNames = 24;
  unsigned int seen[2][kNames] = {};
  std::atomic<int> arrived{0};
  const bool ran = RunOnSharedContexts(2, [&](int thread) {
    for (int i = 0; i < kNames; ++i) {
      // Both threads start each name together, so the loads race.
      arrived.fetch_add(1);
      while (arrived.load() < 2 * (i + 1)) std::this_thread::yield();
      vtkSmartPointer<OpenVRTexture> texture;
      cache.getTexture(texture, i % 2 ? png + "#" + std::to_string(i) : png + std::to_string(i), 0, png);
      seen[thread][i] = texture->GetIndex();
    }
  });
  ASSERT_TRUE(ran);
  for (int i = 0; i < kNames; ++i) EXPECT_EQ(seen[0][i], seen[1][i]) << i;
  EXPECT_EQ(cache.size(), static_cast<size_t>(kNames));
  std::set<unsigned int> distinct(&seen[0][0], &seen[0][0] + kNames);
  EXPECT_EQ(distinct.size(), static_cast<size_t>(kNames));
  RunOnSharedContexts(1, [&](int) { cache.deleteAllTextures(); });
}

// A name announced before its texture exists is handed out at its announced size, drawing the
// transparent blank and never loading the file itself; the fill gives every wrapper and
// later lookup the texture. A texture for a name awaiting none is deleted, not leaked.
TEST_F(CacheTest, AnAnnouncedNameIsHandedOutAtItsSizeAndTakesItsTextureOnceFilled) {
  const std::string png = file("icon.png");
  WriteSolidPng(png, 4, 2, {9, 9, 9, 255});
  ASSERT_TRUE(cache->announce(png, 300, 200));
  EXPECT_FALSE(cache->announce(png, 1, 1));
  IconTextureCache::Record record;
  ASSERT_TRUE(cache->find(png, record));
  EXPECT_EQ(record.name, 0u);
  EXPECT_EQ(record.width, 300);
  EXPECT_EQ(record.height, 200);

  vtkSmartPointer<OpenVRTexture> early;
  cache->getTexture(early, png, 1, file("fallback.png"));
  EXPECT_FALSE(early->IsFilled());
  EXPECT_EQ(early->GetWidth(), 300);
  const unsigned int blankName = early->GetIndex();
  const TextureContents blank = ReadTexture(blankName);
  EXPECT_EQ(blank.width, 1);
  EXPECT_EQ(blank.at(0, 0), (std::array<int, 4>{0, 0, 0, 0}));
  EXPECT_EQ(cache->size(), 1u);

  const std::vector<unsigned char> pixels(300 * 200 * 4, 77);
  const unsigned int texture = UploadGlTexture(pixels.data(), 300, 200, 4, false);
  cache->fill(png, texture);
  EXPECT_TRUE(early->IsFilled());
  ASSERT_TRUE(cache->find(png, record));
  EXPECT_EQ(record.name, texture);
  EXPECT_EQ(record.fill, nullptr);
  vtkSmartPointer<OpenVRTexture> late;
  cache->getTexture(late, png, 1);
  EXPECT_TRUE(late->IsFilled());
  EXPECT_EQ(late->GetIndex(), texture);

  for (const char* name : {"icon.png", "never announced"}) {
    const unsigned int stray = UploadGlTexture(pixels.data(), 2, 2, 4, false);
    cache->fill(name == std::string("icon.png") ? png : name, stray);
    EXPECT_FALSE(IsTexture(stray)) << name;
  }
  cache->deleteAllTextures();
  EXPECT_FALSE(IsTexture(blankName));
  EXPECT_FALSE(IsTexture(texture));
}
