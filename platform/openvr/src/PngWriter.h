#pragma once
// Writes images as PNG files (libpng).
#include <cstdint>
#include <string>
#include <vector>

namespace vrsim {

class PngWriter {
 public:
  // Writes an RGB PNG from RGBA pixels (alpha dropped: a headset shows no transparency).
  // bottomRowFirst: the pixels come as OpenGL reads them and are flipped so the file shows
  // the image upright. False with a message on failure.
  static bool writeRGB(const std::string& path, int width, int height,
                       const std::vector<uint8_t>& rgba, bool bottomRowFirst, std::string& error);
};

}  // namespace vrsim
