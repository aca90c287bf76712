// ZeltVrApplication::notify: whatever escapes an event becomes the error box, shown on the GUI
// thread, and the event loop ends with code 0.
#include <gtest/gtest.h>

#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFont>
#include <QThread>
#include <QTimer>

#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "InternalError.h"
#include "Logger.h"
#include "RunApplication.h"
#include "ZeltVrApplication.h"
#include "kvg/FreeTypeFontManager.h"

namespace {
// Records the boxes instead of showing them.
class TestApplication : public ZeltVrApplication {
 public:
  TestApplication(int& argc, char** argv) : ZeltVrApplication(argc, argv) {}
  struct Box {
    QString text;
    bool onGuiThread;
  };
  std::vector<Box> boxes;

 protected:
  void showErrorBox(const QString& text) override {
    boxes.push_back({text, QThread::currentThread() == thread()});
  }
};

// Throws what it was told to when it receives a user event.
class Thrower : public QObject {
 public:
  enum Kind { Standard, Internal, Integer, Nothing };
  explicit Thrower(Kind kind) : _kind(kind) {}
  bool handled = false;

 protected:
  bool event(QEvent* e) override {
    if (e->type() != QEvent::User) return QObject::event(e);
    switch (_kind) {
      case Standard:
        throw std::runtime_error("abc");
      case Internal:
        throw InternalError("Threading model violation", "_activeIndex == 0", "SceneView", 12);
      case Integer:
        throw 42;
      case Nothing:
        break;
    }
    handled = true;
    return true;
  }

 private:
  Kind _kind;
};

class CapturedLog : public Logger::Output {
 public:
  explicit CapturedLog(std::string& into) : _into(into) {}
  void write(const std::string& text) override { _into += text; }
  void writeLine(const std::string& text) override { _into += text + "\n"; }

 private:
  std::string& _into;
};

class ApplicationTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 0;
    app = new TestApplication(argc, nullptr);
  }
  static void TearDownTestSuite() {
    delete app;
    app = nullptr;
  }
  void SetUp() override { app->boxes.clear(); }

  // Posts the event from inside the loop and runs the loop.
  static int runWithEventFor(QObject* receiver) {
    QTimer::singleShot(0, [receiver] { QCoreApplication::postEvent(receiver, new QEvent(QEvent::User)); });
    return runLoop();
  }
  // Runs the loop; a loop that does not end by itself is ended with 99 so that a failure cannot
  // hang the suite.
  static int runLoop() {
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    guard.start(20000);
    return app->exec();
  }

  static TestApplication* app;
};
TestApplication* ApplicationTest::app = nullptr;
}  // namespace

TEST_F(ApplicationTest, EscapedErrorsBecomeTheBoxAndEndTheLoopWithZero) {
  struct Case {
    Thrower::Kind kind;
    const char* text;
  };
  const Case cases[] = {
      {Thrower::Standard, "abc"},
      {Thrower::Internal, "Threading model violation"},
      {Thrower::Integer, "Unknown error"},
  };
  for (const Case& c : cases) {
    app->boxes.clear();
    Thrower thrower(c.kind);
    EXPECT_EQ(runWithEventFor(&thrower), 0) << c.text;
    ASSERT_EQ(app->boxes.size(), 1u) << c.text;
    EXPECT_EQ(app->boxes[0].text.toStdString(), c.text);
    EXPECT_TRUE(app->boxes[0].onGuiThread);
  }
}

TEST_F(ApplicationTest, NotifyReportsTheEventNotHandled) {
  Thrower thrower(Thrower::Standard);
  QEvent event(QEvent::User);
  EXPECT_FALSE(app->notify(&thrower, &event));
  ASSERT_EQ(app->boxes.size(), 1u);
  EXPECT_EQ(app->boxes[0].text, "abc");
}

