#include "AppendedDataReader.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>

#include <vtkCellArray.h>
#include <vtkCellData.h>
#include <vtkDataArray.h>
#include <vtkDataSetAttributes.h>
#include <vtkPointData.h>
#include <vtkPointSet.h>
#include <vtkPoints.h>
#include <vtkSMPThreadLocal.h>
#include <vtkSMPTools.h>
#include <vtkXMLDataElement.h>
#include <vtkXMLUtilities.h>

#include "HugePages.h"

MappedFile::MappedFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return;
  struct stat st;
  if (::fstat(fd, &st) == 0 && st.st_size > 0) {
    // Mapping every page up front costs less than a fault for each on first read.
    void* p = ::mmap(nullptr, size_t(st.st_size), PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
    if (p != MAP_FAILED) {
      _data = static_cast<const char*>(p);
      _size = size_t(st.st_size);
    }
  }
  ::close(fd);
}

MappedFile::~MappedFile() {
  if (_data) ::munmap(const_cast<char*>(_data), _size);
}

namespace {

using Stream = AppendedDataReader::Stream;
using Job = AppendedDataReader::Job;

// Base64 digit values, -1 for characters that are none.
struct Base64Table {
  signed char value[256];
  Base64Table() {
    std::memset(value, -1, sizeof(value));
    const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (int i = 0; i < 64; ++i) value[static_cast<unsigned char>(digits[i])] = static_cast<signed char>(i);
  }
};
const Base64Table base64;

inline int base64Value(char c) { return base64.value[static_cast<unsigned char>(c)]; }

// Bytes [from, to) of the stream's decoded content, into out (to - from bytes). False when the
// stream ends early or is no base64.
bool decodeRange(const Stream& s, uint64_t from, uint64_t to, uint8_t* out, std::vector<uint8_t>& scratch) {
  if (to < from) return false;
  if (!s.base64) {
    if (to > s.available) return false;
    std::memcpy(out, s.begin + from, size_t(to - from));
    return true;
  }
  if (to == from) return true;
  const uint64_t firstQuad = from / 3, endQuad = (to + 2) / 3;
  if (endQuad > s.available / 4) return false;
  scratch.resize(size_t(endQuad - firstQuad) * 3);
  uint8_t* w = scratch.data();
  const char* c = s.begin + firstQuad * 4;
  for (uint64_t q = firstQuad; q < endQuad; ++q, c += 4) {
    const int a = base64Value(c[0]), b = base64Value(c[1]);
    if (a < 0 || b < 0) return false;
    *w++ = uint8_t((a << 2) | (b >> 4));
    if (c[2] == '=') break;
    const int d = base64Value(c[2]);
    if (d < 0) return false;
    *w++ = uint8_t(((b & 15) << 4) | (d >> 2));
    if (c[3] == '=') break;
    const int e = base64Value(c[3]);
    if (e < 0) return false;
    *w++ = uint8_t(((d & 3) << 6) | e);
  }
  const size_t skip = size_t(from - firstQuad * 3);
  if (size_t(w - scratch.data()) < skip + size_t(to - from)) return false;
  std::memcpy(out, scratch.data() + skip, size_t(to - from));
  return true;
}

// The array's values on huge pages where that serves; false leaves it to VTK's allocation.
bool allocateOnHugePages(vtkDataArray* array, vtkIdType values) {
  void* memory = HugePages::allocate(size_t(values) * size_t(array->GetDataTypeSize()));
  if (!memory) return false;
  array->SetVoidArray(memory, values, 0, vtkAbstractArray::VTK_DATA_ARRAY_FREE);
  return true;
}

// True when the encoding of bytes of content lies within what the stream has left.
bool fits(const Stream& s, uint64_t bytes) {
  if (!s.base64) return bytes <= s.available;
  return bytes / 3 + (bytes % 3 ? 1 : 0) <= s.available / 4;
}

uint64_t encodedLength(const Stream& s, uint64_t bytes) { return s.base64 ? (bytes + 2) / 3 * 4 : bytes; }

// zlib inflates at most about 1032 bytes from each byte: a block stating more is damage, and
// allocating what it states would only waste memory.
constexpr uint64_t MaxInflation = 1032;

struct ArrayType {
  const char* name;
  int vtkType;
  size_t size;
};
constexpr ArrayType ArrayTypes[] = {{"Int8", VTK_TYPE_INT8, 1},       {"UInt8", VTK_TYPE_UINT8, 1},
                                    {"Int16", VTK_TYPE_INT16, 2},     {"UInt16", VTK_TYPE_UINT16, 2},
                                    {"Int32", VTK_TYPE_INT32, 4},     {"UInt32", VTK_TYPE_UINT32, 4},
                                    {"Int64", VTK_TYPE_INT64, 8},     {"UInt64", VTK_TYPE_UINT64, 8},
                                    {"Float32", VTK_TYPE_FLOAT32, 4}, {"Float64", VTK_TYPE_FLOAT64, 8}};

const ArrayType* arrayType(const char* name) {
  if (!name) return nullptr;
  for (const ArrayType& t : ArrayTypes)
    if (std::strcmp(t.name, name) == 0) return &t;
  return nullptr;
}

template <class Array>
vtkSmartPointer<vtkCellArray> cellArrayOf(const AppendedDataReader::PendingCells& pending) {
  auto* connectivity = Array::FastDownCast(pending.connectivity);
  auto* offsets = Array::FastDownCast(pending.offsets);
  if (!connectivity || !offsets) return nullptr;
  auto* o = offsets->GetPointer(0);
  o[0] = 0;
  for (vtkIdType c = 0; c < pending.cells; ++c)
    if (o[c + 1] < o[c]) return nullptr;
  if (vtkIdType(o[pending.cells]) != connectivity->GetNumberOfValues()) return nullptr;
  auto cells = vtkSmartPointer<vtkCellArray>::New();
  cells->SetData(offsets, connectivity);
  return cells;
}

}  // namespace

