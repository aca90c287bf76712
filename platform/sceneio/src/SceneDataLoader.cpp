#include "SceneDataLoader.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cmath>

#include <vtkCellArray.h>
#include <vtkCellData.h>
#include <vtkCommand.h>
#include <vtkDoubleArray.h>
#include <vtkExecutive.h>
#include <vtkExtractCells.h>
#include <vtkIdList.h>
#include <vtkGeometryFilter.h>
#include <vtkImageData.h>
#include <vtkPointData.h>
#include <vtkPolyData.h>
#include <vtkTriangleFilter.h>
#include <vtkSmartPointer.h>
#include <vtkUnstructuredGrid.h>
#include <vtkXMLImageDataReader.h>
#include <vtkXMLPolyDataReader.h>
#include <vtkXMLUnstructuredGridReader.h>

#include "BoundarySurface.h"
#include "DataFileCheck.h"
#include "Logger.h"
#include "ParallelGridReader.h"
#include "ParallelPolyDataReader.h"
#include "SceneBlock.h"
#include "kvg/CollectionNode.h"
#include "kvg/ImageDataNode.h"
#include "kvg/PolyDataNode.h"

namespace {

// Farther than this from the origin a coordinate cannot be drawn (the GL works in floats) and
// would ruin the view's bounds as surely as an infinite one.
constexpr double MaxCoordinate = 1e30;

// True when every cell of the array names a point below n.
bool idsInRange(vtkCellArray* cells, vtkIdType n) {
  vtkDataArray* ids = cells ? cells->GetConnectivityArray() : nullptr;
  if (!ids || ids->GetNumberOfTuples() == 0) return true;
  double range[2];
  ids->GetRange(range, 0);
  return range[0] >= 0 && range[1] < double(n);
}

bool allIdsInRange(vtkPointSet* data, vtkIdType n) {
  if (auto* poly = vtkPolyData::SafeDownCast(data))
    return idsInRange(poly->GetVerts(), n) && idsInRange(poly->GetLines(), n) && idsInRange(poly->GetPolys(), n) &&
           idsInRange(poly->GetStrips(), n);
  if (auto* grid = vtkUnstructuredGrid::SafeDownCast(data)) return idsInRange(grid->GetCells(), n);
  return true;
}

// Cells the scene cannot draw go, and the rest stays:
// - a point at infinity, NaN or beyond MaxCoordinate ruins the bounds of everything drawn with
//   it (the whole surface vanishes, the view reset goes astray): such points go, with the cells
//   that use them;
// - a cell naming a point the data does not have (a damaged file: VTK's readers take it as it
//   stands) would make every later step read beyond the points.
// Returns the data unchanged when nothing goes; counts what went in badPoints and badCells.
vtkSmartPointer<vtkDataSet> withoutUnusableCells(vtkPointSet* data, vtkIdType& badPoints, vtkIdType& badCells) {
  badPoints = badCells = 0;
  vtkPoints* points = data ? data->GetPoints() : nullptr;
  const vtkIdType n = points ? points->GetNumberOfPoints() : 0;
  std::vector<char> bad(size_t(n), 0);
  for (vtkIdType i = 0; i < n; ++i) {
    double p[3];
    points->GetPoint(i, p);
    const auto usable = [](double v) { return std::isfinite(v) && std::fabs(v) <= MaxCoordinate; };
    if (!usable(p[0]) || !usable(p[1]) || !usable(p[2])) {
      bad[size_t(i)] = 1;
      ++badPoints;
    }
  }
  const bool idsUsable = allIdsInRange(data, n);
  if (!data || (badPoints == 0 && idsUsable)) return data;
  auto keep = vtkSmartPointer<vtkIdList>::New();
  auto cellPoints = vtkSmartPointer<vtkIdList>::New();
  for (vtkIdType c = 0; c < data->GetNumberOfCells(); ++c) {
    data->GetCellPoints(c, cellPoints);
    bool named = true, finite = true;
    for (vtkIdType k = 0; k < cellPoints->GetNumberOfIds() && named && finite; ++k) {
      const vtkIdType id = cellPoints->GetId(k);
      named = id >= 0 && id < n;
      finite = named && !bad[size_t(id)];
    }
    if (!named) ++badCells;
    if (named && finite) keep->InsertNextId(c);
  }
  auto extract = vtkSmartPointer<vtkExtractCells>::New();
  extract->SetInputData(data);
  extract->SetCellList(keep);
  extract->Update();
  return extract->GetOutput();
}

// Poly data as the scene draws it: a data set that lost cells comes back as a surface.
vtkSmartPointer<vtkPolyData> finiteSurface(vtkPointSet* data, const std::string& name) {
  vtkIdType badPoints = 0, badCells = 0;
  vtkSmartPointer<vtkDataSet> finite = withoutUnusableCells(data, badPoints, badCells);
  if (badPoints > 0)
    Logger::getSingleton().warning("'" + name + "' has " + std::to_string(badPoints) +
                                   " points that are not finite or lie beyond 1e30; they and the cells that use "
                                   "them are left out");
  if (badCells > 0)
    Logger::getSingleton().warning("'" + name + "' has " + std::to_string(badCells) +
                                   " cells naming points that do not exist; they are left out");
  if (auto poly = vtkPolyData::SafeDownCast(finite)) return poly;
  // The same surface vtkGeometryFilter gives, in a fraction of its time for the grids it takes.
  if (auto* grid = vtkUnstructuredGrid::SafeDownCast(finite))
    if (vtkSmartPointer<vtkPolyData> boundary = BoundarySurface::extract(grid)) return boundary;
  auto surface = vtkSmartPointer<vtkGeometryFilter>::New();
  surface->SetInputData(finite);
  surface->Update();
  return surface->GetOutput();
}

// Collects a reader's errors instead of letting them reach the output window.
class ReaderErrors : public vtkCommand {
 public:
  static ReaderErrors* New() { return new ReaderErrors; }
  void Execute(vtkObject*, unsigned long event, void* data) override {
    if (event != vtkCommand::ErrorEvent) return;
    if (message.empty() && data) {
      std::string text = static_cast<const char*>(data);
      // VTK prefixes the source position and the object; the last line is the message.
      while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
      size_t cut = text.rfind("): ");
      message = cut == std::string::npos ? text : text.substr(cut + 3);
    }
    failed = true;
  }
  bool failed = false;
  std::string message;
};

std::string lowerExtension(const std::string& name) {
  size_t dot = name.rfind('.');
  if (dot == std::string::npos || name.find('/', dot) != std::string::npos) return std::string();
  std::string ext = name.substr(dot);
  for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
  return ext;
}

template <class Reader>
vtkSmartPointer<Reader> readFile(const std::string& path, std::string& error) {
  auto reader = vtkSmartPointer<Reader>::New();
  auto errors = vtkSmartPointer<ReaderErrors>::New();
  reader->AddObserver(vtkCommand::ErrorEvent, errors);
  reader->AddObserver(vtkCommand::WarningEvent, errors);
  reader->SetReaderErrorObserver(errors);
  reader->SetParserErrorObserver(errors);
  reader->GetExecutive()->AddObserver(vtkCommand::ErrorEvent, errors);
  if (!reader->CanReadFile(path.c_str())) {
    error = "it is no VTK XML file of this kind";
    return nullptr;
  }
  reader->SetFileName(path.c_str());
  reader->Update();
  if (errors->failed || reader->GetErrorCode() != 0 || !reader->GetOutputDataObject(0)) {
    error = errors->message.empty() ? "VTK's reader failed" : errors->message;
    return nullptr;
  }
  if (!DataFileCheck::checkData(reader->GetOutput(), error)) return nullptr;
  return reader;
}

bool checkFileName(const std::string& name, std::string& error) {
  if (name.empty()) {
    error = "a data file name is empty";
    return false;
  }
  if (name[0] == '/' || name[0] == '\\' || (name.size() > 1 && name[1] == ':')) {
    error = "the data file '" + name + "' must be named relative to the scene file";
    return false;
  }
  std::string part;
  for (size_t i = 0; i <= name.size(); ++i) {
    if (i == name.size() || name[i] == '/' || name[i] == '\\') {
      if (part == "..") {
        error = "the data file '" + name + "' lies outside the scene's folder";
        return false;
      }
      part.clear();
    } else {
      part += name[i];
    }
  }
  return true;
}

// Reads "pointData" or "cellData": each entry a list (one component) or a block
// { components = k  values = [...] }, with count tuples.
bool readArrays(const Properties& block, const std::string& where, vtkIdType count, vtkDataSetAttributes* into,
                std::string& error) {
  for (const std::string& name : block.names()) {
    std::vector<double> values;
    int components = 1;
    if (block.typeOf(name) == Properties::Type::Nested) {
      Properties arrayBlock = block.getProperties(name);
      SceneBlock b(arrayBlock, where + " array '" + name + "'");
      if (!b.only({"components", "values"}) || !b.getInt("components", components, true) ||
          !b.getReals("values", values, true)) {
        error = b.error();
        return false;
      }
      if (components < 1 || components > 9) {
        error = where + " array '" + name + "': 'components' must be 1 to 9";
        return false;
      }
    } else {
      SceneBlock b(block, where);
      if (!b.getReals(name.c_str(), values, true)) {
        error = b.error();
        return false;
      }
    }
    if (values.size() != size_t(count) * size_t(components)) {
      error = where + " array '" + name + "' holds " + std::to_string(values.size()) + " numbers, not " +
              std::to_string(size_t(count) * size_t(components));
      return false;
    }
    auto array = vtkSmartPointer<vtkDoubleArray>::New();
    array->SetName(name.c_str());
    array->SetNumberOfComponents(components);
    array->SetNumberOfTuples(count);
    std::copy(values.begin(), values.end(), array->GetPointer(0));
    into->AddArray(array);
    if (components == 1 && !into->GetScalars()) into->SetActiveScalars(name.c_str());
    if (components == 3 && !into->GetVectors()) into->SetActiveVectors(name.c_str());
  }
  return true;
}

// Cells in VTK's legacy layout: n, then n point ids, repeated.
bool readCells(const std::vector<double>& layout, vtkIdType points, vtkCellArray* cells, const std::string& what,
               std::string& error) {
  size_t i = 0;
  while (i < layout.size()) {
    double n = layout[i++];
    if (n < 1 || n != std::floor(n) || i + size_t(n) > layout.size()) {
      error = "'" + what + "' is not a list of point counts, each followed by that many point numbers";
      return false;
    }
    cells->InsertNextCell(vtkIdType(n));
    for (size_t k = 0; k < size_t(n); ++k) {
      double id = layout[i++];
      if (id < 0 || id >= double(points) || id != std::floor(id)) {
        error = "'" + what + "' names point " + std::to_string((long long)id) + ", which does not exist";
        return false;
      }
      cells->InsertCellPoint(vtkIdType(id));
    }
  }
  return true;
}

}  // namespace

