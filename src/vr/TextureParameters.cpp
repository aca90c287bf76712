#include "TextureParameters.h"

#include <algorithm>
#include <cmath>

#include <vtk_glew.h>

#include <vtkTexture.h>

#include "Configuration.h"
#include "SoftwareRasterizer.h"

int WrapModeToGL(int vtkWrapMode) {
  switch (vtkWrapMode) {
    case vtkTexture::ClampToEdge: return GL_CLAMP_TO_EDGE;
    case vtkTexture::MirroredRepeat: return GL_MIRRORED_REPEAT;
    case vtkTexture::ClampToBorder: return GL_CLAMP_TO_BORDER;
    default: return GL_REPEAT;
  }
}

void ApplyAnisotropy() {
  if (!GLEW_EXT_texture_filter_anisotropic && !GLEW_ARB_texture_filter_anisotropic) return;
  GLfloat maximum = 1.0f;
  glGetFloatv(GL_MAX_TEXTURE_MAX_ANISOTROPY_EXT, &maximum);
  if (!(maximum >= 1.0f)) maximum = 1.0f;
  const double quality = std::min<double>(TextureAnisotropy(), maximum);
  glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAX_ANISOTROPY_EXT, static_cast<GLfloat>(quality));
}

void ApplyRoomTextureFilter(unsigned int texture) {
  if (texture == 0) return;
  GLint previous = 0;
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &previous);
  glBindTexture(GL_TEXTURE_2D, texture);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER,
                  RoomBlendsMipmapLevels() ? GL_LINEAR_MIPMAP_LINEAR : GL_LINEAR_MIPMAP_NEAREST);
  glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(previous));
}

int MaxTextureSize() {
  GLint size = 0;
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &size);
  return size > 0 ? size : 2048;
}

bool FitTargetSize(int& width, int& height, int maxSide, int samples) {
  const int w0 = width < 1 ? 1 : width, h0 = height < 1 ? 1 : height;
  const double budget = static_cast<double>(kMaxTargetPixels) / (samples > 1 ? samples : 1);
  double scale = 1.0;
  if (w0 > maxSide) scale = std::min(scale, static_cast<double>(maxSide) / w0);
  if (h0 > maxSide) scale = std::min(scale, static_cast<double>(maxSide) / h0);
  if (static_cast<double>(w0) * h0 * scale * scale > budget) scale = std::sqrt(budget / (static_cast<double>(w0) * h0));
  const int w = std::max(1, std::min(maxSide, static_cast<int>(w0 * scale)));
  const int h = std::max(1, std::min(maxSide, static_cast<int>(h0 * scale)));
  const bool changed = w != width || h != height;
  width = w;
  height = h;
  return changed;
}
