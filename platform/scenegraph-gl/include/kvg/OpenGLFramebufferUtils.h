#pragma once
// Framebuffer helpers of an OpenGL renderer. Each call works on the context current on the
// calling thread and leaves that context's framebuffer bindings as it found them.

namespace kvg {

class OpenGLFramebufferUtils {
 public:
  // Copies the 2D colour texture (srcWidth x srcHeight) into the framebuffer bound for drawing,
  // stretched over (0, 0)-(dstWidth, dstHeight) with linear filtering. The scissor box, when the
  // scissor test is on, limits what is written. False when a size is not positive, the texture
  // is 0, or the texture cannot be read as a colour attachment.
  bool copyColorTextureToFramebuffer2D(unsigned int texture, int srcWidth, int srcHeight, int dstWidth,
                                       int dstHeight);
};

}  // namespace kvg
