#pragma once
// Checks a VTK XML data file (.vtp, .vtu, .vti) before any reader allocates from it, and the
// data a reader made before anything walks its cells. VTK's readers trust the counts, sizes and
// offsets a file states: a damaged header makes them divide by zero, index beyond their arrays
// or allocate what the file names (terabytes), and cells that do not fit their type crash the
// surface extraction. Every such number is weighed here against the file's length and the
// limits below, so that a damaged file gives a reason instead.
// Runs on the calling thread (the loader thread); reads the file's head and array headers only.
#include <cstdint>
#include <string>

class vtkDataSet;

class DataFileCheck {
 public:
  // Most bytes one array may hold once decoded and decompressed, and most all arrays of one
  // file may hold together (the counts a file states count as well as the sizes it gives).
  static constexpr uint64_t MaxArrayBytes = uint64_t(1) << 30;
  static constexpr uint64_t MaxFileDataBytes = uint64_t(2) << 30;

  // False with the reason when the file's stated counts, array offsets, block headers or
  // decompressed sizes cannot be those of a sound file or exceed the limits. A file this check
  // cannot parse passes: the reader then names what is wrong with it.
  static bool checkFile(const std::string& path, std::string& why);

  // False with the reason when the data's cells cannot be walked safely: cell offsets out of
  // order or beyond the connectivity, a cell type VTK does not know, a cell whose point count
  // does not fit its type, a polyhedron without its faces, or attribute arrays shorter than the
  // points or cells they describe.
  static bool checkData(vtkDataSet* data, std::string& why);
};
