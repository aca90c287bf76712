// The scene view's settings record, share mask, about text and analytics set-up, without a
// window (the window side runs in the end-to-end tests).
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QStringList>

#include <filesystem>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <cwchar>

#include "Configuration.h"
#include "SceneLoader.h"
#include "SceneView.h"
#include "StringHelper.h"
#include "ZeltAnalytics.h"
#include "ZeltVersion.h"
#include "ZeltviewSiteSettings.h"

namespace {
class SceneViewTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 0;
    app = new QGuiApplication(argc, nullptr);
  }
  static void TearDownTestSuite() {
    delete app;
    app = nullptr;
  }
  void SetUp() override {
    char pattern[] = "/tmp/quonix-sceneview-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir = pattern;
    setenv("QUONIX_BASE_DIR", dir.c_str(), 1);
    std::ofstream(dir + "/config.ini") << "particleCount = 77\nhudDist = 0.5\ndefaultTexFileName = floor.png\n";
    reloadConfigForTesting();
  }
  void TearDown() override {
    unsetenv("QUONIX_BASE_DIR");
    ZeltAnalytics::reset();
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
  }

  // settings() with the dialog's defaults, the given limits and scales.
  static void applyDialog(SceneView& view, const QString& minification, const QString& magnification,
                          const QString& floorScale = "1.0", const QString& ceilScale = "1.0",
                          const QString& floorFile = "file:///tmp/floor.png",
                          const QString& ceilFile = "file:///tmp/ceil.png") {
    view.settings(0.7, floorScale, ceilScale, true, floorFile, ceilFile, true, true, 0.3, 12.0, minification,
                  magnification);
  }

  std::string dir;
  static QGuiApplication* app;
};
QGuiApplication* SceneViewTest::app = nullptr;
}  // namespace

TEST_F(SceneViewTest, ConstructionTakesDefaultsAndConfiguration) {
  SceneView view;
  const SceneViewSettings s = view.settingsSnapshot();
  EXPECT_DOUBLE_EQ(s.volumeRenderingQuality, 0.5);
  EXPECT_FALSE(s.accurateVolumeClipping);
  EXPECT_FALSE(s.swapLeftRight);
  EXPECT_FALSE(s.preserveOrientation);
  EXPECT_DOUBLE_EQ(s.floorTexScale, 1.0);
  EXPECT_DOUBLE_EQ(s.ceilTexScale, 1.0);
  EXPECT_EQ(s.particleCount, 77);
  EXPECT_EQ(s.particlesPerFrame, 1);
  EXPECT_DOUBLE_EQ(s.hudSize, 0.35);
  EXPECT_DOUBLE_EQ(s.hudDist, 0.5);
  EXPECT_DOUBLE_EQ(s.isoSurfaceOpacity, 0.1);
  EXPECT_DOUBLE_EQ(s.snappingAngle, 15.0);
  // The zoom limits start at the settings dialog's defaults: zooming works before it runs.
  EXPECT_DOUBLE_EQ(s.sceneMinificationFactor, 1.0 / 20.0);
  EXPECT_DOUBLE_EQ(s.sceneMagnificationLimit, 20000.0);
  EXPECT_EQ(s.floorTexFileName, dir + "/vrassets/floor.png");
  EXPECT_EQ(s.ceilTexFileName, dir + "/vrassets/floor.png");
}

TEST_F(SceneViewTest, SettingsStoresTheDialogValues) {
  SceneView view;
  applyDialog(view, "20.0", "20000.0", "2.5", "0.25");
  const SceneViewSettings s = view.settingsSnapshot();
  EXPECT_DOUBLE_EQ(s.volumeRenderingQuality, 0.7);
  EXPECT_TRUE(s.accurateVolumeClipping);
  EXPECT_TRUE(s.swapLeftRight);
  EXPECT_TRUE(s.preserveOrientation);
  EXPECT_DOUBLE_EQ(s.isoSurfaceOpacity, 0.3);
  EXPECT_DOUBLE_EQ(s.snappingAngle, 12.0);
  EXPECT_DOUBLE_EQ(s.sceneMinificationFactor, 1.0 / 20.0);
  EXPECT_DOUBLE_EQ(s.sceneMagnificationLimit, 20000.0);
  EXPECT_DOUBLE_EQ(s.floorTexScale, 2.5);
  EXPECT_DOUBLE_EQ(s.ceilTexScale, 0.25);
  EXPECT_EQ(s.floorTexFileName, "/tmp/floor.png");
  EXPECT_EQ(s.ceilTexFileName, "/tmp/ceil.png");
}

