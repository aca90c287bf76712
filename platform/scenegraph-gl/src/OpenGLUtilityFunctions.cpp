#include "kvg/OpenGLUtilityFunctions.h"

#include <GL/glew.h>

#include <cstdio>
#include <string>

#include "Logger.h"

namespace kvg {

namespace {
// A lost context may report the same error for ever; stop after this many.
constexpr int kMaxErrorsPerCheck = 32;
}  // namespace

int OpenGLUtilityFunctions::checkErrorsGL(const char* label) {
  int count = 0;
  for (GLenum error = glGetError(); error != GL_NO_ERROR && count < kMaxErrorsPerCheck; error = glGetError()) {
    ++count;
    char code[16];
    std::snprintf(code, sizeof(code), "0x%04X", error);
    Logger::getSingleton().error(std::string("OpenGL error ") + code + " (" + errorName(error) + ") in " +
                                 (label ? label : "(unnamed)"));
  }
  return count;
}

const char* OpenGLUtilityFunctions::errorName(unsigned int error) {
  switch (error) {
    case GL_INVALID_ENUM: return "GL_INVALID_ENUM";
    case GL_INVALID_VALUE: return "GL_INVALID_VALUE";
    case GL_INVALID_OPERATION: return "GL_INVALID_OPERATION";
    case GL_INVALID_FRAMEBUFFER_OPERATION: return "GL_INVALID_FRAMEBUFFER_OPERATION";
    case GL_OUT_OF_MEMORY: return "GL_OUT_OF_MEMORY";
    case GL_STACK_UNDERFLOW: return "GL_STACK_UNDERFLOW";
    case GL_STACK_OVERFLOW: return "GL_STACK_OVERFLOW";
    default: return "unknown";
  }
}

}  // namespace kvg
