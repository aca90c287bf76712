// Quick-start pages, touch-pad labels and the palette artwork.
#include <QPainterPath>
#include <QStringList>
#include <QtMath>

#include <cmath>

#include "AssetPainter.h"

namespace {

// ---- Quick-start pages ----------------------------------------------------------------------

struct Page {
  QString title;
  QStringList lines;
};

QImage quickStartPage(const Page& page, int number, int count, const QString& controllers) {
  QImage image = newImage(1024, 768);
  QPainter p(&image);
  prepare(p);
  panel(p, QRectF(8, 8, 1008, 752), 40, QColor(26, 38, 54, 230), style::kAccent, 8);
  fittedText(p, QRectF(60, 36, 904, 90), page.title, 64, true, style::kInk, Qt::AlignLeft | Qt::AlignVCenter);
  p.setPen(QPen(style::kAccent, 4));
  p.drawLine(QPointF(60, 132), QPointF(964, 132));
  double y = 160;
  const double lineHeight = 510.0 / qMax(4, page.lines.size());
  for (const QString& line : page.lines) {
    p.setPen(Qt::NoPen);
    p.setBrush(style::kAccent);
    p.drawEllipse(QPointF(78, y + lineHeight / 2), 9, 9);
    fittedText(p, QRectF(104, y, 860, lineHeight - 6), line, 46, false, style::kInk,
               Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap);
    y += lineHeight;
  }
  fittedText(p, QRectF(60, 684, 600, 50), controllers, 30, false, style::kMuted, Qt::AlignLeft | Qt::AlignVCenter);
  fittedText(p, QRectF(700, 684, 264, 50), QString("Page %1 of %2").arg(number).arg(count), 30, false, style::kMuted,
             Qt::AlignRight | Qt::AlignVCenter);
  return image;
}

// ---- Touch-pad labels -----------------------------------------------------------------------

const char* const kHands[] = {"Left", "Right"};
const char* const kSlots[] = {"North", "East", "South", "West"};
// Icon states 0..5: the other hand's direction, none, a part selected.
const char* const kStates[] = {"West", "South", "East", "North", "Undefined", "Alt"};

// What pressing the slot does, for the hand and the other hand's state. The left hand carries
// zoom, colour bar and plane sections, the right hand dolly, seeds and clip planes; holding a
// direction on the other hand combines the two.
QString labelText(int hand, const QString& slot, const QString& state) {
  const bool left = hand == 0;
  const bool vertical = slot == "North" || slot == "South";
  if (state == "Alt") return vertical ? "Move part" : slot == "East" ? "Copy part" : "Delete part";
  if (state == "North" || state == "South") return left ? "Move" : "Zoom";
  if (state == "Undefined") {
    if (left) {
      if (slot == "North") return "Zoom in";
      if (slot == "South") return "Zoom out";
      return slot == "East" ? "Color bar" : "Section";
    }
    if (slot == "North") return "Pull";
    if (slot == "South") return "Push";
    return slot == "East" ? "Seed" : "Clip";
  }
  const bool add = state == "East";
  if (vertical) {
    if (left) return add ? "Seed" : "Clip";
    return add ? "Color bar" : "Section";
  }
  if (left) return slot == "East" ? (add ? "Keep value" : "Drop value") : (add ? "Add section" : "Drop section");
  return slot == "East" ? (add ? "Add seed" : "Drop seed") : (add ? "Add clip" : "Drop clip");
}

double slotAngle(const QString& slot) {
  if (slot == "East") return 0;
  if (slot == "North") return 90;
  if (slot == "West") return 180;
  return 270;
}

// An opaque 3:1 label: the pad direction as an arrow, then the action.
QImage label(const QString& text, double arrowAngle) {
  QImage image = newImage(384, 128, style::kPanel);
  QPainter p(&image);
  prepare(p);
  panel(p, QRectF(0, 0, 384, 128), 22, style::kPanel, style::kPanelEdge, 6);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(48, 66, 90));
  p.drawEllipse(QPointF(64, 64), 44, 44);
  arrowHead(p, QPointF(64, 64), 50, arrowAngle, style::kInk);
  fittedText(p, QRectF(118, 12, 254, 104), text, 46, true, style::kInk,
             Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap);
  return image;
}

// ---- Palette --------------------------------------------------------------------------------

constexpr int kPaletteWidth = 400;
constexpr int kPaletteHeight = 576;  // the panel's 0.2 x 0.288 m

