#pragma once
// Several threads, each with its own GL context of one share group (as the render thread and
// the back-buffer updater have in the program). Kept apart from GLEW: this unit uses Qt's GL.
#include <functional>

// Runs work(i) for i = 0 .. count-1 on count threads at once, each with a current context that
// shares textures with the others. False when no context could be made.
bool RunOnSharedContexts(int count, const std::function<void(int)>& work);
