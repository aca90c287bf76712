#pragma once
// Loads, once per scene view, every icon and panel image of the VR view into the icon texture
// cache, with the blank render targets of the HUD and the linked-state overlays, the palette
// images and the floor and ceiling textures. Back-buffer updater thread, its context current.
#include <functional>
#include <string>
#include <vector>

class IconTextureCache;

// Builds the palette images into the cache from the palette artwork at the path (the tools
// library's BuildPaletteImages). The VR output cannot depend on the tools, so the caller hands
// it in.
using PaletteImageBuild = std::function<void(IconTextureCache& cache, const std::string& palettePath)>;

// firstTexturePath, secondTexturePath: the floor and ceiling texture files. A missing one takes
// the pixels of the "defaultTexFileName" asset. An empty buildPalette skips the palette step.
// Both steps below, in order, everything complete on return.
void PreloadIconTextures(IconTextureCache* cache, const std::string& firstTexturePath,
                         const std::string& secondTexturePath, const PaletteImageBuild& buildPalette);
// The first step: the icons and panel images, the blank targets and the floor and ceiling
// textures; everything a scene's set-up wraps.
void PreloadIconImages(IconTextureCache* cache, const std::string& firstTexturePath,
                       const std::string& secondTexturePath);
// The first step in two parts, so that a scene's set-up need only wait for the quick first: it
// announces every icon and panel image and blank target (sizes from the files' headers) and
// loads the floor and ceiling textures (the room filters them at set-up). Returns what the
// second part makes: first what a scene shows from its start (the HUD targets, the icons and
// labels), later what shows on demand (the large panels: quick-start pages, the updating,
// fly-mode and link panels; the linked-state overlays).
struct AnnouncedImage {
  std::string name;
  bool fromFile = true;  // else a blank render target
};
struct AnnouncedImages {
  std::vector<AnnouncedImage> first;
  std::vector<AnnouncedImage> later;
};
AnnouncedImages AnnounceIconImages(IconTextureCache* cache, const std::string& firstTexturePath,
                                   const std::string& secondTexturePath);
// Makes the announced textures in order, finishing and handing each to the cache as it is
// complete. An image whose file fails to decode gets a transparent blank of its announced size.
void FillIconImages(IconTextureCache* cache, const std::vector<AnnouncedImage>& images);
// The second step: the palette images, unless the cache holds them already. Only tool sets
// wrap them, and they can take them later (see IconTextureCache::palettePending).
void PreloadPaletteImages(IconTextureCache* cache, const PaletteImageBuild& buildPalette);

// The image files the preload loads, in order: the tool icons, the quick-start pages up to the
// first missing one, the touch-pad labels present (a missing label replaced by its hand and
// direction's "Undefined" image) and the status and marker images. assetsDir ends with a separator.
std::vector<std::string> PreloadIconFileNames(const std::string& assetsDir);

// "linkedOverlayWidth" (default 1024) and "linkedOverlayHeight" (default 1600), 1 .. 16384.
int GetLinkedOverlayWidth();
int GetLinkedOverlayHeight();
// "defaultTexFileName", default "hex-texture.png".
std::string GetDefaultTexFileName();
// The room's texture where the floor or ceiling file cannot be read: "defaultTexFileName" in the
// assets folder, or the built-in hex-texture.png when that names no readable PNG or is no valid
// UTF-8, which is logged once per name. Any thread.
std::string GetRoomTextureFallback();
