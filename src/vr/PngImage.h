#pragma once
// Reading PNG files into 8-bit RGBA images, the one layout the texture uploads accept.
#include <string>
#include <utility>

#include <vtkImageData.h>
#include <vtkSmartPointer.h>

// The image as 8-bit RGBA: grey, grey + alpha, RGB and RGBA of 8 or 16 bits per channel are
// converted (16-bit channels keep their high byte; missing alpha becomes 255). Null for an
// image with no pixels, another scalar type or component count, or scalars shorter than its
// dimensions. An image that already is 8-bit RGBA is returned as it is.
vtkSmartPointer<vtkImageData> ConvertToRgba8(vtkImageData* image);

// Reads a PNG file as 8-bit RGBA, rows from the bottom as VTK keeps them. Null when the file
// cannot be opened, is not a PNG, is damaged or truncated, has no pixels or a side above 16384:
// callers treat all of these as a missing file. Prints nothing. The file is decoded by libpng
// directly, not through a VTK pipeline: VTK 9.1's PNG reader crashes on truncated files, and a
// direct read needs no pipeline update (so no freeze flag to clear) on any thread.
vtkSmartPointer<vtkImageData> ReadPngRgba8(const std::string& path);

// The size a PNG file's header gives, without decoding its pixels; false (sizes untouched) for
// what ReadPngRgba8 finds no PNG in, short of damage past the header.
bool ReadPngSize(const std::string& path, int& width, int& height);

// True when the path opens for reading (a directory does not).
bool ProbeFile(const std::string& path);

// The image of a PNG file paired with the caller's tag (null image as for ReadPngRgba8).
template <typename Tag>
std::pair<Tag, vtkSmartPointer<vtkImageData>> LoadPngImage(const std::string& path, Tag tag) {
  return {tag, ReadPngRgba8(path)};
}

// floor(log2(max(width, height))) + 1: the levels of a full mipmap chain (1 for 1 x 1).
int MipLevelCount(int width, int height);

// The next mipmap level of 8-bit pixels of the given component count, rows tightly packed: half
// the size (rounded down, at least 1), each texel sampled bilinearly at its centre from the
// level above, clamped at the edges, as a linear-filtered blit (glGenerateMipmap on Mesa) makes
// it; a side that halves exactly averages texel pairs. next holds nextWidth x nextHeight.
void NextMipLevel(const unsigned char* level, int width, int height, int components, unsigned char* next,
                  int& nextWidth, int& nextHeight);
