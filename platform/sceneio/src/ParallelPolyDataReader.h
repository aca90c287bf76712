#pragma once
// Reads VTK XML poly data files of the form VTK's writer gives by default (one piece, arrays
// appended raw or base64, zlib-compressed or not, little-endian) with the blocks of all arrays
// decoded and decompressed on every core, straight into the surface's arrays; VTK's reader takes
// them one after another on one thread, seconds for a surface of millions of triangles. The surface
// is the one VTK's reader gives: the same arrays, types, values and active attributes. Any other
// form, and any damage, gives null: the caller then reads the file with VTK's reader, which knows
// every form and names what is wrong. Runs on the calling thread, fanning out through vtkSMPTools.
#include <string>

#include <vtkSmartPointer.h>

class vtkPolyData;

class ParallelPolyDataReader {
 public:
  static vtkSmartPointer<vtkPolyData> read(const std::string& path);
};
