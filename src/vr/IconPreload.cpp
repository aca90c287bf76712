#include "IconPreload.h"

#include "Configuration.h"
#include "IconTextureCache.h"
#include "PngImage.h"

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

}  // namespace

int GetLinkedOverlayWidth() { return GetConfigIntClamped("linkedOverlayWidth", 1024, 1, kMaxOverlaySide); }
int GetLinkedOverlayHeight() { return GetConfigIntClamped("linkedOverlayHeight", 1600, 1, kMaxOverlaySide); }
std::string GetDefaultTexFileName() { return getConfigString("defaultTexFileName", "hex-texture.png"); }

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
  if (!cache) return;
  const std::string assets = getVRAssetsDir();
  IconTextureCache::Record record;

  cache->setRepeatWrap(false);
  for (const std::string& name : PreloadIconFileNames(assets)) FindOrLoadImage(*cache, name, record, std::string());
  // The HUD panels of the two render buffers: render targets, never files.
  CreateBlankTexture(*cache, "HUD0", record);
  CreateBlankTexture(*cache, "HUD1", record);

  SetHudSize(*cache, GetLinkedOverlayWidth(), GetLinkedOverlayHeight());
  CreateBlankTexture(*cache, "LINKED0", record);
  CreateBlankTexture(*cache, "LINKED1", record);
  ReadHudSize(*cache);

  cache->setRepeatWrap(true);
  const std::string fallback = assets + GetDefaultTexFileName();
  FindOrLoadImage(*cache, firstTexturePath, record, fallback);
  FindOrLoadImage(*cache, secondTexturePath, record, fallback);
}

void PreloadPaletteImages(IconTextureCache* cache, const PaletteImageBuild& buildPalette) {
  if (cache && !HasPendingItems(*cache) && buildPalette) buildPalette(*cache, getVRAssetsDir() + "PaletteVersion9.png");
}
