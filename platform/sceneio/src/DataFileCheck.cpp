#include "DataFileCheck.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vtkCellArray.h>
#include <vtkCellData.h>
#include <vtkCellType.h>
#include <vtkCommand.h>
#include <vtkDataCompressor.h>
#include <vtkIdTypeArray.h>
#include <vtkLZ4DataCompressor.h>
#include <vtkLZMADataCompressor.h>
#include <vtkPointData.h>
#include <vtkPolyData.h>
#include <vtkSmartPointer.h>
#include <vtkUnsignedCharArray.h>
#include <vtkUnstructuredGrid.h>
#include <vtkXMLDataElement.h>
#include <vtkXMLDataParser.h>
#include <vtkZLibDataCompressor.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <memory>
#include <vector>

namespace {

using Wide = unsigned __int128;

std::string number(Wide v) {
  if (v == 0) return "0";
  std::string s;
  for (; v; v /= 10) s.insert(s.begin(), char('0' + int(v % 10)));
  return s;
}

// The file read by position; nothing is kept beyond what a caller asks for.
class FileBytes {
 public:
  explicit FileBytes(const std::string& path) : _fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
    struct stat st;
    if (_fd >= 0 && ::fstat(_fd, &st) == 0) _size = uint64_t(st.st_size);
  }
  ~FileBytes() {
    if (_fd >= 0) ::close(_fd);
  }
  FileBytes(const FileBytes&) = delete;
  FileBytes& operator=(const FileBytes&) = delete;
  bool isOpen() const { return _fd >= 0; }
  uint64_t size() const { return _size; }
  bool read(uint64_t at, uint64_t n, void* out) const {
    if (at > _size || n > _size - at) return false;
    auto* p = static_cast<char*>(out);
    while (n > 0) {
      const ssize_t got = ::pread(_fd, p, size_t(n), off_t(at));
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) return false;
      p += got;
      at += uint64_t(got);
      n -= uint64_t(got);
    }
    return true;
  }

 private:
  int _fd;
  uint64_t _size = 0;
};

// One encoded stream in the file: raw bytes, or base64 text decoding to bytes.
struct Stream {
  uint64_t begin = 0;
  bool base64 = false;
};

uint64_t encodedLength(bool base64, uint64_t bytes) { return base64 ? (bytes + 2) / 3 * 4 : bytes; }

int base64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

// Decoded bytes [from, to) of the stream into out; false when the file ends first or the text
// is no base64.
bool decodeRange(const FileBytes& file, const Stream& s, uint64_t from, uint64_t to, std::vector<uint8_t>& out) {
  out.clear();
  if (to < from) return false;
  if (!s.base64) {
    out.resize(size_t(to - from));
    return file.read(s.begin + from, to - from, out.data());
  }
  const uint64_t firstQuad = from / 3, endQuad = (to + 2) / 3;
  std::string text(size_t((endQuad - firstQuad) * 4), '\0');
  if (!file.read(s.begin + firstQuad * 4, text.size(), &text[0])) return false;
  out.reserve(text.size() / 4 * 3);
  for (size_t i = 0; i + 3 < text.size(); i += 4) {
    const int a = base64Value(text[i]), b = base64Value(text[i + 1]);
    if (a < 0 || b < 0) return false;
    out.push_back(uint8_t((a << 2) | (b >> 4)));
    if (text[i + 2] == '=') break;
    const int c = base64Value(text[i + 2]);
    if (c < 0) return false;
    out.push_back(uint8_t(((b & 15) << 4) | (c >> 2)));
    if (text[i + 3] == '=') break;
    const int d = base64Value(text[i + 3]);
    if (d < 0) return false;
    out.push_back(uint8_t(((c & 3) << 6) | d));
  }
  const size_t skip = size_t(from - firstQuad * 3);
  if (out.size() < skip + size_t(to - from)) return false;
  out.erase(out.begin(), out.begin() + long(skip));
  out.resize(size_t(to - from));
  return true;
}

// A number from an attribute, parsed as VTK's readers parse it; false when absent or no number
// (VTK's readers then refuse the file or take their default).
bool readNumber(vtkXMLDataElement* e, const char* attribute, long long& value) {
  vtkTypeInt64 v = 0;
  if (!e->GetAttribute(attribute) || !e->GetScalarAttribute(attribute, v)) return false;
  value = v;
  return true;
}

// The value types of VTK XML files, with the older names; size 0 for those of no fixed size
// (String, Bit and the like).
struct ValueType {
  const char* name;
  const char* oldName;
  int size;
  long double (*read)(const uint8_t*);
};
template <class T>
long double readValue(const uint8_t* p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return static_cast<long double>(v);
}
constexpr ValueType ValueTypes[] = {
    {"Int8", "Char", 1, readValue<int8_t>},     {"UInt8", "UChar", 1, readValue<uint8_t>},
    {"Int16", "Short", 2, readValue<int16_t>},  {"UInt16", "UShort", 2, readValue<uint16_t>},
    {"Int32", "Int", 4, readValue<int32_t>},    {"UInt32", "UInt", 4, readValue<uint32_t>},
    {"Int64", "Long", 8, readValue<int64_t>},   {"UInt64", "ULong", 8, readValue<uint64_t>},
    {"Float32", "Float", 4, readValue<float>},  {"Float64", "Double", 8, readValue<double>},
    {"IdType", "IdType", 8, readValue<int64_t>}};

