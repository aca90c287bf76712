#include "PngWriter.h"

#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace vrsim {

namespace {

struct FileCloser {
  FILE* file;
  ~FileCloser() {
    if (file) std::fclose(file);
  }
};

}  // namespace

bool PngWriter::writeRGB(const std::string& path, int width, int height,
                         const std::vector<uint8_t>& rgba, bool bottomRowFirst,
                         std::string& error) {
  if (width <= 0 || height <= 0 || rgba.size() < size_t(width) * size_t(height) * 4) {
    error = "no image";
    return false;
  }
  // Written under another name and renamed when whole: a reader that sees the name sees it all.
  const std::string partial = path + ".part";
  FileCloser out{std::fopen(partial.c_str(), "wb")};
  if (!out.file) {
    error = std::strerror(errno);
    return false;
  }
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    error = "libpng could not start";
    std::remove(partial.c_str());
    return false;
  }
  std::vector<uint8_t> row(size_t(width) * 3);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    error = "libpng failed";
    std::remove(partial.c_str());
    return false;
  }
  png_init_io(png, out.file);
  png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 8, PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_compression_level(png, 3);
  png_write_info(png, info);
  for (int y = 0; y < height; ++y) {
    const int source = bottomRowFirst ? height - 1 - y : y;
    const uint8_t* p = rgba.data() + size_t(source) * size_t(width) * 4;
    for (int x = 0; x < width; ++x) {
      row[size_t(x) * 3 + 0] = p[x * 4 + 0];
      row[size_t(x) * 3 + 1] = p[x * 4 + 1];
      row[size_t(x) * 3 + 2] = p[x * 4 + 2];
    }
    png_write_row(png, row.data());
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  const bool written = std::fflush(out.file) == 0;
  const int writeError = errno;
  const bool closed = std::fclose(out.file) == 0;
  out.file = nullptr;
  if (!written || !closed || std::rename(partial.c_str(), path.c_str()) != 0) {
    error = std::strerror(written ? errno : writeError);
    std::remove(partial.c_str());
    return false;
  }
  return true;
}

}  // namespace vrsim
