#include "kvg/OpenGLFramebufferUtils.h"

#include <GL/glew.h>

namespace kvg {

bool OpenGLFramebufferUtils::copyColorTextureToFramebuffer2D(unsigned int texture, int srcWidth, int srcHeight,
                                                             int dstWidth, int dstHeight) {
  if (texture == 0 || srcWidth <= 0 || srcHeight <= 0 || dstWidth <= 0 || dstHeight <= 0) return false;

  GLint previousRead = 0;
  glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &previousRead);

  // Framebuffer objects are not shared between contexts, so a short-lived one is made here
  // rather than cached against a context that may change.
  GLuint readFbo = 0;
  glGenFramebuffers(1, &readFbo);
  glBindFramebuffer(GL_READ_FRAMEBUFFER, readFbo);
  glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);
  glReadBuffer(GL_COLOR_ATTACHMENT0);
  const bool complete = glCheckFramebufferStatus(GL_READ_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
  if (complete) {
    glBlitFramebuffer(0, 0, srcWidth, srcHeight, 0, 0, dstWidth, dstHeight, GL_COLOR_BUFFER_BIT, GL_LINEAR);
  }
  glBindFramebuffer(GL_READ_FRAMEBUFFER, static_cast<GLuint>(previousRead));
  glDeleteFramebuffers(1, &readFbo);
  return complete;
}

}  // namespace kvg
