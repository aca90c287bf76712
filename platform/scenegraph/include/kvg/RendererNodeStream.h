#pragma once
// Streams nodes into a drawable session. Nodes are staged in the stream and reach the
// session's node registry only at commit(), all at once: a load that fails half-way leaves the
// session as it was. Builds scene-graph nodes only; no OpenGL, so it runs on a loader thread.
//
// Keys: a node added without a key gets "ClassName_n", counted within the stream, so the same
// record streamed into two sessions gives the same keys in both. Nodes a staged node refers to
// (attributes, data, children) are entered with it when they have no key yet.
#include <map>
#include <string>

#include "kvg/NodeRegistry.h"

namespace kvg {

class DrawableSession;

class RendererNodeStream {
 public:
  enum Mode {
    ReplaceScene,   // commit() replaces the session's scene table with the staged nodes
    MergeIntoScene  // commit() adds the staged nodes to it; a staged key replaces that node
  };

  explicit RendererNodeStream(DrawableSession& session, Mode mode = ReplaceScene);
  // Throws InternalError when the session is null.
  explicit RendererNodeStream(DrawableSession* session, Mode mode = ReplaceScene);
  // An uncommitted stream is aborted.
  ~RendererNodeStream();
  RendererNodeStream(const RendererNodeStream&) = delete;
  RendererNodeStream& operator=(const RendererNodeStream&) = delete;

  DrawableSession& getSession() const { return _session; }
  Mode getMode() const { return _mode; }

  // Stages the node (and the unkeyed nodes it refers to) and gives it the session. Returns
  // its key; empty when the node is null, already keyed, or the key is taken or malformed.
  std::string addNode(const Ptr<Node>& node, const std::string& key = std::string());
  Ptr<Node> findNode(const std::string& key) const;
  size_t getNodeCount() const { return _staged.size(); }
  const NodeRegistry::NodeTable& getNodes() const { return _staged; }

  // Hands the staged nodes to the session; false when the stream was already finished.
  bool commit();
  // Drops the staged nodes (their keys are cleared, so they may be streamed again).
  void abort();
  bool isFinished() const { return _finished; }

 private:
  std::string stage(Node& node, const Ptr<Node>& ptr, const std::string& key, int depth);

  DrawableSession& _session;
  Mode _mode;
  NodeRegistry::NodeTable _staged;
  std::map<std::string, int> _counters;
  bool _finished = false;
};

}  // namespace kvg
