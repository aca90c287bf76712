#include "IsoValueMarker.h"

#include <vtkMatrix4x4.h>
#include <vtkNew.h>
#include <vtkProperty.h>
#include <vtkRenderer.h>

#include "Configuration.h"
#include "OpenVRActor.h"

IsoValueMarker::IsoValueMarker() = default;

IsoValueMarker::~IsoValueMarker() = default;

kvg::Ptr<IsoValueMarker> IsoValueMarker::create(vtkRenderer* renderer) {
  kvg::Ptr<IsoValueMarker> marker(new IsoValueMarker());
  marker->_toolsAngle = GetConfigReal("toolsAngle", 20.0);
  vtkNew<vtkMatrix4x4> matrix;
  marker->_actor->SetUserMatrix(matrix);
  marker->_actor->SetVisibility(0);
  if (renderer) renderer->AddActor(marker->_actor);
  return marker;
}

void IsoValueMarker::setColor(const double rgb[3]) { _actor->GetProperty()->SetDiffuseColor(rgb[0], rgb[1], rgb[2]); }

void IsoValueMarker::setOffset(const double offset[3]) {
  for (int i = 0; i < 3; ++i) _offset[i] = offset[i];
}

void IsoValueMarker::updateTransform(const double modelMatrix[16], const double pose[16], const double position[3]) {
  double placed[16];
  for (int i = 0; i < 16; ++i) placed[i] = pose[i];
  for (int r = 0; r < 3; ++r) placed[r * 4 + 3] = position[r] + _offset[r];
  vtkMatrix4x4* user = _actor->GetUserMatrix();
  if (!user) {
    vtkNew<vtkMatrix4x4> matrix;
    _actor->SetUserMatrix(matrix);
    user = matrix;
  }
  vtkMatrix4x4::Multiply4x4(modelMatrix, placed, user->GetData());
  user->Modified();
}
