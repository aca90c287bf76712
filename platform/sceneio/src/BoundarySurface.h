#pragma once
// The outer surface of an unstructured grid of tetrahedra, hexahedra, wedges and pyramids: the
// faces no other cell uses all the points of, as vtkGeometryFilter gives them (the same faces
// with their points in the same order, the used points in their order in the grid, point and
// cell data carried over), in grid cell order.
// vtkGeometryFilter builds the point-to-cell links of the whole grid and tests every face of
// every cell against them; here faces are paired by their point sets first, and only the
// unpaired ones, a small part of a large grid, are tested against links of their own points.
// Other grids (other cell types, a cell naming a point twice or one that does not exist, ghost
// cells, global or pedigree ids) give null: the caller then runs vtkGeometryFilter.
// Runs on the calling thread, fanning out through vtkSMPTools.
#include <vtkSmartPointer.h>

class vtkPolyData;
class vtkUnstructuredGrid;

class BoundarySurface {
 public:
  static vtkSmartPointer<vtkPolyData> extract(vtkUnstructuredGrid* grid);
};
