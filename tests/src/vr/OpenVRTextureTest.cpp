#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <utility>
#include <vector>

#include <vtk_glew.h>

#include <vtkActor.h>
#include <vtkCamera.h>
#include <vtkImageData.h>
#include <vtkNew.h>
#include <vtkOpenGLTexture.h>
#include <vtkPlaneSource.h>
#include <vtkPolyDataMapper.h>
#include <vtkProperty.h>
#include <vtkRenderer.h>

#include "IconTextureCache.h"
#include "OpenVRTexture.h"
#include "PngImage.h"
#include "kvg/PropLighting.h"
#include "VrTestSupport.h"

namespace {

// A window showing one unlit, white, textured square that fills the view.
class TexturedSquare : public ::testing::Test {
 protected:
  GlWindow gl{32, 32};
  vtkNew<OpenVRTexture> texture;
  vtkNew<vtkActor> actor;

  void SetUp() override {
    vtkNew<vtkPlaneSource> plane;
    plane->SetOrigin(-1, -1, 0);
    plane->SetPoint1(1, -1, 0);
    plane->SetPoint2(-1, 1, 0);
    vtkNew<vtkPolyDataMapper> mapper;
    mapper->SetInputConnection(plane->GetOutputPort());
    actor->SetMapper(mapper);
    actor->SetTexture(texture);
    kvg::SetPropLighting(actor, kvg::PropLighting::Unlit);
    actor->GetProperty()->SetColor(1, 1, 1);
    gl.renderer()->AddActor(actor);
    vtkCamera* camera = gl.renderer()->GetActiveCamera();
    camera->SetPosition(0, 0, 1);
    camera->SetFocalPoint(0, 0, 0);
    camera->SetParallelProjection(1);
    camera->SetParallelScale(0.5);
    gl.renderer()->ResetCameraClippingRange();
  }
};

}  // namespace

TEST(OpenVRTextureType, AnswersForItselfAndItsOpenGLBase) {
  vtkNew<OpenVRTexture> texture;
  EXPECT_TRUE(texture->IsA("OpenVRTexture"));
  EXPECT_TRUE(texture->IsA("vtkOpenGLTexture"));
  EXPECT_TRUE(texture->IsA("vtkTexture"));
  EXPECT_NE(vtkOpenGLTexture::SafeDownCast(texture), nullptr);
  EXPECT_EQ(texture->GetWidth(), 1);
  EXPECT_EQ(texture->GetTranslucencyMode(), 2);
  EXPECT_FALSE(texture->GetCreated());
  EXPECT_TRUE(texture->GetNeedsUpload());
}

TEST(OpenVRTextureType, TranslucencyFollowsTheModeElseTheImage) {
  vtkNew<OpenVRTexture> texture;
  texture->SetInputData(SolidImage(2, 2, {10, 20, 30, 255}));
  texture->SetTranslucencyMode(1);
  EXPECT_EQ(texture->IsTranslucent(), 1);
  texture->SetTranslucencyMode(0);
  EXPECT_EQ(texture->IsTranslucent(), 0);
  texture->SetTranslucencyMode(2);
  EXPECT_EQ(texture->IsTranslucent(), 0);
  texture->SetInputData(SolidImage(2, 2, {10, 20, 30, 100}));
  EXPECT_EQ(texture->IsTranslucent(), 1);
}

TEST(MipLevels, FullChainOfTheLargerSide) {
  EXPECT_EQ(MipLevelCount(256, 64), 9);
  EXPECT_EQ(MipLevelCount(1, 1), 1);
  EXPECT_EQ(MipLevelCount(1024, 768), 11);
  EXPECT_EQ(MipLevelCount(3, 1), 2);
}

TEST_F(TexturedSquare, OwnedTextureIsImmutableWithAllLevelsAndUploadsOnlyWhenAsked) {
  vtkSmartPointer<vtkImageData> image = SolidImage(256, 64, {200, 100, 50, 255});
  texture->SetInputData(image);
  EXPECT_EQ(gl.renderAndRead(16, 16), (std::array<int, 4>{200, 100, 50, 255}));
  ASSERT_TRUE(texture->GetCreated());
  EXPECT_TRUE(texture->GetOwnsHandle());
  TextureContents contents = ReadTexture(texture->GetIndex());
  EXPECT_EQ(contents.immutableLevels, 9);
  EXPECT_EQ(contents.width, 256);
  EXPECT_EQ(contents.height, 64);
  gl.resetState();

  // New pixels without a request: the texture keeps the old ones.
  auto* pixels = static_cast<unsigned char*>(image->GetScalarPointer());
  for (int i = 0; i < 256 * 64; ++i) pixels[i * 4 + 1] = 0;
  image->Modified();
  EXPECT_EQ(gl.renderAndRead(16, 16), (std::array<int, 4>{200, 100, 50, 255}));
  texture->RequestUpload();
  EXPECT_EQ(gl.renderAndRead(16, 16), (std::array<int, 4>{200, 0, 50, 255}));
  EXPECT_FALSE(texture->GetNeedsUpload());
}

