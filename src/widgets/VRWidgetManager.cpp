#include "VRWidgetManager.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <iostream>

#include <vtkCylinderSource.h>
#include <vtkMatrix4x4.h>
#include <vtkPolyDataMapper.h>
#include <vtkPropCollection.h>
#include <vtkProperty.h>
#include <vtkRenderWindowInteractor.h>
#include <vtkRenderer.h>
#include <vtkTransform.h>

#include "Configuration.h"
#include "ControllerInput.h"
#include "FreezablePipeline.h"
#include "OpenVRActor.h"
#include "Properties.h"
#include "SceneViewSettings.h"
#include "SelectTool.h"
#include "ServerConnection.h"
#include "ToolGeometry.h"
#include "ToolSet.h"
#include "VRWidgetCommandHandler.h"
#include "kvg/DrawableProp.h"
#include "kvg/DrawableScene.h"
#include "kvg/SceneCanvasRenderer.h"

namespace {

const char* const kGeometryKeys[5][3] = {{nullptr, nullptr, nullptr},
                                         {"Position", nullptr, nullptr},
                                         {"Point1", "Point2", nullptr},
                                         {"Origin", "Orientation", nullptr},
                                         {"Point1", "Point2", "Origin"}};

std::vector<double> vector3(const double v[3]) { return std::vector<double>(v, v + 3); }

// The part a picked prop stands for: a drawable's name as the server sent it, colons and all;
// a part widget's piece is named "<part>:<piece>".
std::string partNameOf(vtkProp* prop) {
  auto* drawable = kvg::DrawableProp::SafeDownCast(prop);
  if (!drawable) return std::string();
  const std::string& name = drawable->GetDrawableName();
  if (drawable->GetDrawableClassName() == "PartWidget") return name.substr(0, name.rfind(':'));
  return name;
}

// The renderer's visible drawable props whose drawable name contains the text.
void addMatchingDrawableProps(vtkRenderer* renderer, vtkPropCollection* out, const std::string& text) {
  vtkPropCollection* props = renderer->GetViewProps();
  vtkCollectionSimpleIterator it;
  props->InitTraversal(it);
  while (vtkProp* prop = props->GetNextProp(it)) {
    if (!prop->IsA("DrawableProp") || prop->GetVisibility() != 1) continue;
    auto* drawable = static_cast<kvg::DrawableProp*>(prop);
    if (drawable->GetDrawableName().find(text) != std::string::npos) out->AddItem(prop);
  }
}

void cross(const double a[3], const double b[3], double out[3]) {
  out[0] = a[1] * b[2] - a[2] * b[1];
  out[1] = a[2] * b[0] - a[0] * b[2];
  out[2] = a[0] * b[1] - a[1] * b[0];
}

}  // namespace

// ---- plane proxy ----

VRWidgetManager::PlaneProxy::PlaneProxy()
    : cylinder(vtkCylinderSource::New()),
      actor(OpenVRActor::New()),
      mapper(vtkPolyDataMapper::New()),
      transform(vtkTransform::New()) {}

VRWidgetManager::PlaneProxy::~PlaneProxy() {
  transform->Delete();
  transform = nullptr;
  mapper->Delete();
  mapper = nullptr;
  actor->Delete();
  actor = nullptr;
  cylinder->Delete();
  cylinder = nullptr;
}

// Thread of the manager's buffer.
void VRWidgetManager::PlaneProxy::setup(const double o[16], const double p[3], const double n[3], double s,
                                        vtkRenderer* renderer, const SceneViewSettings& settings) {
  std::memcpy(orientation, o, sizeof(orientation));
  std::memcpy(position, p, sizeof(position));
  std::memcpy(normal, n, sizeof(normal));
  cylinder->SetResolution(100);
  cylinder->SetRadius(0.5);
  cylinder->SetHeight(0.0);
  mapper->SetInputConnection(cylinder->GetOutputPort());
  {
    // The render thread's pipelines are frozen; this one must run once.
    RestoreThreadFlag unfrozen(false);
    mapper->Update();
  }
  actor->SetMapper(mapper);
  const std::array<double, 3> color = GetConfigVector3("widgetHighlightColor", std::array<double, 3>{0.79, 0.14, 0.57});
  actor->GetProperty()->SetColor(color[0], color[1], color[2]);
  transform->Update();
  actor->SetUserMatrix(transform->GetMatrix());
  if (renderer) renderer->AddActor(actor);
  updateTransform(s, settings);
}

