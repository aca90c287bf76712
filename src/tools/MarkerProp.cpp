#include "MarkerProp.h"

#include <vtkRenderer.h>

#include "OpenVRActor.h"

MarkerProp::MarkerProp() : _actor(OpenVRActor::New()) {}

MarkerProp::~MarkerProp() { _actor->Delete(); }

void MarkerProp::setVisibility(bool visible) { _actor->SetVisibility(visible ? 1 : 0); }

bool MarkerProp::getVisibility() const { return _actor->GetVisibility() != 0; }

void MarkerProp::removeFromRenderer(vtkRenderer* renderer) {
  if (renderer) renderer->RemoveActor(_actor);
}
