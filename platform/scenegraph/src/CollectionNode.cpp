#include "kvg/CollectionNode.h"

#include <algorithm>

namespace kvg {

CollectionNode::CollectionNode() = default;
CollectionNode::~CollectionNode() = default;

void CollectionNode::addNode(const Ptr<Node>& node) {
  if (!node) return;
  _nodes.push_back(node);
  modified();
}

bool CollectionNode::removeNode(const Ptr<Node>& node) {
  auto it = std::find(_nodes.begin(), _nodes.end(), node);
  if (it == _nodes.end()) return false;
  _nodes.erase(it);
  modified();
  return true;
}

bool CollectionNode::removeNode(size_t index) {
  if (index >= _nodes.size()) return false;
  _nodes.erase(_nodes.begin() + static_cast<std::ptrdiff_t>(index));
  modified();
  return true;
}

void CollectionNode::clear() {
  if (_nodes.empty()) return;
  _nodes.clear();
  modified();
}

Ptr<Node> CollectionNode::getNode(size_t index) const {
  return index < _nodes.size() ? _nodes[index] : Ptr<Node>();
}

uint64_t CollectionNode::getEffectiveMTime() const {
  uint64_t t = getMTime();
  Iterator it(*this);
  while (it.traverse())
    if (Node* n = it.getNode().get()) {
      // Nested collections are walked by the iterator itself.
      uint64_t m = dynamic_cast<CollectionNode*>(n) ? n->getMTime() : n->getEffectiveMTime();
      t = std::max(t, m);
    }
  return t;
}

void CollectionNode::getReferencedNodes(std::vector<Node*>& out) const {
  for (const Ptr<Node>& n : _nodes)
    if (Node* node = n.get()) out.push_back(node);
}

CollectionNode::Iterator::Iterator(const CollectionNode& collection) {
  _stack.push_back(Level{&collection, 0});
  _entered.insert(&collection);
}

CollectionNode::Iterator::Iterator(const Ptr<CollectionNode>& collection) {
  if (CollectionNode* c = collection.get()) {
    _stack.push_back(Level{c, 0});
    _entered.insert(c);
  }
}

bool CollectionNode::Iterator::traverse() {
  // Enter the collection found at the previous position.
  if (const CollectionNode* nested = dynamic_cast<const CollectionNode*>(_current.getObject()))
    if (_entered.insert(nested).second) _stack.push_back(Level{nested, 0});
  while (!_stack.empty()) {
    Level& top = _stack.back();
    if (top.next < top.collection->_nodes.size()) {
      _current = top.collection->_nodes[top.next++];
      return true;
    }
    _stack.pop_back();
  }
  _current.reset();
  return false;
}

}  // namespace kvg
