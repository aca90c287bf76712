// On Mesa's software rasterizers the eyes draw without multisampling and the textures without
// anisotropic filtering unless config.ini asks for them; the renderer string decides.
#include <vtk_glew.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "SoftwareRasterizer.h"
#include "VrTestSupport.h"

TEST(SoftwareRasterizer, MesasSoftwareRenderersAreKnownByName) {
  const struct {
    const char* renderer;
    bool software;
  } cases[] = {
      {"llvmpipe (LLVM 15.0.6, 256 bits)", true},
      {"softpipe", true},
      {"Software Rasterizer (swrast)", true},
      {"Mesa Intel(R) UHD Graphics 620 (KBL GT2)", false},
      {"NVIDIA GeForce RTX 3070/PCIe/SSE2", false},
      {"", false},
      {nullptr, false},
  };
  for (const auto& c : cases) EXPECT_EQ(NamesSoftwareRasterizer(c.renderer), c.software) << (c.renderer ? c.renderer : "null");
}

// The test display renders with llvmpipe: its defaults are the software ones, and the keys win.
TEST(SoftwareRasterizer, DefaultsFollowTheRendererAndTheConfigurationWins) {
  GlWindow gl;
  const char* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
  ASSERT_NE(renderer, nullptr);
  ResetSoftwareRasterizerForTesting();
  const bool software = IsSoftwareRasterizer();
  EXPECT_EQ(software, NamesSoftwareRasterizer(renderer));
  {
    ScopedBaseDir base("");
    EXPECT_EQ(EyeMultiSamples(), software ? 0 : 4);
    EXPECT_EQ(TextureAnisotropy(), software ? 1.0 : 16.0);
    EXPECT_EQ(RoomBlendsMipmapLevels(), !software);
  }
  {
    ScopedBaseDir base("multiSamples = 2\ntextureQuality = 8\n");
    EXPECT_EQ(EyeMultiSamples(), 2);
    EXPECT_EQ(TextureAnisotropy(), 8.0);
    EXPECT_TRUE(RoomBlendsMipmapLevels());
  }
  {
    // Absurd values are kept within what a driver may be asked for.
    ScopedBaseDir base("multiSamples = 1000\ntextureQuality = -3\n");
    EXPECT_EQ(EyeMultiSamples(), 16);
    EXPECT_EQ(TextureAnisotropy(), 1.0);
  }
}