// Thread of the manager's buffer.
void VRWidgetManager::PlaneProxy::updateTransform(double s, const SceneViewSettings& settings) {
  scale = s;
  double n[3] = {normal[0], normal[1], normal[2]};
  // Snapping: the axis of the largest component (z wins a tie, then x); the angle is taken of
  // the unit normal, so a normal of any length snaps alike.
  int k = 2;
  if (std::fabs(n[0]) > std::fabs(n[2]) && std::fabs(n[0]) >= std::fabs(n[1])) k = 0;
  else if (std::fabs(n[1]) > std::fabs(n[2]) && std::fabs(n[1]) > std::fabs(n[0])) k = 1;
  const double length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
  if (length > 0.0) {
    const double c = std::max(-1.0, std::min(1.0, n[k] / length));
    const double angle = std::acos(c) * 180.0 / M_PI;
    if (angle < settings.snappingAngle || angle > 180.0 - settings.snappingAngle) {
      const double v = std::copysign(length, n[k]);
      n[0] = n[1] = n[2] = 0.0;
      n[k] = v;
    }
  }
  double forward[4];
  const double axis[4] = {0.0, 0.0, 1.0, 0.0};
  vtkMatrix4x4::MultiplyPoint(orientation, axis, forward);
  double a[3], b[3], unit[3] = {n[0], n[1], n[2]};
  cross(n, forward, a);
  cross(a, n, b);
  Normalize3(b);
  Normalize3(unit);
  double r[16];
  identityMatrix4x4(r);
  for (int row = 0; row < 3; ++row) {
    r[row * 4 + 0] = a[row];
    r[row * 4 + 1] = unit[row];
    r[row * 4 + 2] = b[row];
  }
  const double size = GetConfigReal("planeProxySize", 0.2) * scale;
  transform->Identity();
  transform->Translate(position);
  transform->Concatenate(r);
  transform->Scale(size, size, size);
  transform->Update();
  actor->SetUserMatrix(transform->GetMatrix());
  transform->GetMatrix()->Modified();
}

// ---- manager ----

VRWidgetManager::VRWidgetManager() : _partProps(vtkPropCollection::New()), _surfaceProps(vtkPropCollection::New()) {
  _state.clear();
}

VRWidgetManager::~VRWidgetManager() {
  _partProps->Delete();
  _surfaceProps->Delete();
}

VRWidgetManager& VRWidgetManager::operator=(const VRWidgetManager& other) {
  if (&other == this) return *this;
  _state = other._state;
  _selectedPart = other._selectedPart;
  _updateCounter = other._updateCounter;
  _activeHand = other._activeHand;
  _deleteHand = other._deleteHand;
  _deleteLatch = other._deleteLatch;
  // The server holds one highlight for the program, not one per buffer: asked once per pick.
  _selectionHighlighted = other._selectionHighlighted;
  _deletedParts = other._deletedParts;
  _deletingPart = other._deletingPart;
  _deletingState = other._deletingState;
  _refusalMessage = other._refusalMessage;
  return *this;
}

void VRWidgetManager::initialize(VRWidgetCommandHandler* handler, const std::string& sceneName,
                                 vtkRenderWindowInteractor* interactor) {
  _handler = handler;
  _sceneName = sceneName;
  _interactor = interactor;
  _interactiveUpdateIssued = false;
  _state.reset();
  _deletedParts.clear();
  _deletingPart.clear();
  _refusalMessage.clear();
  _partTypes.clear();
  _partTypes = {{None, "None"}, {PointPart, "PointPart"}, {LinePart, "LinePart"}, {PlaneSection, "PlaneSection"},
                {PlaneProbePart, "PlaneProbePart"}};
}

