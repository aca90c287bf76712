// The parallel unstructured grid reader against VTK's reader, and the boundary surface against
// vtkGeometryFilter: the scene shows what VTK's own classes would give.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include <vtkCellArray.h>
#include <vtkCallbackCommand.h>
#include <vtkCellArrayIterator.h>
#include <vtkCellData.h>
#include <vtkDoubleArray.h>
#include <vtkExecutive.h>
#include <vtkFieldData.h>
#include <vtkFloatArray.h>
#include <vtkGeometryFilter.h>
#include <vtkIdTypeArray.h>
#include <vtkIntArray.h>
#include <vtkPointData.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkSignedCharArray.h>
#include <vtkSmartPointer.h>
#include <vtkUnsignedCharArray.h>
#include <vtkUnsignedShortArray.h>
#include <vtkUnstructuredGrid.h>
#include <vtkXMLUnstructuredGridReader.h>
#include <vtkXMLUnstructuredGridWriter.h>

#include "BoundarySurface.h"
#include "ParallelGridReader.h"
#include "SameData.h"

namespace {

// Points of an (nx+1) x (ny+1) x (nz+1) lattice, slightly sheared so that no two coordinates
// coincide by accident.
vtkSmartPointer<vtkPoints> lattice(int nx, int ny, int nz, int type = VTK_FLOAT) {
  auto points = vtkSmartPointer<vtkPoints>::New();
  points->SetDataType(type);
  for (int k = 0; k <= nz; ++k)
    for (int j = 0; j <= ny; ++j)
      for (int i = 0; i <= nx; ++i) points->InsertNextPoint(i + 0.1 * j, j + 0.05 * k, k + 0.01 * i);
  return points;
}

// The eight corners of lattice cube (i, j, k) in VTK's hexahedron order.
std::vector<vtkIdType> cube(int nx, int ny, int i, int j, int k) {
  auto at = [&](int a, int b, int c) { return vtkIdType(c) * (ny + 1) * (nx + 1) + vtkIdType(b) * (nx + 1) + a; };
  return {at(i, j, k),     at(i + 1, j, k),     at(i + 1, j + 1, k),     at(i, j + 1, k),
          at(i, j, k + 1), at(i + 1, j, k + 1), at(i + 1, j + 1, k + 1), at(i, j + 1, k + 1)};
}

// Fills each lattice cube with cells made from its corners (and, when asked, a point at its centre).
using Filler = std::function<void(vtkUnstructuredGrid*, const std::vector<vtkIdType>& corners, vtkIdType centre)>;

vtkSmartPointer<vtkUnstructuredGrid> block(int nx, int ny, int nz, const Filler& fill, bool centres = false,
                                           int pointType = VTK_FLOAT) {
  auto grid = vtkSmartPointer<vtkUnstructuredGrid>::New();
  vtkSmartPointer<vtkPoints> points = lattice(nx, ny, nz, pointType);
  grid->SetPoints(points);
  grid->AllocateEstimate(nx * ny * nz * 6, 8);
  for (int k = 0; k < nz; ++k)
    for (int j = 0; j < ny; ++j)
      for (int i = 0; i < nx; ++i) {
        const std::vector<vtkIdType> c = cube(nx, ny, i, j, k);
        vtkIdType centre = -1;
        if (centres) centre = points->InsertNextPoint(i + 0.5 + 0.1 * (j + 0.5), j + 0.5 + 0.05 * (k + 0.5), k + 0.5 + 0.01 * (i + 0.5));
        fill(grid, c, centre);
      }
  return grid;
}

void insert(vtkUnstructuredGrid* grid, int type, std::initializer_list<vtkIdType> ids) {
  std::vector<vtkIdType> v(ids);
  grid->InsertNextCell(type, vtkIdType(v.size()), v.data());
}

const Filler hexahedra = [](vtkUnstructuredGrid* g, const std::vector<vtkIdType>& c, vtkIdType) {
  g->InsertNextCell(VTK_HEXAHEDRON, 8, c.data());
};
// Six tetrahedra around the cube's diagonal 0-6: the same split in every cube, so neighbours meet
// face to face.
const Filler tetrahedra = [](vtkUnstructuredGrid* g, const std::vector<vtkIdType>& c, vtkIdType) {
  const int paths[6][2] = {{1, 2}, {2, 3}, {3, 7}, {7, 4}, {4, 5}, {5, 1}};
  for (const auto& p : paths) insert(g, VTK_TETRA, {c[0], c[size_t(p[0])], c[size_t(p[1])], c[6]});
};
// Two wedges split along the diagonal 0-2 of the bottom face, the same in every cube.
const Filler wedges = [](vtkUnstructuredGrid* g, const std::vector<vtkIdType>& c, vtkIdType) {
  insert(g, VTK_WEDGE, {c[0], c[1], c[2], c[4], c[5], c[6]});
  insert(g, VTK_WEDGE, {c[0], c[2], c[3], c[4], c[6], c[7]});
};
// Six pyramids, one on each face of the cube, meeting at its centre.
const Filler pyramids = [](vtkUnstructuredGrid* g, const std::vector<vtkIdType>& c, vtkIdType centre) {
  const int faces[6][4] = {{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 1, 5, 4}, {1, 2, 6, 5}, {2, 3, 7, 6}, {3, 0, 4, 7}};
  for (const auto& f : faces)
    insert(g, VTK_PYRAMID, {c[size_t(f[0])], c[size_t(f[1])], c[size_t(f[2])], c[size_t(f[3])], centre});
};

// A point scalar, point vectors and cell data of several types, as a simulation writes them.
void addData(vtkUnstructuredGrid* grid) {
  const vtkIdType n = grid->GetNumberOfPoints(), cells = grid->GetNumberOfCells();
  auto pressure = vtkSmartPointer<vtkFloatArray>::New();
  pressure->SetName("pressure");
  auto velocity = vtkSmartPointer<vtkDoubleArray>::New();
  velocity->SetName("velocity");
  velocity->SetNumberOfComponents(3);
  auto flags = vtkSmartPointer<vtkSignedCharArray>::New();
  flags->SetName("flags");
  for (vtkIdType p = 0; p < n; ++p) {
    double x[3];
    grid->GetPoint(p, x);
    pressure->InsertNextValue(float(x[0] * 0.5 - x[1] + x[2] * x[2]));
    velocity->InsertNextTuple3(x[1], -x[0], 0.25 * x[2]);
    flags->InsertNextValue(static_cast<signed char>(p % 7 - 3));
  }
  grid->GetPointData()->SetScalars(pressure);
  grid->GetPointData()->SetVectors(velocity);
  grid->GetPointData()->AddArray(flags);
  auto material = vtkSmartPointer<vtkIntArray>::New();
  material->SetName("material");
  auto stress = vtkSmartPointer<vtkFloatArray>::New();
  stress->SetName("stress");
  stress->SetNumberOfComponents(6);
  auto zone = vtkSmartPointer<vtkUnsignedShortArray>::New();
  zone->SetName("zone");
  for (vtkIdType c = 0; c < cells; ++c) {
    material->InsertNextValue(int(c % 5));
    stress->InsertNextTuple6(c, -c, 0.5 * c, 1, 2, 3);
    zone->InsertNextValue(static_cast<unsigned short>(c * 13 % 1000));
  }
  grid->GetCellData()->AddArray(material);
  grid->GetCellData()->AddArray(stress);
  grid->GetCellData()->SetScalars(zone);
}

void expectSameGrid(vtkUnstructuredGrid* expected, vtkUnstructuredGrid* actual) {
  ASSERT_NE(actual, nullptr);
  EXPECT_EQ(expected->GetNumberOfPoints(), actual->GetNumberOfPoints());
  EXPECT_EQ(expected->GetNumberOfCells(), actual->GetNumberOfCells());
  EXPECT_TRUE(sameArray(expected->GetPoints()->GetData(), actual->GetPoints()->GetData()));
  EXPECT_EQ(expected->GetCells()->IsStorage64Bit(), actual->GetCells()->IsStorage64Bit());
  EXPECT_TRUE(sameArray(expected->GetCells()->GetOffsetsArray(), actual->GetCells()->GetOffsetsArray()));
  EXPECT_TRUE(sameArray(expected->GetCells()->GetConnectivityArray(), actual->GetCells()->GetConnectivityArray()));
  EXPECT_TRUE(sameArray(expected->GetCellTypesArray(), actual->GetCellTypesArray()));
  expectSameAttributes(expected->GetPointData(), actual->GetPointData());
  expectSameAttributes(expected->GetCellData(), actual->GetCellData());
  EXPECT_EQ(actual->GetFieldData()->GetNumberOfArrays(), 0);
}

// Each polygon as its points' coordinates in order, with the point and cell data that go with
// it, sorted: two surfaces showing the same faces with the same data compare equal, in whatever
// order their cells come.
std::vector<std::vector<double>> facesOf(vtkPolyData* surface) {
  std::vector<std::vector<double>> faces;
  auto it = vtk::TakeSmartPointer(surface->GetPolys()->NewIterator());
  vtkIdType cellId = surface->GetNumberOfVerts() + surface->GetNumberOfLines();
  for (it->GoToFirstCell(); !it->IsDoneWithTraversal(); it->GoToNextCell(), ++cellId) {
    vtkIdType n;
    const vtkIdType* ids;
    it->GetCurrentCell(n, ids);
    std::vector<double> face{double(n)};
    for (vtkIdType k = 0; k < n; ++k) {
      double x[3];
      surface->GetPoint(ids[k], x);
      face.insert(face.end(), x, x + 3);
      for (int a = 0; a < surface->GetPointData()->GetNumberOfArrays(); ++a) {
        vtkDataArray* array = surface->GetPointData()->GetArray(a);
        for (int c = 0; c < array->GetNumberOfComponents(); ++c) face.push_back(array->GetComponent(ids[k], c));
      }
    }
    for (int a = 0; a < surface->GetCellData()->GetNumberOfArrays(); ++a) {
      vtkDataArray* array = surface->GetCellData()->GetArray(a);
      for (int c = 0; c < array->GetNumberOfComponents(); ++c) face.push_back(array->GetComponent(cellId, c));
    }
    faces.push_back(face);
  }
  std::sort(faces.begin(), faces.end());
  return faces;
}

vtkSmartPointer<vtkPolyData> geometryFilter(vtkUnstructuredGrid* grid) {
  auto filter = vtkSmartPointer<vtkGeometryFilter>::New();
  filter->SetInputData(grid);
  filter->Update();
  return filter->GetOutput();
}


}  // namespace

