// The parallel poly data reader against VTK's reader: the scene shows the surface VTK's own reader
// would give, and leaves every other form and every damaged file to it.
#include <gtest/gtest.h>

#include <dirent.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

#include <vtkCallbackCommand.h>
#include <vtkCellArray.h>
#include <vtkCellData.h>
#include <vtkDoubleArray.h>
#include <vtkExecutive.h>
#include <vtkFieldData.h>
#include <vtkFloatArray.h>
#include <vtkIntArray.h>
#include <vtkPointData.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkSmartPointer.h>
#include <vtkUnsignedCharArray.h>
#include <vtkXMLPolyDataReader.h>
#include <vtkXMLPolyDataWriter.h>

#include "ParallelPolyDataReader.h"
#include "SameData.h"
#include "SceneCorpus.h"

namespace {

// An n x n sheet of triangles (two per square), with a point scalar, point normals and a cell
// colour; when mixed, also vertices, a polyline and a triangle strip along its edges.
vtkSmartPointer<vtkPolyData> sheet(int n, bool mixed, int pointType = VTK_FLOAT) {
  auto points = vtkSmartPointer<vtkPoints>::New();
  points->SetDataType(pointType);
  auto pressure = vtkSmartPointer<vtkFloatArray>::New();
  pressure->SetName("pressure");
  auto normals = vtkSmartPointer<vtkDoubleArray>::New();
  normals->SetName("Normals");
  normals->SetNumberOfComponents(3);
  for (int j = 0; j <= n; ++j)
    for (int i = 0; i <= n; ++i) {
      points->InsertNextPoint(i + 0.1 * j, j, 0.01 * i * j);
      pressure->InsertNextValue(float(i) - 0.5f * float(j));
      normals->InsertNextTuple3(0, -0.01 * i, 1);
    }
  auto polys = vtkSmartPointer<vtkCellArray>::New();
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) {
      const vtkIdType a = vtkIdType(j) * (n + 1) + i, b = a + 1, c = a + n + 1, d = c + 1;
      const vtkIdType t1[3] = {a, b, d}, t2[3] = {a, d, c};
      polys->InsertNextCell(3, t1);
      polys->InsertNextCell(3, t2);
    }
  // A quad among the triangles.
  const vtkIdType quad[4] = {0, 1, vtkIdType(n) + 2, vtkIdType(n) + 1};
  polys->InsertNextCell(4, quad);
  auto surface = vtkSmartPointer<vtkPolyData>::New();
  surface->SetPoints(points);
  surface->SetPolys(polys);
  if (mixed) {
    auto verts = vtkSmartPointer<vtkCellArray>::New();
    for (vtkIdType p = 0; p <= n; p += 2) verts->InsertNextCell(1, &p);
    auto lines = vtkSmartPointer<vtkCellArray>::New();
    lines->InsertNextCell(n + 1);
    for (int i = 0; i <= n; ++i) lines->InsertCellPoint(i);
    auto strips = vtkSmartPointer<vtkCellArray>::New();
    strips->InsertNextCell(2 * (n + 1));
    for (int i = 0; i <= n; ++i) {
      strips->InsertCellPoint(vtkIdType(n - 1) * (n + 1) + i);
      strips->InsertCellPoint(vtkIdType(n) * (n + 1) + i);
    }
    surface->SetVerts(verts);
    surface->SetLines(lines);
    surface->SetStrips(strips);
  }
  surface->GetPointData()->SetScalars(pressure);
  surface->GetPointData()->SetNormals(normals);
  auto colour = vtkSmartPointer<vtkUnsignedCharArray>::New();
  colour->SetName("colour");
  colour->SetNumberOfComponents(3);
  auto part = vtkSmartPointer<vtkIntArray>::New();
  part->SetName("part");
  for (vtkIdType c = 0; c < surface->GetNumberOfCells(); ++c) {
    colour->InsertNextTuple3(c % 256, (c * 7) % 256, 200);
    part->InsertNextValue(int(c % 3));
  }
  surface->GetCellData()->SetScalars(colour);
  surface->GetCellData()->AddArray(part);
  return surface;
}

