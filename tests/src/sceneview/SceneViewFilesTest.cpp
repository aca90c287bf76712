// The scene view's file opening where the menus cannot reach: calls to the continuations that
// name no open file, an unknown scene or a frame out of range end in an error box; equal titles
// resolve by position; calls that arrive while the view waits for a loader task are refused
// instead of tearing the half-opened scene down; a loader task shows its status in the title
// under the wait cursor; the settings reach both sessions' volume renderers; a compressed scene
// logs the size of the file the user chose.
#include <gtest/gtest.h>

#include <QCursor>
#include <QFileInfo>
#include <QGuiApplication>
#include <QQuickWindow>
#include <QUrl>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "SceneLoader.h"
#include "SceneView.h"
#include "SceneViewWindowFixture.h"
#include "VolumeRenderingManager.h"
#include "ZeltAnalytics.h"
#include "kvg/DrawableSession.h"

class SceneViewProbe {
 public:
  static bool sceneShown(const SceneView& v) { return v._sceneResourcesReady[v._activeIndex]; }
  static bool fileOpen(const SceneView& v) { return v._sceneReader != nullptr; }
  static kvg::DrawableSession* session(SceneView& v, int i) { return v._drawableSessions[i].get(); }
};

namespace {

QUrl scene(const std::string& name) {
  return QUrl::fromLocalFile(QString::fromStdString(std::string(std::getenv("QUONIX_BIN_DIR")) + "/../tests/scenes/" + name));
}

const std::string kTitle = "Mavolin Quonix Virtual Reality";

class SceneViewFiles : public SceneViewWindowFixture {
 protected:
  void SetUp() override {
    SceneViewWindowFixture::SetUp();
    if (IsSkipped()) return;
    open();
    QObject::connect(view, &SceneView::errorMessage, view, [this](const QString& e) { errors.push_back(e.toStdString()); });
    QObject::connect(view, &SceneView::openFileComplete, view, [this] { ++completed; });
    ASSERT_GT(frames, 0);
  }
  void TearDown() override {
    SceneViewWindowFixture::TearDown();
    ZeltAnalytics::reset();
  }

  std::string title() const { return window->title().toStdString(); }

  std::vector<std::string> errors;
  int completed = 0;
};

}  // namespace

TEST_F(SceneViewFiles, UnknownScenesAndFramesEndInAnErrorBox) {
  struct Case {
    const char* file;  // opened first, or nothing
    std::function<void(SceneView&)> call;
    const char* error;
  };
  const std::vector<Case> cases = {
      {nullptr, [](SceneView& v) { v.openFileContinuation2("Three frames"); }, "No scene file is open. "},
      {nullptr, [](SceneView& v) { v.openFileContinuation3("Three frames", 0); }, "No scene file is open. "},
      {"sets_1_and_3_frames.sce", [](SceneView& v) { v.openFileContinuation2("Nope"); }, "Scene \"Nope\" not found. "},
      {"sets_1_and_3_frames.sce", [](SceneView& v) { v.openFileContinuation2("", 2); }, "Scene \"\" not found. "},
      {"sets_1_and_3_frames.sce", [](SceneView& v) { v.openFileContinuation3("Nope", 0); }, "Scene \"Nope\" not found. "},
      {"sets_1_and_3_frames.sce", [](SceneView& v) { v.openFileContinuation3("Three frames", 3); }, "Frame 3 not found. "},
      {"sets_1_and_3_frames.sce", [](SceneView& v) { v.openFileContinuation3("Three frames", -1); },
       "Frame -1 not found. "},
      {"sets_1_and_3_frames.sce", [](SceneView& v) { v.openFileContinuation3("x", 0, 2); }, "Scene \"x\" not found. "},
      {"sets_1_and_3_frames.sce", [](SceneView& v) { v.openFileContinuation3("One frame", 1, 0); }, "Frame 1 not found. "},
  };
  for (const Case& c : cases) {
    errors.clear();
    if (c.file) {
      EXPECT_FALSE(view->openFileContinuation1(scene(c.file)).isEmpty());
      EXPECT_TRUE(SceneViewProbe::fileOpen(*view));
    }
    c.call(*view);
    ASSERT_EQ(errors.size(), 1u) << c.error;
    EXPECT_EQ(errors[0], c.error);
    // The failure reset the view.
    EXPECT_FALSE(SceneViewProbe::fileOpen(*view));
    EXPECT_EQ(title(), kTitle);
  }
  EXPECT_EQ(completed, 0);
  // The view is whole: a file opens afterwards.
  view->openFileContinuation1(scene("one_set_one_frame.sce"));
  EXPECT_EQ(completed, 1);
  EXPECT_TRUE(waitFor([this] { return SceneViewProbe::sceneShown(*view); }));
}

