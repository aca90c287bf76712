#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <vtkImageData.h>

#include "Configuration.h"
#include "IconPreload.h"
#include "IconTextureCache.h"
#include "Logger.h"
#include "VrTestSupport.h"

namespace {

class PreloadTest : public ::testing::Test {
 protected:
  GlWindow gl;
  ScopedBaseDir base;
  IconTextureCache cache;
  std::string A = base.assets();
  int paletteBuilds = 0;
  std::string palettePath;
  PaletteImageBuild countingBuilder = [this](IconTextureCache& c, const std::string& path) {
    ++paletteBuilds;
    palettePath = path;
    c.uploadImageA(SolidImage(2, 2, {1, 2, 3, 255}));
  };

  void TearDown() override { cache.deleteAllTextures(); }
  void touch(const std::string& name, std::array<int, 4> rgba = {100, 100, 100, 255}) {
    WriteSolidPng(A + name, 2, 2, rgba);
  }
  bool cached(const std::string& name, IconTextureCache::Record* out = nullptr) {
    IconTextureCache::Record record;
    const bool hit = cache.find(name, record);
    if (out) *out = record;
    return hit;
  }
};

}  // namespace

TEST_F(PreloadTest, QuickStartPagesStopAtTheFirstGap) {
  touch("QuickStart0.png");
  touch("QuickStart1.png");
  touch("QuickStart3.png");
  std::vector<std::string> names = PreloadIconFileNames(A);
  EXPECT_EQ(std::count(names.begin(), names.end(), A + "QuickStart0.png"), 1);
  EXPECT_EQ(std::count(names.begin(), names.end(), A + "QuickStart1.png"), 1);
  EXPECT_EQ(std::count(names.begin(), names.end(), A + "QuickStart3.png"), 0);
  // The fixed names come first and last, in their order.
  EXPECT_EQ(names.front(), A + "lookingglass2.png");
  EXPECT_EQ(names[10], A + "right.png");
  EXPECT_EQ(names[11], A + "QuickStart0.png");
  EXPECT_EQ(names.back(), A + "Link2.png");
  EXPECT_EQ(names.size(), 11u + 2u + 13u);

  PreloadIconTextures(&cache, A + "floor.png", A + "ceiling.png", countingBuilder);
  EXPECT_TRUE(cached(A + "QuickStart1.png"));
  EXPECT_FALSE(cached(A + "QuickStart3.png"));
}

TEST_F(PreloadTest, TouchPadLabelsFallBackToTheirUndefinedImage) {
  touch("LeftNorthUndefined.png", {1, 2, 3, 255});
  touch("LeftEastSouth.png");
  std::vector<std::string> names = PreloadIconFileNames(A);
  // All six left-north states resolve to the one "Undefined" image.
  EXPECT_EQ(std::count(names.begin(), names.end(), A + "LeftNorthUndefined.png"), 6);
  // Left-east has a South image and no fallback: only that one.
  EXPECT_EQ(std::count(names.begin(), names.end(), A + "LeftEastSouth.png"), 1);
  EXPECT_EQ(std::count_if(names.begin(), names.end(),
                          [&](const std::string& n) { return n.rfind(A + "LeftEast", 0) == 0; }),
            1);
  // Neither file for the right hand: nothing at all.
  EXPECT_EQ(std::count_if(names.begin(), names.end(),
                          [&](const std::string& n) { return n.rfind(A + "Right", 0) == 0 && n != A + "right.png"; }),
            0);
  PreloadIconTextures(&cache, A + "floor.png", A + "ceiling.png", countingBuilder);
  IconTextureCache::Record record;
  ASSERT_TRUE(cached(A + "LeftNorthUndefined.png", &record));
  EXPECT_EQ(record.width, 2);
  EXPECT_FALSE(cached(A + "LeftNorthWest.png"));
}