void expectSameCells(vtkCellArray* expected, vtkCellArray* actual, const char* kind) {
  SCOPED_TRACE(kind);
  ASSERT_NE(actual, nullptr);
  EXPECT_EQ(expected->GetNumberOfCells(), actual->GetNumberOfCells());
  EXPECT_EQ(expected->IsStorage64Bit(), actual->IsStorage64Bit());
  EXPECT_TRUE(sameArray(expected->GetOffsetsArray(), actual->GetOffsetsArray()));
  EXPECT_TRUE(sameArray(expected->GetConnectivityArray(), actual->GetConnectivityArray()));
}

void expectSameSurface(vtkPolyData* expected, vtkPolyData* actual) {
  ASSERT_NE(actual, nullptr);
  EXPECT_EQ(expected->GetNumberOfPoints(), actual->GetNumberOfPoints());
  EXPECT_TRUE(sameArray(expected->GetPoints()->GetData(), actual->GetPoints()->GetData()));
  expectSameCells(expected->GetVerts(), actual->GetVerts(), "verts");
  expectSameCells(expected->GetLines(), actual->GetLines(), "lines");
  expectSameCells(expected->GetStrips(), actual->GetStrips(), "strips");
  expectSameCells(expected->GetPolys(), actual->GetPolys(), "polys");
  expectSameAttributes(expected->GetPointData(), actual->GetPointData());
  expectSameAttributes(expected->GetCellData(), actual->GetCellData());
  EXPECT_EQ(actual->GetFieldData()->GetNumberOfArrays(), 0);
}

vtkSmartPointer<vtkPolyData> readWithVTK(const std::string& path, int* errors = nullptr) {
  auto count = vtkSmartPointer<vtkCallbackCommand>::New();
  count->SetClientData(errors);
  count->SetCallback([](vtkObject*, unsigned long, void* counter, void*) {
    if (counter) ++*static_cast<int*>(counter);
  });
  auto reader = vtkSmartPointer<vtkXMLPolyDataReader>::New();
  reader->AddObserver(vtkCommand::ErrorEvent, count);
  reader->GetExecutive()->AddObserver(vtkCommand::ErrorEvent, count);
  reader->SetFileName(path.c_str());
  reader->Update();
  return reader->GetOutput();
}

}  // namespace

// Each layout of VTK's writer: appended base64 or raw, compressed or not, 32- or 64-bit headers and
// cell ids, few blocks or many; surfaces of triangles only and of every cell kind.
TEST(ParallelPolyDataReader, ReadsTheSurfaceVTKsReaderReads) {
  const struct {
    const char* name;
    bool compressed, base64, header64, ids64, mixed;
    int blockSize, pointType;
  } cases[] = {
      {"zlib base64", true, true, false, true, false, 32768, VTK_FLOAT},
      {"zlib raw, 64-bit headers, 32-bit ids", true, false, true, false, true, 32768, VTK_DOUBLE},
      {"plain base64, 64-bit headers", false, true, true, true, true, 32768, VTK_FLOAT},
      {"plain raw, 32-bit ids", false, false, false, false, false, 32768, VTK_DOUBLE},
      {"zlib base64, small blocks", true, true, true, false, true, 1000, VTK_FLOAT},
      {"zlib raw, small blocks", true, false, false, true, false, 992, VTK_DOUBLE},
  };
  const std::string dir = temporaryFolder();
  ASSERT_FALSE(dir.empty());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    vtkSmartPointer<vtkPolyData> surface = sheet(23, c.mixed, c.pointType);
    const std::string path = dir + "/surface.vtp";
    auto writer = vtkSmartPointer<vtkXMLPolyDataWriter>::New();
    writer->SetInputData(surface);
    writer->SetFileName(path.c_str());
    writer->SetDataModeToAppended();
    writer->SetEncodeAppendedData(c.base64);
    if (c.compressed)
      writer->SetCompressorTypeToZLib();
    else
      writer->SetCompressorTypeToNone();
    if (c.header64)
      writer->SetHeaderTypeToUInt64();
    else
      writer->SetHeaderTypeToUInt32();
    // The cell arrays go out as the surface keeps them; other ids as the writer is told.
    if (c.ids64) {
      writer->SetIdTypeToInt64();
    } else {
      for (vtkCellArray* cells : {surface->GetVerts(), surface->GetLines(), surface->GetStrips(), surface->GetPolys()})
        cells->ConvertTo32BitStorage();
      writer->SetIdTypeToInt32();
    }
    writer->SetBlockSize(size_t(c.blockSize));
    ASSERT_EQ(writer->Write(), 1);
    expectSameSurface(readWithVTK(path), ParallelPolyDataReader::read(path));
    ::unlink(path.c_str());
  }
  ::rmdir(dir.c_str());
}

