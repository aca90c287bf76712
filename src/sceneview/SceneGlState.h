#pragma once
// The raw OpenGL steps of the scene view, kept apart from the translation units that use Qt's
// OpenGL classes (GLEW must come before any other GL header). Each runs on the thread that has
// the relevant context current: the render thread or the back-buffer updater.
namespace SceneGlState {

// Program 0, premultiplied-alpha blending, blending and depth test on, byte-aligned pixel rows.
void applyDrawingState();
// Two fresh texture names.
void generateTextures(unsigned int names[2]);
void deleteTextures(unsigned int names[2]);
void flush();
void finish();

}  // namespace SceneGlState
