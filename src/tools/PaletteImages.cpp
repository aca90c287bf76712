#include "PaletteImages.h"

#include <cmath>
#include <vector>

#include "Configuration.h"
#include "IconTextureCache.h"
#include "PngImage.h"

namespace {

const unsigned char kRedMarker[4] = {255, 0, 0, 255};
const unsigned char kLightFill[4] = {204, 223, 231, 255};
const unsigned char kBlack[4] = {0, 0, 0, 255};
const unsigned char kBorderColor[3] = {0, 95, 135};

// Toggle buttons with their mask bits, in painting order.
const std::pair<int, int> kToggles[4] = {{kToggleHUD, 1}, {kToggleFlyMode, 2}, {kToggleFloor, 4}, {kToggleVolume, 8}};
constexpr int kParticipantsBit = 16;

bool isRgba8(vtkImageData* image) {
  if (!image || image->GetScalarType() != VTK_UNSIGNED_CHAR || image->GetNumberOfScalarComponents() != 4) return false;
  const int* dims = image->GetDimensions();
  return dims[0] > 0 && dims[1] > 0 && image->GetScalarPointer() != nullptr;
}

double clip01(double v) { return std::isnan(v) ? 0.0 : v < 0.0 ? 0.0 : v > 1.0 ? 1.0 : v; }

// Half-open pixel range by the truncating rule: [begin, end).
void truncRange(double a, double b, int last, int& begin, int& end) {
  begin = static_cast<int>(std::trunc(clip01(a) * last));
  end = static_cast<int>(std::trunc(clip01(b) * last));
}

// Closed pixel range by the nearest rule: [first, final] (empty when final < first).
void nearRange(double a, double b, int last, int& first, int& final) {
  first = static_cast<int>(std::round(clip01(a) * last));
  final = static_cast<int>(std::round(clip01(b) * last));
}

// The pixels of an RGBA image, found once: finding the scalars searches the attributes, which
// per pixel cost more than the painting.
class Rgba8Pixels {
 public:
  explicit Rgba8Pixels(vtkImageData* image)
      : _base(static_cast<unsigned char*>(image->GetScalarPointer())), _width(image->GetDimensions()[0]) {}
  unsigned char* at(int x, int y) const { return _base + (static_cast<size_t>(y) * _width + x) * 4; }

 private:
  unsigned char* _base;
  int _width;
};

// A configured "nan" reads as 0: converting it to a byte would be undefined.
unsigned char clampByte(double v) { return !(v > 0.0) ? 0 : v >= 255.0 ? 255 : static_cast<unsigned char>(v); }

bool matches(const unsigned char* pixel, const unsigned char match[4], double tolerance) {
  for (int c = 0; c < 4; ++c) {
    const double value = pixel[c];
    if (!(match[c] - tolerance <= value && value <= match[c] + tolerance)) return false;
  }
  return true;
}

double colorTolerance() { return GetConfigRealClamped("paletteColorTolerance", 0.6, 0.0, 1.0) * 255.0; }

std::array<double, 4> configRgba(const std::string& key, const std::array<double, 4>& defaults) {
  std::array<double, 4> result = defaults;
  const std::vector<double> values = GetConfigList(key, std::vector<double>());
  for (size_t i = 0; i < values.size() && i < 4; ++i) result[i] = values[i];
  return result;
}

vtkSmartPointer<vtkImageData> copyOf(vtkImageData* image) {
  auto copy = vtkSmartPointer<vtkImageData>::New();
  copy->DeepCopy(image);
  return copy;
}

PaletteRect rectOf(int index) { return GetPaletteButtonRect(index); }

PaletteRect avatarGroupRect() {
  const PaletteRect prev = rectOf(kPrevAvatar), next = rectOf(kNextAvatar);
  return {prev[0], next[1], prev[2], next[3]};
}

}  // namespace

const std::array<PaletteButton, 12>& PaletteButtons() {
  static const std::array<PaletteButton, 12> buttons = {{
      {"uiDecreaseParticleSpeed", {0.0, 0.5, 0.8, 1.0}},
      {"uiIncreaseParticleSpeed", {0.5, 1.0, 0.8, 1.0}},
      {"uiDecreaseParticleSize", {0.0, 0.5, 0.6, 0.8}},
      {"uiIncreaseParticleSize", {0.5, 1.0, 0.6, 0.8}},
      {"uiToggleHUD", {0.0, 0.5, 0.4, 0.6}},
      {"uiToggleFlyMode", {0.5, 1.0, 0.4, 0.6}},
      {"uiToggleFloor", {0.0, 0.5, 0.2, 0.4}},
      {"uiToggleVolume", {0.5, 1.0, 0.2, 0.4}},
      {"uiReset", {0.0, 0.5, 0.0, 0.2}},
      {"uiPrevAvatar", {0.5, 0.6, 0.0, 0.2}},
      {"uiTeleportAvatar", {0.6, 0.9, 0.0, 0.2}},
      {"uiNextAvatar", {0.9, 1.0, 0.0, 0.2}},
  }};
  return buttons;
}