bool AppendedDataReader::hasOnlyAttributes(vtkXMLDataElement* e, std::initializer_list<const char*> allowed) {
  for (int i = 0; i < e->GetNumberOfAttributes(); ++i) {
    bool known = false;
    for (const char* a : allowed) known = known || std::strcmp(e->GetAttributeName(i), a) == 0;
    if (!known) return false;
  }
  return true;
}

bool AppendedDataReader::readCount(vtkXMLDataElement* e, const char* attribute, vtkIdType& value) {
  const char* text = e->GetAttribute(attribute);
  if (!text || !*text) return false;
  char* end = nullptr;
  errno = 0;
  const long long v = std::strtoll(text, &end, 10);
  while (*end == ' ') ++end;
  if (*end || v < 0 || errno == ERANGE) return false;
  value = vtkIdType(v);
  return true;
}

vtkXMLDataElement* AppendedDataReader::parseHead(const char* type, std::initializer_list<const char*> pieceAttributes) {
  const char* data = _file.data();
  const size_t size = _file.size();
  if (!data) return nullptr;
  const char tag[] = "<AppendedData";
  const void* found = ::memmem(data, size, tag, sizeof(tag) - 1);
  if (!found) return nullptr;
  const size_t at = size_t(static_cast<const char*>(found) - data);
  const char* close = static_cast<const char*>(std::memchr(data + at, '>', size - at));
  if (!close) return nullptr;
  const std::string appended(data + at, close);
  if (appended.find("encoding=\"base64\"") != std::string::npos)
    _base64 = true;
  else if (appended.find("encoding=\"raw\"") == std::string::npos)
    return nullptr;
  const char* underscore = close + 1;
  const char* end = data + size;
  while (underscore < end && (*underscore == ' ' || *underscore == '\n' || *underscore == '\r' || *underscore == '\t'))
    ++underscore;
  if (underscore >= end || *underscore != '_') return nullptr;
  _appended = underscore + 1;
  _appendedSize = size_t(end - _appended);

  const std::string head = std::string(data, at) + "</VTKFile>";
  _root = vtkSmartPointer<vtkXMLDataElement>::Take(vtkXMLUtilities::ReadElementFromString(head.c_str()));
  if (!_root || std::strcmp(_root->GetName(), "VTKFile") != 0) return nullptr;
  const char* fileType = _root->GetAttribute("type");
  const char* version = _root->GetAttribute("version");
  const char* order = _root->GetAttribute("byte_order");
  const char* header = _root->GetAttribute("header_type");
  const char* compressor = _root->GetAttribute("compressor");
  if (!fileType || std::strcmp(fileType, type) != 0 || !version ||
      (std::strcmp(version, "0.1") != 0 && std::strcmp(version, "1.0") != 0) || !order ||
      std::strcmp(order, "LittleEndian") != 0 ||
      !hasOnlyAttributes(_root, {"type", "version", "byte_order", "header_type", "compressor"}))
    return nullptr;
  if (header && std::strcmp(header, "UInt64") == 0)
    _headerSize = 8;
  else if (header && std::strcmp(header, "UInt32") != 0)
    return nullptr;
  if (compressor && std::strcmp(compressor, "vtkZLibDataCompressor") == 0)
    _compressed = true;
  else if (compressor)
    return nullptr;
  if (_root->GetNumberOfNestedElements() != 1) return nullptr;
  vtkXMLDataElement* set = _root->GetNestedElement(0);
  if (std::strcmp(set->GetName(), type) != 0 || set->GetNumberOfAttributes() != 0 ||
      set->GetNumberOfNestedElements() != 1)
    return nullptr;
  vtkXMLDataElement* piece = set->GetNestedElement(0);
  if (std::strcmp(piece->GetName(), "Piece") != 0 || !hasOnlyAttributes(piece, pieceAttributes)) return nullptr;
  return piece;
}