int VRWidgetManager::partTypeOf(const std::string& name) const {
  for (const auto& entry : _partTypes)
    if (name.find(entry.second) != std::string::npos) return entry.first;
  return None;
}

void VRWidgetManager::notImplemented(int type, const std::string& part) const {
  auto it = _partTypes.find(type);
  std::cout << (it == _partTypes.end() ? std::string() : it->second) << " not implemented for part " << part
            << std::endl;
}

bool VRWidgetManager::fire(unsigned long id, WidgetEvent& event) {
  if (!_interactor) return false;
  return _interactor->InvokeEvent(id, &event) != 0;
}

bool VRWidgetManager::fireWithState(unsigned long id, WidgetEvent& event) {
  if (!_interactor) return false;
  event.state = _state;
  const bool aborted = fire(id, event);
  if (aborted) _state = event.state;
  return aborted;
}

std::string VRWidgetManager::queryActivePart() {
  WidgetEvent query;
  fire(WidgetQueryEvent, query);
  return query.state.widgetPart;
}

VRWidgetManager::HandRay VRWidgetManager::handRay(const ControllerInput& input, const ToolSet& tools, int hand,
                                                  const double modelMatrix[16]) {
  HandRay ray;
  computeToolTipPosition(input, modelMatrix, hand, ray.tip);
  computeDirectionInFrame(input, modelMatrix, tools.getLaserDirection(), ray.direction);
  computeRotationInFrame(input, modelMatrix, ray.orientation);
  return ray;
}

void VRWidgetManager::buildEvent(WidgetEvent& e, const ControllerInput& input, const ToolSet& tools, int hand,
                                 const double modelMatrix[16], double factorA, double factorB) {
  e.reset();
  const HandRay ray = handRay(input, tools, hand, modelMatrix);
  std::memcpy(e.tip, ray.tip, sizeof(e.tip));
  std::memcpy(e.direction, ray.direction, sizeof(e.direction));
  e.factorA = factorA;
  e.factorB = factorB;
  e.interactive = 0;
  const int frequency = GetConfigInt("widgetUpdateFrequency", 1);
  if (_handler && frequency != 0 && frequency <= _updateCounter && !_handler->hasPending() &&
      !_interactiveUpdateIssued) {
    if (GetConfigBool("useInteractiveUpdatesForPlaneWidgets", false)) e.interactive = 1;
    else e.interactive = partTypeOf(queryActivePart()) != PlaneSection ? 1 : 0;
  }
  std::memcpy(e.controllerPose, input.pose, sizeof(e.controllerPose));
  std::memcpy(e.modelRotation, modelMatrix, sizeof(e.modelRotation));
  e.modelRotation[3] = e.modelRotation[7] = e.modelRotation[11] = 0.0;
  e.laserAngle = GetConfigReal("laserAngle", 20.0);
  e.lockRotationAngle = GetConfigReal("lockRotationAngle", -45.0);
}

