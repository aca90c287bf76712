#pragma once
// The part the parallel readers of VTK XML files share: files of the form VTK's writers give by
// default (one piece, arrays appended raw or base64, zlib-compressed or not, little-endian, 32- or
// 64-bit block headers). It maps the file, parses its head, weighs every count, size and offset the
// file states against the file's length before allocating for it, and decodes and decompresses the
// blocks of all queued arrays on every core straight into the arrays. Any other form, and any
// damage, makes a step answer null or false: the caller then leaves the file to VTK's reader, which
// knows every form and names what is wrong. Runs on the calling thread, fanning out through
// vtkSMPTools.
#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include <vtkSmartPointer.h>
#include <vtkType.h>

class vtkCellArray;
class vtkDataArray;
class vtkDataSetAttributes;
class vtkPointSet;
class vtkXMLDataElement;

// A file mapped read-only for the read's duration.
class MappedFile {
 public:
  explicit MappedFile(const std::string& path);
  ~MappedFile();
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;
  const char* data() const { return _data; }
  size_t size() const { return _size; }

 private:
  const char* _data = nullptr;
  size_t _size = 0;
};

class AppendedDataReader {
 public:
  // One encoded stream of the appended data: raw bytes, or base64 text decoding to bytes.
  struct Stream {
    const char* begin = nullptr;
    size_t available = 0;  // bytes or characters up to the end of the file
    bool base64 = false;
  };
  // One piece of work: bytes [from, to) of a stream, inflated or copied to out.
  struct Job {
    Stream stream;
    uint64_t from = 0, to = 0;
    bool compressed = false;
    uint8_t* out = nullptr;
    uint64_t outBytes = 0;
  };
  // A cell array's offsets (with the leading 0 the file leaves out) and connectivity, queued.
  struct PendingCells {
    vtkSmartPointer<vtkDataArray> offsets, connectivity;
    vtkIdType cells = 0;
  };

  explicit AppendedDataReader(const MappedFile& file) : _file(file) {}

  // The one Piece of a file whose root and data set element are of type, the piece having only the
  // attributes named; null for any other form.
  vtkXMLDataElement* parseHead(const char* type, std::initializer_list<const char*> pieceAttributes);

  // The array an element describes, sized for tuples of its components (tuples < 0: from the length
  // the data gives) after lead leading tuples, its decoding queued. Made as VTK's reader makes it
  // unless given. Null when the element is of no form read here.
  vtkSmartPointer<vtkDataArray> queueArray(vtkXMLDataElement* e, vtkIdType tuples, int components = 0,
                                           vtkSmartPointer<vtkDataArray> array = nullptr, vtkIdType lead = 0);
  // Every array of a PointData or CellData element, into the attributes with their active ones.
  bool queueAttributes(vtkXMLDataElement* e, vtkIdType tuples, vtkDataSetAttributes* into);
  // The children of a piece into the slots named for them; false for a child of another name or
  // one named twice.
  static bool childrenByName(vtkXMLDataElement* piece,
                             std::initializer_list<std::pair<const char*, vtkXMLDataElement**>> slots);
  // The point coordinates (float or double) and the point and cell data of a point set.
  bool queuePointSet(vtkXMLDataElement* points, vtkXMLDataElement* pointData, vtkXMLDataElement* cellData,
                     vtkIdType nPoints, vtkIdType nCells, vtkPointSet* into);
  // The "offsets" and "connectivity" arrays among a cell element's children, for cells cells, into
  // the types a cell array keeps.
  bool queueCells(vtkXMLDataElement* e, vtkIdType cells, PendingCells& out);
  // Decodes every queued job; false when any block is damaged.
  bool runJobs();
  // The cell array of decoded offsets and connectivity; null when the offsets run backwards or do
  // not end at the connectivity's length.
  static vtkSmartPointer<vtkCellArray> finishCells(const PendingCells& pending);

  // Most one-byte values the appended data can decode to: no count a sound file states is larger.
  vtkIdType maxCount() const;

  // A non-negative decimal count attribute.
  static bool readCount(vtkXMLDataElement* e, const char* attribute, vtkIdType& value);
  static bool hasOnlyAttributes(vtkXMLDataElement* e, std::initializer_list<const char*> allowed);

 private:
  uint64_t word(const uint8_t* header, size_t index) const;

  const MappedFile& _file;
  const char* _appended = nullptr;
  size_t _appendedSize = 0;
  bool _base64 = false;
  bool _compressed = false;
  size_t _headerSize = 4;
  vtkSmartPointer<vtkXMLDataElement> _root;
  std::vector<Job> _jobs;
};
