#pragma once
// A named scene-graph node. Nodes of a session's scene sit in its node registry under a key
// "ClassName_n"; the class name before the last '_' tells collectors what the node is.
// A node is changed by one thread at a time: the thread that owns its session at that moment.
#include <cstdint>
#include <string>
#include <vector>

#include "kvg/Object.h"
#include "kvg/Ptr.h"
#include "kvg/Ref.h"
#include "kvg/Types.h"

// Declares the class-name queries of a node class; the name is the class name without "kvg::".
#define KVG_NODE_TYPE(thisClass, superClass)                                    \
 public:                                                                       \
  using Superclass = superClass;                                               \
  static const char* getClassName() { return #thisClass; }                     \
  const char* getNodeClassName() const override { return #thisClass; }         \
                                                                               \
 private:

namespace kvg {

class DrawableSession;
class NodeRegistry;
class RendererNodeStream;

class Node : public Object {
 public:
  Node();
  ~Node() override;

  static const char* getClassName() { return "Node"; }
  // The class name of the object itself (the most derived node class).
  virtual const char* getNodeClassName() const { return getClassName(); }

  const std::string& getName() const { return _name; }
  void setName(const std::string& name);

  // "ClassName_n" once the node was entered in a registry; empty before.
  const std::string& getKey() const { return _key; }

  // The session the node belongs to; null for a node made outside any session. A session that
  // goes clears it in the nodes of its registry.
  DrawableSession* getSession() const { return _session; }
  void setSession(DrawableSession* session) { _session = session; }

  // Marks the node as changed, so the next scene update redraws what depends on it.
  void modified();
  uint64_t getMTime() const { return _mTime; }
  // The latest change of this node and of the nodes it refers to.
  virtual uint64_t getEffectiveMTime() const { return _mTime; }

  // Nodes this node refers to (attributes, data, children), in a fixed order. A stream that
  // enters a node enters these first when they have no key yet.
  virtual void getReferencedNodes(std::vector<Node*>& out) const {}

  // The global change counter; every modified() takes the next value.
  static uint64_t nextMTime();

 protected:
  // Stores a value and marks the node changed when it differs.
  template <class T>
  void update(T& member, const T& value) {
    if (!(member == value)) {
      member = value;
      modified();
    }
  }

 private:
  friend class NodeRegistry;
  friend class RendererNodeStream;
  void setKey(const std::string& key) { _key = key; }

  std::string _name;
  std::string _key;
  DrawableSession* _session = nullptr;
  uint64_t _mTime;
};

}  // namespace kvg
