#include "BoundarySurface.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include <vtkCellArray.h>
#include <vtkCellData.h>
#include <vtkCellType.h>
#include <vtkHexahedron.h>
#include <vtkIdList.h>
#include <vtkPointData.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkPyramid.h>
#include <vtkSMPTools.h>
#include <vtkTetra.h>
#include <vtkUnsignedCharArray.h>
#include <vtkUnstructuredGrid.h>
#include <vtkWedge.h>


namespace {

using Id = vtkIdType;

// The faces of one cell type, their points as positions in the cell, in VTK's order.
struct Shape {
  int points = 0;
  int faces = 0;
  int size[6] = {};
  int local[6][4] = {};
};

// Shapes by cell type; points 0 for the types not handled here.
struct Shapes {
  Shape byType[VTK_PYRAMID + 1];
  Shapes() {
    add(VTK_TETRA, 4, 4, 3, vtkTetra::GetFaceArray);
    add(VTK_HEXAHEDRON, 8, 6, 4, vtkHexahedron::GetFaceArray);
    add(VTK_WEDGE, 6, 5, 4, vtkWedge::GetFaceArray);
    add(VTK_PYRAMID, 5, 5, 4, vtkPyramid::GetFaceArray);
  }
  // Faces of wedges and pyramids list up to 4 points, -1 ending a triangle's.
  void add(int type, int points, int faces, int listed, const vtkIdType* (*face)(vtkIdType)) {
    Shape& s = byType[type];
    s.points = points;
    s.faces = faces;
    for (int f = 0; f < faces; ++f) {
      const vtkIdType* ids = face(f);
      for (int k = 0; k < listed && ids[k] >= 0; ++k) s.local[f][s.size[f]++] = int(ids[k]);
    }
  }
  const Shape* of(unsigned char type) const {
    return type <= VTK_PYRAMID && byType[type].points ? &byType[type] : nullptr;
  }
};
const Shapes shapes;

// A face: its cell and its index among the cell's faces.
inline uint64_t faceRef(Id cell, int face) { return uint64_t(cell) * 8 + uint64_t(face); }
inline Id refCell(uint64_t ref) { return Id(ref / 8); }
inline int refFace(uint64_t ref) { return int(ref % 8); }

// What visit(cell, emit) emits for every cell, in cell order, in one array: a counting pass over
// fixed blocks of cells sizes it and places each block's part. Growing vectors on the worker
// threads would leave their discarded buffers in those threads' malloc arenas.
template <class T, class Visit>
std::vector<T> gather(Id cells, const Visit& visit) {
  constexpr Id Block = 16384;
  const Id blocks = (cells + Block - 1) / Block;
  std::vector<size_t> start(size_t(blocks) + 1, 0);
  vtkSMPTools::For(0, blocks, 1, [&](Id first, Id last) {
    for (Id b = first; b < last; ++b) {
      size_t n = 0;
      for (Id c = b * Block, end = std::min(cells, c + Block); c < end; ++c) visit(c, [&n](const T&) { ++n; });
      start[size_t(b) + 1] = n;
    }
  });
  for (size_t b = 0; b < size_t(blocks); ++b) start[b + 1] += start[b];
  std::vector<T> out(start.back());
  vtkSMPTools::For(0, blocks, 1, [&](Id first, Id last) {
    for (Id b = first; b < last; ++b) {
      T* at = out.data() + start[size_t(b)];
      for (Id c = b * Block, end = std::min(cells, c + Block); c < end; ++c) visit(c, [&at](const T& t) { *at++ = t; });
    }
  });
  return out;
}

// Value: the integer type the grid's cell array keeps its offsets and point ids in.
template <class Value>
class Extractor {
 public:
  explicit Extractor(vtkUnstructuredGrid* grid)
      : _grid(grid),
        _cells(grid->GetNumberOfCells()),
        _points(grid->GetNumberOfPoints()),
        _types(grid->GetCellTypesArray() ? grid->GetCellTypesArray()->GetPointer(0) : nullptr) {}

