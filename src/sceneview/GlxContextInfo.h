#pragma once
// What the window system says of the current OpenGL context, kept apart from the GLEW headers.

// Render thread: false only when the current context is an indirect GLX context (drawn by the X
// server over the wire); a direct context, software or not, and a non-GLX one count as direct.
bool IsCurrentContextDirect();
