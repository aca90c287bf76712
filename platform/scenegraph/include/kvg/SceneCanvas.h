#pragma once
// The root of a scene: its drawables, camera, background and canvas-wide attributes. A
// drawable scene shows the canvas whose key is the scene's key.
#include <string>

#include "kvg/BaseCanvasAttributes.h"
#include "kvg/Camera.h"
#include "kvg/ClipPlanesAttributes.h"
#include "kvg/CollectionNode.h"

namespace kvg {

class SceneCanvas : public Node {
  KVG_NODE_TYPE(SceneCanvas, Node)

 public:
  SceneCanvas();
  ~SceneCanvas() override;

  const std::string& getTitle() const { return _title; }
  void setTitle(const std::string& title);

  // Never null.
  CollectionNode* getDrawables() const { return _drawables.get(); }
  const Ptr<CollectionNode>& getDrawablesNode() const { return _drawables; }

  BaseCanvasAttributes* hasBaseCanvasAttributes() const { return _canvasAttributes.get(); }
  void setBaseCanvasAttributes(const Ptr<BaseCanvasAttributes>& attributes);
  ClipPlanesAttributes* hasClipPlanesAttributes() const { return _clipPlanes.get(); }
  void setClipPlanesAttributes(const Ptr<ClipPlanesAttributes>& attributes);
  Camera* hasCamera() const { return _camera.get(); }
  void setCamera(const Ptr<Camera>& camera);

  // A plain background colour (the "Background" renderer).
  bool hasBackground() const { return _hasBackground; }
  const Vec3& getBackground() const { return _background; }
  void setBackground(const Vec3& rgb);
  // A gradient from bottom to top behind the model (the "Backdrop" renderer).
  bool hasBackdrop() const { return _hasBackdrop; }
  const Vec3& getBackdropBottom() const { return _backdropBottom; }
  const Vec3& getBackdropTop() const { return _backdropTop; }
  void setBackdrop(const Vec3& bottom, const Vec3& top);

  uint64_t getEffectiveMTime() const override;
  void getReferencedNodes(std::vector<Node*>& out) const override;

 private:
  std::string _title;
  Ptr<CollectionNode> _drawables;
  Ptr<BaseCanvasAttributes> _canvasAttributes;
  Ptr<ClipPlanesAttributes> _clipPlanes;
  Ptr<Camera> _camera;
  bool _hasBackground = false;
  Vec3 _background{0.0, 0.0, 0.0};
  bool _hasBackdrop = false;
  Vec3 _backdropBottom{0.0, 0.0, 0.0};
  Vec3 _backdropTop{0.0, 0.0, 0.0};
};

}  // namespace kvg
