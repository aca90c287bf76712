#include "PartWidgetService.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include <vtkActor.h>
#include <vtkCallbackCommand.h>
#include <vtkCommand.h>
#include <vtkLineSource.h>
#include <vtkPlaneSource.h>
#include <vtkPolyDataMapper.h>
#include <vtkProperty.h>
#include <vtkRenderWindow.h>
#include <vtkRenderWindowInteractor.h>
#include <vtkRenderer.h>
#include <vtkSphereSource.h>
#include <vtkTubeFilter.h>

#include "Properties.h"
#include "WidgetRecords.h"
#include "kvg/BaseAttributes.h"
#include "kvg/CollectionNode.h"
#include "kvg/DrawableProp.h"
#include "kvg/DrawableScene.h"
#include "kvg/DrawableSession.h"
#include "kvg/PartDrawable.h"
#include "kvg/SceneCanvas.h"
#include "kvg/SceneCanvasRenderer.h"
#include "kvg/WidgetDrawableAttributes.h"

namespace zeltwidget {

namespace {

const unsigned long kFirstEvent = vtkCommand::UserEvent + 1;  // 1001
const int kEventCount = 8;

const char* const kGeometryKeys[5][3] = {{nullptr, nullptr, nullptr},
                                         {"Position", nullptr, nullptr},
                                         {"Point1", "Point2", nullptr},
                                         {"Origin", "Orientation", nullptr},
                                         {"Point1", "Point2", "Origin"}};

void identity(double m[16]) {
  std::memset(m, 0, 16 * sizeof(double));
  m[0] = m[5] = m[10] = m[15] = 1.0;
}

// The point the widget is held by and copies are placed relative to.
void referencePoint(int type, const std::array<std::array<double, 3>, 3>& p, double out[3]) {
  for (int i = 0; i < 3; ++i) {
    if (type == 2 || type == 4) out[i] = (p[0][i] + p[1][i]) / 2;
    else out[i] = p[0][i];
  }
}

template <class T>
std::vector<T*> partsIn(kvg::CollectionNode* drawables) {
  std::vector<T*> out;
  if (!drawables) return out;
  kvg::CollectionNode::Iterator it(*drawables);
  while (it.traverse())
    if (T* t = it.getNode().template tryCast<T>()) out.push_back(t);
  return out;
}

}  // namespace

const char* const PartWidgetService::NAME = "ZeltSceneGraphWidget";
std::atomic<int64_t> PartWidgetService::s_connectionId{0};

PartWidgetService::PartWidgetService(kvg::DrawableSession& session) : _session(session) {}

PartWidgetService::~PartWidgetService() {
  dropWidget();
  observe(nullptr);
}

// Session owner thread: the scene as the server sent it, before the program adapts it.
void PartWidgetService::nodesCommitted(kvg::DrawableSession& session) {
  _highlighted.clear();
  const int64_t own = s_connectionId.load();
  const std::string ownText = own != 0 ? std::to_string(own) : std::string();
  for (const auto& entry : session.getNodeRegistry().getNodes()) {
    kvg::PartDrawable* part = entry.second.tryCast<kvg::PartDrawable>();
    if (!part) continue;
    kvg::BaseAttributes* base = part->hasBaseAttributes();
    // A part this program's connection highlights is highlighted here (and so hidden behind
    // its widget); the other users' picks are theirs and stay as they are.
    const std::vector<std::string>& by = part->getHighlightedBy();
    if (base && !ownText.empty() && std::find(by.begin(), by.end(), ownText) != by.end())
      base->setHighlightEnabled(true);
    if (base && base->getHighlightEnabled() && _highlighted.empty()) {
      _highlighted = part->getName();
    }
  }
}

// Session owner thread.
void PartWidgetService::sceneUpdated(kvg::DrawableScene& scene) {
  _sceneKey = scene.getKey();
  _deleting.clear();
  vtkRenderWindow* window = scene.getRenderWindow();
  observe(window ? window->GetInteractor() : nullptr);
  kvg::SceneCanvasRenderer* model = scene.hasModelRenderer();
  vtkRenderer* renderer = model ? model->getVTKRenderer() : nullptr;
  kvg::SceneCanvas* canvas = scene.getSceneCanvas();
  kvg::PartDrawable* shown = nullptr;
  if (canvas && !_highlighted.empty())
    for (kvg::PartDrawable* part : partsIn<kvg::PartDrawable>(canvas->getDrawables()))
      if (part->getName() == _highlighted) shown = part;
  if (!shown || !renderer) {
    dropWidget();
    _part.clear();
    _dragging = false;
    return;
  }
  // A drag under way keeps the geometry it started from; the server's later copy comes after.
  if (!_dragging || _part != shown->getName()) {
    _part = shown->getName();
    _type = shown->getPartType();
    _geometry = {shown->getP0(), shown->getP1(), shown->getP2()};
    _size = shown->getSize();
    _dragging = false;
    std::memset(_delta, 0, sizeof(_delta));
  }
  if (kvg::WidgetDrawableAttributes* look = shown->findAttributes<kvg::WidgetDrawableAttributes>())
    for (int i = 0; i < 3; ++i) _color[i] = look->getWidgetHighlightColor()[i];
  buildWidget(renderer);
}

// Session owner thread.
void PartWidgetService::sceneRemoved(kvg::DrawableScene&) {
  dropWidget();
  observe(nullptr);
}

void PartWidgetService::observe(vtkRenderWindowInteractor* interactor) {
  if (interactor == _interactor.GetPointer()) return;
  if (_interactor)
    for (unsigned long tag : _tags) _interactor->RemoveObserver(tag);
  _interactor = interactor;
  if (!interactor) return;
  if (!_command) {
    _command = vtkSmartPointer<vtkCallbackCommand>::New();
    _command->SetCallback(&PartWidgetService::onEvent);
    _command->SetClientData(this);
  }
  for (int i = 0; i < kEventCount; ++i) _tags[i] = interactor->AddObserver(kFirstEvent + i, _command);
}

void PartWidgetService::dropWidget() {
  if (_widget && _renderer) _renderer->RemoveActor(_widget);
  _widget = nullptr;
  _renderer = nullptr;
}

void PartWidgetService::buildWidget(vtkRenderer* renderer) {
  dropWidget();
  auto p = _geometry;  // VTK takes non-const arrays
  vtkSmartPointer<vtkPolyDataAlgorithm> source;
  switch (_type) {
    case 1: {
      auto sphere = vtkSmartPointer<vtkSphereSource>::New();
      sphere->SetCenter(p[0].data());
      sphere->SetRadius(std::max(_size * 0.75, 1e-3));
      sphere->SetThetaResolution(20);
      sphere->SetPhiResolution(14);
      source = sphere;
      break;
    }
    case 2: {
      auto line = vtkSmartPointer<vtkLineSource>::New();
      line->SetPoint1(p[0].data());
      line->SetPoint2(p[1].data());
      auto tube = vtkSmartPointer<vtkTubeFilter>::New();
      tube->SetInputConnection(line->GetOutputPort());
      tube->SetRadius(std::max(_size * 0.25, 1e-3));
      tube->SetNumberOfSides(12);
      tube->CappingOn();
      source = tube;
      break;
    }
    case 3: {
      auto plane = vtkSmartPointer<vtkPlaneSource>::New();
      const double h = _size * 0.55;  // a rim around the part, so the part's own edge lies on the widget
      plane->SetOrigin(-h, -h, 0);
      plane->SetPoint1(h, -h, 0);
      plane->SetPoint2(-h, h, 0);
      plane->SetCenter(p[0].data());
      plane->SetNormal(p[1].data());
      source = plane;
      break;
    }
    case 4: {
      auto plane = vtkSmartPointer<vtkPlaneSource>::New();
      plane->SetOrigin(p[2].data());
      plane->SetPoint1(p[0].data());
      plane->SetPoint2(p[1].data());
      source = plane;
      break;
    }
    default:
      return;
  }
  source->Update();
  auto mapper = vtkSmartPointer<vtkPolyDataMapper>::New();
  mapper->SetInputData(source->GetOutput());
  mapper->ScalarVisibilityOff();
  vtkSmartPointer<kvg::DrawableProp> prop = vtkSmartPointer<kvg::DrawableProp>::Take(kvg::DrawableProp::New());
  // Picks of the widget name its part: "<part>:<piece>".
  prop->SetDrawableName(_part + ":widget");
  prop->SetDrawableClassName("PartWidget");
  prop->SetMapper(mapper);
  prop->GetProperty()->SetColor(_color);
  prop->GetProperty()->SetAmbient(0.4);
  prop->GetProperty()->SetDiffuse(0.7);
  renderer->AddActor(prop);
  _widget = prop;
  _renderer = renderer;
  std::memset(_propOffset, 0, sizeof(_propOffset));
  placeWidget();
}

std::array<std::array<double, 3>, 3> PartWidgetService::movedGeometry() const {
  std::array<std::array<double, 3>, 3> moved = _geometry;
  // A plane section's second vector is its normal: it does not move.
  for (int v = 0; v < 3; ++v) {
    if (_type == 3 && v == 1) continue;
    for (int i = 0; i < 3; ++i) moved[v][i] += _delta[i];
  }
  return moved;
}

void PartWidgetService::writeState(WidgetState& s) const {
  s.state = _dragging ? 1 : 0;
  s.dragDistance = _dragDistance;
  const auto moved = movedGeometry();
  for (int v = 0; v < 3; ++v)
    for (int i = 0; i < 3; ++i) {
      s.committedGeometry[v][i] = _geometry[v][i];
      s.interactiveGeometry[v][i] = moved[v][i];
    }
  std::memcpy(s.grabPoint, _grab, sizeof(_grab));
  referencePoint(_type, moved, s.widgetPosition);
  s.widgetScale = 1.0;
  identity(s.widgetMatrix);
  identity(s.widgetRotation);
  double bounds[6] = {0, 0, 0, 0, 0, 0};
  if (_widget) _widget->GetBounds(bounds);
  const double pad = _size * 0.1;
  for (int i = 0; i < 3; ++i) {
    s.widgetBounds[2 * i] = bounds[2 * i] - pad;
    s.widgetBounds[2 * i + 1] = bounds[2 * i + 1] + pad;
  }
  s.widgetPart = _part;
}

// The ray's point at the grab distance is where the widget's grab point goes.
void PartWidgetService::follow(const WidgetEvent& e) {
  if (!_dragging) return;
  for (int i = 0; i < 3; ++i) {
    const double held = e.tip[i] + e.direction[i] * _dragDistance;
    if (std::isfinite(held)) _delta[i] = held - _grab[i];
  }
  placeWidget();
}

void PartWidgetService::placeWidget() {
  if (_widget)
    _widget->SetPosition(_propOffset[0] + _delta[0], _propOffset[1] + _delta[1], _propOffset[2] + _delta[2]);
}

void PartWidgetService::sendGeometry() {
  if (_part.empty() || _type < 1 || _type > 4) return;
  const auto moved = movedGeometry();
  Properties args;
  args.set("Scene", _sceneKey);
  args.set("Part", _part);
  for (int v = 0; v < 3; ++v)
    if (const char* key = kGeometryKeys[_type][v])
      args.set(key, std::vector<double>(moved[v].begin(), moved[v].end()));
  _session.raiseCallback("notifyKvgNode", args);
}

// The thread that draws the session's window.
bool PartWidgetService::handleEvent(unsigned long id, WidgetEvent& e) {
  // Every record sent with the program's state carries its command connection (queries carry
  // none); both render buffers' sessions share it.
  if (e.state.connectionId != 0) s_connectionId.store(int64_t(e.state.connectionId));
  switch (id - kFirstEvent + 1) {
    case 7:  // which part's widget is active
      e.state.widgetPart = _part;
      return true;
    case 2: {  // drag start: the ray takes hold of the widget where it points nearest to it
      if (_part.empty()) return false;
      double centre[3];
      referencePoint(_type, movedGeometry(), centre);
      double along = 0.0;
      for (int i = 0; i < 3; ++i) along += (centre[i] - e.tip[i]) * e.direction[i];
      _dragDistance = std::max(along, 0.0);
      for (int i = 0; i < 3; ++i) _grab[i] = e.tip[i] + e.direction[i] * _dragDistance - _delta[i];
      _dragging = true;
      writeState(e.state);
      return true;
    }
    case 1:  // drag: follow the ray; the program says when the server may take the change
      follow(e);
      if (_dragging && e.interactive) sendGeometry();
      writeState(e.state);
      return true;
    case 3:  // end of the drag: the server takes the final geometry
      if (_dragging) {
        follow(e);
        sendGeometry();
        // The prop stays where it was dragged to until the server's scene shows the part there
        // (no pipeline runs on this thread: the prop is only moved).
        _geometry = movedGeometry();
        for (int i = 0; i < 3; ++i) _propOffset[i] += _delta[i];
        std::memset(_delta, 0, sizeof(_delta));
        _dragging = false;
      }
      writeState(e.state);
      return true;
    case 4:  // the other render buffer's state: a drag it began goes on here
      if (e.state.state == 1 && !_part.empty() && e.state.widgetPart == _part && !_dragging) {
        _dragging = true;
        _dragDistance = e.state.dragDistance;
        std::memcpy(_grab, e.state.grabPoint, sizeof(_grab));
        for (int i = 0; i < 3; ++i) _delta[i] = e.state.interactiveGeometry[0][i] - _geometry[0][i];
        placeWidget();
      }
      writeState(e.state);
      return true;
    case 5:
      // The part whose deletion began here, named again before the server's next scene: the
      // server refused the deletion, and the widget shows again as it was.
      if (_part.empty() && !_deleting.empty() && e.state.widgetPart == _deleting) {
        _part = _deleting;
        _highlighted = _deleting;
        if (_widget) _widget->SetVisibility(1);
      }
      _deleting.clear();
      follow(e);
      writeState(e.state);
      return true;
    case 8:
      follow(e);
      writeState(e.state);
      return true;
    case 6:  // the part is being deleted: its widget is hidden until the server's next scene
      if (_widget) _widget->SetVisibility(0);
      _deleting = _part;
      _part.clear();
      _highlighted.clear();
      _dragging = false;
      writeState(e.state);
      return true;
    default:
      return false;
  }
}

void PartWidgetService::onEvent(vtkObject*, unsigned long id, void* clientData, void* callData) {
  auto* self = static_cast<PartWidgetService*>(clientData);
  auto* event = static_cast<WidgetEvent*>(callData);
  if (!self || !event) return;
  if (self->handleEvent(id, *event)) self->_command->AbortFlagOn();
}

}  // namespace zeltwidget
