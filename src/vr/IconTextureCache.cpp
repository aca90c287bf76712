#include "IconTextureCache.h"

#include <vtk_glew.h>

#include <vector>

#include <vtkImageData.h>

#include "Configuration.h"
#include "PngImage.h"
#include "TextureParameters.h"

namespace {

// The largest side any driver of ours accepts; also keeps width x height x 4 far from overflow.
constexpr int kMaxBlankSide = 16384;

// The HUD's blank image: as large as the HUD target, whose size the render window fits the same way.
void blankSizeFromSettings(int& width, int& height) {
  width = GetConfigIntClamped("hudResolution", 1024, 1, kMaxBlankSide);
  const double aspect = GetConfigRealClamped("hudAspectRatio", 4.0 / 3.0, 1.0 / kMaxBlankSide, kMaxBlankSide);
  const double h = width / aspect;
  height = h < 1.0 ? 1 : h > kMaxBlankSide ? kMaxBlankSide : static_cast<int>(h);
  FitTargetSize(width, height, kMaxBlankSide);
}

}  // namespace

IconTextureCache::IconTextureCache() { blankSizeFromSettings(_blankWidth, _blankHeight); }

IconTextureCache::~IconTextureCache() { deleteAllTextures(); }

bool IconTextureCache::find(const std::string& name, Record& record) const {
  std::lock_guard<std::mutex> lock(_mutex);
  auto it = _textures.find(name);
  if (it == _textures.end()) return false;
  record = it->second;
  return true;
}

IconTextureCache::Record IconTextureCache::insertOrKeep(const std::string& name, const Record& record) {
  std::lock_guard<std::mutex> lock(_mutex);
  auto inserted = _textures.emplace(name, record);
  if (!inserted.second && inserted.first->second.name != record.name && record.name != 0) {
    // Another thread loaded the same name meanwhile: keep the first texture, drop this one.
    GLuint name = record.name;
    glDeleteTextures(1, &name);
  }
  return inserted.first->second;
}

bool IconTextureCache::announce(const std::string& name, int width, int height) {
  std::lock_guard<std::mutex> lock(_mutex);
  if (_textures.count(name)) return false;
  if (_blank == 0) {
    const unsigned char transparent[4] = {0, 0, 0, 0};
    _blank = UploadGlTexture(transparent, 1, 1, 4, false);
  }
  _textures.emplace(name, Record{0, width, height, std::make_shared<TextureFill>(_blank)});
  return true;
}

void IconTextureCache::fill(const std::string& name, uint32_t texture) {
  std::shared_ptr<TextureFill> fill;
  {
    std::lock_guard<std::mutex> lock(_mutex);
    auto it = _textures.find(name);
    if (it != _textures.end() && it->second.name == 0 && it->second.fill) {
      it->second.name = texture;
      fill.swap(it->second.fill);
    }
  }
  if (fill) {
    fill->publish(texture);
  } else if (texture != 0) {
    GLuint unused = texture;
    glDeleteTextures(1, &unused);
  }
}

void IconTextureCache::blankSize(int& width, int& height) const {
  std::lock_guard<std::mutex> lock(_mutex);
  width = _blankWidth;
  height = _blankHeight;
}

void IconTextureCache::getOrLoad(const std::string& name, const std::string& fallback, Record& record) {
  record = Record();
  if (!find(name, record)) LoadPngIcon(*this, name, record, fallback);
}

vtkSmartPointer<OpenVRTexture> IconTextureCache::wrap(const Record& record, int translucencyMode) const {
  auto texture = vtkSmartPointer<OpenVRTexture>::New();
  texture->SetTranslucencyMode(translucencyMode);
  if (record.name == 0 && record.fill) {
    texture->SetTextureFill(record.fill);
  } else {
    texture->SetTextureHandle(record.name);
  }
  texture->SetWidth(record.width);
  texture->SetHeight(record.height);
  return texture;
}

vtkSmartPointer<OpenVRTexture>& IconTextureCache::getTexture(vtkSmartPointer<OpenVRTexture>& result,
                                                             const std::string& name, int translucencyMode,
                                                             const std::string& fallback) {
  Record record;
  getOrLoad(name, fallback, record);
  result = wrap(record, translucencyMode);
  return result;
}

void IconTextureCache::getTextureEx(const std::vector<std::string>& names,
                                    std::vector<vtkSmartPointer<OpenVRTexture>>& textures, int translucencyMode) {
  for (const std::string& name : names) {
    Record record;
    getOrLoad(name, std::string(), record);
    textures.push_back(wrap(record, translucencyMode));
  }
}

