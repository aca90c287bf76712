#pragma once
// Base of the attribute nodes that drawables and canvases carry.
#include "kvg/Node.h"

namespace kvg {

class Attributes : public Node {
  KVG_NODE_TYPE(Attributes, Node)
};

}  // namespace kvg