vtkIdType AppendedDataReader::maxCount() const { return vtkIdType(_appendedSize * MaxInflation); }

uint64_t AppendedDataReader::word(const uint8_t* header, size_t index) const {
  if (_headerSize == 4) {
    uint32_t v;
    std::memcpy(&v, header + index * 4, 4);
    return v;
  }
  uint64_t v;
  std::memcpy(&v, header + index * 8, 8);
  return v;
}

vtkSmartPointer<vtkDataArray> AppendedDataReader::queueArray(vtkXMLDataElement* e, vtkIdType tuples, int components,
                                                             vtkSmartPointer<vtkDataArray> array, vtkIdType lead) {
  if (std::strcmp(e->GetName(), "DataArray") != 0 || e->GetNumberOfNestedElements() != 0 ||
      !hasOnlyAttributes(e, {"type", "Name", "NumberOfComponents", "format", "offset", "RangeMin", "RangeMax"}))
    return nullptr;
  const ArrayType* t = arrayType(e->GetAttribute("type"));
  const char* format = e->GetAttribute("format");
  vtkIdType offset = 0, n = 1;
  if (!t || !format || std::strcmp(format, "appended") != 0 || !readCount(e, "offset", offset)) return nullptr;
  if (e->GetAttribute("NumberOfComponents") && (!readCount(e, "NumberOfComponents", n) || n < 1 || n > 4096))
    return nullptr;
  if (components && n != components) return nullptr;
  if (uint64_t(offset) >= _appendedSize) return nullptr;

  // Every size below is weighed against what the file holds before anything is allocated.
  Stream stream{_appended + offset, _appendedSize - size_t(offset), _base64};
  std::vector<uint8_t> scratch;
  std::vector<Job> jobs;
  uint64_t bytes = 0;
  if (_compressed) {
    uint8_t fixed[24];
    if (!decodeRange(stream, 0, 3 * _headerSize, fixed, scratch)) return nullptr;
    const uint64_t blocks = word(fixed, 0), blockSize = word(fixed, 1), lastSize = word(fixed, 2);
    if (blocks > _appendedSize / _headerSize || (blocks && (blockSize == 0 || lastSize > blockSize))) return nullptr;
    const uint64_t headerBytes = (3 + blocks) * _headerSize;
    if (!fits(stream, headerBytes)) return nullptr;
    std::vector<uint8_t> header(static_cast<size_t>(headerBytes));
    if (!decodeRange(stream, 0, headerBytes, header.data(), scratch)) return nullptr;
    const uint64_t headerLength = encodedLength(stream, headerBytes);
    if (headerLength > stream.available) return nullptr;
    Stream blocksStream{stream.begin + headerLength, stream.available - headerLength, _base64};
    uint64_t at = 0;
    for (uint64_t b = 0; b < blocks; ++b) {
      const uint64_t compressedSize = word(header.data(), size_t(3 + b));
      const uint64_t size = (b + 1 == blocks && lastSize) ? lastSize : blockSize;
      if (compressedSize > blocksStream.available - std::min<uint64_t>(at, blocksStream.available)) return nullptr;
      if (size > compressedSize * MaxInflation + 64) return nullptr;
      jobs.push_back(Job{blocksStream, at, at + compressedSize, true, nullptr, size});
      at += compressedSize;
      bytes += size;
    }
    if (!fits(blocksStream, at)) return nullptr;
  } else {
    uint8_t fixed[8];
    if (!decodeRange(stream, 0, _headerSize, fixed, scratch)) return nullptr;
    bytes = word(fixed, 0);
    if (bytes > stream.available || !fits(stream, _headerSize + bytes)) return nullptr;
    // Pieces a multiple of 3 bytes long start on whole base64 groups.
    constexpr uint64_t Chunk = uint64_t(3) << 18;
    for (uint64_t at = 0; at < bytes; at += Chunk)
      jobs.push_back(Job{stream, _headerSize + at, _headerSize + std::min(bytes, at + Chunk), false, nullptr,
                         std::min(bytes, at + Chunk) - at});
  }
  const uint64_t tupleBytes = uint64_t(n) * t->size;
  if (bytes % tupleBytes != 0) return nullptr;
  if (tuples < 0) tuples = vtkIdType(bytes / tupleBytes);
  if (uint64_t(tuples) != bytes / tupleBytes) return nullptr;

  if (!array) array = vtkSmartPointer<vtkDataArray>::Take(vtkDataArray::CreateDataArray(t->vtkType));
  if (!array || array->GetDataType() != t->vtkType || array->GetDataTypeSize() != int(t->size)) return nullptr;
  if (const char* name = e->GetAttribute("Name")) array->SetName(name);
  array->SetNumberOfComponents(int(n));
  if (!allocateOnHugePages(array, (lead + tuples) * n)) array->SetNumberOfTuples(lead + tuples);
  auto* out = static_cast<uint8_t*>(array->GetVoidPointer(lead * n));
  for (Job& job : jobs) {
    job.out = out;
    out += job.outBytes;
  }
  _jobs.insert(_jobs.end(), jobs.begin(), jobs.end());
  return array;
}

