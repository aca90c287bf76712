#include "kvg/NodeRegistry.h"

#include <cctype>

namespace kvg {

NodeRegistry::NodeRegistry() = default;
NodeRegistry::~NodeRegistry() = default;

Ptr<Node> NodeRegistry::findNode(const std::string& key) const {
  Lock::AutoLock guard(_lock);
  auto it = _nodes.find(key);
  if (it != _nodes.end()) return it->second;
  it = _runtimeNodes.find(key);
  if (it != _runtimeNodes.end()) return it->second;
  return Ptr<Node>();
}

std::string NodeRegistry::classNameOfKey(const std::string& key) {
  size_t cut = key.rfind('_');
  return cut == std::string::npos ? key : key.substr(0, cut);
}

std::string NodeRegistry::makeKey(const std::string& className, std::map<std::string, int>& counters) {
  int& next = counters[className];
  if (next < 1) next = 1;
  return className + "_" + std::to_string(next++);
}

bool NodeRegistry::claimKey(const std::string& key, const std::string& className,
                            std::map<std::string, int>& counters) {
  if (key.size() <= className.size() + 1 || key.compare(0, className.size(), className) != 0 ||
      key[className.size()] != '_')
    return false;
  const std::string digits = key.substr(className.size() + 1);
  if (digits.size() > 9) return false;
  for (char c : digits)
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  int n = std::stoi(digits);
  int& next = counters[className];
  if (next <= n) next = n + 1;
  return true;
}

std::string NodeRegistry::insert(NodeTable& table, std::map<std::string, int>& counters, const Ptr<Node>& node,
                                 const std::string& key) {
  Node* n = node.get();
  if (!n || !n->getKey().empty()) return std::string();
  const std::string className = n->getNodeClassName();
  std::string k = key;
  if (k.empty()) {
    do {
      k = makeKey(className, counters);
    } while (table.count(k));
  } else if (table.count(k) || !claimKey(k, className, counters)) {
    return std::string();
  }
  n->setKey(k);
  table.emplace(k, node);
  return k;
}

std::string NodeRegistry::addNode(const Ptr<Node>& node, const std::string& key) {
  Lock::AutoLock guard(_lock);
  return insert(_nodes, _counters, node, key);
}

std::string NodeRegistry::addRuntimeNode(const Ptr<Node>& node, const std::string& key) {
  Lock::AutoLock guard(_lock);
  std::string k = insert(_runtimeNodes, _runtimeCounters, node, key);
  if (!k.empty()) _useRuntimeNodes = true;
  return k;
}

bool NodeRegistry::erase(NodeTable& table, const std::string& key) {
  Lock::AutoLock guard(_lock);
  auto it = table.find(key);
  if (it == table.end()) return false;
  // The node may be entered again, here or elsewhere.
  if (Node* n = it->second.get()) n->setKey(std::string());
  table.erase(it);
  return true;
}

bool NodeRegistry::removeNode(const std::string& key) { return erase(_nodes, key); }

bool NodeRegistry::removeRuntimeNode(const std::string& key) { return erase(_runtimeNodes, key); }

void NodeRegistry::replaceNodes(NodeTable nodes, std::map<std::string, int> counters) {
  NodeTable old;
  {
    Lock::AutoLock guard(_lock);
    old.swap(_nodes);
    _nodes = std::move(nodes);
    _counters = std::move(counters);
    ++_generation;
  }
  // The old nodes go outside the lock: their destructors may be long.
  old.clear();
}

void NodeRegistry::clear() {
  NodeTable oldNodes, oldRuntime;
  {
    Lock::AutoLock guard(_lock);
    oldNodes.swap(_nodes);
    oldRuntime.swap(_runtimeNodes);
    _counters.clear();
    _runtimeCounters.clear();
    _useRuntimeNodes = false;
    ++_generation;
  }
}

size_t NodeRegistry::size() const {
  Lock::AutoLock guard(_lock);
  return _nodes.size() + _runtimeNodes.size();
}

int NodeRegistry::getCounter(const std::string& className) const {
  Lock::AutoLock guard(_lock);
  auto it = _counters.find(className);
  return it == _counters.end() || it->second < 1 ? 1 : it->second;
}

}  // namespace kvg
