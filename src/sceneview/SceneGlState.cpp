#include "SceneGlState.h"

#include <vtk_glew.h>

namespace SceneGlState {

void applyDrawingState() {
  glUseProgram(0);
  glBlendFuncSeparate(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
  glEnable(GL_BLEND);
  glEnable(GL_DEPTH_TEST);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
}

void generateTextures(unsigned int names[2]) {
  // GL 1.1 entry points: callable before GLEW has been initialised on this context.
  glGenTextures(1, &names[0]);
  glGenTextures(1, &names[1]);
}

void deleteTextures(unsigned int names[2]) {
  glDeleteTextures(2, names);
  names[0] = names[1] = 0;
}

void flush() { glFlush(); }

void finish() { glFinish(); }

}  // namespace SceneGlState
