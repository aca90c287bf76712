#pragma once
// Every icon, panel and palette image of the VR view as a GL texture, loaded once and shared
// by both render buffers (their contexts share textures). Each operation takes the cache's
// mutex for itself; the mutex is not recursive. GL work runs on whichever thread has a context
// of the shared group current (the back-buffer updater during the preload, the render thread
// for later lookups). The cache owns every GL name it holds; the OpenVRTexture objects it hands
// out only wrap them. A name can be announced with its size before its texture exists, so that
// a scene's set-up need not wait for the preload: its wrappers draw nothing until it is filled.
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <vtkSmartPointer.h>

#include "OpenVRTexture.h"
#include "TextureFill.h"

class vtkImageData;

class IconTextureCache {
 public:
  struct Record {
    uint32_t name = 0;  // GL texture name; 0 while an announced texture is not filled yet
    int32_t width = 0;
    int32_t height = 0;
    std::shared_ptr<TextureFill> fill;  // while announced and not filled yet
  };

  // Reads only settings: the blank size from "hudResolution" and "hudAspectRatio".
  IconTextureCache();
  // Deletes every texture: a context of the group must be current when anything is cached.
  ~IconTextureCache();
  IconTextureCache(const IconTextureCache&) = delete;
  IconTextureCache& operator=(const IconTextureCache&) = delete;

  // The cached texture of the name, loading the PNG file of that path (or else the fallback
  // file) on first use; a name that is no readable PNG gets a transparent blank texture of the
  // blank size. The result wraps the GL name with the record's size and the given mode.
  vtkSmartPointer<OpenVRTexture>& getTexture(vtkSmartPointer<OpenVRTexture>& result, const std::string& name,
                                             int translucencyMode, const std::string& fallback = std::string());
  // One texture per name, in order, appended to the list (no fallback).
  void getTextureEx(const std::vector<std::string>& names, std::vector<vtkSmartPointer<OpenVRTexture>>& textures,
                    int translucencyMode);
  // Exact lookup of a name.
  bool find(const std::string& name, Record& record) const;

  // Caches the name with the size its texture will have, before the texture exists; false
  // (nothing changed) when the name is cached already. Its wrappers draw a transparent
  // blank until fill. A context of the group must be current: the first announcement
  // makes the blank, which must be complete (glFinish) before any other context uses it.
  bool announce(const std::string& name, int width, int height);
  // The announced name's texture, complete (glFinish) in the filling context, which the
  // wrappers take at their next render. A texture for a name not awaiting one is deleted.
  void fill(const std::string& name, uint32_t texture);
  // The size of the blank textures made now.
  void blankSize(int& width, int& height) const;

  // The palette images: a new texture from an 8-bit RGBA image appended to the first list
  // (pages), the second list (overlays), or made the current image. False, uploading nothing,
  // for an image without pixels.
  bool uploadImageA(vtkImageData* image);
  bool uploadImageB(vtkImageData* image);
  bool uploadCurrentImage(vtkImageData* image);
  // New translucent textures (mode 1) wrapping the lists' names, appended in list order.
  void createTexturesA(std::vector<vtkSmartPointer<OpenVRTexture>>& textures);
  void createTexturesB(std::vector<vtkSmartPointer<OpenVRTexture>>& textures);
  // Replaces the pointer by a translucent texture wrapping the current image.
  void wrapCurrentTexture(vtkSmartPointer<OpenVRTexture>& texture);
  // True while a preload is still building the palette images: the lists above are then
  // incomplete and their textures may still be written, so nobody else may wrap them yet. The
  // preload clears it only once the images are complete (glFinish), with release order.
  void setPalettePending(bool pending);
  bool palettePending() const;

  // Deletes every texture and empties the cache, so a second call deletes nothing.
  void deleteAllTextures();

  // The uploads made after this wrap with GL_REPEAT (true) or clamp to a transparent white
  // border (false).
  void setRepeatWrap(bool repeat);
  bool getRepeatWrap() const;
  // Number of cached names (not counting the palette lists).
  size_t size() const;
  size_t paletteImageCountA() const;
  size_t paletteImageCountB() const;
  uint32_t currentImage() const;

 private:
  friend bool LoadPngIcon(IconTextureCache&, const std::string&, Record&, const std::string&);
  friend bool CreateBlankTexture(IconTextureCache&, const std::string&, Record&);
  friend uint32_t UploadGlTexture(IconTextureCache&, const unsigned char*, int, int, int);
  friend bool HasPendingItems(IconTextureCache&);
  friend void SetHudSize(IconTextureCache&, int, int);
  friend void ReadHudSize(IconTextureCache&);

  // Stores the record under the name unless another thread stored one first; then the new
  // texture is deleted and the stored record is returned.
  Record insertOrKeep(const std::string& name, const Record& record);
  // Uploads an image into one of the palette slots.
  bool uploadPaletteImage(vtkImageData* image, std::vector<uint32_t>* list, bool current);
  void getOrLoad(const std::string& name, const std::string& fallback, Record& record);
  vtkSmartPointer<OpenVRTexture> wrap(const Record& record, int translucencyMode) const;

  std::map<std::string, Record> _textures;
  std::vector<uint32_t> _paletteImagesB;
  std::vector<uint32_t> _paletteImagesA;
  std::atomic<bool> _repeatWrap{true};
  std::atomic<bool> _palettePending{false};
  uint32_t _currentImage = 0;
  uint32_t _blank = 0;
  int _blankWidth = 1024;
  int _blankHeight = 768;
  mutable std::mutex _mutex;
};

// find, else LoadPngIcon. True when the texture is cached or came from a file.
bool FindOrLoadImage(IconTextureCache& cache, const std::string& name, IconTextureCache::Record& record,
                     const std::string& fallback);
// Loads the PNG of the name (or the fallback when the name's file is missing) and caches it
// under the name. A missing, unreadable, non-PNG or empty file gives a blank texture instead.
// True when the pixels came from a file.
bool LoadPngIcon(IconTextureCache& cache, const std::string& name, IconTextureCache::Record& record,
                 const std::string& fallback);
// Caches a transparent blank texture of the blank size under the name without looking for a
// file (render targets such as "HUD0"); false when the name was cached already.
bool CreateBlankTexture(IconTextureCache& cache, const std::string& name, IconTextureCache::Record& record);
// A new texture of w x h with a full mipmap chain: the pixels (3 or 4 components of 8 bits)
// when given, else transparent. Wrap as the cache's repeat flag says, border (1, 1, 1, 0).
// Returns 0 (nothing made) for sizes outside 1 .. GL_MAX_TEXTURE_SIZE or other components.
uint32_t UploadGlTexture(IconTextureCache& cache, const unsigned char* pixels, int width, int height,
                         int components);
// The same with the wrap given: the palette images always clamp to the border, whatever
// another thread sets the repeat flag to while they are built.
uint32_t UploadGlTexture(const unsigned char* pixels, int width, int height, int components, bool repeatWrap);
// Whether the first palette list holds any image.
bool HasPendingItems(IconTextureCache& cache);
// The size of the blank textures made from now on.
void SetHudSize(IconTextureCache& cache, int width, int height);
// The blank size from "hudResolution" (default 1024) by that / "hudAspectRatio" (default 4/3).
void ReadHudSize(IconTextureCache& cache);
