#pragma once
// The actor of every prop the VR code adds to the headset view. On top of the OpenGL actor it
// has a fixed answer to the translucency question, an optional samples-passed occlusion query,
// its own fog colour (swapped into a fogged renderer while it is drawn) and a switch for the
// depth test. Drawn on the thread whose context is current for the buffer that owns it; the
// query name belongs to that context.
#include <vtkOpenGLActor.h>

class OpenVRActor : public vtkOpenGLActor {
 public:
  static OpenVRActor* New();
  vtkTypeMacro(OpenVRActor, vtkOpenGLActor);
  void PrintSelf(ostream& os, vtkIndent indent) override;

  // 0 always opaque, 1 always translucent, any other value: the actor's own answer.
  void SetTranslucencyMode(int mode) { _translucencyMode = mode; }
  int GetTranslucencyMode() const { return _translucencyMode; }
  vtkTypeBool HasTranslucentPolygonalGeometry() override;

  // An actor known to show nothing (say, a panel whose image is wholly transparent) stays
  // visible but draws in no pass, so it sends no renderer through the translucent pass.
  void SetShowsNothing(bool nothing) { _showsNothing = nothing; }
  bool GetShowsNothing() const { return _showsNothing; }
  int RenderOpaqueGeometry(vtkViewport* viewport) override;
  int RenderTranslucentPolygonalGeometry(vtkViewport* viewport) override;

  // A samples-passed query around each drawing; its result is collected at the next drawing,
  // so IsOccluded describes an earlier frame. The query is created at the first drawing after
  // it is switched on (a context is current there), and again after a release.
  void SetOcclusionQueryEnabled(bool on) { _occlusionQueryEnabled = on; }
  bool GetOcclusionQueryEnabled() const { return _occlusionQueryEnabled; }
  // True when the last collected query counted no samples.
  bool IsOccluded() const { return _occluded; }

  // While set, a scene-graph OpenGL renderer draws this actor with this fog colour.
  void SetFogColorOverride(bool on) { _fogColorOverride = on; }
  bool GetFogColorOverride() const { return _fogColorOverride; }
  void SetFogColor(const double rgb[3]);
  const double* GetFogColor() const { return _fogColor; }

  // Non-zero draws the actor over everything already drawn (the depth test off for it alone).
  void SetDepthTestDisabled(int disabled) { _depthTestDisabled = disabled != 0; }
  int GetDepthTestDisabled() const { return _depthTestDisabled ? 1 : 0; }
  void DepthTestDisabledOn() { SetDepthTestDisabled(1); }
  void DepthTestDisabledOff() { SetDepthTestDisabled(0); }

  // Render thread.
  void Render(vtkRenderer* renderer, vtkMapper* mapper) override;
  // The actor's resources and its query; the next drawing with the query on makes a new one.
  void ReleaseGraphicsResources(vtkWindow* window) override;

 protected:
  OpenVRActor();
  ~OpenVRActor() override;

 private:
  OpenVRActor(const OpenVRActor&) = delete;
  void operator=(const OpenVRActor&) = delete;

  void drawWithFog(vtkRenderer* renderer, vtkMapper* mapper);

  int _translucencyMode = 2;
  bool _showsNothing = false;
  bool _occlusionQueryEnabled = false;
  bool _occluded = false;
  unsigned int _queryId = 0;
  bool _queryIssued = false;
  bool _fogColorOverride = false;
  double _fogColor[3] = {1.0, 1.0, 1.0};
  bool _depthTestDisabled = false;
};