// Render thread.
void VRWidgetManager::update(kvg::DrawableScene& scene, int hand, const ControllerInput inputs[2], ToolSet tools[2],
                             const double modelMatrix[16], double laserLength, double modelScale, double sceneScale) {
  if (!_interactor) {
    std::cerr << "Error: vtkRenderWindowInteractor is nullptr" << std::endl;
    return;
  }
  hand = hand == 0 ? 0 : 1;
  if (_selectedPart.empty() || !isInteracting()) {
    const HandRay ray = handRay(inputs[hand], tools[hand], hand, modelMatrix);
    handleController(scene, ray.tip, ray.direction, laserLength, modelScale, sceneScale, _partProps);
    if (_selectedPart.empty()) return;
  }
  if (queryActivePart() != _selectedPart) return;
  _activeHand = hand;
  const std::array<double, 3> normal = GetConfigVector3("widgetDefaultColor", std::array<double, 3>{0.39, 0.1, 0.37});
  tools[hand].setLaserColor(normal.data());
  tools[hand].setLaser2Visible(true);
  tools[hand].setLaser2Offset(GetConfigReal("minWidgetOffset", 0.1));
  WidgetEvent event;
  buildEvent(event, inputs[hand], tools[hand], hand, modelMatrix, modelScale, sceneScale);
  fireWithState(WidgetSelectedEvent, event);
  if (!inputs[hand].triggerHeld) {
    WidgetEvent end(event);
    fireWithState(WidgetEndEvent, end);
    _updateCounter = 0;
  } else if (isInteracting()) {
    const std::array<double, 3> highlight =
        GetConfigVector3("widgetHighlightColor", std::array<double, 3>{0.79, 0.14, 0.57});
    tools[hand].setLaserColor(highlight.data());
    if (fireWithState(WidgetDragEvent, event) && event.interactive) {
      _interactiveUpdateIssued = true;
      _updateCounter = 1;
    } else {
      _updateCounter += 1;
    }
  } else if (fireWithState(WidgetDragStartEvent, event)) {
    _updateCounter = 1;
  }
}

// Render thread.
int VRWidgetManager::handleController(kvg::DrawableScene& scene, const double tip[3], const double direction[3],
                                      double pickLength, double modelScale, double sceneScale,
                                      vtkPropCollection* candidates) {
  double hitDistance = 0.0;
  std::string picked =
      pickRay(scene, tip, direction, pickLength * modelScale, modelScale * sceneScale, candidates, hitDistance);
  if (_deletedParts.count(picked)) picked.clear();
  double widgetDistance = 0.0;
  if (!_selectedPart.empty() && intersectPlaneWidget(tip, direction, widgetDistance) &&
      widgetDistance <= hitDistance)
    return 0;
  if (picked.empty()) {
    WidgetEvent event;
    fireWithState(WidgetEndEvent, event);
    _updateCounter = 0;
  }
  return handlePartSelection(picked) ? 1 : 0;
}

std::string VRWidgetManager::pickRay(kvg::DrawableScene& scene, const double tip[3], const double direction[3],
                                     double length, double toleranceFactor, vtkPropCollection* candidates,
                                     double& hitDistance) {
  kvg::SceneCanvasRenderer* model = scene.hasModelRenderer();
  if (!model) return std::string();
  const double tolerance = GetConfigReal("pickingTolerance", 0.005) * toleranceFactor;
  if (candidates == _partProps) return partNameOf(_partPicker.pick(tip, direction, length, tolerance, hitDistance));
  kvg::SelectTool select(scene);
  select.pickRay3D(model, tip, direction, length, hitDistance, tolerance, candidates);
  return partNameOf(select.getPickedProp());
}

bool VRWidgetManager::intersectPlaneWidget(const double tip[3], const double direction[3], double& distance) const {
  const double o4[4] = {tip[0], tip[1], tip[2], 1.0};
  const double d4[4] = {direction[0], direction[1], direction[2], 0.0};
  double o[4], d[4];
  vtkMatrix4x4::MultiplyPoint(_state.widgetRotation, o4, o);
  vtkMatrix4x4::MultiplyPoint(_state.widgetRotation, d4, d);
  double enter = -INFINITY, leave = INFINITY;
  for (int i = 0; i < 3; ++i) {
    double t0 = (_state.widgetBounds[2 * i] - o[i]) / d[i];
    double t1 = (_state.widgetBounds[2 * i + 1] - o[i]) / d[i];
    if (std::isnan(t0) || std::isnan(t1)) return false;  // parallel and on a bound
    if (t0 > t1) std::swap(t0, t1);
    enter = std::max(enter, t0);
    leave = std::min(leave, t1);
  }
  if (enter > leave) return false;
  const double t = enter >= 0.0 ? enter : leave;
  double back[16], point[4];
  vtkMatrix4x4::Transpose(_state.widgetRotation, back);
  const double local[4] = {o[0] + d[0] * t, o[1] + d[1] * t, o[2] + d[2] * t, 1.0};
  vtkMatrix4x4::MultiplyPoint(back, local, point);
  int k = 2;
  if (std::fabs(direction[0]) > std::fabs(direction[2]) && std::fabs(direction[0]) >= std::fabs(direction[1])) k = 0;
  else if (std::fabs(direction[1]) > std::fabs(direction[2]) && std::fabs(direction[1]) > std::fabs(direction[0]))
    k = 1;
  if (direction[k] == 0.0) return false;
  distance = (point[k] - tip[k]) / direction[k];
  return distance >= 0.0;
}

