#include "VolumeRepresentation.h"

VolumeRepresentation::VolumeRepresentation() = default;

VolumeRepresentation::~VolumeRepresentation() = default;

void VolumeRepresentation::setBounds(const double bounds[6]) {
  for (int i = 0; i < 6; ++i) _bounds[i] = bounds[i];
}
