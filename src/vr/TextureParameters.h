#pragma once
// Texture parameters shared by the texture uploads of this library. Each works on the texture
// bound to GL_TEXTURE_2D in the current context.

// The GL wrap mode of a vtkTexture wrap mode (ClampToEdge, Repeat, MirroredRepeat, ClampToBorder).
int WrapModeToGL(int vtkWrapMode);

// GL_TEXTURE_MAX_ANISOTROPY from "textureQuality" (default 16), clamped to 1 .. the driver's
// maximum; nothing when the driver has no anisotropic filtering.
void ApplyAnisotropy();

// The largest texture side the current context accepts (GL_MAX_TEXTURE_SIZE).
int MaxTextureSize();
