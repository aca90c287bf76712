#pragma once
// Colour maps of the volumes: the default lookup table of a scalar field and the volume
// transfer functions derived from a lookup table.
#include <vtkSmartPointer.h>

#include <string>

class vtkColorTransferFunction;
class vtkLookupTable;
class vtkPiecewiseFunction;

namespace kvg {
namespace analysis {

// 256 opaque colours over [low, high] from a named colour map: "rainbow" (blue over cyan,
// green and yellow to red; the default and the fallback for unknown names), "coolwarm" (blue
// over light grey to red) or "grey" (black to white), as the scene's drawables use them. A
// degenerate range is widened so that the table stays usable.
vtkSmartPointer<vtkLookupTable> MakeDefaultLookupTable(double low, double high, const std::string& colorMap = "rainbow");

// The colours of `table` sampled over its range as a colour transfer function.
vtkSmartPointer<vtkColorTransferFunction> MakeColorTransferFunction(vtkLookupTable* table);

// A scalar opacity ramp over the table's range: `minOpacity` at the low end, `maxOpacity`
// at the high end.
vtkSmartPointer<vtkPiecewiseFunction> MakeOpacityRamp(vtkLookupTable* table, double minOpacity, double maxOpacity);

}  // namespace analysis
}  // namespace kvg