const ValueType* valueType(const std::string& name) {
  for (const ValueType& t : ValueTypes)
    if (name == t.name || name == t.oldName) return &t;
  return nullptr;
}

// Silences the parser's complaints: the reader that follows names what is wrong.
class Quiet : public vtkCommand {
 public:
  static Quiet* New() { return new Quiet; }
  void Execute(vtkObject*, unsigned long, void*) override {}
};

// Where one array's values are and how they are framed.
struct Layout {
  bool known = false;  // false: nothing is known of the values (a reader refuses the array)
  bool ascii = false;
  Stream stream;  // the encoded array, block header first
  uint64_t blocks = 0, blockSize = 0, lastSize = 0;
  std::vector<uint64_t> compressedSizes;
  Wide held = 0;  // bytes of values
  std::string type;
  int size = 0;  // bytes of one value
};

class FileCheck {
 public:
  FileCheck(const FileBytes& file, std::string& why) : _file(file), _why(why) {}

  bool run(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return true;
    auto parser = vtkSmartPointer<vtkXMLDataParser>::New();
    auto quiet = vtkSmartPointer<Quiet>::New();
    parser->AddObserver(vtkCommand::ErrorEvent, quiet);
    parser->AddObserver(vtkCommand::WarningEvent, quiet);
    parser->SetStream(&in);
    if (!parser->Parse()) return true;
    vtkXMLDataElement* root = parser->GetRootElement();
    if (!root || std::strcmp(root->GetName() ? root->GetName() : "", "VTKFile") != 0) return true;
    const char* header = root->GetAttribute("header_type");
    _headerSize = header && std::strcmp(header, "UInt64") == 0 ? 8 : 4;
    if (const char* compressor = root->GetAttribute("compressor")) {
      if (std::strcmp(compressor, "vtkZLibDataCompressor") != 0 &&
          std::strcmp(compressor, "vtkLZ4DataCompressor") != 0 && std::strcmp(compressor, "vtkLZMADataCompressor") != 0)
        return fail(std::string("it names the unknown compressor '") + compressor + "'");
      _compressed = true;
      if (std::strcmp(compressor, "vtkZLibDataCompressor") == 0)
        _decompressor = vtkSmartPointer<vtkZLibDataCompressor>::New();
      else if (std::strcmp(compressor, "vtkLZ4DataCompressor") == 0)
        _decompressor = vtkSmartPointer<vtkLZ4DataCompressor>::New();
      else
        _decompressor = vtkSmartPointer<vtkLZMADataCompressor>::New();
    }
    const char* order = root->GetAttribute("byte_order");
    _swap = order && std::strcmp(order, "BigEndian") == 0;
    _appended = parser->GetAppendedDataPosition();
    _hasAppended = false;
    if (vtkXMLDataElement* appended = root->FindNestedElementWithName("AppendedData")) {
      const char* encoding = appended->GetAttribute("encoding");
      const std::string named = encoding ? encoding : "";
      if (named != "raw" && named != "base64")
        return fail("its appended data has the unknown encoding '" + named + "'");
      _appendedBase64 = named == "base64";
      _hasAppended = _appended > 0;
    }
    const char* type = root->GetAttribute("type");
    vtkXMLDataElement* data = type ? root->FindNestedElementWithName(type) : nullptr;
    if (!data) return true;
    for (int i = 0; i < data->GetNumberOfNestedElements(); ++i) {
      vtkXMLDataElement* e = data->GetNestedElement(i);
      if (std::strcmp(e->GetName(), "Piece") == 0) {
        if (!checkPiece(e)) return false;
      } else if (std::strcmp(e->GetName(), "FieldData") == 0) {
        if (!checkArrays(e, -1)) return false;
      }
    }
    if (_total > DataFileCheck::MaxFileDataBytes)
      return fail("its arrays would hold " + number(_total) + " bytes in all, more than the limit of " +
                  number(DataFileCheck::MaxFileDataBytes));
    return true;
  }

 private:
  bool fail(const std::string& reason) {
    _why = reason;
    return false;
  }

  // A count as VTK's readers take it: 0 when absent or no number, never negative.
  bool count(vtkXMLDataElement* e, const char* attribute, Wide& value) {
    long long v = 0;
    value = 0;
    if (!readNumber(e, attribute, v)) return true;
    if (v < 0) return fail(std::string("its ") + attribute + " is negative");
    value = Wide(v);
    return true;
  }

