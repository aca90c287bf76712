#include "MarkerProp.h"

#include <vtkMatrix4x4.h>
#include <vtkNew.h>
#include <vtkProperty.h>
#include <vtkRenderer.h>

#include "OpenVRActor.h"

MarkerProp::MarkerProp() : _actor(OpenVRActor::New()) {
  // Markers and volume boxes mark the scene; they are not part of it. Left out of the visible
  // bounds, the view reset frames the same model whether or not they exist yet.
  _actor->UseBoundsOff();
}

MarkerProp::~MarkerProp() { _actor->Delete(); }

void MarkerProp::setVisibility(bool visible) { _actor->SetVisibility(visible ? 1 : 0); }

bool MarkerProp::getVisibility() const { return _actor->GetVisibility() != 0; }

void MarkerProp::removeFromRenderer(vtkRenderer* renderer) {
  if (renderer) renderer->RemoveActor(_actor);
}

void MarkerProp::setColor(const double rgb[3]) {
  _actor->GetProperty()->SetAmbientColor(rgb[0], rgb[1], rgb[2]);
  _actor->GetProperty()->SetDiffuseColor(rgb[0], rgb[1], rgb[2]);
}

const double* MarkerProp::getColor() const { return _actor->GetProperty()->GetAmbientColor(); }

void MarkerProp::releaseGraphicsResources(vtkWindow* window) {
  if (window) _actor->ReleaseGraphicsResources(window);
}

void MarkerProp::setUserMatrix(const double matrix[16]) {
  vtkMatrix4x4* user = _actor->GetUserMatrix();
  if (!user) {
    vtkNew<vtkMatrix4x4> created;
    _actor->SetUserMatrix(created);
    user = created;
  }
  user->DeepCopy(matrix);
  user->Modified();
}
