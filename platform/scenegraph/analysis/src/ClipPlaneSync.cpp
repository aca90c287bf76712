#include "ClipPlaneSync.h"

#include <vtkAbstractMapper.h>
#include <vtkAbstractVolumeMapper.h>
#include <vtkMapper.h>
#include <vtkActor.h>
#include <vtkAssembly.h>
#include <vtkPlane.h>
#include <vtkPlaneCollection.h>
#include <vtkProp3DCollection.h>
#include <vtkPropAssembly.h>
#include <vtkPropCollection.h>
#include <vtkRenderer.h>
#include <vtkVolume.h>

#include <algorithm>

namespace kvg {
namespace analysis {

ClipPlaneSync::ClipPlaneSync() : _applied(vtkSmartPointer<vtkPlaneCollection>::New()) {}

ClipPlaneSync::~ClipPlaneSync() = default;

void ClipPlaneSync::apply(vtkRenderer* renderer, vtkPlaneCollection* planes, vtkProp* skip) {
  // Refill the capped collection only when the leading planes changed, so the mappers see an
  // unchanged collection from frame to frame.
  const int wanted = planes ? std::min(planes->GetNumberOfItems(), MaxPlanes) : 0;
  bool same = _applied->GetNumberOfItems() == wanted;
  for (int i = 0; same && i < wanted; ++i) {
    same = planes->GetItem(i) == _applied->GetItem(i);
  }
  if (!same) {
    _applied->RemoveAllItems();
    for (int i = 0; i < wanted; ++i) _applied->AddItem(planes->GetItem(i));
  }
  if (!renderer) return;
  vtkPlaneCollection* target = wanted > 0 ? _applied.Get() : nullptr;
  vtkPropCollection* props = renderer->GetViewProps();
  vtkCollectionSimpleIterator it;
  props->InitTraversal(it);
  while (vtkProp* prop = props->GetNextProp(it))
    if (prop != skip) applyTo(prop, target);
}

void ClipPlaneSync::applyTo(vtkProp* prop, vtkPlaneCollection* planes) {
  vtkAbstractMapper* mapper = nullptr;
  if (auto* actor = vtkActor::SafeDownCast(prop)) {
    mapper = actor->GetMapper();
  } else if (auto* volume = vtkVolume::SafeDownCast(prop)) {
    mapper = volume->GetMapper();
  } else if (auto* assembly = vtkPropAssembly::SafeDownCast(prop)) {
    vtkPropCollection* parts = assembly->GetParts();
    vtkCollectionSimpleIterator it;
    parts->InitTraversal(it);
    while (vtkProp* part = parts->GetNextProp(it)) applyTo(part, planes);
  }
  if (auto* assembly = vtkAssembly::SafeDownCast(prop)) {
    vtkProp3DCollection* parts = assembly->GetParts();
    vtkCollectionSimpleIterator it;
    parts->InitTraversal(it);
    while (vtkProp3D* part = parts->GetNextProp3D(it)) applyTo(part, planes);
  }
  if (mapper && mapper->GetClippingPlanes() != planes) mapper->SetClippingPlanes(planes);
}

}  // namespace analysis
}  // namespace kvg
