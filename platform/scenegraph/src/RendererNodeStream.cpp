#include "kvg/RendererNodeStream.h"

#include "kvg/DrawableSession.h"

namespace kvg {

namespace {
DrawableSession& checkedSession(DrawableSession* session) {
  INTERNAL_CHECK(session != nullptr, "RendererNodeStream needs a drawable session", "RendererNodeStream");
  return *session;
}
}  // namespace

RendererNodeStream::RendererNodeStream(DrawableSession& session, Mode mode) : _session(session), _mode(mode) {
  // Merged keys must not collide with the scene's own.
  if (_mode == MergeIntoScene) _counters = _session.getNodeRegistry().getCounters();
}

RendererNodeStream::RendererNodeStream(DrawableSession* session, Mode mode)
    : RendererNodeStream(checkedSession(session), mode) {}

RendererNodeStream::~RendererNodeStream() {
  if (!_finished) abort();
}

std::string RendererNodeStream::stage(Node& node, const Ptr<Node>& ptr, const std::string& key, int depth) {
  if (!node.getKey().empty() || depth > 256) return std::string();
  std::vector<Node*> referenced;
  node.getReferencedNodes(referenced);
  for (Node* r : referenced)
    if (r && r->getKey().empty()) stage(*r, Ptr<Node>(r), std::string(), depth + 1);
  const std::string className = node.getNodeClassName();
  std::string k = key;
  const NodeRegistry& registry = _session.getNodeRegistry();
  auto taken = [&](const std::string& candidate) {
    return _staged.count(candidate) || (_mode == MergeIntoScene && key.empty() && registry.findNode(candidate));
  };
  if (k.empty()) {
    do {
      k = NodeRegistry::makeKey(className, _counters);
    } while (taken(k));
  } else if (_staged.count(k) || !NodeRegistry::claimKey(k, className, _counters)) {
    return std::string();
  }
  node.setKey(k);
  node.setSession(&_session);
  _staged.emplace(k, ptr);
  return k;
}

std::string RendererNodeStream::addNode(const Ptr<Node>& node, const std::string& key) {
  Node* n = node.get();
  if (!n || _finished) return std::string();
  return stage(*n, node, key, 0);
}

Ptr<Node> RendererNodeStream::findNode(const std::string& key) const {
  auto it = _staged.find(key);
  return it == _staged.end() ? Ptr<Node>() : it->second;
}

bool RendererNodeStream::commit() {
  if (_finished) return false;
  _finished = true;
  NodeRegistry& registry = _session.getNodeRegistry();
  if (_mode == ReplaceScene) {
    registry.replaceNodes(std::move(_staged), std::move(_counters));
  } else {
    for (auto& entry : _staged) {
      registry.removeNode(entry.first);
      Node* n = entry.second.get();
      n->setKey(std::string());
      registry.addNode(entry.second, entry.first);
    }
  }
  _staged.clear();
  _session.applyExtensionMakers();
  for (SessionExtension* e : _session.getExtensions()) e->nodesCommitted(_session);
  return true;
}

void RendererNodeStream::abort() {
  for (auto& entry : _staged)
    if (Node* n = entry.second.get()) n->setKey(std::string());
  _staged.clear();
  _finished = true;
}

}  // namespace kvg