bool IconTextureCache::uploadPaletteImage(vtkImageData* image, std::vector<uint32_t>* list, bool current) {
  vtkSmartPointer<vtkImageData> rgba = ConvertToRgba8(image);
  if (!rgba) return false;
  int dims[3];
  rgba->GetDimensions(dims);
  std::lock_guard<std::mutex> lock(_mutex);
  const uint32_t name =
      UploadGlTexture(static_cast<const unsigned char*>(rgba->GetScalarPointer()), dims[0], dims[1], 4, false);
  if (name == 0) return false;
  if (current) {
    _currentImage = name;
  } else {
    list->push_back(name);
  }
  return true;
}

bool IconTextureCache::uploadImageA(vtkImageData* image) { return uploadPaletteImage(image, &_paletteImagesA, false); }
bool IconTextureCache::uploadImageB(vtkImageData* image) { return uploadPaletteImage(image, &_paletteImagesB, false); }
bool IconTextureCache::uploadCurrentImage(vtkImageData* image) { return uploadPaletteImage(image, nullptr, true); }

void IconTextureCache::createTexturesA(std::vector<vtkSmartPointer<OpenVRTexture>>& textures) {
  std::lock_guard<std::mutex> lock(_mutex);
  for (uint32_t name : _paletteImagesA) textures.push_back(wrap(Record{name, 0, 0, nullptr}, 1));
}

void IconTextureCache::createTexturesB(std::vector<vtkSmartPointer<OpenVRTexture>>& textures) {
  std::lock_guard<std::mutex> lock(_mutex);
  for (uint32_t name : _paletteImagesB) textures.push_back(wrap(Record{name, 0, 0, nullptr}, 1));
}

void IconTextureCache::wrapCurrentTexture(vtkSmartPointer<OpenVRTexture>& texture) {
  std::lock_guard<std::mutex> lock(_mutex);
  texture = wrap(Record{_currentImage, 0, 0, nullptr}, 1);
}

void IconTextureCache::setPalettePending(bool pending) { _palettePending.store(pending, std::memory_order_release); }

bool IconTextureCache::palettePending() const { return _palettePending.load(std::memory_order_acquire); }

void IconTextureCache::deleteAllTextures() {
  std::lock_guard<std::mutex> lock(_mutex);
  for (auto& entry : _textures) {
    GLuint name = entry.second.name;
    if (name != 0) glDeleteTextures(1, &name);
  }
  if (!_paletteImagesB.empty()) glDeleteTextures(static_cast<GLsizei>(_paletteImagesB.size()), _paletteImagesB.data());
  if (!_paletteImagesA.empty()) glDeleteTextures(static_cast<GLsizei>(_paletteImagesA.size()), _paletteImagesA.data());
  for (GLuint name : {GLuint(_currentImage), GLuint(_blank)})
    if (name != 0) glDeleteTextures(1, &name);
  _textures.clear();
  _paletteImagesB.clear();
  _paletteImagesA.clear();
  _currentImage = 0;
  _blank = 0;
}

void IconTextureCache::setRepeatWrap(bool repeat) { _repeatWrap = repeat; }

bool IconTextureCache::getRepeatWrap() const { return _repeatWrap; }

size_t IconTextureCache::size() const {
  std::lock_guard<std::mutex> lock(_mutex);
  return _textures.size();
}

size_t IconTextureCache::paletteImageCountA() const {
  std::lock_guard<std::mutex> lock(_mutex);
  return _paletteImagesA.size();
}

size_t IconTextureCache::paletteImageCountB() const {
  std::lock_guard<std::mutex> lock(_mutex);
  return _paletteImagesB.size();
}

uint32_t IconTextureCache::currentImage() const {
  std::lock_guard<std::mutex> lock(_mutex);
  return _currentImage;
}

bool FindOrLoadImage(IconTextureCache& cache, const std::string& name, IconTextureCache::Record& record,
                     const std::string& fallback) {
  if (cache.find(name, record)) return true;
  return LoadPngIcon(cache, name, record, fallback);
}

bool LoadPngIcon(IconTextureCache& cache, const std::string& name, IconTextureCache::Record& record,
                 const std::string& fallback) {
  int width = 0, height = 0;
  {
    std::lock_guard<std::mutex> lock(cache._mutex);
    width = cache._blankWidth;
    height = cache._blankHeight;
  }
  // A file that is missing, no PNG or empty counts as missing: the fallback, else a blank.
  vtkSmartPointer<vtkImageData> image = ReadPngRgba8(name);
  if (!image && !fallback.empty()) image = ReadPngRgba8(fallback);

  uint32_t texture = 0;
  bool fromFile = false;
  if (image) {
    int dims[3];
    image->GetDimensions(dims);
    texture = UploadGlTexture(cache, static_cast<const unsigned char*>(image->GetScalarPointer()), dims[0], dims[1], 4);
    if (texture != 0) {
      width = dims[0];
      height = dims[1];
      fromFile = true;
    }
  }
  if (texture == 0) texture = UploadGlTexture(cache, nullptr, width, height, 4);
  record = cache.insertOrKeep(name, IconTextureCache::Record{texture, width, height, nullptr});
  return fromFile;
}

