#include "OpenVRTexture.h"

#include <vtk_glew.h>

#include <algorithm>

#include <vtkImageData.h>
#include <vtkObjectFactory.h>
#include <vtkOpenGLRenderWindow.h>
#include <vtkOpenGLState.h>
#include <vtkRenderer.h>
#include <vtkTextureObject.h>

#include "Configuration.h"
#include "Logger.h"
#include "PngImage.h"
#include "TextureParameters.h"

vtkStandardNewMacro(OpenVRTexture);

OpenVRTexture::OpenVRTexture() = default;
OpenVRTexture::~OpenVRTexture() = default;

void OpenVRTexture::SetTextureHandle(unsigned int handle) {
  _handle = handle;
  _created = true;
  _needsUpload = false;
  _ownsHandle = false;
  _storageWidth = _storageHeight = 0;
  _fill.reset();
}

void OpenVRTexture::SetTextureFill(std::shared_ptr<const TextureFill> fill) {
  SetTextureHandle(fill ? fill->blankTexture() : 0);
  _fill = std::move(fill);
  awaitingFill();
}

bool OpenVRTexture::awaitingFill() {
  if (!_fill) return false;
  const unsigned int filled = _fill->texture();
  if (filled == 0) return true;
  // An upload asked for meanwhile (a render target's image) goes to the filled texture.
  _handle = filled;
  _fill.reset();
  return false;
}

void OpenVRTexture::Load(vtkRenderer* renderer) {
  // The blank is no upload target: an upload waits for the filled texture.
  if (awaitingFill()) return;
  vtkImageData* input = GetInput();
  if (!input) {
    _needsUpload = false;
    return;
  }
  if (_created && !_needsUpload) return;
  // Only 8-bit RGBA goes to GL; other layouts are converted, unusable images are skipped.
  vtkSmartPointer<vtkImageData> rgba = ConvertToRgba8(input);
  if (!rgba) return;
  int dims[3];
  rgba->GetDimensions(dims);
  const int w = dims[0], h = dims[1];

  auto* window = renderer ? vtkOpenGLRenderWindow::SafeDownCast(renderer->GetRenderWindow()) : nullptr;
  GLint previousBinding = 0;
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &previousBinding);

  if (_created && _ownsHandle && (w != _storageWidth || h != _storageHeight)) {
    // Immutable storage cannot change size: an input of another size gets new storage.
    glDeleteTextures(1, &_handle);
    _handle = 0;
    _created = false;
  }
  if (!_created) {
    glGenTextures(1, &_handle);
    glBindTexture(GL_TEXTURE_2D, _handle);
    glTexStorage2D(GL_TEXTURE_2D, MipLevelCount(w, h), GL_RGBA8, w, h);
    _ownsHandle = true;
    _storageWidth = w;
    _storageHeight = h;
  } else {
    glBindTexture(GL_TEXTURE_2D, _handle);
    if (!_ownsHandle) {
      GLint levelWidth = 0, levelHeight = 0;
      glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &levelWidth);
      glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &levelHeight);
      if (levelWidth != w || levelHeight != h) {
        // Writing past the wrapped texture's storage is refused rather than attempted.
        Logger::getSingleton().warning("OpenVRTexture: image of " + std::to_string(w) + " x " + std::to_string(h) +
                                       " does not fit the wrapped texture of " + std::to_string(levelWidth) + " x " +
                                       std::to_string(levelHeight));
        glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(previousBinding));
        _needsUpload = false;
        return;
      }
    }
  }

  vtkOpenGLState* state = window ? window->GetState() : nullptr;
  GLint previousAlignment = 4;
  glGetIntegerv(GL_UNPACK_ALIGNMENT, &previousAlignment);
  if (state) {
    state->vtkglPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  } else {
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  }
  glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, rgba->GetScalarPointer());
  if (state) {
    state->vtkglPixelStorei(GL_UNPACK_ALIGNMENT, previousAlignment);
  } else {
    glPixelStorei(GL_UNPACK_ALIGNMENT, previousAlignment);
  }
  glGenerateMipmap(GL_TEXTURE_2D);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  const GLint wrap = WrapModeToGL(GetWrap());
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, wrap);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, wrap);
  ApplyAnisotropy();
  const GLfloat border[4] = {1.0f, 1.0f, 1.0f, 0.0f};
  glTexParameterfv(GL_TEXTURE_2D, GL_TEXTURE_BORDER_COLOR, border);
  glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(previousBinding));

  LoadTime.Modified();
  _created = true;
  _needsUpload = false;
}

void OpenVRTexture::wrapHandle(vtkRenderer* renderer) {
  auto* window = vtkOpenGLRenderWindow::SafeDownCast(renderer->GetRenderWindow());
  if (!window) return;
  auto own = std::find_if(_wrappers.begin(), _wrappers.end(),
                          [window](const vtkSmartPointer<vtkTextureObject>& w) { return w->GetContext() == window; });
  if (own == _wrappers.end() || (*own)->GetHandle() != _handle) {
    vtkNew<vtkTextureObject> wrapper;
    wrapper->SetContext(window);
    wrapper->AssignToExistingTexture(_handle, GL_TEXTURE_2D);
    // The filters and wrap modes were set at upload; re-sending the wrapper's defaults on
    // every bind would replace them.
    wrapper->SetAutoParameters(0);
    // A stale wrapper of this window goes in this window's context, which is current.
    if (own == _wrappers.end()) {
      own = _wrappers.insert(_wrappers.end(), wrapper.GetPointer());
    } else {
      *own = wrapper.GetPointer();
    }
  }
  if (GetTextureObject() != *own) SetTextureObject(*own);
}

void OpenVRTexture::Render(vtkRenderer* renderer) {
  if (!renderer) return;
  Load(renderer);
  // The mapper expects a texture object once the actor has a texture; without a GL name yet
  // (nothing uploadable) the wrapper binds no texture rather than leaving it missing.
  wrapHandle(renderer);
  if (vtkTextureObject* object = GetTextureObject()) object->Activate();
}

void OpenVRTexture::ReleaseGraphicsResources(vtkWindow* window) {
  // The wrappers never own the name; dropping this window's lets its next render wrap afresh.
  auto own = std::find_if(_wrappers.begin(), _wrappers.end(),
                          [window](const vtkSmartPointer<vtkTextureObject>& w) { return w->GetContext() == window; });
  if (own != _wrappers.end()) {
    if (GetTextureObject() == *own) SetTextureObject(nullptr);
    (*own)->ReleaseGraphicsResources(window);
    _wrappers.erase(own);
  }
  if (_ownsHandle && _handle != 0) {
    glDeleteTextures(1, &_handle);
    _handle = 0;
    _created = false;
    _needsUpload = true;
    _ownsHandle = false;
    _storageWidth = _storageHeight = 0;
  }
}

int OpenVRTexture::IsTranslucent() {
  if (_translucencyMode == 0) return 0;
  if (_translucencyMode == 1) return 1;
  if (!GetInput()) return 0;
  return vtkTexture::IsTranslucent();
}

void OpenVRTexture::PrintSelf(ostream& os, vtkIndent indent) {
  vtkOpenGLTexture::PrintSelf(os, indent);
  os << indent << "Handle: " << _handle << "\n";
  os << indent << "Created: " << _created << "\n";
  os << indent << "NeedsUpload: " << _needsUpload << "\n";
  os << indent << "OwnsHandle: " << _ownsHandle << "\n";
  os << indent << "TranslucencyMode: " << _translucencyMode << "\n";
  os << indent << "Width: " << _width << " Height: " << _height << "\n";
}