bool VRWidgetManager::handlePartSelection(const std::string& name) {
  if (name == _selectedPart && _selectionHighlighted) return false;
  if (queryActivePart() == name) return false;
  if (!sendHighlightParts(name)) return false;
  // Another highlight asked for: a refused deletion no longer brings its part back selected.
  _deletingPart.clear();
  _selectedPart = name;
  _selectionHighlighted = true;
  return true;
}

bool VRWidgetManager::sendHighlightParts(const std::string& name) {
  if (!_handler) return false;
  ServerCommand command;
  command.command = "HighlightParts";
  command.arguments.set("Scene", _sceneName, Properties::Replace);
  command.arguments.set("Parts", std::vector<std::string>{name}, Properties::Replace);
  command.arguments.set("CaptionsEnabled", false, Properties::Replace);
  command.arguments.set("HighlightingEnabled", true, Properties::Replace);
  command.arguments.set("MaximumCaptions", 0, Properties::Replace);
  return _handler->pushIfEmpty(command);
}

// Render thread.
void VRWidgetManager::refreshWidgets(int) {
  WidgetEvent event;
  fireWithState(WidgetEndEvent, event);
  _updateCounter = 0;
  if (!_selectedPart.empty()) handlePartSelection("");
}

// Render thread.
void VRWidgetManager::updateInteractive(const ControllerInput inputs[2], ToolSet tools[2],
                                        const double modelMatrix[16], double modelScale, double sceneScale) {
  const int hand = _activeHand == 0 ? 0 : 1;
  if (_handler)
    for (const VRWidgetCommandHandler::Refusal& refusal : _handler->takeRefusals()) {
      _refusalMessage = "The server refused " + refusal.command + ": " + refusal.reason;
      if (refusal.part.empty()) continue;
      // The part is still there: it may be picked again.
      _deletedParts.erase(refusal.part);
      if (refusal.part != _deletingPart) continue;
      _deletingPart.clear();
      // Nothing picked since (the server still highlights the part for this program): the
      // widget comes back at once, as the manager held it before the deletion, not only with
      // the server's next scene.
      if (!_selectedPart.empty() || isInteracting()) continue;
      _state = _deletingState;
      _selectedPart = refusal.part;
      _selectionHighlighted = true;
      WidgetEvent restore;
      buildEvent(restore, inputs[hand], tools[hand], hand, modelMatrix, modelScale, sceneScale);
      fireWithState(WidgetSelectedEvent, restore);
    }
  WidgetEvent event;
  buildEvent(event, inputs[hand], tools[hand], hand, modelMatrix, modelScale, sceneScale);
  fireWithState(WidgetFrameEvent, event);
  if (_deleteLatch) {
    const ControllerInput& in = inputs[_deleteHand == 0 ? 0 : 1];
    if (!(in.padHeld || in.stickDeflected) || in.direction != DirectionWest) _deleteLatch = false;
  }
}

