#include <GL/glew.h>
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include <vtkActor.h>
#include <vtkOpenGLActor.h>
#include <vtkCamera.h>
#include <vtkNew.h>
#include <vtkObjectFactory.h>
#include <vtkPlaneSource.h>
#include <vtkPolyDataMapper.h>
#include <vtkProperty.h>
#include <vtkOpenGLRenderWindow.h>
#include <vtkOpenGLState.h>
#include <vtkRenderWindow.h>
#include <vtkSmartPointer.h>
#include <vtkUnsignedCharArray.h>

#include "Logger.h"

#include <X11/Xlib.h>
#include "kvg/OpenGLRenderer.h"
#include "kvg/OpenGLUtilityFunctions.h"
#include "kvg/PropLighting.h"

namespace {

// An actor that swaps the renderer's fog colour for its own while it is drawn.
class OwnFogActor : public vtkOpenGLActor {
 public:
  static OwnFogActor* New();
  vtkTypeMacro(OwnFogActor, vtkOpenGLActor);
  double color[3] = {0, 1, 0};
  void Render(vtkRenderer* ren, vtkMapper* mapper) override {
    auto* fogged = kvg::OpenGLRenderer::SafeDownCast(ren);
    double saved[3];
    fogged->getFogColor(saved);
    fogged->setFogColor(color);
    vtkOpenGLActor::Render(ren, mapper);
    fogged->setFogColor(saved);
  }
};
vtkStandardNewMacro(OwnFogActor);

// A 64 x 64 off-screen window whose renderer looks down -z from the origin. One X connection
// for the whole program: Xvfb sometimes hangs up on a connection opened right after another
// closed, which would abort the test program.
void setUpWindow(vtkRenderWindow* window, vtkRenderer* renderer) {
  static Display* const display = XOpenDisplay(nullptr);
  if (display) window->SetDisplayId(display);
  window->SetOffScreenRendering(1);
  window->SetSize(64, 64);
  window->SetMultiSamples(0);
  window->AddRenderer(renderer);
  renderer->SetBackground(0, 0, 0);
  vtkCamera* camera = renderer->GetActiveCamera();
  camera->SetPosition(0, 0, 0);
  camera->SetFocalPoint(0, 0, -1);
  camera->SetViewUp(0, 1, 0);
  camera->SetViewAngle(60);
  camera->SetClippingRange(0.1, 100);
}

// A 64 x 64 off-screen window whose single renderer looks down -z at unit planes placed at a
// known distance, so fog can be computed by hand.
class FogScene : public ::testing::Test {
 protected:
  vtkNew<vtkRenderWindow> window;
  vtkNew<kvg::OpenGLRenderer> renderer;

  void SetUp() override { setUpWindow(window, renderer); }

  // A plane at depth z spanning x0..x1 (and plenty of y), unlit with the given colour.
  vtkSmartPointer<vtkActor> addPlane(double z, double x0, double x1, const double rgb[3]) {
    vtkNew<vtkPlaneSource> plane;
    plane->SetOrigin(x0, -10, z);
    plane->SetPoint1(x1, -10, z);
    plane->SetPoint2(x0, 10, z);
    vtkNew<vtkPolyDataMapper> mapper;
    mapper->SetInputConnection(plane->GetOutputPort());
    auto actor = vtkSmartPointer<vtkActor>::New();
    actor->SetMapper(mapper);
    kvg::SetPropLighting(actor, kvg::PropLighting::Unlit);
    actor->GetProperty()->SetColor(rgb[0], rgb[1], rgb[2]);
    return actor;
  }

  std::array<int, 3> pixel(int x, int y) {
    vtkNew<vtkUnsignedCharArray> data;
    window->GetRGBACharPixelData(x, y, x, y, 0, data);
    const unsigned char* p = data->GetPointer(0);
    return {p[0], p[1], p[2]};
  }
};

int expectedFog(double colour, double fog, double density, double distance) {
  const double f = std::exp(-density * distance);
  return static_cast<int>(std::lround((f * colour + (1 - f) * fog) * 255));
}

}  // namespace

