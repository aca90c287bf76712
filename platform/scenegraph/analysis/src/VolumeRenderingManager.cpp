#include "VolumeRenderingManager.h"

#include "AnalysisAssembly.h"
#include "VolumeVisual.h"

#include <vtkDataArray.h>
#include <vtkDataSet.h>
#include <vtkImageData.h>
#include <vtkPointData.h>
#include <vtkPropCollection.h>
#include <vtkLookupTable.h>
#include <vtkRenderer.h>
#include <vtkVolume.h>

#include <algorithm>
#include <cmath>

namespace kvg {

struct VolumeRenderingManager::View {
  vtkWeakPointer<vtkRenderer> renderer;
  vtkSmartPointer<analysis::AnalysisAssembly> assembly;
  std::vector<std::unique_ptr<analysis::VolumeVisual>> visuals;
  unsigned long version = 0;
};

VolumeRenderingManager::VolumeRenderingManager()
    : _interactiveIsoValue(std::string(), NoValue), _volumesVersion(1) {}

VolumeRenderingManager::~VolumeRenderingManager() {
  for (auto& view : _views) {
    if (view->assembly) view->assembly->SetPrepareCallback(nullptr);
    if (view->renderer) view->renderer->RemoveViewProp(view->assembly);
  }
}

VolumeRenderingManager& VolumeRenderingManager::operator=(const VolumeRenderingManager& other) {
  if (&other == this) return *this;
  std::scoped_lock lock(_mutex, other._mutex);
  _settings = other._settings;
  _persistentSections = other._persistentSections;
  _interactiveSection = other._interactiveSection;
  _persistentIsoValues = other._persistentIsoValues;
  _interactiveIsoValue = other._interactiveIsoValue;
  return *this;
}

#define KVG_SETTING(setter, getter, type, field, adjust) \
  void VolumeRenderingManager::setter(type value) {      \
    std::lock_guard<std::mutex> lock(_mutex);            \
    _settings.field = adjust;                            \
  }                                                      \
  type VolumeRenderingManager::getter() const {          \
    std::lock_guard<std::mutex> lock(_mutex);            \
    return _settings.field;                              \
  }

KVG_SETTING(setVRMode, getVRMode, bool, vrMode, value)
KVG_SETTING(setEnableVolRend, getEnableVolRend, bool, enabled, value)
KVG_SETTING(setVolRendQuality, getVolRendQuality, double, quality, std::max(0.1, std::min(1.0, value)))
KVG_SETTING(setUseStencilClipping, getUseStencilClipping, bool, stencilClipping, value)
KVG_SETTING(setIsosurfaceOpacity, getIsosurfaceOpacity, double, isoOpacity, std::max(0.0, std::min(1.0, value)))
KVG_SETTING(setLocalLightingForVRIsosurfaces, getLocalLightingForVRIsosurfaces, bool, localLighting, value)
KVG_SETTING(setUseNoisyStartPosition, getUseNoisyStartPosition, bool, noisyStart, value)
#undef KVG_SETTING

void VolumeRenderingManager::setPersistentPlaneSections(const std::vector<SimplePlaneSection>& sections) {
  std::lock_guard<std::mutex> lock(_mutex);
  _persistentSections = sections;
}

std::vector<SimplePlaneSection> VolumeRenderingManager::getPersistentPlaneSections() const {
  std::lock_guard<std::mutex> lock(_mutex);
  return _persistentSections;
}

void VolumeRenderingManager::setInteractivePlaneSection(const SimplePlaneSection& section) {
  std::lock_guard<std::mutex> lock(_mutex);
  _interactiveSection = section;
}

SimplePlaneSection VolumeRenderingManager::getInteractivePlaneSection() const {
  std::lock_guard<std::mutex> lock(_mutex);
  return _interactiveSection;
}

void VolumeRenderingManager::clearPlaneSections() {
  std::lock_guard<std::mutex> lock(_mutex);
  _persistentSections.clear();
  _interactiveSection = SimplePlaneSection();
}

void VolumeRenderingManager::setPersistentIsoValues(const IsoValueList& values) {
  std::lock_guard<std::mutex> lock(_mutex);
  _persistentIsoValues = values;
}

IsoValueList VolumeRenderingManager::getPersistentIsoValues() const {
  std::lock_guard<std::mutex> lock(_mutex);
  return _persistentIsoValues;
}

void VolumeRenderingManager::setInteractiveIsoValue(const IsoValue& value) {
  std::lock_guard<std::mutex> lock(_mutex);
  _interactiveIsoValue = value;
}

IsoValue VolumeRenderingManager::getInteractiveIsoValue() const {
  std::lock_guard<std::mutex> lock(_mutex);
  return _interactiveIsoValue;
}

void VolumeRenderingManager::clearIsoValues() {
  std::lock_guard<std::mutex> lock(_mutex);
  _persistentIsoValues.clear();
  _interactiveIsoValue = IsoValue(std::string(), NoValue);
}

void VolumeRenderingManager::setVolumes(const std::vector<VolumeSource>& volumes) {
  std::vector<PreparedVolume> prepared;
  for (const VolumeSource& v : volumes) {
    // Reuse what was prepared for the same data, so an unchanged scene costs nothing.
    bool reused = false;
    {
      std::lock_guard<std::mutex> lock(_mutex);
      for (const PreparedVolume& p : _volumes) {
        if (p.original.name == v.name && p.original.data == v.data && p.original.scalarName == v.scalarName &&
            p.original.vectorName == v.vectorName && p.original.lookupTable == v.lookupTable) {
          prepared.push_back(p);
          reused = true;
          break;
        }
      }
    }
    if (reused) continue;
    PreparedVolume p;
    p.original = v;
    vtkSmartPointer<vtkImageData> image;
    if (analysis::PrepareVolumeSource(v, p.source, image) && !p.source.scalarName.empty()) prepared.push_back(p);
  }
  std::lock_guard<std::mutex> lock(_mutex);
  bool same = prepared.size() == _volumes.size();
  for (size_t i = 0; same && i < prepared.size(); ++i) {
    same = prepared[i].source.data == _volumes[i].source.data && prepared[i].source.scalarName == _volumes[i].source.scalarName &&
           prepared[i].source.lookupTable == _volumes[i].source.lookupTable;
  }
  _volumes = std::move(prepared);
  if (!same) ++_volumesVersion;
}

bool VolumeRenderingManager::hasVolumes() const {
  std::lock_guard<std::mutex> lock(_mutex);
  return !_volumes.empty();
}

size_t VolumeRenderingManager::volumeCount() const {
  std::lock_guard<std::mutex> lock(_mutex);
  return _volumes.size();
}

std::vector<std::array<double, 6>> VolumeRenderingManager::getBounds() const {
  std::lock_guard<std::mutex> lock(_mutex);
  std::vector<std::array<double, 6>> boxes;
  for (const PreparedVolume& v : _volumes) {
    std::array<double, 6> b;
    v.source.data->GetBounds(b.data());
    boxes.push_back(b);
  }
  return boxes;
}

int VolumeRenderingManager::volumeIndexAt(const double p[3]) const {
  for (size_t i = 0; i < _volumes.size(); ++i) {
    double b[6];
    _volumes[i].source.data->GetBounds(b);
    if (p[0] >= b[0] && p[0] <= b[1] && p[1] >= b[2] && p[1] <= b[3] && p[2] >= b[4] && p[2] <= b[5]) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

bool VolumeRenderingManager::getScalarRange(const double p[3], double& min, double& max) const {
  std::lock_guard<std::mutex> lock(_mutex);
  const int i = volumeIndexAt(p);
  if (i < 0) return false;
  const VolumeSource& s = _volumes[i].source;
  double range[2];
  auto* image = vtkImageData::SafeDownCast(s.data);
  vtkDataArray* scalars = image ? image->GetPointData()->GetArray(s.scalarName.c_str()) : nullptr;
  if (!scalars) return false;
  scalars->GetRange(range, 0);
  min = range[0];
  max = range[1];
  return true;
}

vtkLookupTable* VolumeRenderingManager::getLookupTable(const double p[3]) const {
  std::lock_guard<std::mutex> lock(_mutex);
  const int i = volumeIndexAt(p);
  return i < 0 ? nullptr : _volumes[i].source.lookupTable.Get();
}

vtkLookupTable* VolumeRenderingManager::getLookupTable() const {
  std::lock_guard<std::mutex> lock(_mutex);
  return _volumes.empty() ? nullptr : _volumes.front().source.lookupTable.Get();
}

VolumeRenderingManager::ClosestProp VolumeRenderingManager::findClosestProp(const double p[3], vtkRenderer* renderer) const {
  std::lock_guard<std::mutex> lock(_mutex);
  ClosestProp answer;
  const int i = volumeIndexAt(p);
  if (i < 0) return answer;
  answer.found = true;
  answer.fieldName = _volumes[i].source.scalarName;
  answer.volumeName = _volumes[i].source.name;
  answer.distance = 0.0;
  for (const auto& view : _views) {
    if (renderer && view->renderer != renderer) continue;
    if (view->version == _volumesVersion && static_cast<size_t>(i) < view->visuals.size()) {
      answer.prop = view->visuals[i]->volume();
    }
    break;
  }
  return answer;
}

void VolumeRenderingManager::attachRenderer(vtkRenderer* renderer) {
  if (!renderer) return;
  std::lock_guard<std::mutex> lock(_mutex);
  for (auto& view : _views) {
    if (view->renderer == renderer) {
      if (!renderer->HasViewProp(view->assembly)) renderer->AddViewProp(view->assembly);
      return;
    }
  }
  std::unique_ptr<View> view(new View);
  view->renderer = renderer;
  view->assembly = vtkSmartPointer<analysis::AnalysisAssembly>::New();
  View* raw = view.get();
  view->assembly->SetPrepareCallback([this, raw](vtkRenderer*) {
    std::lock_guard<std::mutex> lock(_mutex);
    prepare(*raw);
  });
  renderer->AddViewProp(view->assembly);
  _views.push_back(std::move(view));
}

void VolumeRenderingManager::detachRenderer(vtkRenderer* renderer) {
  std::lock_guard<std::mutex> lock(_mutex);
  for (auto it = _views.begin(); it != _views.end(); ++it) {
    if ((*it)->renderer == renderer) {
      (*it)->assembly->SetPrepareCallback(nullptr);
      if (renderer) renderer->RemoveViewProp((*it)->assembly);
      _views.erase(it);
      return;
    }
  }
}

vtkProp* VolumeRenderingManager::getRenderProp(vtkRenderer* renderer) const {
  std::lock_guard<std::mutex> lock(_mutex);
  for (const auto& view : _views) {
    if (view->renderer == renderer) return view->assembly;
  }
  return nullptr;
}

analysis::VolumeVisual* VolumeRenderingManager::visualFor(vtkRenderer* renderer, size_t volumeIndex) {
  std::lock_guard<std::mutex> lock(_mutex);
  for (auto& view : _views) {
    if (view->renderer != renderer) continue;
    prepare(*view);
    return volumeIndex < view->visuals.size() ? view->visuals[volumeIndex].get() : nullptr;
  }
  return nullptr;
}

// Runs on the thread that renders the view's renderer, with _mutex held.
void VolumeRenderingManager::prepare(View& view) {
  if (view.version != _volumesVersion) {
    std::vector<std::unique_ptr<analysis::VolumeVisual>> old;
    old.swap(view.visuals);
    for (const PreparedVolume& v : _volumes) {
      std::unique_ptr<analysis::VolumeVisual> visual;
      for (auto& o : old) {
        if (o && o->data() == v.source.data && o->scalarName() == v.source.scalarName && o->lookupTable() == v.source.lookupTable) {
          visual = std::move(o);
          break;
        }
      }
      if (!visual) {
        visual.reset(new analysis::VolumeVisual(vtkImageData::SafeDownCast(v.source.data), v.source.scalarName,
                                                v.source.lookupTable));
      }
      view.visuals.push_back(std::move(visual));
    }
    for (auto& o : old) {
      if (o) view.assembly->RemovePart(o->assembly());
    }
    for (auto& visual : view.visuals) {
      if (!view.assembly->GetParts()->IsItemPresent(visual->assembly())) view.assembly->AddPart(visual->assembly());
    }
    view.version = _volumesVersion;
  }

  analysis::VolumeSettings s;
  s.volumeRendering = _settings.enabled;
  s.quality = _settings.quality;
  s.vrMode = _settings.vrMode;
  s.noisyStart = _settings.noisyStart;
  s.isoOpacity = _settings.isoOpacity;
  s.isoLighting = _settings.localLighting;

  std::vector<SimplePlaneSection> sections = _persistentSections;
  sections.push_back(_interactiveSection);

  for (auto& visual : view.visuals) {
    visual->applySettings(s);
    visual->setPlaneSections(sections);
    std::vector<double> values;
    auto take = [&](const IsoValue& iso) {
      if (!iso.first.empty() && !isNoValue(iso.second) && std::isfinite(iso.second) && iso.first == visual->scalarName() &&
          std::find(values.begin(), values.end(), iso.second) == values.end()) {
        values.push_back(iso.second);
      }
    };
    for (const IsoValue& iso : _persistentIsoValues) take(iso);
    take(_interactiveIsoValue);
    visual->setIsoValues(values);
  }
}

}  // namespace kvg
