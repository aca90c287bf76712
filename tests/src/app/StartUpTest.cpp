// The command-line check, the console output, the message handler and the start-up's
// failures on a broken main window. No application object lives in this process: the
// start-up runs in death-test children.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QCoreApplication>
#include <QSurfaceFormat>
#include <QMessageLogContext>
#include <QString>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "Logger.h"
#include "MessageHandler.h"
#include "QtConsoleOutput.h"
#include "RunApplication.h"

namespace {
const char* const kUsage =
    "Usage: 1) quonixvr\n"
    "       2) quonixvr filename.sce\n"
    "       3) quonixvr hostname portnumber\n";

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string tempDir() {
  char pattern[] = "/tmp/quonix-startup-XXXXXX";
  return mkdtemp(pattern) ? pattern : "/tmp";
}
}  // namespace

TEST(CommandLine, UsageIsRequestedExactlyForTheDocumentedCases) {
  struct Case {
    std::vector<std::wstring> arguments;
    bool usage;
  };
  const Case cases[] = {
      {{}, false},
      {{L"--help"}, true},
      {{L"/?"}, true},
      {{L"--HELP"}, false},  // the comparison is exact
      {{L"-help"}, false},
      {{L"scene.sce"}, false},
      // Help asked for with more words.
      {{L"--help", L"47827"}, true},
      {{L"--help", L"x"}, true},
      {{L"/?", L"a", L"b"}, true},
      {{L"--HELP", L"47827"}, false},
      {{L"host", L"--help"}, false},
      {{L"host", L"47827"}, false},
      {{L"host", L"1"}, false},
      {{L"host", L"65535"}, false},
      {{L"host", L"08080"}, false},
      {{L"a", L"b", L"c"}, true},
      {{L"host", L"1", L"2", L"3"}, true},
      // Host and port go on whatever the port says; the opening reports what it cannot use.
      {{L"host", L"0"}, false},
      {{L"host", L"+80"}, false},
      {{L"host", L"70000"}, false},
      {{L"host", L"99999999999999999999"}, false},
      {{L"host", L"-1"}, false},
      {{L"host", L"80x"}, false},
      {{L"host", L""}, false},
  };
  for (const Case& c : cases) {
    std::string shown;
    for (const auto& a : c.arguments) shown += "[" + std::string(a.begin(), a.end()) + "]";
    EXPECT_EQ(IsUsageRequested(c.arguments), c.usage) << shown;
  }
}

TEST(CommandLine, UsageTextIsThreeLines) {
  std::ostringstream out;
  PrintUsage(out);
  EXPECT_EQ(out.str(), kUsage);
}

TEST(CommandLine, UsageExitsWithCodeOneBeforeAnyQtObject) {
  testing::internal::CaptureStdout();
  const int result = RunApplication({L"a", L"b", L"c"});
  EXPECT_EQ(testing::internal::GetCapturedStdout(), kUsage);
  EXPECT_EQ(result, 1);
}

TEST(QtEnvironment, RenderLoopIsThreadedAndTheDefaultFormatIsCoreThreeThree) {
  setenv("QSG_RENDER_LOOP", "basic", 1);  // a value set beforehand is overwritten
  SetUpQtEnvironment();
  EXPECT_STREQ(std::getenv("QSG_RENDER_LOOP"), "threaded");
  const QSurfaceFormat format = QSurfaceFormat::defaultFormat();
  EXPECT_EQ(format.renderableType(), QSurfaceFormat::OpenGL);
  EXPECT_EQ(format.profile(), QSurfaceFormat::CoreProfile);
  EXPECT_EQ(format.majorVersion(), 3);
  EXPECT_EQ(format.minorVersion(), 3);
  EXPECT_TRUE(format.testOption(QSurfaceFormat::DeprecatedFunctions));
  EXPECT_EQ(QCoreApplication::organizationName().toStdString(), "Kelmar Software");
  EXPECT_EQ(QCoreApplication::applicationName().toStdString(), "Mavolin Quonix Virtual Reality");
  EXPECT_EQ(Logger::getSingleton().getFlags() & 12u, 12u);
}

TEST(ConsoleOutput, WriteLineIsOnTheStreamAtOnce) {
  const std::string path = tempDir() + "/log.txt";
  std::ofstream stream(path);
  QtConsoleOutput output(stream);
  output.write("ab");
  output.writeLine("c");
  EXPECT_EQ(readFile(path), "abc\n");  // flushed although the stream is still open
  output.write("no line end");
  output.writeLine("");
  EXPECT_EQ(readFile(path), "abc\nno line end\n");
  std::error_code ignored;
  std::filesystem::remove_all(std::filesystem::path(path).parent_path(), ignored);
}

class MessageHandlerDeathTest : public ::testing::Test {
 protected:
  void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

TEST_F(MessageHandlerDeathTest, WindowDestroyedMessageEndsTheProgramWithCodeZero) {
  EXPECT_EXIT(
      {
        qInstallMessageHandler(&MessageHandler);
        qWarning("External WM_DESTROY received for window 0x1234");
        std::exit(3);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST_F(MessageHandlerDeathTest, OtherMessagesReachTheDefaultHandler) {
  const char* const passed[] = {
      "Note: External WM_DESTROY received for",  // the prefix later in the text
      "External WM_DESTROY received fo",         // one character short
      "external WM_DESTROY received for x",      // compared byte for byte
  };
  for (const char* text : passed) {
    EXPECT_EXIT(
        {
          qputenv("QT_FORCE_STDERR_LOGGING", "1");
          qInstallMessageHandler(&MessageHandler);
          MessageHandler(QtWarningMsg, QMessageLogContext(), QString::fromUtf8(text));
          std::exit(3);
        },
        ::testing::ExitedWithCode(3), text);
  }
}

// The start-up refuses a main window it cannot use, with a clear message and a non-zero code.
class BrokenMainWindowDeathTest : public ::testing::Test {
 protected:
  void SetUp() override {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    dir = tempDir();
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
  }
  QUrl qml(const std::string& name, const std::string& text) {
    std::ofstream(dir + "/" + name) << text;
    return QUrl::fromLocalFile(QString::fromStdString(dir + "/" + name));
  }
  static void run(const QUrl& url) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("XDG_CONFIG_HOME", "/tmp/quonix-startup-settings");
    std::exit(RunApplication({}, url));
  }
  std::string dir;
};

TEST_F(BrokenMainWindowDeathTest, NoRootObject) {
  const QUrl url = qml("Broken.qml", "import QtQuick 2.4\nItem {\n");
  EXPECT_EXIT(run(url), ::testing::ExitedWithCode(kStartUpFailureExitCode),
              "The main window could not be loaded from file://");
}

TEST_F(BrokenMainWindowDeathTest, RootIsNotAWindow) {
  const QUrl url = qml("Item.qml", "import QtQuick 2.4\nItem {}\n");
  EXPECT_EXIT(run(url), ::testing::ExitedWithCode(kStartUpFailureExitCode), "is not a window");
}

TEST_F(BrokenMainWindowDeathTest, NoSceneView) {
  const QUrl url = qml("Window.qml",
                       "import QtQuick 2.4\nimport QtQuick.Window 2.2\nimport SceneView 1.0\n"
                       "Window { SceneView { objectName: \"otherName\" } }\n");
  EXPECT_EXIT(run(url), ::testing::ExitedWithCode(kStartUpFailureExitCode),
              "The main window has no SceneView item named \"sceneView\"");
}
