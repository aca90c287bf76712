// Damaged and hostile data files, as a broken exporter or an attacker writes them, loaded by
// `sce-info` as a user runs it: each gives the usual "cannot be loaded" error with its reason,
// and the inspector neither crashes nor takes more address space than a limit set on it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vtkCellArray.h>
#include <vtkFloatArray.h>
#include <vtkIdTypeArray.h>
#include <vtkImageData.h>
#include <vtkPointData.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkSmartPointer.h>
#include <vtkUnsignedCharArray.h>
#include <vtkUnstructuredGrid.h>
#include <vtkXMLImageDataWriter.h>
#include <vtkXMLPolyDataWriter.h>
#include <vtkXMLUnstructuredGridWriter.h>
#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "DataFileCheck.h"
#include "ParallelPolyDataReader.h"
#include "Properties.h"
#include "SceneCorpus.h"
#include "SceneDataLoader.h"

namespace {

// The address space sce-info may take: its libraries and threads (about 0.4 GiB) with room to
// read the small sound files of these tests, below what any of the damaged files would make a
// reader take (the decompression bombs alone ask for 1.5 and 2 GiB).
constexpr rlim_t AddressSpaceLimit = rlim_t(3) << 29;

// Runs sce-info on the scene under the address-space limit; the exit code, or 128 + the signal
// that ended it.
int runLimited(const std::string& scene, std::string& output) {
  // Everything the child needs is made before the fork: it only calls what is safe there.
  const std::string log = scene + ".out";
  const std::string program = binDir() + "/sce-info";
  // Each thread's malloc arena reserves 64 MiB of address space: a few whatever the cores.
  std::vector<std::string> environment{"MALLOC_ARENA_MAX=2"};
  for (char** e = environ; *e; ++e)
    if (std::strncmp(*e, "MALLOC_ARENA_MAX=", 17) != 0) environment.push_back(*e);
  std::vector<char*> envp;
  for (std::string& e : environment) envp.push_back(&e[0]);
  envp.push_back(nullptr);
  char* argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>(scene.c_str()), nullptr};
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int fd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0) ::_exit(126);
    ::dup2(fd, 1);
    ::dup2(fd, 2);
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    // Sanitizers reserve terabytes of shadow memory: no limit under them.
    const rlimit limit{AddressSpaceLimit, AddressSpaceLimit};
    ::setrlimit(RLIMIT_AS, &limit);
#endif
    ::execve(program.c_str(), argv, envp.data());
    ::_exit(127);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  std::ifstream in(log, std::ios::binary);
  output.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::string readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

const char Digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string base64Decode(const std::string& text) {
  std::string out;
  for (size_t i = 0; i + 3 < text.size(); i += 4) {
    int v[4];
    for (int k = 0; k < 4; ++k)
      v[k] = text[i + size_t(k)] == '=' ? 0 : int(std::strchr(Digits, text[i + size_t(k)]) - Digits);
    out += char((v[0] << 2) | (v[1] >> 4));
    out += char(((v[1] & 15) << 4) | (v[2] >> 2));
    out += char(((v[2] & 3) << 6) | v[3]);
  }
  return out;
}

std::string base64Encode(const std::string& bytes) {  // whole groups of 3 only
  std::string out;
  for (size_t i = 0; i + 2 < bytes.size(); i += 3) {
    const auto b = [&](size_t k) { return static_cast<unsigned char>(bytes[i + k]); };
    out += Digits[b(0) >> 2];
    out += Digits[((b(0) & 3) << 4) | (b(1) >> 4)];
    out += Digits[((b(1) & 15) << 2) | (b(2) >> 6)];
    out += Digits[b(2) & 63];
  }
  return out;
}

size_t appendedStart(const std::string& t) { return t.find('_', t.find("<AppendedData")) + 1; }

// Where the offset="..." value of the array named name sits in the text.
size_t offsetField(const std::string& t, const std::string& name) {
  const size_t at = t.find("Name=\"" + name + "\"");
  EXPECT_NE(at, std::string::npos) << name;
  const size_t open = t.rfind('<', at);
  return t.find("offset=\"", open) + 8;
}