  bool checkPiece(vtkXMLDataElement* piece) {
    Wide points = 0, cells = 0;
    Wide parts[4] = {0, 0, 0, 0};
    const char* kinds[4] = {"NumberOfVerts", "NumberOfLines", "NumberOfStrips", "NumberOfPolys"};
    if (const char* extent = piece->GetAttribute("Extent")) {
      // Six ints, as VTK's readers take it.
      int e[6];
      if (piece->GetVectorAttribute("Extent", 6, e) != 6)
        return fail(std::string("its extent '") + extent + "' is no extent");
      points = cells = 1;
      for (int axis = 0; axis < 3; ++axis) {
        const long long d = (long long)e[2 * axis + 1] - e[2 * axis] + 1;
        if (d < 0) return fail(std::string("its extent '") + extent + "' is no extent");
        points *= Wide(d < 0 ? 0 : d);
        if (d > 1) cells *= Wide(d - 1);
      }
      if (points == 0) cells = 0;
    } else {
      if (!count(piece, "NumberOfPoints", points) || !count(piece, "NumberOfCells", cells)) return false;
      for (int k = 0; k < 4; ++k) {
        if (!count(piece, kinds[k], parts[k])) return false;
        cells += parts[k];
      }
    }
    // A point takes three coordinates of a byte at least, a cell a byte for its type.
    if (points * 3 > DataFileCheck::MaxArrayBytes)
      return fail("it states " + number(points) + " points, more than the " + number(DataFileCheck::MaxArrayBytes / 3) +
                  " a file may hold");
    if (cells > DataFileCheck::MaxArrayBytes)
      return fail("it states " + number(cells) + " cells, more than the " + number(DataFileCheck::MaxArrayBytes) +
                  " a file may hold");
    for (int i = 0; i < piece->GetNumberOfNestedElements(); ++i) {
      vtkXMLDataElement* e = piece->GetNestedElement(i);
      const char* name = e->GetName();
      Wide tuples = -1;
      bool known = true;
      if (std::strcmp(name, "PointData") == 0 || std::strcmp(name, "Points") == 0)
        tuples = points;
      else if (std::strcmp(name, "CellData") == 0)
        tuples = cells;
      else
        known = false;
      if (known) {
        if (!checkArrays(e, tuples)) return false;
        continue;
      }
      // Cells, Verts, Lines, Strips, Polys: offsets and types count the cells, the rest is free.
      Wide owned = cells;
      for (int k = 0; k < 4; ++k)
        if (std::strcmp(name, kinds[k] + 8) == 0) owned = parts[k];
      Layout offsets, connectivity, other;
      // Grids' polyhedra: the first array of each name, as VTK's reader finds them.
      Layout types, faces, faceOffsets;
      bool hasFaces = false, hasFaceOffsets = false, hasTypes = false;
      for (int j = 0; j < e->GetNumberOfNestedElements(); ++j) {
        vtkXMLDataElement* a = e->GetNestedElement(j);
        const std::string arrayName = a->GetAttribute("Name") ? a->GetAttribute("Name") : "";
        Layout* layout = arrayName == "offsets" ? &offsets : arrayName == "connectivity" ? &connectivity : &other;
        bool* first = nullptr;
        if (std::strcmp(name, "Cells") == 0 && std::strcmp(a->GetName(), "DataArray") == 0) {
          if (arrayName == "types") first = &hasTypes, layout = &types;
          if (arrayName == "faces") first = &hasFaces, layout = &faces;
          if (arrayName == "faceoffsets") first = &hasFaceOffsets, layout = &faceOffsets;
          if (first && *first) layout = &other;
        }
        const bool counted = arrayName == "offsets" || arrayName == "types" || arrayName == "faceoffsets";
        if (!checkArray(a, counted ? owned : Wide(-1), layout)) return false;
        if (first && layout != &other) *first = true;
      }
      // Readers size the connectivity by the last offset before they read it.
      long double last = 0;
      if (owned > 0 && valueAt(offsets, uint64_t(owned - 1), last)) {
        const long double ids = connectivity.known && !connectivity.ascii && connectivity.size
                                    ? (long double)(connectivity.held / Wide(connectivity.size))
                                    : (long double)(DataFileCheck::MaxArrayBytes / 8);
        if (!(last >= 0 && last <= ids)) {
          const std::string shown = last >= -9e18L && last <= 9e18L ? std::to_string((long long)last) : "out of range";
          return fail(std::string("its ") + name + "' last offset " + shown + " lies beyond its connectivity of " +
                      std::to_string((long long)ids) + " ids");
        }
      }
      if (hasFaces && hasFaceOffsets && owned > 0 &&
          !checkFaces(hasTypes ? &types : nullptr, faces, faceOffsets, uint64_t(owned), uint64_t(points)))
        return false;
    }
    return true;
  }

  // A value as a count or id, as VTK's reader converts it; the extremes stand for what does not fit.
  static long long integral(long double v) {
    if (!(v > -9e18L)) return std::numeric_limits<long long>::min();
    if (!(v < 9e18L)) return std::numeric_limits<long long>::max();
    return (long long)v;
  }

