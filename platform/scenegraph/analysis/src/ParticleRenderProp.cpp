#include "ParticleRenderProp.h"

#include "AnalysisPipeline.h"
#include "VolumeLookupTable.h"

#include <vtkActor.h>
#include <vtkCallbackCommand.h>
#include <vtkLookupTable.h>
#include <vtkObjectFactory.h>
#include <vtkOpenGLSphereMapper.h>
#include <vtkPolyData.h>
#include <vtkProperty.h>
#include <vtkRenderWindow.h>
#include <vtkRenderer.h>

namespace kvg {
namespace analysis {

vtkStandardNewMacro(ParticleRenderProp);

ParticleRenderProp::ParticleRenderProp()
    : Radius(0.005), ObserverTag(0), WindowFrame(0), RenderedFrame(0), EverRendered(false) {
  this->Particles = vtkSmartPointer<vtkPolyData>::New();
  this->Colors = MakeDefaultLookupTable(0.0, 1.0);
  this->Mapper = vtkSmartPointer<vtkOpenGLSphereMapper>::New();
  UseOwnExecutive(this->Mapper);
  ConnectData(this->Mapper, this->Particles);
  this->Mapper->SetStatic(1);
  this->Mapper->SetRadius(static_cast<float>(this->Radius));
  this->Mapper->SetLookupTable(this->Colors);
  this->Mapper->SetScalarModeToUsePointData();
  this->Mapper->SetColorModeToMapScalars();
  this->Mapper->UseLookupTableScalarRangeOn();
  this->Mapper->ScalarVisibilityOn();
  this->Actor = vtkSmartPointer<vtkActor>::New();
  this->Actor->SetMapper(this->Mapper);
  this->Actor->GetProperty()->SetAmbient(0.2);
  this->Actor->GetProperty()->SetDiffuse(0.8);
  this->SetUseBounds(false);
}

ParticleRenderProp::~ParticleRenderProp() { this->Unwatch(); }

vtkPolyData* ParticleRenderProp::GetParticles() { return this->Particles; }
vtkActor* ParticleRenderProp::GetActor() { return this->Actor; }

void ParticleRenderProp::SetFrameCallback(FrameCallback callback) { this->Callback = std::move(callback); }

void ParticleRenderProp::SetRadius(double radius) {
  if (radius == this->Radius) return;
  this->Radius = radius;
  this->Mapper->SetRadius(static_cast<float>(radius));
  this->Modified();
}

void ParticleRenderProp::SetSpeedRange(double low, double high) {
  if (!(high > low)) high = low + 1.0;
  const double* r = this->Colors->GetRange();
  if (r[0] == low && r[1] == high) return;
  this->Colors->SetRange(low, high);
}

void ParticleRenderProp::Watch(vtkRenderWindow* window) {
  if (window == this->Window) return;
  this->Unwatch();
  if (!window) return;
  vtkNew<vtkCallbackCommand> command;
  command->SetClientData(this);
  command->SetCallback([](vtkObject*, unsigned long, void* clientData, void*) {
    ++static_cast<ParticleRenderProp*>(clientData)->WindowFrame;
  });
  this->ObserverTag = window->AddObserver(vtkCommand::StartEvent, command);
  this->Window = window;
}

void ParticleRenderProp::Unwatch() {
  if (this->Window) this->Window->RemoveObserver(this->ObserverTag);
  this->Window = nullptr;
  this->ObserverTag = 0;
}

// Runs on the thread that renders the window.
int ParticleRenderProp::RenderOpaqueGeometry(vtkViewport* viewport) {
  auto* renderer = vtkRenderer::SafeDownCast(viewport);
  if (!renderer) return 0;
  this->Watch(renderer->GetRenderWindow());
  if (!this->EverRendered || this->RenderedFrame != this->WindowFrame) {
    this->EverRendered = true;
    this->RenderedFrame = this->WindowFrame;
    if (this->Callback) {
      this->Callback(this->Particles);
      this->Particles->Modified();
    }
  }
  if (this->Particles->GetNumberOfPoints() == 0) return 0;
  this->Actor->SetVisibility(this->GetVisibility());
  return this->Actor->RenderOpaqueGeometry(viewport);
}

void ParticleRenderProp::ReleaseGraphicsResources(vtkWindow* window) {
  this->Actor->ReleaseGraphicsResources(window);
}

// No bounds: the particles change after culling has run, and they must not count for the
// scene bounds.
double* ParticleRenderProp::GetBounds() { return nullptr; }

void ParticleRenderProp::PrintSelf(ostream& os, vtkIndent indent) {
  this->Superclass::PrintSelf(os, indent);
  os << indent << "Radius: " << this->Radius << "\n";
  os << indent << "Particles: " << this->Particles->GetNumberOfPoints() << "\n";
  os << indent << "WindowFrame: " << this->WindowFrame << "\n";
}

}  // namespace analysis
}  // namespace kvg