SceneDataLoader::SceneDataLoader(std::string baseDirectory, SharedDataFiles* shared)
    : _baseDirectory(std::move(baseDirectory)), _shared(shared) {}

kvg::Ptr<kvg::Node> SceneDataLoader::load(const Properties& drawable, const char* key, Need need, std::string& error) {
  switch (drawable.typeOf(key)) {
    case Properties::Type::String:
      return loadFile(drawable.getString(key), need, error);
    case Properties::Type::StringList: {
      if (need == ImageData) {
        error = "a volume takes one data file";
        return nullptr;
      }
      std::vector<std::string> names;
      drawable.get(key, names);
      kvg::Ptr<kvg::CollectionNode> collection(new kvg::CollectionNode);
      for (const std::string& name : names) {
        kvg::Ptr<kvg::Node> node = loadFile(name, need, error);
        if (!node) return nullptr;
        collection->addNode(node);
      }
      return collection;
    }
    case Properties::Type::Nested:
      return loadInline(drawable.getProperties(key), "inline data", need, error);
    case Properties::Type::None:
      error = std::string("'") + key + "' is missing";
      return nullptr;
    default:
      error = std::string("'") + key + "' must be a file name, a list of file names or a block";
      return nullptr;
  }
}

kvg::Ptr<kvg::Node> SceneDataLoader::loadFile(const std::string& name, Need need, std::string& error) {
  if (!checkFileName(name, error)) return nullptr;
  auto cached = _files.find(name);
  if (cached != _files.end()) {
    if (need == ImageData && !cached->second.tryCast<kvg::ImageDataNode>()) {
      error = "the volume data '" + name + "' is no image data (.vti)";
      return nullptr;
    }
    return cached->second;
  }
  const std::string path = _baseDirectory.empty() ? name : _baseDirectory + "/" + name;
  struct stat st;
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
    error = "the data file '" + name + "' does not exist";
    return nullptr;
  }
  if (uint64_t(st.st_size) > MaxFileBytes) {
    error = "the data file '" + name + "' is larger than " + std::to_string(MaxFileBytes) + " bytes";
    return nullptr;
  }
  const std::string ext = lowerExtension(name);
  if (need == ImageData && ext != ".vti") {
    error = "the volume data '" + name + "' is no image data (.vti)";
    return nullptr;
  }
  std::string why;
  kvg::Ptr<kvg::Node> node;
  const long long modifiedNs = (long long)st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec;
  if (_shared) {
    // The same file, unchanged, still held by an earlier load: share its arrays.
    auto it = _shared->files.find(path);
    if (it != _shared->files.end() && it->second.data && it->second.size == (long long)st.st_size &&
        it->second.modifiedNs == modifiedNs) {
      if (auto* image = vtkImageData::SafeDownCast(it->second.data)) {
        auto copy = vtkSmartPointer<vtkImageData>::New();
        copy->ShallowCopy(image);
        node = new kvg::ImageDataNode(copy);
      } else if (auto* poly = vtkPolyData::SafeDownCast(it->second.data)) {
        auto copy = vtkSmartPointer<vtkPolyData>::New();
        copy->ShallowCopy(poly);
        node = new kvg::PolyDataNode(copy);
      }
    }
  }
  if (node) {
    _files[name] = node;
    return node;
  }
  // Every count, size and offset the file states, weighed before any reader allocates from it.
  if (!DataFileCheck::checkFile(path, why)) {
    error = "the data file '" + name + "' cannot be read: " + why;
    return nullptr;
  }
  // The parallel readers take the form VTK's writers give by default; VTK's readers the other
  // forms, and name what is wrong. Both readers' data passes the same check before its cells are
  // walked.
  if (ext == ".vtp") {
    if (vtkSmartPointer<vtkPolyData> surface = ParallelPolyDataReader::read(path)) {
      if (DataFileCheck::checkData(surface, why)) node = new kvg::PolyDataNode(finiteSurface(surface, name));
    } else if (auto r = readFile<vtkXMLPolyDataReader>(path, why)) {
      node = new kvg::PolyDataNode(finiteSurface(r->GetOutput(), name));
    }
  } else if (ext == ".vti") {
    if (auto r = readFile<vtkXMLImageDataReader>(path, why)) node = new kvg::ImageDataNode(r->GetOutput());
  } else if (ext == ".vtu") {
    if (vtkSmartPointer<vtkUnstructuredGrid> grid = ParallelGridReader::read(path)) {
      if (DataFileCheck::checkData(grid, why)) node = new kvg::PolyDataNode(finiteSurface(grid, name));
    } else if (auto r = readFile<vtkXMLUnstructuredGridReader>(path, why)) {
      node = new kvg::PolyDataNode(finiteSurface(r->GetOutput(), name));
    }
  } else {
    error = "the data file '" + name + "' is not .vtp, .vtu or .vti";
    return nullptr;
  }
  if (!node) {
    error = "the data file '" + name + "' cannot be read: " + why;
    return nullptr;
  }
  _files[name] = node;
  if (_shared) {
    vtkDataObject* data = nullptr;
    if (auto* image = node.tryCast<kvg::ImageDataNode>()) data = image->getImageData();
    else if (auto* poly = node.tryCast<kvg::PolyDataNode>()) data = poly->getPolyData();
    // Entries whose data has gone are dropped as new ones come.
    for (auto it = _shared->files.begin(); it != _shared->files.end();)
      it = it->second.data ? std::next(it) : _shared->files.erase(it);
    if (data) _shared->files[path] = SharedDataFile{data, (long long)st.st_size, modifiedNs};
  }
  return node;
}

