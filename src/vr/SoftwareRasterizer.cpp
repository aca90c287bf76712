#include "SoftwareRasterizer.h"

#include <vtk_glew.h>

#include <atomic>
#include <cstring>

#include "Configuration.h"
#include "Logger.h"

namespace {
// -1 not known yet, 0 hardware, 1 software.
std::atomic<int> g_software{-1};
std::atomic<bool> g_reported{false};

constexpr int kDefaultSamples = 4;
constexpr double kDefaultAnisotropy = 16.0;
}  // namespace

bool NamesSoftwareRasterizer(const char* renderer) {
  if (!renderer) return false;
  for (const char* name : {"llvmpipe", "softpipe", "swrast"})
    if (std::strstr(renderer, name)) return true;
  return false;
}

bool IsSoftwareRasterizer() {
  const int known = g_software.load();
  if (known >= 0) return known == 1;
  // glGetString answers null without a current context: stay undecided until one is current.
  const GLubyte* renderer = glGetString(GL_RENDERER);
  if (!renderer) return false;
  const int software = NamesSoftwareRasterizer(reinterpret_cast<const char*>(renderer)) ? 1 : 0;
  g_software.store(software);
  return software == 1;
}

int EyeMultiSamples() {
  if (getConfig().hasName("multiSamples")) return GetConfigIntClamped("multiSamples", kDefaultSamples, 0, 16);
  return IsSoftwareRasterizer() ? 0 : kDefaultSamples;
}

double TextureAnisotropy() {
  if (getConfig().hasName("textureQuality")) return GetConfigRealClamped("textureQuality", kDefaultAnisotropy, 1.0, 1e9);
  return IsSoftwareRasterizer() ? 1.0 : kDefaultAnisotropy;
}

bool RoomBlendsMipmapLevels() { return getConfig().hasName("textureQuality") || !IsSoftwareRasterizer(); }

void ReportSoftwareRasterizerChoices() {
  if (!IsSoftwareRasterizer() || g_reported.exchange(true)) return;
  const bool samples = getConfig().hasName("multiSamples");
  const bool anisotropy = getConfig().hasName("textureQuality");
  if (samples && anisotropy) return;
  std::string left;
  if (!anisotropy) left = "anisotropic filtering and the room's mipmap blending (\"textureQuality\")";
  if (!samples) left += std::string(left.empty() ? "" : " and ") + "multisampling (\"multiSamples\")";
  const GLubyte* renderer = glGetString(GL_RENDERER);
  Logger::getSingleton().warning(std::string("Software OpenGL renderer (") +
                                 (renderer ? reinterpret_cast<const char*>(renderer) : "Mesa") + "): " + left +
                                 " left off; set the key in config.ini to use it");
}

void ResetSoftwareRasterizerForTesting() {
  g_software.store(-1);
  g_reported.store(false);
}
