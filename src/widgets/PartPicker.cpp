#include "PartPicker.h"

#include <vtkMath.h>
#include <vtkProp.h>
#include <vtkPropCollection.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

#include "RayPicker.h"
#include "kvg/DrawableProp.h"

namespace {

constexpr int kLeafSize = 8;

// Whether the segment p + t (q - p), t in [0, 1], meets the box grown by the tolerance.
bool segmentMeetsBox(const double p[3], const double q[3], const double b[6], double tolerance) {
  double enter = 0.0, leave = 1.0;
  for (int i = 0; i < 3; ++i) {
    const double lo = b[2 * i] - tolerance, hi = b[2 * i + 1] + tolerance;
    const double d = q[i] - p[i];
    if (d == 0.0) {
      if (p[i] < lo || p[i] > hi) return false;
      continue;
    }
    double t0 = (lo - p[i]) / d, t1 = (hi - p[i]) / d;
    if (t0 > t1) std::swap(t0, t1);
    enter = std::max(enter, t0);
    leave = std::min(leave, t1);
    if (enter > leave) return false;
  }
  return true;
}

}  // namespace

PartPicker::PartPicker()
    : _near(vtkSmartPointer<vtkPropCollection>::New()), _picker(std::make_unique<kvg::analysis::RayPicker>()) {}

PartPicker::~PartPicker() = default;

void PartPicker::index(vtkPropCollection* candidates) {
  _props.clear();
  _bounds.clear();
  _nodes.clear();
  _alwaysTested.clear();
  _near->RemoveAllItems();
  // The locators belong to the previous scene's data.
  _picker = std::make_unique<kvg::analysis::RayPicker>();
  if (!candidates) return;
  vtkCollectionSimpleIterator it;
  candidates->InitTraversal(it);
  while (vtkProp* prop = candidates->GetNextProp(it)) {
    auto* drawable = kvg::DrawableProp::SafeDownCast(prop);
    const double* b = prop->GetBounds();
    if ((drawable && drawable->GetDrawableClassName() == "PartWidget") || !b || !vtkMath::AreBoundsInitialized(b)) {
      _alwaysTested.push_back(prop);
      continue;
    }
    _props.push_back(prop);
    _bounds.push_back({b[0], b[1], b[2], b[3], b[4], b[5]});
  }
  if (!_props.empty()) build(0, int(_props.size()));
}

int PartPicker::build(int first, int count) {
  const int index = int(_nodes.size());
  _nodes.push_back(Node{});
  double b[6];
  for (int i = 0; i < 3; ++i) {
    b[2 * i] = std::numeric_limits<double>::max();
    b[2 * i + 1] = std::numeric_limits<double>::lowest();
  }
  for (int k = first; k < first + count; ++k)
    for (int i = 0; i < 3; ++i) {
      b[2 * i] = std::min(b[2 * i], _bounds[k][2 * i]);
      b[2 * i + 1] = std::max(b[2 * i + 1], _bounds[k][2 * i + 1]);
    }
  std::copy(b, b + 6, _nodes[index].bounds);
  if (count <= kLeafSize) {
    _nodes[index].first = first;
    _nodes[index].count = count;
    return index;
  }
  // Split at the median of the centres along the longest side.
  int axis = 0;
  for (int i = 1; i < 3; ++i)
    if (b[2 * i + 1] - b[2 * i] > b[2 * axis + 1] - b[2 * axis]) axis = i;
  std::vector<int> order(static_cast<size_t>(count));
  std::iota(order.begin(), order.end(), first);
  const int half = count / 2;
  std::nth_element(order.begin(), order.begin() + half, order.end(), [&](int a, int c) {
    return _bounds[a][2 * axis] + _bounds[a][2 * axis + 1] < _bounds[c][2 * axis] + _bounds[c][2 * axis + 1];
  });
  std::vector<vtkProp*> props;
  std::vector<std::array<double, 6>> bounds;
  for (int k : order) {
    props.push_back(_props[k]);
    bounds.push_back(_bounds[k]);
  }
  std::copy(props.begin(), props.end(), _props.begin() + first);
  std::copy(bounds.begin(), bounds.end(), _bounds.begin() + first);
  _nodes[index].count = 0;
  build(first, half);  // the left child follows its parent
  _nodes[index].first = build(first + half, count - half);
  return index;
}

vtkProp* PartPicker::pick(const double tip[3], const double direction[3], double length, double tolerance,
                          double& hitDistance) {
  const double n = vtkMath::Norm(direction);
  if (!(n > 0.0) || !(length > 0.0)) return nullptr;
  const double end[3] = {tip[0] + direction[0] / n * length, tip[1] + direction[1] / n * length,
                         tip[2] + direction[2] / n * length};
  _near->RemoveAllItems();
  if (!_nodes.empty()) {
    std::vector<int> stack{0};
    while (!stack.empty()) {
      const Node& node = _nodes[size_t(stack.back())];
      const int at = stack.back();
      stack.pop_back();
      if (!segmentMeetsBox(tip, end, node.bounds, tolerance)) continue;
      if (node.count > 0) {
        for (int k = node.first; k < node.first + node.count; ++k)
          if (segmentMeetsBox(tip, end, _bounds[size_t(k)].data(), tolerance)) _near->AddItem(_props[size_t(k)]);
      } else {
        stack.push_back(at + 1);
        stack.push_back(node.first);
      }
    }
  }
  for (vtkProp* prop : _alwaysTested) _near->AddItem(prop);
  if (_near->GetNumberOfItems() == 0) return nullptr;
  kvg::analysis::RayHit hit;
  if (!_picker->pick(nullptr, tip, direction, length, tolerance, _near, hit)) return nullptr;
  hitDistance = hit.distance;
  return hit.prop;
}
