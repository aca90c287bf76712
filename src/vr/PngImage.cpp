#include "PngImage.h"

#include <algorithm>
#include <cmath>

#include <sys/stat.h>

#include <cstdint>
#include <cstring>
#include <fstream>

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <vector>

#include <vtkDataArray.h>
#include <vtkPointData.h>

namespace {

// No texture may be larger; bigger files are refused before their pixels are allocated.
constexpr png_uint_32 kMaxPngSide = 16384;

template <typename T>
unsigned char toByte(T value);
template <>
unsigned char toByte<unsigned char>(unsigned char value) {
  return value;
}
template <>
unsigned char toByte<unsigned short>(unsigned short value) {
  return static_cast<unsigned char>(value >> 8);
}

template <typename T>
void convertPixels(const T* in, int components, vtkIdType count, unsigned char* out) {
  for (vtkIdType i = 0; i < count; ++i, in += components, out += 4) {
    switch (components) {
      case 1: out[0] = out[1] = out[2] = toByte(in[0]); out[3] = 255; break;
      case 2: out[0] = out[1] = out[2] = toByte(in[0]); out[3] = toByte(in[1]); break;
      case 3: out[0] = toByte(in[0]); out[1] = toByte(in[1]); out[2] = toByte(in[2]); out[3] = 255; break;
      default: out[0] = toByte(in[0]); out[1] = toByte(in[1]); out[2] = toByte(in[2]); out[3] = toByte(in[3]); break;
    }
  }
}

}  // namespace

vtkSmartPointer<vtkImageData> ConvertToRgba8(vtkImageData* image) {
  if (!image) return nullptr;
  int dims[3];
  image->GetDimensions(dims);
  if (dims[0] <= 0 || dims[1] <= 0 || dims[2] <= 0) return nullptr;
  vtkDataArray* scalars = image->GetPointData() ? image->GetPointData()->GetScalars() : nullptr;
  if (!scalars) return nullptr;
  const int components = scalars->GetNumberOfComponents();
  const int type = scalars->GetDataType();
  if (components < 1 || components > 4 || (type != VTK_UNSIGNED_CHAR && type != VTK_UNSIGNED_SHORT)) return nullptr;
  const vtkIdType count = static_cast<vtkIdType>(dims[0]) * dims[1] * dims[2];
  if (scalars->GetNumberOfTuples() < count) return nullptr;
  if (components == 4 && type == VTK_UNSIGNED_CHAR) return image;

  auto result = vtkSmartPointer<vtkImageData>::New();
  result->SetDimensions(dims);
  result->SetSpacing(image->GetSpacing());
  result->SetOrigin(image->GetOrigin());
  result->AllocateScalars(VTK_UNSIGNED_CHAR, 4);
  auto* out = static_cast<unsigned char*>(result->GetScalarPointer());
  if (type == VTK_UNSIGNED_CHAR) {
    convertPixels(static_cast<const unsigned char*>(scalars->GetVoidPointer(0)), components, count, out);
  } else {
    convertPixels(static_cast<const unsigned short*>(scalars->GetVoidPointer(0)), components, count, out);
  }
  return result;
}

bool ProbeFile(const std::string& path) {
  struct stat info;
  if (path.empty() || stat(path.c_str(), &info) != 0 || S_ISDIR(info.st_mode)) return false;
  std::ifstream stream(path, std::ios::binary);
  return stream.is_open();
}

namespace {

void onPngError(png_structp png, png_const_charp) { longjmp(png_jmpbuf(png), 1); }
void onPngWarning(png_structp, png_const_charp) {}

// Reads the header's size, then decodes into the image unless it is null. The image's objects
// all exist before the error jump point, so a damaged file unwinds nothing but libpng's own state.
bool decodePng(FILE* file, vtkImageData* image, png_uint_32& width, png_uint_32& height) {
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, onPngError, onPngWarning);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    return false;
  }
  std::vector<png_bytep> rows;
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    return false;
  }
  png_set_user_limits(png, kMaxPngSide, kMaxPngSide);
  png_init_io(png, file);
  png_read_info(png, info);
  width = png_get_image_width(png, info);
  height = png_get_image_height(png, info);
  if (!image) {
    png_destroy_read_struct(&png, &info, nullptr);
    return width > 0 && height > 0;
  }
  const int colorType = png_get_color_type(png, info);
  // Everything becomes 8-bit RGBA: palettes and low bit depths expanded, 16 bits cut to
  // their high byte, grey spread to RGB, a missing alpha filled opaque.
  png_set_expand(png);
  png_set_strip_16(png);
  if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(png);
  png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  if (width == 0 || height == 0 || png_get_rowbytes(png, info) != static_cast<size_t>(width) * 4) {
    png_destroy_read_struct(&png, &info, nullptr);
    return false;
  }
  image->SetDimensions(static_cast<int>(width), static_cast<int>(height), 1);
  image->AllocateScalars(VTK_UNSIGNED_CHAR, 4);
  auto* pixels = static_cast<unsigned char*>(image->GetScalarPointer());
  rows.resize(height);
  // PNG rows run from the top, VTK's from the bottom.
  for (png_uint_32 y = 0; y < height; ++y) rows[y] = pixels + static_cast<size_t>(height - 1 - y) * width * 4;
  png_read_image(png, rows.data());
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  return true;
}

