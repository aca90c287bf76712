#include "kvg/DrawableProp.h"

#include <vtkObjectFactory.h>

namespace kvg {

vtkStandardNewMacro(DrawableProp);

DrawableProp::DrawableProp() = default;
DrawableProp::~DrawableProp() = default;

void DrawableProp::PrintSelf(ostream& os, vtkIndent indent) {
  this->Superclass::PrintSelf(os, indent);
  os << indent << "DrawableName: " << this->DrawableName << "\n";
  os << indent << "DrawableKey: " << this->DrawableKey << "\n";
  os << indent << "DrawableClassName: " << this->DrawableClassName << "\n";
  os << indent << "ScalarColoring: " << this->ScalarColoring << "\n";
}

}  // namespace kvg