bool CreateBlankTexture(IconTextureCache& cache, const std::string& name, IconTextureCache::Record& record) {
  if (cache.find(name, record)) return false;
  int width = 0, height = 0;
  {
    std::lock_guard<std::mutex> lock(cache._mutex);
    width = cache._blankWidth;
    height = cache._blankHeight;
  }
  const uint32_t texture = UploadGlTexture(cache, nullptr, width, height, 4);
  record = cache.insertOrKeep(name, IconTextureCache::Record{texture, width, height, nullptr});
  return true;
}

uint32_t UploadGlTexture(IconTextureCache& cache, const unsigned char* pixels, int width, int height,
                         int components) {
  return UploadGlTexture(pixels, width, height, components, cache._repeatWrap);
}

uint32_t UploadGlTexture(const unsigned char* pixels, int width, int height, int components, bool repeatWrap) {
  if (components != 3 && components != 4) return 0;
  const int maxSide = MaxTextureSize();
  if (width < 1 || height < 1 || width > maxSide || height > maxSide) return 0;

  GLint previousBinding = 0, previousAlignment = 4;
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &previousBinding);
  glGetIntegerv(GL_UNPACK_ALIGNMENT, &previousAlignment);
  GLuint name = 0;
  glGenTextures(1, &name);
  glBindTexture(GL_TEXTURE_2D, name);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glTexStorage2D(GL_TEXTURE_2D, MipLevelCount(width, height), GL_RGBA8, width, height);
  if (pixels) {
    // The levels are made here rather than by glGenerateMipmap: a software rasterizer draws
    // each level, serialised with every other context's drawing.
    const GLenum format = components == 3 ? GL_RGB : GL_RGBA;
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, width, height, format, GL_UNSIGNED_BYTE, pixels);
    const int levels = MipLevelCount(width, height);
    std::vector<unsigned char> above, below;
    const unsigned char* level = pixels;
    for (int l = 1, w = width, h = height; l < levels; ++l) {
      below.resize(static_cast<size_t>(w > 1 ? w / 2 : 1) * (h > 1 ? h / 2 : 1) * components);
      NextMipLevel(level, w, h, components, below.data(), w, h);
      glTexSubImage2D(GL_TEXTURE_2D, l, 0, 0, w, h, format, GL_UNSIGNED_BYTE, below.data());
      above.swap(below);
      level = above.data();
    }
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    ApplyAnisotropy();
  } else {
    // Render targets start transparent rather than with whatever the driver left there. Every
    // level is written directly: a mipmap pass over zeros would only cost (on a software
    // rasterizer it is a draw per level). Cleared in place where the driver can, without a
    // buffer of zeros as large as the image to fill and copy.
    const int levels = MipLevelCount(width, height);
    if (GLEW_VERSION_4_4 || GLEW_ARB_clear_texture) {
      const unsigned char transparent[4] = {0, 0, 0, 0};
      for (int level = 0; level < levels; ++level)
        glClearTexImage(name, level, GL_RGBA, GL_UNSIGNED_BYTE, transparent);
    } else {
      const std::vector<unsigned char> zeros(static_cast<size_t>(width) * height * 4, 0);
      for (int level = 0, w = width, h = height; level < levels; ++level) {
        glTexSubImage2D(GL_TEXTURE_2D, level, 0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, zeros.data());
        w = w > 1 ? w / 2 : 1;
        h = h > 1 ? h / 2 : 1;
      }
    }
  }
  const GLfloat wrap = static_cast<GLfloat>(repeatWrap ? GL_REPEAT : GL_CLAMP_TO_BORDER);
  glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, wrap);
  glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, wrap);
  const GLfloat border[4] = {1.0f, 1.0f, 1.0f, 0.0f};
  glTexParameterfv(GL_TEXTURE_2D, GL_TEXTURE_BORDER_COLOR, border);
  glPixelStorei(GL_UNPACK_ALIGNMENT, previousAlignment);
  glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(previousBinding));
  return name;
}

bool HasPendingItems(IconTextureCache& cache) {
  std::lock_guard<std::mutex> lock(cache._mutex);
  return !cache._paletteImagesA.empty();
}

void SetHudSize(IconTextureCache& cache, int width, int height) {
  std::lock_guard<std::mutex> lock(cache._mutex);
  cache._blankWidth = width < 1 ? 1 : width > kMaxBlankSide ? kMaxBlankSide : width;
  cache._blankHeight = height < 1 ? 1 : height > kMaxBlankSide ? kMaxBlankSide : height;
}

void ReadHudSize(IconTextureCache& cache) {
  int width = 0, height = 0;
  blankSizeFromSettings(width, height);
  SetHudSize(cache, width, height);
}