bool AppendedDataReader::queueAttributes(vtkXMLDataElement* e, vtkIdType tuples, vtkDataSetAttributes* into) {
  std::set<std::string> names;
  for (int i = 0; i < e->GetNumberOfNestedElements(); ++i) {
    vtkSmartPointer<vtkDataArray> array = queueArray(e->GetNestedElement(i), tuples);
    if (!array || !array->GetName() || !names.insert(array->GetName()).second) return false;
    into->AddArray(array);
  }
  for (int i = 0; i < vtkDataSetAttributes::NUM_ATTRIBUTES; ++i) {
    const char* attribute = vtkDataSetAttributes::GetAttributeTypeAsString(i);
    if (const char* name = e->GetAttribute(attribute)) into->SetActiveAttribute(name, i);
  }
  return true;
}

bool AppendedDataReader::childrenByName(vtkXMLDataElement* piece,
                                        std::initializer_list<std::pair<const char*, vtkXMLDataElement**>> slots) {
  for (int i = 0; i < piece->GetNumberOfNestedElements(); ++i) {
    vtkXMLDataElement* e = piece->GetNestedElement(i);
    vtkXMLDataElement** slot = nullptr;
    for (const auto& named : slots)
      if (std::strcmp(e->GetName(), named.first) == 0) slot = named.second;
    if (!slot || *slot) return false;
    *slot = e;
  }
  return true;
}