TEST_F(FogScene, FogBlendsTowardsItsColourWithDistanceAndOffLeavesColoursAlone) {
  const double white[3] = {1, 1, 1};
  renderer->AddActor(addPlane(-2.0, -100, 100, white));
  const double red[3] = {1, 0, 0};
  renderer->setFogColor(red);
  renderer->setFogDensity(0.25);
  renderer->setUseFog(true);
  window->Render();
  auto fogged = pixel(32, 32);
  EXPECT_EQ(fogged[0], 255);
  EXPECT_NEAR(fogged[1], expectedFog(1, 0, 0.25, 2.0), 2);
  EXPECT_NEAR(fogged[2], expectedFog(1, 0, 0.25, 2.0), 2);

  renderer->setUseFog(false);
  window->Render();
  EXPECT_EQ(pixel(32, 32), (std::array<int, 3>{255, 255, 255}));

  renderer->setUseFog(true);
  renderer->setFogDensity(1.0);
  window->Render();
  EXPECT_NEAR(pixel(32, 32)[1], expectedFog(1, 0, 1.0, 2.0), 2);
}

TEST_F(FogScene, AnActorCanDrawWithItsOwnFogColourAndTheRendererKeepsItsOwn) {
  const double white[3] = {1, 1, 1};
  vtkNew<OwnFogActor> own;
  auto template_ = addPlane(-3.0, -100, 0, white);
  own->SetMapper(template_->GetMapper());
  own->SetProperty(template_->GetProperty());
  renderer->AddActor(own);
  renderer->AddActor(addPlane(-3.0, 0, 100, white));
  const double blue[3] = {0, 0, 1};
  renderer->setFogColor(blue);
  renderer->setFogDensity(0.5);
  renderer->setUseFog(true);
  window->Render();
  const int mixed = expectedFog(1, 0, 0.5, 3.0);
  auto left = pixel(10, 32);
  auto right = pixel(54, 32);
  EXPECT_NEAR(left[0], mixed, 2);
  EXPECT_EQ(left[1], 255);  // green fog
  EXPECT_NEAR(left[2], mixed, 2);
  EXPECT_NEAR(right[0], mixed, 2);
  EXPECT_NEAR(right[1], mixed, 2);
  EXPECT_EQ(right[2], 255);  // the renderer's blue fog
  double after[3];
  renderer->getFogColor(after);
  EXPECT_EQ(after[2], 1.0);
  EXPECT_EQ(after[1], 0.0);
}

TEST_F(FogScene, UnlitPropsShowTheirExactColourAndLitOnesAreShaded) {
  const double blue[3] = {0, 0.37255, 1};
  auto unlit = addPlane(-2.0, -100, 100, blue);
  renderer->AddActor(unlit);
  window->Render();
  EXPECT_EQ(pixel(32, 32), (std::array<int, 3>{0, 95, 255}));
  EXPECT_FALSE(unlit->GetProperty()->GetLighting());
  EXPECT_EQ(unlit->GetProperty()->GetDiffuse(), 0.0);
  EXPECT_EQ(unlit->GetProperty()->GetSpecular(), 0.0);

  // Turned 60 degrees away from the headlight, an unlit plane keeps its colour and a lit one
  // gets half of it.
  unlit->SetOrigin(0, 0, -2);
  unlit->RotateY(60);
  window->Render();
  EXPECT_EQ(pixel(32, 32), (std::array<int, 3>{0, 95, 255}));
  kvg::SetPropLighting(unlit, kvg::PropLighting::Lit);
  EXPECT_TRUE(unlit->GetProperty()->GetLighting());
  EXPECT_EQ(unlit->GetProperty()->GetDiffuse(), 1.0);
  EXPECT_EQ(unlit->GetProperty()->GetAmbient(), 0.0);
  window->Render();
  auto lit = pixel(32, 32);
  EXPECT_EQ(lit[0], 0);
  EXPECT_NEAR(lit[1], 47, 3);
  EXPECT_NEAR(lit[2], 128, 3);
}

TEST_F(FogScene, NameAndTypeInformation) {
  renderer->setName("vrBackGround");
  EXPECT_EQ(renderer->getName(), "vrBackGround");
  EXPECT_TRUE(renderer->IsA("OpenGLRenderer"));
  EXPECT_TRUE(renderer->IsA("vtkOpenGLRenderer"));
  EXPECT_NE(vtkOpenGLRenderer::SafeDownCast(renderer), nullptr);
  renderer->setFogDensity(-3);
  EXPECT_EQ(renderer->getFogDensity(), 0.0);
}