// Sets word index of the block header of the named array, in VTK's default layout: appended,
// base64, zlib-compressed.
void setHeaderWord(std::string& t, const std::string& name, int index, uint64_t value) {
  const size_t words = t.find("header_type=\"UInt64\"") != std::string::npos ? 8 : 4;
  const size_t at = appendedStart(t) + size_t(std::atoll(t.c_str() + offsetField(t, name)));
  const size_t chars = 3 * words / 3 * 4;  // the first three words are whole base64 groups
  std::string header = base64Decode(t.substr(at, chars));
  std::memcpy(&header[size_t(index) * words], &value, words);
  t.replace(at, chars, base64Encode(header));
}

void setAttribute(std::string& t, const std::string& attribute, const std::string& value) {
  const size_t at = t.find(attribute + "=\"");
  ASSERT_NE(at, std::string::npos) << attribute;
  const size_t from = at + attribute.size() + 2;
  t.replace(from, t.find('"', from) - from, value);
}

// A small grid of hexahedra with a point scalar, in VTK's default layout.
vtkSmartPointer<vtkUnstructuredGrid> hexahedra(int n) {
  auto grid = vtkSmartPointer<vtkUnstructuredGrid>::New();
  auto points = vtkSmartPointer<vtkPoints>::New();
  for (int k = 0; k <= n; ++k)
    for (int j = 0; j <= n; ++j)
      for (int i = 0; i <= n; ++i) points->InsertNextPoint(i, j + 0.1 * i, k);
  grid->SetPoints(points);
  auto at = [n](int i, int j, int k) { return vtkIdType((k * (n + 1) + j) * (n + 1) + i); };
  for (int k = 0; k < n; ++k)
    for (int j = 0; j < n; ++j)
      for (int i = 0; i < n; ++i) {
        const vtkIdType c[8] = {at(i, j, k),     at(i + 1, j, k),     at(i + 1, j + 1, k),     at(i, j + 1, k),
                                at(i, j, k + 1), at(i + 1, j, k + 1), at(i + 1, j + 1, k + 1), at(i, j + 1, k + 1)};
        grid->InsertNextCell(VTK_HEXAHEDRON, 8, c);
      }
  auto pressure = vtkSmartPointer<vtkFloatArray>::New();
  pressure->SetName("pressure");
  for (vtkIdType p = 0; p < grid->GetNumberOfPoints(); ++p) pressure->InsertNextValue(float(p));
  grid->GetPointData()->SetScalars(pressure);
  return grid;
}

template <class Writer>
void writeDefault(vtkDataObject* data, const std::string& path) {
  auto writer = vtkSmartPointer<Writer>::New();
  writer->SetInputData(data);
  writer->SetFileName(path.c_str());
  ASSERT_EQ(writer->Write(), 1);
}

// The hexahedra in VTK's default layout, their text then damaged.
void writeDamaged(const std::string& path, const std::function<void(std::string& text)>& damage) {
  writeDefault<vtkXMLUnstructuredGridWriter>(hexahedra(3), path);
  std::string t = readAll(path);
  damage(t);
  std::ofstream(path, std::ios::binary) << t;
}

// The hexahedra with the offset of every appended array set to the text given.
void writeWithEveryOffset(const std::string& path, const std::string& offset) {
  writeDamaged(path, [&](std::string& t) {
    for (size_t at = t.find("offset=\""); at != std::string::npos; at = t.find("offset=\"", at + 1))
      t.replace(at + 8, t.find('"', at + 8) - at - 8, offset);
  });
}

// The hexahedra with their cell arrays replaced: the writer puts them out as they stand.
void writeCells(const std::string& path,
                const std::function<void(vtkIdTypeArray* offsets, vtkUnsignedCharArray* types)>& damage) {
  vtkSmartPointer<vtkUnstructuredGrid> grid = hexahedra(3);
  auto offsets = vtkSmartPointer<vtkIdTypeArray>::New();
  offsets->DeepCopy(grid->GetCells()->GetOffsetsArray());
  auto connectivity = vtkSmartPointer<vtkIdTypeArray>::New();
  connectivity->DeepCopy(grid->GetCells()->GetConnectivityArray());
  auto types = vtkSmartPointer<vtkUnsignedCharArray>::New();
  types->DeepCopy(grid->GetCellTypesArray());
  damage(offsets, types);
  auto cells = vtkSmartPointer<vtkCellArray>::New();
  cells->SetData(offsets, connectivity);
  // No face arrays: the types stand as given (else a polyhedron's points are taken for faces).
  grid->SetCells(types, cells, nullptr, nullptr);
  writeDefault<vtkXMLUnstructuredGridWriter>(grid, path);
}

