#include "VolumeRepresentation.h"

#include <vtkRenderer.h>

#include "OpenVRActor.h"

VolumeRepresentation::VolumeRepresentation() : _actor(OpenVRActor::New()) {}

VolumeRepresentation::~VolumeRepresentation() { _actor->Delete(); }

void VolumeRepresentation::setBounds(const double bounds[6]) {
  for (int i = 0; i < 6; ++i) _bounds[i] = bounds[i];
}

void VolumeRepresentation::setVisibility(bool visible) { _actor->SetVisibility(visible ? 1 : 0); }
bool VolumeRepresentation::getVisibility() const { return _actor->GetVisibility() != 0; }

void VolumeRepresentation::removeFromRenderer(vtkRenderer* renderer) {
  if (renderer) renderer->RemoveActor(_actor);
}
