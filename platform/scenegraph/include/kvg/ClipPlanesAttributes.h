#pragma once
// The clip planes of a canvas: a collection of kvg::Plane nodes. The scene's own planes come
// first; the program may add and remove its own behind them.
#include <algorithm>

#include "kvg/Attributes.h"
#include "kvg/CollectionNode.h"

namespace kvg {

class ClipPlanesAttributes : public Attributes {
  KVG_NODE_TYPE(ClipPlanesAttributes, Attributes)

 public:
  ClipPlanesAttributes() : _planes(new CollectionNode) {}

  // Never null for attributes made here; null only after setClippingPlanes(null).
  CollectionNode* hasClippingPlanes() const { return _planes.get(); }
  const Ptr<CollectionNode>& getClippingPlanesNode() const { return _planes; }
  void setClippingPlanes(const Ptr<CollectionNode>& planes) {
    _planes = planes;
    modified();
  }

  uint64_t getEffectiveMTime() const override {
    uint64_t t = getMTime();
    if (CollectionNode* c = _planes.get()) t = std::max(t, c->getEffectiveMTime());
    return t;
  }
  void getReferencedNodes(std::vector<Node*>& out) const override {
    if (CollectionNode* c = _planes.get()) out.push_back(c);
  }

 private:
  Ptr<CollectionNode> _planes;
};

}  // namespace kvg