// A button rectangle (x0, x1, y0, y1 as fractions, y up from the lower edge) in the painter's
// top-down pixel coordinates, on the same pixel grid the program's border painting uses.
QRectF buttonRect(double x0, double x1, double y0, double y1) {
  const double X = kPaletteWidth - 1, Y = kPaletteHeight - 1;
  const double left = x0 * X, right = x1 * X;
  const double top = (1.0 - y1) * Y, bottom = (1.0 - y0) * Y;
  return QRectF(QPointF(left, top), QPointF(right + 1, bottom + 1));
}

void buttonFace(QPainter& p, const QRectF& r, const QColor& fill) {
  p.setPen(Qt::NoPen);
  p.setBrush(fill);
  p.drawRect(r);
}

void speedIcon(QPainter& p, const QPointF& c, bool faster) {
  // Stream lines with one particle: fewer lines for slower.
  p.setPen(QPen(style::kInk, 6, Qt::SolidLine, Qt::RoundCap));
  const int lines = faster ? 3 : 1;
  for (int i = 0; i < lines; ++i) {
    const double y = c.y() - (lines - 1) * 9 + i * 18;
    p.drawLine(QPointF(c.x() - 46, y), QPointF(c.x() - 10, y));
  }
  p.setBrush(style::kInk);
  p.drawEllipse(QPointF(c.x() + 12, c.y()), 11, 11);
}

void sizeIcon(QPainter& p, const QPointF& c, bool larger) {
  p.setPen(Qt::NoPen);
  p.setBrush(style::kInk);
  p.drawEllipse(QPointF(c.x() - 26, c.y()), larger ? 8 : 15, larger ? 8 : 15);
  arrowHead(p, QPointF(c.x(), c.y()), 16, 0, style::kMuted);
  p.drawEllipse(QPointF(c.x() + 28, c.y()), larger ? 17 : 7, larger ? 17 : 7);
}

// One button: its artwork face, a symbol area on the left and a caption.
template <typename Symbol>
void button(QPainter& p, const QRectF& r, const QColor& face, const QString& caption, Symbol symbol) {
  buttonFace(p, r, face);
  const QRectF inner = r.adjusted(14, 14, -14, -14);
  const QRectF iconArea(inner.left(), inner.top(), inner.height() * 1.1, inner.height());
  p.save();
  symbol(p, iconArea);
  p.restore();
  fittedText(p, QRectF(iconArea.right() + 4, inner.top(), inner.right() - iconArea.right() - 4, inner.height()),
             caption, 30, true, style::kInk, Qt::AlignCenter | Qt::TextWordWrap);
}

}  // namespace

void drawQuickStartPages(AssetWriter& out) {
  // The first half serves the Vive wands (and controllers not yet identified), the second
  // half every other controller; the menu buttons page through the half.
  const QString wands = "Controllers with a touch pad";
  const QString sticks = "Controllers with a thumb stick";
  const Page pages[4] = {
      {"Getting around",
       {"Press the touch pad up or down on one hand to zoom or to move the model.",
        "Squeeze both triggers together for a moment to reset the view.",
        "Point the laser at the palette on the other hand to press its buttons.",
        "The menu buttons page through these notes or close them."}},
      {"Tools",
       {"Hold a pad direction on one hand, then press the other hand's pad:",
        "left hand: zoom, colour bar and plane sections;",
        "right hand: move, particle seeds and clip planes.",
        "Hold east or west on the other hand to keep or remove what the tool made."}},
      {"Getting around",
       {"Push the thumb stick up or down on one hand to zoom or to move the model.",
        "Squeeze both triggers together for a moment to reset the view.",
        "Point the laser at the palette on the other hand to press its buttons.",
        "The menu buttons page through these notes or close them."}},
      {"Tools",
       {"Hold a stick direction on one hand, then push the other hand's stick:",
        "left hand: zoom, colour bar and plane sections;",
        "right hand: move, particle seeds and clip planes.",
        "Hold east or west on the other hand to keep or remove what the tool made."}},
  };
  for (int k = 0; k < 4; ++k) {
    out.save(quickStartPage(pages[k], k % 2 + 1, 2, k < 2 ? wands : sticks), QString("QuickStart%1.png").arg(k));
  }
}

void drawTouchPadLabels(AssetWriter& out) {
  for (int hand = 0; hand < 2; ++hand)
    for (const char* slot : kSlots)
      for (const char* state : kStates) {
        const QString text = labelText(hand, slot, state);
        out.save(label(text, slotAngle(slot)),
                 QString("%1%2%3.png").arg(kHands[hand]).arg(slot).arg(state));
      }
  // Fly mode: the north and south pads of the flying hand.
  out.save(label("Fly forward", 90), "Flymode_forward.png");
  out.save(label("Fly back", 270), "Flymode_backward.png");
}

