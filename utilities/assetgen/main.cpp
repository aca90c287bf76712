// Draws the images and head models the VR view loads from its "vrassets" folder.
// Usage: quonix_assetgen OUTPUT_DIR [REGULAR_FONT.ttf [BOLD_FONT.ttf]]
#include <QDir>
#include <QFontDatabase>
#include <QGuiApplication>

#include <cstdio>
#include <cstdlib>

#include "AssetPainter.h"

namespace {
QString registerFont(const char* path) {
  if (!path || !*path) return QString();
  const int id = QFontDatabase::addApplicationFont(QString::fromLocal8Bit(path));
  if (id < 0) {
    std::fprintf(stderr, "assetgen: cannot load font %s; using the default font\n", path);
    return QString();
  }
  const QStringList families = QFontDatabase::applicationFontFamilies(id);
  return families.isEmpty() ? QString() : families.first();
}
}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s OUTPUT_DIR [REGULAR_FONT.ttf [BOLD_FONT.ttf]]\n", argv[0]);
    return 1;
  }
  // Drawing needs no display.
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QGuiApplication app(argc, argv);
  const QString directory = QString::fromLocal8Bit(argv[1]);
  if (!QDir().mkpath(directory)) {
    std::fprintf(stderr, "assetgen: cannot create %s\n", argv[1]);
    return 1;
  }
  setFontFamilies(registerFont(argc > 2 ? argv[2] : nullptr), registerFont(argc > 3 ? argv[3] : nullptr));

  AssetWriter out(directory);
  drawToolIcons(out);
  drawMarkers(out);
  drawStatusOverlays(out);
  drawFloorTexture(out);
  drawQuickStartPages(out);
  drawTouchPadLabels(out);
  drawPalette(out);
  writeHeadModels(out);
  return out.failures() == 0 ? 0 : 1;
}
