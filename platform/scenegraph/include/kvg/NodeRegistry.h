#pragma once
// The nodes of one drawable session in keyed tables: ordered maps from a key "ClassName_n" to
// the node. The scene table holds what the loader or the server streamed; the run-time table
// holds nodes the program enters itself while it runs, and is consulted only while its flag
// (usesRuntimeNodes) is set. Keys in a table are unique; a class's counter n grows from 1.
//
// Thread use: the structure is guarded by a lock so lookups from any thread are safe; walking
// a table (getNodes) is for the thread that owns the session at that moment.
#include <map>
#include <string>
#include <vector>

#include "Lock.h"
#include "kvg/Node.h"

namespace kvg {

class NodeRegistry {
 public:
  using NodeTable = std::map<std::string, Ptr<Node>>;

  NodeRegistry();
  ~NodeRegistry();
  NodeRegistry(const NodeRegistry&) = delete;
  NodeRegistry& operator=(const NodeRegistry&) = delete;

  const NodeTable& getNodes() const { return _nodes; }
  const NodeTable& getRuntimeNodes() const { return _runtimeNodes; }
  bool usesRuntimeNodes() const { return _useRuntimeNodes; }
  void setUseRuntimeNodes(bool use) { _useRuntimeNodes = use; }

  // Looks in the scene table, then in the run-time table.
  Ptr<Node> findNode(const std::string& key) const;

  // Enters the node in the scene table under the given key, or under the next free
  // "ClassName_n" of its class when the key is empty. Returns the key; empty when the node is
  // null, already keyed, or the key is taken or does not start with the node's class name.
  std::string addNode(const Ptr<Node>& node, const std::string& key = std::string());
  bool removeNode(const std::string& key);
  // The same for the run-time table; the first entry sets the flag.
  std::string addRuntimeNode(const Ptr<Node>& node, const std::string& key = std::string());
  bool removeRuntimeNode(const std::string& key);

  // Replaces the scene table (a streamed scene); its counters come with it.
  void replaceNodes(NodeTable nodes, std::map<std::string, int> counters);
  // Empties both tables.
  void clear();

  size_t size() const;
  // Grows whenever the scene table gets another set of nodes (replaceNodes, clear).
  uint64_t getGeneration() const { return _generation; }
  // The next free counter value of a class in the scene table.
  int getCounter(const std::string& className) const;
  const std::map<std::string, int>& getCounters() const { return _counters; }

  // The class part of a key: what comes before its last '_' (the whole key without one).
  static std::string classNameOfKey(const std::string& key);
  // "ClassName_n" with n = counter; the counter grows.
  static std::string makeKey(const std::string& className, std::map<std::string, int>& counters);
  // Checks a key given from outside and raises the class counter past it. False when the key
  // does not begin with the class name followed by '_' and a number.
  static bool claimKey(const std::string& key, const std::string& className, std::map<std::string, int>& counters);

  // Every node of class T in key order, the scene table first, then the run-time table when
  // in use; a node whose key names T but whose object is another class is left out.
  template <class T>
  std::vector<T*> findNodesOfClass() const {
    std::vector<T*> out;
    Lock::AutoLock guard(_lock);
    collect<T>(_nodes, out);
    if (_useRuntimeNodes) collect<T>(_runtimeNodes, out);
    return out;
  }

  Lock& getLock() const { return _lock; }

 private:
  template <class T>
  static void collect(const NodeTable& table, std::vector<T*>& out) {
    const std::string name = T::getClassName();
    for (const auto& entry : table)
      if (classNameOfKey(entry.first) == name)
        if (T* t = entry.second.template tryCast<T>()) out.push_back(t);
  }
  bool erase(NodeTable& table, const std::string& key);
  std::string insert(NodeTable& table, std::map<std::string, int>& counters, const Ptr<Node>& node,
                     const std::string& key);

  mutable Lock _lock;
  NodeTable _nodes;
  NodeTable _runtimeNodes;
  std::map<std::string, int> _counters;
  std::map<std::string, int> _runtimeCounters;
  bool _useRuntimeNodes = false;
  uint64_t _generation = 0;
};

}  // namespace kvg