TEST_F(FogScene, ColourTextureIsCopiedIntoTheDrawFramebufferAndBindingsAreKept) {
  window->Render();
  window->MakeCurrent();
  // A 2 x 2 source: red, green / blue, white (rows from the bottom).
  const unsigned char texels[16] = {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255, 255, 255, 255};
  GLuint source = 0, target = 0, targetFbo = 0;
  glGenTextures(1, &source);
  glBindTexture(GL_TEXTURE_2D, source);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 2, 2, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glGenTextures(1, &target);
  glBindTexture(GL_TEXTURE_2D, target);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 8, 8, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
  glGenFramebuffers(1, &targetFbo);
  glBindFramebuffer(GL_DRAW_FRAMEBUFFER, targetFbo);
  glFramebufferTexture2D(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, target, 0);
  glDisable(GL_SCISSOR_TEST);
  GLint readBefore = 0;
  glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &readBefore);

  kvg::OpenGLFramebufferUtils& utils = renderer->getFramebufferUtils();
  EXPECT_FALSE(utils.copyColorTextureToFramebuffer2D(0, 2, 2, 8, 8));
  EXPECT_FALSE(utils.copyColorTextureToFramebuffer2D(source, 0, 2, 8, 8));
  ASSERT_TRUE(utils.copyColorTextureToFramebuffer2D(source, 2, 2, 8, 8));
  GLint readAfter = 0, drawAfter = 0;
  glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &readAfter);
  glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &drawAfter);
  EXPECT_EQ(readAfter, readBefore);
  EXPECT_EQ(drawAfter, static_cast<GLint>(targetFbo));

  glBindFramebuffer(GL_READ_FRAMEBUFFER, targetFbo);
  glReadBuffer(GL_COLOR_ATTACHMENT0);
  unsigned char out[8 * 8 * 4];
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, 8, 8, GL_RGBA, GL_UNSIGNED_BYTE, out);
  auto at = [&](int x, int y) {
    const unsigned char* p = out + (y * 8 + x) * 4;
    return std::array<int, 3>{p[0], p[1], p[2]};
  };
  EXPECT_EQ(at(0, 0), (std::array<int, 3>{255, 0, 0}));
  EXPECT_EQ(at(7, 0), (std::array<int, 3>{0, 255, 0}));
  EXPECT_EQ(at(0, 7), (std::array<int, 3>{0, 0, 255}));
  EXPECT_EQ(at(7, 7), (std::array<int, 3>{255, 255, 255}));
  glBindFramebuffer(GL_READ_FRAMEBUFFER, readBefore);
  glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
  glDeleteFramebuffers(1, &targetFbo);
  GLuint textures[2] = {source, target};
  glDeleteTextures(2, textures);
  vtkOpenGLRenderWindow::SafeDownCast(window)->GetState()->Reset();
}