TEST_F(PreloadTest, RenderTargetsAreBlankOfTheirSizesAndMissingIconsBlankOfTheHudSize) {
  // A file named like a render target in the working directory is not read.
  std::ofstream("HUD0") << "not an image";
  PreloadIconTextures(&cache, A + "floor.png", A + "ceiling.png", countingBuilder);
  std::remove("HUD0");
  IconTextureCache::Record record;
  for (const char* name : {"HUD0", "HUD1"}) {
    ASSERT_TRUE(cached(name, &record)) << name;
    EXPECT_EQ(record.width, 1024);
    EXPECT_EQ(record.height, 768);
  }
  for (const char* name : {"LINKED0", "LINKED1"}) {
    ASSERT_TRUE(cached(name, &record)) << name;
    EXPECT_EQ(record.width, 1024);
    EXPECT_EQ(record.height, 1600);
  }
  ASSERT_TRUE(cached(A + "Updating2.png", &record));
  EXPECT_EQ(record.height, 768);
  // Icons clamp to a transparent border; the floor texture, loaded last, repeats.
  EXPECT_TRUE(cache.getRepeatWrap());
  // The blank size is the HUD size again afterwards.
  IconTextureCache::Record later;
  LoadPngIcon(cache, "later", later, "");
  EXPECT_EQ(later.height, 768);
}

TEST_F(PreloadTest, PaletteIsBuiltOnlyWhileTheCacheHasNone) {
  PreloadIconTextures(&cache, A + "floor.png", A + "ceiling.png", countingBuilder);
  EXPECT_EQ(paletteBuilds, 1);
  EXPECT_EQ(palettePath, A + "PaletteVersion9.png");
  touch("floor2.png");
  PreloadIconTextures(&cache, A + "floor2.png", A + "ceiling.png", countingBuilder);
  EXPECT_EQ(paletteBuilds, 1);
  EXPECT_TRUE(cached(A + "floor2.png"));
}

TEST_F(PreloadTest, AMissingFloorTextureTakesTheDefaultTexturesPixels) {
  WriteSolidPng(A + "hex-texture.png", 8, 4, {40, 50, 60, 255});
  touch("ceiling.png", {7, 7, 7, 255});
  PreloadIconTextures(&cache, A + "nofloor.png", A + "ceiling.png", countingBuilder);
  IconTextureCache::Record floor, ceiling;
  ASSERT_TRUE(cached(A + "nofloor.png", &floor));
  EXPECT_EQ(floor.width, 8);
  EXPECT_EQ(floor.height, 4);
  EXPECT_EQ(ReadTexture(floor.name).at(0, 0), (std::array<int, 4>{40, 50, 60, 255}));
  ASSERT_TRUE(cached(A + "ceiling.png", &ceiling));
  EXPECT_EQ(ReadTexture(ceiling.name).at(0, 0), (std::array<int, 4>{7, 7, 7, 255}));
  EXPECT_FALSE(cached(A + "hex-texture.png"));
}

// A room texture that config.ini names but that cannot be read leaves the floor and ceiling with
// the built-in texture's pixels, not blank, and the log names the file once however often the
// room is set up.
TEST_F(PreloadTest, AnUnreadableConfiguredRoomTextureFallsBackToTheBuiltInOneSayingSoOnce) {
  WriteSolidPng(A + "hex-texture.png", 8, 4, {40, 50, 60, 255});
  std::ofstream(A + "notes.png") << "not an image";
  const struct {
    const char* configured;
    std::string message;
  } cases[] = {
      {"stone.png", "The room texture '" + A + "stone.png' named by defaultTexFileName in config.ini does not exist; "
                    "the built-in hex-texture.png is used instead."},
      {"notes.png", "'" + A + "notes.png' named by defaultTexFileName in config.ini is no PNG image"},
      {"st\xffone.png", "named by defaultTexFileName in config.ini is not valid UTF-8"},
  };
  struct Captured : Logger::Output {
    explicit Captured(std::string& text) : text(text) {}
    void write(const std::string& t) override { text += t; }
    void writeLine(const std::string& t) override { text += t + "\n"; }
    std::string& text;
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.configured);
    std::ofstream(base.dir() + "/config.ini") << "defaultTexFileName = \"" << c.configured << "\"\n";
    reloadConfigForTesting();
    std::string log;
    Logger::getSingleton().setOutput(new Captured(log));
    const std::string floor = A + c.configured;
    PreloadIconImages(&cache, floor, floor);
    EXPECT_EQ(GetRoomTextureFallback(), A + "hex-texture.png");
    Logger::getSingleton().setOutput(nullptr);
    IconTextureCache::Record record;
    ASSERT_TRUE(cached(floor, &record));
    EXPECT_EQ(ReadTexture(record.name).at(0, 0), (std::array<int, 4>{40, 50, 60, 255}));
    const size_t at = log.find(c.message);
    EXPECT_NE(at, std::string::npos) << log;
    EXPECT_EQ(log.find("The room texture", at + 1), std::string::npos) << log;
  }
}

