#pragma once
// Small OpenGL helpers shared by the scene graph's drawing code.

namespace kvg {

class OpenGLUtilityFunctions {
 public:
  // Drains the GL error queue of the current context and logs each error under the label.
  // Returns the number of errors found (0 when the context is clean). Any thread with a
  // current context.
  static int checkErrorsGL(const char* label);

  // The GL enum name of an error code ("GL_INVALID_OPERATION"), or "unknown".
  static const char* errorName(unsigned int error);
};

}  // namespace kvg
