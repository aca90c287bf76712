// Compressed scenes: unpacked into a private folder, never outside it, within the limits,
// and the folder goes with the reader.
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "SceneArchive.h"
#include "SceneCorpus.h"
#include "SceneFormatHandler.h"
#include "kvg/DrawableSession.h"
#include "kvg/RendererObjectRegistryBase.h"
#include "kvg/SDBReader.h"

namespace {

bool exists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

std::vector<std::string> entriesOf(const std::string& folder) {
  std::vector<std::string> names;
  if (DIR* d = ::opendir(folder.c_str())) {
    while (dirent* e = ::readdir(d))
      if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") names.push_back(e->d_name);
    ::closedir(d);
  }
  return names;
}

// Every test unpacks into a temporary folder of its own, which must end empty.
class Archives : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* old = std::getenv("TMPDIR");
    oldTmp = old ? old : "";
    char templ[] = "/tmp/quonix-archive-test-XXXXXX";
    ASSERT_NE(::mkdtemp(templ), nullptr);
    tmp = templ;
    ::setenv("TMPDIR", tmp.c_str(), 1);
    defaults = SceneFormatHandler::getLimits();
  }
  void TearDown() override {
    SceneFormatHandler::setLimits(defaults);
    SceneFormatHandler::removeUnpackedScenes();
    EXPECT_TRUE(entriesOf(tmp).empty()) << "left behind in " << tmp;
    ::rmdir(tmp.c_str());
    if (oldTmp.empty())
      ::unsetenv("TMPDIR");
    else
      ::setenv("TMPDIR", oldTmp.c_str(), 1);
  }
  std::string tmp, oldTmp;
  SceneFormatHandler::Limits defaults;
};

}  // namespace

TEST_F(Archives, ACompressedSceneOpensAndItsFolderGoesWithTheReader) {
  for (const char* file : {"compressed.sce", "compressed.tar.gz"}) {
    std::string error;
    std::wstring scene = SceneFormatHandler::convertZippedScene(wide(corpus(file)), error);
    ASSERT_FALSE(scene.empty()) << file << ": " << error;
    const std::string path = StringHelper::toString(scene);
    EXPECT_EQ(path.compare(0, tmp.size() + 1, tmp + "/"), 0) << path;
    EXPECT_TRUE(SceneFormatHandler::isUnpackedScene(scene));
    ASSERT_EQ(SceneFormatHandler::getUnpackedFolders().size(), 1u);
    const std::string folder = SceneFormatHandler::getUnpackedFolders()[0];
    struct stat st;
    ASSERT_EQ(::stat(folder.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    {
      kvg::SDBReader reader;
      ASSERT_EQ(reader.open(scene), 0) << reader.getLastError();
      kvg::DrawableSession session(kvg::RendererObjectRegistryBase::getNextHandle(0), -1);
      kvg::RendererNodeStream stream(session);
      Properties record;
      reader.getFrameRecord(0, 0, record);
      EXPECT_TRUE(reader.loadRecord(record, stream)) << reader.getLastError();
    }
    EXPECT_FALSE(exists(folder)) << folder;
    EXPECT_TRUE(SceneFormatHandler::getUnpackedFolders().empty());
  }
}

TEST_F(Archives, CraftedArchivesAreRefusedAndWriteNothingOutside) {
  const std::string absoluteTarget = "/tmp/quonix_absolute_from_archive.txt";
  const std::string linkTarget = "/tmp/quonix_through_link.txt";
  ::unlink(absoluteTarget.c_str());
  ::unlink(linkTarget.c_str());
  const struct {
    const char* file;
    const char* message;
  } cases[] = {{"traversal.zip", "leads out of its folder"},
               {"absolute.tar.gz", "names an absolute path"},
               {"symlink.tar.gz", "is not a plain file or folder"},
               {"two_scenes.zip", "more than one scene file"},
               {"no_scene.zip", "no scene file"},
               {"garbage.sce", "Cannot read the archive"}};
  for (const auto& c : cases) {
    std::string error;
    EXPECT_TRUE(SceneFormatHandler::convertZippedScene(wide(corpus(c.file)), error).empty()) << c.file;
    EXPECT_NE(error.find(c.message), std::string::npos) << c.file << ": " << error;
    EXPECT_TRUE(SceneFormatHandler::getUnpackedFolders().empty()) << c.file;
    EXPECT_TRUE(entriesOf(tmp).empty()) << c.file;
  }
  EXPECT_FALSE(exists(absoluteTarget));
  EXPECT_FALSE(exists(linkTarget));
  // The one-argument form keeps the reason for the calling thread.
  EXPECT_TRUE(SceneFormatHandler::convertZippedScene(wide(corpus("traversal.zip"))).empty());
  EXPECT_NE(SceneFormatHandler::getLastError().find("leads out of its folder"), std::string::npos);
}

TEST_F(Archives, LimitsOnEntriesSizesAndTotalAreKept) {
  const struct {
    const char* file;
    SceneFormatHandler::Limits limits;
    const char* message;
  } cases[] = {
      {"many_entries.zip", {100, uint64_t(1) << 30, uint64_t(1) << 30}, "more than 100 entries"},
      {"oversized.zip", {1000, uint64_t(1) << 20, uint64_t(1) << 30}, "larger than 1048576 bytes"},
      {"oversized.zip", {1000, uint64_t(1) << 30, uint64_t(2) << 20}, "unpacks to more than 2097152 bytes"},
  };
  for (const auto& c : cases) {
    SceneFormatHandler::setLimits(c.limits);
    std::string error;
    EXPECT_TRUE(SceneFormatHandler::convertZippedScene(wide(corpus(c.file)), error).empty()) << c.file;
    EXPECT_NE(error.find(c.message), std::string::npos) << c.file << ": " << error;
    EXPECT_TRUE(entriesOf(tmp).empty()) << c.file;
  }
  // Within the default limits both archives unpack.
  SceneFormatHandler::setLimits(defaults);
  for (const char* file : {"many_entries.zip", "oversized.zip"}) {
    std::string error;
    EXPECT_FALSE(SceneFormatHandler::convertZippedScene(wide(corpus(file)), error).empty()) << error;
  }
  EXPECT_EQ(SceneFormatHandler::getUnpackedFolders().size(), 2u);
  SceneFormatHandler::removeUnpackedScenes();
  EXPECT_TRUE(entriesOf(tmp).empty());
}

TEST(SceneArchive, EntryPathsStayInsideTheirFolder) {
  const struct {
    const char* name;
    bool accepted;
    std::vector<std::string> parts;
  } cases[] = {{"a/b.sce", true, {"a", "b.sce"}},
               {"./a//b", true, {"a", "b"}},
               {"a\\b", true, {"a", "b"}},
               {"a/../b", false, {}},
               {"..\\x", false, {}},
               {"/etc/passwd", false, {}},
               {"C:/x", false, {}},
               {"", false, {}},
               {"./", false, {}}};
  for (const auto& c : cases) {
    std::vector<std::string> parts;
    std::string error;
    EXPECT_EQ(SceneArchive::splitEntryPath(c.name, parts, error), c.accepted) << c.name;
    if (c.accepted) {
      EXPECT_EQ(parts, c.parts) << c.name;
    } else {
      EXPECT_FALSE(error.empty()) << c.name;
    }
  }
}