void drawPalette(AssetWriter& out) {
  QImage image = newImage(kPaletteWidth, kPaletteHeight, style::kPanel);
  QPainter p(&image);
  prepare(p);
  const QColor face(44, 62, 86);
  const QColor toggleFace(24, 96, 150);  // the toggles' artwork shows them switched on

  button(p, buttonRect(0.0, 0.5, 0.8, 1.0), face, "Slower",
         [](QPainter& q, const QRectF& a) { speedIcon(q, a.center(), false); });
  button(p, buttonRect(0.5, 1.0, 0.8, 1.0), face, "Faster",
         [](QPainter& q, const QRectF& a) { speedIcon(q, a.center(), true); });
  button(p, buttonRect(0.0, 0.5, 0.6, 0.8), face, "Smaller",
         [](QPainter& q, const QRectF& a) { sizeIcon(q, a.center(), false); });
  button(p, buttonRect(0.5, 1.0, 0.6, 0.8), face, "Larger",
         [](QPainter& q, const QRectF& a) { sizeIcon(q, a.center(), true); });
  button(p, buttonRect(0.0, 0.5, 0.4, 0.6), toggleFace, "HUD", [](QPainter& q, const QRectF& a) {
    q.setPen(QPen(style::kInk, 5));
    q.setBrush(Qt::NoBrush);
    q.drawRoundedRect(a.adjusted(6, 18, -6, -18), 6, 6);
    q.drawLine(a.center() + QPointF(-16, 0), a.center() + QPointF(16, 0));
  });
  button(p, buttonRect(0.5, 1.0, 0.4, 0.6), toggleFace, "Fly",
         [](QPainter& q, const QRectF& a) { airplane(q, a.adjusted(8, 8, -8, -8), style::kInk); });
  button(p, buttonRect(0.0, 0.5, 0.2, 0.4), toggleFace, "Floor", [](QPainter& q, const QRectF& a) {
    QPainterPath floor;
    floor.moveTo(a.left() + 4, a.bottom() - 16);
    floor.lineTo(a.left() + 22, a.top() + 26);
    floor.lineTo(a.right() - 22, a.top() + 26);
    floor.lineTo(a.right() - 4, a.bottom() - 16);
    floor.closeSubpath();
    q.setPen(QPen(style::kInk, 5));
    q.setBrush(QColor(255, 255, 255, 60));
    q.drawPath(floor);
  });
  button(p, buttonRect(0.5, 1.0, 0.2, 0.4), toggleFace, "Volume", [](QPainter& q, const QRectF& a) {
    QRadialGradient cloud(a.center(), a.height() * 0.4);
    cloud.setColorAt(0, QColor(255, 220, 120, 255));
    cloud.setColorAt(1, QColor(255, 120, 40, 0));
    q.setPen(Qt::NoPen);
    q.setBrush(cloud);
    q.drawEllipse(a.center(), a.height() * 0.4, a.height() * 0.4);
  });
  button(p, buttonRect(0.0, 0.5, 0.0, 0.2), face, "Reset view", [](QPainter& q, const QRectF& a) {
    q.setPen(QPen(style::kInk, 6, Qt::SolidLine, Qt::RoundCap));
    q.setBrush(Qt::NoBrush);
    const QRectF ring = a.adjusted(14, 14, -14, -14);
    q.drawArc(ring, 60 * 16, 280 * 16);
    arrowHead(q, ring.center() + QPointF(ring.width() / 2 * 0.5, -ring.height() / 2 * 0.87), 20, 150, style::kInk);
  });

  // The avatar buttons: their red marker areas take the other participants' colours.
  const QColor red(255, 0, 0);
  const QRectF prev = buttonRect(0.5, 0.6, 0.0, 0.2);
  const QRectF teleport = buttonRect(0.6, 0.9, 0.0, 0.2);
  const QRectF next = buttonRect(0.9, 1.0, 0.0, 0.2);
  for (const QRectF& r : {prev, teleport, next}) buttonFace(p, r, face);
  arrowHead(p, prev.center(), 28, 180, red);
  arrowHead(p, next.center(), 28, 0, red);
  {
    // A participant's figure: head and shoulders in the marker colour.
    const QPointF c = teleport.center() + QPointF(0, -16);
    p.setPen(Qt::NoPen);
    p.setBrush(red);
    p.drawEllipse(c + QPointF(0, -4), 15, 15);
    p.drawRoundedRect(QRectF(c.x() - 26, c.y() + 16, 52, 24), 12, 12);
    fittedText(p, QRectF(teleport.left() + 8, teleport.bottom() - 44, teleport.width() - 16, 34), "Teleport", 26, true,
               style::kInk);
  }
  out.save(image, "PaletteVersion9.png");
}