  vtkSmartPointer<vtkPolyData> run() {
    vtkCellArray* cells = _grid->GetCells();
    if (_cells == 0 || _points == 0 || !_types || !cells || !_grid->GetPoints()) return nullptr;
    vtkPointData* pd = _grid->GetPointData();
    vtkCellData* cd = _grid->GetCellData();
    if (pd->GetGlobalIds() || pd->GetPedigreeIds() || cd->GetGlobalIds() || cd->GetPedigreeIds() ||
        pd->GetArray(vtkDataSetAttributes::GhostArrayName()) || cd->GetArray(vtkDataSetAttributes::GhostArrayName()))
      return nullptr;
    if constexpr (sizeof(Value) == 8) {
      _offsets = cells->GetOffsetsArray64()->GetPointer(0);
      _connectivity = cells->GetConnectivityArray64()->GetPointer(0);
    } else {
      _offsets = cells->GetOffsetsArray32()->GetPointer(0);
      _connectivity = cells->GetConnectivityArray32()->GetPointer(0);
    }
    if (!cellsAreSound()) return nullptr;
    std::vector<uint64_t> faces = unpairedFaces();
    keepBoundaryFaces(faces);
    return surface(faces);
  }

 private:
  const Value* cellPoints(Id cell) const { return _connectivity + _offsets[cell]; }

  // Every cell of a handled type with its own number of points, each existing and named once.
  bool cellsAreSound() const {
    std::atomic<bool> sound{true};
    vtkSMPTools::For(0, _cells, [&](Id first, Id last) {
      for (Id c = first; c < last && sound; ++c) {
        const Shape* shape = shapes.of(_types[c]);
        if (!shape || _offsets[c + 1] - _offsets[c] != shape->points) {
          sound = false;
          return;
        }
        const Value* ids = cellPoints(c);
        for (int i = 0; i < shape->points; ++i) {
          if (ids[i] < 0 || ids[i] >= _points) sound = false;
          for (int j = 0; j < i; ++j)
            if (ids[i] == ids[j]) sound = false;
        }
      }
    });
    return sound;
  }

  // A face's points in ascending order, the unused places past its size left at -1.
  std::array<Id, 4> sortedPoints(uint64_t ref) const {
    const Id cell = refCell(ref);
    const Shape& shape = *shapes.of(_types[cell]);
    const int face = refFace(ref);
    const Value* ids = cellPoints(cell);
    std::array<Id, 4> key{-1, -1, -1, -1};
    for (int k = 0; k < shape.size[face]; ++k) {
      Id id = ids[shape.local[face][k]];
      int at = k;
      for (; at > 0 && key[size_t(at - 1)] > id; --at) key[size_t(at)] = key[size_t(at - 1)];
      key[size_t(at)] = id;
    }
    return key;
  }

  // An odd 64-bit digest of a face's point set.
  static uint64_t digest(const std::array<Id, 4>& key) {
    uint64_t h = 0x243f6a8885a308d3ULL;
    for (Id id : key) {
      h = (h ^ uint64_t(id)) * 0x9e3779b97f4a7c15ULL;
      h ^= h >> 29;
    }
    return h | 1;
  }

  // The digests of the faces whose lowest point is p, xor-ed into parity[p]: faces met twice
  // (two cells sharing them) cancel, so that a point whose faces are all shared keeps 0 and only
  // the few others need their faces looked at. A point with one unshared face cannot keep 0
  // (digests are odd); with more, only if their digests cancel by chance, about one time in
  // 2^63.
  std::unique_ptr<std::atomic<uint64_t>[]> parities() const {
    std::unique_ptr<std::atomic<uint64_t>[]> parity(new std::atomic<uint64_t>[size_t(_points)]());
    vtkSMPTools::For(0, _cells, [&](Id first, Id last) {
      for (Id c = first; c < last; ++c) {
        const Shape& shape = *shapes.of(_types[c]);
        for (int f = 0; f < shape.faces; ++f) {
          const std::array<Id, 4> key = sortedPoints(faceRef(c, f));
          parity[size_t(key[0])].fetch_xor(digest(key), std::memory_order_relaxed);
        }
      }
    });
    return parity;
  }

