#include "TextureReadback.h"

#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>

namespace vrsim {

bool readTexture(uint32_t textureName, int& width, int& height, std::vector<uint8_t>& rgba,
                 std::string& error) {
  if (!glGetString(GL_VERSION)) {
    error = "no OpenGL context is current";
    return false;
  }
  while (glGetError() != GL_NO_ERROR) {
  }
  if (!glIsTexture(textureName)) {
    error = "texture " + std::to_string(textureName) + " does not exist in the current context";
    return false;
  }
  GLint binding = 0, packBuffer = 0, alignment = 4, rowLength = 0, skipRows = 0, skipPixels = 0;
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &binding);
  glGetIntegerv(GL_PIXEL_PACK_BUFFER_BINDING, &packBuffer);
  glGetIntegerv(GL_PACK_ALIGNMENT, &alignment);
  glGetIntegerv(GL_PACK_ROW_LENGTH, &rowLength);
  glGetIntegerv(GL_PACK_SKIP_ROWS, &skipRows);
  glGetIntegerv(GL_PACK_SKIP_PIXELS, &skipPixels);

  bool ok = false;
  glBindTexture(GL_TEXTURE_2D, textureName);
  if (glGetError() != GL_NO_ERROR) {
    error = "texture " + std::to_string(textureName) + " is not a 2D texture";
  } else {
    GLint w = 0, h = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &h);
    if (w <= 0 || h <= 0) {
      error = "texture " + std::to_string(textureName) + " has no image";
    } else {
      if (packBuffer) glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
      glPixelStorei(GL_PACK_ALIGNMENT, 1);
      glPixelStorei(GL_PACK_ROW_LENGTH, 0);
      glPixelStorei(GL_PACK_SKIP_ROWS, 0);
      glPixelStorei(GL_PACK_SKIP_PIXELS, 0);
      rgba.assign(size_t(w) * size_t(h) * 4, 0);
      glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
      if (glGetError() != GL_NO_ERROR) {
        error = "reading texture " + std::to_string(textureName) + " failed";
      } else {
        width = w;
        height = h;
        ok = true;
      }
      glPixelStorei(GL_PACK_ALIGNMENT, alignment);
      glPixelStorei(GL_PACK_ROW_LENGTH, rowLength);
      glPixelStorei(GL_PACK_SKIP_ROWS, skipRows);
      glPixelStorei(GL_PACK_SKIP_PIXELS, skipPixels);
      if (packBuffer) glBindBuffer(GL_PIXEL_PACK_BUFFER, GLuint(packBuffer));
    }
  }
  glBindTexture(GL_TEXTURE_2D, GLuint(binding));
  return ok;
}

}  // namespace vrsim