TEST_F(ApplicationTest, OrdinaryEventsPassThrough) {
  Thrower quiet(Thrower::Nothing);
  QEvent event(QEvent::User);
  EXPECT_TRUE(app->notify(&quiet, &event));
  EXPECT_TRUE(quiet.handled);
  EXPECT_TRUE(app->boxes.empty());
}

TEST_F(ApplicationTest, ErrorOnAWorkerThreadIsLoggedAndBoxedOnTheGuiThread) {
  std::string log;
  Logger::getSingleton().setOutput(new CapturedLog(log));

  // The thrower and its event are made, and the thrower's end arranged, before the worker
  // starts: the thread's start hands them over (Qt's event queue would too, but behind locks
  // that the thread sanitizer cannot see).
  QThread worker;
  auto* thrower = new Thrower(Thrower::Standard);
  thrower->moveToThread(&worker);
  QObject::connect(&worker, &QThread::finished, thrower, &QObject::deleteLater);
  QCoreApplication::postEvent(thrower, new QEvent(QEvent::User));
  worker.start();
  EXPECT_EQ(runLoop(), 0);
  worker.quit();
  worker.wait();
  Logger::getSingleton().setOutput(nullptr);

  ASSERT_EQ(app->boxes.size(), 1u);
  EXPECT_EQ(app->boxes[0].text, "abc");
  EXPECT_TRUE(app->boxes[0].onGuiThread);
  EXPECT_NE(log.find("abc"), std::string::npos) << log;
}

// The font beside the program becomes the application font at 10 points; a missing or unusable
// one is skipped with a warning.
TEST_F(ApplicationTest, ApplicationFontFromTheFontFolder) {
  const QString fontDir = QCoreApplication::applicationDirPath() + "/font";
  const QString fontFile = fontDir + "/kelmar_global_roman.ttf";
  const char* bin = std::getenv("QUONIX_BIN_DIR");
  ASSERT_NE(bin, nullptr);
  const QString shipped = QString::fromUtf8(bin) + "/font/kelmar_global_roman.ttf";
  ASSERT_TRUE(QFile::exists(shipped));
  QDir(fontDir).removeRecursively();

  std::string log;
  Logger::getSingleton().setOutput(new CapturedLog(log));
  const QFont before = QApplication::font();

  kvg::FreeTypeFontManager& fonts = kvg::FreeTypeFontManager::getSingleton();
  fonts.clear();
  LoadApplicationFont();  // no font folder
  EXPECT_NE(log.find("not found"), std::string::npos) << log;
  EXPECT_NE(log.find("Font folder " + fontDir.toStdString() + " holds no font; labels use the built-in stroke font"),
            std::string::npos)
      << log;
  EXPECT_EQ(QApplication::font(), before);
  EXPECT_TRUE(fonts.getFontFiles().empty());

  ASSERT_TRUE(QDir().mkpath(fontDir));
  QFile empty(fontFile);
  ASSERT_TRUE(empty.open(QIODevice::WriteOnly));
  empty.close();
  log.clear();
  LoadApplicationFont();  // a file that is no font
  EXPECT_NE(log.find("no font family"), std::string::npos) << log;
  EXPECT_EQ(QApplication::font(), before);

  QFile::remove(fontFile);
  ASSERT_TRUE(QFile::copy(shipped, fontFile));
  log.clear();
  LoadApplicationFont();
  EXPECT_EQ(log, "");
  EXPECT_EQ(QApplication::font().family().toStdString(), "DejaVu Sans");
  EXPECT_EQ(QApplication::font().pointSize(), 10);
  // The folder reached the scene graph's font manager, whose default font the labels take.
  EXPECT_EQ(fonts.getFontFiles(), std::vector<std::string>{fontFile.toStdString()});
  EXPECT_TRUE(setDefaultKvgFont());
  EXPECT_EQ(fonts.getDefaultFontFile(), fontFile.toStdString());
  fonts.clear();

  Logger::getSingleton().setOutput(nullptr);
  QDir(fontDir).removeRecursively();
}
