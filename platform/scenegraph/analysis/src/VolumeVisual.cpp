#include "VolumeVisual.h"

#include "AnalysisPipeline.h"
#include "AnalysisVolume.h"
#include "IsoSurfaceBuilder.h"
#include "PlaneSectionBuilder.h"
#include "VolumeLookupTable.h"

#include <vtkActor.h>
#include <vtkColorTransferFunction.h>
#include <vtkDataArray.h>
#include <vtkExtractVOI.h>
#include <vtkGPUVolumeRayCastMapper.h>
#include <vtkImageData.h>
#include <vtkLookupTable.h>
#include <vtkMath.h>
#include <vtkMatrix4x4.h>
#include <vtkPlane.h>
#include <vtkPiecewiseFunction.h>
#include <vtkPlaneCollection.h>
#include <vtkPointData.h>
#include <vtkPolyData.h>
#include <vtkPolyDataMapper.h>
#include <vtkPropAssembly.h>
#include <vtkProperty.h>
#include <vtkVolume.h>
#include <vtkVolumeProperty.h>

#include <algorithm>
#include <array>
#include <cmath>

namespace kvg {
namespace analysis {

struct VolumeVisual::Section {
  SimplePlaneSection section;
  vtkSmartPointer<vtkPolyData> data;
  vtkSmartPointer<vtkPolyDataMapper> mapper;
  vtkSmartPointer<vtkActor> actor;
};

struct VolumeVisual::Iso {
  std::string field;
  double value = 0.0;
  vtkSmartPointer<vtkPolyData> data;
  vtkSmartPointer<vtkPolyDataMapper> mapper;
  vtkSmartPointer<vtkActor> actor;
};

namespace {

vtkSmartPointer<vtkPolyDataMapper> makeMapper(vtkPolyData* data) {
  auto mapper = vtkSmartPointer<vtkPolyDataMapper>::New();
  UseOwnExecutive(mapper);
  ConnectData(mapper, data);
  // The data object is refilled in place; the mapper only has to draw it.
  mapper->SetStatic(1);
  return mapper;
}

void setUnlit(vtkProperty* p) {
  p->LightingOff();
  p->SetAmbient(1.0);
  p->SetDiffuse(0.0);
  p->SetSpecular(0.0);
}

}  // namespace

// Makes `entries` show `wanted`, in order: entries already showing a wanted item stay as they
// are; the others are reused (recomputed) for new items, so a moving interactive section or
// iso value costs one computation per frame and no new mapper; only what is still missing is
// made and added to the assembly, and what is left over leaves it.
template <class Entry, class Item, class Same, class Refill, class Make>
void VolumeVisual::Reconcile(std::vector<std::unique_ptr<Entry>>& entries, const std::vector<Item>& wanted, Same same,
                             Refill refill, Make make) {
  std::vector<std::unique_ptr<Entry>> old;
  old.swap(entries);
  entries.resize(wanted.size());
  for (size_t i = 0; i < wanted.size(); ++i) {
    for (auto& e : old) {
      if (e && same(*e, wanted[i])) {
        entries[i] = std::move(e);
        break;
      }
    }
  }
  for (size_t i = 0; i < wanted.size(); ++i) {
    if (entries[i]) continue;
    for (auto& e : old) {
      if (e) {
        entries[i] = std::move(e);
        break;
      }
    }
    if (entries[i]) {
      refill(*entries[i], wanted[i]);
    } else {
      entries[i] = make(wanted[i]);
      _assembly->AddPart(entries[i]->actor);
    }
  }
  for (auto& e : old) {
    if (!e) continue;
    _assembly->RemovePart(e->actor);
    if (_window) e->actor->ReleaseGraphicsResources(_window);
  }
}

VolumeVisual::VolumeVisual(vtkImageData* volume, const std::string& scalarName, vtkLookupTable* table)
    : _data(volume), _scalarName(scalarName), _settingsApplied(false) {
  double range[2] = {0.0, 1.0};
  if (vtkDataArray* scalars = volume ? volume->GetPointData()->GetArray(scalarName.c_str()) : nullptr) {
    scalars->GetRange(range, 0);
  }
  _table = table ? vtkSmartPointer<vtkLookupTable>(table) : MakeDefaultLookupTable(range[0], range[1]);

  _assembly = vtkSmartPointer<vtkPropAssembly>::New();
  _clipPlanes = nullptr;

  _volumeProperty = vtkSmartPointer<vtkVolumeProperty>::New();
  _volumeProperty->SetColor(MakeColorTransferFunction(_table));
  _volumeProperty->SetInterpolationTypeToLinear();
  _volumeProperty->ShadeOff();

  _volumeMapper = vtkSmartPointer<vtkGPUVolumeRayCastMapper>::New();
  UseOwnExecutive(_volumeMapper);
  if (volume) ConnectData(_volumeMapper, volume);
  _volumeMapper->SetScalarModeToUsePointFieldData();
  _volumeMapper->SelectScalarArray(scalarName.c_str());
  _volumeMapper->SetBlendModeToComposite();

  _volume = vtkSmartPointer<AnalysisVolume>::New();
  _volume->SetMapper(_volumeMapper);
  _volume->SetProperty(_volumeProperty);
  _volume->SetVisibility(0);
  _assembly->AddPart(_volume);

  _sectionBuilder.reset(new PlaneSectionBuilder);
  _sectionBuilder->setInput(volume, scalarName);
  _fieldTables[scalarName] = _table;

  applySettings(_settings);
}

VolumeVisual::~VolumeVisual() = default;

vtkImageData* VolumeVisual::data() const { return _data; }
vtkLookupTable* VolumeVisual::lookupTable() const { return _table; }
vtkPropAssembly* VolumeVisual::assembly() const { return _assembly; }
vtkVolume* VolumeVisual::volume() const { return _volume; }

void VolumeVisual::getBounds(double bounds[6]) const {
  if (_data) {
    _data->GetBounds(bounds);
  } else {
    for (int i = 0; i < 6; ++i) bounds[i] = (i % 2) ? -1.0 : 1.0;
  }
}

void VolumeVisual::getScalarRange(double range[2]) const {
  const double* r = _table->GetRange();
  range[0] = r[0];
  range[1] = r[1];
  if (vtkDataArray* scalars = _data ? _data->GetPointData()->GetArray(_scalarName.c_str()) : nullptr) {
    scalars->GetRange(range, 0);
  }
}

double VolumeVisual::distanceTo(const double p[3]) const {
  double b[6];
  getBounds(b);
  double d2 = 0.0;
  for (int a = 0; a < 3; ++a) {
    const double below = b[2 * a] - p[a], above = p[a] - b[2 * a + 1];
    const double d = std::max(0.0, std::max(below, above));
    d2 += d * d;
  }
  return std::sqrt(d2);
}

bool VolumeVisual::contains(const double p[3]) const {
  if (!_data) return false;
  double b[6];
  getBounds(b);
  for (int a = 0; a < 3; ++a) {
    if (!(p[a] >= b[2 * a] && p[a] <= b[2 * a + 1])) return false;
  }
  return true;
}

void VolumeVisual::applySettings(const VolumeSettings& s) {
  const bool first = !_settingsApplied;
  _settingsApplied = true;
  const bool boundsChanged = first || s.preciseBounds != _settings.preciseBounds;

  if (first || s.quality != _settings.quality || s.vrMode != _settings.vrMode || s.noisyStart != _settings.noisyStart) {
    double spacing[3] = {1, 1, 1};
    if (_data) _data->GetSpacing(spacing);
    const double cell = std::min(std::fabs(spacing[0]), std::min(std::fabs(spacing[1]), std::fabs(spacing[2])));
    const double q = std::max(0.05, std::min(1.0, s.quality));
    // Quality 1 samples every half cell, 0.5 every cell, 0.1 every five cells.
    _volumeMapper->SetAutoAdjustSampleDistances(s.vrMode ? 0 : 1);
    _volumeMapper->SetSampleDistance(static_cast<float>(cell * 0.5 / q));
    _volumeMapper->SetImageSampleDistance(q < 0.3 ? 2.0f : 1.0f);
    _volumeMapper->SetUseJittering(s.noisyStart ? 1 : 0);
    _volumeProperty->SetScalarOpacityUnitDistance(cell * 4.0);
  }
  if (first || s.volumeOpacity != _settings.volumeOpacity) {
    const double top = std::max(0.0, std::min(1.0, s.volumeOpacity));
    _volumeProperty->SetScalarOpacity(MakeOpacityRamp(_table, 0.1 * top, top));
  }
  const bool isoChanged = first || s.isoOpacity != _settings.isoOpacity || s.isoLighting != _settings.isoLighting;
  _settings = s;
  if (isoChanged) {
    for (auto& iso : _isos) styleIso(*iso);
  }
  if (boundsChanged) _cropKey.clear();
  updateVolumeClipping();
}

void VolumeVisual::setClippingPlanes(vtkPlaneCollection* planes) {
  if (planes != _clipPlanes) {
    _clipPlanes = planes;
    for (auto& s : _sections) s->mapper->SetClippingPlanes(planes);
    for (auto& i : _isos) i->mapper->SetClippingPlanes(planes);
  }
  updateVolumeClipping();
}

namespace {

// The axis-aligned box around what the half-spaces keep of `bounds` (each plane keeps the side
// its normal points to, as VTK's clipping does). The kept part is a convex polyhedron: its
// corners are where three of the bounding planes meet inside all the others. False when nothing
// is kept.
bool KeptBox(const double bounds[6], const std::vector<std::array<double, 4>>& halfSpaces, double box[6]) {
  std::vector<std::array<double, 4>> all = halfSpaces;  // n . x + d >= 0
  for (int a = 0; a < 3; ++a) {
    std::array<double, 4> low{0, 0, 0, -bounds[2 * a]}, high{0, 0, 0, bounds[2 * a + 1]};
    low[a] = 1;
    high[a] = -1;
    all.push_back(low);
    all.push_back(high);
  }
  const double size = std::max({bounds[1] - bounds[0], bounds[3] - bounds[2], bounds[5] - bounds[4], 1e-12});
  const double tolerance = 1e-9 * size;
  bool any = false;
  for (size_t i = 0; i < all.size(); ++i)
    for (size_t j = i + 1; j < all.size(); ++j)
      for (size_t k = j + 1; k < all.size(); ++k) {
        double m[3][3], rhs[3], x[3];
        const std::array<double, 4>* rows[3] = {&all[i], &all[j], &all[k]};
        for (int r = 0; r < 3; ++r) {
          for (int c = 0; c < 3; ++c) m[r][c] = (*rows[r])[c];
          rhs[r] = -(*rows[r])[3];
        }
        const double det = vtkMath::Determinant3x3(m);
        if (std::fabs(det) < 1e-12) continue;
        double mi[3][3];
        vtkMath::Invert3x3(m, mi);
        vtkMath::Multiply3x3(mi, rhs, x);
        bool inside = true;
        for (const auto& h : all) inside = inside && h[0] * x[0] + h[1] * x[1] + h[2] * x[2] + h[3] >= -tolerance;
        if (!inside) continue;
        for (int a = 0; a < 3; ++a) {
          const double v = std::max(bounds[2 * a], std::min(bounds[2 * a + 1], x[a]));
          box[2 * a] = any ? std::min(box[2 * a], v) : v;
          box[2 * a + 1] = any ? std::max(box[2 * a + 1], v) : v;
        }
        any = true;
      }
  return any;
}

}  // namespace

// Render thread. Precise bounds: the mapper tests every sample against the planes. Approximate:
// the mapper draws only the whole cells of the box around the kept part, with no test per
// sample; the box is cut out again only when it gains or loses a layer of cells, so a plane
// dragged slowly costs nothing most frames.
void VolumeVisual::updateVolumeClipping() {
  const int count = _clipPlanes ? _clipPlanes->GetNumberOfItems() : 0;
  auto drawWhole = [this]() {
    if (_croppedData) {
      _croppedData = nullptr;
      if (_data) ConnectData(_volumeMapper, _data);
    }
  };
  if (_settings.preciseBounds || count == 0 || !_data) {
    drawWhole();
    vtkPlaneCollection* wanted = _settings.preciseBounds ? _clipPlanes.Get() : nullptr;
    if (_volumeMapper->GetClippingPlanes() != wanted) _volumeMapper->SetClippingPlanes(wanted);
    _cropKey.clear();
    _cropEmpty = false;
    _cropping = false;
    _volume->SetVisibility(_settings.volumeRendering && _data ? 1 : 0);
    return;
  }
  if (_volumeMapper->GetClippingPlanes()) _volumeMapper->SetClippingPlanes(static_cast<vtkPlaneCollection*>(nullptr));
  _cropping = true;

  // The planes are in world space, the box in the data's: bring the planes over.
  vtkMatrix4x4* toWorld = _volume->GetMatrix();
  double toData[16];
  vtkMatrix4x4::Invert(toWorld->GetData(), toData);
  std::vector<std::array<double, 4>> halfSpaces;
  for (int i = 0; i < count; ++i) {
    vtkPlane* plane = _clipPlanes->GetItem(i);
    double o[3], n[3];
    plane->GetOrigin(o);
    plane->GetNormal(n);
    const double ow[4] = {o[0], o[1], o[2], 1.0};
    double od[4];
    vtkMatrix4x4::MultiplyPoint(toData, ow, od);
    // A normal goes over with the transpose of the data-to-world matrix.
    double nd[3];
    for (int c = 0; c < 3; ++c)
      nd[c] = toWorld->GetElement(0, c) * n[0] + toWorld->GetElement(1, c) * n[1] + toWorld->GetElement(2, c) * n[2];
    if (!std::isfinite(nd[0] + nd[1] + nd[2] + od[0] + od[1] + od[2])) continue;
    halfSpaces.push_back({nd[0], nd[1], nd[2], -(nd[0] * od[0] + nd[1] * od[1] + nd[2] * od[2])});
  }
  double bounds[6], box[6];
  _data->GetBounds(bounds);
  std::vector<double> key;  // the extent in cells, or empty for nothing kept
  if (KeptBox(bounds, halfSpaces, box)) {
    int whole[6];
    double origin[3], spacing[3];
    _data->GetExtent(whole);
    _data->GetOrigin(origin);
    _data->GetSpacing(spacing);
    for (int a = 0; a < 3; ++a) {
      if (spacing[a] == 0) {
        key.push_back(whole[2 * a]);
        key.push_back(whole[2 * a + 1]);
        continue;
      }
      double lo = (box[2 * a] - origin[a]) / spacing[a], hi = (box[2 * a + 1] - origin[a]) / spacing[a];
      if (lo > hi) std::swap(lo, hi);
      const double eps = 1e-6;
      key.push_back(std::max<double>(whole[2 * a], std::floor(lo + eps)));
      key.push_back(std::min<double>(whole[2 * a + 1], std::ceil(hi - eps)));
    }
  }
  if (key != _cropKey || (!key.empty() && !_croppedData && !_cropEmpty)) {
    _cropKey = key;
    _cropEmpty = key.empty();
    int whole[6];
    _data->GetExtent(whole);
    bool all = !_cropEmpty;
    for (int i = 0; i < 6 && all; ++i) all = int(key[size_t(i)]) == whole[i];
    if (_cropEmpty || all) {
      drawWhole();
    } else {
      int voi[6];
      for (int i = 0; i < 6; ++i) voi[i] = int(key[size_t(i)]);
      vtkNew<vtkExtractVOI> extract;
      UseOwnExecutive(extract);
      extract->SetInputData(_data);
      extract->SetVOI(voi);
      extract->Update();
      _croppedData = vtkSmartPointer<vtkImageData>::New();
      _croppedData->ShallowCopy(extract->GetOutput());
      ConnectData(_volumeMapper, _croppedData);
    }
  }
  _volume->SetVisibility(_settings.volumeRendering && !_cropEmpty ? 1 : 0);
}

bool VolumeVisual::croppedBox(double box[6]) const {
  if (!_cropping || _cropEmpty) return false;
  (_croppedData ? _croppedData.Get() : _data.Get())->GetBounds(box);
  return true;
}

std::unique_ptr<VolumeVisual::Section> VolumeVisual::makeSection(const SimplePlaneSection& s) {
  std::unique_ptr<Section> entry(new Section);
  entry->section = s;
  entry->data = vtkSmartPointer<vtkPolyData>::New();
  _sectionBuilder->compute(s, entry->data);
  entry->mapper = makeMapper(entry->data);
  entry->mapper->SetLookupTable(_table);
  entry->mapper->UseLookupTableScalarRangeOn();
  entry->mapper->SetScalarModeToUsePointFieldData();
  entry->mapper->SelectColorArray(_scalarName.c_str());
  entry->mapper->SetColorModeToMapScalars();
  entry->mapper->InterpolateScalarsBeforeMappingOn();
  entry->mapper->ScalarVisibilityOn();
  entry->mapper->SetClippingPlanes(_clipPlanes);
  entry->actor = vtkSmartPointer<vtkActor>::New();
  entry->actor->SetMapper(entry->mapper);
  setUnlit(entry->actor->GetProperty());
  return entry;
}

void VolumeVisual::setPlaneSections(const std::vector<SimplePlaneSection>& sections) {
  std::vector<SimplePlaneSection> wanted;
  for (const SimplePlaneSection& s : sections) {
    if (!s.isNone()) wanted.push_back(s);
  }
  Reconcile(
      _sections, wanted, [](const Section& e, const SimplePlaneSection& s) { return e.section == s; },
      [this](Section& e, const SimplePlaneSection& s) {
        e.section = s;
        _sectionBuilder->compute(s, e.data);
        e.data->Modified();
      },
      [this](const SimplePlaneSection& s) { return makeSection(s); });
}

bool VolumeVisual::hasField(const std::string& name) const {
  return _data && !name.empty() && _data->GetPointData()->GetArray(name.c_str()) != nullptr;
}

vtkLookupTable* VolumeVisual::tableFor(const std::string& field) {
  auto it = _fieldTables.find(field);
  if (it != _fieldTables.end()) return it->second;
  double range[2] = {0.0, 1.0};
  if (vtkDataArray* a = _data ? _data->GetPointData()->GetArray(field.c_str()) : nullptr) a->GetRange(range, 0);
  auto table = MakeDefaultLookupTable(range[0], range[1]);
  _fieldTables[field] = table;
  return table;
}

void VolumeVisual::computeIso(Iso& iso) {
  auto& builder = _isoBuilders[iso.field];
  if (!builder) {
    builder.reset(new IsoSurfaceBuilder);
    builder->setInput(_data, iso.field);
  }
  builder->compute(iso.value, iso.data);
  iso.data->Modified();
}

void VolumeVisual::styleIso(Iso& iso) {
  double rgb[3];
  tableFor(iso.field)->GetColor(iso.value, rgb);
  vtkProperty* p = iso.actor->GetProperty();
  p->SetColor(rgb);
  p->SetOpacity(std::max(0.0, std::min(1.0, _settings.isoOpacity)));
  if (_settings.isoLighting) {
    p->LightingOn();
    p->SetAmbient(0.2);
    p->SetDiffuse(0.8);
    p->SetSpecular(0.2);
    p->SetSpecularPower(20.0);
  } else {
    setUnlit(p);
  }
}

std::unique_ptr<VolumeVisual::Iso> VolumeVisual::makeIso(const std::string& field, double value) {
  std::unique_ptr<Iso> entry(new Iso);
  entry->field = field;
  entry->value = value;
  entry->data = vtkSmartPointer<vtkPolyData>::New();
  computeIso(*entry);
  entry->mapper = makeMapper(entry->data);
  entry->mapper->ScalarVisibilityOff();
  entry->mapper->SetClippingPlanes(_clipPlanes);
  entry->actor = vtkSmartPointer<vtkActor>::New();
  entry->actor->SetMapper(entry->mapper);
  styleIso(*entry);
  return entry;
}

void VolumeVisual::setIsoValues(const std::vector<std::pair<std::string, double>>& requested) {
  std::vector<std::pair<std::string, double>> wanted;
  for (const auto& v : requested) {
    if (hasField(v.first) && std::find(wanted.begin(), wanted.end(), v) == wanted.end()) wanted.push_back(v);
  }
  using Value = std::pair<std::string, double>;
  Reconcile(
      _isos, wanted, [](const Iso& e, const Value& v) { return e.field == v.first && e.value == v.second; },
      [this](Iso& e, const Value& v) {
        e.field = v.first;
        e.value = v.second;
        computeIso(e);
        styleIso(e);
      },
      [this](const Value& v) { return makeIso(v.first, v.second); });
}

vtkPolyData* VolumeVisual::sectionData(size_t i) const { return i < _sections.size() ? _sections[i]->data.Get() : nullptr; }
vtkActor* VolumeVisual::sectionActor(size_t i) const { return i < _sections.size() ? _sections[i]->actor.Get() : nullptr; }
vtkPolyData* VolumeVisual::isoData(size_t i) const { return i < _isos.size() ? _isos[i]->data.Get() : nullptr; }
vtkActor* VolumeVisual::isoActor(size_t i) const { return i < _isos.size() ? _isos[i]->actor.Get() : nullptr; }

}  // namespace analysis
}  // namespace kvg
