#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>

#include <vtkImageData.h>

#include "IconPreload.h"
#include "PngImage.h"

namespace {

// The asset folder the build generated beside the program.
std::string GeneratedAssets() {
  const char* bin = std::getenv("QUONIX_BIN_DIR");
  return std::string(bin ? bin : "../bin") + "/vrassets/";
}

}  // namespace

TEST(GeneratedAssets, EveryImageTheViewLoadsIsThereAndDecodes) {
  const std::string A = GeneratedAssets();
  std::vector<std::string> names = PreloadIconFileNames(A);
  // 11 tool icons, the quick-start pages, all 48 touch-pad labels, 13 status images.
  EXPECT_GE(names.size(), 11u + 2u + 48u + 13u);
  for (const char* hand : {"Left", "Right"})
    for (const char* slot : {"North", "East", "South", "West"})
      for (const char* state : {"West", "South", "East", "North", "Undefined", "Alt"}) {
        const std::string name = A + hand + slot + state + ".png";
        EXPECT_EQ(std::count(names.begin(), names.end(), name), 1) << name;
      }
  for (const char* extra : {"PaletteVersion9.png", "hex-texture.png", "QuickStart0.png", "QuickStart1.png"})
    names.push_back(A + extra);
  for (const std::string& name : names) {
    vtkSmartPointer<vtkImageData> image = ReadPngRgba8(name);
    ASSERT_TRUE(image) << name;
    EXPECT_GE(image->GetDimensions()[0], 48) << name;
  }
  for (const char* model : {"openhat.obj", "inlays.obj"}) {
    std::ifstream in(A + model);
    ASSERT_TRUE(in.is_open()) << model;
    std::string line;
    int vertices = 0, faces = 0;
    while (std::getline(in, line)) {
      if (line.rfind("v ", 0) == 0) ++vertices;
      if (line.rfind("f ", 0) == 0) ++faces;
    }
    EXPECT_GT(vertices, 50) << model;
    EXPECT_GT(faces, 50) << model;
  }
}

TEST(GeneratedAssets, PaletteArtworkCarriesRedMarkersOnlyInTheAvatarButtons) {
  vtkSmartPointer<vtkImageData> palette = ReadPngRgba8(GeneratedAssets() + "PaletteVersion9.png");
  ASSERT_TRUE(palette);
  const int* dims = palette->GetDimensions();
  int inside = 0, outside = 0;
  for (int y = 0; y < dims[1]; ++y)
    for (int x = 0; x < dims[0]; ++x) {
      const auto* p = static_cast<const unsigned char*>(palette->GetScalarPointer(x, y, 0));
      if (p[0] != 255 || p[1] != 0 || p[2] != 0) continue;
      const double u = double(x) / (dims[0] - 1), v = double(y) / (dims[1] - 1);
      (u >= 0.5 && v <= 0.2) ? ++inside : ++outside;
    }
  EXPECT_GT(inside, 500);
  EXPECT_EQ(outside, 0);
  // The panel is 0.2 m wide and 0.288 m high.
  EXPECT_NEAR(double(dims[1]) / dims[0], 1.44, 0.01);
}
