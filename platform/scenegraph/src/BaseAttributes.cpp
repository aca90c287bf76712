#include "kvg/BaseAttributes.h"

#include "Properties.h"
#include "kvg/DrawableSession.h"

namespace kvg {

void BaseAttributes::setVisibility(bool visible, bool notify) {
  update(_visible, visible);
  if (!notify || !getSession()) return;
  Properties args;
  args.set("Key", getKey());
  args.set("Visibility", visible);
  getSession()->raiseCallback("notifyKvgNode", args);
}

void BaseAttributes::setScalarRange(double low, double high) {
  if (_hasRange && _range[0] == low && _range[1] == high) return;
  _hasRange = true;
  _range[0] = low;
  _range[1] = high;
  modified();
}

void BaseAttributes::clearScalarRange() {
  if (!_hasRange) return;
  _hasRange = false;
  modified();
}

}  // namespace kvg
