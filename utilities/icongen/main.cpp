// Writes the program's window icon: a headset visor on a blue tile, as an ICO file with
// 32-bit entries of several sizes. Run by the build; the output is never committed.
//   icongen <output.ico>
#include <QColor>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <vector>

namespace {

QImage drawIcon(int size) {
  QImage image(size, size, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / 64.0, size / 64.0);

  QLinearGradient tile(0, 0, 0, 64);
  tile.setColorAt(0, QColor(30, 110, 210));
  tile.setColorAt(1, QColor(10, 40, 110));
  p.setPen(Qt::NoPen);
  p.setBrush(tile);
  p.drawRoundedRect(QRectF(2, 2, 60, 60), 12, 12);

  // The visor: a rounded band with a notch for the nose and two lenses.
  QPainterPath visor;
  visor.addRoundedRect(QRectF(8, 20, 48, 26), 10, 10);
  QPainterPath nose;
  nose.moveTo(26, 46.5);
  nose.quadTo(32, 34, 38, 46.5);
  nose.closeSubpath();
  QPainterPath lenses;
  lenses.addEllipse(QPointF(21, 32), 7, 7);
  lenses.addEllipse(QPointF(43, 32), 7, 7);
  p.setBrush(QColor(245, 248, 255));
  p.drawPath(visor.subtracted(nose).subtracted(lenses));
  p.setBrush(QColor(0, 200, 255));
  p.drawPath(lenses);
  p.end();
  return image;
}

void put16(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(uint8_t(v & 0xff));
  out.push_back(uint8_t(v >> 8));
}
void put32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(uint8_t((v >> (8 * i)) & 0xff));
}

// One icon entry: a BITMAPINFOHEADER of double height, BGRA rows bottom-up, then the AND mask.
std::vector<uint8_t> dibEntry(const QImage& image) {
  const int size = image.width();
  std::vector<uint8_t> out;
  put32(out, 40);
  put32(out, uint32_t(size));
  put32(out, uint32_t(size * 2));
  put16(out, 1);
  put16(out, 32);
  put32(out, 0);  // no compression
  put32(out, 0);
  put32(out, 0);
  put32(out, 0);
  put32(out, 0);
  put32(out, 0);
  for (int y = size - 1; y >= 0; --y) {
    const QRgb* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
    for (int x = 0; x < size; ++x) {
      out.push_back(uint8_t(qBlue(row[x])));
      out.push_back(uint8_t(qGreen(row[x])));
      out.push_back(uint8_t(qRed(row[x])));
      out.push_back(uint8_t(qAlpha(row[x])));
    }
  }
  const int maskStride = ((size + 31) / 32) * 4;
  for (int y = size - 1; y >= 0; --y) {
    std::vector<uint8_t> row(size_t(maskStride), 0);
    const QRgb* pixels = reinterpret_cast<const QRgb*>(image.constScanLine(y));
    for (int x = 0; x < size; ++x)
      if (qAlpha(pixels[x]) == 0) row[size_t(x / 8)] |= uint8_t(0x80 >> (x % 8));
    out.insert(out.end(), row.begin(), row.end());
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: icongen <output.ico>\n");
    return 2;
  }
  const int sizes[] = {16, 24, 32, 48, 64};
  const int count = int(sizeof sizes / sizeof sizes[0]);
  std::vector<std::vector<uint8_t>> entries;
  for (int size : sizes) entries.push_back(dibEntry(drawIcon(size).convertToFormat(QImage::Format_ARGB32)));

  std::vector<uint8_t> file;
  put16(file, 0);
  put16(file, 1);  // icon
  put16(file, uint16_t(count));
  uint32_t offset = 6 + 16 * uint32_t(count);
  for (int i = 0; i < count; ++i) {
    file.push_back(uint8_t(sizes[i]));
    file.push_back(uint8_t(sizes[i]));
    file.push_back(0);  // no palette
    file.push_back(0);
    put16(file, 1);   // planes
    put16(file, 32);  // bits per pixel
    put32(file, uint32_t(entries[size_t(i)].size()));
    put32(file, offset);
    offset += uint32_t(entries[size_t(i)].size());
  }
  for (const auto& entry : entries) file.insert(file.end(), entry.begin(), entry.end());

  std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
  if (!out) {
    std::fprintf(stderr, "icongen: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