// Forms the parallel reader leaves to VTK's reader, and damaged files, give null rather than a
// wrong surface or an allocation of what a damaged header states; VTK's reader refuses the damaged
// ones in turn.
TEST(ParallelPolyDataReader, LeavesOtherFormsAndDamageToVTKsReader) {
  const std::string dir = temporaryFolder();
  ASSERT_FALSE(dir.empty());
  const std::string path = dir + "/surface.vtp";
  using SetUp = std::function<void(vtkXMLPolyDataWriter*, vtkPolyData*)>;
  auto write = [&](const SetUp& setUp) {
    vtkSmartPointer<vtkPolyData> surface = sheet(40, true);
    auto writer = vtkSmartPointer<vtkXMLPolyDataWriter>::New();
    writer->SetInputData(surface);
    writer->SetFileName(path.c_str());
    writer->SetDataModeToAppended();
    setUp(writer, surface);
    ASSERT_EQ(writer->Write(), 1);
  };
  // Where the appended data of the array named name starts (its header).
  auto arrayStart = [](const std::string& t, const char* name) {
    const size_t data = t.find('_', t.find("<AppendedData")) + 1;
    const size_t at = t.find(std::string("Name=\"") + name + "\"");
    return data + size_t(std::atoll(t.c_str() + t.find("offset=\"", at) + 8));
  };
  const SetUp rawUncompressed32 = [](vtkXMLPolyDataWriter* w, vtkPolyData* s) {
    for (vtkCellArray* cells : {s->GetVerts(), s->GetLines(), s->GetStrips(), s->GetPolys()})
      cells->ConvertTo32BitStorage();
    w->SetCompressorTypeToNone();
    w->SetEncodeAppendedData(false);
    w->SetHeaderTypeToUInt32();
    w->SetIdTypeToInt32();
  };
  const SetUp rawCompressed32 = [](vtkXMLPolyDataWriter* w, vtkPolyData*) {
    w->SetEncodeAppendedData(false);
    w->SetHeaderTypeToUInt32();
  };
  auto setWord = [](std::string& t, size_t at, uint32_t value) { std::memcpy(&t[at], &value, 4); };
  const struct {
    const char* name;
    SetUp setUp;
    std::function<void(std::string&)> damage;  // null: the file is sound
    // VTK's reader allocates what some damaged headers state before it finds the damage; those
    // files are not given to it here.
    bool allocatesInVTK = false;
  } cases[] = {
      {"inline binary arrays", [](vtkXMLPolyDataWriter* w, vtkPolyData*) { w->SetDataModeToBinary(); }, nullptr},
      {"ascii arrays", [](vtkXMLPolyDataWriter* w, vtkPolyData*) { w->SetDataModeToAscii(); }, nullptr},
      {"two pieces", [](vtkXMLPolyDataWriter* w, vtkPolyData*) { w->SetNumberOfPieces(2); }, nullptr},
      {"lz4 blocks", [](vtkXMLPolyDataWriter* w, vtkPolyData*) { w->SetCompressorTypeToLZ4(); }, nullptr},
      {"an empty surface",
       [](vtkXMLPolyDataWriter*, vtkPolyData* s) {
         s->Initialize();
         s->SetPoints(vtkSmartPointer<vtkPoints>::New());
       },
       nullptr},
      {"field data",
       [](vtkXMLPolyDataWriter*, vtkPolyData* s) {
         auto time = vtkSmartPointer<vtkDoubleArray>::New();
         time->SetName("TimeValue");
         time->InsertNextValue(2.5);
         s->GetFieldData()->AddArray(time);
       },
       nullptr},
      {"a compressed block garbled", rawCompressed32,
       [&](std::string& t) {
         const size_t at = arrayStart(t, "pressure") + 16;
         for (size_t i = at; i < at + 40; ++i) t[i] = char(t[i] ^ 0x5a);
       }},
      {"a block stating more than zlib can inflate", rawCompressed32,
       [&](std::string& t) {
         // The block size and the last block's size of the first array: 2 GiB from a few bytes.
         const size_t at = arrayStart(t, "pressure");
         setWord(t, at + 4, 0x7fffffffu);
         setWord(t, at + 8, 0x7fffffffu);
       },
       true},
      {"more blocks than the file holds", rawCompressed32,
       [&](std::string& t) { setWord(t, arrayStart(t, "pressure"), 0x40000000u); }, true},
      {"an array longer than the file", rawUncompressed32,
       [&](std::string& t) { setWord(t, arrayStart(t, "pressure"), 0xfffffff0u); }, true},
      {"a count beyond anything the file holds", [](vtkXMLPolyDataWriter*, vtkPolyData*) {},
       [](std::string& t) {
         const size_t at = t.find("NumberOfPolys=\"") + 15;
         t.replace(at, t.find('"', at) - at, "9223372036854775807");
       },
       true},
      {"base64 text broken", [](vtkXMLPolyDataWriter*, vtkPolyData*) {},
       [](std::string& t) { t[t.find('_', t.find("<AppendedData")) + 3000] = '*'; }},
      {"the end cut off", [](vtkXMLPolyDataWriter*, vtkPolyData*) {},
       [](std::string& t) { t.resize(t.size() - t.size() / 3); }},
      {"a cell's offsets running backwards", rawUncompressed32,
       [&](std::string& t) {
         // The polygons' offsets are the last "offsets" array; make the second end before the
         // first.
         const size_t data = t.find('_', t.find("<AppendedData")) + 1;
         const size_t at = t.rfind("Name=\"offsets\"");
         const size_t offset = size_t(std::atoll(t.c_str() + t.find("offset=\"", at) + 8));
         setWord(t, data + offset + 4 + 4, 0);
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    write(c.setUp);
    if (c.damage) rewriteFile(path, c.damage);
    EXPECT_EQ(ParallelPolyDataReader::read(path), nullptr);
    if (!c.damage || c.allocatesInVTK) continue;
    int errors = 0;
    readWithVTK(path, &errors);
    EXPECT_GT(errors, 0) << "VTK's reader takes the damaged file";
  }
  EXPECT_EQ(ParallelPolyDataReader::read(dir + "/no-such-file.vtp"), nullptr);
  ::unlink(path.c_str());
  ::rmdir(dir.c_str());
}

// The sample scene's surfaces (surfaces, streamlines) come out of the parallel reader as VTK's
// reader gives them.
TEST(ParallelPolyDataReader, ReadsTheSampleSurfacesAsVTKsReader) {
  const std::string dir = binDir() + "/sample_vr_data";
  DIR* folder = ::opendir(dir.c_str());
  ASSERT_NE(folder, nullptr) << dir;
  int files = 0;
  while (dirent* entry = ::readdir(folder)) {
    const std::string name = entry->d_name;
    if (name.size() < 4 || name.compare(name.size() - 4, 4, ".vtp") != 0) continue;
    SCOPED_TRACE(name);
    const std::string path = dir + "/" + name;
    vtkSmartPointer<vtkPolyData> fast = ParallelPolyDataReader::read(path);
    ASSERT_NE(fast, nullptr) << "left to VTK's reader";
    expectSameSurface(readWithVTK(path), fast);
    ++files;
  }
  ::closedir(folder);
  EXPECT_GT(files, 0);
}
