#include "TextureParameters.h"

#include <vtk_glew.h>

#include <vtkTexture.h>

#include "Configuration.h"

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
  const double quality = GetConfigRealClamped("textureQuality", 16.0, 1.0, maximum);
  glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAX_ANISOTROPY_EXT, static_cast<GLfloat>(quality));
}

int MaxTextureSize() {
  GLint size = 0;
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &size);
  return size > 0 ? size : 2048;
}