TEST_F(TexturedSquare, OneByOneGetsOneLevelAndReleaseDeletesAnOwnedTexture) {
  texture->SetInputData(SolidImage(1, 1, {0, 255, 0, 255}));
  EXPECT_EQ(gl.renderAndRead(16, 16), (std::array<int, 4>{0, 255, 0, 255}));
  const unsigned int name = texture->GetIndex();
  EXPECT_EQ(ReadTexture(name).immutableLevels, 1);
  gl.resetState();
  texture->ReleaseGraphicsResources(gl.window());
  EXPECT_FALSE(IsTexture(name));
  EXPECT_FALSE(texture->GetCreated());
  // Drawn again after the release, it makes a new texture.
  EXPECT_EQ(gl.renderAndRead(16, 16), (std::array<int, 4>{0, 255, 0, 255}));
  EXPECT_TRUE(texture->GetCreated());
}

TEST_F(TexturedSquare, OtherPixelLayoutsAreConvertedBeforeUpload) {
  struct Case {
    const char* what;
    int components;
    int bits;
    std::array<int, 4> expected;
  };
  const Case cases[] = {
      {"grey", 1, 8, {90, 90, 90, 255}},
      {"grey + alpha", 2, 8, {90, 90, 90, 255}},
      {"RGB", 3, 8, {90, 120, 150, 255}},
      {"RGB 16-bit", 3, 16, {90, 120, 150, 255}},
      {"RGBA 16-bit", 4, 16, {90, 120, 150, 255}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    vtkNew<OpenVRTexture> fresh;
    fresh->SetInputData(MakeImage(4, 4, c.components, c.bits, [&](int, int, int* rgba) {
      rgba[0] = 90;
      rgba[1] = c.components >= 3 ? 120 : 255;
      rgba[2] = 150;
      rgba[3] = 255;
    }));
    actor->SetTexture(fresh);
    EXPECT_EQ(gl.renderAndRead(16, 16), c.expected);
    fresh->ReleaseGraphicsResources(gl.window());
  }
}

TEST_F(TexturedSquare, AnImageWithoutPixelsIsNeverUploaded) {
  vtkNew<vtkImageData> empty;
  texture->SetInputData(empty);
  gl.window()->Render();
  EXPECT_FALSE(texture->GetCreated());
  EXPECT_EQ(texture->GetIndex(), 0u);
  // Dimensions that promise more pixels than the scalars hold are refused as well.
  vtkSmartPointer<vtkImageData> lying = SolidImage(2, 2, {1, 2, 3, 4});
  lying->SetDimensions(64, 64, 1);
  texture->SetInputData(lying);
  gl.window()->Render();
  EXPECT_FALSE(texture->GetCreated());
}

TEST_F(TexturedSquare, AWrappedTextureDrawsAndIsNeverDeletedByTheWrapper) {
  vtkNew<OpenVRTexture> owner;
  owner->SetInputData(SolidImage(8, 8, {10, 60, 250, 255}));
  actor->SetTexture(owner);
  gl.window()->Render();
  const unsigned int name = owner->GetIndex();

  vtkNew<OpenVRTexture> wrapper;
  wrapper->SetTextureHandle(name);
  EXPECT_TRUE(wrapper->GetCreated());
  EXPECT_FALSE(wrapper->GetOwnsHandle());
  actor->SetTexture(wrapper);
  EXPECT_EQ(gl.renderAndRead(16, 16), (std::array<int, 4>{10, 60, 250, 255}));
  wrapper->ReleaseGraphicsResources(gl.window());
  EXPECT_TRUE(IsTexture(name));
  EXPECT_EQ(wrapper->GetIndex(), name);

  // A requested upload writes into the wrapped storage when the sizes agree, and is refused
  // when they do not.
  wrapper->SetInputData(SolidImage(8, 8, {250, 60, 10, 255}));
  wrapper->RequestUpload();
  EXPECT_EQ(gl.renderAndRead(16, 16), (std::array<int, 4>{250, 60, 10, 255}));
  wrapper->SetInputData(SolidImage(16, 16, {1, 1, 1, 255}));
  wrapper->RequestUpload();
  EXPECT_EQ(gl.renderAndRead(16, 16), (std::array<int, 4>{250, 60, 10, 255}));
  owner->ReleaseGraphicsResources(gl.window());
}

// A wrapper handed out before its texture is filled draws nothing over what lies behind (the
// blank is transparent) whatever its translucency mode, and keeps an asked-for upload for
// the filled texture, which it draws from the first render after the fill is published.
TEST_F(TexturedSquare, AWrapperAwaitingItsFillDrawsNothingThenTheFilledTexture) {
  gl.renderer()->SetBackground(0.2, 0.4, 0.6);
  const std::array<int, 3> background = {51, 102, 153};
  auto rgb = [](const std::array<int, 4>& p) { return std::array<int, 3>{p[0], p[1], p[2]}; };
  const unsigned char clear[4] = {0, 0, 0, 0};
  const unsigned int blank = UploadGlTexture(clear, 1, 1, 4, false);
  for (int mode : {0, 1, 2}) {
    SCOPED_TRACE(mode);
    auto fill = std::make_shared<TextureFill>(blank);
    vtkNew<OpenVRTexture> wrapper;
    wrapper->SetTranslucencyMode(mode);
    wrapper->SetTextureFill(fill);
    actor->SetTexture(wrapper);
    EXPECT_FALSE(wrapper->IsFilled());
    EXPECT_EQ(rgb(gl.renderAndRead(16, 16)), background);

    // A render target's image asked for meanwhile is not written into the blank.
    wrapper->SetInputData(SolidImage(8, 8, {30, 200, 90, 255}));
    wrapper->RequestUpload();
    EXPECT_EQ(rgb(gl.renderAndRead(16, 16)), background);
    EXPECT_EQ(ReadTexture(blank).at(0, 0), (std::array<int, 4>{0, 0, 0, 0}));

    const std::vector<unsigned char> pixels(8 * 8 * 4, 200);
    const unsigned int filled = UploadGlTexture(pixels.data(), 8, 8, 4, false);
    fill->publish(filled);
    EXPECT_TRUE(wrapper->IsFilled());
    EXPECT_EQ(rgb(gl.renderAndRead(16, 16)), (std::array<int, 3>{30, 200, 90}));
    EXPECT_EQ(wrapper->GetIndex(), filled);
    EXPECT_FALSE(wrapper->GetOwnsHandle());
    gl.resetState();
    wrapper->ReleaseGraphicsResources(gl.window());
    EXPECT_TRUE(IsTexture(filled));
    glDeleteTextures(1, &filled);
  }
  glDeleteTextures(1, &blank);
}

// The levels an upload makes itself are those the driver's own mipmap generation (a linear
// blit per level) makes, for sides that halve exactly and sides that do not, within rounding:
// the driver rounds up a little more often, by up to 3 steps after ten levels of noise.
TEST(MipLevels, MadeLevelsMatchTheDriversMipmapGeneration) {
  GlWindow gl;
  const std::array<int, 2> sizes[] = {{16, 16}, {256, 64}, {384, 128}, {5, 3}, {1, 7}, {12, 9}, {1024, 768}};
  for (const auto& size : sizes) {
    const int w = size[0], h = size[1];
    SCOPED_TRACE(std::to_string(w) + " x " + std::to_string(h));
    std::vector<unsigned char> pixels(static_cast<size_t>(w) * h * 4);
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<unsigned char>((i * 2654435761u) >> 13);
    const unsigned int ours = UploadGlTexture(pixels.data(), w, h, 4, false);
    GLuint driver = 0;
    glGenTextures(1, &driver);
    glBindTexture(GL_TEXTURE_2D, driver);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexStorage2D(GL_TEXTURE_2D, MipLevelCount(w, h), GL_RGBA8, w, h);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    glGenerateMipmap(GL_TEXTURE_2D);
    int worst = 0;
    for (int level = 0; level < MipLevelCount(w, h); ++level) {
      std::vector<unsigned char> a, b;
      for (auto [name, out] : {std::pair<GLuint, std::vector<unsigned char>*>{ours, &a}, {driver, &b}}) {
        GLint lw = 0, lh = 0;
        glBindTexture(GL_TEXTURE_2D, name);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_WIDTH, &lw);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_HEIGHT, &lh);
        out->resize(static_cast<size_t>(lw) * lh * 4);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glGetTexImage(GL_TEXTURE_2D, level, GL_RGBA, GL_UNSIGNED_BYTE, out->data());
      }
      ASSERT_EQ(a.size(), b.size()) << level;
      for (size_t i = 0; i < a.size(); ++i) worst = std::max(worst, std::abs(int(a[i]) - int(b[i])));
    }
    EXPECT_LE(worst, 3);
    glBindTexture(GL_TEXTURE_2D, 0);
    glDeleteTextures(1, &driver);
    glDeleteTextures(1, &ours);
  }
}
