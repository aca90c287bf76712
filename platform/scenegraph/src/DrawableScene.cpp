#include "kvg/DrawableScene.h"

#include <cstdint>
#include <unordered_map>
#include <unordered_set>

#include <vtkActor.h>
#include <vtkMapper.h>
#include <vtkMath.h>
#include <vtkPlane.h>
#include <vtkPropCollection.h>
#include <vtkRendererCollection.h>
#include <vtkWindow.h>

#include "kvg/DrawablePropFactory.h"
#include "kvg/DrawableProp.h"
#include "kvg/DrawableSession.h"
#include "kvg/Plane.h"
#include "kvg/RendererFactory.h"
#include "kvg/TriadDrawable.h"

namespace kvg {

namespace {
const char* const modelName = "Model";

// A drawable outside any registry has no key: its prop is kept under its address.
std::string propKey(const Drawable& d) {
  return d.getKey().empty() ? "@" + std::to_string(reinterpret_cast<uintptr_t>(&d)) : d.getKey();
}

const char* const backgroundName = "Background";
const char* const backdropName = "Backdrop";
const char* const orientationName = "Orientation";
}  // namespace

DrawableScene::DrawableScene(DrawableSession& session, std::unique_ptr<GenericWindowResourceManager> windowResources,
                             const std::string& key)
    : _session(session), _window(std::move(windowResources)), _key(key), _start(std::chrono::steady_clock::now()) {}

DrawableScene::~DrawableScene() {
  clearProps();
  while (!_background.empty()) removeRenderer(_background.begin()->first);
  if (_model && _window) _window->removeRenderer(_model->getVTKRenderer());
}

vtkRenderWindow* DrawableScene::getRenderWindow() const { return _window ? _window->getRenderWindow() : nullptr; }

SceneRenderer* DrawableScene::hasRenderer(const std::string& name) const {
  if (name == modelName) return _model.get();
  auto it = _background.find(name);
  return it == _background.end() ? nullptr : it->second.get();
}

std::vector<SceneRenderer*> DrawableScene::getRenderers() const {
  std::vector<SceneRenderer*> out;
  for (const char* name : {backgroundName, backdropName, modelName, orientationName})
    if (SceneRenderer* r = hasRenderer(name)) out.push_back(r);
  return out;
}

vtkProp* DrawableScene::findProp(const std::string& drawableKey) const {
  auto it = _props.find(drawableKey);
  return it == _props.end() ? nullptr : it->second.prop.GetPointer();
}

void DrawableScene::releaseGraphicsResources() {
  vtkRenderWindow* window = getRenderWindow();
  if (!window) return;
  for (SceneRenderer* r : getRenderers()) r->getVTKRenderer()->ReleaseGraphicsResources(window);
}

Ptr<SceneCanvas> DrawableScene::findCanvas() const {
  NodeRegistry& registry = _session.getNodeRegistry();
  Ptr<SceneCanvas> canvas(registry.findNode(_key));
  if (canvas.isValid()) return canvas;
  // A server scene's key names its view, not its canvas: show the session's first canvas.
  std::vector<SceneCanvas*> all = registry.findNodesOfClass<SceneCanvas>();
  return all.empty() ? Ptr<SceneCanvas>() : Ptr<SceneCanvas>(all.front());
}

void DrawableScene::ensureModelRenderer() {
  if (_model) return;
  vtkSmartPointer<vtkRenderer> renderer = RendererFactory::createRenderer(modelName);
  renderer->SetLayer(ModelLayer);
  _model = std::make_unique<SceneCanvasRenderer>(modelName, renderer);
}

SceneRenderer* DrawableScene::ensureRenderer(const std::string& name, bool wanted, int layer) {
  if (!wanted) {
    removeRenderer(name);
    return nullptr;
  }
  auto it = _background.find(name);
  if (it != _background.end()) return it->second.get();
  vtkSmartPointer<vtkRenderer> renderer = RendererFactory::createRenderer(name);
  renderer->SetLayer(layer);
  renderer->InteractiveOff();
  auto made = std::make_unique<SceneRenderer>(name, renderer);
  SceneRenderer* r = made.get();
  _background[name] = std::move(made);
  return r;
}

void DrawableScene::removeRenderer(const std::string& name) {
  auto it = _background.find(name);
  if (it == _background.end()) return;
  std::vector<PropEntry*> going;
  for (auto& e : _props)
    if (e.second.renderer == it->second->getVTKRenderer()) going.push_back(&e.second);
  removeProps(going);
  if (_window) _window->removeRenderer(it->second->getVTKRenderer());
  _background.erase(it);
}

// VTK's RemoveViewProp and AddViewProp search the renderer's list for every prop, which makes
// thousands of parts quadratic: each renderer's list is walked once here instead. A prop that
// goes releases its graphics resources in the window's context, as RemoveViewProp does.
void DrawableScene::removeProps(const std::vector<PropEntry*>& entries) {
  std::unordered_map<vtkRenderer*, std::unordered_set<vtkProp*>> going;
  for (const PropEntry* e : entries)
    if (e->prop && e->renderer) going[e->renderer].insert(e->prop.GetPointer());
  for (auto& g : going) {
    vtkRenderer* renderer = g.first;
    vtkPropCollection* props = renderer->GetViewProps();
    std::vector<vtkSmartPointer<vtkProp>> kept, removed;
    vtkCollectionSimpleIterator it;
    props->InitTraversal(it);
    while (vtkProp* p = props->GetNextProp(it)) (g.second.count(p) ? removed : kept).push_back(p);
    if (removed.empty()) continue;
    vtkWindow* window = renderer->GetVTKWindow();
    if (window) window->MakeCurrent();
    for (vtkProp* p : removed) {
      p->ReleaseGraphicsResources(window);
      p->RemoveConsumer(renderer);
    }
    props->RemoveAllItems();
    for (vtkProp* p : kept) props->AddItem(p);
  }
  for (PropEntry* e : entries) {
    e->prop = nullptr;
    e->renderer = nullptr;
  }
}

void DrawableScene::addProps(const std::vector<PropEntry*>& entries) {
  std::unordered_map<vtkRenderer*, std::unordered_set<vtkProp*>> present;
  for (const PropEntry* e : entries) {
    if (!e->prop || !e->renderer) continue;
    auto found = present.find(e->renderer);
    if (found == present.end()) {
      found = present.emplace(e->renderer, std::unordered_set<vtkProp*>()).first;
      vtkPropCollection* props = e->renderer->GetViewProps();
      vtkCollectionSimpleIterator it;
      props->InitTraversal(it);
      while (vtkProp* p = props->GetNextProp(it)) found->second.insert(p);
    }
    if (!found->second.insert(e->prop.GetPointer()).second) continue;
    e->renderer->GetViewProps()->AddItem(e->prop);
    e->prop->AddConsumer(e->renderer);
  }
}

void DrawableScene::clearProps() {
  std::vector<PropEntry*> all;
  for (auto& e : _props) all.push_back(&e.second);
  removeProps(all);
  _props.clear();
}

void DrawableScene::update(bool force) {
  _session.applyExtensionMakers();
  NodeRegistry& registry = _session.getNodeRegistry();
  if (registry.getGeneration() != _generation) {
    // Another set of nodes: nothing of the old props is kept.
    _generation = registry.getGeneration();
    force = true;
  }
  Ptr<SceneCanvas> canvas = findCanvas();
  if (canvas != _canvas) force = true;
  _canvas = canvas;
  if (force) clearProps();
  if (!canvas) {
    if (_model) _model->setSceneCanvas(nullptr);
    for (SessionExtension* e : _session.getExtensions()) e->sceneUpdated(*this);
    return;
  }

  ensureModelRenderer();
  _model->setSceneCanvas(canvas);
  vtkRenderer* model = _model->getVTKRenderer();

  if (SceneRenderer* bg = ensureRenderer(backgroundName, canvas->hasBackground(), 0))
    bg->getVTKRenderer()->SetBackground(canvas->getBackground().data());
  if (SceneRenderer* bd = ensureRenderer(backdropName, canvas->hasBackdrop(), 0)) {
    vtkRenderer* r = bd->getVTKRenderer();
    r->GradientBackgroundOn();
    r->SetBackground(canvas->getBackdropBottom().data());
    r->SetBackground2(canvas->getBackdropTop().data());
  }

  BaseCanvasAttributes* canvasAttributes = canvas->hasBaseCanvasAttributes();
  model->SetUseDepthPeeling(canvasAttributes &&
                            canvasAttributes->getTranparencyMode() == BaseCanvasAttributes::DepthPeeling);
  updateClipPlanes(*canvas);

  // The drawables of the canvas, nested collections included.
  std::vector<Drawable*> drawables;
  bool hasTriad = false;
  CollectionNode::Iterator it(*canvas->getDrawables());
  while (it.traverse())
    if (Drawable* d = it.getNode().tryCast<Drawable>()) {
      drawables.push_back(d);
      hasTriad = hasTriad || dynamic_cast<TriadDrawable*>(d) != nullptr;
    }
  SceneRenderer* orientation = ensureRenderer(orientationName, hasTriad, ModelLayer + 1);
  if (orientation) orientation->getVTKRenderer()->SetViewport(0.0, 0.0, 0.2, 0.2);

  // Props of drawables that went, or whose key now names another drawable, or whose drawable
  // changed: all taken out at once.
  std::unordered_map<std::string, Drawable*> byKey;
  for (Drawable* d : drawables) byKey[propKey(*d)] = d;
  std::vector<PropEntry*> stale;
  std::vector<std::string> gone;
  for (auto& e : _props) {
    auto found = byKey.find(e.first);
    if (found == byKey.end() || e.second.drawable.get() != found->second) {
      stale.push_back(&e.second);
      gone.push_back(e.first);
    } else if (e.second.mTime != found->second->getEffectiveMTime()) {
      stale.push_back(&e.second);
    }
  }
  removeProps(stale);
  for (const std::string& key : gone) _props.erase(key);

  // New and changed drawables get their props, added at once.
  const DrawablePropContext context{*this, _model->getClippingPlanes()};
  std::vector<PropEntry*> built;
  for (Drawable* d : drawables) {
    PropEntry& entry = _props[propKey(*d)];
    const uint64_t mTime = d->getEffectiveMTime();
    if (!entry.drawable.isValid() || entry.mTime != mTime) {
      removeProps({&entry});
      entry.drawable = d;
      entry.mTime = mTime;
      entry.prop = DrawablePropFactory::build(*d, context);
      entry.renderer = dynamic_cast<TriadDrawable*>(d) ? orientation->getVTKRenderer() : model;
      built.push_back(&entry);
    } else if (DrawableProp* prop = DrawableProp::SafeDownCast(entry.prop)) {
      DrawablePropFactory::applyAttributes(*prop, *d);
    }
    if (entry.prop) animate(*d, entry.prop);
  }
  addProps(built);

  updateCamera(*canvas, force);
  updateOrientationCamera();
  attachRenderers();
  for (SessionExtension* e : _session.getExtensions()) e->sceneUpdated(*this);
}

void DrawableScene::updateClipPlanes(SceneCanvas& canvas) {
  vtkPlaneCollection* planes = _model->getClippingPlanes();
  planes->RemoveAllItems();
  ClipPlanesAttributes* clip = canvas.hasClipPlanesAttributes();
  CollectionNode* nodes = clip ? clip->hasClippingPlanes() : nullptr;
  if (!nodes) return;
  CollectionNode::Iterator it(*nodes);
  while (it.traverse())
    if (Plane* p = it.getNode().tryCast<Plane>()) {
      auto plane = vtkSmartPointer<vtkPlane>::New();
      plane->SetOrigin(p->getOrigin().data());
      plane->SetNormal(p->getNormal().data());
      planes->AddItem(plane);
    }
}

void DrawableScene::updateCamera(SceneCanvas& canvas, bool force) {
  vtkRenderer* model = _model->getVTKRenderer();
  vtkCamera* active = model->GetActiveCamera();
  Camera* sceneCamera = canvas.hasCamera();
  const uint64_t cameraMTime = sceneCamera ? sceneCamera->getMTime() : 0;
  if (!force && active == _configuredCamera.GetPointer() && cameraMTime == _cameraMTime) return;
  if (sceneCamera) {
    active->SetPosition(sceneCamera->getPosition().data());
    active->SetFocalPoint(sceneCamera->getFocalPoint().data());
    active->SetViewUp(sceneCamera->getViewUp().data());
    active->SetViewAngle(sceneCamera->getViewAngle());
    model->ResetCameraClippingRange();
  } else {
    model->ResetCamera();
  }
  _configuredCamera = active;
  _cameraMTime = cameraMTime;
}

void DrawableScene::updateOrientationCamera() {
  SceneRenderer* orientation = hasRenderer(orientationName);
  if (!orientation) return;
  vtkCamera* from = _model->getVTKRenderer()->GetActiveCamera();
  vtkCamera* to = orientation->getVTKRenderer()->GetActiveCamera();
  double direction[3];
  from->GetDirectionOfProjection(direction);
  to->SetFocalPoint(0.5, 0.5, 0.5);
  to->SetPosition(0.5 - 4.0 * direction[0], 0.5 - 4.0 * direction[1], 0.5 - 4.0 * direction[2]);
  to->SetViewUp(from->GetViewUp());
  to->SetViewAngle(30.0);
  orientation->getVTKRenderer()->ResetCameraClippingRange();
}

void DrawableScene::animate(const Drawable& drawable, vtkProp* prop) const {
  AnimationAttributes* animation = drawable.hasAnimationAttributes();
  vtkActor* prop3D = vtkActor::SafeDownCast(prop);
  if (!animation || !animation->getAnimationEnabled() || !prop3D || !prop3D->GetMapper()) return;
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - _start).count();
  // The data's own bounds: the prop's would turn with it.
  double bounds[6];
  prop3D->GetMapper()->GetBounds(bounds);
  prop3D->SetOrigin((bounds[0] + bounds[1]) / 2, (bounds[2] + bounds[3]) / 2, (bounds[4] + bounds[5]) / 2);
  prop3D->SetOrientation(0.0, 0.0, 0.0);
  const Vec3& axis = animation->getAxis();
  prop3D->RotateWXYZ(std::fmod(animation->getSpeed() * seconds, 360.0), axis[0], axis[1], axis[2]);
}

void DrawableScene::attachRenderers() {
  if (!_window) return;
  for (SceneRenderer* r : getRenderers()) _window->addRenderer(r->getVTKRenderer());
}

}  // namespace kvg
