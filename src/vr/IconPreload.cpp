#include "IconPreload.h"

#include <vtk_glew.h>

#include <mutex>
#include <set>

#include "Configuration.h"
#include "IconTextureCache.h"
#include "Logger.h"
#include "PngImage.h"
#include "StringHelper.h"
#include "TextureParameters.h"

namespace {

const char* const kToolIcons[] = {"lookingglass2.png", "enlarge2.png",   "shrink2.png",     "forward2.png",
                                  "backward2.png",     "clip_small2.png", "enlargeVert2.png", "shrinkVert2.png",
                                  "planesection_small.png", "left.png",  "right.png"};
const char* const kStatusImages[] = {"Flymode_forward.png", "Flymode_backward.png", "clip2.png",
                                     "clip_bw2.png",        "planesection.png",     "planesection_bw.png",
                                     "Updating2.png",       "Flymode.png",          "laser2.png",
                                     "Link.png",            "directionPointer.png", "positionPointer.png",
                                     "Link2.png"};
const char* const kHands[] = {"Left", "Right"};
const char* const kPadDirections[] = {"North", "East", "South", "West"};
// The direction names of the icon states 0 to 5.
const char* const kStates[] = {"West", "South", "East", "North", "Undefined", "Alt"};

constexpr int kMaxOverlaySide = 16384;
// Images of more pixels are panels shown on demand, made after the palette images.
constexpr long long kMaxIconPixels = 512 * 512;

}  // namespace

int GetLinkedOverlayWidth() { return GetConfigIntClamped("linkedOverlayWidth", 1024, 1, kMaxOverlaySide); }
int GetLinkedOverlayHeight() { return GetConfigIntClamped("linkedOverlayHeight", 1600, 1, kMaxOverlaySide); }
std::string GetDefaultTexFileName() { return getConfigString("defaultTexFileName", "hex-texture.png"); }

std::string GetRoomTextureFallback() {
  const std::string builtIn = "hex-texture.png";
  const std::string assets = getVRAssetsDir();
  const std::string name = GetDefaultTexFileName();
  // Invalid bytes come back as U+FFFD, so a name that survives the round trip is valid UTF-8.
  const std::string shown = StringHelper::toString(StringHelper::toWString(name));
  const char* problem = nullptr;
  int width = 0, height = 0;
  if (shown != name) problem = "is not valid UTF-8";
  else if (!ProbeFile(assets + name)) problem = "does not exist";
  else if (!ReadPngSize(assets + name, width, height)) problem = "is no PNG image";
  if (!problem || name == builtIn) return assets + name;
  // Said once per name: the room is set up again for every scene and settings change.
  static std::mutex mutex;
  static std::set<std::string> reported;
  std::lock_guard<std::mutex> lock(mutex);
  if (reported.insert(name).second)
    Logger::getSingleton().warning("The room texture '" + assets + shown + "' named by defaultTexFileName in config.ini " +
                                   problem + "; the built-in " + builtIn + " is used instead.");
  return assets + builtIn;
}

std::vector<std::string> PreloadIconFileNames(const std::string& assetsDir) {
  std::vector<std::string> names;
  for (const char* icon : kToolIcons) names.push_back(assetsDir + icon);
  for (int page = 0;; ++page) {
    const std::string path = assetsDir + "QuickStart" + std::to_string(page) + ".png";
    if (!ProbeFile(path)) break;
    names.push_back(path);
  }
  for (const char* hand : kHands) {
    for (const char* direction : kPadDirections) {
      for (const char* state : kStates) {
        std::string path = assetsDir + hand + direction + state + ".png";
        if (!ProbeFile(path)) path = assetsDir + hand + direction + "Undefined.png";
        if (ProbeFile(path)) names.push_back(path);
      }
    }
  }
  for (const char* image : kStatusImages) names.push_back(assetsDir + image);
  return names;
}

void PreloadIconTextures(IconTextureCache* cache, const std::string& firstTexturePath,
                         const std::string& secondTexturePath, const PaletteImageBuild& buildPalette) {
  PreloadIconImages(cache, firstTexturePath, secondTexturePath);
  PreloadPaletteImages(cache, buildPalette);
}

void PreloadIconImages(IconTextureCache* cache, const std::string& firstTexturePath,
                       const std::string& secondTexturePath) {
  const AnnouncedImages images = AnnounceIconImages(cache, firstTexturePath, secondTexturePath);
  FillIconImages(cache, images.first);
  FillIconImages(cache, images.later);
}

AnnouncedImages AnnounceIconImages(IconTextureCache* cache, const std::string& firstTexturePath,
                                   const std::string& secondTexturePath) {
  AnnouncedImages images;
  if (!cache) return images;
  const std::string assets = getVRAssetsDir();
  int blankWidth = 0, blankHeight = 0;
  cache->blankSize(blankWidth, blankHeight);
  // The HUD panels of the two render buffers: render targets, never files.
  for (const char* name : {"HUD0", "HUD1"})
    if (cache->announce(name, blankWidth, blankHeight)) images.first.push_back({name, false});
  // A file that is missing, no PNG or too large for a texture becomes a blank of the HUD size.
  const int maxSide = MaxTextureSize();
  for (const std::string& name : PreloadIconFileNames(assets)) {
    int width = blankWidth, height = blankHeight;
    if (!ReadPngSize(name, width, height) || width > maxSide || height > maxSide) {
      width = blankWidth;
      height = blankHeight;
    }
    if (cache->announce(name, width, height))
      (static_cast<long long>(width) * height > kMaxIconPixels ? images.later : images.first).push_back({name, true});
  }
  // The linked-state overlays show only once another participant shares something.
  for (const char* name : {"LINKED0", "LINKED1"})
    if (cache->announce(name, GetLinkedOverlayWidth(), GetLinkedOverlayHeight()))
      images.later.push_back({name, false});

  IconTextureCache::Record record;
  cache->setRepeatWrap(true);
  const std::string fallback = GetRoomTextureFallback();
  FindOrLoadImage(*cache, firstTexturePath, record, fallback);
  FindOrLoadImage(*cache, secondTexturePath, record, fallback);
  return images;
}

void FillIconImages(IconTextureCache* cache, const std::vector<AnnouncedImage>& images) {
  if (!cache) return;
  for (const AnnouncedImage& image : images) {
    IconTextureCache::Record record;
    if (!cache->find(image.name, record) || !record.fill) continue;
    uint32_t texture = 0;
    if (image.fromFile) {
      vtkSmartPointer<vtkImageData> pixels = ReadPngRgba8(image.name);
      const int* dims = pixels ? pixels->GetDimensions() : nullptr;
      // Icons clamp to a transparent border.
      if (dims && dims[0] == record.width && dims[1] == record.height)
        texture = UploadGlTexture(static_cast<const unsigned char*>(pixels->GetScalarPointer()), dims[0], dims[1], 4,
                                  false);
    }
    if (texture == 0) texture = UploadGlTexture(nullptr, record.width, record.height, 4, false);
    // Other contexts may bind it as soon as the cache has it.
    glFinish();
    cache->fill(image.name, texture);
  }
}

void PreloadPaletteImages(IconTextureCache* cache, const PaletteImageBuild& buildPalette) {
  if (cache && !HasPendingItems(*cache) && buildPalette) buildPalette(*cache, getVRAssetsDir() + "PaletteVersion9.png");
}