  // The polyhedra of a grid piece. VTK's reader sizes the faces array by the last face offset
  // that is not -1, then walks the faces by the counts it finds in them, without looking at the
  // array's end, adding the piece's first point to each id on the way; only afterwards does it
  // compare where the walk ended. That walk is made here first, on the arrays in the file: each
  // cell's face offset is -1 unless it is a polyhedron, offsets never fall, the last lies within
  // the faces array, and each polyhedron's faces (a count, then each face's point count and
  // points) end exactly at its offset. Memory: a block of each array at a time.
  bool checkFaces(const Layout* types, const Layout& faces, const Layout& faceOffsets, uint64_t cells,
                  uint64_t points) {
    if (!faceOffsets.known || (!faceOffsets.ascii && faceOffsets.size == 0)) return true;
    long long last = -1;
    {
      Values offsets(*this, faceOffsets);
      std::unique_ptr<Values> typeValues;
      if (types && types->known && (types->ascii || types->size)) typeValues.reset(new Values(*this, *types));
      for (uint64_t c = 0; c < cells; ++c) {
        long double value = 0, typeValue = 0;
        // Too few values: the reader finds that itself.
        if (!offsets.next(value)) return true;
        const long long o = integral(value);
        const std::string cell = "cell " + std::to_string(c);
        const bool known = typeValues && typeValues->next(typeValue);
        const long long type = known ? integral(typeValue) : -1;
        if (o < -1) return fail(cell + " has the face offset " + std::to_string(o));
        if (type == VTK_POLYHEDRON && o < 0) return fail(cell + " is a polyhedron without its faces");
        if (known && type != VTK_POLYHEDRON && o >= 0)
          return fail(cell + " of type " + std::to_string(type) + " has the face offset " + std::to_string(o) +
                      ", not -1");
        if (o >= 0 && o < last)
          return fail(cell + "'s face offset " + std::to_string(o) + " lies before the previous one, " +
                      std::to_string(last));
        if (o >= 0) last = o;
      }
    }
    if (last <= 0) return true;  // the reader reads no faces
    const long long ids = faces.known && !faces.ascii && faces.size ? (long long)(faces.held / Wide(faces.size))
                                                                    : (long long)(DataFileCheck::MaxArrayBytes / 8);
    if (last > ids)
      return fail("its face offsets' last offset " + std::to_string(last) + " lies beyond its faces of " +
                  std::to_string(ids) + " ids");
    if (!faces.known || (!faces.ascii && faces.size == 0)) return true;
    Values offsets(*this, faceOffsets), stream(*this, faces);
    long long at = 0;  // the walk's place in the faces
    for (uint64_t c = 0; c < cells; ++c) {
      long double value = 0;
      if (!offsets.next(value)) return true;
      const long long o = integral(value);
      if (o < 0) continue;
      const std::string what = "cell " + std::to_string(c) + " is a polyhedron ";
      const std::string beyond = what + "whose faces run beyond the face list";
      if (at >= last || !stream.next(value)) return fail(beyond);
      const long long count = integral(value);
      ++at;
      if (count < 1) return fail(what + "of no faces");
      for (long long f = 0; f < count; ++f) {
        if (at >= last || !stream.next(value)) return fail(beyond);
        const long long n = integral(value);
        ++at;
        if (n < 3)
          return fail(what + "whose face " + std::to_string(f) + " has " + std::to_string(n) + " points, fewer than 3");
        if (n > last - at) return fail(beyond);
        for (long long k = 0; k < n; ++k, ++at) {
          if (!stream.next(value)) return fail(beyond);
          const long long id = integral(value);
          if (id < 0 || uint64_t(id) >= points) return fail(what + "whose faces name points that do not exist");
        }
      }
      if (at != o)
        return fail(what + "whose faces end at " + std::to_string(at) + ", not at its face offset " +
                    std::to_string(o));
    }
    return true;
  }

  // An array's values in order, decoded a block (or 64 KiB, or a line of text) at a time.
  class Values {
   public:
    Values(FileCheck& check, const Layout& l) : _check(check), _l(l), _text(l.stream.begin) {}
    // The next value; false at the end of the array or where it cannot be decoded.
    bool next(long double& value) {
      if (_l.ascii) return nextText(value);
      const ValueType* type = valueType(_l.type);
      if (!type || _l.size == 0) return false;
      const size_t size = size_t(_l.size);
      while (_bytes.size() - _at < size)
        if (!fill()) return false;
      uint8_t v[8];
      std::memcpy(v, &_bytes[_at], size);
      _at += size;
      if (_check._swap) std::reverse(v, v + size);
      value = type->read(v);
      return true;
    }

   private:
    // More decoded bytes, what is left of the last ones first.
    bool fill() {
      _bytes.erase(_bytes.begin(), _bytes.begin() + long(_at));
      _at = 0;
      std::vector<uint8_t> more;
      if (!_check._compressed) {
        if (Wide(_done) >= _l.held) return false;
        const uint64_t n = uint64_t(std::min<Wide>(Wide(1) << 16, _l.held - _done));
        const uint64_t from = _check._headerSize + _done;
        if (!decodeRange(_check._file, _l.stream, from, from + n, more)) return false;
        _done += n;
      } else {
        if (_block >= _l.blocks || !_check._decompressor) return false;
        const uint64_t headerBytes = (3 + _l.blocks) * _check._headerSize;
        const Stream blocks{_l.stream.begin + encodedLength(_l.stream.base64, headerBytes), _l.stream.base64};
        const uint64_t packedSize = _l.compressedSizes[size_t(_block)];
        const uint64_t length = (_block + 1 == _l.blocks && _l.lastSize) ? _l.lastSize : _l.blockSize;
        std::vector<uint8_t> packed;
        if (!decodeRange(_check._file, blocks, _packed, _packed + packedSize, packed)) return false;
        more.resize(size_t(length));
        if (_check._decompressor->Uncompress(packed.data(), packed.size(), more.data(), more.size()) != length)
          return false;
        _packed += packedSize;
        ++_block;
      }
      _bytes.insert(_bytes.end(), more.begin(), more.end());
      return true;
    }

