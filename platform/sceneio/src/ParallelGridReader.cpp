#include "ParallelGridReader.h"

#include <cstring>

#include <vtkCellArray.h>
#include <vtkCellData.h>
#include <vtkDataArray.h>
#include <vtkPointData.h>
#include <vtkPoints.h>
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
    for (int i = 0; i < _piece->GetNumberOfNestedElements(); ++i) {
      vtkXMLDataElement* e = _piece->GetNestedElement(i);
      vtkXMLDataElement** slot = std::strcmp(e->GetName(), "PointData") == 0  ? &pointData
                                 : std::strcmp(e->GetName(), "CellData") == 0 ? &cellData
                                 : std::strcmp(e->GetName(), "Points") == 0   ? &points
                                 : std::strcmp(e->GetName(), "Cells") == 0    ? &cells
                                                                              : nullptr;
      if (!slot || *slot) return nullptr;
      *slot = e;
    }
    if (pointData && !_file.queueAttributes(pointData, _points, grid->GetPointData())) return nullptr;
    if (cellData && !_file.queueAttributes(cellData, _cells, grid->GetCellData())) return nullptr;
    if (!points || points->GetNumberOfAttributes() != 0 || points->GetNumberOfNestedElements() != 1) return nullptr;
    vtkSmartPointer<vtkDataArray> xyz = _file.queueArray(points->GetNestedElement(0), _points, 3);
    if (!xyz || (xyz->GetDataType() != VTK_FLOAT && xyz->GetDataType() != VTK_DOUBLE)) return nullptr;
    auto p = vtkSmartPointer<vtkPoints>::New();
    p->SetData(xyz);
    grid->SetPoints(p);
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