// Each layout of VTK's writer: appended base64 or raw, compressed or not, 32- or 64-bit
// headers and cell ids, few blocks or many, most arrays ending in a short block.
TEST(ParallelGridReader, ReadsTheGridVTKsReaderReads) {
  const struct {
    const char* name;
    bool compressed, base64, header64, ids64;  // ids64: 64-bit cell arrays
    int blockSize, pointType;
  } cases[] = {
      {"zlib base64", true, true, false, true, 32768, VTK_FLOAT},
      {"zlib raw, 64-bit headers, 32-bit ids", true, false, true, false, 32768, VTK_DOUBLE},
      {"plain base64, 64-bit headers", false, true, true, true, 32768, VTK_FLOAT},
      {"plain raw, 32-bit ids", false, false, false, false, 32768, VTK_DOUBLE},
      {"zlib base64, small blocks", true, true, true, false, 1000, VTK_FLOAT},
      {"zlib raw, small blocks", true, false, false, true, 992, VTK_DOUBLE},
  };
  const std::string dir = temporaryFolder();
  ASSERT_FALSE(dir.empty());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    vtkSmartPointer<vtkUnstructuredGrid> grid = block(7, 5, 4, hexahedra, false, c.pointType);
    // Cells of every handled kind, and one of another, in the same file.
    insert(grid, VTK_TETRA, {0, 1, 8, 48});
    insert(grid, VTK_WEDGE, {0, 1, 8, 48, 49, 56});
    insert(grid, VTK_PYRAMID, {0, 1, 9, 8, 48});
    insert(grid, VTK_TRIANGLE, {2, 3, 10});
    addData(grid);
    const std::string path = dir + "/grid.vtu";
    auto writer = vtkSmartPointer<vtkXMLUnstructuredGridWriter>::New();
    writer->SetInputData(grid);
    writer->SetFileName(path.c_str());
    writer->SetDataModeToAppended();
    writer->SetEncodeAppendedData(c.base64);
    if (c.compressed) writer->SetCompressorTypeToZLib();
    else writer->SetCompressorTypeToNone();
    if (c.header64) writer->SetHeaderTypeToUInt64();
    else writer->SetHeaderTypeToUInt32();
    // The cell arrays go out as the grid keeps them; other ids as the writer is told.
    if (c.ids64) {
      writer->SetIdTypeToInt64();
    } else {
      grid->GetCells()->ConvertTo32BitStorage();
      writer->SetIdTypeToInt32();
    }
    writer->SetBlockSize(size_t(c.blockSize));
    ASSERT_EQ(writer->Write(), 1);

    auto reader = vtkSmartPointer<vtkXMLUnstructuredGridReader>::New();
    reader->SetFileName(path.c_str());
    reader->Update();
    expectSameGrid(reader->GetOutput(), ParallelGridReader::read(path));
    ::unlink(path.c_str());
  }
  ::rmdir(dir.c_str());
}

