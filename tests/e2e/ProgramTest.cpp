// The real program, build/bin/quonixvr, as a user runs it: its usage text and exit codes, its
// window under the X display, its configuration message, its ways to end, and the server
// dialog's hosts and port across runs. Keyboard input goes through xdotool.
#include <gtest/gtest.h>

#include <QSettings>
#include <QString>

#include <chrono>
#include <csignal>
#include <thread>
#include <map>
#include <string>
#include <vector>

#include "ProgramProcess.h"

namespace {
const char* const kTitle = "Mavolin Quonix Virtual Reality";
const char* const kUsage =
    "Usage: 1) quonixvr\n"
    "       2) quonixvr filename.sce\n"
    "       3) quonixvr hostname portnumber\n";

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) GTEST_SKIP() << "needs a display (run under xvfb-run)";
    settingsHome = makeTempDir();
  }
  // The program with this test's settings folder and the given extra environment.
  std::map<std::string, std::string> environment(std::map<std::string, std::string> extra = {}) const {
    extra["XDG_CONFIG_HOME"] = settingsHome;
    return extra;
  }
  std::string settingsFile() const {
    return settingsHome + "/Kelmar Software/Mavolin Quonix Virtual Reality.conf";
  }
  std::string settingsHome;
};

const std::string kTitlePattern = std::string("^") + kTitle + "$";
}  // namespace

TEST_F(ProgramTest, UsageTextAndExitCodeOne) {
  const std::vector<std::vector<std::string>> cases = {
      // Help asked for, also with more words; more than two arguments. (A host with any port goes
      // on: the opening reports a port it cannot use.)
      {"--help"}, {"/?"}, {"a", "b", "c"}, {"--help", "x"}, {"--help", "47827"}, {"/?", "a", "b"},
  };
  for (const auto& arguments : cases) {
    std::string shown;
    for (const auto& a : arguments) shown += "[" + a + "]";
    Program program(arguments, environment());
    ASSERT_TRUE(program.started());
    ASSERT_TRUE(program.wait()) << shown;
    EXPECT_TRUE(program.exitedNormally()) << shown;
    EXPECT_EQ(program.exitCode(), 1) << shown;
    EXPECT_EQ(program.out(), kUsage) << shown;
    EXPECT_EQ(program.err(), "") << shown;
  }
}