bool AppendedDataReader::queuePointSet(vtkXMLDataElement* points, vtkXMLDataElement* pointData,
                                       vtkXMLDataElement* cellData, vtkIdType nPoints, vtkIdType nCells,
                                       vtkPointSet* into) {
  if (pointData && !queueAttributes(pointData, nPoints, into->GetPointData())) return false;
  if (cellData && !queueAttributes(cellData, nCells, into->GetCellData())) return false;
  if (!points || points->GetNumberOfAttributes() != 0 || points->GetNumberOfNestedElements() != 1) return false;
  vtkSmartPointer<vtkDataArray> xyz = queueArray(points->GetNestedElement(0), nPoints, 3);
  if (!xyz || (xyz->GetDataType() != VTK_FLOAT && xyz->GetDataType() != VTK_DOUBLE)) return false;
  auto p = vtkSmartPointer<vtkPoints>::New();
  p->SetData(xyz);
  into->SetPoints(p);
  return true;
}

bool AppendedDataReader::queueCells(vtkXMLDataElement* e, vtkIdType cells, PendingCells& out) {
  if (e->GetNumberOfAttributes() != 0) return false;
  vtkXMLDataElement *eConnectivity = nullptr, *eOffsets = nullptr;
  for (int i = 0; i < e->GetNumberOfNestedElements(); ++i) {
    vtkXMLDataElement* child = e->GetNestedElement(i);
    const char* name = child->GetAttribute("Name");
    if (!name) return false;
    if (std::strcmp(name, "connectivity") == 0)
      eConnectivity = child;
    else if (std::strcmp(name, "offsets") == 0)
      eOffsets = child;
  }
  if (!eConnectivity || !eOffsets) return false;
  // Offsets and connectivity go straight into the arrays a cell array keeps; the file leaves out
  // the leading 0 of the offsets.
  const char* type = eOffsets->GetAttribute("type");
  auto make = [type]() -> vtkSmartPointer<vtkDataArray> {
    if (type && std::strcmp(type, "Int64") == 0) return vtkSmartPointer<vtkCellArray::ArrayType64>::New();
    if (type && std::strcmp(type, "Int32") == 0) return vtkSmartPointer<vtkCellArray::ArrayType32>::New();
    return nullptr;
  };
  vtkSmartPointer<vtkDataArray> offsets = make(), connectivity = make();
  if (!offsets) return false;
  out.cells = cells;
  out.connectivity = queueArray(eConnectivity, -1, 1, connectivity);
  out.offsets = queueArray(eOffsets, cells, 1, offsets, 1);
  return out.connectivity && out.offsets;
}

