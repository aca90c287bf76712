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
// Both steps below, in order.
void PreloadIconTextures(IconTextureCache* cache, const std::string& firstTexturePath,
                         const std::string& secondTexturePath, const PaletteImageBuild& buildPalette);
// The first step: the icons and panel images, the blank targets and the floor and ceiling
// textures; everything a scene's set-up wraps.
void PreloadIconImages(IconTextureCache* cache, const std::string& firstTexturePath,
                       const std::string& secondTexturePath);
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
