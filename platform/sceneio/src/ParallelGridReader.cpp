#include "ParallelGridReader.h"

#include <algorithm>
#include <cstring>

#include <vtkCellArray.h>
#include <vtkCellType.h>
#include <vtkUnsignedCharArray.h>
#include <vtkUnstructuredGrid.h>
#include <vtkXMLDataElement.h>

#include "AppendedDataReader.h"

namespace {

class Reader {
 public:
  explicit Reader(const MappedFile& file) : _file(file) {}

  vtkSmartPointer<vtkUnstructuredGrid> read() {
    if (!parseHead()) return nullptr;
    vtkSmartPointer<vtkUnstructuredGrid> grid = buildGrid();
    if (!grid || !_file.runJobs()) return nullptr;
    return finishCells(grid) ? grid : nullptr;
  }

 private:
  bool parseHead() {
    _piece = _file.parseHead("UnstructuredGrid", {"NumberOfPoints", "NumberOfCells"});
    // Empty grids are left to VTK's reader, which gives them their empty arrays.
    return _piece && AppendedDataReader::readCount(_piece, "NumberOfPoints", _points) &&
           AppendedDataReader::readCount(_piece, "NumberOfCells", _cells) && _points > 0 && _cells > 0;
  }

  vtkSmartPointer<vtkUnstructuredGrid> buildGrid() {
    auto grid = vtkSmartPointer<vtkUnstructuredGrid>::New();
    vtkXMLDataElement *pointData = nullptr, *cellData = nullptr, *points = nullptr, *cells = nullptr;
    if (!AppendedDataReader::childrenByName(
            _piece, {{"PointData", &pointData}, {"CellData", &cellData}, {"Points", &points}, {"Cells", &cells}}) ||
        !_file.queuePointSet(points, pointData, cellData, _points, _cells, grid))
      return nullptr;
    if (!cells || cells->GetNumberOfNestedElements() != 3 || !_file.queueCells(cells, _cells, _pending)) return nullptr;
    vtkXMLDataElement* eTypes = nullptr;
    for (int i = 0; i < 3; ++i) {
      const char* name = cells->GetNestedElement(i)->GetAttribute("Name");
      if (name && std::strcmp(name, "types") == 0) eTypes = cells->GetNestedElement(i);
    }
    _types = eTypes ? vtkUnsignedCharArray::SafeDownCast(_file.queueArray(eTypes, _cells, 1)) : nullptr;
    return _types ? grid : nullptr;
  }

  bool finishCells(vtkUnstructuredGrid* grid) {
    // A polyhedron's faces come in arrays not read here, and SetCells would take its points for
    // a face list.
    const unsigned char* types = _types->GetPointer(0);
    if (std::find(types, types + _cells, static_cast<unsigned char>(VTK_POLYHEDRON)) != types + _cells) return false;
    // As VTK's reader leaves them: the cell arrays named, the types not.
    _types->SetName(nullptr);
    vtkSmartPointer<vtkCellArray> cells = AppendedDataReader::finishCells(_pending);
    if (!cells) return false;
    grid->SetCells(_types, cells);
    return true;
  }

  AppendedDataReader _file;
  vtkXMLDataElement* _piece = nullptr;
  vtkIdType _points = 0, _cells = 0;
  AppendedDataReader::PendingCells _pending;
  vtkSmartPointer<vtkUnsignedCharArray> _types;
};

}  // namespace

vtkSmartPointer<vtkUnstructuredGrid> ParallelGridReader::read(const std::string& path) {
#ifdef VTK_WORDS_BIGENDIAN
  // Files are read as little-endian words.
  return nullptr;
#endif
  MappedFile file(path);
  if (!file.data()) return nullptr;
  return Reader(file).read();
}
