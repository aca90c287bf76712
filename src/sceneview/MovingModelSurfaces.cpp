#include "MovingModelSurfaces.h"

#include <algorithm>

#include <vtkActor.h>
#include <vtkPlaneCollection.h>
#include <vtkPolyData.h>
#include <vtkPolyDataMapper.h>
#include <vtkPropCollection.h>
#include <vtkRenderer.h>

#include "FreezablePipeline.h"
#include "kvg/DrawableProp.h"

namespace {
const char* const kSurfaceClass = "SurfaceDrawable";
}  // namespace

MovingModelSurfaces::~MovingModelSurfaces() { endFrame(); }

size_t MovingModelSurfaces::readyCount() const {
  return size_t(std::count_if(_surfaces.begin(), _surfaces.end(), [](const Surface& s) {
    return s.reduction && s.reduction->ready.load(std::memory_order_acquire);
  }));
}

void MovingModelSurfaces::copyMapperSettings(vtkPolyDataMapper* from, vtkPolyDataMapper* to) {
  to->SetLookupTable(from->GetLookupTable());
  to->SetScalarVisibility(from->GetScalarVisibility());
  to->SetScalarMode(from->GetScalarMode());
  to->SetColorMode(from->GetColorMode());
  to->SetScalarRange(from->GetScalarRange());
  to->SetUseLookupTableScalarRange(from->GetUseLookupTableScalarRange());
  to->SetInterpolateScalarsBeforeMapping(from->GetInterpolateScalarsBeforeMapping());
  to->SetArrayName(from->GetArrayName());
  to->SetArrayId(from->GetArrayId());
  to->SetArrayAccessMode(from->GetArrayAccessMode());
  to->SetArrayComponent(from->GetArrayComponent());
  to->SetFieldDataTupleId(from->GetFieldDataTupleId());
  to->SetClippingPlanes(from->GetClippingPlanes());
}

// Render thread.
int MovingModelSurfaces::beginFrame(vtkRenderer* modelRenderer, bool modelMoved) {
  endFrame();
  if (_limit <= 0 || !modelRenderer) {
    _surfaces.clear();
    return 0;
  }
  for (Surface& s : _surfaces) s.seen = false;
  vtkPropCollection* props = modelRenderer->GetViewProps();
  vtkCollectionSimpleIterator it;
  props->InitTraversal(it);
  while (vtkProp* prop = props->GetNextProp(it)) {
    auto* drawable = kvg::DrawableProp::SafeDownCast(prop);
    if (!drawable || drawable->GetDrawableClassName() != kSurfaceClass) continue;
    auto* mapper = vtkPolyDataMapper::SafeDownCast(drawable->GetMapper());
    vtkPolyData* data = mapper ? mapper->GetInput() : nullptr;
    if (!data || data->GetNumberOfPolys() <= _limit) continue;
    auto found = std::find_if(_surfaces.begin(), _surfaces.end(), [&](const Surface& s) {
      return s.actor.GetPointer() == drawable && s.fullMapper.GetPointer() == mapper && s.fullData.GetPointer() == data;
    });
    if (found == _surfaces.end()) {
      Surface s;
      s.actor = drawable;
      s.fullMapper = mapper;
      s.fullData = data;
      s.reduction = _reduction.request(data, _limit);
      _surfaces.push_back(std::move(s));
      found = std::prev(_surfaces.end());
    }
    Surface& s = *found;
    s.seen = true;
    if (!s.reduction->ready.load(std::memory_order_acquire) || !s.reduction->reduced) continue;
    if (!s.reducedMapper) {
      s.reducedMapper = vtkSmartPointer<vtkPolyDataMapper>::New();
      s.reducedMapper->SetInputData(s.reduction->reduced);
      // The render thread is frozen between frames; the copy's pipeline is a data source only.
      const RestoreThreadFlag unfrozen(false);
      s.reducedMapper->Update();
    }
    if (!modelMoved) continue;
    copyMapperSettings(mapper, s.reducedMapper);
    _swapped.emplace_back(drawable, mapper);
    drawable->SetMapper(s.reducedMapper);
  }
  _surfaces.erase(std::remove_if(_surfaces.begin(), _surfaces.end(), [](const Surface& s) { return !s.seen; }),
                  _surfaces.end());
  return int(_swapped.size());
}

// Render thread.
void MovingModelSurfaces::endFrame() {
  for (auto& swapped : _swapped) swapped.first->SetMapper(swapped.second);
  _swapped.clear();
}

void MovingModelSurfaces::releaseGraphicsResources(vtkWindow* window) {
  endFrame();
  for (Surface& s : _surfaces)
    if (s.reducedMapper && window) s.reducedMapper->ReleaseGraphicsResources(window);
  _surfaces.clear();
}