// Forms the parallel reader leaves to VTK's reader, and damaged files, give null rather than a
// wrong grid; the damaged ones VTK's reader refuses in turn.
TEST(ParallelGridReader, LeavesOtherFormsAndDamageToVTKsReader) {
  const std::string dir = temporaryFolder();
  ASSERT_FALSE(dir.empty());
  const std::string path = dir + "/grid.vtu";
  auto write = [&](const std::function<void(vtkXMLUnstructuredGridWriter*, vtkUnstructuredGrid*)>& setUp) {
    vtkSmartPointer<vtkUnstructuredGrid> grid = block(6, 6, 6, hexahedra);
    addData(grid);
    auto writer = vtkSmartPointer<vtkXMLUnstructuredGridWriter>::New();
    writer->SetInputData(grid);
    writer->SetFileName(path.c_str());
    writer->SetDataModeToAppended();
    setUp(writer, grid);
    ASSERT_EQ(writer->Write(), 1);
  };
  const struct {
    const char* name;
    std::function<void(vtkXMLUnstructuredGridWriter*, vtkUnstructuredGrid*)> setUp;
    std::function<void(std::string&)> damage;  // null: the file is sound
  } cases[] = {
      {"inline binary arrays", [](vtkXMLUnstructuredGridWriter* w, vtkUnstructuredGrid*) { w->SetDataModeToBinary(); },
       nullptr},
      {"ascii arrays", [](vtkXMLUnstructuredGridWriter* w, vtkUnstructuredGrid*) { w->SetDataModeToAscii(); },
       nullptr},
      {"two pieces", [](vtkXMLUnstructuredGridWriter* w, vtkUnstructuredGrid*) { w->SetNumberOfPieces(2); },
       nullptr},
      {"lz4 blocks", [](vtkXMLUnstructuredGridWriter* w, vtkUnstructuredGrid*) { w->SetCompressorTypeToLZ4(); },
       nullptr},
      {"an empty grid",
       [](vtkXMLUnstructuredGridWriter*, vtkUnstructuredGrid* g) {
         g->SetPoints(vtkSmartPointer<vtkPoints>::New());
         g->SetCells(VTK_HEXAHEDRON, vtkSmartPointer<vtkCellArray>::New());
         g->GetPointData()->Initialize();
         g->GetCellData()->Initialize();
       },
       nullptr},
      {"field data",
       [](vtkXMLUnstructuredGridWriter*, vtkUnstructuredGrid* g) {
         auto time = vtkSmartPointer<vtkDoubleArray>::New();
         time->SetName("TimeValue");
         time->InsertNextValue(2.5);
         g->GetFieldData()->AddArray(time);
       },
       nullptr},
      {"a compressed block garbled", [](vtkXMLUnstructuredGridWriter* w, vtkUnstructuredGrid*) { w->SetEncodeAppendedData(false); },
       [](std::string& t) {
         const size_t data = t.find('_', t.find("<AppendedData")) + 1;
         for (size_t i = data + 2000; i < data + 2100; ++i) t[i] = char(t[i] ^ 0x5a);
       }},
      {"base64 text broken",
       [](vtkXMLUnstructuredGridWriter*, vtkUnstructuredGrid*) {},
       [](std::string& t) { t[t.find('_', t.find("<AppendedData")) + 3000] = '*'; }},
      {"the end cut off",
       [](vtkXMLUnstructuredGridWriter*, vtkUnstructuredGrid*) {},
       [](std::string& t) { t.resize(t.size() - t.size() / 3); }},
      {"a cell's offsets running backwards",
       [](vtkXMLUnstructuredGridWriter* w, vtkUnstructuredGrid* g) {
         g->GetCells()->ConvertTo32BitStorage();
         w->SetCompressorTypeToNone();
         w->SetEncodeAppendedData(false);
         w->SetHeaderTypeToUInt32();
         w->SetIdTypeToInt32();
       },
       [](std::string& t) {
         // The offsets follow their 4-byte header; make the second end before the first.
         const size_t data = t.find('_', t.find("<AppendedData")) + 1;
         const size_t at = t.find("Name=\"offsets\"");
         const size_t offset = size_t(std::atoll(t.c_str() + t.find("offset=\"", at) + 8));
         const int32_t zero = 0;
         std::memcpy(&t[data + offset + 4 + 4], &zero, 4);
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    write(c.setUp);
    if (c.damage) rewriteFile(path, c.damage);
    EXPECT_EQ(ParallelGridReader::read(path), nullptr);
    if (!c.damage) continue;
    int errors = 0;
    auto count = vtkSmartPointer<vtkCallbackCommand>::New();
    count->SetClientData(&errors);
    count->SetCallback([](vtkObject*, unsigned long, void* counter, void*) { ++*static_cast<int*>(counter); });
    auto reader = vtkSmartPointer<vtkXMLUnstructuredGridReader>::New();
    reader->AddObserver(vtkCommand::ErrorEvent, count);
    reader->GetExecutive()->AddObserver(vtkCommand::ErrorEvent, count);
    reader->SetFileName(path.c_str());
    reader->Update();
    EXPECT_GT(errors, 0) << "VTK's reader takes the damaged file";
  }
  EXPECT_EQ(ParallelGridReader::read(dir + "/no-such-file.vtu"), nullptr);
  ::unlink(path.c_str());
  ::rmdir(dir.c_str());
}

// The boundary of grids of each handled cell kind, of cells meeting other than face to face and
// of cells standing apart is vtkGeometryFilter's: the same points in the same order, the same
// faces with their points in the same order, the same point and cell data.
TEST(BoundarySurface, IsTheSurfaceVTKsGeometryFilterGives) {
  const struct {
    const char* name;
    std::function<vtkSmartPointer<vtkUnstructuredGrid>()> make;
  } cases[] = {
      {"hexahedra", [] { return block(5, 4, 3, hexahedra); }},
      {"hexahedra with double points", [] { return block(3, 3, 3, hexahedra, false, VTK_DOUBLE); }},
      {"hexahedra in 32-bit cell arrays",
       [] {
         auto grid = block(4, 2, 3, hexahedra);
         grid->GetCells()->ConvertTo32BitStorage();
         return grid;
       }},
      {"tetrahedra", [] { return block(4, 3, 3, tetrahedra); }},
      {"wedges", [] { return block(3, 4, 2, wedges); }},
      {"pyramids around cube centres", [] { return block(3, 2, 3, pyramids, true); }},
      {"a tetrahedron on half a hexahedron's face",
       [] {
         // The tetrahedron's face on the cube is no face of the cube: vtkGeometryFilter drops
         // it (the cube uses all its points) and keeps the cube's face.
         auto grid = block(1, 1, 1, hexahedra);
         const vtkIdType tip = grid->GetPoints()->InsertNextPoint(0.5, 0.5, 2);
         insert(grid, VTK_TETRA, {4, 5, 6, tip});
         return grid;
       }},
      {"cells apart and a lone tetrahedron",
       [] {
         auto grid = block(3, 1, 1, hexahedra);
         const vtkIdType p = grid->GetPoints()->InsertNextPoint(10, 10, 10);
         grid->GetPoints()->InsertNextPoint(11, 10, 10);
         grid->GetPoints()->InsertNextPoint(10, 11, 10);
         grid->GetPoints()->InsertNextPoint(10, 10, 11);
         grid->GetPoints()->InsertNextPoint(20, 20, 20);  // used by no cell
         insert(grid, VTK_TETRA, {p, p + 1, p + 2, p + 3});
         return grid;
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    vtkSmartPointer<vtkUnstructuredGrid> grid = c.make();
    addData(grid);
    vtkSmartPointer<vtkPolyData> expected = geometryFilter(grid);
    vtkSmartPointer<vtkPolyData> actual = BoundarySurface::extract(grid);
    ASSERT_NE(actual, nullptr);
    ASSERT_GT(expected->GetNumberOfPolys(), 0);
    EXPECT_EQ(actual->GetNumberOfPolys(), expected->GetNumberOfPolys());
    EXPECT_EQ(actual->GetNumberOfCells(), expected->GetNumberOfCells());
    EXPECT_TRUE(sameArray(expected->GetPoints()->GetData(), actual->GetPoints()->GetData()));
    expectSameAttributes(expected->GetPointData(), actual->GetPointData());
    ASSERT_EQ(actual->GetCellData()->GetNumberOfArrays(), expected->GetCellData()->GetNumberOfArrays());
    for (int a = 0; a < expected->GetCellData()->GetNumberOfArrays(); ++a)
      EXPECT_NE(actual->GetCellData()->GetArray(expected->GetCellData()->GetArrayName(a)), nullptr);
    EXPECT_EQ(facesOf(actual), facesOf(expected));
  }
}

// Grids it does not take give null, so that vtkGeometryFilter handles them.
TEST(BoundarySurface, LeavesOtherGridsToVTKsGeometryFilter) {
  const struct {
    const char* name;
    std::function<void(vtkUnstructuredGrid*)> change;
  } cases[] = {
      {"a surface cell among the solids", [](vtkUnstructuredGrid* g) { insert(g, VTK_QUAD, {0, 1, 5, 4}); }},
      {"a cell naming a point twice", [](vtkUnstructuredGrid* g) { insert(g, VTK_TETRA, {0, 1, 1, 4}); }},
      {"a cell naming a point that does not exist", [](vtkUnstructuredGrid* g) { insert(g, VTK_TETRA, {0, 1, 2, 999}); }},
      {"ghost cells",
       [](vtkUnstructuredGrid* g) {
         auto ghosts = vtkSmartPointer<vtkUnsignedCharArray>::New();
         ghosts->SetName(vtkDataSetAttributes::GhostArrayName());
         ghosts->SetNumberOfValues(g->GetNumberOfCells());
         ghosts->Fill(0);
         g->GetCellData()->AddArray(ghosts);
       }},
      {"global point ids",
       [](vtkUnstructuredGrid* g) {
         auto ids = vtkSmartPointer<vtkIdTypeArray>::New();
         ids->SetName("ids");
         ids->SetNumberOfValues(g->GetNumberOfPoints());
         ids->Fill(1);
         g->GetPointData()->SetGlobalIds(ids);
       }},
      {"no cells", [](vtkUnstructuredGrid* g) { g->Reset(); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    vtkSmartPointer<vtkUnstructuredGrid> grid = block(2, 2, 2, hexahedra);
    c.change(grid);
    EXPECT_EQ(BoundarySurface::extract(grid), nullptr);
  }
}