PaletteRect GetSettingRect(const std::string& key, const PaletteRect& defaultRect) {
  PaletteRect rect = defaultRect;
  const std::vector<double> values = GetConfigList(key, std::vector<double>());
  for (size_t i = 0; i < values.size() && i < rect.size(); ++i) rect[i] = values[i];
  return rect;
}

PaletteRect GetPaletteButtonRect(int index) {
  const PaletteButton& button = PaletteButtons().at(static_cast<size_t>(index));
  return GetSettingRect(button.key, button.defaultRect);
}

PaletteRect GetUiPrevAvatarRect() { return GetPaletteButtonRect(kPrevAvatar); }
PaletteRect GetUiNextAvatarRect() { return GetPaletteButtonRect(kNextAvatar); }

namespace {
// Calls pixel(p) for every RGBA pixel of the rectangle's half-open, truncated range.
template <typename PixelFunction>
void forEachPixelInRect(const PaletteRect& rect, vtkImageData* image, PixelFunction&& pixel) {
  if (!isRgba8(image)) return;
  const int* dims = image->GetDimensions();
  int x0, x1, y0, y1;
  truncRange(rect[0], rect[1], dims[0] - 1, x0, x1);
  truncRange(rect[2], rect[3], dims[1] - 1, y0, y1);
  const Rgba8Pixels pixels(image);
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x) pixel(pixels.at(x, y));
}
}  // namespace

void MultiplyImageRegion(const double factors[4], const PaletteRect& rect, vtkImageData* image) {
  forEachPixelInRect(rect, image, [&](unsigned char* p) {
    for (int c = 0; c < 4; ++c) p[c] = clampByte(std::trunc(p[c] * factors[c]));
  });
}

void ReplaceColorInRegion(const unsigned char match[4], const unsigned char replacement[4], const PaletteRect& rect,
                          vtkImageData* image) {
  const double tolerance = colorTolerance();
  forEachPixelInRect(rect, image, [&](unsigned char* p) {
    if (matches(p, match, tolerance))
      for (int c = 0; c < 4; ++c) p[c] = replacement[c];
  });
}

void DrawRectBorder(vtkImageData* image, const PaletteRect& rect, double width) {
  if (!isRgba8(image)) return;
  const int* dims = image->GetDimensions();
  int xs, xe, ys, ye;
  nearRange(rect[0], rect[1], dims[0] - 1, xs, xe);
  nearRange(rect[2], rect[3], dims[1] - 1, ys, ye);
  const Rgba8Pixels pixels(image);
  for (int y = ys; y <= ye; ++y)
    for (int x = xs; x <= xe; ++x) {
      if (x <= xs + width || y <= ys + width || x >= xe - width || y >= ye - width) {
        unsigned char* p = pixels.at(x, y);
        for (int c = 0; c < 3; ++c) p[c] = kBorderColor[c];
      }
    }
}

bool BuildOverlayImage(const double color[4], const PaletteRect& rect, vtkImageData* image, IconTextureCache* cache) {
  if (!isRgba8(image) || !cache) return false;
  // Every pixel is written below: an image of the same size will do, no copy of the page.
  const int* dims = image->GetDimensions();
  auto overlay = vtkSmartPointer<vtkImageData>::New();
  overlay->SetDimensions(dims[0], dims[1], 1);
  overlay->AllocateScalars(VTK_UNSIGNED_CHAR, 4);
  int xs, xe, ys, ye;
  nearRange(rect[0], rect[1], dims[0] - 1, xs, xe);
  nearRange(rect[2], rect[3], dims[1] - 1, ys, ye);
  unsigned char inside[4];
  for (int c = 0; c < 4; ++c) inside[c] = clampByte(std::trunc(color[c] * 255.0));
  const Rgba8Pixels pixels(overlay);
  for (int y = 0; y < dims[1]; ++y)
    for (int x = 0; x < dims[0]; ++x) {
      unsigned char* p = pixels.at(x, y);
      const bool in = x >= xs && x <= xe && y >= ys && y <= ye;
      for (int c = 0; c < 4; ++c) p[c] = in ? inside[c] : 0;
    }
  return cache->uploadImageB(overlay);
}

