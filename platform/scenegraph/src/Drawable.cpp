#include "kvg/Drawable.h"

#include <algorithm>
#include <cstring>

namespace kvg {

Drawable::Drawable() = default;
Drawable::~Drawable() = default;

void Drawable::setDataNode(const Ptr<Object>& dataNode) {
  _dataNode = dataNode;
  modified();
}

void Drawable::addAttributes(const Ptr<Attributes>& attributes) {
  Attributes* a = attributes.get();
  if (!a) return;
  for (Ptr<Attributes>& existing : _attributes)
    if (std::strcmp(existing->getNodeClassName(), a->getNodeClassName()) == 0) {
      existing = attributes;
      modified();
      return;
    }
  _attributes.push_back(attributes);
  modified();
}

bool Drawable::removeAttributes(const std::string& className) {
  for (auto it = _attributes.begin(); it != _attributes.end(); ++it)
    if (className == (*it)->getNodeClassName()) {
      _attributes.erase(it);
      modified();
      return true;
    }
  return false;
}

uint64_t Drawable::getEffectiveMTime() const {
  uint64_t t = getMTime();
  for (const Ptr<Attributes>& a : _attributes)
    if (Attributes* attr = a.get()) t = std::max(t, attr->getEffectiveMTime());
  if (Node* data = _dataNode.tryCast<Node>()) t = std::max(t, data->getEffectiveMTime());
  return t;
}

void Drawable::getReferencedNodes(std::vector<Node*>& out) const {
  if (Node* data = _dataNode.tryCast<Node>()) out.push_back(data);
  for (const Ptr<Attributes>& a : _attributes)
    if (Attributes* attr = a.get()) out.push_back(attr);
}

}  // namespace kvg