// Three unit cubes in a row: polyhedra of six faces at both ends, a hexahedron between them.
// VTK's writer gives faces of 31 and 62 ids (a face count, then each face's point count and
// points) and face offsets 31, -1, 62.
vtkSmartPointer<vtkUnstructuredGrid> polyhedra() {
  auto grid = vtkSmartPointer<vtkUnstructuredGrid>::New();
  auto points = vtkSmartPointer<vtkPoints>::New();
  for (int k = 0; k <= 1; ++k)
    for (int j = 0; j <= 1; ++j)
      for (int i = 0; i <= 3; ++i) points->InsertNextPoint(i, j + 0.1 * i, k);
  grid->SetPoints(points);
  auto at = [](int i, int j, int k) { return vtkIdType((k * 2 + j) * 4 + i); };
  for (int i = 0; i < 3; ++i) {
    const vtkIdType c[8] = {at(i, 0, 0), at(i + 1, 0, 0), at(i + 1, 1, 0), at(i, 1, 0),
                            at(i, 0, 1), at(i + 1, 0, 1), at(i + 1, 1, 1), at(i, 1, 1)};
    if (i == 1) {
      grid->InsertNextCell(VTK_HEXAHEDRON, 8, c);
      continue;
    }
    const vtkIdType faces[] = {4, c[0], c[3], c[2], c[1], 4, c[4], c[5], c[6], c[7], 4, c[0], c[1], c[5], c[4],
                               4, c[1], c[2], c[6], c[5], 4, c[2], c[3], c[7], c[6], 4, c[3], c[0], c[4], c[7]};
    grid->InsertNextCell(VTK_POLYHEDRON, 8, c, 6, faces);
  }
  return grid;
}

// The polyhedra appended raw and uncompressed, their face ids and face offsets then damaged in
// the file's text.
void writePolyhedra(const std::string& path, const std::function<void(int64_t* faces, int64_t* offsets)>& damage) {
  auto writer = vtkSmartPointer<vtkXMLUnstructuredGridWriter>::New();
  writer->SetInputData(polyhedra());
  writer->SetFileName(path.c_str());
  writer->SetEncodeAppendedData(false);
  writer->SetCompressorTypeToNone();
  writer->SetHeaderTypeToUInt64();
  writer->SetIdTypeToInt64();
  ASSERT_EQ(writer->Write(), 1);
  std::string t = readAll(path);
  auto values = [&t](const char* name) {
    const size_t field = t.find("offset=\"", t.find(std::string("Name=\"") + name + "\"", t.find("<Cells>")));
    return appendedStart(t) + size_t(std::atoll(t.c_str() + field + 8)) + 8;
  };
  int64_t faces[62], offsets[3];
  std::memcpy(faces, &t[values("faces")], sizeof faces);
  std::memcpy(offsets, &t[values("faceoffsets")], sizeof offsets);
  ASSERT_EQ(offsets[0], 31);
  ASSERT_EQ(offsets[2], 62);
  damage(faces, offsets);
  std::memcpy(&t[values("faces")], faces, sizeof faces);
  std::memcpy(&t[values("faceoffsets")], offsets, sizeof offsets);
  std::ofstream(path, std::ios::binary) << t;
}

// zlib blocks as VTK's writer frames them: a header of 64-bit words (blocks, block size, last
// block size, each block's compressed size), then the blocks.
std::string compressedArray(const std::string& bytes) {
  uLongf size = compressBound(uLong(bytes.size()));
  std::string block(size, '\0');
  compress(reinterpret_cast<Bytef*>(&block[0]), &size, reinterpret_cast<const Bytef*>(bytes.data()),
           uLong(bytes.size()));
  block.resize(size);
  const uint64_t header[4] = {1, bytes.size(), bytes.size(), size};
  return std::string(reinterpret_cast<const char*>(header), sizeof header) + block;
}

