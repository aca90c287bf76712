#include "VolumeRenderingManager.h"

#include "AnalysisAssembly.h"
#include "ClipPlaneSync.h"
#include "VolumeVisual.h"

#include <vtkDataArray.h>
#include <vtkDataSet.h>
#include <vtkImageData.h>
#include <vtkPointData.h>
#include <vtkPropCollection.h>
#include <vtkLookupTable.h>
#include <vtkPlaneCollection.h>
#include <vtkRenderWindow.h>
#include <vtkRenderer.h>
#include <vtkVolume.h>

#include <algorithm>
#include <cmath>

namespace kvg {

struct VolumeRenderingManager::View {
  vtkWeakPointer<vtkRenderer> renderer;
  const void* scene = nullptr;
  vtkWeakPointer<vtkPlaneCollection> clipPlanes;
  analysis::ClipPlaneSync clipSync;
  vtkSmartPointer<analysis::AnalysisAssembly> assembly;
  std::vector<std::unique_ptr<analysis::VolumeVisual>> visuals;
  unsigned long version = 0;
};

VolumeRenderingManager::VolumeRenderingManager() : _interactiveIsoValue(std::string(), NoValue), _nextVersion(1) {}

// The assemblies stay in their renderers, which release their graphics resources with the
// window's context current (a drawable scene does when it goes); they no longer update.
VolumeRenderingManager::~VolumeRenderingManager() {
  for (auto& view : _views) view->assembly->SetPrepareCallback(nullptr);
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

void VolumeRenderingManager::setVolumes(const std::vector<VolumeSource>& volumes) { setSceneVolumes(nullptr, volumes); }

void VolumeRenderingManager::setSceneVolumes(const void* scene, const std::vector<VolumeSource>& volumes) {
  std::vector<PreparedVolume> previous;
  {
    std::lock_guard<std::mutex> lock(_mutex);
    if (const Group* g = groupOf(scene)) previous = g->volumes;
  }
  // Reuse what was prepared for the same data, so an unchanged scene costs nothing; prepare
  // (and resample) the rest without holding the lock.
  std::vector<PreparedVolume> prepared;
  bool same = previous.size() == volumes.size();
  for (size_t i = 0; i < volumes.size(); ++i) {
    const VolumeSource& v = volumes[i];
    auto it = std::find_if(previous.begin(), previous.end(), [&](const PreparedVolume& p) {
      const VolumeSource& o = p.original;
      return o.name == v.name && o.data == v.data && o.scalarName == v.scalarName && o.vectorName == v.vectorName &&
             o.lookupTable == v.lookupTable && o.colorMap == v.colorMap && o.hasScalarRange == v.hasScalarRange &&
             o.scalarRange[0] == v.scalarRange[0] && o.scalarRange[1] == v.scalarRange[1];
    });
    if (it != previous.end()) {
      PreparedVolume p = *it;
      // Rendering attributes may change without new data.
      p.original = v;
      p.source.opacity = v.opacity;
      p.source.isoSurfaceMode = v.isoSurfaceMode;
      p.source.sceneIsoValues = v.sceneIsoValues;
      same = same && it - previous.begin() == static_cast<long>(i);
      prepared.push_back(p);
      continue;
    }
    same = false;
    PreparedVolume p;
    p.original = v;
    vtkSmartPointer<vtkImageData> image;
    if (analysis::PrepareVolumeSource(v, p.source, image) && !p.source.scalarName.empty()) prepared.push_back(p);
  }
  std::lock_guard<std::mutex> lock(_mutex);
  auto g = std::find_if(_groups.begin(), _groups.end(), [&](const Group& x) { return x.scene == scene; });
  if (g == _groups.end()) {
    _groups.push_back(Group());
    g = _groups.end() - 1;
    g->scene = scene;
    same = false;
  }
  g->volumes = std::move(prepared);
  if (!same) g->version = ++_nextVersion;
}

void VolumeRenderingManager::removeScene(const void* scene) {
  std::lock_guard<std::mutex> lock(_mutex);
  _groups.erase(std::remove_if(_groups.begin(), _groups.end(), [&](const Group& g) { return g.scene == scene; }),
                _groups.end());
}

const VolumeRenderingManager::Group* VolumeRenderingManager::groupOf(const void* scene) const {
  for (const Group& g : _groups) {
    if (g.scene == scene) return &g;
  }
  return nullptr;
}

bool VolumeRenderingManager::hasVolumes() const {
  std::lock_guard<std::mutex> lock(_mutex);
  for (const Group& g : _groups) {
    if (!g.volumes.empty()) return true;
  }
  return false;
}

size_t VolumeRenderingManager::volumeCount() const {
  std::lock_guard<std::mutex> lock(_mutex);
  size_t n = 0;
  for (const Group& g : _groups) n += g.volumes.size();
  return n;
}

std::vector<std::array<double, 6>> VolumeRenderingManager::getBounds() const {
  std::lock_guard<std::mutex> lock(_mutex);
  std::vector<std::array<double, 6>> boxes;
  for (const Group& g : _groups) {
    for (const PreparedVolume& v : g.volumes) {
      std::array<double, 6> b;
      v.source.data->GetBounds(b.data());
      boxes.push_back(b);
    }
  }
  return boxes;
}

std::vector<std::array<double, 6>> VolumeRenderingManager::getSceneBounds(const void* scene) const {
  std::lock_guard<std::mutex> lock(_mutex);
  std::vector<std::array<double, 6>> boxes;
  if (const Group* g = groupOf(scene)) {
    for (const PreparedVolume& v : g->volumes) {
      std::array<double, 6> b;
      v.source.data->GetBounds(b.data());
      boxes.push_back(b);
    }
  }
  return boxes;
}

const VolumeRenderingManager::PreparedVolume* VolumeRenderingManager::volumeAt(const double p[3], const Group** group,
                                                                               size_t* index) const {
  for (const Group& g : _groups) {
    for (size_t i = 0; i < g.volumes.size(); ++i) {
      double b[6];
      g.volumes[i].source.data->GetBounds(b);
      if (p[0] >= b[0] && p[0] <= b[1] && p[1] >= b[2] && p[1] <= b[3] && p[2] >= b[4] && p[2] <= b[5]) {
        if (group) *group = &g;
        if (index) *index = i;
        return &g.volumes[i];
      }
    }
  }
  return nullptr;
}

bool VolumeRenderingManager::getScalarRange(const double p[3], double& min, double& max) const {
  std::lock_guard<std::mutex> lock(_mutex);
  const PreparedVolume* v = volumeAt(p);
  if (!v) return false;
  auto* image = vtkImageData::SafeDownCast(v->source.data);
  vtkDataArray* scalars = image ? image->GetPointData()->GetArray(v->source.scalarName.c_str()) : nullptr;
  if (!scalars) return false;
  double range[2];
  scalars->GetRange(range, 0);
  min = range[0];
  max = range[1];
  return true;
}

vtkLookupTable* VolumeRenderingManager::getLookupTable(const double p[3]) const {
  std::lock_guard<std::mutex> lock(_mutex);
  const PreparedVolume* v = volumeAt(p);
  return v ? v->source.lookupTable.Get() : nullptr;
}

vtkLookupTable* VolumeRenderingManager::getLookupTable() const {
  std::lock_guard<std::mutex> lock(_mutex);
  for (const Group& g : _groups) {
    if (!g.volumes.empty()) return g.volumes.front().source.lookupTable;
  }
  return nullptr;
}

VolumeRenderingManager::ClosestProp VolumeRenderingManager::findClosestProp(const double p[3], vtkRenderer* renderer) const {
  std::lock_guard<std::mutex> lock(_mutex);
  ClosestProp answer;
  const Group* group = nullptr;
  size_t index = 0;
  const PreparedVolume* v = volumeAt(p, &group, &index);
  if (!v) return answer;
  answer.found = true;
  answer.fieldName = v->source.scalarName;
  answer.volumeName = v->source.name;
  answer.distance = 0.0;
  for (const auto& view : _views) {
    if (renderer ? view->renderer != renderer : view->scene != group->scene) continue;
    if (view->scene == group->scene && view->version == group->version && index < view->visuals.size()) {
      answer.prop = view->visuals[index]->volume();
    }
    break;
  }
  return answer;
}

void VolumeRenderingManager::attachRenderer(vtkRenderer* renderer, const void* scene, vtkPlaneCollection* clipPlanes) {
  if (!renderer) return;
  std::lock_guard<std::mutex> lock(_mutex);
  for (auto& view : _views) {
    if (view->renderer == renderer) {
      view->scene = scene;
      view->clipPlanes = clipPlanes;
      if (!renderer->HasViewProp(view->assembly)) renderer->AddViewProp(view->assembly);
      return;
    }
  }
  std::unique_ptr<View> view(new View);
  view->renderer = renderer;
  view->scene = scene;
  view->clipPlanes = clipPlanes;
  view->assembly = vtkSmartPointer<analysis::AnalysisAssembly>::New();
  View* raw = view.get();
  view->assembly->SetPrepareCallback([this, raw](vtkRenderer* renderer) {
    std::lock_guard<std::mutex> lock(_mutex);
    prepare(*raw);
    if (raw->clipPlanes) {
      // The volumes clip themselves: exactly, or to a box around the kept part.
      raw->clipSync.apply(renderer, raw->clipPlanes, raw->assembly);
      vtkPlaneCollection* applied = raw->clipSync.applied()->GetNumberOfItems() ? raw->clipSync.applied() : nullptr;
      for (auto& visual : raw->visuals) visual->setClippingPlanes(applied);
    }
  });
  renderer->AddViewProp(view->assembly);
  _views.push_back(std::move(view));
}

void VolumeRenderingManager::detachRenderer(vtkRenderer* renderer) {
  std::lock_guard<std::mutex> lock(_mutex);
  for (auto it = _views.begin(); it != _views.end(); ++it) {
    if ((*it)->renderer == renderer) {
      (*it)->assembly->SetPrepareCallback(nullptr);
      if (renderer) {
        vtkRenderWindow* window = renderer->GetRenderWindow();
        if (window && window->IsCurrent()) (*it)->assembly->ReleaseGraphicsResources(window);
        renderer->RemoveViewProp((*it)->assembly);
      }
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

void VolumeRenderingManager::prepareRenderer(vtkRenderer* renderer) { visualFor(renderer, 0); }

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
  static const std::vector<PreparedVolume> none;
  // Dropped parts release their graphics resources only through a window whose context is
  // current here (it is during a render).
  vtkRenderWindow* window = view.renderer ? view.renderer->GetRenderWindow() : nullptr;
  if (window && !window->IsCurrent()) window = nullptr;
  const Group* group = groupOf(view.scene);
  const std::vector<PreparedVolume>& volumes = group ? group->volumes : none;
  const unsigned long version = group ? group->version : 0;
  if (view.version != version) {
    std::vector<std::unique_ptr<analysis::VolumeVisual>> old;
    old.swap(view.visuals);
    for (const PreparedVolume& v : volumes) {
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
      if (!o) continue;
      view.assembly->RemovePart(o->assembly());
      if (window) o->assembly()->ReleaseGraphicsResources(window);
    }
    for (auto& visual : view.visuals) {
      if (!view.assembly->GetParts()->IsItemPresent(visual->assembly())) view.assembly->AddPart(visual->assembly());
    }
    view.version = version;
  }

  std::vector<SimplePlaneSection> sections = _persistentSections;
  sections.push_back(_interactiveSection);

  auto usable = [](const IsoValue& iso) { return !iso.first.empty() && !isNoValue(iso.second) && std::isfinite(iso.second); };
  IsoValueList wanted;
  for (const IsoValue& iso : _persistentIsoValues) {
    if (usable(iso)) wanted.push_back(iso);
  }
  if (usable(_interactiveIsoValue)) wanted.push_back(_interactiveIsoValue);

  for (size_t i = 0; i < view.visuals.size() && i < volumes.size(); ++i) {
    const VolumeSource& source = volumes[i].source;
    analysis::VolumeVisual& visual = *view.visuals[i];
    visual.setRenderWindow(window);
    analysis::VolumeSettings s;
    // A volume the scene shows through iso-surfaces gets those instead of volume rendering.
    s.volumeRendering = _settings.enabled && !source.isoSurfaceMode;
    s.quality = _settings.quality;
    s.vrMode = _settings.vrMode;
    s.noisyStart = _settings.noisyStart;
    s.isoOpacity = _settings.isoOpacity;
    s.isoLighting = _settings.localLighting;
    s.volumeOpacity = source.opacity;
    s.preciseBounds = _settings.stencilClipping;
    visual.applySettings(s);
    visual.setPlaneSections(sections);
    IsoValueList isos = wanted;
    if (_settings.enabled && source.isoSurfaceMode) {
      for (IsoValue iso : source.sceneIsoValues) {
        if (iso.first.empty()) iso.first = source.scalarName;  // the volume's own scalars
        if (usable(iso)) isos.push_back(iso);
      }
    }
    visual.setIsoValues(isos);
  }
}

}  // namespace kvg