bool PaintPaletteButtonBorders(vtkImageData* pageImage, IconTextureCache* cache) {
  if (!isRgba8(pageImage) || !cache) return false;
  vtkSmartPointer<vtkImageData> page = copyOf(pageImage);
  const double width = GetConfigIntClamped("paletteBorderSize", 5, 0, 4096);
  DrawRectBorder(page, PaletteRect{0.0, 1.0, 0.0, 1.0}, width);
  for (int i = kDecreaseParticleSpeed; i <= kReset; ++i) DrawRectBorder(page, rectOf(i), width);
  DrawRectBorder(page, avatarGroupRect(), width);
  for (int i : {kPrevAvatar, kTeleportAvatar, kNextAvatar}) DrawRectBorder(page, rectOf(i), 1.0);
  return cache->uploadImageA(page);
}

bool PaintPaletteToggleButtons(PaletteImageBuilder& builder) {
  if (!isRgba8(builder.image) || !builder.cache) return false;
  const std::array<double, 3> toggleOn =
      GetConfigVector3("paletteToggleOnRGB", std::array<double, 3>{0.5, 0.5, 0.5});
  const double factors[4] = {toggleOn[0], toggleOn[1], toggleOn[2], 1.0};
  for (int mask = 0; mask < 32; ++mask) {
    vtkSmartPointer<vtkImageData> page = copyOf(builder.image);
    for (const auto& toggle : kToggles)
      if (!(mask & toggle.second)) MultiplyImageRegion(factors, rectOf(toggle.first), page);
    if (!(mask & kParticipantsBit)) {
      for (int i : {kTeleportAvatar, kPrevAvatar, kNextAvatar})
        ReplaceColorInRegion(kRedMarker, kLightFill, rectOf(i), page);
      for (int i : {kPrevAvatar, kTeleportAvatar, kNextAvatar}) MultiplyImageRegion(factors, rectOf(i), page);
    } else {
      for (int i : {kTeleportAvatar, kPrevAvatar, kNextAvatar}) ReplaceColorInRegion(kRedMarker, kBlack, rectOf(i), page);
    }
    PaintPaletteButtonBorders(page, builder.cache);
  }
  return true;
}

bool PaintPaletteButtonStates(PaletteImageBuilder& builder) {
  if (!isRgba8(builder.image) || !builder.cache) return false;
  // Entry 0 ("none") is transparent everywhere: a white corner pixel would show on the panel.
  const double none[4] = {0, 0, 0, 0};
  BuildOverlayImage(none, PaletteRect{0, 0, 0, 0}, builder.image, builder.cache);
  const std::pair<const char*, std::array<double, 4>> passes[2] = {
      {"paletteHighlightColorRGBA", {0.8, 0.8, 1.0, 0.4}}, {"palettePressedColorRGBA", {0.5, 0.5, 1.0, 0.7}}};
  for (const auto& pass : passes) {
    const std::array<double, 4> color = configRgba(pass.first, pass.second);
    std::vector<PaletteRect> rects;
    for (int i = 0; i < 12; ++i) rects.push_back(rectOf(i));
    for (const PaletteRect& rect : rects) BuildOverlayImage(color.data(), rect, builder.image, builder.cache);
  }
  return true;
}

bool BuildTeleportMask(PaletteImageBuilder& builder, const PaletteRect& rect) {
  if (!isRgba8(builder.image) || !builder.cache) return false;
  const int* dims = builder.image->GetDimensions();
  auto mask = vtkSmartPointer<vtkImageData>::New();
  mask->SetDimensions(dims[0], dims[1], 1);
  mask->AllocateScalars(VTK_UNSIGNED_CHAR, 4);
  int xs, xe, ys, ye;
  nearRange(rect[0], rect[1], dims[0] - 1, xs, xe);
  nearRange(rect[2], rect[3], dims[1] - 1, ys, ye);
  const double tolerance = colorTolerance();
  const Rgba8Pixels maskPixels(mask), imagePixels(builder.image);
  for (int y = 0; y < dims[1]; ++y)
    for (int x = 0; x < dims[0]; ++x) {
      unsigned char* p = maskPixels.at(x, y);
      p[0] = p[1] = p[2] = 255;
      const bool in = x >= xs && x <= xe && y >= ys && y <= ye;
      p[3] = in && matches(imagePixels.at(x, y), kRedMarker, tolerance) ? 255 : 0;
    }
  return builder.cache->uploadCurrentImage(mask);
}

bool RecolorImageRegion(PaletteImageBuilder& builder, const PaletteRect& previous, const PaletteRect& next) {
  return BuildTeleportMask(builder, PaletteRect{previous[0], next[1], previous[2], previous[3]});
}

void BuildPaletteImages(IconTextureCache& cache, const std::string& palettePath) {
  PaletteImageBuilder builder(LoadPngImage(palettePath, &cache));
  if (!builder.image) return;
  PaintPaletteToggleButtons(builder);
  PaintPaletteButtonStates(builder);
  RecolorImageRegion(builder, GetUiPrevAvatarRect(), GetUiNextAvatarRect());
}
