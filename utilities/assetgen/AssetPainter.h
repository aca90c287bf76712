#pragma once
// Shared style and drawing helpers of the asset generator. Every image of the headset view is
// drawn in one style: light strokes and text on a deep blue-grey, one blue accent. Images drawn
// on white or light grey are tinted by the program (actor colour x texel), so they stay neutral.
#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QString>

namespace style {
const QColor kPanel(26, 38, 54);        // panel background
const QColor kPanelEdge(88, 112, 140);  // panel outline
const QColor kInk(240, 244, 248);       // text and strokes
const QColor kMuted(160, 176, 196);     // secondary text
const QColor kAccent(0, 150, 255);      // the one accent colour
const QColor kWarm(255, 176, 32);       // attention (updating)
}  // namespace style

// Where the images go and which fonts they use.
class AssetWriter {
 public:
  explicit AssetWriter(const QString& directory) : _directory(directory) {}
  // Writes the image as PNG; false (with a message on standard error) on failure.
  bool save(const QImage& image, const QString& name);
  bool saveText(const QByteArray& text, const QString& name);
  int failures() const { return _failures; }

 private:
  QString _directory;
  int _failures = 0;
};

// A new ARGB image, transparent or filled.
QImage newImage(int width, int height, const QColor& fill = Qt::transparent);
// A painter with antialiasing for text and shapes.
void prepare(QPainter& painter);
QFont uiFont(double pixelSize, bool bold = false);
// A rounded panel with an outline.
void panel(QPainter& painter, const QRectF& rect, double radius, const QColor& fill = style::kPanel,
           const QColor& edge = style::kPanelEdge, double edgeWidth = 4);
// Text fitted into the rectangle: the size shrinks until it fits.
void fittedText(QPainter& painter, const QRectF& rect, const QString& text, double pixelSize, bool bold,
                const QColor& color, int flags = Qt::AlignCenter | Qt::TextWordWrap);
// A filled arrow head pointing at angle degrees (0 = right, 90 = up) centred on c.
void arrowHead(QPainter& painter, const QPointF& c, double size, double angleDegrees, const QColor& color);
// A straight arrow from a to b with a head at b.
void arrow(QPainter& painter, const QPointF& a, const QPointF& b, double width, const QColor& color);

// An airplane seen from above, nose up and to the right, filling the box.
void airplane(QPainter& painter, const QRectF& box, const QColor& color);

// Font family names registered from the files given on the command line (empty: Qt's default).
void setFontFamilies(const QString& regular, const QString& bold);

// The groups of assets.
void drawToolIcons(AssetWriter& out);
void drawMarkers(AssetWriter& out);
void drawStatusOverlays(AssetWriter& out);
void drawFloorTexture(AssetWriter& out);
void drawQuickStartPages(AssetWriter& out);
void drawTouchPadLabels(AssetWriter& out);
void drawPalette(AssetWriter& out);
void writeHeadModels(AssetWriter& out);
