#include "AssetPainter.h"

#include <QDir>
#include <QFile>
#include <QFontMetricsF>
#include <QPainterPath>
#include <QtMath>

#include <cstdio>

namespace {
QString gRegular;
QString gBold;
}  // namespace

void setFontFamilies(const QString& regular, const QString& bold) {
  gRegular = regular;
  gBold = bold;
}

bool AssetWriter::save(const QImage& image, const QString& name) {
  const QString path = QDir(_directory).filePath(name);
  if (!image.save(path, "PNG")) {
    std::fprintf(stderr, "assetgen: cannot write %s\n", qPrintable(path));
    ++_failures;
    return false;
  }
  return true;
}

bool AssetWriter::saveText(const QByteArray& text, const QString& name) {
  QFile file(QDir(_directory).filePath(name));
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text) != text.size()) {
    std::fprintf(stderr, "assetgen: cannot write %s\n", qPrintable(file.fileName()));
    ++_failures;
    return false;
  }
  return true;
}

QImage newImage(int width, int height, const QColor& fill) {
  QImage image(width, height, QImage::Format_ARGB32);
  image.fill(fill);
  return image;
}

void prepare(QPainter& painter) {
  painter.setRenderHint(QPainter::Antialiasing, true);
  painter.setRenderHint(QPainter::TextAntialiasing, true);
  painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
}

QFont uiFont(double pixelSize, bool bold) {
  QFont font(bold && !gBold.isEmpty() ? gBold : gRegular);
  font.setPixelSize(qMax(1, qRound(pixelSize)));
  font.setBold(bold);
  font.setStyleStrategy(QFont::PreferAntialias);
  return font;
}

void panel(QPainter& painter, const QRectF& rect, double radius, const QColor& fill, const QColor& edge,
           double edgeWidth) {
  painter.save();
  const double inset = edgeWidth / 2;
  painter.setPen(edgeWidth > 0 ? QPen(edge, edgeWidth) : Qt::NoPen);
  painter.setBrush(fill);
  painter.drawRoundedRect(rect.adjusted(inset, inset, -inset, -inset), radius, radius);
  painter.restore();
}

void fittedText(QPainter& painter, const QRectF& rect, const QString& text, double pixelSize, bool bold,
                const QColor& color, int flags) {
  painter.save();
  double size = pixelSize;
  QFont font = uiFont(size, bold);
  for (; size > 6; size *= 0.92) {
    font = uiFont(size, bold);
    const QRectF needed = QFontMetricsF(font).boundingRect(rect, flags, text);
    if (needed.width() <= rect.width() && needed.height() <= rect.height()) break;
  }
  painter.setFont(font);
  painter.setPen(color);
  painter.drawText(rect, flags, text);
  painter.restore();
}

void arrowHead(QPainter& painter, const QPointF& c, double size, double angleDegrees, const QColor& color) {
  const double a = qDegreesToRadians(angleDegrees);
  const QPointF dir(std::cos(a), -std::sin(a));
  const QPointF side(-dir.y(), dir.x());
  QPainterPath path;
  path.moveTo(c + dir * size * 0.6);
  path.lineTo(c - dir * size * 0.4 + side * size * 0.55);
  path.lineTo(c - dir * size * 0.4 - side * size * 0.55);
  path.closeSubpath();
  painter.save();
  painter.setPen(Qt::NoPen);
  painter.setBrush(color);
  painter.drawPath(path);
  painter.restore();
}

void arrow(QPainter& painter, const QPointF& a, const QPointF& b, double width, const QColor& color) {
  const QPointF d = b - a;
  const double length = std::hypot(d.x(), d.y());
  if (length <= 0) return;
  const double angle = qRadiansToDegrees(std::atan2(-d.y(), d.x()));
  const double head = width * 3.2;
  painter.save();
  painter.setPen(QPen(color, width, Qt::SolidLine, Qt::RoundCap));
  painter.drawLine(a, b - d / length * head * 0.5);
  painter.restore();
  arrowHead(painter, b - d / length * head * 0.1, head, angle, color);
}