// The announcement reads only the files' headers: every image is cached at its size before any
// texture is made, a missing one at the HUD size; the large panels come after the icons, and the
// fill then makes each from its file, a file that fails to decode as a blank of the announced size.
TEST_F(PreloadTest, AnnouncedImagesHaveTheirSizesBeforeTheFillMakesThem) {
  WriteSolidPng(A + "lookingglass2.png", 6, 4, {200, 10, 10, 255});
  WriteSolidPng(A + "QuickStart0.png", 1024, 768, {1, 2, 3, 255});
  WriteSolidPng(A + "left.png", 8, 8, {5, 5, 5, 255});
  // A PNG whose header is whole but whose pixel data is cut off.
  std::ifstream in(A + "left.png", std::ios::binary);
  const std::string whole((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  in.close();
  std::ofstream(A + "left.png", std::ios::binary) << whole.substr(0, whole.size() - 16);
  const AnnouncedImages images = AnnounceIconImages(&cache, A + "floor.png", A + "ceiling.png");
  auto has = [](const std::vector<AnnouncedImage>& list, const std::string& name) {
    return std::any_of(list.begin(), list.end(), [&](const AnnouncedImage& i) { return i.name == name; });
  };
  struct Case {
    std::string name;
    int width, height;
    bool first;
  };
  const Case cases[] = {{"HUD0", 1024, 768, true},
                        {A + "lookingglass2.png", 6, 4, true},
                        {A + "left.png", 8, 8, true},
                        {A + "Updating2.png", 1024, 768, false},  // missing here: a blank of the HUD size
                        {A + "QuickStart0.png", 1024, 768, false},
                        {"LINKED1", 1024, 1600, false}};
  IconTextureCache::Record record;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(cached(c.name, &record));
    EXPECT_EQ(record.name, 0u);
    EXPECT_EQ(record.width, c.width);
    EXPECT_EQ(record.height, c.height);
    EXPECT_EQ(has(images.first, c.name), c.first);
    EXPECT_EQ(has(images.later, c.name), !c.first);
  }
  // The room's textures are made at once.
  ASSERT_TRUE(cached(A + "floor.png", &record));
  EXPECT_NE(record.name, 0u);

  FillIconImages(&cache, images.first);
  FillIconImages(&cache, images.later);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(cached(c.name, &record));
    ASSERT_NE(record.name, 0u);
    const TextureContents contents = ReadTexture(record.name);
    EXPECT_EQ(contents.width, c.width);
    EXPECT_EQ(contents.height, c.height);
  }
  ASSERT_TRUE(cached(A + "lookingglass2.png", &record));
  EXPECT_EQ(ReadTexture(record.name).at(0, 0), (std::array<int, 4>{200, 10, 10, 255}));
  ASSERT_TRUE(cached(A + "left.png", &record));
  EXPECT_EQ(ReadTexture(record.name).at(0, 0), (std::array<int, 4>{0, 0, 0, 0}));
}
