#include "RenderLock.h"

Lock& GetRenderLock() {
  // Built on first use (thread-safe static initialisation), destroyed by the exit handlers.
  static Lock renderLock;
  return renderLock;
}