TEST_F(ProgramTest, WindowOpensAndTerminationEndsCleanly) {
  const std::vector<std::vector<std::string>> cases = {{}, {"--HELP"}, {"--HELP", "47827"}};
  for (const auto& arguments : cases) {
    std::string shown;
    for (const auto& a : arguments) shown += "[" + a + "]";
    Program program(arguments, environment());
    ASSERT_TRUE(program.started());
    const std::string window = program.waitForWindow(kTitlePattern);
    ASSERT_FALSE(window.empty()) << shown << "\n" << program.err();
    // A server connection's reset shows its status in the title for a moment.
    std::string title;
    for (int i = 0; i < 50 && (title = shell("xdotool getwindowname " + window)) != kTitle; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(title, kTitle);
    program.signal(SIGTERM);
    ASSERT_TRUE(program.wait()) << shown;
    EXPECT_TRUE(program.exitedNormally()) << shown;
    EXPECT_EQ(program.exitCode(), 0) << shown;
    EXPECT_EQ(program.out().find("Usage"), std::string::npos) << shown;
    // The configuration beside the program was found.
    EXPECT_EQ(countLines(program.err(), "config.ini could not be opened"), 0) << program.err();
  }
}

TEST_F(ProgramTest, InterruptEndsCleanly) {
  Program program({}, environment());
  ASSERT_FALSE(program.waitForWindow(kTitlePattern).empty());
  program.signal(SIGINT);
  ASSERT_TRUE(program.wait());
  EXPECT_TRUE(program.exitedNormally());
  EXPECT_EQ(program.exitCode(), 0);
}

TEST_F(ProgramTest, MissingConfigurationIsReportedOnce) {
  const std::string emptyBase = makeTempDir();
  Program program({}, environment({{"QUONIX_BASE_DIR", emptyBase}}));
  ASSERT_FALSE(program.waitForWindow(kTitlePattern).empty()) << program.err();
  program.signal(SIGTERM);
  ASSERT_TRUE(program.wait());
  EXPECT_EQ(program.exitCode(), 0);
  EXPECT_EQ(countLines(program.err(), "config.ini could not be opened"), 1) << program.err();
}

TEST_F(ProgramTest, QuitShortcutEndsCleanly) {
  Program program({}, environment());
  const std::string window = program.waitForWindow(kTitlePattern);
  ASSERT_FALSE(window.empty());
  Program::settle();
  Program::keys(window, "ctrl+q");
  ASSERT_TRUE(program.wait());
  EXPECT_TRUE(program.exitedNormally());
  EXPECT_EQ(program.exitCode(), 0);
}

TEST_F(ProgramTest, ServerDialogRemembersHostsAndPortAcrossRuns) {
  // Connects through File/Connect (Ctrl+C) by keyboard, as a user would.
  auto connectTo = [](Program& program, const std::string& window, const std::string& host, const char* port) {
    Program::keys(window, "ctrl+c");
    const std::string dialog = program.waitForWindow("server dialog$");
    ASSERT_FALSE(dialog.empty()) << "no server dialog";
    Program::settle();
    Program::keys(dialog, "ctrl+a");
    Program::type(dialog, host);
    if (port) {
      Program::keys(dialog, "Tab ctrl+a");
      Program::type(dialog, port);
      Program::keys(dialog, "Tab");
    }
    Program::keys(dialog, "Return");
    ASSERT_TRUE(program.waitForWindowGone("server dialog$"));
    // No server answers under these names: the error box comes up, window-modal, and is
    // closed as a user would before the next connect.
    const std::string logged = "Error connecting to host: " + host;
    for (int i = 0; i < 300 && program.err().find(logged) == std::string::npos; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_NE(program.err().find(logged), std::string::npos) << program.err();
    std::string box;
    for (int i = 0; i < 100 && box.empty(); ++i) {
      for (const std::string& w : program.windows(kTitlePattern))
        if (w != window) box = w;
      if (box.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ASSERT_FALSE(box.empty()) << "no error box";
    Program::settle();
    Program::keys(box, "Return");
    for (int i = 0; i < 50 && program.windows(kTitlePattern).size() > 1; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
  };

  {
    Program first({}, environment());
    const std::string window = first.waitForWindow(kTitlePattern);
    ASSERT_FALSE(window.empty());
    Program::settle();
    connectTo(first, window, "alpha.example", "5555");
    connectTo(first, window, "bravo.example", nullptr);
    connectTo(first, window, "charlie.example", nullptr);
    Program::keys(window, "ctrl+q");
    ASSERT_TRUE(first.wait());
    EXPECT_EQ(first.exitCode(), 0);
  }
  {
    QSettings saved(QString::fromStdString(settingsFile()), QSettings::IniFormat);
    EXPECT_EQ(saved.value("serverConnection/port").toInt(), 5555);
  }
  {
    Program second({}, environment());
    const std::string window = second.waitForWindow(kTitlePattern);
    ASSERT_FALSE(window.empty());
    Program::settle();
    connectTo(second, window, "delta.example", nullptr);
    connectTo(second, window, "echo.example", nullptr);
    connectTo(second, window, "foxtrot.example", nullptr);
    second.signal(SIGTERM);
    ASSERT_TRUE(second.wait());
    EXPECT_EQ(second.exitCode(), 0);
  }
  QSettings saved(QString::fromStdString(settingsFile()), QSettings::IniFormat);
  EXPECT_EQ(saved.value("serverConnection/serializedData").toString().toStdString(),
            "[{\"text\":\"foxtrot.example\"},{\"text\":\"echo.example\"},{\"text\":\"delta.example\"},"
            "{\"text\":\"charlie.example\"},{\"text\":\"bravo.example\"}]");
  EXPECT_EQ(saved.value("serverConnection/port").toInt(), 5555);
}