kvg::Ptr<kvg::Node> SceneDataLoader::loadInline(const Properties& block, const std::string& where, Need need,
                                                std::string& error) {
  SceneBlock b(block, where);
  if (!block.hasName("points") && !block.hasName("dimensions")) {
    // A collection of inline data sets, one block each.
    if (need == ImageData || block.empty()) {
      error = where + ": give 'points' (poly data) or 'dimensions' (image data)";
      return nullptr;
    }
    kvg::Ptr<kvg::CollectionNode> collection(new kvg::CollectionNode);
    for (const std::string& name : block.names()) {
      if (block.typeOf(name) != Properties::Type::Nested) {
        error = where + ": '" + name + "' must be a block";
        return nullptr;
      }
      kvg::Ptr<kvg::Node> part = loadInline(block.getProperties(name), where + " '" + name + "'", need, error);
      if (!part) return nullptr;
      collection->addNode(part);
    }
    return collection;
  }

  if (block.hasName("dimensions")) {
    std::vector<double> dims;
    kvg::Vec3 origin{0, 0, 0}, spacing{1, 1, 1};
    Properties pointData;
    if (!b.only({"dimensions", "origin", "spacing", "pointData"}) || !b.getReals("dimensions", dims, true) ||
        !b.getVec3("origin", origin) || !b.getVec3("spacing", spacing) || !b.getBlock("pointData", pointData)) {
      error = b.error();
      return nullptr;
    }
    double count = 1;
    for (double d : dims) count *= d;
    if (dims.size() != 3 || dims[0] < 1 || dims[1] < 1 || dims[2] < 1 || dims[0] != std::floor(dims[0]) ||
        dims[1] != std::floor(dims[1]) || dims[2] != std::floor(dims[2]) || count > double(MaxInlineValues)) {
      error = where + ": 'dimensions' must be 3 whole numbers of at least 1, at most " +
              std::to_string(MaxInlineValues) + " points in all";
      return nullptr;
    }
    for (double v : {origin[0], origin[1], origin[2], spacing[0], spacing[1], spacing[2]}) {
      if (!std::isfinite(v) || std::fabs(v) > MaxCoordinate) {
        error = where + ": 'origin' and 'spacing' must be finite and at most 1e30";
        return nullptr;
      }
    }
    if (spacing[0] <= 0 || spacing[1] <= 0 || spacing[2] <= 0) {
      error = where + ": 'spacing' must be positive";
      return nullptr;
    }
    auto image = vtkSmartPointer<vtkImageData>::New();
    image->SetDimensions(int(dims[0]), int(dims[1]), int(dims[2]));
    image->SetOrigin(origin.data());
    image->SetSpacing(spacing.data());
    if (!readArrays(pointData, where + " pointData", image->GetNumberOfPoints(), image->GetPointData(), error))
      return nullptr;
    return new kvg::ImageDataNode(image);
  }

  if (need == ImageData) {
    error = where + ": a volume needs image data ('dimensions')";
    return nullptr;
  }
  std::vector<double> xyz, verts, lines, polys;
  Properties pointData, cellData;
  if (!b.only({"points", "verts", "lines", "polys", "pointData", "cellData"}) ||
      !b.getReals("points", xyz, true, 3) || !b.getReals("verts", verts) || !b.getReals("lines", lines) ||
      !b.getReals("polys", polys) || !b.getBlock("pointData", pointData) || !b.getBlock("cellData", cellData)) {
    error = b.error();
    return nullptr;
  }
  if (xyz.size() > MaxInlineValues) {
    error = where + ": more than " + std::to_string(MaxInlineValues) + " numbers in 'points'";
    return nullptr;
  }
  auto poly = vtkSmartPointer<vtkPolyData>::New();
  auto points = vtkSmartPointer<vtkPoints>::New();
  points->SetDataTypeToDouble();
  const vtkIdType n = vtkIdType(xyz.size() / 3);
  points->SetNumberOfPoints(n);
  for (vtkIdType i = 0; i < n; ++i) points->SetPoint(i, &xyz[size_t(i) * 3]);
  poly->SetPoints(points);
  struct {
    const char* name;
    const std::vector<double>& layout;
    void (vtkPolyData::*set)(vtkCellArray*);
  } kinds[] = {{"verts", verts, &vtkPolyData::SetVerts},
               {"lines", lines, &vtkPolyData::SetLines},
               {"polys", polys, &vtkPolyData::SetPolys}};
  for (auto& kind : kinds) {
    if (kind.layout.empty()) continue;
    auto cells = vtkSmartPointer<vtkCellArray>::New();
    if (!readCells(kind.layout, n, cells, kind.name, error)) {
      error = where + ": " + error;
      return nullptr;
    }
    (poly.GetPointer()->*kind.set)(cells);
  }
  if (!readArrays(pointData, where + " pointData", n, poly->GetPointData(), error) ||
      !readArrays(cellData, where + " cellData", poly->GetNumberOfCells(), poly->GetCellData(), error))
    return nullptr;
  if (!DataFileCheck::checkData(poly, error)) {
    error = where + ": " + error;
    return nullptr;
  }
  return new kvg::PolyDataNode(finiteSurface(poly, where));
}

