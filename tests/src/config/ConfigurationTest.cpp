#include <gtest/gtest.h>

#include <filesystem>
#include <atomic>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "Configuration.h"
#include "Platform.h"
#include "StringHelper.h"

namespace {
// A fresh base directory per test, with optional "config.ini" text.
class ConfigTest : public ::testing::Test {
 protected:
  std::string dir;
  void SetUp() override {
    char tmpl[] = "/tmp/quonix-config-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
    setenv("QUONIX_BASE_DIR", dir.c_str(), 1);
  }
  void TearDown() override {
    unsetenv("QUONIX_BASE_DIR");
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
  }
  void write(const std::string& name, const std::string& text) { std::ofstream(dir + "/" + name) << text; }
  std::string loadCapturingStderr() {
    testing::internal::CaptureStderr();
    reloadConfigForTesting();
    return testing::internal::GetCapturedStderr();
  }
};
}  // namespace

TEST_F(ConfigTest, MissingFileReportsOnceAndDefaultsApply) {
  EXPECT_EQ(loadCapturingStderr(), "config.ini could not be opened\n");
  EXPECT_FALSE(getConfig().hasName("resolutionFactor"));
  EXPECT_DOUBLE_EQ(GetConfigReal("resolutionFactor", 1.0), 1.0);
}

TEST_F(ConfigTest, MalformedFileKeepsEntriesBeforeTheError) {
  write("config.ini", "paletteWidth = 0.25\r\nbroken = [1, 2\n");
  EXPECT_EQ(loadCapturingStderr(), "Parsing config file failed\n");
  EXPECT_DOUBLE_EQ(GetConfigReal("paletteWidth", 0.1), 0.25);
}

TEST_F(ConfigTest, ReadersFollowTheUseSitePattern) {
  write("config.ini", "useFog = false\nlevel = 3\nname = abc\nwidth = 2.5\nbad = word\n");
  EXPECT_EQ(loadCapturingStderr(), "");
  EXPECT_FALSE(GetConfigBool("useFog", true));
  EXPECT_EQ(GetConfigInt("level", 0), 3);
  EXPECT_EQ(getConfigString("name", "x"), "abc");
  EXPECT_EQ(getConfigString("absent", "x"), "x");
  EXPECT_DOUBLE_EQ(GetConfigRealClamped("width", 1.0, 0.0, 2.0), 2.0);
  EXPECT_EQ(GetConfigIntClamped("level", 1, 4, 8), 4);
}

TEST_F(ConfigTest, Vector3TakesLeadingValues) {
  write("config.ini", "two = [0.1, 0.2]\nfour = [1, 2, 3, 4]\nempty = []\ntext = [a, b]\n");
  loadCapturingStderr();
  const double def[3] = {0.6, 0.6, 0.625};
  struct Case {
    const char* key;
    std::array<double, 3> expected;
  } cases[] = {
      {"two", {0.1, 0.2, 0.625}},
      {"four", {1, 2, 3}},
      {"empty", {0.6, 0.6, 0.625}},
      {"text", {0.6, 0.6, 0.625}},
      {"ceilFogColorRGB", {0.6, 0.6, 0.625}},
  };
  for (const Case& c : cases) EXPECT_EQ(GetConfigVector3(c.key, def), c.expected) << c.key;
}

TEST_F(ConfigTest, MergeAddsAndReplaces) {
  write("config.ini", "a = 1\nb = 1\n");
  loadCapturingStderr();
  write("vive_controller.ini", "b = 2\nc = 3\n");
  testing::internal::CaptureStderr();
  EXPECT_FALSE(mergeConfigFile("missing.ini"));
  EXPECT_TRUE(mergeConfigFile("vive_controller.ini"));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(GetConfigInt("a", 0), 1);
  EXPECT_EQ(GetConfigInt("b", 0), 2);
  EXPECT_EQ(GetConfigInt("c", 0), 3);
}

TEST_F(ConfigTest, AssetFolderEndsWithSeparator) {
  EXPECT_EQ(getVRAssetsDir(), dir + "/vrassets/");
}

TEST_F(ConfigTest, ReadersDuringMergesSeeWholeValues) {
  write("config.ini", "shared = [1, 1, 1]\n");
  loadCapturingStderr();
  write("a.ini", "shared = [2, 2, 2]\n");
  write("b.ini", "shared = [3, 3, 3]\n");
  std::atomic<bool> done{false};
  std::atomic<int> torn{0};
  std::thread reader([&] {
    const double def[3] = {0, 0, 0};
    while (!done) {
      auto v = GetConfigVector3("shared", def);
      if (v[0] != v[1] || v[1] != v[2] || v[0] == 0) ++torn;
    }
  });
  for (int i = 0; i < 300; ++i) mergeConfigFile(i % 2 ? "a.ini" : "b.ini");
  done = true;
  reader.join();
  EXPECT_EQ(torn, 0);
}
