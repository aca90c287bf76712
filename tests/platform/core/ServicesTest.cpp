#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "InternalError.h"
#include "Logger.h"
#include "Platform.h"
#include "StringHelper.h"
#include "ZeltAnalytics.h"
#include "ZeltVersion.h"
#include "ZeltviewSiteSettings.h"

TEST(StringHelper, Utf8RoundTripAndInvalidBytes) {
  const std::string utf8 = "Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC \xF0\x9F\x98\x80";
  std::wstring wide = StringHelper::toWString(utf8);
  EXPECT_EQ(wide, L"Gr\u00FC\u00DFe \u20AC \U0001F600");
  EXPECT_EQ(StringHelper::toString(wide), utf8);
  EXPECT_EQ(StringHelper::toWString("a\xFF" "b"), L"a\uFFFDb");
  EXPECT_EQ(StringHelper::toWString("\xC0\xAF"), L"\uFFFD\uFFFD");  // overlong
  EXPECT_EQ(StringHelper::toWString("\xE2\x82"), L"\uFFFD\uFFFD");  // truncated
}

TEST(FileSystem, BaseDirectoryOverrides) {
  OS::FileSystem& fs = Platform::filesystem();
  std::wstring dir;
  unsetenv("QUONIX_BASE_DIR");
  fs.getBaseDirectory(dir);
  EXPECT_EQ(dir, fs.getExecutableDirectory());
  fs.setBaseDirectory(L"/tmp/x/");
  fs.getBaseDirectory(dir);
  EXPECT_EQ(dir, L"/tmp/x");
  setenv("QUONIX_BASE_DIR", "/opt/q", 1);
  fs.getBaseDirectory(dir);
  EXPECT_EQ(dir, L"/opt/q");
  unsetenv("QUONIX_BASE_DIR");
  fs.setBaseDirectory(L"");
  EXPECT_EQ(fs.getPathSeparator(), L'/');
  EXPECT_TRUE(fs.directoryExists(L"/tmp"));
  EXPECT_FALSE(fs.fileExists(L"/tmp"));
  EXPECT_EQ(fs.fileSize(L"/tmp"), -1);
}

TEST(System, EnvironmentIsOverwritten) {
  OS::System& sys = Platform::system();
  setenv("QUONIX_TEST_VAR", "old", 1);
  EXPECT_TRUE(sys.setEnvironmentVariable("QUONIX_TEST_VAR", "new"));
  std::string value;
  ASSERT_TRUE(sys.getEnvironmentVariable("QUONIX_TEST_VAR", value));
  EXPECT_EQ(value, "new");
  sys.unsetEnvironmentVariable("QUONIX_TEST_VAR");
  EXPECT_FALSE(sys.getEnvironmentVariable("QUONIX_TEST_VAR", value));
}

namespace {
struct CaptureOutput : Logger::Output {
  std::ostringstream* sink;
  bool* deleted;
  CaptureOutput(std::ostringstream* s, bool* d) : sink(s), deleted(d) {}
  ~CaptureOutput() override { *deleted = true; }
  void write(const std::string& t) override { *sink << t; }
  void writeLine(const std::string& t) override { *sink << t << '\n'; }
};
}  // namespace

TEST(Logger, FlagsFilterAndOutputIsReplaced) {
  Logger& logger = Logger::getSingleton();
  std::ostringstream first, second;
  bool firstDeleted = false, secondDeleted = false;
  logger.setOutput(new CaptureOutput(&first, &firstDeleted));
  logger.setFlags(Logger::Warning | Logger::Error);
  logger.debug("hidden");
  logger.error("shown");
  EXPECT_EQ(first.str(), "Error: shown\n");
  logger.setOutput(new CaptureOutput(&second, &secondDeleted));
  EXPECT_TRUE(firstDeleted);
  logger.setOutput(nullptr);
  EXPECT_TRUE(secondDeleted);
  logger.error("nowhere");
}

TEST(InternalError, CarriesWhereItFailed) {
  try {
    INTERNAL_CHECK(1 + 1 == 3, "Threading model violation", "SceneView");
    FAIL();
  } catch (const InternalError& e) {
    EXPECT_EQ(e.getMessage(), "Threading model violation");
    EXPECT_EQ(e.getCondition(), "1 + 1 == 3");
    EXPECT_EQ(e.getFile(), "SceneView");
    EXPECT_GT(e.getLine(), 0);
  }
}

TEST(SiteSettings, ReadsSiteIniFromHome) {
  char tmpl[] = "/tmp/quonix-site-XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  std::ofstream(std::string(tmpl) + "/site.ini") << "QualityFeedbackProgram = 1\n";
  ZeltviewSiteSettings& site = ZeltviewSiteSettings::getSingleton();
  site.setApplicationHome(StringHelper::toWString(tmpl));
  EXPECT_EQ(site.getInt("QualityFeedbackProgram", 0), 1);
  EXPECT_EQ(site.getInt("Missing", 7), 7);
  site.setApplicationHome(L"/nonexistent");
  EXPECT_EQ(site.getInt("QualityFeedbackProgram", 0), 0);
}

TEST(Analytics, RecordsEventsLocally) {
  char tmpl[] = "/tmp/quonix-analytics-XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  const std::string log = std::string(tmpl) + "/sub/analytics.log";
  setenv("QUONIX_ANALYTICS_LOG", log.c_str(), 1);
  EXPECT_EQ(ZeltAnalytics::has(), nullptr);
  ZeltAnalytics* a = ZeltAnalytics::create("QUONIX.VIRTUALREALITY", true, 1, "test");
  ASSERT_EQ(ZeltAnalytics::has(), a);
  Properties props;
  props.set("File_Size_In_MiB", 0.5);
  a->logEvent("OPEN_FILE", props);
  ASSERT_EQ(a->events().size(), 1u);
  EXPECT_EQ(a->events()[0].name, "OPEN_FILE");
  std::ifstream in(log);
  std::string line;
  ASSERT_TRUE(std::getline(in, line));
  EXPECT_NE(line.find("OPEN_FILE"), std::string::npos);
  ZeltAnalytics::reset();
  EXPECT_EQ(ZeltAnalytics::has(), nullptr);
  unsetenv("QUONIX_ANALYTICS_LOG");
}

TEST(Version, HasPresentationAndRelease) {
  EXPECT_FALSE(ZeltVersion::_presentationVersion.empty());
  EXPECT_FALSE(ZeltVersion::_releaseNumber.empty());
  ZeltVersion::getSingleton().isDevelopmentVersion();
}

TEST(DynamicLibrary, AMissingLibraryGivesNullWithTheLoadersReasonAndPathsAreRefused) {
  OS::DynamicLibrary& loader = Platform::dynamiclibrary();
  std::wstring error;
  EXPECT_EQ(loader.load(L"QuonixNoSuchLibrary", error, 0), nullptr);
  EXPECT_NE(StringHelper::toString(error).find("libQuonixNoSuchLibrary.so"), std::string::npos)
      << StringHelper::toString(error);
  // A name, not a path: nothing outside the program's folder and the search path is opened.
  EXPECT_EQ(loader.load(L"../lib/evil", error, 0), nullptr);
  EXPECT_FALSE(error.empty());
}
