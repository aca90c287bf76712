#pragma once
// Several threads, each with its own GL context of one share group (as the render thread and
// the back-buffer updater have in the program). Kept apart from GLEW: this unit uses Qt's GL.
#include <functional>

// Runs work(i) for i = 0 .. count-1 on count threads at once, each with a current context that
// shares textures with the others. False when no context could be made.
bool RunOnSharedContexts(int count, const std::function<void(int)>& work);

// A shown window with its own GL context (3.3 core requested, as the program asks), standing in
// for the program's Qt Quick window. GLEW is initialised for it.
class QtGlWindow {
 public:
  QtGlWindow(int width, int height);
  ~QtGlWindow();
  QtGlWindow(const QtGlWindow&) = delete;
  QtGlWindow& operator=(const QtGlWindow&) = delete;
  bool valid() const;
  void makeCurrent();
  void doneCurrent();

 private:
  struct Impl;
  Impl* _impl;
};