// The scissor box limits the copy as it limits any drawing, and the copy leaves the scissor
// test and box as it found them, whether the box cuts anything or not.
TEST_F(FogScene, ColourTextureCopyKeepsToTheScissorBoxAndLeavesItAsItWas) {
  window->Render();
  window->MakeCurrent();
  const std::vector<unsigned char> red = [] {
    std::vector<unsigned char> texels(8 * 8 * 4);
    // BGRA bytes, as the eye textures are given.
    for (size_t i = 0; i < texels.size(); i += 4) {
      texels[i + 2] = 255;
      texels[i + 3] = 255;
    }
    return texels;
  }();
  GLuint source = 0, target = 0, targetFbo = 0;
  glGenTextures(1, &source);
  glBindTexture(GL_TEXTURE_2D, source);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 8, 8, 0, GL_BGRA, GL_UNSIGNED_BYTE, red.data());
  glGenTextures(1, &target);
  glBindTexture(GL_TEXTURE_2D, target);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 8, 8, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
  glGenFramebuffers(1, &targetFbo);
  glBindFramebuffer(GL_DRAW_FRAMEBUFFER, targetFbo);
  glFramebufferTexture2D(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, target, 0);

  struct Case {
    const char* name;
    bool scissorTest;
    GLint box[4];
    int writtenWidth, writtenHeight;  // the lower-left part the copy reaches
  };
  const Case cases[] = {
      {"no scissor test", false, {0, 0, 8, 8}, 8, 8},
      {"a box holding the whole target", true, {0, 0, 8, 8}, 8, 8},
      {"a box larger than the target", true, {-2, -2, 16, 16}, 8, 8},
      {"a box of the lower-left quarter", true, {0, 0, 4, 4}, 4, 4},
      {"a box of the lowest row", true, {0, 0, 8, 1}, 8, 1},
  };
  kvg::OpenGLFramebufferUtils& utils = renderer->getFramebufferUtils();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, targetFbo);
    glDisable(GL_SCISSOR_TEST);
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT);
    if (c.scissorTest) glEnable(GL_SCISSOR_TEST);
    glScissor(c.box[0], c.box[1], c.box[2], c.box[3]);
    ASSERT_TRUE(utils.copyColorTextureToFramebuffer2D(source, 8, 8, 8, 8));
    EXPECT_EQ(glIsEnabled(GL_SCISSOR_TEST) == GL_TRUE, c.scissorTest);
    GLint box[4] = {0, 0, 0, 0};
    glGetIntegerv(GL_SCISSOR_BOX, box);
    EXPECT_EQ(std::vector<GLint>(box, box + 4), std::vector<GLint>(c.box, c.box + 4));

    glDisable(GL_SCISSOR_TEST);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, targetFbo);
    glReadBuffer(GL_COLOR_ATTACHMENT0);
    unsigned char out[8 * 8 * 4];
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, 8, 8, GL_RGBA, GL_UNSIGNED_BYTE, out);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 8; ++x) {
        const bool written = x < c.writtenWidth && y < c.writtenHeight;
        const unsigned char* p = out + (y * 8 + x) * 4;
        EXPECT_EQ((std::array<int, 4>{p[0], p[1], p[2], p[3]}),
                  (written ? std::array<int, 4>{255, 0, 0, 255} : std::array<int, 4>{0, 0, 0, 0}))
            << "pixel " << x << ", " << y;
      }
  }
  glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
  glDeleteFramebuffers(1, &targetFbo);
  GLuint textures[2] = {source, target};
  glDeleteTextures(2, textures);
  vtkOpenGLRenderWindow::SafeDownCast(window)->GetState()->Reset();
}

namespace {
struct Capture : Logger::Output {
  std::ostringstream* sink;
  explicit Capture(std::ostringstream* s) : sink(s) {}
  void write(const std::string& t) override { *sink << t; }
  void writeLine(const std::string& t) override { *sink << t << '\n'; }
};
}  // namespace

TEST_F(FogScene, ErrorCheckReportsEachErrorUnderItsLabelOnce) {
  window->Render();
  window->MakeCurrent();
  std::ostringstream log;
  Logger::getSingleton().setOutput(new Capture(&log));
  Logger::getSingleton().setFlags(Logger::Error | Logger::Warning);
  EXPECT_EQ(kvg::OpenGLUtilityFunctions::checkErrorsGL("clean"), 0);
  glEnable(0x7FFF);  // not a capability
  EXPECT_EQ(kvg::OpenGLUtilityFunctions::checkErrorsGL("OpenVRActor::Render"), 1);
  EXPECT_EQ(kvg::OpenGLUtilityFunctions::checkErrorsGL("again"), 0);
  Logger::getSingleton().setOutput(nullptr);
  EXPECT_EQ(log.str(), "Error: OpenGL error 0x0500 (GL_INVALID_ENUM) in OpenVRActor::Render\n");
}

