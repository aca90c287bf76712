#pragma once
// The palette's button images. From the one palette artwork the program derives, once, every
// image the palette panel shows and uploads them into the icon texture cache: the 32 page
// images (one per toggle mask), the 25 overlay images (none, twelve hover and twelve pressed
// highlights) and the teleport mask (white where the avatar buttons carry the red marker).
// Runs on the thread that sets up the scene resources, with its context current.
//
// Rectangles are (x0, x1, y0, y1) in fractions of the image, x to the right and y upwards.
// Every operation clips them to the image, and only addresses 8-bit RGBA images.
#include <array>
#include <string>
#include <utility>

#include <vtkImageData.h>
#include <vtkSmartPointer.h>

class IconTextureCache;

using PaletteRect = std::array<double, 4>;

// The twelve palette buttons in their fixed order (button k = index k - 1): configuration key
// and default rectangle.
struct PaletteButton {
  const char* key;
  PaletteRect defaultRect;
};
const std::array<PaletteButton, 12>& PaletteButtons();
enum PaletteButtonIndex {
  kDecreaseParticleSpeed, kIncreaseParticleSpeed, kDecreaseParticleSize, kIncreaseParticleSize,
  kToggleHUD, kToggleFlyMode, kToggleFloor, kToggleVolume, kReset, kPrevAvatar, kTeleportAvatar, kNextAvatar
};

// The key's list copied over the default from the first value on (at most four values; a
// shorter list keeps the default's remaining values), else the default. Safe to call from
// several threads at once.
PaletteRect GetSettingRect(const std::string& key, const PaletteRect& defaultRect);
// The rectangle of button index i (0..11) from the configuration.
PaletteRect GetPaletteButtonRect(int index);
// "uiPrevAvatar" and "uiNextAvatar".
PaletteRect GetUiPrevAvatarRect();
PaletteRect GetUiNextAvatarRect();

// The palette artwork and the cache that receives the uploads.
struct PaletteImageBuilder {
  IconTextureCache* cache = nullptr;
  vtkSmartPointer<vtkImageData> image;  // null when the artwork could not be read
  PaletteImageBuilder() = default;
  PaletteImageBuilder(IconTextureCache* c, vtkSmartPointer<vtkImageData> i) : cache(c), image(std::move(i)) {}
  explicit PaletteImageBuilder(std::pair<IconTextureCache*, vtkSmartPointer<vtkImageData>> loaded)
      : cache(loaded.first), image(std::move(loaded.second)) {}
};

// The 32 page images, mask 0 first, into the cache's first list. False, uploading nothing,
// without an image or a cache.
bool PaintPaletteToggleButtons(PaletteImageBuilder& builder);
// The 25 overlay images, entry 0 first, into the cache's second list. False without an image.
bool PaintPaletteButtonStates(PaletteImageBuilder& builder);
// The teleport mask over the rectangle, as the cache's current image.
bool BuildTeleportMask(PaletteImageBuilder& builder, const PaletteRect& rect);
// The teleport mask over the span of the avatar buttons: x0 of previous, x1 of next, y0 and y1
// of previous.
bool RecolorImageRegion(PaletteImageBuilder& builder, const PaletteRect& previous, const PaletteRect& next);

// Reads the artwork and builds everything above into the cache; nothing when it cannot be read.
// The icon preload's palette step.
void BuildPaletteImages(IconTextureCache& cache, const std::string& palettePath);

// Image operations (8-bit RGBA images; anything else is left alone).
// Truncating rule; each byte := trunc(byte x factor), clamped to 0..255.
void MultiplyImageRegion(const double factors[4], const PaletteRect& rect, vtkImageData* image);
// Truncating rule; a pixel whose four bytes all lie within "paletteColorTolerance" x 255 of
// match gets the replacement's four bytes.
void ReplaceColorInRegion(const unsigned char match[4], const unsigned char replacement[4], const PaletteRect& rect,
                          vtkImageData* image);
// Nearest rule; the pixels within width of the rectangle's edges get the border colour (R, G, B).
void DrawRectBorder(vtkImageData* image, const PaletteRect& rect, double width);
// A copy that is the colour inside the rectangle (nearest rule) and transparent black outside,
// uploaded into the cache's second list.
bool BuildOverlayImage(const double color[4], const PaletteRect& rect, vtkImageData* image, IconTextureCache* cache);
// A copy of the page image with the button borders, uploaded into the cache's first list.
bool PaintPaletteButtonBorders(vtkImageData* pageImage, IconTextureCache* cache);
