#pragma once
// The texture of every textured VR prop. It either owns a GL texture made from its input image
// (immutable storage, full mipmap chain) or wraps a texture someone else owns (the icon
// texture cache), possibly one still being filled (a transparent blank is drawn meanwhile). It
// uploads only the first time and when asked to, never because the input changed, so drawing
// a frame does no pipeline work. Used on the thread whose context is current for the window
// that draws it.
#include <memory>
#include <vector>

#include <vtkOpenGLTexture.h>
#include <vtkSmartPointer.h>

#include "TextureFill.h"

class vtkTextureObject;

class OpenVRTexture : public vtkOpenGLTexture {
 public:
  static OpenVRTexture* New();
  vtkTypeMacro(OpenVRTexture, vtkOpenGLTexture);
  void PrintSelf(ostream& os, vtkIndent indent) override;

  // Wraps an existing texture, which stays its owner's: nothing is uploaded until
  // RequestUpload, and ReleaseGraphicsResources never deletes it.
  void SetTextureHandle(unsigned int handle);
  // Wraps a texture another thread is still filling: the fill's transparent blank is drawn and
  // no upload is made until the finished texture is published, which the next render then wraps.
  void SetTextureFill(std::shared_ptr<const TextureFill> fill);
  // False while the wrapped texture is still being filled.
  bool IsFilled() const { return !_fill || _fill->texture() != 0; }
  // The GL texture name, 0 before one exists.
  unsigned int GetIndex() const { return _handle; }
  // The next render uploads the input image again (into the same storage).
  void RequestUpload() { _needsUpload = true; }
  bool GetNeedsUpload() const { return _needsUpload; }
  bool GetCreated() const { return _created; }
  bool GetOwnsHandle() const { return _ownsHandle; }

  // Sizes kept for the callers (the image size of a cached texture); not used by the upload.
  void SetWidth(int width) { _width = width; }
  int GetWidth() const { return _width; }
  void SetHeight(int height) { _height = height; }
  int GetHeight() const { return _height; }

  // 0 opaque, 1 translucent, any other value: decided from the image.
  void SetTranslucencyMode(int mode) { _translucencyMode = mode; }
  int GetTranslucencyMode() const { return _translucencyMode; }

  // The input pipeline is never updated through the texture.
  void Update() override {}
  void Update(int) override {}

  // Render thread: uploads when needed, then binds the texture to a free texture unit.
  void Render(vtkRenderer* renderer) override;
  // Render thread: the upload alone (first time, or after RequestUpload).
  void Load(vtkRenderer* renderer) override;
  // Deletes the texture when this object owns it, and drops the window's wrapper; a later
  // render creates them again. The window's context is current.
  void ReleaseGraphicsResources(vtkWindow* window) override;
  int IsTranslucent() override;

 protected:
  OpenVRTexture();
  ~OpenVRTexture() override;

 private:
  OpenVRTexture(const OpenVRTexture&) = delete;
  void operator=(const OpenVRTexture&) = delete;

  // Points the base class's texture object at this window's wrapper of the current handle.
  void wrapHandle(vtkRenderer* renderer);
  // Takes the filled texture once published; true while it is still being filled.
  bool awaitingFill();

  bool _created = false;
  bool _needsUpload = true;
  int _translucencyMode = 2;
  bool _ownsHandle = false;
  int _width = 1;
  int _height = 1;
  unsigned int _handle = 0;
  // Until the wrapped texture is filled: what publishes it.
  std::shared_ptr<const TextureFill> _fill;
  // The size of the storage this object made, to notice an input of another size.
  int _storageWidth = 0;
  int _storageHeight = 0;
  // One wrapper per window drawn in, each touched only with its window's context current:
  // VTK releases a wrapper it lets go of through the wrapper's window, so rendering in one
  // window never lets go of another's (whose context another thread may hold).
  std::vector<vtkSmartPointer<vtkTextureObject>> _wrappers;
};
