#pragma once
// Base of the attribute nodes that drawables and canvases carry.
#include "kvg/Node.h"

namespace kvg {

class Attributes : public Node {
  KVG_NODE_TYPE(Attributes, Node)

 protected:
  // Stores a value and marks the node changed when it differs.
  template <class T>
  void update(T& member, const T& value) {
    if (!(member == value)) {
      member = value;
      modified();
    }
  }
};

}  // namespace kvg