TEST_F(SceneViewFiles, EqualTitlesResolveByPosition) {
  // By title alone the first of two equal titles is taken (one frame: it loads at once).
  ASSERT_FALSE(view->openFileContinuation1(scene("duplicate_titles.sce")).isEmpty());
  EXPECT_EQ(view->openFileContinuation2("Twin"), QString());
  EXPECT_EQ(completed, 1);
  EXPECT_EQ(title(), kTitle + " - duplicate_titles, Twin");
  // By position the second is taken: it has two frames, so its frame picker comes back.
  ASSERT_FALSE(view->openFileContinuation1(scene("duplicate_titles.sce")).isEmpty());
  const QString picker = view->openFileContinuation2("Twin", 1);
  EXPECT_TRUE(picker.contains("title : \"Select frame\"")) << picker.toStdString();
  EXPECT_TRUE(picker.contains("openFileContinuation3(\"Twin\", frames.current.value, 1)")) << picker.toStdString();
  view->openFileContinuation3("Twin", 1, 1);
  EXPECT_EQ(completed, 2);
  EXPECT_EQ(title(), kTitle + " - duplicate_titles, Twin, Frame: 1");
  EXPECT_TRUE(errors.empty());
}

TEST_F(SceneViewFiles, CallsArrivingDuringALoaderTaskAreRefused) {
  // Queued now, these reach the view inside the wait for the loading of the scene; run there,
  // they would close the view under the loading and delete the reader it reads.
  QMetaObject::invokeMethod(view, "reset", Qt::QueuedConnection);
  QMetaObject::invokeMethod(view, "openFileContinuation1", Qt::QueuedConnection,
                            Q_ARG(QUrl, scene("sets_1_and_3_frames.sce")));
  QMetaObject::invokeMethod(view, "switchScene", Qt::QueuedConnection);
  QMetaObject::invokeMethod(view, "quickStart", Qt::QueuedConnection);
  QMetaObject::invokeMethod(view, "closeServerScene", Qt::QueuedConnection);
  EXPECT_EQ(view->openFileContinuation1(scene("one_set_one_frame.sce")), QString());
  EXPECT_EQ(completed, 1);
  EXPECT_TRUE(SceneViewProbe::fileOpen(*view));
  EXPECT_EQ(title(), kTitle + " - one_set_one_frame");
  EXPECT_TRUE(waitFor([this] { return SceneViewProbe::sceneShown(*view); }));
  // Outside a wait the same calls run.
  view->reset();
  EXPECT_FALSE(SceneViewProbe::fileOpen(*view));
  EXPECT_TRUE(errors.empty());
}

TEST_F(SceneViewFiles, LoaderTaskShowsItsStatusUnderTheWaitCursor) {
  std::vector<std::string> titles;
  bool waitCursor = false;
  QObject::connect(window, &QWindow::windowTitleChanged, window, [&](const QString& t) {
    titles.push_back(t.toStdString());
    if (QGuiApplication::overrideCursor() && QGuiApplication::overrideCursor()->shape() == Qt::WaitCursor)
      waitCursor = true;
  });
  QElapsedTimer timer;
  timer.start();
  // A task that ends at once (an unknown code) shows its status and is not waited out to the
  // end of a period.
  view->startLoaderTask("Sc\xC3\xA8ne", "working", 9);
  EXPECT_LT(timer.elapsed(), 240);
  // The status without dots first, then (should the loader's report come only after the first
  // period) with one more dot each period, then the title alone.
  ASSERT_GE(titles.size(), 2u);
  for (size_t i = 0; i + 1 < titles.size(); ++i)
    EXPECT_EQ(titles[i], "Sc\xC3\xA8ne - working" + std::string(i % 4, '.'));
  EXPECT_EQ(titles.back(), "Sc\xC3\xA8ne");
  EXPECT_TRUE(waitCursor);
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(SceneViewFiles, SettingsReachBothSessionsVolumeRenderers) {
  view->openFileContinuation1(scene("one_set_one_frame.sce"));
  ASSERT_TRUE(waitFor([this] { return SceneViewProbe::sceneShown(*view); }));
  view->settings(0.8, "1", "1", true, "", "", false, false, 0.4, 10, "20", "20000");
  for (int i = 0; i < 2; ++i) {
    kvg::VolumeRenderingManager& volumes = kvg::VolumeRenderingManager::getSingleton(SceneViewProbe::session(*view, i));
    EXPECT_DOUBLE_EQ(volumes.getVolRendQuality(), 0.8) << i;
    EXPECT_TRUE(volumes.getUseStencilClipping()) << i;
    EXPECT_DOUBLE_EQ(volumes.getIsosurfaceOpacity(), 0.4) << i;
  }
}

TEST_F(SceneViewFiles, CompressedSceneLogsTheSizeOfTheChosenFile) {
  // Without analytics the file opens all the same.
  view->openFileContinuation1(scene("compressed.sce"));
  EXPECT_EQ(completed, 1);
  EXPECT_EQ(title(), kTitle + " - compressed");

  ZeltAnalytics* analytics = ZeltAnalytics::create("QUONIX.VIRTUALREALITY", false, 0, "test");
  view->openFileContinuation1(scene("compressed.sce"));
  EXPECT_EQ(completed, 2);
  const std::vector<ZeltAnalytics::Event> events = analytics->events();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].name, "OPEN_FILE");
  const float size = float(QFileInfo(scene("compressed.sce").toLocalFile()).size());
  EXPECT_DOUBLE_EQ(events[0].properties.getReal("File_Size_In_MiB"), double(size * (1.0f / 1048576.0f)));
  EXPECT_TRUE(errors.empty());
}
