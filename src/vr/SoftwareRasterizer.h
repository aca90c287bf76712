#pragma once
// Mesa's software rasterizers (llvmpipe, softpipe, swrast) run anisotropic filtering and
// multisampling per pixel on the CPU, where either costs more than the rest of a frame. On
// them the program leaves both off unless config.ini asks for them; hardware keeps its
// defaults. The renderer is the same for every context of the process.

// True when the renderer string names one of Mesa's software rasterizers.
bool NamesSoftwareRasterizer(const char* renderer);

// Whether the process renders in software: decided from GL_RENDERER by the first call made
// with a context current (any thread), answered from that afterwards. False while no call
// has seen a context.
bool IsSoftwareRasterizer();

// Samples of the eye and HUD targets: "multiSamples" when config.ini gives it (0 .. 16), else
// 4, or 0 on a software rasterizer. Needs a context current on the first call of the process.
int EyeMultiSamples();

// Anisotropy of mipmapped textures: "textureQuality" when config.ini gives it, else 16, or 1
// on a software rasterizer (clamped by the caller to what the driver takes).
double TextureAnisotropy();

// Whether the room's textures blend two mipmap levels per pixel (trilinear): yes unless the
// renderer is a software rasterizer and config.ini gives no "textureQuality". The room fills
// both eyes, and on a software rasterizer the second level is most of what the room costs.
bool RoomBlendsMipmapLevels();

// On a software rasterizer, says once per process what it left off and which keys bring it
// back: one log line. Nothing on hardware.
void ReportSoftwareRasterizerChoices();

// Forgets the decision (tests switch configurations).
void ResetSoftwareRasterizerForTesting();