TEST_F(SceneViewTest, SettingsBoundsLimitsAndIgnoresUnusableScales) {
  struct Case {
    QString minification, magnification, scale;
    double factor, limit, expectedScale;
  };
  const Case cases[] = {
      {"0.5", "0.5", "0", 1.0, 1.0, 1.0},     // limits below one become one; a zero scale is ignored
      {"abc", "", "x", 1.0, 1.0, 1.0},        // invalid texts read as 0
      {"4", "8", "-2", 0.25, 8.0, 1.0},       // a negative scale is ignored
      {"1", "1e3", "inf", 1.0, 1000.0, 1.0},  // so is one that is not finite
  };
  for (const Case& c : cases) {
    SceneView view;
    applyDialog(view, c.minification, c.magnification, c.scale, c.scale);
    const SceneViewSettings s = view.settingsSnapshot();
    EXPECT_DOUBLE_EQ(s.sceneMinificationFactor, c.factor) << c.minification.toStdString();
    EXPECT_DOUBLE_EQ(s.sceneMagnificationLimit, c.limit) << c.magnification.toStdString();
    EXPECT_DOUBLE_EQ(s.floorTexScale, c.expectedScale) << c.scale.toStdString();
    EXPECT_DOUBLE_EQ(s.ceilTexScale, c.expectedScale) << c.scale.toStdString();
  }
}

TEST_F(SceneViewTest, TextureTextThatIsNotAFileUrlGivesAnEmptyPath) {
  SceneView view;
  applyDialog(view, "20", "20", "1", "1", "hex-texture.png", "");
  EXPECT_EQ(view.settingsSnapshot().floorTexFileName, "");
  EXPECT_EQ(view.settingsSnapshot().ceilTexFileName, "");
  applyDialog(view, "20", "20", "1", "1", "file:///tmp/a%20b.png", "file:///tmp/%C3%A4.png");
  EXPECT_EQ(view.settingsSnapshot().floorTexFileName, "/tmp/a b.png");
  EXPECT_EQ(view.settingsSnapshot().ceilTexFileName, "/tmp/\xC3\xA4.png");
}

TEST_F(SceneViewTest, ShareMaskFollowsTheSixBoxes) {
  SceneView view;
  view.collaborativeSettings(true, true, true, true, true, true);
  EXPECT_EQ(view.collaborativeShareMask(), 63);
  view.collaborativeSettings(true, false, true, false, false, true);
  EXPECT_EQ(view.collaborativeShareMask(), 1 | 4 | 32);
  view.collaborativeSettings(false, true, false, false, true, false);
  EXPECT_EQ(view.collaborativeShareMask(), 2 | 16);
}

TEST_F(SceneViewTest, ReadingTheDialogsWithoutAWindowKeepsTheDefaults) {
  SceneView view;
  view.collaborativeSettings(true, true, true, true, true, true);
  testing::internal::CaptureStdout();
  view.readSettingsDialog();
  // Both texture fields are missing, so showing the default texture in them fails.
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "object is null\nobject is null\n");
  const SceneViewSettings s = view.settingsSnapshot();
  EXPECT_DOUBLE_EQ(s.volumeRenderingQuality, 0.5);
  EXPECT_EQ(s.floorTexFileName, dir + "/vrassets/floor.png");
  EXPECT_DOUBLE_EQ(s.sceneMagnificationLimit, 20000.0);
  EXPECT_EQ(view.collaborativeShareMask(), 0);  // missing boxes count as unchecked
}

