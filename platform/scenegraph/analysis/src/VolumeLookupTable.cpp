#include "VolumeLookupTable.h"

#include <vtkColorTransferFunction.h>
#include <vtkLookupTable.h>
#include <vtkMath.h>
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
  auto table = vtkSmartPointer<vtkLookupTable>::New();
  const int n = 256;
  table->SetNumberOfTableValues(n);
  for (int i = 0; i < n; ++i) {
    const double t = static_cast<double>(i) / (n - 1);
    double rgb[3];
    if (colorMap == "grey" || colorMap == "gray") {
      rgb[0] = rgb[1] = rgb[2] = t;
    } else if (colorMap == "coolwarm") {
      const double cold[3] = {0.230, 0.299, 0.754}, mid[3] = {0.865, 0.865, 0.865}, warm[3] = {0.706, 0.016, 0.150};
      for (int k = 0; k < 3; ++k) {
        rgb[k] = t < 0.5 ? cold[k] + (mid[k] - cold[k]) * 2 * t : mid[k] + (warm[k] - mid[k]) * (2 * t - 1);
      }
    } else {
      double hsv[3] = {(1.0 - t) * 2.0 / 3.0, 1.0, 1.0};
      vtkMath::HSVToRGB(hsv, rgb);
    }
    table->SetTableValue(i, rgb[0], rgb[1], rgb[2], 1.0);
  }
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
