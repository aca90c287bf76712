// Tool icons, marker textures, pointers, HUD status overlays and the floor texture.
#include <QLinearGradient>
#include <QPainterPath>
#include <QRadialGradient>
#include <QtMath>

#include <cmath>

#include "AssetPainter.h"

namespace {

constexpr int kIcon = 256;

// An opaque tool icon: a dark tile, the symbol drawn by fn in the upper part, a caption below.
template <typename Fn>
QImage toolIcon(const QString& caption, Fn fn) {
  QImage image = newImage(kIcon, kIcon, style::kPanel);
  QPainter p(&image);
  prepare(p);
  panel(p, QRectF(0, 0, kIcon, kIcon), 28, style::kPanel, style::kPanelEdge, 8);
  p.save();
  fn(p, QRectF(40, 22, 176, 160));
  p.restore();
  fittedText(p, QRectF(14, 186, kIcon - 28, 52), caption, 38, true, style::kInk);
  return image;
}

void magnifier(QPainter& p, const QRectF& box, const QString& sign) {
  const QPointF c = box.center() + QPointF(-14, -12);
  const double r = box.height() * 0.34;
  p.setPen(QPen(style::kInk, 14, Qt::SolidLine, Qt::RoundCap));
  p.setBrush(Qt::NoBrush);
  p.drawEllipse(c, r, r);
  const QPointF handle = c + QPointF(r, r) * 0.72;
  p.setPen(QPen(style::kAccent, 22, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(handle, handle + QPointF(44, 44));
  if (sign.isEmpty()) return;
  p.setPen(QPen(style::kInk, 12, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(c - QPointF(r * 0.5, 0), c + QPointF(r * 0.5, 0));
  if (sign == "+") p.drawLine(c - QPointF(0, r * 0.5), c + QPointF(0, r * 0.5));
}

// Two vertical arrows apart (out) or towards each other (in) around a bar.
void verticalScale(QPainter& p, const QRectF& box, bool out) {
  const QPointF c = box.center();
  p.setPen(QPen(style::kMuted, 10, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(c - QPointF(60, 0), c + QPointF(60, 0));
  const double near = 18, far = 76;
  if (out) {
    arrow(p, c - QPointF(0, near), c - QPointF(0, far), 14, style::kInk);
    arrow(p, c + QPointF(0, near), c + QPointF(0, far), 14, style::kInk);
  } else {
    arrow(p, c - QPointF(0, far), c - QPointF(0, near), 14, style::kInk);
    arrow(p, c + QPointF(0, far), c + QPointF(0, near), 14, style::kInk);
  }
}

// A road narrowing into the distance with an arrow along it (forward) or back out of it.
void travel(QPainter& p, const QRectF& box, bool forward) {
  QPainterPath road;
  road.moveTo(box.left() + 10, box.bottom());
  road.lineTo(box.center().x() - 18, box.top() + 10);
  road.lineTo(box.center().x() + 18, box.top() + 10);
  road.lineTo(box.right() - 10, box.bottom());
  road.closeSubpath();
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(60, 80, 104));
  p.drawPath(road);
  const QPointF nearPoint(box.center().x(), box.bottom() - 14);
  const QPointF farPoint(box.center().x(), box.top() + 34);
  if (forward) {
    arrow(p, nearPoint, farPoint, 16, style::kInk);
  } else {
    arrow(p, farPoint, nearPoint, 16, style::kInk);
  }
}

// A cube with a plane slicing it; the cut-off part drawn faint.
void cubeWithPlane(QPainter& p, const QRectF& box, bool section) {
  const QPointF o = box.center() + QPointF(-10, 14);
  const double s = 62, d = 34;
  auto quad = [&](QPointF a, QPointF b, QPointF c, QPointF e) {
    QPainterPath path;
    path.moveTo(a);
    path.lineTo(b);
    path.lineTo(c);
    path.lineTo(e);
    path.closeSubpath();
    return path;
  };
  const QPointF A = o + QPointF(-s, s), B = o + QPointF(s, s), C = o + QPointF(s, -s), D = o + QPointF(-s, -s);
  const QPointF off(d, -d);
  p.setPen(QPen(style::kInk, 6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.setBrush(QColor(80, 104, 132));
  p.drawPath(quad(D, C, C + off, D + off));
  p.drawPath(quad(B, C, C + off, B + off));
  p.drawPath(quad(A, B, C, D));
  // The plane: a slanted quad through the cube.
  const QPointF P1 = o + QPointF(-s - 22, 22), P2 = o + QPointF(s + 22, -30);
  QPainterPath plane = quad(P1, P2, P2 + off + QPointF(0, -6), P1 + off + QPointF(0, -6));
  if (section) {
    QLinearGradient rainbow(P1, P2);
    rainbow.setColorAt(0.0, QColor(40, 60, 255, 230));
    rainbow.setColorAt(0.35, QColor(0, 210, 200, 230));
    rainbow.setColorAt(0.65, QColor(250, 230, 0, 230));
    rainbow.setColorAt(1.0, QColor(255, 40, 30, 230));
    p.setBrush(rainbow);
  } else {
    p.setBrush(QColor(0, 150, 255, 150));
  }
  p.setPen(QPen(section ? style::kInk : style::kAccent, 6));
  p.drawPath(plane);
}

void handLetter(QPainter& p, const QRectF& box, const QString& letter) {
  p.setPen(QPen(style::kAccent, 10));
  p.setBrush(Qt::NoBrush);
  p.drawEllipse(box.center(), 74, 74);
  fittedText(p, box, letter, 120, true, style::kInk);
}

// A translucent square marker: tinted fill, a frame and corner ticks, with a symbol.
QImage markerImage(bool highlighted, bool section) {
  QImage image = newImage(kIcon, kIcon);
  QPainter p(&image);
  prepare(p);
  const QRectF r(10, 10, kIcon - 20, kIcon - 20);
  if (section) {
    QLinearGradient gradient(r.bottomLeft(), r.topRight());
    if (highlighted) {
      gradient.setColorAt(0, QColor(60, 60, 60, 150));
      gradient.setColorAt(1, QColor(235, 235, 235, 150));
    } else {
      gradient.setColorAt(0.0, QColor(40, 60, 255, 140));
      gradient.setColorAt(0.35, QColor(0, 210, 200, 140));
      gradient.setColorAt(0.65, QColor(250, 230, 0, 140));
      gradient.setColorAt(1.0, QColor(255, 40, 30, 140));
    }
    p.setPen(Qt::NoPen);
    p.setBrush(gradient);
    p.drawRect(r);
  } else {
    p.setPen(Qt::NoPen);
    p.setBrush(highlighted ? QColor(255, 255, 255, 110) : QColor(0, 150, 255, 70));
    p.drawRect(r);
    // Hatching shows the side that is cut away.
    p.setPen(QPen(highlighted ? QColor(0, 0, 0, 150) : QColor(255, 255, 255, 90), 5));
    p.setClipRect(r);
    for (int k = -kIcon; k < kIcon; k += 28) p.drawLine(QPointF(k, kIcon), QPointF(k + kIcon, 0));
    p.setClipping(false);
  }
  const QColor frame = highlighted ? QColor(255, 255, 255) : style::kAccent;
  p.setPen(QPen(highlighted ? QColor(0, 0, 0) : QColor(255, 255, 255, 200), 14));
  p.setBrush(Qt::NoBrush);
  p.drawRect(r.adjusted(4, 4, -4, -4));
  p.setPen(QPen(frame, 8));
  p.drawRect(r.adjusted(4, 4, -4, -4));
  // Corner ticks, so the square reads at a glance from any angle.
  p.setPen(QPen(frame, 16, Qt::SolidLine, Qt::SquareCap));
  const double t = 40;
  for (const QPointF& c : {r.topLeft(), r.topRight(), r.bottomLeft(), r.bottomRight()}) {
    const double sx = c.x() < kIcon / 2 ? 1 : -1, sy = c.y() < kIcon / 2 ? 1 : -1;
    const QPointF in = c + QPointF(sx * 8, sy * 8);
    p.drawLine(in, in + QPointF(sx * t, 0));
    p.drawLine(in, in + QPointF(0, sy * t));
  }
  return image;
}

// A HUD status overlay: the HUD's 4:3 shape, transparent but for one badge.
template <typename Fn>
QImage statusOverlay(const QRectF& badge, const QString& caption, const QColor& accent, Fn symbol) {
  QImage image = newImage(1024, 768);
  QPainter p(&image);
  prepare(p);
  panel(p, badge, 30, QColor(26, 38, 54, 215), accent, 6);
  const QRectF iconBox(badge.left() + 18, badge.top() + 18, badge.height() - 36, badge.height() - 36);
  p.save();
  symbol(p, iconBox);
  p.restore();
  fittedText(p, QRectF(iconBox.right() + 14, badge.top() + 10, badge.right() - iconBox.right() - 30, badge.height() - 20),
             caption, 52, true, style::kInk, Qt::AlignVCenter | Qt::AlignLeft);
  return image;
}

void chain(QPainter& p, const QRectF& box, const QColor& color, double width) {
  const QPointF c = box.center();
  const double w = box.width() * 0.34, h = box.height() * 0.2;
  p.setPen(QPen(color, width, Qt::SolidLine, Qt::RoundCap));
  p.setBrush(Qt::NoBrush);
  p.save();
  p.translate(c);
  p.rotate(-40);
  p.drawRoundedRect(QRectF(-w * 1.25, -h, w * 1.5, h * 2), h, h);
  p.drawRoundedRect(QRectF(-w * 0.25, -h, w * 1.5, h * 2), h, h);
  p.restore();
}

void circularArrows(QPainter& p, const QRectF& box, const QColor& color) {
  const QRectF ring = box.adjusted(14, 14, -14, -14);
  p.setPen(QPen(color, 12, Qt::SolidLine, Qt::RoundCap));
  p.setBrush(Qt::NoBrush);
  p.drawArc(ring, 20 * 16, 140 * 16);
  p.drawArc(ring, 200 * 16, 140 * 16);
  const QPointF c = ring.center();
  const double r = ring.width() / 2;
  auto at = [&](double deg) { return c + QPointF(std::cos(qDegreesToRadians(deg)) * r, -std::sin(qDegreesToRadians(deg)) * r); };
  arrowHead(p, at(160), 36, 250, color);
  arrowHead(p, at(340), 36, 70, color);
}

}  // namespace

void drawToolIcons(AssetWriter& out) {
  out.save(toolIcon("Inspect", [](QPainter& p, const QRectF& b) { magnifier(p, b, ""); }), "lookingglass2.png");
  out.save(toolIcon("Zoom in", [](QPainter& p, const QRectF& b) { magnifier(p, b, "+"); }), "enlarge2.png");
  out.save(toolIcon("Zoom out", [](QPainter& p, const QRectF& b) { magnifier(p, b, "-"); }), "shrink2.png");
  out.save(toolIcon("Scale up", [](QPainter& p, const QRectF& b) { verticalScale(p, b, true); }), "enlargeVert2.png");
  out.save(toolIcon("Scale down", [](QPainter& p, const QRectF& b) { verticalScale(p, b, false); }), "shrinkVert2.png");
  out.save(toolIcon("Forward", [](QPainter& p, const QRectF& b) { travel(p, b, true); }), "forward2.png");
  out.save(toolIcon("Back", [](QPainter& p, const QRectF& b) { travel(p, b, false); }), "backward2.png");
  out.save(toolIcon("Clip", [](QPainter& p, const QRectF& b) { cubeWithPlane(p, b, false); }), "clip_small2.png");
  out.save(toolIcon("Section", [](QPainter& p, const QRectF& b) { cubeWithPlane(p, b, true); }), "planesection_small.png");
  out.save(toolIcon("Left hand", [](QPainter& p, const QRectF& b) { handLetter(p, b, "L"); }), "left.png");
  out.save(toolIcon("Right hand", [](QPainter& p, const QRectF& b) { handLetter(p, b, "R"); }), "right.png");
}

void drawMarkers(AssetWriter& out) {
  out.save(markerImage(false, false), "clip2.png");
  out.save(markerImage(true, false), "clip_bw2.png");
  out.save(markerImage(false, true), "planesection.png");
  out.save(markerImage(true, true), "planesection_bw.png");

  // The laser spot: a white ring with a soft core; the program tints it with the laser colour.
  {
    QImage image = newImage(128, 128);
    QPainter p(&image);
    prepare(p);
    QRadialGradient glow(QPointF(64, 64), 62);
    glow.setColorAt(0.0, QColor(255, 255, 255, 255));
    glow.setColorAt(0.25, QColor(255, 255, 255, 200));
    glow.setColorAt(0.6, QColor(255, 255, 255, 40));
    glow.setColorAt(1.0, QColor(255, 255, 255, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(glow);
    p.drawEllipse(QPointF(64, 64), 62, 62);
    p.setPen(QPen(QColor(255, 255, 255, 255), 7));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(64, 64), 44, 44);
    out.save(image, "laser2.png");
  }
  // Pointers towards another participant: white, tinted by the participant's colour.
  {
    QImage image = newImage(kIcon, kIcon);
    QPainter p(&image);
    prepare(p);
    QPainterPath chevron;
    chevron.moveTo(128, 20);
    chevron.lineTo(232, 150);
    chevron.lineTo(168, 150);
    chevron.lineTo(168, 236);
    chevron.lineTo(88, 236);
    chevron.lineTo(88, 150);
    chevron.lineTo(24, 150);
    chevron.closeSubpath();
    p.setPen(QPen(QColor(40, 40, 40, 255), 10, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(QColor(255, 255, 255));
    p.drawPath(chevron);
    out.save(image, "directionPointer.png");
  }
  {
    QImage image = newImage(kIcon, kIcon);
    QPainter p(&image);
    prepare(p);
    QPainterPath pin;
    pin.moveTo(128, 244);
    pin.cubicTo(96, 190, 44, 150, 44, 100);
    pin.arcTo(QRectF(44, 16, 168, 168), 180, -180);
    pin.cubicTo(212, 150, 160, 190, 128, 244);
    p.setPen(QPen(QColor(40, 40, 40, 255), 10, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(QColor(255, 255, 255));
    p.drawPath(pin);
    p.setBrush(QColor(40, 40, 40));
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(128, 100), 34, 34);
    out.save(image, "positionPointer.png");
  }
  // The linked-state stamp of the palette overlays (scaled to 48 x 48 by the program).
  {
    QImage image = newImage(96, 96);
    QPainter p(&image);
    prepare(p);
    chain(p, QRectF(0, 0, 96, 96), QColor(30, 30, 30), 14);
    chain(p, QRectF(0, 0, 96, 96), QColor(255, 255, 255), 8);
    out.save(image, "Link2.png");
  }
}

void drawStatusOverlays(AssetWriter& out) {
  out.save(statusOverlay(QRectF(312, 40, 400, 120), "Updating...", style::kWarm,
                         [](QPainter& p, const QRectF& b) { circularArrows(p, b, style::kWarm); }),
           "Updating2.png");
  out.save(statusOverlay(QRectF(40, 608, 400, 120), "Fly mode", style::kAccent,
                         [](QPainter& p, const QRectF& b) { airplane(p, b, style::kInk); }),
           "Flymode.png");
  out.save(statusOverlay(QRectF(584, 608, 400, 120), "Linked", style::kAccent,
                         [](QPainter& p, const QRectF& b) { chain(p, b, style::kInk, 10); }),
           "Link.png");
}

void drawFloorTexture(AssetWriter& out) {
  // Pointy-top hexagons that tile seamlessly: 8 across and 5 double rows down the 512 x 512
  // image (slightly flattened so both periods fit exactly).
  const int size = 512, columns = 8, rowPairs = 5;
  const double dx = double(size) / columns, dy = double(size) / (rowPairs * 2);
  const double rx = dx / std::sqrt(3.0), ry = dy / 1.5;
  QImage image = newImage(size, size, QColor(92, 98, 106));
  QPainter p(&image);
  prepare(p);
  for (int row = -1; row <= rowPairs * 2; ++row) {
    for (int col = -1; col <= columns; ++col) {
      const QPointF c(col * dx + ((row & 1) ? dx / 2 : 0), row * dy);
      QPainterPath hex;
      for (int k = 0; k < 6; ++k) {
        const double a = qDegreesToRadians(90.0 + 60.0 * k);
        const QPointF v = c + QPointF(std::cos(a) * rx * 0.9, -std::sin(a) * ry * 0.9);
        k == 0 ? hex.moveTo(v) : hex.lineTo(v);
      }
      hex.closeSubpath();
      // A quiet two-tone pattern from the cell index, repeating with the tile.
      const int wrappedRow = ((row % (rowPairs * 2)) + rowPairs * 2) % (rowPairs * 2);
      const int wrappedCol = ((col % columns) + columns) % columns;
      const int shade = 150 + ((wrappedRow * 3 + wrappedCol * 5) % 4) * 10;
      p.setPen(QPen(QColor(70, 76, 84), 3));
      p.setBrush(QColor(shade, shade + 4, shade + 10));
      p.drawPath(hex);
    }
  }
  out.save(image, "hex-texture.png");
}

void airplane(QPainter& p, const QRectF& box, const QColor& color) {
  p.save();
  p.translate(box.center());
  p.rotate(-35);
  const double s = box.width() / 100.0;
  p.scale(s, s);
  QPainterPath plane;
  plane.moveTo(0, -46);
  plane.cubicTo(6, -46, 7, -38, 7, -30);
  plane.lineTo(7, -8);
  plane.lineTo(44, 12);
  plane.lineTo(44, 22);
  plane.lineTo(7, 10);
  plane.lineTo(7, 30);
  plane.lineTo(18, 40);
  plane.lineTo(18, 46);
  plane.lineTo(0, 40);
  plane.lineTo(-18, 46);
  plane.lineTo(-18, 40);
  plane.lineTo(-7, 30);
  plane.lineTo(-7, 10);
  plane.lineTo(-44, 22);
  plane.lineTo(-44, 12);
  plane.lineTo(-7, -8);
  plane.lineTo(-7, -30);
  plane.cubicTo(-7, -38, -6, -46, 0, -46);
  p.setPen(Qt::NoPen);
  p.setBrush(color);
  p.drawPath(plane);
  p.restore();
}

