#pragma once
// One volume of a drawable session as the analysis managers see it: the data set with the
// names of its scalar field (drawn, cut and contoured) and its vector field (carrying the
// particles), and the colour table of the scalars.
#include <vtkSmartPointer.h>

#include <string>
#include <vector>

class vtkDataSet;
class vtkImageData;
class vtkLookupTable;

namespace kvg {

struct VolumeSource {
  std::string name;                         // the volume drawable's name
  vtkSmartPointer<vtkDataSet> data;         // image data; other data sets are resampled
  std::string scalarName;                   // empty: the active scalars
  std::string vectorName;                   // empty: the active vectors
  vtkSmartPointer<vtkLookupTable> lookupTable;  // null: the default table over the scalar range
};

namespace analysis {

// The source made ready for the analysis: image data (resampled onto a regular grid of at most
// `maxDimension` points along its longest side when it is not image data), the names of the
// arrays found (empty when the data has no such array) and, with scalars, a lookup table.
// Returns false when there is no data to sample.
bool PrepareVolumeSource(const VolumeSource& in, VolumeSource& out, vtkSmartPointer<vtkImageData>& image,
                         int maxDimension = 64);

}  // namespace analysis
}  // namespace kvg
