#include <gtest/gtest.h>

#include <filesystem>
#include <algorithm>
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

TEST_F(ConfigTest, MalformedLinesAreSkippedAndTheRestOfTheFileCounts) {
  write("config.ini",
        "paletteWidth = 0.25\r\n"
        "this line is garbage\n"
        "}\n"
        "laserAngle = \"unterminated\n"
        "camera { up = [0, 1, 0] }\n"
        "hudDist = 2\n"
        "broken = [1, 2\n");
  const std::string err = loadCapturingStderr();
  EXPECT_NE(err.find("Parsing config file failed: config.ini, line 2: "), std::string::npos) << err;
  EXPECT_NE(err.find("config.ini, line 3: unexpected '}'"), std::string::npos) << err;
  EXPECT_NE(err.find("config.ini, line 4: "), std::string::npos) << err;
  EXPECT_NE(err.find("config.ini, line 7: "), std::string::npos) << err;
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 4) << err;
  EXPECT_DOUBLE_EQ(GetConfigReal("paletteWidth", 0.1), 0.25);
  EXPECT_DOUBLE_EQ(GetConfigReal("hudDist", 1.5), 2);
  EXPECT_FALSE(getConfig().hasName("broken"));
  EXPECT_TRUE(getConfig().hasName("camera"));
}

// A value of the wrong type reads as absent, with one warning naming the key and its line.
TEST_F(ConfigTest, WrongTypesReadAsAbsentWithOneWarningEach) {
  write("config.ini",
        "resolutionFactor = abc\n"
        "hudResolution = [512, 512]\n"
        "useFog = maybe\n"
        "colorRGB = 0.5\n"
        "name = [a, b]\n"
        "fine = 3\n");
  EXPECT_EQ(loadCapturingStderr(), "");
  testing::internal::CaptureStderr();
  for (int twice = 0; twice < 2; ++twice) {
    EXPECT_DOUBLE_EQ(GetConfigReal("resolutionFactor", 1.0), 1.0);
    EXPECT_EQ(GetConfigInt("hudResolution", 1024), 1024);
    EXPECT_TRUE(GetConfigBool("useFog", true));
    EXPECT_EQ(GetConfigVector3("colorRGB", std::array<double, 3>{0, 0.37, 1}), (std::array<double, 3>{0, 0.37, 1}));
    EXPECT_EQ(getConfigString("name", "x"), "x");
    EXPECT_EQ(GetConfigInt("fine", 0), 3);
    EXPECT_DOUBLE_EQ(GetConfigRealClamped("resolutionFactor", 1.0, 0.1, 4.0), 1.0);
  }
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(err,
            "config.ini, line 1: the value of 'resolutionFactor' is not a number; its default is used\n"
            "config.ini, line 2: the value of 'hudResolution' is not a number; its default is used\n"
            "config.ini, line 3: the value of 'useFog' is not true or false; its default is used\n"
            "config.ini, line 4: the value of 'colorRGB' is not a list of numbers; its default is used\n"
            "config.ini, line 5: the value of 'name' is not a single value; its default is used\n");
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
