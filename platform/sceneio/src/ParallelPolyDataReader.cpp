#include "ParallelPolyDataReader.h"

#include <cstring>

#include <vtkCellArray.h>
#include <vtkPolyData.h>
#include <vtkXMLDataElement.h>

#include "AppendedDataReader.h"

namespace {

// The four cell kinds of poly data, as the file names their elements and counts.
enum Kind { Verts, Lines, Strips, Polys, Kinds };
constexpr const char* KindElement[Kinds] = {"Verts", "Lines", "Strips", "Polys"};
constexpr const char* KindCount[Kinds] = {"NumberOfVerts", "NumberOfLines", "NumberOfStrips", "NumberOfPolys"};

class Reader {
 public:
  explicit Reader(const MappedFile& file) : _file(file) {}

  vtkSmartPointer<vtkPolyData> read() {
    if (!parseHead()) return nullptr;
    vtkSmartPointer<vtkPolyData> surface = buildSurface();
    if (!surface || !_file.runJobs()) return nullptr;
    vtkSmartPointer<vtkCellArray> cells[Kinds];
    for (int k = 0; k < Kinds; ++k) {
      cells[k] =
          _pending[k].offsets ? AppendedDataReader::finishCells(_pending[k]) : vtkSmartPointer<vtkCellArray>::New();
      if (!cells[k]) return nullptr;
    }
    surface->SetVerts(cells[Verts]);
    surface->SetLines(cells[Lines]);
    surface->SetStrips(cells[Strips]);
    surface->SetPolys(cells[Polys]);
    return surface;
  }

 private:
  bool parseHead() {
    _piece = _file.parseHead(
        "PolyData", {"NumberOfPoints", KindCount[Verts], KindCount[Lines], KindCount[Strips], KindCount[Polys]});
    if (!_piece || !AppendedDataReader::readCount(_piece, "NumberOfPoints", _points)) return false;
    for (int k = 0; k < Kinds; ++k) {
      // A count left out is none, as VTK's reader takes it.
      if (_piece->GetAttribute(KindCount[k]) && !AppendedDataReader::readCount(_piece, KindCount[k], _counts[k]))
        return false;
      if (_counts[k] > _file.maxCount()) return false;
      _cells += _counts[k];
    }
    // Empty surfaces are left to VTK's reader, which gives them their empty arrays.
    return _points > 0 && _cells > 0;
  }

  vtkSmartPointer<vtkPolyData> buildSurface() {
    auto surface = vtkSmartPointer<vtkPolyData>::New();
    vtkXMLDataElement *pointData = nullptr, *cellData = nullptr, *points = nullptr, *cells[Kinds] = {};
    if (!AppendedDataReader::childrenByName(_piece, {{"PointData", &pointData},
                                                     {"CellData", &cellData},
                                                     {"Points", &points},
                                                     {KindElement[Verts], &cells[Verts]},
                                                     {KindElement[Lines], &cells[Lines]},
                                                     {KindElement[Strips], &cells[Strips]},
                                                     {KindElement[Polys], &cells[Polys]}}) ||
        !_file.queuePointSet(points, pointData, cellData, _points, _cells, surface))
      return nullptr;
    for (int k = 0; k < Kinds; ++k) {
      // A kind without cells gets the empty cell array VTK's reader leaves it.
      if (_counts[k] == 0) continue;
      if (!cells[k] || cells[k]->GetNumberOfNestedElements() != 2 ||
          !_file.queueCells(cells[k], _counts[k], _pending[k]))
        return nullptr;
    }
    return surface;
  }

  AppendedDataReader _file;
  vtkXMLDataElement* _piece = nullptr;
  vtkIdType _points = 0, _cells = 0;
  vtkIdType _counts[Kinds] = {};
  AppendedDataReader::PendingCells _pending[Kinds];
};

}  // namespace

vtkSmartPointer<vtkPolyData> ParallelPolyDataReader::read(const std::string& path) {
#ifdef VTK_WORDS_BIGENDIAN
  // Files are read as little-endian words.
  return nullptr;
#endif
  MappedFile file(path);
  if (!file.data()) return nullptr;
  return Reader(file).read();
}
