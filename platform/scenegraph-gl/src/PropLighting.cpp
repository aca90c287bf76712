#include "kvg/PropLighting.h"

#include <vtkActor.h>
#include <vtkProperty.h>

namespace kvg {

void SetPropLighting(vtkProperty* property, PropLighting lighting) {
  if (!property) return;
  if (lighting == PropLighting::Unlit) {
    property->LightingOff();
    property->SetAmbient(1.0);
    property->SetDiffuse(0.0);
    property->SetSpecular(0.0);
  } else {
    property->LightingOn();
    property->SetAmbient(0.0);
    property->SetDiffuse(1.0);
  }
}

void SetPropLighting(vtkActor* actor, PropLighting lighting) {
  if (actor) SetPropLighting(actor->GetProperty(), lighting);
}

}  // namespace kvg
