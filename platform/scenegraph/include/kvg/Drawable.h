#pragma once
// Something the scene draws: a data node (poly data, image data or a collection of them) and
// attribute nodes, at most one of each attribute class.
#include <vector>

#include "kvg/AnimationAttributes.h"
#include "kvg/BaseAttributes.h"
#include "kvg/LineAttributes.h"
#include "kvg/Node.h"
#include "kvg/RayTraceAttributes.h"
#include "kvg/WidgetDrawableAttributes.h"

namespace kvg {

class Drawable : public Node {
  KVG_NODE_TYPE(Drawable, Node)

 public:
  Drawable();
  ~Drawable() override;

  // The node holding the drawable's data; may be null.
  const Ptr<Object>& getDataNode() const { return _dataNode; }
  void setDataNode(const Ptr<Object>& dataNode);

  // Adds attributes, replacing attributes of the same class.
  void addAttributes(const Ptr<Attributes>& attributes);
  bool removeAttributes(const std::string& className);
  const std::vector<Ptr<Attributes>>& getAttributes() const { return _attributes; }
  template <class T>
  T* findAttributes() const {
    for (const Ptr<Attributes>& a : _attributes)
      if (T* t = a.template tryCast<T>()) return t;
    return nullptr;
  }

  // Null when the drawable has none.
  BaseAttributes* hasBaseAttributes() const { return findAttributes<BaseAttributes>(); }
  LineAttributes* hasLineAttributes() const { return findAttributes<LineAttributes>(); }
  RayTraceAttributes* hasRayTraceAttributes() const { return findAttributes<RayTraceAttributes>(); }
  AnimationAttributes* hasAnimationAttributes() const { return findAttributes<AnimationAttributes>(); }
  WidgetDrawableAttributes* hasWidgetDrawableAttributes() const { return findAttributes<WidgetDrawableAttributes>(); }

  uint64_t getEffectiveMTime() const override;
  void getReferencedNodes(std::vector<Node*>& out) const override;

 private:
  Ptr<Object> _dataNode;
  std::vector<Ptr<Attributes>> _attributes;
};

}  // namespace kvg