    bool nextText(long double& value) {
      const FileBytes& file = _check._file;
      auto at = [&](char& c) {
        if (_text < _bufferAt || _text >= _bufferAt + _buffer.size()) {
          _bufferAt = _text;
          _buffer.resize(size_t(std::min<uint64_t>(1 << 16, file.size() - std::min(_text, file.size()))));
          if (_buffer.empty() || !file.read(_text, _buffer.size(), _buffer.data())) return false;
        }
        c = _buffer[size_t(_text - _bufferAt)];
        return true;
      };
      std::string token;
      char c = 0;
      while (at(c) && std::isspace(static_cast<unsigned char>(c))) ++_text;
      while (at(c) && !std::isspace(static_cast<unsigned char>(c)) && c != '<') {
        token += c;
        ++_text;
        if (token.size() > 64) return false;
      }
      if (token.empty()) return false;
      char* end = nullptr;
      value = std::strtold(token.c_str(), &end);
      return end && *end == 0;
    }

    FileCheck& _check;
    const Layout& _l;
    std::vector<uint8_t> _bytes;  // decoded and not yet taken from _at on
    size_t _at = 0;
    uint64_t _done = 0;               // uncompressed: value bytes decoded so far
    uint64_t _block = 0, _packed = 0;  // compressed: the next block and where its bytes start
    uint64_t _text = 0, _bufferAt = 0;  // ASCII: the next character, and the text at hand
    std::vector<char> _buffer;
  };

  // tuples: what the arrays must hold, -1 when each array names its own count.
  bool checkArrays(vtkXMLDataElement* e, Wide tuples) {
    for (int i = 0; i < e->GetNumberOfNestedElements(); ++i)
      if (!checkArray(e->GetNestedElement(i), tuples)) return false;
    return true;
  }

  uint64_t word(const uint8_t* p, size_t index) const {
    uint8_t b[8] = {0};
    std::memcpy(b, p + index * _headerSize, _headerSize);
    if (_swap)
      for (size_t i = 0; i < _headerSize / 2; ++i) std::swap(b[i], b[_headerSize - 1 - i]);
    if (_headerSize == 4) {
      uint32_t v;
      std::memcpy(&v, b, 4);
      return v;
    }
    uint64_t v;
    std::memcpy(&v, b, 8);
    return v;
  }

  // layout: where the values are, when the caller asks.
  bool checkArray(vtkXMLDataElement* a, Wide tuples, Layout* layout = nullptr) {
    Layout ignored;
    Layout& l = layout ? *layout : ignored;
    l = Layout();
    if (std::strcmp(a->GetName(), "DataArray") != 0 && std::strcmp(a->GetName(), "Array") != 0) return true;
    const std::string name = a->GetAttribute("Name") ? a->GetAttribute("Name") : "";
    const std::string what = "its array '" + name + "'";
    Wide components = 1;
    if (a->GetAttribute("NumberOfComponents") && !count(a, "NumberOfComponents", components)) return false;
    if (components == 0) components = 1;
    if (components > DataFileCheck::MaxArrayBytes)
      return fail(what + " states " + number(components) + " components, more than an array may hold");
    if (tuples == Wide(-1) && a->GetAttribute("NumberOfTuples") && !count(a, "NumberOfTuples", tuples)) return false;
    const ValueType* type = valueType(a->GetAttribute("type") ? a->GetAttribute("type") : "");
    const int size = type ? type->size : 0;
    Wide needed = 0;
    if (tuples != Wide(-1)) {
      needed = tuples * components * Wide(size ? size : 1);
      if (needed > DataFileCheck::MaxArrayBytes)
        return fail(what + " would hold " + number(needed) + " bytes, more than the limit of " +
                    number(DataFileCheck::MaxArrayBytes));
    }
    // As VTK's readers decide: an offset makes an array appended, else "ascii" text or base64.
    Wide held = 0;
    const char* format = a->GetAttribute("format");
    const bool ascii = format && std::strcmp(format, "ascii") == 0;
    long long offset = 0;
    if (readNumber(a, "offset", offset)) {
      // Readers take an offset from wherever they think the appended data starts, even the file's start.
      if (!_hasAppended) return fail(what + " is appended, but the file has no appended data");
      if (offset < 0 || uint64_t(offset) >= _file.size() - uint64_t(_appended))
        return fail(what + " starts at offset " + std::to_string(offset) + ", " +
                    (offset < 0 ? "before its data" : "beyond the end of the file"));
      l.stream = Stream{uint64_t(_appended) + uint64_t(offset), _appendedBase64};
      if (!checkEncoded(what, l)) return false;
    } else {
      uint64_t at = 0;
      if (!inlineData(a, at)) return true;
      l.stream = Stream{at, true};
      l.ascii = ascii;
      if (!ascii && !checkEncoded(what, l)) return false;
    }
    l.known = true;
    held = l.held;
    l.type = a->GetAttribute("type") ? a->GetAttribute("type") : "";
    l.size = size;
    if (size && tuples != Wide(-1) && held < needed && !ascii)
      return fail(what + " holds " + number(held) + " bytes where its count needs " + number(needed));
    _total += held > needed ? held : needed;
    return true;
  }

  // Where an element's inline text starts: past its start tag and any blanks.
  bool inlineData(vtkXMLDataElement* a, uint64_t& at) {
    uint64_t p = uint64_t(a->GetXMLByteIndex());
    char c = 0;
    while (_file.read(p, 1, &c) && c != '>') ++p;
    if (c != '>') return false;
    ++p;
    while (_file.read(p, 1, &c) && (c == ' ' || c == '\n' || c == '\r' || c == '\t')) ++p;
    at = p;
    return true;
  }

