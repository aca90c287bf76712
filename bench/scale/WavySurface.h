#pragma once
// The wavy surface the benches open: its triangles cover a unit square, so every size looks alike.
#include <cmath>
#include <string>

#include <vtkCellArray.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkSmartPointer.h>
#include <vtkXMLPolyDataWriter.h>

// A wavy square of 2 x n x n triangles.
inline void writeTriangles(const std::string& path, int n) {
  const int p = n + 1;
  auto points = vtkSmartPointer<vtkPoints>::New();
  points->SetDataTypeToFloat();
  points->SetNumberOfPoints(vtkIdType(p) * p);
  for (int j = 0, id = 0; j < p; ++j)
    for (int i = 0; i < p; ++i, ++id) {
      const double x = double(i) / n, y = double(j) / n;
      points->SetPoint(id, x, y, 0.05 * std::sin(20 * x) * std::cos(17 * y));
    }
  auto polys = vtkSmartPointer<vtkCellArray>::New();
  polys->AllocateExact(vtkIdType(2) * n * n, vtkIdType(6) * n * n);
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) {
      const vtkIdType a = vtkIdType(j) * p + i, b = a + 1, c = a + p, d = c + 1;
      const vtkIdType t1[3] = {a, b, d}, t2[3] = {a, d, c};
      polys->InsertNextCell(3, t1);
      polys->InsertNextCell(3, t2);
    }
  auto surface = vtkSmartPointer<vtkPolyData>::New();
  surface->SetPoints(points);
  surface->SetPolys(polys);
  auto writer = vtkSmartPointer<vtkXMLPolyDataWriter>::New();
  writer->SetInputData(surface);
  writer->SetFileName(path.c_str());
  writer->Write();
}
