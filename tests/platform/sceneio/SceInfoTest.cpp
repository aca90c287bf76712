// The inspector as a user runs it.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "SceneCorpus.h"

namespace {

int run(const std::string& arguments, std::string& output) {
  const std::string command = binDir() + "/sce-info " + arguments + " 2>&1";
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return -1;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
  const int status = ::pclose(pipe);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

TEST(SceInfo, PrintsTheSampleScenesFrameSetsFramesAndData) {
  std::string out;
  ASSERT_EQ(run(binDir() + "/sample_vr.sce", out), 0) << out;
  for (const char* expected :
       {"Canvas:     SceneCanvas_1 \"Flow around a cylinder\"", "Frame sets: 2",
        "Frame set 0: \"Vortex shedding behind a cylinder\", 4 frames", "Frame 3, t = 0.225 s",
        "Frame set 1: \"Steady potential flow\", 1 frame", "48 x 20 x 32 points; scalars pressure; vectors velocity",
        "\"PlaneSection Wake cut\""})
    EXPECT_NE(out.find(expected), std::string::npos) << expected << "\n" << out;
}

TEST(SceInfo, ReportsTheReadersErrorsAndFails) {
  const struct {
    const char* arguments;
    int exitCode;
    const char* expected;
  } cases[] = {{"garbage.sce", 1, "Unknown file format. The file holds binary data"},
               {"being_written.sce", 1, "File is being written, try to open it later."},
               {"broken_record.sce", 1, "Frame 1\n    cannot be loaded: Frame set 'Broken', frame 1"},
               {"traversal.zip", 1, "leads out of its folder"},
               {"--quick broken_record.sce", 0, "Frame set 0: \"Broken\", 6 frames"}};
  for (const auto& c : cases) {
    std::string arguments = c.arguments;
    const size_t space = arguments.rfind(' ');
    arguments = space == std::string::npos ? corpus(arguments)
                                           : arguments.substr(0, space + 1) + corpus(arguments.substr(space + 1));
    std::string out;
    EXPECT_EQ(run(arguments, out), c.exitCode) << c.arguments << "\n" << out;
    EXPECT_NE(out.find(c.expected), std::string::npos) << c.arguments << "\n" << out;
  }
  std::string out;
  EXPECT_EQ(run("", out), 2);
  EXPECT_NE(out.find("usage: sce-info"), std::string::npos);
}