namespace {

// Gives the mapped file's pages back in stretches once every job reading a stretch has ended:
// the decoded arrays are all that is kept, and a large file would otherwise stay resident beside
// them until the read ends (the peak of a large open). The pages only leave this mapping; any
// later read (VTK's reader after a damaged block) finds the file as it was. Jobs end on any
// thread: the counts are atomic.
class PageRelease {
 public:
  PageRelease(const MappedFile& file, const std::vector<AppendedDataReader::Job>& jobs)
      : _base(file.data()), _size(file.size()), _stretches((_size + kStretch - 1) / kStretch),
        _pending(new std::atomic<uint64_t>[_stretches]) {
    for (size_t k = 0; k < _stretches; ++k) _pending[k].store(0, std::memory_order_relaxed);
    for (const AppendedDataReader::Job& job : jobs) forEachStretch(job, [this](size_t k, uint64_t bytes) { _pending[k] += bytes; });
  }
  void done(const AppendedDataReader::Job& job) {
    forEachStretch(job, [this](size_t k, uint64_t bytes) {
      if (_pending[k].fetch_sub(bytes) != bytes) return;
      const size_t from = k * kStretch, length = std::min(kStretch, _size - from);
      ::madvise(const_cast<char*>(_base) + from, length, MADV_DONTNEED);
    });
  }

 private:
  static constexpr size_t kStretch = size_t(2) << 20;  // a multiple of every page size

  // Calls f(stretch, bytes) for the stretches the job's encoded bytes lie in.
  template <class F>
  void forEachStretch(const AppendedDataReader::Job& job, F f) const {
    const AppendedDataReader::Stream& s = job.stream;
    if (!_base || job.to <= job.from || s.begin < _base || s.begin >= _base + _size) return;
    uint64_t first = job.from, last = job.to;
    if (s.base64) {
      first = job.from / 3 * 4;
      last = (job.to + 2) / 3 * 4;
    }
    const uint64_t offset = uint64_t(s.begin - _base);
    const uint64_t begin = offset + first, end = std::min<uint64_t>(offset + last, _size);
    for (uint64_t at = begin; at < end;) {
      const size_t k = size_t(at / kStretch);
      const uint64_t stop = std::min<uint64_t>(end, uint64_t(k + 1) * kStretch);
      f(k, stop - at);
      at = stop;
    }
  }

  const char* _base;
  size_t _size;
  size_t _stretches;
  std::unique_ptr<std::atomic<uint64_t>[]> _pending;
};

}  // namespace

bool AppendedDataReader::runJobs() {
  std::atomic<bool> failed{false};
  vtkSMPThreadLocal<std::vector<uint8_t>> scratch;
  PageRelease release(_file, _jobs);
  vtkSMPTools::For(0, vtkIdType(_jobs.size()), 1, [&](vtkIdType first, vtkIdType last) {
    std::vector<uint8_t>& buffer = scratch.Local();
    std::vector<uint8_t> packed;
    for (vtkIdType j = first; j < last && !failed; ++j) {
      const Job& job = _jobs[size_t(j)];
      // Whatever the outcome, the job reads its bytes no more.
      struct Done {
        PageRelease& release;
        const Job& job;
        ~Done() { release.done(job); }
      } done{release, job};
      if (!job.compressed) {
        if (!decodeRange(job.stream, job.from, job.to, job.out, buffer)) failed = true;
        continue;
      }
      const uint8_t* in;
      if (job.stream.base64) {
        packed.resize(size_t(job.to - job.from));
        if (!decodeRange(job.stream, job.from, job.to, packed.data(), buffer)) {
          failed = true;
          continue;
        }
        in = packed.data();
      } else {
        if (job.to > job.stream.available) {
          failed = true;
          continue;
        }
        in = reinterpret_cast<const uint8_t*>(job.stream.begin + job.from);
      }
      uLongf size = uLongf(job.outBytes);
      if (::uncompress(job.out, &size, in, uLong(job.to - job.from)) != Z_OK || size != job.outBytes) failed = true;
    }
  });
  return !failed;
}

vtkSmartPointer<vtkCellArray> AppendedDataReader::finishCells(const PendingCells& pending) {
  if (!pending.offsets) return nullptr;
  return pending.offsets->GetDataType() == VTK_TYPE_INT64 ? cellArrayOf<vtkCellArray::ArrayType64>(pending)
                                                          : cellArrayOf<vtkCellArray::ArrayType32>(pending);
}