TEST_F(SceneViewTest, AboutTextBeforeAnyControllerNamesAnUnknownVendor) {
  SceneView view;
  const std::string text = view.getUpdatedAboutDialogText().toStdString();
  const std::string head = "<html><head / ><body><p align = 'center'> Mavolin Quonix Virtual Reality " +
                           ZeltVersion::_presentationVersion +
                           (ZeltVersion::getSingleton().isDevelopmentVersion() ? ".Development" : "") + " (" +
                           ZeltVersion::_releaseNumber + ")</p>";
  const std::string tail = "VR hardware vendor: unknown<br / >";
  EXPECT_EQ(text.compare(0, head.size(), head), 0) << text;
  const size_t vendor = text.find(tail);
  ASSERT_NE(vendor, std::string::npos) << text;
  EXPECT_EQ(text.substr(text.size() - std::string("</p></body></html>").size()), "</p></body></html>");
  EXPECT_NE(text.find("href="), std::string::npos);
}

TEST_F(SceneViewTest, AnalyticsFollowTheSiteSettingAndEndWithTheView) {
  struct Case {
    const char* siteIni;
    bool enabled;
  };
  const Case cases[] = {{nullptr, false}, {"QualityFeedbackProgram = 0\n", false},
                        {"QualityFeedbackProgram = 1\n", true}, {"QualityFeedbackProgram = 2\n", true}};
  for (const Case& c : cases) {
    std::remove((dir + "/site.ini").c_str());
    if (c.siteIni) std::ofstream(dir + "/site.ini") << c.siteIni;
    ZeltviewSiteSettings::getSingleton().setApplicationHome(StringHelper::toWString(dir));
    {
      SceneView view;
      view.setUpAnalytics();
      ZeltAnalytics* analytics = ZeltAnalytics::has();
      ASSERT_NE(analytics, nullptr);
      EXPECT_EQ(analytics->productId(), "QUONIX.VIRTUALREALITY");
      EXPECT_EQ(analytics->isEnabled(), c.enabled) << (c.siteIni ? c.siteIni : "no site.ini");
    }
    EXPECT_EQ(ZeltAnalytics::has(), nullptr);
  }
}

TEST_F(SceneViewTest, ResetAndCloseWithNothingOpenAreHarmless) {
  SceneView view;
  QStringList errors;
  int opened = 0;
  QObject::connect(&view, &SceneView::errorMessage, [&](const QString& e) { errors << e; });
  QObject::connect(&view, &SceneView::openFileComplete, [&] { ++opened; });
  QObject::connect(&view, &SceneView::openServerComplete, [&] { ++opened; });
  QObject::connect(&view, &SceneView::switchScenePossible, [&] { ++opened; });
  view.closeServerScene();
  view.reset();
  view.reset();
  view.switchScene();
  view.quickStart();  // no window to open the sample scene in
  EXPECT_TRUE(errors.isEmpty()) << errors.join("; ").toStdString();
  EXPECT_EQ(opened, 0);
  EXPECT_FALSE(view.isProcessingViewEvents());
  EXPECT_FALSE(view.sceneLoader().isRunning());
  // Nothing was left half done: an opening afterwards runs and reports its own failure.
  view.openFileContinuation1(QUrl::fromLocalFile(QString::fromStdString(dir + "/missing.sce")));
  ASSERT_EQ(errors.size(), 1);
  EXPECT_EQ(errors[0].toStdString(), "Error loading file. File does not exist. ");
  EXPECT_EQ(opened, 0);
}

TEST(PortArgument, ParsesAsADecimalIntegerWithoutThrowing) {
  struct Case {
    const wchar_t* text;
    bool ok;
    int port;
  };
  const Case cases[] = {
      {L"47827", true, 47827},  {L"  +80", true, 80},        {L"-5", true, -5},
      {L"8080abc", true, 8080}, {L"2147483647", true, 2147483647}, {L"-2147483648", true, -2147483647 - 1},
      {L"2147483648", false, 0}, {L"99999999999999999999", false, 0}, {L"", false, 0},
      {L"abc", false, 0},       {L"+", false, 0},          {L" - 1", false, 0},
  };
  for (const Case& c : cases) {
    int port = 0;
    EXPECT_EQ(ParsePortArgument(c.text, port), c.ok) << std::string(c.text, c.text + wcslen(c.text));
    if (c.ok) {
      EXPECT_EQ(port, c.port);
    }
  }
}
