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
