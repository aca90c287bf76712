#pragma once
// Texture parameters shared by the texture uploads of this library. Each works on the texture
// bound to GL_TEXTURE_2D in the current context.

// The GL wrap mode of a vtkTexture wrap mode (ClampToEdge, Repeat, MirroredRepeat, ClampToBorder).
int WrapModeToGL(int vtkWrapMode);

// GL_TEXTURE_MAX_ANISOTROPY from TextureAnisotropy ("textureQuality", default 16, 1 on a
// software rasterizer), clamped to 1 .. the driver's maximum; nothing when the driver has no
// anisotropic filtering.
void ApplyAnisotropy();

// The minification filter of one of the room's textures (given by name, any binding): trilinear,
// or the nearest mipmap level sampled bilinearly where RoomBlendsMipmapLevels says no. Restores
// the binding of GL_TEXTURE_2D.
void ApplyRoomTextureFilter(unsigned int texture);

// The largest texture side the current context accepts (GL_MAX_TEXTURE_SIZE).
int MaxTextureSize();

// The most pixels a render target or blank image of ours holds (per sample): 4096 x 4096, 64 MiB
// of colour. Larger asks come from settings, not from anything a headset needs.
constexpr long long kMaxTargetPixels = 4096LL * 4096LL;

// Scales width x height down, keeping its shape, to at most maxSide a side and
// kMaxTargetPixels / samples pixels (sizes below 1 become 1). True when it changed the size.
bool FitTargetSize(int& width, int& height, int maxSide, int samples = 1);
