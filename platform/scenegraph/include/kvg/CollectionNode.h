#pragma once
// An ordered list of nodes; collections may nest. Iterator walks it depth first.
#include <unordered_set>
#include <vector>

#include "kvg/Node.h"

namespace kvg {

class CollectionNode : public Node {
  KVG_NODE_TYPE(CollectionNode, Node)

 public:
  CollectionNode();
  ~CollectionNode() override;

  void addNode(const Ptr<Node>& node);
  // Removes the first entry holding this object; false when there is none.
  bool removeNode(const Ptr<Node>& node);
  bool removeNode(size_t index);
  void clear();

  size_t getNumberOfNodes() const { return _nodes.size(); }
  // Null for an index out of range.
  Ptr<Node> getNode(size_t index) const;
  const std::vector<Ptr<Node>>& getNodes() const { return _nodes; }

  uint64_t getEffectiveMTime() const override;
  void getReferencedNodes(std::vector<Node*>& out) const override;

  // Depth-first walk: every node in order, the entries of a nested collection right after
  // the collection itself. A collection met again inside itself is not entered twice.
  //   CollectionNode::Iterator it(collection);
  //   while (it.traverse()) use(it.getNode());
  class Iterator {
   public:
    explicit Iterator(const CollectionNode& collection);
    explicit Iterator(const Ptr<CollectionNode>& collection);
    // Moves to the next node; false when the walk is over.
    bool traverse();
    // The node at the current position (null before the first traverse or after the end).
    Ptr<Node> getNode() const { return _current; }
    // Nesting depth of the current node: 0 for entries of the collection itself.
    size_t getDepth() const { return _stack.empty() ? 0 : _stack.size() - 1; }

   private:
    struct Level {
      const CollectionNode* collection;
      size_t next;
    };
    std::vector<Level> _stack;
    std::unordered_set<const CollectionNode*> _entered;
    Ptr<Node> _current;
  };

 private:
  std::vector<Ptr<Node>> _nodes;
};

}  // namespace kvg