  // The block header of one encoded array weighed against the bytes the file has left and the
  // limits; fills in the layout's framing and the bytes it decodes to.
  bool checkEncoded(const std::string& what, Layout& l) {
    const Stream& s = l.stream;
    const uint64_t left = _file.size() - s.begin;
    std::vector<uint8_t> header;
    const std::string past = what + "'s block header is cut off or damaged";
    if (!_compressed) {
      if (!decodeRange(_file, s, 0, _headerSize, header)) return fail(past);
      l.held = word(header.data(), 0);
      if (l.held > DataFileCheck::MaxArrayBytes)
        return fail(what + " would hold " + number(l.held) + " bytes, more than the limit of " +
                    number(DataFileCheck::MaxArrayBytes));
      if (encodedLength(s.base64, uint64_t(_headerSize + l.held)) > left)
        return fail(what + " states " + number(l.held) + " bytes, more than the file holds");
      return true;
    }
    if (!decodeRange(_file, s, 0, 3 * _headerSize, header)) return fail(past);
    l.blocks = word(header.data(), 0);
    l.blockSize = word(header.data(), 1);
    l.lastSize = word(header.data(), 2);
    if (l.blocks == 0) return true;
    if (l.blockSize == 0) return fail(what + " states a block size of 0");
    if (l.lastSize > l.blockSize)
      return fail(what + " states a last block of " + number(l.lastSize) + " bytes, larger than its blocks of " +
                  number(l.blockSize));
    const Wide headerBytes = Wide(3 + Wide(l.blocks)) * _headerSize;
    if (headerBytes > left || Wide(encodedLength(s.base64, uint64_t(headerBytes))) > left)
      return fail(what + " states " + number(l.blocks) + " blocks, more than the file holds");
    l.held = Wide(l.blocks - 1) * l.blockSize + (l.lastSize ? l.lastSize : l.blockSize);
    if (l.held > DataFileCheck::MaxArrayBytes)
      return fail(what + " would decompress to " + number(l.held) + " bytes, more than the limit of " +
                  number(DataFileCheck::MaxArrayBytes));
    if (!decodeRange(_file, s, 0, uint64_t(headerBytes), header)) return fail(past);
    Wide compressed = 0;
    for (uint64_t b = 0; b < l.blocks; ++b) {
      l.compressedSizes.push_back(word(header.data(), size_t(3 + b)));
      compressed += l.compressedSizes.back();
    }
    const uint64_t headerLength = encodedLength(s.base64, uint64_t(headerBytes));
    if (compressed > left || Wide(encodedLength(s.base64, uint64_t(compressed))) > left - headerLength)
      return fail(what + "'s compressed blocks run past the end of the file");
    return true;
  }

  // Value index of the array as a reader would take it; false when it cannot be had (the reader
  // then fails on it as well).
  bool valueAt(const Layout& l, uint64_t index, long double& value) {
    if (!l.known || (!l.ascii && l.size == 0)) return false;
    if (l.ascii) return asciiValueAt(l, index, value);
    const uint64_t from = index * uint64_t(l.size), to = from + uint64_t(l.size);
    if (Wide(to) > l.held) return false;
    std::vector<uint8_t> bytes;
    if (!_compressed) {
      if (!decodeRange(_file, l.stream, _headerSize + from, _headerSize + to, bytes)) return false;
    } else {
      // The blocks' own base64 text follows the header's.
      const uint64_t headerBytes = (3 + l.blocks) * _headerSize;
      const Stream blocks{l.stream.begin + encodedLength(l.stream.base64, headerBytes), l.stream.base64};
      uint64_t at = 0;
      std::vector<uint8_t> packed, block;
      for (uint64_t b = 0; b < l.blocks && bytes.size() < to - from; at += l.compressedSizes[size_t(b)], ++b) {
        const uint64_t start = b * l.blockSize;
        const uint64_t length = (b + 1 == l.blocks && l.lastSize) ? l.lastSize : l.blockSize;
        if (start + length <= from + bytes.size()) continue;
        if (!decodeRange(_file, blocks, at, at + l.compressedSizes[size_t(b)], packed)) return false;
        block.resize(size_t(length));
        if (!_decompressor ||
            _decompressor->Uncompress(packed.data(), packed.size(), block.data(), block.size()) != length)
          return false;
        const uint64_t first = from + bytes.size() - start;
        const uint64_t take = std::min<uint64_t>(length - first, to - from - bytes.size());
        bytes.insert(bytes.end(), block.begin() + long(first), block.begin() + long(first + take));
      }
      if (bytes.size() != to - from) return false;
    }
    if (_swap) std::reverse(bytes.begin(), bytes.end());
    const ValueType* type = valueType(l.type);
    if (!type) return false;
    value = type->read(bytes.data());
    return true;
  }