// The file opened for reading when it starts with the PNG signature, else null.
FILE* openPng(const std::string& path) {
  if (!ProbeFile(path)) return nullptr;
  FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return nullptr;
  unsigned char signature[8] = {0};
  if (std::fread(signature, 1, 8, file) == 8 && png_sig_cmp(signature, 0, 8) == 0) {
    std::rewind(file);
    return file;
  }
  std::fclose(file);
  return nullptr;
}

}  // namespace

bool ReadPngSize(const std::string& path, int& width, int& height) {
  FILE* file = openPng(path);
  if (!file) return false;
  png_uint_32 w = 0, h = 0;
  const bool ok = decodePng(file, nullptr, w, h);
  std::fclose(file);
  if (!ok) return false;
  width = static_cast<int>(w);
  height = static_cast<int>(h);
  return true;
}

vtkSmartPointer<vtkImageData> ReadPngRgba8(const std::string& path) {
  FILE* file = openPng(path);
  if (!file) return nullptr;
  auto image = vtkSmartPointer<vtkImageData>::New();
  png_uint_32 width = 0, height = 0;
  const bool ok = decodePng(file, image, width, height);
  std::fclose(file);
  return ok ? image : nullptr;
}

int MipLevelCount(int width, int height) {
  int side = width > height ? width : height;
  int levels = 1;
  while (side > 1) {
    side >>= 1;
    ++levels;
  }
  return levels;
}

namespace {
// Where the texels of a halved side sample the side above: the lower source texel and the
// weight of the next one, in 1/256.
struct Tap {
  int low, high, weight;
};
std::vector<Tap> halvingTaps(int side, int half) {
  std::vector<Tap> taps(static_cast<size_t>(half));
  for (int i = 0; i < half; ++i) {
    const double u = (i + 0.5) * side / half - 0.5;
    const int low = static_cast<int>(std::floor(u));
    const int weight = static_cast<int>(std::lround((u - low) * 256.0));
    taps[i] = {std::max(low, 0), std::min(low + 1, side - 1), weight};
  }
  return taps;
}
}  // namespace

void NextMipLevel(const unsigned char* level, int width, int height, int components, unsigned char* next,
                  int& nextWidth, int& nextHeight) {
  nextWidth = width > 1 ? width / 2 : 1;
  nextHeight = height > 1 ? height / 2 : 1;
  const std::vector<Tap> columns = halvingTaps(width, nextWidth), rows = halvingTaps(height, nextHeight);
  const size_t stride = static_cast<size_t>(width) * components;
  for (int y = 0; y < nextHeight; ++y) {
    const Tap& r = rows[y];
    const unsigned char* top = level + r.low * stride;
    const unsigned char* bottom = level + r.high * stride;
    unsigned char* out = next + static_cast<size_t>(y) * nextWidth * components;
    for (int x = 0; x < nextWidth; ++x) {
      const Tap& c = columns[x];
      const size_t left = static_cast<size_t>(c.low) * components, right = static_cast<size_t>(c.high) * components;
      for (int k = 0; k < components; ++k) {
        // Weights in 1/256 each way: the sum is in 1/65536, rounded to the nearest.
        const int upper = top[left + k] * (256 - c.weight) + top[right + k] * c.weight;
        const int lower = bottom[left + k] * (256 - c.weight) + bottom[right + k] * c.weight;
        const int sum = upper * (256 - r.weight) + lower * r.weight;
        *out++ = static_cast<unsigned char>((sum + 32768) >> 16);
      }
    }
  }
}