  // The faces no other face has the same points as, in cell and face order.
  std::vector<uint64_t> unpairedFaces() const {
    std::unique_ptr<std::atomic<uint64_t>[]> parity = parities();
    using Keyed = std::pair<std::array<Id, 4>, uint64_t>;
    std::vector<Keyed> keyed = gather<Keyed>(_cells, [&](Id c, const auto& emit) {
      const Shape& shape = *shapes.of(_types[c]);
      const Value* ids = cellPoints(c);
      for (int f = 0; f < shape.faces; ++f) {
        Id low = ids[shape.local[f][0]];
        for (int k = 1; k < shape.size[f]; ++k) low = std::min(low, Id(ids[shape.local[f][k]]));
        if (parity[size_t(low)].load(std::memory_order_relaxed) != 0) emit(Keyed(sortedPoints(faceRef(c, f)), faceRef(c, f)));
      }
    });
    parity.reset();
    vtkSMPTools::Sort(keyed.begin(), keyed.end());
    std::vector<uint64_t> faces;
    for (size_t i = 0; i < keyed.size();) {
      size_t j = i + 1;
      while (j < keyed.size() && keyed[j].first == keyed[i].first) ++j;
      if (j == i + 1) faces.push_back(keyed[i].second);
      i = j;
    }
    vtkSMPTools::Sort(faces.begin(), faces.end());
    return faces;
  }

  // Drops the unpaired faces whose points another cell uses all of without having that face
  // (cells meeting other than face to face): vtkGeometryFilter leaves those out as well.
  void keepBoundaryFaces(std::vector<uint64_t>& faces) const {
    std::vector<char> marked(size_t(_points), 0);
    for (uint64_t ref : faces)
      for (Id p : sortedPoints(ref))
        if (p >= 0) marked[size_t(p)] = 1;
    // The cells of each marked point, as (point, cell) in order.
    std::vector<std::pair<Id, Id>> links = gather<std::pair<Id, Id>>(_cells, [&](Id c, const auto& emit) {
      const Value* ids = cellPoints(c);
      for (Id k = 0, n = _offsets[c + 1] - _offsets[c]; k < n; ++k)
        if (marked[size_t(ids[k])]) emit(std::pair<Id, Id>(ids[k], c));
    });
    vtkSMPTools::Sort(links.begin(), links.end());

    std::vector<char> keep(faces.size(), 1);
    vtkSMPTools::For(0, Id(faces.size()), [&](Id first, Id last) {
      for (Id i = first; i < last; ++i) {
        const Id cell = refCell(faces[size_t(i)]);
        const std::array<Id, 4> key = sortedPoints(faces[size_t(i)]);
        auto it = std::lower_bound(links.begin(), links.end(), std::make_pair(key[0], Id(-1)));
        for (; it != links.end() && it->first == key[0] && keep[size_t(i)]; ++it) {
          if (it->second == cell) continue;
          const Value* ids = cellPoints(it->second);
          const Id n = _offsets[it->second + 1] - _offsets[it->second];
          bool all = true;
          for (size_t k = 1; k < 4 && key[k] >= 0 && all; ++k) all = std::find(ids, ids + n, key[k]) != ids + n;
          if (all) keep[size_t(i)] = 0;
        }
      }
    });
    size_t kept = 0;
    for (size_t i = 0; i < faces.size(); ++i)
      if (keep[i]) faces[kept++] = faces[i];
    faces.resize(kept);
  }

