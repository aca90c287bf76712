// The headset inspector as a user runs it: with a script, and with a headset that fails.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace {

// Runs vrsim-info with the given script; returns its output and exit code.
std::string runInfo(const std::string& script, const std::string& args, int& exitCode) {
  const char* bin = std::getenv("QUONIX_BIN_DIR");
  const fs::path scriptFile = fs::temp_directory_path() / ("vrsim-info-" + std::to_string(::getpid()) + ".txt");
  std::ofstream(scriptFile) << script;
  const std::string command = "QUONIX_VRSIM_SCRIPT='" + scriptFile.string() + "' '" +
                              (bin ? std::string(bin) : std::string(".")) + "/vrsim-info' " + args + " 2>&1";
  std::string output;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return output;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
  const int status = ::pclose(pipe);
  exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  fs::remove(scriptFile);
  return output;
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace

TEST(VrsimInfo, PrintsDevicesPropertiesAndSize) {
  int code = -1;
  const std::string out = runInfo(
      "rate 0\nrender-size 800 900\nleft type \"a/b c\"\nright index none\n"
      "frame 1\nleft press trigger\nfocus captured\n",
      "--frames 1", code);
  EXPECT_EQ(code, 0) << out;
  EXPECT_TRUE(contains(out, "Recommended render size: 800 x 900 per eye")) << out;
  EXPECT_TRUE(contains(out, "Device 0: HMD, connected, pose valid")) << out;
  EXPECT_TRUE(contains(out, "Device 1: Controller, left hand, connected, pose valid")) << out;
  EXPECT_TRUE(contains(out, "Prop_ControllerType_String     = a/b c")) << out;
  EXPECT_FALSE(contains(out, "Device 2:")) << out;
  EXPECT_TRUE(contains(out, "No controller has the right hand role")) << out;
  EXPECT_TRUE(contains(out, "Frame 1: input focus captured;")) << out;
  EXPECT_TRUE(contains(out, "VREvent_ButtonPress device 1 k_EButton_Axis1;")) << out;
  EXPECT_TRUE(contains(out, "left hand: device 1, state, buttons 0x200000000")) << out;
}

TEST(VrsimInfo, ReportsScriptErrorsAndInitFailure) {
  int code = -1;
  const std::string out = runInfo("jump\nfail init 108\n", "", code);
  EXPECT_EQ(code, 1) << out;
  EXPECT_TRUE(contains(out, ":1: unknown command 'jump'")) << out;
  EXPECT_TRUE(contains(out, "Initialisation failed: Hmd Not Found (108)")) << out;
}