// Render thread.
bool VRWidgetManager::handleTool(kvg::DrawableScene& scene, int hand, const ControllerInput inputs[2],
                                 ToolSet tools[2], const double modelMatrix[16], double, double modelScale,
                                 double sceneScale, vtkRenderer* renderer, const SceneViewSettings& settings) {
  if (partTypeOf(_selectedPart) == None) return _deleteLatch;
  const int active = _activeHand == 0 ? 0 : 1;
  WidgetEvent event;
  buildEvent(event, inputs[active], tools[active], active, modelMatrix, modelScale, sceneScale);
  fireWithState(WidgetSelectedEvent, event);
  const ControllerInput& pressed = inputs[hand == 0 ? 0 : 1];
  if (!pressed.directionPressed) return true;
  const HandRay ray = handRay(inputs[active], tools[active], active, modelMatrix);
  switch (pressed.direction) {
    case DirectionWest:
      if (deletePart()) _deleteHand = hand;
      break;
    case DirectionSouth:
      cloneAtController(ray, modelScale, renderer, settings);
      break;
    case DirectionEast: {
      Geometry geometry;
      placePartAt(geometry, _state.widgetPosition, ray.direction, 0.0);
      clonePart(geometry, ray.orientation, modelScale, renderer, settings, ray.direction);
      break;
    }
    case DirectionNorth:
      cloneAtLaserHit(scene, ray, GetConfigReal("defaultLaserLength", 10.0), modelScale, sceneScale, renderer,
                      settings);
      break;
    default:
      break;
  }
  return true;
}

bool VRWidgetManager::deletePart() {
  if (!_handler || _selectedPart.empty()) return false;
  const WidgetState before = _state;
  WidgetEvent event;
  fireWithState(WidgetDeleteEvent, event);
  ServerCommand command;
  const int type = partTypeOf(_selectedPart);
  if (type == PointPart || type == LinePart || type == PlaneProbePart) command.command = "DeletePointPart";
  else if (type == PlaneSection) command.command = "DeletePlaneSection";
  else {
    notImplemented(type, _selectedPart);
    return false;
  }
  command.arguments.set("Part", _selectedPart, Properties::Replace);
  command.arguments.set("Scene", _sceneName, Properties::Replace);
  _handler->push(command);
  _deletingPart = _selectedPart;
  _deletingState = before;
  _deletedParts.insert(_selectedPart);
  _selectedPart.clear();
  _deleteLatch = true;
  return true;
}

void VRWidgetManager::placePartAt(Geometry g, const double point[3], const double direction[3], double offset) {
  const double(*from)[3] = isInteracting() ? _state.interactiveGeometry : _state.committedGeometry;
  std::memcpy(g, from, sizeof(Geometry));
  double delta[3];
  for (int i = 0; i < 3; ++i) delta[i] = point[i] + direction[i] * offset - _state.widgetPosition[i];
  const std::string part = queryActivePart();
  const int type = partTypeOf(part);
  if (type == PointPart || type == LinePart || type == PlaneProbePart) {
    for (int v = 0; v < 3; ++v)
      for (int i = 0; i < 3; ++i) g[v][i] += delta[i];
  } else if (type == PlaneSection) {
    for (int i = 0; i < 3; ++i) g[0][i] = _state.widgetPosition[i] + delta[i];
  } else {
    notImplemented(type, part);
  }
}

void VRWidgetManager::clonePart(const Geometry g, const double orientation[16], double modelScale,
                                vtkRenderer* renderer, const SceneViewSettings& settings,
                                const double direction[3]) {
  const std::string source = queryActivePart();
  const int type = partTypeOf(source);
  if (!_handler || type == None) return;
  if (type < PointPart || type > PlaneProbePart) {
    notImplemented(type, source);
    return;
  }
  ServerCommand command;
  for (int v = 0; v < 3; ++v)
    if (const char* key = kGeometryKeys[type][v]) command.arguments.set(key, vector3(g[v]), Properties::Replace);
  if (type == PlaneSection) {
    kvg::Ptr<PlaneProxy> proxy(new PlaneProxy);
    double position[3];
    for (int i = 0; i < 3; ++i) position[i] = g[0][i] - direction[i] * 0.005 * modelScale;
    proxy->setup(orientation, position, g[1], modelScale, renderer, settings);
    _planeProxies.push_back(proxy);
  }
  const std::string typeName = _partTypes[type];
  command.arguments.set("Scene", _sceneName, Properties::Replace);
  command.arguments.set(typeName, source, Properties::Replace);
  command.command = "Clone" + typeName;
  _handler->push(command);
}

