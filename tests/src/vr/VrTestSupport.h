#pragma once
// Fixtures of the VR output tests: a GL context, temporary asset folders, PNG files.
#include <array>
#include <functional>
#include <string>

#include <vtkNew.h>
#include <vtkRenderWindow.h>
#include <vtkRenderer.h>
#include <vtkSmartPointer.h>

class vtkImageData;

// A fresh folder under /tmp.
std::string MakeTempDir();

// Points the base directory at a fresh folder (with "vrassets" inside) whose "config.ini" holds
// the text, reloads the configuration, and undoes both on destruction.
class ScopedBaseDir {
 public:
  explicit ScopedBaseDir(const std::string& configText = std::string());
  ~ScopedBaseDir();
  const std::string& dir() const { return _dir; }
  // The asset folder, ending with a separator.
  std::string assets() const { return _dir + "/vrassets/"; }

 private:
  std::string _dir;
};

// An image of w x h with c components of 8 or 16 bits, each pixel from fn(x, y, rgba out 0..255).
vtkSmartPointer<vtkImageData> MakeImage(int w, int h, int components, int bits,
                                        const std::function<void(int, int, int*)>& fn);
vtkSmartPointer<vtkImageData> SolidImage(int w, int h, std::array<int, 4> rgba);
void WritePng(const std::string& path, vtkImageData* image);
void WriteSolidPng(const std::string& path, int w, int h, std::array<int, 4> rgba);

// Gives the window the process's one X display connection. Each VTK window otherwise opens and
// closes a connection of its own, and Xvfb now and then hangs up on a connection opened right
// after another one closed, which aborts the test program.
void UseSharedDisplay(vtkRenderWindow* window);

// An off-screen window of the given size whose context is current after construction.
class GlWindow {
 public:
  explicit GlWindow(int width = 64, int height = 64);
  vtkRenderWindow* window() { return _window; }
  vtkRenderer* renderer() { return _renderer; }
  void makeCurrent();
  // Renders and reads the RGBA pixel at (x, y).
  std::array<int, 4> renderAndRead(int x, int y);
  std::array<int, 4> read(int x, int y);
  // Forgets raw GL changes in VTK's state cache.
  void resetState();

 private:
  vtkNew<vtkRenderWindow> _window;
  vtkSmartPointer<vtkRenderer> _renderer;
};

// The level-0 texels of a 2D texture (RGBA bytes, rows from the bottom), its size, its level count.
struct TextureContents {
  int width = 0;
  int height = 0;
  int immutableLevels = 0;
  std::string pixels;
  std::array<int, 4> at(int x, int y) const;
};
TextureContents ReadTexture(unsigned int name);
bool IsTexture(unsigned int name);
