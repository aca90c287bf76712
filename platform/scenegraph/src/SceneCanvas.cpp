#include "kvg/SceneCanvas.h"

#include <algorithm>

namespace kvg {

SceneCanvas::SceneCanvas()
    : _drawables(new CollectionNode), _canvasAttributes(new BaseCanvasAttributes), _clipPlanes(new ClipPlanesAttributes) {}

SceneCanvas::~SceneCanvas() = default;

void SceneCanvas::setTitle(const std::string& title) {
  _title = title;
  modified();
}

void SceneCanvas::setBaseCanvasAttributes(const Ptr<BaseCanvasAttributes>& attributes) {
  _canvasAttributes = attributes;
  modified();
}

void SceneCanvas::setClipPlanesAttributes(const Ptr<ClipPlanesAttributes>& attributes) {
  _clipPlanes = attributes;
  modified();
}

void SceneCanvas::setCamera(const Ptr<Camera>& camera) {
  _camera = camera;
  modified();
}

void SceneCanvas::setBackground(const Vec3& rgb) {
  _hasBackground = true;
  _background = rgb;
  modified();
}

void SceneCanvas::setBackdrop(const Vec3& bottom, const Vec3& top) {
  _hasBackdrop = true;
  _backdropBottom = bottom;
  _backdropTop = top;
  modified();
}

uint64_t SceneCanvas::getEffectiveMTime() const {
  // Drawables are tracked one by one by the scene; the canvas itself covers the rest.
  uint64_t t = std::max(getMTime(), _drawables->getMTime());
  if (_canvasAttributes) t = std::max(t, _canvasAttributes->getEffectiveMTime());
  if (_clipPlanes) t = std::max(t, _clipPlanes->getEffectiveMTime());
  if (_camera) t = std::max(t, _camera->getEffectiveMTime());
  return t;
}

void SceneCanvas::getReferencedNodes(std::vector<Node*>& out) const {
  if (BaseCanvasAttributes* a = _canvasAttributes.get()) out.push_back(a);
  if (ClipPlanesAttributes* c = _clipPlanes.get()) out.push_back(c);
  if (Camera* c = _camera.get()) out.push_back(c);
  out.push_back(_drawables.get());
}

}  // namespace kvg
