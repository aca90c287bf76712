#pragma once
// The prop that draws the particles as small spheres coloured by speed, and that drives the
// advection: once per render of its window, before it draws, it calls the frame callback,
// which moves the particles and refills the particle points. Both eyes of a stereo render
// therefore see the same positions. Its bounds are not used for the scene bounds.
//
// Owned by the particle advection manager of one drawable session; touched only by the
// thread that renders that session's window.
#include <vtkProp.h>
#include <vtkSmartPointer.h>
#include <vtkWeakPointer.h>

#include <functional>

class vtkActor;
class vtkLookupTable;
class vtkOpenGLSphereMapper;
class vtkPolyData;
class vtkRenderWindow;

namespace kvg {
namespace analysis {

class ParticleRenderProp : public vtkProp {
 public:
  static ParticleRenderProp* New();
  vtkTypeMacro(ParticleRenderProp, vtkProp);
  void PrintSelf(ostream& os, vtkIndent indent) override;

  using FrameCallback = std::function<void(vtkPolyData* particles)>;
  void SetFrameCallback(FrameCallback callback);

  // Sphere radius in model units.
  void SetRadius(double radius);
  double GetRadius() const { return this->Radius; }
  // Speeds mapped to the ends of the colour table.
  void SetSpeedRange(double low, double high);

  vtkPolyData* GetParticles();
  vtkActor* GetActor();
  // Window renders started since the prop was first drawn (one per frame, whatever the number
  // of eyes).
  unsigned long GetFrameCount() const { return this->WindowFrame; }

  int RenderOpaqueGeometry(vtkViewport* viewport) override;
  vtkTypeBool HasTranslucentPolygonalGeometry() override { return 0; }
  void ReleaseGraphicsResources(vtkWindow* window) override;
  double* GetBounds() override;

 protected:
  ParticleRenderProp();
  ~ParticleRenderProp() override;

 private:
  ParticleRenderProp(const ParticleRenderProp&) = delete;
  void operator=(const ParticleRenderProp&) = delete;

  void Watch(vtkRenderWindow* window);
  void Unwatch();

  vtkSmartPointer<vtkPolyData> Particles;
  vtkSmartPointer<vtkOpenGLSphereMapper> Mapper;
  vtkSmartPointer<vtkActor> Actor;
  vtkSmartPointer<vtkLookupTable> Colors;
  FrameCallback Callback;
  double Radius;
  vtkWeakPointer<vtkRenderWindow> Window;
  unsigned long ObserverTag;
  unsigned long WindowFrame;
  unsigned long RenderedFrame;
  bool EverRendered;
};

}  // namespace analysis
}  // namespace kvg