namespace {

std::vector<double> valuesOf(vtkDataArray* array) {
  std::vector<double> values(size_t(array->GetNumberOfTuples()) * size_t(array->GetNumberOfComponents()));
  size_t k = 0;
  for (vtkIdType t = 0; t < array->GetNumberOfTuples(); ++t)
    for (int c = 0; c < array->GetNumberOfComponents(); ++c) values[k++] = array->GetComponent(t, c);
  return values;
}

Properties arraysOf(vtkDataSetAttributes* data) {
  Properties arrays;
  for (int i = 0; i < data->GetNumberOfArrays(); ++i) {
    vtkDataArray* a = data->GetArray(i);
    if (!a || !a->GetName() || !*a->GetName()) continue;
    if (a->GetNumberOfComponents() == 1) {
      arrays.set(a->GetName(), valuesOf(a));
    } else {
      Properties block;
      block.set("components", a->GetNumberOfComponents());
      block.set("values", valuesOf(a));
      arrays.set(a->GetName(), block);
    }
  }
  return arrays;
}

std::vector<double> cellsOf(vtkCellArray* cells) {
  std::vector<double> layout;
  vtkIdType n;
  const vtkIdType* ids;
  for (cells->InitTraversal(); cells->GetNextCell(n, ids);) {
    layout.push_back(double(n));
    for (vtkIdType k = 0; k < n; ++k) layout.push_back(double(ids[k]));
  }
  return layout;
}

}  // namespace

