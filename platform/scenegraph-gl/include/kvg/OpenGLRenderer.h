#pragma once
// The scene graph's VTK renderer: a vtkOpenGLRenderer with a name, exponential fog and the
// framebuffer helpers. Owned by whoever created it; rendered only on the thread whose context
// is current for its render window.
#include <string>

#include <vtkOpenGLRenderer.h>

#include "kvg/OpenGLFramebufferUtils.h"

namespace kvg {

class OpenGLRenderer : public vtkOpenGLRenderer {
 public:
  static OpenGLRenderer* New();
  vtkTypeMacro(OpenGLRenderer, vtkOpenGLRenderer);
  void PrintSelf(ostream& os, vtkIndent indent) override;

  void setName(const std::string& name) { _name = name; }
  const std::string& getName() const { return _name; }

  // Fog. OpenGL core profiles have no fixed-function fog, so the renderer adds it to the
  // fragment shader of every actor it draws while fog is on: with d the fragment's distance
  // along the view axis, the colour becomes mix(fogColor, colour, exp(-density * d)).
  // The colour may change while actors are drawn (an actor may swap in its own colour for its
  // own drawing); each actor's drawing uses the colour set at that moment.
  void setUseFog(bool on);
  bool getUseFog() const { return _useFog; }
  void setFogColor(const double rgb[3]);
  void getFogColor(double rgb[3]) const;
  void setFogDensity(double density);
  double getFogDensity() const { return _fogDensity; }

  OpenGLFramebufferUtils& getFramebufferUtils() { return _framebufferUtils; }

  // Render thread (or whichever thread has the window's context current).
  void DeviceRender() override;
  // Render thread. Skips the translucent pass (on the software rasterizer its set-up and
  // compositing cost as much as a scene) when no prop would add anything to it: every prop
  // that says it has translucent geometry is an actor drawn whole in the opaque pass, whose
  // material, texture and colours are opaque. Otherwise VTK's pass runs as usual.
  void DeviceRenderTranslucentPolygonalGeometry(vtkFrameBufferObjectBase* fbo = nullptr) override;
  // Whether the props gathered for the current render have geometry the translucent pass
  // would draw (see above).
  bool HasTranslucentPassWork();

 protected:
  OpenGLRenderer();
  ~OpenGLRenderer() override;

 private:
  OpenGLRenderer(const OpenGLRenderer&) = delete;
  void operator=(const OpenGLRenderer&) = delete;

  // Gives every actor of this renderer the fog shader code and its mapper the uniform hook.
  void prepareFogActors();

  friend class FogUniformHook;
  std::string _name;
  bool _useFog = false;
  double _fogColor[3] = {0.0, 0.0, 0.0};
  double _fogDensity = 0.0;
  OpenGLFramebufferUtils _framebufferUtils;
};

}  // namespace kvg
