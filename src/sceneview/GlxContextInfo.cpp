#include "GlxContextInfo.h"

#include <GL/glx.h>

bool IsCurrentContextDirect() {
  Display* display = glXGetCurrentDisplay();
  GLXContext context = glXGetCurrentContext();
  // Without a current GLX context (EGL, for one) there is no indirect rendering to speak of.
  if (!display || !context) return true;
  return glXIsDirect(display, context) == True;
}
