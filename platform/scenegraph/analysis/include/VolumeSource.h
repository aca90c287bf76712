#pragma once
// One volume of a drawable session as the analysis managers see it: the data set with the
// names of its scalar field (drawn, cut and contoured) and its vector field (carrying the
// particles), and the colour table of the scalars.
#include <vtkDataSet.h>
#include <vtkLookupTable.h>
#include <vtkSmartPointer.h>

#include <string>
#include <utility>
#include <vector>

class vtkImageData;

namespace kvg {

struct VolumeSource {
  std::string name;                         // the volume drawable's name
  vtkSmartPointer<vtkDataSet> data;         // image data; other data sets are resampled
  std::string scalarName;                   // empty: the active scalars
  std::string vectorName;                   // empty: the active vectors
  vtkSmartPointer<vtkLookupTable> lookupTable;  // null: `colorMap` over the scalar range
  std::string colorMap = "rainbow";
  bool hasScalarRange = false;              // the range mapped onto the colour map; the
  double scalarRange[2] = {0.0, 1.0};       // data's own range without one
  double opacity = 0.3;                     // volume rendering: opacity of the densest part
  // The scene shows the volume through its own iso-surfaces (instead of volume rendering)
  // while volume rendering is on: at these values of these fields.
  bool isoSurfaceMode = false;
  std::vector<std::pair<std::string, double>> sceneIsoValues;
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