  vtkSmartPointer<vtkPolyData> surface(const std::vector<uint64_t>& faces) const {
    // The points the faces use, in grid order.
    std::vector<Id> used;
    for (uint64_t ref : faces)
      for (Id p : sortedPoints(ref))
        if (p >= 0) used.push_back(p);
    std::sort(used.begin(), used.end());
    used.erase(std::unique(used.begin(), used.end()), used.end());
    const Id usedCount = Id(used.size());

    vtkPoints* in = _grid->GetPoints();
    auto points = vtkSmartPointer<vtkPoints>::New();
    points->SetDataType(in->GetDataType());
    points->SetNumberOfPoints(usedCount);
    vtkDataArray* from = in->GetData();
    vtkDataArray* to = points->GetData();
    for (Id i = 0; i < usedCount; ++i) to->SetTuple(i, used[size_t(i)], from);

    auto offsets = vtkSmartPointer<vtkCellArray::ArrayType64>::New();
    auto connectivity = vtkSmartPointer<vtkCellArray::ArrayType64>::New();
    offsets->SetNumberOfValues(Id(faces.size()) + 1);
    Id size = 0;
    for (size_t i = 0; i < faces.size(); ++i) {
      offsets->SetValue(Id(i), size);
      size += shapes.of(_types[refCell(faces[i])])->size[refFace(faces[i])];
    }
    offsets->SetValue(Id(faces.size()), size);
    connectivity->SetNumberOfValues(size);
    const vtkTypeInt64* starts = offsets->GetPointer(0);
    vtkTypeInt64* ends = connectivity->GetPointer(0);
    vtkSMPTools::For(0, Id(faces.size()), [&](Id first, Id last) {
      for (Id i = first; i < last; ++i) {
        const Id cell = refCell(faces[size_t(i)]);
        const int face = refFace(faces[size_t(i)]);
        const Shape& shape = *shapes.of(_types[cell]);
        const Value* ids = cellPoints(cell);
        vtkTypeInt64* out = ends + starts[i];
        for (int k = 0; k < shape.size[face]; ++k)
          out[k] = Id(std::lower_bound(used.begin(), used.end(), ids[shape.local[face][k]]) - used.begin());
      }
    });
    auto polys = vtkSmartPointer<vtkCellArray>::New();
    polys->SetData(offsets, connectivity);

    auto output = vtkSmartPointer<vtkPolyData>::New();
    output->SetPoints(points);
    output->SetPolys(polys);

    auto fromIds = vtkSmartPointer<vtkIdList>::New();
    auto toIds = vtkSmartPointer<vtkIdList>::New();
    fromIds->SetNumberOfIds(usedCount);
    toIds->SetNumberOfIds(usedCount);
    for (Id i = 0; i < usedCount; ++i) {
      fromIds->SetId(i, used[size_t(i)]);
      toIds->SetId(i, i);
    }
    output->GetPointData()->CopyAllocate(_grid->GetPointData(), usedCount);
    output->GetPointData()->CopyData(_grid->GetPointData(), fromIds, toIds);

    fromIds->SetNumberOfIds(Id(faces.size()));
    toIds->SetNumberOfIds(Id(faces.size()));
    for (size_t i = 0; i < faces.size(); ++i) {
      fromIds->SetId(Id(i), refCell(faces[i]));
      toIds->SetId(Id(i), Id(i));
    }
    vtkCellData* outCD = output->GetCellData();
    outCD->CopyGlobalIdsOn();
    outCD->CopyAllocate(_grid->GetCellData(), Id(faces.size()));
    outCD->CopyData(_grid->GetCellData(), fromIds, toIds);
    return output;
  }

  vtkUnstructuredGrid* _grid;
  const Id _cells, _points;
  const unsigned char* _types;
  const Value* _offsets = nullptr;
  const Value* _connectivity = nullptr;
};

}  // namespace

vtkSmartPointer<vtkPolyData> BoundarySurface::extract(vtkUnstructuredGrid* grid) {
  vtkCellArray* cells = grid ? grid->GetCells() : nullptr;
  if (!cells) return nullptr;
  return cells->IsStorage64Bit() ? Extractor<vtkTypeInt64>(grid).run() : Extractor<vtkTypeInt32>(grid).run();
}