  // The value of ASCII text: the index-th number.
  bool asciiValueAt(const Layout& l, uint64_t index, long double& value) {
    // The text is read in pieces: it may be as long as the file.
    uint64_t at = l.stream.begin, bufferAt = 0;
    std::vector<char> buffer;
    auto next = [&](char& c) {
      if (at < bufferAt || at >= bufferAt + buffer.size()) {
        bufferAt = at;
        buffer.resize(size_t(std::min<uint64_t>(1 << 16, _file.size() - std::min(at, _file.size()))));
        if (buffer.empty() || !_file.read(at, buffer.size(), buffer.data())) return false;
      }
      c = buffer[size_t(at - bufferAt)];
      return true;
    };
    std::string token;
    char c = 0;
    for (uint64_t n = 0;; ++n) {
      token.clear();
      while (next(c) && std::isspace(static_cast<unsigned char>(c))) ++at;
      while (next(c) && !std::isspace(static_cast<unsigned char>(c)) && c != '<') {
        token += c;
        ++at;
        if (token.size() > 64) return false;
      }
      if (token.empty()) return false;
      if (n == index) break;
    }
    char* end = nullptr;
    value = std::strtold(token.c_str(), &end);
    return end && *end == 0;
  }

  const FileBytes& _file;
  std::string& _why;
  size_t _headerSize = 4;
  bool _compressed = false;
  bool _swap = false;
  bool _appendedBase64 = true;
  bool _hasAppended = false;
  long long _appended = 0;
  Wide _total = 0;
  vtkSmartPointer<vtkDataCompressor> _decompressor;
};

// Points a cell of each type VTK draws has: exactly n, or at least n for those of any number.
struct CellPoints {
  int type;
  vtkIdType points;
  bool exact;
};
constexpr CellPoints CellTypes[] = {
    {VTK_EMPTY_CELL, 0, true},
    {VTK_VERTEX, 1, true},
    {VTK_POLY_VERTEX, 1, false},
    {VTK_LINE, 2, true},
    {VTK_POLY_LINE, 2, false},
    {VTK_TRIANGLE, 3, true},
    {VTK_TRIANGLE_STRIP, 3, false},
    {VTK_POLYGON, 3, false},
    {VTK_PIXEL, 4, true},
    {VTK_QUAD, 4, true},
    {VTK_TETRA, 4, true},
    {VTK_VOXEL, 8, true},
    {VTK_HEXAHEDRON, 8, true},
    {VTK_WEDGE, 6, true},
    {VTK_PYRAMID, 5, true},
    {VTK_PENTAGONAL_PRISM, 10, true},
    {VTK_HEXAGONAL_PRISM, 12, true},
    {VTK_QUADRATIC_EDGE, 3, true},
    {VTK_QUADRATIC_TRIANGLE, 6, true},
    {VTK_QUADRATIC_QUAD, 8, true},
    {VTK_QUADRATIC_POLYGON, 6, false},
    {VTK_QUADRATIC_TETRA, 10, true},
    {VTK_QUADRATIC_HEXAHEDRON, 20, true},
    {VTK_QUADRATIC_WEDGE, 15, true},
    {VTK_QUADRATIC_PYRAMID, 13, true},
    {VTK_BIQUADRATIC_QUAD, 9, true},
    {VTK_TRIQUADRATIC_HEXAHEDRON, 27, true},
    {VTK_TRIQUADRATIC_PYRAMID, 19, true},
    {VTK_QUADRATIC_LINEAR_QUAD, 6, true},
    {VTK_QUADRATIC_LINEAR_WEDGE, 12, true},
    {VTK_BIQUADRATIC_QUADRATIC_WEDGE, 18, true},
    {VTK_BIQUADRATIC_QUADRATIC_HEXAHEDRON, 24, true},
    {VTK_BIQUADRATIC_TRIANGLE, 7, true},
    {VTK_CUBIC_LINE, 4, true},
    {VTK_CONVEX_POINT_SET, 4, false},
    {VTK_POLYHEDRON, 4, false},
    // Higher orders: the order follows from the number of points.
    {VTK_LAGRANGE_CURVE, 2, false},
    {VTK_LAGRANGE_TRIANGLE, 3, false},
    {VTK_LAGRANGE_QUADRILATERAL, 4, false},
    {VTK_LAGRANGE_TETRAHEDRON, 4, false},
    {VTK_LAGRANGE_HEXAHEDRON, 8, false},
    {VTK_LAGRANGE_WEDGE, 6, false},
    {VTK_LAGRANGE_PYRAMID, 5, false},
    {VTK_BEZIER_CURVE, 2, false},
    {VTK_BEZIER_TRIANGLE, 3, false},
    {VTK_BEZIER_QUADRILATERAL, 4, false},
    {VTK_BEZIER_TETRAHEDRON, 4, false},
    {VTK_BEZIER_HEXAHEDRON, 8, false},
    {VTK_BEZIER_WEDGE, 6, false},
    {VTK_BEZIER_PYRAMID, 5, false},
};

const CellPoints* cellPoints(int type) {
  for (const CellPoints& c : CellTypes)
    if (c.type == type) return &c;
  return nullptr;
}

