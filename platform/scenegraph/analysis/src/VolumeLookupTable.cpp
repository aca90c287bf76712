#include "VolumeLookupTable.h"

#include "kvg/DrawablePropFactory.h"

#include <vtkColorTransferFunction.h>
#include <vtkLookupTable.h>
#include <vtkPiecewiseFunction.h>

namespace kvg {
namespace analysis {

vtkSmartPointer<vtkLookupTable> MakeDefaultLookupTable(double low, double high, const std::string& colorMap) {
  if (!(high > low)) {
    // A constant field still needs a range the mappers accept.
    const double pad = low != 0.0 ? 0.5 * (low < 0 ? -low : low) : 0.5;
    low -= pad;
    high = low + 2.0 * pad;
  }
  // The same maps as the scene's surfaces, so a volume and a surface of one field agree.
  vtkSmartPointer<vtkLookupTable> table = DrawablePropFactory::makeColorMap(colorMap);
  table->SetRange(low, high);
  table->Build();
  return table;
}

vtkSmartPointer<vtkColorTransferFunction> MakeColorTransferFunction(vtkLookupTable* table) {
  auto ctf = vtkSmartPointer<vtkColorTransferFunction>::New();
  const double* range = table->GetRange();
  const int samples = 32;
  for (int i = 0; i < samples; ++i) {
    const double v = range[0] + (range[1] - range[0]) * i / (samples - 1);
    double rgb[3];
    table->GetColor(v, rgb);
    ctf->AddRGBPoint(v, rgb[0], rgb[1], rgb[2]);
  }
  return ctf;
}

vtkSmartPointer<vtkPiecewiseFunction> MakeOpacityRamp(vtkLookupTable* table, double minOpacity, double maxOpacity) {
  auto otf = vtkSmartPointer<vtkPiecewiseFunction>::New();
  const double* range = table->GetRange();
  otf->AddPoint(range[0], minOpacity);
  otf->AddPoint(range[1], maxOpacity);
  return otf;
}

}  // namespace analysis
}  // namespace kvg
