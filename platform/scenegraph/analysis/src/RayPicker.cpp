#include "RayPicker.h"

#include <vtkAbstractVolumeMapper.h>
#include <vtkActor.h>
#include <vtkBox.h>
#include <vtkCellLocator.h>
#include <vtkCellType.h>
#include <vtkGenericCell.h>
#include <vtkDataSet.h>
#include <vtkMapper.h>
#include <vtkMath.h>
#include <vtkMatrix4x4.h>
#include <vtkNew.h>
#include <vtkProp3D.h>
#include <vtkPropCollection.h>
#include <vtkRenderer.h>
#include <vtkVolume.h>

#include <cmath>

namespace kvg {
namespace analysis {

namespace {
// Data sets of at most this many cells are tested cell by cell.
constexpr vtkIdType kDirectCellLimit = 256;

bool isThin(int cellType) {
  switch (cellType) {
    case VTK_VERTEX:
    case VTK_POLY_VERTEX:
    case VTK_LINE:
    case VTK_POLY_LINE:
    case VTK_QUADRATIC_EDGE:
    case VTK_CUBIC_LINE:
    case VTK_LAGRANGE_CURVE:
    case VTK_BEZIER_CURVE:
      return true;
    default:
      return false;
  }
}
}  // namespace

RayPicker::RayPicker() = default;
RayPicker::~RayPicker() = default;

const RayPicker::CachedLocator& RayPicker::locatorFor(vtkDataSet* data) {
  // Keyed by pointer; an entry whose data changed since (or a recycled address) is rebuilt.
  CachedLocator& entry = _locators[data];
  if (entry.time != data->GetMTime() || (!entry.locator && entry.directCells.empty())) {
    entry.time = data->GetMTime();
    entry.directCells.clear();
    bool solid = false;
    const vtkIdType n = data->GetNumberOfCells();
    const bool small = n <= kDirectCellLimit;
    for (vtkIdType i = 0; i < n; ++i) {
      if (small || isThin(data->GetCellType(i))) {
        entry.directCells.push_back(i);
      } else {
        solid = true;
      }
    }
    entry.locator = nullptr;
    if (solid) {
      auto locator = vtkSmartPointer<vtkCellLocator>::New();
      locator->SetDataSet(data);
      locator->BuildLocator();
      entry.locator = locator;
    }
  }
  return entry;
}

bool RayPicker::intersectData(vtkDataSet* data, const double p1[3], const double p2[3], double tolerance, double& t,
                              double x[3], vtkIdType& cellId) {
  const CachedLocator& entry = locatorFor(data);
  bool found = false;
  double pcoords[3];
  int subId = 0;
  if (entry.locator) {
    found = entry.locator->IntersectWithLine(p1, p2, tolerance, t, x, pcoords, subId, cellId) != 0;
  }
  if (!entry.directCells.empty()) {
    vtkNew<vtkGenericCell> cell;
    double a[3] = {p1[0], p1[1], p1[2]}, b[3] = {p2[0], p2[1], p2[2]};
    for (vtkIdType id : entry.directCells) {
      data->GetCell(id, cell);
      double ct = 0.0, cx[3];
      if (cell->IntersectWithLine(a, b, tolerance, ct, cx, pcoords, subId) && (!found || ct < t)) {
        found = true;
        t = ct;
        cellId = id;
        x[0] = cx[0];
        x[1] = cx[1];
        x[2] = cx[2];
      }
    }
  }
  return found;
}

bool RayPicker::intersect(vtkProp* prop, const double p1[3], const double p2[3], double tolerance, RayHit& hit) {
  auto* prop3D = vtkProp3D::SafeDownCast(prop);
  if (!prop3D) return false;

  // Ray into the prop's own coordinates.
  vtkNew<vtkMatrix4x4> inverse;
  vtkMatrix4x4::Invert(prop3D->GetMatrix(), inverse);
  double a[4] = {p1[0], p1[1], p1[2], 1.0}, b[4] = {p2[0], p2[1], p2[2], 1.0};
  double la[4], lb[4];
  inverse->MultiplyPoint(a, la);
  inverse->MultiplyPoint(b, lb);
  for (int i = 0; i < 3; ++i) {
    la[i] /= la[3];
    lb[i] /= lb[3];
  }
  const double worldLength = std::sqrt(vtkMath::Distance2BetweenPoints(p1, p2));
  const double localLength = std::sqrt(vtkMath::Distance2BetweenPoints(la, lb));
  if (worldLength <= 0.0 || localLength <= 0.0) return false;
  const double localTolerance = tolerance * localLength / worldLength;

  double t = 0.0;
  double x[3];
  vtkIdType cellId = -1;
  bool found = false;
  if (auto* volume = vtkVolume::SafeDownCast(prop)) {
    vtkAbstractVolumeMapper* mapper = volume->GetMapper();
    vtkDataSet* data = mapper ? mapper->GetDataSetInput() : nullptr;
    if (!data) return false;
    double bounds[6];
    data->GetBounds(bounds);
    double dir[3] = {lb[0] - la[0], lb[1] - la[1], lb[2] - la[2]};
    double coord[3];
    if (vtkBox::IntersectBox(bounds, la, dir, coord, t) && t <= 1.0) {
      for (int i = 0; i < 3; ++i) x[i] = coord[i];
      found = true;
    }
  } else if (auto* actor = vtkActor::SafeDownCast(prop)) {
    vtkMapper* mapper = actor->GetMapper();
    vtkDataSet* data = mapper ? mapper->GetInput() : nullptr;
    if (!data || data->GetNumberOfCells() == 0) return false;
    found = intersectData(data, la, lb, localTolerance, t, x, cellId);
  }
  if (!found) return false;

  hit.prop = prop;
  hit.distance = t * worldLength;
  hit.cellId = cellId;
  for (int i = 0; i < 3; ++i) hit.position[i] = p1[i] + t * (p2[i] - p1[i]);
  return true;
}

bool RayPicker::pick(vtkRenderer* renderer, const double origin[3], const double direction[3], double length,
                     double tolerance, vtkPropCollection* candidates, RayHit& hit) {
  const double n = vtkMath::Norm(direction);
  if (!(n > 0.0) || !(length > 0.0)) return false;
  const double p2[3] = {origin[0] + direction[0] / n * length, origin[1] + direction[1] / n * length,
                        origin[2] + direction[2] / n * length};
  vtkPropCollection* props = candidates ? candidates : (renderer ? renderer->GetViewProps() : nullptr);
  if (!props) return false;
  bool any = false;
  RayHit best;
  vtkCollectionSimpleIterator it;
  props->InitTraversal(it);
  while (vtkProp* prop = props->GetNextProp(it)) {
    if (!prop->GetVisibility() || (!candidates && !prop->GetPickable())) continue;
    RayHit h;
    if (intersect(prop, origin, p2, tolerance, h) && (!any || h.distance < best.distance)) {
      best = h;
      any = true;
    }
  }
  if (any) hit = best;
  return any;
}

}  // namespace analysis
}  // namespace kvg