// An array of zeros of the given size in 32 KiB blocks, each compressed to a few dozen bytes.
std::string zeroArray(uint64_t bytes) {
  const uint64_t blockSize = 32768, blocks = bytes / blockSize;
  const std::string zeros(blockSize, '\0');
  uLongf size = compressBound(uLong(blockSize));
  std::string block(size, '\0');
  compress(reinterpret_cast<Bytef*>(&block[0]), &size, reinterpret_cast<const Bytef*>(zeros.data()), uLong(blockSize));
  block.resize(size);
  std::vector<uint64_t> header{blocks, blockSize, blockSize};
  header.resize(3 + blocks, size);
  std::string out(reinterpret_cast<const char*>(header.data()), header.size() * 8);
  out.reserve(out.size() + blocks * size);
  for (uint64_t b = 0; b < blocks; ++b) out += block;
  return out;
}

// A hand-written file of the given type: the piece's attributes and its elements, whose
// DataArrays name "@k" for the offset of the k-th of the appended arrays.
void writeAppended(const std::string& path, const std::string& type, const std::string& dataAttributes,
                   const std::string& piece, std::string elements, const std::vector<std::string>& arrays) {
  std::string data;
  for (size_t k = 0; k < arrays.size(); ++k) {
    const std::string mark = "@" + std::to_string(k);
    elements.replace(elements.find(mark), mark.size(), std::to_string(data.size()));
    data += arrays[k];
  }
  std::ofstream out(path, std::ios::binary);
  out << "<?xml version=\"1.0\"?>\n<VTKFile type=\"" << type
      << "\" version=\"1.0\" byte_order=\"LittleEndian\" header_type=\"UInt64\" compressor=\"vtkZLibDataCompressor\">\n"
      << "<" << type << dataAttributes << ">\n<Piece " << piece << ">\n"
      << elements << "</Piece>\n</" << type << ">\n<AppendedData encoding=\"raw\">\n_" << data
      << "\n</AppendedData>\n</VTKFile>\n";
}

std::string values(std::initializer_list<double> v, bool asFloat) {
  std::string out;
  for (double d : v) {
    if (asFloat) {
      const float f = float(d);
      out.append(reinterpret_cast<const char*>(&f), 4);
    } else {
      const int64_t i = int64_t(d);
      out.append(reinterpret_cast<const char*>(&i), 8);
    }
  }
  return out;
}

// One tetrahedron's cells, the point array at @0.
const char TetraCells[] =
    "<Cells>\n<DataArray type=\"Int64\" Name=\"connectivity\" format=\"appended\" offset=\"@1\"/>\n"
    "<DataArray type=\"Int64\" Name=\"offsets\" format=\"appended\" offset=\"@2\"/>\n"
    "<DataArray type=\"UInt8\" Name=\"types\" format=\"appended\" offset=\"@3\"/>\n</Cells>\n";

std::vector<std::string> tetraArrays(const std::string& points) {
  const char type = VTK_TETRA;
  return {points, compressedArray(values({0, 1, 2, 3}, false)), compressedArray(values({4}, false)),
          compressedArray(std::string(1, type))};
}

std::string pointsElement(const std::string& offset) {
  return "<Points>\n<DataArray type=\"Float32\" Name=\"Points\" NumberOfComponents=\"3\" format=\"appended\" "
         "offset=\"" +
         offset + "\"/>\n</Points>\n";
}

// A quad and a triangle (VTK's writer cannot write a polygon of 2 points), appended raw and
// uncompressed, the triangle's end moved back by one. With shortConnectivity the connectivity
// ends there too, so that the offsets end at its length: the form the parallel reader takes.
// Without, only VTK's reader takes the file.
void writeTwoPointPolygon(const std::string& p, bool shortConnectivity) {
  auto poly = vtkSmartPointer<vtkPolyData>::New();
  poly->SetPoints(hexahedra(1)->GetPoints());
  auto polys = vtkSmartPointer<vtkCellArray>::New();
  const vtkIdType quad[4] = {0, 1, 3, 2}, triangle[3] = {4, 5, 6};
  polys->InsertNextCell(4, quad);
  polys->InsertNextCell(3, triangle);
  poly->SetPolys(polys);
  auto writer = vtkSmartPointer<vtkXMLPolyDataWriter>::New();
  writer->SetInputData(poly);
  writer->SetFileName(p.c_str());
  writer->SetEncodeAppendedData(false);
  writer->SetCompressorTypeToNone();
  writer->SetHeaderTypeToUInt32();
  writer->SetIdTypeToInt64();
  ASSERT_EQ(writer->Write(), 1);
  std::string t = readAll(p);
  auto arrayStart = [&t](const char* name) {
    const size_t field = t.find("offset=\"", t.find(std::string("Name=\"") + name + "\"", t.find("<Polys>")));
    return appendedStart(t) + size_t(std::atoll(t.c_str() + field + 8));
  };
  const int64_t end = 6;
  std::memcpy(&t[arrayStart("offsets") + 4 + 8], &end, 8);
  if (shortConnectivity) {
    const uint32_t bytes = 6 * 8;
    std::memcpy(&t[arrayStart("connectivity")], &bytes, 4);
  }
  std::ofstream(p, std::ios::binary) << t;
  if (shortConnectivity) EXPECT_TRUE(ParallelPolyDataReader::read(p));
}