bool VRWidgetManager::cloneAtController(const HandRay& ray, double modelScale, vtkRenderer* renderer,
                                        const SceneViewSettings& settings) {
  const double offset = GetConfigReal("minWidgetOffset", 0.1) * modelScale;
  Geometry geometry;
  placePartAt(geometry, ray.tip, ray.direction, offset);
  clonePart(geometry, ray.orientation, modelScale, renderer, settings, ray.direction);
  return true;
}

bool VRWidgetManager::cloneAtLaserHit(kvg::DrawableScene& scene, const HandRay& ray, double laserLength,
                                      double modelScale, double sceneScale, vtkRenderer* renderer,
                                      const SceneViewSettings& settings) {
  double hit = 0.0;
  const std::string picked =
      pickRay(scene, ray.tip, ray.direction, laserLength * modelScale, modelScale * sceneScale, _surfaceProps, hit);
  const double offset =
      std::max(GetConfigReal("minWidgetOffset", 0.1) * modelScale, hit - GetConfigReal("widgetSplattingOffset", 0.0));
  kvg::SceneCanvasRenderer* model = scene.hasModelRenderer();
  if (!model || !model->getVTKRenderer() || picked.empty()) return false;
  Geometry geometry;
  placePartAt(geometry, ray.tip, ray.direction, offset);
  clonePart(geometry, ray.orientation, modelScale, renderer, settings, ray.direction);
  return true;
}

// Render thread.
std::string VRWidgetManager::takeRefusalMessage() {
  std::string message;
  message.swap(_refusalMessage);
  return message;
}

// Render thread, at the buffer swap.
void VRWidgetManager::syncFrom(const VRWidgetManager& source, kvg::DrawableScene& scene,
                               const SceneViewSettings& settings, int startIndex) {
  ServerConnection* connection = _handler ? _handler->getServerConnection() : nullptr;
  _state.connectionId = connection ? uint64_t(connection->getConnectionId()) : 0;
  WidgetEvent event;
  if (!fireWithState(WidgetSyncEvent, event)) _state.reset();
  _interactiveUpdateIssued = false;
  kvg::SceneCanvasRenderer* model = scene.hasModelRenderer();
  vtkRenderer* renderer = model ? model->getVTKRenderer() : nullptr;
  if (!renderer) return;
  for (const kvg::Ptr<PlaneProxy>& proxy : _planeProxies)
    if (proxy.get()) renderer->RemoveActor(proxy.get()->actor);
  _planeProxies.clear();
  // The index comes from two update counts and may lie outside the other's proxies.
  const size_t count = source._planeProxies.size();
  const size_t first = startIndex < 0 ? 0 : std::min(count, size_t(startIndex));
  for (size_t i = first; i < count; ++i) {
    const PlaneProxy& from = *source._planeProxies[i];
    kvg::Ptr<PlaneProxy> proxy(new PlaneProxy);
    proxy->setup(from.orientation, from.position, from.normal, from.scale, renderer, settings);
    _planeProxies.push_back(proxy);
  }
}

// Back-buffer updater thread, after a scene update.
void VRWidgetManager::collectPartProps(vtkRenderer* renderer) {
  if (!renderer) return;
  _partProps->RemoveAllItems();
  for (const auto& entry : _partTypes) addMatchingDrawableProps(renderer, _partProps, entry.second);
  _partPicker.index(_partProps);
  _surfaceProps->RemoveAllItems();
  addMatchingDrawableProps(renderer, _surfaceProps, "Boundary");
  addMatchingDrawableProps(renderer, _surfaceProps, "PartSurface");
}
