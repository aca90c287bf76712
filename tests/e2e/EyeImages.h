#pragma once
// What the eye images of the simulated headset show.
#include <QImage>

#include <algorithm>

// Pixels of strong colour: the test scenes' plate is a colour gradient, the sample's flow field
// coloured, the room grey.
inline int colourfulPixels(const QImage& image) {
  int count = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      const QRgb p = image.pixel(x, y);
      const int high = std::max({qRed(p), qGreen(p), qBlue(p)});
      const int low = std::min({qRed(p), qGreen(p), qBlue(p)});
      if (high - low > 120) ++count;
    }
  return count;
}

// The magenta plate of the test scenes in an eye image: how many pixels, and their mean place.
struct Blob {
  int count = 0;
  double column = -1;  // mean column, from the left
  double row = -1;     // mean row, from the top
};

inline Blob magenta(const QImage& image, int firstRow = 0) {
  Blob blob;
  double columns = 0, rows = 0;
  for (int y = firstRow; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      const QRgb p = image.pixel(x, y);
      if (qRed(p) > 150 && qGreen(p) < 90 && qBlue(p) > 150) {
        columns += x;
        rows += y;
        ++blob.count;
      }
    }
  if (blob.count) {
    blob.column = columns / blob.count;
    blob.row = rows / blob.count;
  }
  return blob;
}
