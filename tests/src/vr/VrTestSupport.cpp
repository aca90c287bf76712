#include "VrTestSupport.h"

#include <vtk_glew.h>

#include <cstdlib>
#include <fstream>

#include <vtkCamera.h>
#include <vtkImageData.h>
#include <vtkOpenGLRenderWindow.h>
#include <vtkOpenGLState.h>
#include <vtkPNGWriter.h>
#include <vtkRenderer.h>
#include <vtkUnsignedCharArray.h>

#include "Configuration.h"

#include <X11/Xlib.h>

std::string MakeTempDir() {
  char tmpl[] = "/tmp/quonix-vr-XXXXXX";
  if (!mkdtemp(tmpl)) std::abort();
  return tmpl;
}

ScopedBaseDir::ScopedBaseDir(const std::string& configText) : _dir(MakeTempDir()) {
  std::string cmd = "mkdir -p '" + _dir + "/vrassets'";
  if (std::system(cmd.c_str()) != 0) std::abort();
  std::ofstream(_dir + "/config.ini") << configText;
  setenv("QUONIX_BASE_DIR", _dir.c_str(), 1);
  reloadConfigForTesting();
}

ScopedBaseDir::~ScopedBaseDir() {
  unsetenv("QUONIX_BASE_DIR");
  reloadConfigForTesting();
  std::string cmd = "rm -rf '" + _dir + "'";
  if (std::system(cmd.c_str()) != 0) {
  }
}

vtkSmartPointer<vtkImageData> MakeImage(int w, int h, int components, int bits,
                                        const std::function<void(int, int, int*)>& fn) {
  auto image = vtkSmartPointer<vtkImageData>::New();
  image->SetDimensions(w, h, 1);
  image->AllocateScalars(bits == 16 ? VTK_UNSIGNED_SHORT : VTK_UNSIGNED_CHAR, components);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      int rgba[4] = {0, 0, 0, 255};
      fn(x, y, rgba);
      for (int c = 0; c < components; ++c) {
        if (bits == 16) {
          static_cast<unsigned short*>(image->GetScalarPointer(x, y, 0))[c] =
              static_cast<unsigned short>(rgba[c] * 257);
        } else {
          static_cast<unsigned char*>(image->GetScalarPointer(x, y, 0))[c] = static_cast<unsigned char>(rgba[c]);
        }
      }
    }
  }
  return image;
}

vtkSmartPointer<vtkImageData> SolidImage(int w, int h, std::array<int, 4> rgba) {
  return MakeImage(w, h, 4, 8, [&](int, int, int* out) {
    for (int c = 0; c < 4; ++c) out[c] = rgba[c];
  });
}

void WritePng(const std::string& path, vtkImageData* image) {
  vtkNew<vtkPNGWriter> writer;
  writer->SetFileName(path.c_str());
  writer->SetInputData(image);
  writer->Write();
}

void WriteSolidPng(const std::string& path, int w, int h, std::array<int, 4> rgba) {
  WritePng(path, SolidImage(w, h, rgba));
}

void UseSharedDisplay(vtkRenderWindow* window) {
  // Opened once and kept for the life of the process.
  static Display* const display = XOpenDisplay(nullptr);
  if (display) window->SetDisplayId(display);
}

GlWindow::GlWindow(int width, int height) : _renderer(vtkSmartPointer<vtkRenderer>::New()) {
  UseSharedDisplay(_window);
  _window->SetOffScreenRendering(1);
  _window->SetMultiSamples(0);
  _window->SetSize(width, height);
  _window->AddRenderer(_renderer);
  _window->Render();
  _window->MakeCurrent();
}

void GlWindow::makeCurrent() { _window->MakeCurrent(); }

std::array<int, 4> GlWindow::read(int x, int y) {
  vtkNew<vtkUnsignedCharArray> data;
  _window->GetRGBACharPixelData(x, y, x, y, 0, data);
  const unsigned char* p = data->GetPointer(0);
  return {p[0], p[1], p[2], p[3]};
}

std::array<int, 4> GlWindow::renderAndRead(int x, int y) {
  _window->Render();
  return read(x, y);
}

void GlWindow::resetState() { vtkOpenGLRenderWindow::SafeDownCast(_window)->GetState()->Reset(); }

std::array<int, 4> TextureContents::at(int x, int y) const {
  const size_t i = (static_cast<size_t>(y) * width + x) * 4;
  return {static_cast<unsigned char>(pixels[i]), static_cast<unsigned char>(pixels[i + 1]),
          static_cast<unsigned char>(pixels[i + 2]), static_cast<unsigned char>(pixels[i + 3])};
}

TextureContents ReadTexture(unsigned int name) {
  TextureContents contents;
  GLint previous = 0;
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &previous);
  glBindTexture(GL_TEXTURE_2D, name);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &contents.width);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &contents.height);
  glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_IMMUTABLE_LEVELS, &contents.immutableLevels);
  contents.pixels.resize(static_cast<size_t>(contents.width) * contents.height * 4);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, &contents.pixels[0]);
  glBindTexture(GL_TEXTURE_2D, previous);
  return contents;
}

bool IsTexture(unsigned int name) { return glIsTexture(name) == GL_TRUE; }

void InitGlewForCurrentContext() {
  glewExperimental = GL_TRUE;
  glewInit();
  // glewInit may leave a harmless GL_INVALID_ENUM from probing extensions.
  while (glGetError() != GL_NO_ERROR) {
  }
}
