#include "VolumeSource.h"

#include "AnalysisPipeline.h"
#include "VolumeLookupTable.h"

#include <vtkDataArray.h>
#include <vtkDataSet.h>
#include <vtkImageData.h>
#include <vtkLookupTable.h>
#include <vtkNew.h>
#include <vtkPointData.h>
#include <vtkResampleToImage.h>

#include <algorithm>
#include <cmath>

namespace kvg {
namespace analysis {

bool PrepareVolumeSource(const VolumeSource& in, VolumeSource& out, vtkSmartPointer<vtkImageData>& image,
                         int maxDimension) {
  out = in;
  image = nullptr;
  if (!in.data || in.data->GetNumberOfPoints() == 0) return false;
  if (auto* asImage = vtkImageData::SafeDownCast(in.data)) {
    image = asImage;
  } else {
    double b[6];
    in.data->GetBounds(b);
    const double ext[3] = {b[1] - b[0], b[3] - b[2], b[5] - b[4]};
    const double longest = std::max(ext[0], std::max(ext[1], ext[2]));
    if (!(longest > 0.0)) return false;
    int dims[3];
    for (int a = 0; a < 3; ++a) dims[a] = std::max(2, static_cast<int>(std::lround(maxDimension * ext[a] / longest)));
    vtkNew<vtkResampleToImage> resample;
    UseOwnExecutive(resample);
    ConnectData(resample, in.data);
    resample->SetUseInputBounds(true);
    resample->SetSamplingDimensions(dims);
    resample->Update();
    image = vtkSmartPointer<vtkImageData>::New();
    image->ShallowCopy(resample->GetOutput());
  }
  vtkPointData* pd = image->GetPointData();
  vtkDataArray* scalars = in.scalarName.empty() ? pd->GetScalars() : pd->GetArray(in.scalarName.c_str());
  if (scalars && !scalars->GetName()) scalars = nullptr;
  out.scalarName = scalars ? scalars->GetName() : "";
  if (out.vectorName.empty()) {
    vtkDataArray* vectors = pd->GetVectors();
    if (vectors && vectors->GetName()) out.vectorName = vectors->GetName();
  } else if (!pd->GetArray(out.vectorName.c_str())) {
    out.vectorName.clear();
  }
  out.data = image;
  if (scalars && !out.lookupTable) {
    double range[2] = {in.scalarRange[0], in.scalarRange[1]};
    if (!in.hasScalarRange) scalars->GetRange(range, 0);
    out.lookupTable = MakeDefaultLookupTable(range[0], range[1], in.colorMap);
  }
  return true;
}

}  // namespace analysis
}  // namespace kvg
