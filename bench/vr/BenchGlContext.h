#pragma once
// A shown Qt window with its own GL context (3.3 core requested, as the program asks), standing
// in for the program's Qt Quick window. Kept apart from GLEW: this unit uses Qt's GL. Owned and
// touched by the main thread only.
class BenchGlContext {
 public:
  BenchGlContext(int width, int height);
  ~BenchGlContext();
  BenchGlContext(const BenchGlContext&) = delete;
  BenchGlContext& operator=(const BenchGlContext&) = delete;
  bool valid() const;
  void makeCurrent();

 private:
  struct Impl;
  Impl* _impl;
};
