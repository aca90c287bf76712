#pragma once
// A per-session service attached to a drawable session by name (volume rendering, particle
// advection, ...). The session owns it and destroys it before its scenes and nodes.
namespace kvg {

class DrawableScene;
class DrawableSession;

class SessionExtension {
 public:
  virtual ~SessionExtension() = default;
  // Called at the end of DrawableScene::update for every scene of the session, on the
  // updating thread with the scene's OpenGL context current.
  virtual void sceneUpdated(DrawableScene& scene) {}
  // Called before a scene of the session goes, while its renderers still exist.
  virtual void sceneRemoved(DrawableScene& scene) {}
  // Called when a node stream committed new nodes to the session (a scene from the server or a
  // file), on the committing thread, before anything else changes them.
  virtual void nodesCommitted(DrawableSession& session) {}
};

}  // namespace kvg