Properties SceneDataLoader::toInline(const kvg::Node& node) {
  Properties out;
  if (auto* image = dynamic_cast<const kvg::ImageDataNode*>(&node)) {
    vtkImageData* data = image->getImageData();
    int dims[3];
    data->GetDimensions(dims);
    out.set("dimensions", std::vector<double>{double(dims[0]), double(dims[1]), double(dims[2])});
    out.set("origin", std::vector<double>(data->GetOrigin(), data->GetOrigin() + 3));
    out.set("spacing", std::vector<double>(data->GetSpacing(), data->GetSpacing() + 3));
    out.set("pointData", arraysOf(data->GetPointData()));
  } else if (auto* poly = dynamic_cast<const kvg::PolyDataNode*>(&node)) {
    vtkSmartPointer<vtkPolyData> data = poly->getPolyData();
    if (data->GetNumberOfStrips() > 0) {
      // The inline form has no strips: their triangles instead.
      auto triangles = vtkSmartPointer<vtkTriangleFilter>::New();
      triangles->SetInputData(data);
      triangles->PassVertsOn();
      triangles->PassLinesOn();
      triangles->Update();
      data = triangles->GetOutput();
    }
    std::vector<double> xyz(size_t(data->GetNumberOfPoints()) * 3);
    for (vtkIdType i = 0; i < data->GetNumberOfPoints(); ++i) data->GetPoint(i, &xyz[size_t(i) * 3]);
    out.set("points", xyz);
    if (data->GetNumberOfVerts()) out.set("verts", cellsOf(data->GetVerts()));
    if (data->GetNumberOfLines()) out.set("lines", cellsOf(data->GetLines()));
    if (data->GetNumberOfPolys()) out.set("polys", cellsOf(data->GetPolys()));
    out.set("pointData", arraysOf(data->GetPointData()));
    out.set("cellData", arraysOf(data->GetCellData()));
  } else if (auto* collection = dynamic_cast<const kvg::CollectionNode*>(&node)) {
    int index = 0;
    for (const kvg::Ptr<kvg::Node>& part : collection->getNodes())
      if (part.get()) out.set("d" + std::to_string(index++), toInline(*part));
  }
  return out;
}