namespace {

// An opaque actor that says it has translucent geometry, as actors do that may turn translucent
// at any time; it counts the translucent passes that reach it.
class ClaimsTranslucencyActor : public vtkOpenGLActor {
 public:
  static ClaimsTranslucencyActor* New();
  vtkTypeMacro(ClaimsTranslucencyActor, vtkOpenGLActor);
  int translucentPasses = 0;
  vtkTypeBool HasTranslucentPolygonalGeometry() override { return 1; }
  int RenderTranslucentPolygonalGeometry(vtkViewport* viewport) override {
    ++translucentPasses;
    return vtkOpenGLActor::RenderTranslucentPolygonalGeometry(viewport);
  }
};
vtkStandardNewMacro(ClaimsTranslucencyActor);

// A lit quad over a red unlit backdrop, drawn by the renderer into its own 64 x 64 window.
struct TranslucencyCase {
  const char* name;
  bool claims;     // the quad says it has translucent geometry
  double opacity;  // the quad's material
  bool passSkipped;
};

std::string renderQuadScene(vtkRenderer* renderer, const TranslucencyCase& c, int* translucentPasses) {
  vtkNew<vtkRenderWindow> window;
  setUpWindow(window, renderer);

  vtkNew<vtkPlaneSource> backdrop;
  backdrop->SetOrigin(-10, -10, -3);
  backdrop->SetPoint1(10, -10, -3);
  backdrop->SetPoint2(-10, 10, -3);
  vtkNew<vtkPolyDataMapper> backdropMapper;
  backdropMapper->SetInputConnection(backdrop->GetOutputPort());
  vtkNew<vtkActor> back;
  back->SetMapper(backdropMapper);
  kvg::SetPropLighting(back, kvg::PropLighting::Unlit);
  back->GetProperty()->SetColor(1, 0, 0);
  renderer->AddActor(back);

  // Turned towards the light, so its shading varies across it.
  vtkNew<vtkPlaneSource> quad;
  quad->SetOrigin(-0.6, -0.6, -2.2);
  quad->SetPoint1(0.4, -0.6, -1.8);
  quad->SetPoint2(-0.6, 0.4, -2.0);
  vtkNew<vtkPolyDataMapper> quadMapper;
  quadMapper->SetInputConnection(quad->GetOutputPort());
  vtkSmartPointer<vtkActor> front;
  ClaimsTranslucencyActor* claiming = nullptr;
  if (c.claims) {
    auto actor = vtkSmartPointer<ClaimsTranslucencyActor>::New();
    claiming = actor;
    front = actor;
  } else {
    front = vtkSmartPointer<vtkActor>::New();
  }
  front->SetMapper(quadMapper);
  front->GetProperty()->SetColor(0.2, 0.6, 0.9);
  front->GetProperty()->SetOpacity(c.opacity);
  renderer->AddActor(front);

  window->Render();
  vtkNew<vtkUnsignedCharArray> data;
  window->GetRGBACharPixelData(0, 0, 63, 63, 0, data);
  if (translucentPasses) *translucentPasses = claiming ? claiming->translucentPasses : -1;
  return std::string(reinterpret_cast<const char*>(data->GetPointer(0)), size_t(data->GetNumberOfValues()));
}

}  // namespace

// The renderer skips the translucent pass when the only prop that asks for it is an actor
// drawn whole in the opaque pass, and the picture is VTK's own renderer's, colour for colour. A
// really translucent actor still gets the pass and looks as under VTK's renderer.
TEST(TranslucentPass, SkippedOnlyWhenNothingTranslucentIsDrawnAndThePictureIsVtksOwn) {
  const TranslucencyCase cases[] = {
      {"opaque actor claiming translucency", true, 1.0, true},
      {"translucent actor claiming translucency", true, 0.5, false},
      {"plain translucent actor", false, 0.5, false},
      {"plain opaque actor", false, 1.0, true},
  };
  for (const TranslucencyCase& c : cases) {
    SCOPED_TRACE(c.name);
    int ours = 0, vtks = 0;
    vtkNew<kvg::OpenGLRenderer> renderer;
    const std::string image = renderQuadScene(renderer, c, &ours);
    vtkNew<vtkOpenGLRenderer> plain;
    const std::string reference = renderQuadScene(plain, c, &vtks);
    ASSERT_EQ(image.size(), size_t(64 * 64 * 4));
    // The colours; alpha is no part of the picture (the eyes are handed on as colour), and VTK's
    // translucent pass leaves 0 where it drew over an opaque prop.
    int differing = 0;
    for (size_t i = 0; i < image.size(); ++i)
      if (i % 4 != 3 && image[i] != reference[i]) ++differing;
    EXPECT_EQ(differing, 0) << "colour values differing from VTK's renderer's";
    if (c.claims) {
      EXPECT_GT(vtks, 0);
      EXPECT_EQ(ours == 0, c.passSkipped) << ours;
    }
    // The quad is there, over the backdrop: neither only red nor only black at the middle.
    const unsigned char* middle = reinterpret_cast<const unsigned char*>(image.data()) + (32 * 64 + 32) * 4;
    EXPECT_GT(int(middle[2]), 60);
  }
}