const uint64_t GiB = uint64_t(1) << 30;

}  // namespace

TEST(DamagedDataFiles, GiveTheReasonInSceInfoWithinBoundedMemory) {
  char folder[] = "/tmp/quonix-damaged-XXXXXX";
  ASSERT_NE(::mkdtemp(folder), nullptr);
  const std::string dir = folder;
  const std::string tetraPoints = compressedArray(values({0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1}, true));
  const struct {
    const char* name;
    const char* file;
    std::function<void(const std::string& path)> write;
    const char* reason;
  } cases[] = {
      {"a block size of 0", "grid.vtu",
       [](const std::string& p) { writeDamaged(p, [](std::string& t) { setHeaderWord(t, "Points", 1, 0); }); },
       "its array 'Points' states a block size of 0"},
      {"a block count of 0", "grid.vtu",
       [](const std::string& p) { writeDamaged(p, [](std::string& t) { setHeaderWord(t, "Points", 0, 0); }); },
       "its array 'Points' holds 0 bytes where its count needs 768"},
      {"a block count of 2^32-1", "grid.vtu",
       [](const std::string& p) {
         writeDamaged(p, [](std::string& t) { setHeaderWord(t, "connectivity", 0, 0xffffffffu); });
       },
       "its array 'connectivity' states 4294967295 blocks, more than the file holds"},
      {"an array offset of 2^62", "grid.vtu",
       [](const std::string& p) {
         writeDamaged(p, [](std::string& t) {
           const size_t at = offsetField(t, "offsets");
           t.replace(at, t.find('"', at) - at, "4611686018427387904");
         });
       },
       "its array 'offsets' starts at offset 4611686018427387904, beyond the end of the file"},
      {"every array offset 2^62", "grid.vtu",
       [](const std::string& p) { writeWithEveryOffset(p, "4611686018427387904"); },
       "its array 'pressure' starts at offset 4611686018427387904, beyond the end of the file"},
      {"every array offset 0", "grid.vtu", [](const std::string& p) { writeWithEveryOffset(p, "0"); },
       "its array 'Points' holds 256 bytes where its count needs 768"},
      {"cell offsets of 2^62", "grid.vtu",
       [](const std::string& p) {
         writeCells(p, [](vtkIdTypeArray* o, vtkUnsignedCharArray*) {
           for (vtkIdType c = 5; c < o->GetNumberOfValues(); ++c) o->SetValue(c, vtkIdType(1) << 62);
         });
       },
       "its Cells' last offset 4611686018427387904 lies beyond its connectivity of 216 ids"},
      {"a last cell offset of 2^40", "grid.vtu",
       [](const std::string& p) {
         writeCells(p, [](vtkIdTypeArray* o, vtkUnsignedCharArray*) { o->SetValue(27, vtkIdType(1) << 40); });
       },
       "its Cells' last offset 1099511627776 lies beyond its connectivity of 216 ids"},
      {"all cell offsets 0", "grid.vtu",
       [](const std::string& p) { writeCells(p, [](vtkIdTypeArray* o, vtkUnsignedCharArray*) { o->Fill(0); }); },
       "cell 0 of type 12 has 0 points, not 8"},
      {"cell type 42 without a face stream", "grid.vtu",
       [](const std::string& p) {
         writeCells(p, [](vtkIdTypeArray*, vtkUnsignedCharArray* t) { t->SetValue(3, 42); });
       },
       "cell 3 is a polyhedron without its faces"},
      {"an unknown cell type", "grid.vtu",
       [](const std::string& p) {
         writeCells(p, [](vtkIdTypeArray*, vtkUnsignedCharArray* t) { t->SetValue(7, 200); });
       },
       "cell 7 has the unknown type 200"},
      {"a hexahedron of 5 points", "grid.vtu",
       [](const std::string& p) {
         writeCells(p, [](vtkIdTypeArray* o, vtkUnsignedCharArray*) {
           o->SetValue(1, 5);  // cell 0 ends early, cell 1 takes its last points
         });
       },
       "cell 0 of type 12 has 5 points, not 8"},
      {"2^40 points", "grid.vtu",
       [](const std::string& p) {
         writeDamaged(p, [](std::string& t) { setAttribute(t, "NumberOfPoints", "1099511627776"); });
       },
       "it states 1099511627776 points, more than the 357913941 a file may hold"},
      {"2^40 cells", "grid.vtu",
       [](const std::string& p) {
         writeDamaged(p, [](std::string& t) { setAttribute(t, "NumberOfCells", "1099511627776"); });
       },
       "it states 1099511627776 cells, more than the 1073741824 a file may hold"},
      {"a 2 GiB array in a small file", "grid.vtu",
       [&](const std::string& p) {
         writeAppended(p, "UnstructuredGrid", "", "NumberOfPoints=\"4\" NumberOfCells=\"1\"",
                       "<PointData Scalars=\"bomb\">\n<DataArray type=\"Float32\" Name=\"bomb\" format=\"appended\" "
                       "offset=\"@4\"/>\n</PointData>\n" +
                           pointsElement("@0") + TetraCells,
                       [&] {
                         auto a = tetraArrays(tetraPoints);
                         a.push_back(zeroArray(2 * GiB));
                         return a;
                       }());
       },
       "its array 'bomb' would decompress to 2147483648 bytes, more than the limit of 1073741824"},
      {"2^27 points in a few megabytes", "grid.vtu",
       [](const std::string& p) {
         writeAppended(p, "UnstructuredGrid", "", "NumberOfPoints=\"134217728\" NumberOfCells=\"1\"",
                       pointsElement("@0") + TetraCells, tetraArrays(zeroArray(uint64_t(12) << 27)));
       },
       "its array 'Points' would hold 1610612736 bytes, more than the limit of 1073741824"},
      {"poly data of 2^27 points in a few megabytes", "surface.vtp",
       [](const std::string& p) {
         writeAppended(p, "PolyData", "", "NumberOfPoints=\"134217728\" NumberOfPolys=\"0\"", pointsElement("@0"),
                       {zeroArray(uint64_t(12) << 27)});
       },
       "its array 'Points' would hold 1610612736 bytes, more than the limit of 1073741824"},
      {"poly data with a block size of 0", "surface.vtp",
       [](const std::string& p) {
         auto poly = vtkSmartPointer<vtkPolyData>::New();
         vtkSmartPointer<vtkUnstructuredGrid> grid = hexahedra(2);
         poly->SetPoints(grid->GetPoints());
         auto polys = vtkSmartPointer<vtkCellArray>::New();
         const vtkIdType quad[4] = {0, 1, 4, 3};
         polys->InsertNextCell(4, quad);
         poly->SetPolys(polys);
         writeDefault<vtkXMLPolyDataWriter>(poly, p);
         std::string t = readAll(p);
         setHeaderWord(t, "Points", 1, 0);
         std::ofstream(p, std::ios::binary) << t;
       },
       "its array 'Points' states a block size of 0"},
      {"poly data with a last polygon offset of 2^40", "surface.vtp",
       [](const std::string& p) {
         auto poly = vtkSmartPointer<vtkPolyData>::New();
         poly->SetPoints(hexahedra(1)->GetPoints());
         auto offsets = vtkSmartPointer<vtkIdTypeArray>::New();
         auto connectivity = vtkSmartPointer<vtkIdTypeArray>::New();
         for (vtkIdType v : {0, 4, 8}) offsets->InsertNextValue(v);
         for (vtkIdType v : {0, 1, 3, 2, 4, 5, 7, 6}) connectivity->InsertNextValue(v);
         offsets->SetValue(2, vtkIdType(1) << 40);
         auto polys = vtkSmartPointer<vtkCellArray>::New();
         polys->SetData(offsets, connectivity);
         poly->SetPolys(polys);
         writeDefault<vtkXMLPolyDataWriter>(poly, p);
       },
       "its Polys' last offset 1099511627776 lies beyond its connectivity of 8 ids"},
      {"poly data with a polygon of 2 points", "surface.vtp",
       [](const std::string& p) { writeTwoPointPolygon(p, false); }, "its polys' cell 1 has 2 points, fewer than 3"},
      {"poly data with a polygon of 2 points, in the parallel reader's form", "surface.vtp",
       [](const std::string& p) { writeTwoPointPolygon(p, true); }, "its polys' cell 1 has 2 points, fewer than 3"},
      // Polyhedra: VTK's reader sizes the faces by the last face offset and walks them by the
      // counts they hold before it compares anything.
      {"a last face offset of 2^40", "grid.vtu",
       [](const std::string& p) { writePolyhedra(p, [](int64_t*, int64_t* o) { o[2] = int64_t(1) << 40; }); },
       "its face offsets' last offset 1099511627776 lies beyond its faces of 62 ids"},
      {"a polyhedron of 1000 faces", "grid.vtu",
       [](const std::string& p) { writePolyhedra(p, [](int64_t* f, int64_t*) { f[0] = 1000; }); },
       "cell 0 is a polyhedron whose faces run beyond the face list"},
      {"a face of 1000 points", "grid.vtu",
       [](const std::string& p) { writePolyhedra(p, [](int64_t* f, int64_t*) { f[1] = 1000; }); },
       "cell 0 is a polyhedron whose faces run beyond the face list"},
      {"a face of -5 points", "grid.vtu",
       [](const std::string& p) { writePolyhedra(p, [](int64_t* f, int64_t*) { f[1] = -5; }); },
       "cell 0 is a polyhedron whose face 0 has -5 points, fewer than 3"},
      {"a face naming point 2^40", "grid.vtu",
       [](const std::string& p) { writePolyhedra(p, [](int64_t* f, int64_t*) { f[2] = int64_t(1) << 40; }); },
       "cell 0 is a polyhedron whose faces name points that do not exist"},
      {"face offsets that fall", "grid.vtu",
       [](const std::string& p) {
         writePolyhedra(p, [](int64_t*, int64_t* o) {
           o[0] = 40;
           o[2] = 31;
         });
       },
       "cell 2's face offset 31 lies before the previous one, 40"},
      {"a face offset on a hexahedron", "grid.vtu",
       [](const std::string& p) { writePolyhedra(p, [](int64_t*, int64_t* o) { o[1] = 40; }); },
       "cell 1 of type 12 has the face offset 40, not -1"},
      {"a face offset short of its faces' end", "grid.vtu",
       [](const std::string& p) { writePolyhedra(p, [](int64_t*, int64_t* o) { o[0] = 30; }); },
       "cell 0 is a polyhedron whose faces end at 31, not at its face offset 30"},
      {"a face offset of -7", "grid.vtu",
       [](const std::string& p) { writePolyhedra(p, [](int64_t*, int64_t* o) { o[1] = -7; }); },
       "cell 1 has the face offset -7"},
      {"a polyhedron with the face offset -1", "grid.vtu",
       [](const std::string& p) { writePolyhedra(p, [](int64_t*, int64_t* o) { o[0] = -1; }); },
       "cell 0 is a polyhedron without its faces"},
      {"image data decompressing to 2 GiB", "volume.vti",
       [](const std::string& p) {
         writeAppended(p, "ImageData", " WholeExtent=\"0 1023 0 1023 0 255\" Origin=\"0 0 0\" Spacing=\"1 1 1\"",
                       "Extent=\"0 1023 0 1023 0 255\"",
                       "<PointData Scalars=\"s\">\n<DataArray type=\"Float64\" Name=\"s\" format=\"appended\" "
                       "offset=\"@0\"/>\n</PointData>\n",
                       {zeroArray(2 * GiB)});
       },
       "its array 's' would hold 2147483648 bytes, more than the limit of 1073741824"},
      {"image data with 2^40 points", "volume.vti",
       [](const std::string& p) {
         auto image = vtkSmartPointer<vtkImageData>::New();
         image->SetDimensions(4, 4, 4);
         image->AllocateScalars(VTK_FLOAT, 1);
         writeDefault<vtkXMLImageDataWriter>(image, p);
         std::string t = readAll(p);
         for (const char* attribute : {"WholeExtent", "Extent"}) {
           const size_t at = t.find(std::string(" ") + attribute + "=\"");
           const size_t from = at + std::strlen(attribute) + 3;
           t.replace(from, t.find('"', from) - from, "0 1048575 0 1048575 0 0");
         }
         std::ofstream(p, std::ios::binary) << t;
       },
       "it states 1099511627776 points, more than the 357913941 a file may hold"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string file = dir + "/" + c.file;
    c.write(file);
    const bool volume = std::strstr(c.file, ".vti") != nullptr;
    std::ofstream(dir + "/scene.sce") << "format = quonix-scene\nversion = 1\nframeSets {\n  s { title = \"S\", frames "
                                         "{ f { drawables {\n    d { type = "
                                      << (volume ? "Volume" : "Surface") << ", name = \"D\", data = \"" << c.file
                                      << "\" }\n  } } } }\n}\n";
    std::string out;
    EXPECT_EQ(runLimited(dir + "/scene.sce", out), 1) << out;
    EXPECT_NE(out.find("cannot be loaded: Frame set 'S', frame 0: "), std::string::npos) << out;
    EXPECT_NE(out.find(std::string("the data file '") + c.file + "' cannot be read: " + c.reason), std::string::npos)
        << out;
    ::unlink(file.c_str());
  }
  // Sound polyhedra in that layout load.
  writePolyhedra(dir + "/grid.vtu", [](int64_t*, int64_t*) {});
  std::ofstream(dir + "/scene.sce")
      << "format = quonix-scene\nversion = 1\nframeSets {\n  s { title = \"S\", frames { f { drawables {\n    d { type "
         "= Surface, name = \"D\", data = \"grid.vtu\" }\n  } } } }\n}\n";
  {
    std::string out;
    EXPECT_EQ(runLimited(dir + "/scene.sce", out), 0) << out;
    EXPECT_NE(out.find("grid.vtu: 16 points, 14 cells"), std::string::npos) << out;
  }
  // The same scene with a sound file loads within the limit: the limit leaves room for reading.
  writeDefault<vtkXMLUnstructuredGridWriter>(hexahedra(20), dir + "/grid.vtu");
  std::ofstream(dir + "/scene.sce")
      << "format = quonix-scene\nversion = 1\nframeSets {\n  s { title = \"S\", frames { f { drawables {\n    d { type "
         "= Surface, name = \"D\", data = \"grid.vtu\" }\n  } } } }\n}\n";
  std::string out;
  EXPECT_EQ(runLimited(dir + "/scene.sce", out), 0) << out;
  std::system(("rm -rf '" + dir + "'").c_str());
}

// Sound files of every layout VTK's writers give (the fuzzers' seeds: appended raw or base64,
// compressed with zlib or LZ4 or not, inline binary, ASCII; grids, surfaces and images; grids of
// polyhedra in four of those layouts) pass the checks and load.
TEST(DamagedDataFiles, SoundFilesOfEveryLayoutPassTheChecks) {
  const char* source = std::getenv("QUONIX_SOURCE_DIR");
  ASSERT_NE(source, nullptr);
  char folder[] = "/tmp/quonix-layouts-XXXXXX";
  ASSERT_NE(::mkdtemp(folder), nullptr);
  const std::string dir = folder;
  int files = 0;
  for (const char* kind : {"vtu", "vtp", "vti"}) {
    std::vector<std::string> layouts{"default", "zlib_raw_h64", "plain_base64", "plain_raw", "ascii", "binary", "lz4"};
    if (std::string(kind) == "vtu")
      for (const char* polyhedra : {"poly_default", "poly_ascii", "poly_raw", "poly_binary_lz4"})
        layouts.push_back(polyhedra);
    for (const std::string& layout : layouts) {
      SCOPED_TRACE(std::string(kind) + " " + layout);
      const std::string seed = std::string(source) + "/tests/fuzz/corpus/data_" + kind + "/" + layout;
      const std::string path = dir + "/data." + kind;
      std::ofstream(path, std::ios::binary) << readAll(seed);
      std::string why;
      EXPECT_TRUE(DataFileCheck::checkFile(path, why)) << why;
      Properties drawable;
      drawable.set("data", std::string("data.") + kind);
      SceneDataLoader loader(dir);
      std::string error;
      EXPECT_TRUE(loader.load(
          drawable, "data", std::string(kind) == "vti" ? SceneDataLoader::ImageData : SceneDataLoader::AnyData, error))
          << error;
      ++files;
    }
  }
  EXPECT_EQ(files, 25);
  std::system(("rm -rf '" + dir + "'").c_str());
}
