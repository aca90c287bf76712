// ZeltVrApplication::notify: whatever escapes an event becomes the error box, shown on the GUI
// thread, and the event loop ends with code 0.
#include <gtest/gtest.h>

#include <QEvent>
#include <QThread>
#include <QTimer>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "InternalError.h"
#include "Logger.h"
#include "ZeltVrApplication.h"

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

  // Posts the event from inside the loop and runs the loop; a loop that does not end by
  // itself is ended with 99 so that a failure cannot hang the suite.
  static int runWithEventFor(QObject* receiver) {
    QTimer::singleShot(0, [receiver] { QCoreApplication::postEvent(receiver, new QEvent(QEvent::User)); });
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

  QThread worker;
  worker.start();
  auto* thrower = new Thrower(Thrower::Standard);
  thrower->moveToThread(&worker);
  EXPECT_EQ(runWithEventFor(thrower), 0);
  QMetaObject::invokeMethod(thrower, [thrower] { delete thrower; }, Qt::BlockingQueuedConnection);
  worker.quit();
  worker.wait();
  Logger::getSingleton().setOutput(nullptr);

  ASSERT_EQ(app->boxes.size(), 1u);
  EXPECT_EQ(app->boxes[0].text, "abc");
  EXPECT_TRUE(app->boxes[0].onGuiThread);
  EXPECT_NE(log.find("abc"), std::string::npos) << log;
}