// Offsets from 0, never falling, ending at the connectivity's length, one more than cells
// (cells < 0: any count), each cell of at least minimum points.
bool checkCellArray(vtkCellArray* cells, vtkIdType count, vtkIdType minimum, const std::string& what,
                    std::string& why) {
  if (!cells) {
    if (count <= 0) return true;
    why = what + " are missing";
    return false;
  }
  const vtkIdType offsets = cells->GetOffsetsArray()->GetNumberOfValues();
  const vtkIdType ids = cells->GetConnectivityArray()->GetNumberOfValues();
  if (count >= 0 && offsets != count + 1 && !(count == 0 && offsets == 0)) {
    why = what + " give " + std::to_string(offsets - 1) + " cells, not " + std::to_string(count);
    return false;
  }
  bool sound = true;
  vtkIdType small = -1;  // a cell with fewer points than minimum
  auto walk = [&](auto* o) {
    const vtkIdType n = o->GetNumberOfValues();
    if (n == 0) return;
    const auto* v = o->GetPointer(0);
    sound = v[0] == 0 && vtkIdType(v[n - 1]) == ids;
    for (vtkIdType i = 1; i < n && sound; ++i) {
      sound = v[i] >= v[i - 1];
      if (small < 0 && vtkIdType(v[i] - v[i - 1]) < minimum) small = i - 1;
    }
  };
  if (cells->IsStorage64Bit())
    walk(cells->GetOffsetsArray64());
  else
    walk(cells->GetOffsetsArray32());
  if (!sound) {
    why = what + "' offsets do not run from 0 to the end of their points in order";
  } else if (small >= 0) {
    why = what + "' cell " + std::to_string(small) + " has " + std::to_string(cells->GetCellSize(small)) +
          " points, fewer than " + std::to_string(minimum);
    sound = false;
  }
  return sound;
}

bool checkPolyhedron(vtkUnstructuredGrid* grid, vtkIdType cell, std::string& why) {
  vtkIdTypeArray* faces = grid->GetFaces();
  vtkIdTypeArray* locations = grid->GetFaceLocations();
  const std::string what = "cell " + std::to_string(cell) + " is a polyhedron ";
  if (!faces || !locations || locations->GetNumberOfValues() <= cell || locations->GetValue(cell) < 0) {
    why = what + "without its faces";
    return false;
  }
  const vtkIdType end = faces->GetNumberOfValues(), points = grid->GetNumberOfPoints();
  vtkIdType at = locations->GetValue(cell);
  if (at >= end) {
    why = what + "whose faces lie beyond the face list";
    return false;
  }
  const vtkIdType count = faces->GetValue(at++);
  for (vtkIdType f = 0; f < count; ++f) {
    if (at >= end || faces->GetValue(at) < 3 || faces->GetValue(at) > end - at - 1) {
      why = what + "whose faces run beyond the face list";
      return false;
    }
    const vtkIdType n = faces->GetValue(at++);
    for (vtkIdType k = 0; k < n; ++k, ++at) {
      if (faces->GetValue(at) < 0 || faces->GetValue(at) >= points) {
        why = what + "whose faces name points that do not exist";
        return false;
      }
    }
  }
  if (count < 1) {
    why = what + "of no faces";
    return false;
  }
  return true;
}

bool checkAttributes(vtkDataSetAttributes* data, vtkIdType count, const char* what, std::string& why) {
  for (int i = 0; i < data->GetNumberOfArrays(); ++i) {
    vtkAbstractArray* a = data->GetAbstractArray(i);
    if (a && a->GetNumberOfTuples() < count) {
      why = std::string("its ") + what + " array '" + (a->GetName() ? a->GetName() : "") + "' holds " +
            std::to_string(a->GetNumberOfTuples()) + " values, not " + std::to_string(count);
      return false;
    }
  }
  return true;
}

}  // namespace

bool DataFileCheck::checkFile(const std::string& path, std::string& why) {
  FileBytes file(path);
  if (!file.isOpen()) return true;
  return FileCheck(file, why).run(path);
}

bool DataFileCheck::checkData(vtkDataSet* data, std::string& why) {
  if (!data) return true;
  if (auto* grid = vtkUnstructuredGrid::SafeDownCast(data)) {
    vtkUnsignedCharArray* types = grid->GetCellTypesArray();
    const vtkIdType cells = types ? types->GetNumberOfValues() : 0;
    if (!checkCellArray(grid->GetCells(), cells, 0, "its cells", why)) return false;
    vtkCellArray* cellArray = grid->GetCells();
    for (vtkIdType c = 0; c < cells; ++c) {
      const int type = types->GetValue(c);
      const CellPoints* expected = cellPoints(type);
      if (!expected) {
        why = "cell " + std::to_string(c) + " has the unknown type " + std::to_string(type);
        return false;
      }
      const vtkIdType size = cellArray->GetCellSize(c), n = expected->points;
      if (expected->exact ? size != n : size < n) {
        why = "cell " + std::to_string(c) + " of type " + std::to_string(type) + " has " + std::to_string(size) +
              " points, not " + (expected->exact ? "" : "at least ") + std::to_string(n);
        return false;
      }
      if (type == VTK_POLYHEDRON && !checkPolyhedron(grid, c, why)) return false;
    }
  } else if (auto* poly = vtkPolyData::SafeDownCast(data)) {
    // Poly data takes a cell of fewer points for an empty cell and cannot give its points back.
    const struct {
      vtkCellArray* cells;
      vtkIdType minimum;
      const char* what;
    } kinds[] = {{poly->GetVerts(), 1, "its verts"},
                 {poly->GetLines(), 2, "its lines"},
                 {poly->GetStrips(), 3, "its strips"},
                 {poly->GetPolys(), 3, "its polys"}};
    for (const auto& kind : kinds)
      if (!checkCellArray(kind.cells, -1, kind.minimum, kind.what, why)) return false;
  }
  return checkAttributes(data->GetPointData(), data->GetNumberOfPoints(), "point", why) &&
         checkAttributes(data->GetCellData(), data->GetNumberOfCells(), "cell", why);
}
