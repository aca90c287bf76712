#include "Avatar.h"

#include <vtkImageData.h>
#include <vtkMatrix4x4.h>
#include <vtkPolyDataMapper.h>
#include <vtkProperty.h>
#include <vtkRenderer.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "AnnotationLayoutSettings.h"
#include "AvatarContext.h"
#include "AvatarGroup.h"
#include "Configuration.h"
#include "ControllerInput.h"
#include "IconTextureCache.h"
#include "OpenVRActor.h"
#include "OpenVRCamera.h"
#include "OpenVRRenderWindow.h"
#include "OpenVRTexture.h"
#include "ToolGeometry.h"
#include "ToolLayoutSettings.h"
#include "ToolSet.h"
#include "VolumeRenderingManager.h"
#include "kvg/DrawableScene.h"
#include "kvg/OpenGLRenderer.h"

namespace {

void setUserMatrix(OpenVRActor* actor, const double m[16]) {
  vtkMatrix4x4* user = actor->GetUserMatrix();
  if (!user) {
    vtkNew<vtkMatrix4x4> fresh;
    actor->SetUserMatrix(fresh);
    user = actor->GetUserMatrix();
  }
  user->DeepCopy(m);
  user->Modified();
  actor->Modified();
}

void boxOfCorners(const double corners[8][4], double box[6]) {
  box[0] = box[2] = box[4] = 1e300;
  box[1] = box[3] = box[5] = -1e300;
  for (int i = 0; i < 8; ++i)
    for (int a = 0; a < 3; ++a) {
      box[2 * a] = std::min(box[2 * a], corners[i][a]);
      box[2 * a + 1] = std::max(box[2 * a + 1], corners[i][a]);
    }
}

double diagonal(const double box[6]) {
  return std::sqrt((box[1] - box[0]) * (box[1] - box[0]) + (box[3] - box[2]) * (box[3] - box[2]) +
                   (box[5] - box[4]) * (box[5] - box[4]));
}

}  // namespace

bool isUsablePose(const double m[16]) {
  for (int i = 0; i < 16; ++i)
    if (!std::isfinite(m[i])) return false;
  const double det = vtkMatrix4x4::Determinant(m);
  return std::isfinite(det) && std::fabs(det) > 1e-12;
}

// ---- HMDRepresentation ----

HMDRepresentation::HMDRepresentation() : _head(OpenVRActor::New()), _inlay(OpenVRActor::New()) {
  _bounds[0] = _bounds[2] = _bounds[4] = 3.4028234663852886e38;
  _bounds[1] = _bounds[3] = _bounds[5] = 1.1754943508222875e-38;
}

HMDRepresentation::~HMDRepresentation() {
  _headMapper = nullptr;
  _inlayMapper = nullptr;
  _inlay->Delete();
  _head->Delete();
}

void HMDRepresentation::setModels(vtkRenderer* renderer, vtkPolyDataMapper* headMapper,
                                  vtkPolyDataMapper* inlayMapper) {
  _headMapper = headMapper;
  _inlayMapper = inlayMapper;
  bool any = false;
  double box[6] = {1e300, -1e300, 1e300, -1e300, 1e300, -1e300};
  OpenVRActor* actors[2] = {_head, _inlay};
  vtkPolyDataMapper* mappers[2] = {headMapper, inlayMapper};
  for (int i = 0; i < 2; ++i) {
    OpenVRActor* actor = actors[i];
    if (mappers[i]) {
      actor->SetMapper(mappers[i]);
      const double* b = mappers[i]->GetBounds();
      if (b && b[0] <= b[1]) {
        for (int a = 0; a < 3; ++a) {
          box[2 * a] = std::min(box[2 * a], b[2 * a]);
          box[2 * a + 1] = std::max(box[2 * a + 1], b[2 * a + 1]);
        }
        any = true;
      }
    }
    actor->SetDepthTestDisabled(0);
    vtkProperty* p = actor->GetProperty();
    p->SetAmbient(0.1);
    p->SetDiffuse(0.9);
    p->SetSpecular(0.1);
    p->SetSpecularPower(100);
    actor->SetVisibility(true);
    actor->SetOcclusionQueryEnabled(true);
    vtkNew<vtkMatrix4x4> identity;
    actor->SetUserMatrix(identity);
    if (renderer) renderer->AddActor(actor);
  }
  // Empty meshes still give the head a small box, so visibility and picking stay defined.
  if (!any) {
    const double fallback[6] = {-0.1, 0.1, -0.12, 0.12, -0.12, 0.12};
    std::copy(fallback, fallback + 6, box);
  }
  std::copy(box, box + 6, _bounds);
}

void HMDRepresentation::setUserMatrix(const double m[16]) {
  ::setUserMatrix(_head, m);
  ::setUserMatrix(_inlay, m);
}

void HMDRepresentation::setColor(const double rgb[3]) {
  _inlay->GetProperty()->SetDiffuseColor(rgb[0], rgb[1], rgb[2]);
  _inlay->GetProperty()->SetAmbientColor(rgb[0], rgb[1], rgb[2]);
}

void HMDRepresentation::getBoundsCorners(double corners[8][4]) const {
  int k = 0;
  for (int x = 0; x < 2; ++x)
    for (int y = 0; y < 2; ++y)
      for (int z = 0; z < 2; ++z, ++k) {
        corners[k][0] = _bounds[x];
        corners[k][1] = _bounds[2 + y];
        corners[k][2] = _bounds[4 + z];
        corners[k][3] = 1.0;
      }
}

void HMDRepresentation::setOpacity(double a) {
  for (OpenVRActor* actor : {_head, _inlay}) {
    actor->GetProperty()->SetOpacity(a);
    actor->SetTranslucencyMode(a != 1.0);
    actor->SetDepthTestDisabled(a != 1.0);
  }
}

void HMDRepresentation::setVisible(bool visible) {
  _head->SetVisibility(visible);
  _inlay->SetVisibility(visible);
}

bool HMDRepresentation::isVisible() const { return _head->GetVisibility() != 0; }

bool HMDRepresentation::isOccluded() const { return _head->IsOccluded() && _inlay->IsOccluded(); }

void HMDRepresentation::removeFromRenderer(vtkRenderer* renderer) {
  if (!renderer) return;
  renderer->RemoveActor(_head);
  renderer->RemoveActor(_inlay);
}

void HMDRepresentation::releaseGraphicsResources(vtkWindow* window) {
  _head->ReleaseGraphicsResources(window);
  _inlay->ReleaseGraphicsResources(window);
}

// ---- Avatar ----

namespace {

constexpr double NO_TOOL_VALUE = -3.4028234663852886e38;
// Palette pages are toggle masks 0..31; overlays 0 none, 1..12 hovered, 13..24 pressed.
constexpr int PALETTE_PAGE_COUNT = 32;
constexpr int PALETTE_OVERLAY_LIMIT = 24;

vtkRenderer* layer(OpenVRRenderWindow* window, int which) {
  return window ? static_cast<vtkRenderer*>(window->GetLayerRenderer(which)) : nullptr;
}

// [R | p] of a controller input.
void poseOf(const ControllerInput& input, double out[16]) {
  std::copy(input.pose, input.pose + 16, out);
  for (int r = 0; r < 3; ++r) out[r * 4 + 3] = input.position[r];
}

void rotate(const double m[16], const double v[3], double out[3]) {
  for (int r = 0; r < 3; ++r) out[r] = m[r * 4] * v[0] + m[r * 4 + 1] * v[1] + m[r * 4 + 2] * v[2];
}

bool finite3(const double v[3]) { return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]); }

}  // namespace

double IsoValuePosition(double value, double lo, double hi) {
  // An empty range has no position along the bar: its middle, not a division by zero.
  if (!(hi != lo) || !std::isfinite(hi - lo)) return 0.5;
  return (value - lo) / (hi - lo);
}

bool LaserCircleOnFront(const double pointingDirection[3], const double pointingPose[16], const double spotNormal[3],
                        const double palettePose[16]) {
  double a[3], b[3];
  rotate(pointingPose, pointingDirection, a);
  rotate(palettePose, spotNormal, b);
  return a[0] * b[0] + a[1] * b[1] + a[2] * b[2] < 0.0;
}

Avatar::Avatar() {
  const double empty[6] = {3.4028234663852886e38, 1.1754943508222875e-38, 3.4028234663852886e38,
                           1.1754943508222875e-38, 3.4028234663852886e38, 1.1754943508222875e-38};
  _box.setBounds(empty);
}

Avatar::~Avatar() = default;

// Render thread (the group's first frame with the participant), the window's context current.
void Avatar::setupPointers(OpenVRRenderWindow* window, kvg::DrawableScene* scene, vtkPolyDataMapper* headMapper,
                           vtkPolyDataMapper* inlayMapper, IconTextureCache* iconCache, bool controllerTexture,
                           AvatarGroup* group, const kvg::Ptr<IsoValueMarker>& isoMarker) {
  GetLaserColorRGB(_laserColor);
  _group = group;
  _iconCache = iconCache;
  _isoMarker = isoMarker;
  setIsoValueMarkerVisible(false);

  vtkRenderer* models = layer(window, OpenVRRenderWindow::ModelLayer);
  vtkRenderer* widgets = layer(window, OpenVRRenderWindow::WidgetLayer);
  vtkObject* lookupTable = nullptr;
  if (scene && scene->getSession())
    lookupTable = kvg::VolumeRenderingManager::getSingleton(scene->getSession()).getLookupTable();
  for (int hand = 0; hand < 2; ++hand) {
    _controllers[hand].init(controllerTexture);
    _controllers[hand].actor()->SetVisibility(0);
    _toolSets[hand].init(widgets, hand, iconCache);
    _toolSets[hand].setQuickStartVisible(false);
    _toolSets[hand].setColorBarVisible(false);
    _toolSets[hand].setColorBarSource(lookupTable);
  }

  const std::string assets = getVRAssetsDir();
  const char* const pointers[2] = {"directionPointer.png", "positionPointer.png"};
  for (int i = 0; i < 2; ++i)
    if (iconCache) iconCache->getTexture(_pointerTextures[i], assets + pointers[i], 1);
  _directionMarker.setup(widgets, _pointerTextures[0], _pointerTextures[1], GetConfigReal("directionMarkerDist", 0.5));
  _directionMarker.actor()->SetVisibility(0);

  _head.setModels(models, headMapper, inlayMapper);
  // Nothing is drawn before the first state has placed the head.
  _head.setVisible(false);
  _box.build(models, _head.bounds(), 0.03, true);
  _box.setVisibility(false);
}

void Avatar::setClientState(const kvg::VRClientState& state) {
  _state = state;
  _followsLocalUser = false;
  setBoxVisible(state.getBoxVis());
}

void Avatar::setIsoValueMarkerVisible(bool visible) {
  if (_isoMarker.isValid()) _isoMarker->setVisibility(visible);
}

void Avatar::setBoxVisible(bool visible) { _box.setVisibility(visible); }
bool Avatar::isBoxVisible() const { return _box.getVisibility(); }
bool Avatar::isDirectionMarkerVisible() const { return _directionMarker.actor()->GetVisibility() != 0; }

void Avatar::setLaserColor(const double rgb[3]) { std::copy(rgb, rgb + 3, _laserColor); }

void Avatar::getColor(double rgb[3]) const {
  if (!_group) {
    rgb[0] = rgb[1] = rgb[2] = 0.0;
    return;
  }
  const double* c = _group->colorAt(int(_state.getColorID() % unsigned(AvatarGroup::ColorCount)));
  std::copy(c, c + 3, rgb);
}

void Avatar::computeCombinedMatrix(double out[16]) const {
  vtkMatrix4x4::Multiply4x4(_state.getModel(), _state.getView(), out);
}

// Render thread.
bool Avatar::updateFromState(OpenVRRenderWindow* window, kvg::DrawableScene* scene, AvatarContext& local,
                             const double inverseModel[16]) {
  double localModel[16], localHead[16];
  local.modelMatrix(localModel);
  local.headPose(localHead);
  OpenVRCamera* camera = local.camera();
  double model[16];
  std::copy(_state.getModel(), _state.getModel() + 16, model);
  if (!isUsablePose(model) || !isUsablePose(_state.getView()) || !isUsablePose(localHead)) return false;
  if (_followsLocalUser) {
    // The participant follows the local model; its CompanionTrafo is the local model it applied.
    double inverse[16], step[16];
    if (!isUsablePose(_state.getCompanionTrafo())) return false;
    vtkMatrix4x4::Invert(_state.getCompanionTrafo(), inverse);
    vtkMatrix4x4::Multiply4x4(localModel, inverse, step);
    vtkMatrix4x4::Multiply4x4(step, _state.getModel(), model);
  }
  double p[16];
  vtkMatrix4x4::Multiply4x4(model, _state.getView(), p);
  if (!isUsablePose(p)) return false;
  double q[16], inverseHead[16], r[16], step[16];
  vtkMatrix4x4::Multiply4x4(localModel, localHead, q);
  vtkMatrix4x4::Invert(localHead, inverseHead);
  vtkMatrix4x4::Multiply4x4(inverseHead, inverseModel, step);
  vtkMatrix4x4::Multiply4x4(step, p, r);

  // The participant's own placement of palette and icons; sizes of bar and palette stay local.
  ToolLayoutSettings tools;
  AnnotationLayoutSettings annotations;
  tools.toolIconSize = _state.getToolIconSize();
  tools.toolsAngle = _state.getToolsAngle();
  std::copy(_state.getToolsOffset(), _state.getToolsOffset() + 3, tools.toolsOffset);
  tools.paletteAngle = _state.getPaletteAngle();
  std::copy(_state.getPaletteOffsetXYZ(), _state.getPaletteOffsetXYZ() + 3, tools.paletteOffset);

  if (_state.getSwapLR() != _swapLR) {
    _toolSets[0].swapPostIts(_toolSets[1]);
    _swapLR = _state.getSwapLR();
  }

  double corners[8][4];
  _head.getBoundsCorners(corners);
  const bool inView = !camera || camera->isBoxInView(corners, p, 1.0);
  _head.setVisible(inView);
  double rgb[3];
  getColor(rgb);
  bool showMarker = true;
  if (!inView) {
    _box.setVisibility(false);
  } else {
    _head.setUserMatrix(p);
    _head.setColor(rgb);
    if (_box.getVisibility()) {
      _box.setUserMatrix(p);
      _box.setColor(rgb);
    }
    const bool inner = !camera || camera->isBoxInView(corners, p, 0.5);
    // Occlusion is the previous render's answer: a single occluded frame may be a flicker.
    const bool occluded = _head.isOccluded();
    showMarker = !inner || (occluded && _markerShown);
    _markerShown = occluded;
  }
  _directionMarker.actor()->SetVisibility(showMarker);
  if (showMarker) {
    double d[3] = {r[3], r[7], r[11]};
    if (Normalize3(d) > 0.0) _directionMarker.update(q, d);
    _directionMarker.setColor(rgb);
    _markerShown = true;
  }

  setIsoValueMarkerVisible(false);

  // The hands in the local room: Ml⁻¹ · Mr · ControllerTrafo.
  const kvg::VRClientController& right = _state.getController(false);
  const kvg::VRClientController& left = _state.getController(true);
  const kvg::VRClientController* records[2] = {&right, &left};
  double toRoom[16];
  vtkMatrix4x4::Multiply4x4(inverseModel, model, toRoom);
  ControllerInput inputs[2];
  bool usable[2];
  for (int hand = 0; hand < 2; ++hand) {
    double m[16];
    vtkMatrix4x4::Multiply4x4(toRoom, records[hand]->ControllerTrafo, m);
    usable[hand] = isUsablePose(m);
    if (usable[hand]) inputs[hand] = ControllerInput::initFromMatrix(m);
  }
  vtkRenderer* models = layer(window, OpenVRRenderWindow::ModelLayer);
  for (int hand = 0; hand < 2; ++hand)
    if (usable[hand])
      updateHand(hand, *records[hand], inputs, models, scene, local, localModel, annotations, tools);

  if (inView) {
    // Faded while the local head is inside or right next to the participant's head.
    double inverseP[16], localPoint[4];
    vtkMatrix4x4::Invert(p, inverseP);
    const double origin[4] = {q[3], q[7], q[11], 1.0};
    vtkMatrix4x4::MultiplyPoint(inverseP, origin, localPoint);
    double b1[6], b2[6];
    boxOfCorners(corners, b1);
    std::copy(b1, b1 + 6, b2);
    for (int a = 0; a < 3; ++a) {
      b2[2 * a] = std::min(b2[2 * a], localPoint[a]);
      b2[2 * a + 1] = std::max(b2[2 * a + 1], localPoint[a]);
    }
    const double d1 = diagonal(b1);
    _head.setOpacity(d1 > 0.0 && diagonal(b2) / d1 > 1.2 ? 1.0 : 0.2);
  }
  return true;
}

// Render thread. One hand of the participant, as its hand record tells.
void Avatar::updateHand(int hand, const kvg::VRClientController& h, const ControllerInput inputs[2],
                        vtkRenderer* models, kvg::DrawableScene* scene, AvatarContext& local,
                        const double localModel[16], const AnnotationLayoutSettings& annotations,
                        const ToolLayoutSettings& layout) {
  const ControllerInput& input = inputs[hand];
  ControllerModel& controller = _controllers[hand];
  // Until the local model of that hand is loaded there is no mesh to share: nothing is drawn.
  if (!AddControllerActorsToRenderers(controller, local.controllerModel(hand), models)) return;
  controller.setTextureEnabled(false);
  // An avatar set up while the palette images were still being built takes them now.
  _toolSets[hand].attachPaletteImages(_iconCache);
  UpdateControllerActorPose(controller, localModel, input.pose, input.position);
  double rgb[3];
  getColor(rgb);
  SetActorColor(controller, rgb);

  ToolSet& tools = _toolSets[hand];
  double corners[8][4], pose[16], world[16];
  BoundsToCorners(controller, corners);
  poseOf(input, pose);
  vtkMatrix4x4::Multiply4x4(localModel, pose, world);
  OpenVRCamera* camera = local.camera();
  if (!camera || camera->isBoxInView(corners, world, 1.0)) {
    tools.setPostItsVisible(true);
    for (int j = 0; j < 4; ++j) tools.selectPostItPage(j, h.ControllerState[j]);
  } else {
    tools.setPostItsVisible(false);
    controller.actor()->SetVisibility(0);
  }

  // Page and overlay bytes come from a peer: out of range shows no palette and no overlay.
  const int page = h.ControllerState[4], overlay = h.ControllerState[5];
  const bool pageValid = page >= 0 && page < PALETTE_PAGE_COUNT;
  if (pageValid) tools.setPalettePage(page);
  tools.setPaletteOverlay(overlay >= 0 && overlay <= PALETTE_OVERLAY_LIMIT ? overlay : 0);
  tools.setPalettePanelVisible(h.Flag2 && pageValid);
  tools.setTeleportOverlayVisible(h.Flag2 && pageValid);
  tools.setLinkedOverlayVisible(false);
  tools.selectQuickStartPage(h.ControllerState[6]);
  tools.setQuickStartVisible(h.Flag3);
  tools.resetLasers(layout.paletteAngle);

  if (h.Flag1) {
    if (std::isfinite(h.LaserProps[9]) && h.LaserProps[9] >= 0.0) tools.setLaserLength(h.LaserProps[9]);
    tools.setLaserDirection(h.LaserProps);
    tools.setLaserVisible(true);
    tools.setLaserColor(_laserColor);
  }
  if (h.Flag4 && finite3(h.LaserProps + 3) && finite3(h.LaserProps + 6)) {
    if (h.Flag1) {
      tools.alignLaserSpot(h.LaserProps + 6);
      tools.setLaserSpotVisible(true);
      tools.setLaserCircleVisible(false);
      double spot[3];
      rotate(input.pose, h.LaserProps + 3, spot);
      tools.setLaserSpotPosition(spot);
      tools.setLaserSpotColor(_laserColor);
    } else {
      // The circle where the other hand's laser meets this hand's palette, on the face it meets.
      const int other = 1 - hand;
      const kvg::VRClientController& pointing = _state.getController(other == 1);
      tools.setLaserSpotVisible(false);
      tools.setLaserCircleVisible(true);
      tools.setLaserCirclePos(h.LaserProps[3], h.LaserProps[4]);
      tools.setLaserCircleOnFront(
          LaserCircleOnFront(pointing.LaserProps, inputs[other].pose, h.LaserProps + 6, input.pose));
    }
  }

  tools.setToolIconsVisible(h.ControllerState[8], h.ControllerState[7]);

  if (tools.isColorBarVisible()) {
    double tip[3];
    computeToolTipPosition(input, localModel, hand, tip);
    kvg::VolumeRenderingManager* volumes =
        scene && scene->getSession() ? &kvg::VolumeRenderingManager::getSingleton(scene->getSession()) : nullptr;
    if (volumes) tools.setColorBarSource(volumes->getLookupTable(tip));
    double t = 0.5;  // no value: the bar's middle at the controller
    const kvg::VRClientState::IsoFieldValue iso = _state.getIsoField();
    if (!iso.first.empty() && iso.second != NO_TOOL_VALUE && std::isfinite(iso.second) && volumes && scene) {
      double lo = 0.0, hi = 1.0;
      volumes->getScalarRange(tip, lo, hi);
      t = IsoValuePosition(iso.second, lo, hi);
      // The input lives in the local room, so the local model places it in the scene.
      local.handleIsoValueTool(input, hand, *scene, models, localModel, t);
    }
    tools.slideColorBar(input.pose, t, layout.colorBarWidth);
    if (_isoMarker.isValid()) {
      _isoMarker->computeToolOffset(0.0, input, hand);
      _isoMarker->updateTransform(localModel, input.pose, input.position);
      _isoMarker->setVisibility(true);
    }
  }

  double headView[16], head[16];
  local.headPose(head);
  vtkMatrix4x4::Invert(head, headView);
  tools.update(localModel, headView, input, hand, annotations, layout);

  double current[3] = {0.0, 0.0, 0.0}, previous[3] = {0.0, 0.0, 0.0}, next[3] = {0.0, 0.0, 0.0};
  if (_group) {
    auto take = [this](int id, double out[3]) {
      const double* c = _group->colorAt(id);
      std::copy(c, c + 3, out);
    };
    take(_state.getCurrentAvatarColorID(), current);
    take(_state.getPreviousAvatarColorID(), previous);
    take(_state.getNextAvatarColorID(), next);
  }
  tools.setPaletteColors(current, previous, next);
}

// Render thread.
void Avatar::removeFromRenderWindow(OpenVRRenderWindow* window) {
  // The lent marker goes back to the group's pool: hidden, it stays in its renderer.
  setIsoValueMarkerVisible(false);
  if (!window) return;
  vtkRenderer* models = layer(window, OpenVRRenderWindow::ModelLayer);
  vtkRenderer* widgets = layer(window, OpenVRRenderWindow::WidgetLayer);
  _head.removeFromRenderer(models);
  _box.removeFromRenderer(models);
  if (models)
    for (ControllerModel& controller : _controllers) models->RemoveActor(controller.actor());
  if (widgets) widgets->RemoveActor(_directionMarker.actor());
  for (ToolSet& tools : _toolSets) tools.removeFromRenderer(widgets);
}

// Render thread, the window's context current.
void Avatar::releaseGraphicsResources(vtkWindow* window) {
  if (!window) return;
  _directionMarker.actor()->ReleaseGraphicsResources(window);
  _head.releaseGraphicsResources(window);
  if (_isoMarker.isValid()) _isoMarker->releaseGraphicsResources(window);
  for (ToolSet& tools : _toolSets) tools.releaseGraphicsResources(window);
}

// Render thread.
bool Avatar::intersectRay(const ControllerInput& input, const ToolSet& tools, AvatarHitRecord& hit,
                          const double a[16]) const {
  double mv[16], x[16], xi[16];
  vtkMatrix4x4::Multiply4x4(_state.getModel(), _state.getView(), mv);
  vtkMatrix4x4::Multiply4x4(a, mv, x);
  if (!isUsablePose(x)) return false;
  vtkMatrix4x4::Invert(x, xi);
  const double* l = tools.getLaserDirection();
  const double* r = input.pose;
  const double w[3] = {r[0] * l[0] + r[1] * l[1] + r[2] * l[2], r[4] * l[0] + r[5] * l[1] + r[6] * l[2],
                       r[8] * l[0] + r[9] * l[1] + r[10] * l[2]};
  const double origin[4] = {input.position[0], input.position[1], input.position[2], 1.0};
  const double direction[4] = {w[0], w[1], w[2], 0.0};
  double o[4], d[4];
  vtkMatrix4x4::MultiplyPoint(xi, origin, o);
  vtkMatrix4x4::MultiplyPoint(xi, direction, d);
  const double length = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
  if (!(length > 0.0)) return false;
  for (int i = 0; i < 3; ++i) d[i] /= length;

  const double* b = _head.bounds();
  const double eps = (b[1] - b[0]) * 0.001;
  double nearT[3], farT[3];
  for (int i = 0; i < 3; ++i) {
    const double lo = b[2 * i] - eps - o[i], hi = b[2 * i + 1] + eps - o[i];
    if (d[i] == 0.0) {
      // Parallel to the slab: inside it everywhere or nowhere.
      const bool inside = lo <= 0.0 && hi >= 0.0;
      nearT[i] = inside ? -HUGE_VAL : HUGE_VAL;
      farT[i] = inside ? HUGE_VAL : -HUGE_VAL;
      continue;
    }
    const double t0 = lo / d[i], t1 = hi / d[i];
    nearT[i] = std::min(t0, t1);
    farT[i] = std::max(t0, t1);
  }
  if (nearT[0] > farT[1] || nearT[1] > farT[0]) return false;
  const double near01 = std::max(nearT[0], nearT[1]), far01 = std::min(farT[0], farT[1]);
  if (nearT[2] > far01 || near01 > farT[2]) return false;

  int entryAxis = 0;
  if (nearT[1] > nearT[0]) entryAxis = 1;
  if (nearT[2] > nearT[0] && nearT[2] > nearT[1]) entryAxis = 2;
  int exitAxis = 0;
  if (farT[1] < farT[0]) exitAxis = 1;
  if (farT[2] < farT[0] && farT[2] < farT[1]) exitAxis = 2;
  const double tEntry = nearT[entryAxis], tExit = farT[exitAxis];
  // From inside the box the laser leaves it: the exit point, on the face of the exit axis.
  double t = tEntry;
  int face = entryAxis;
  if (tEntry < 0.0) {
    t = tExit;
    face = entryAxis + 3;
  }
  if (!std::isfinite(t)) return false;

  const double local[4] = {o[0] + t * d[0], o[1] + t * d[1], o[2] + t * d[2], 1.0};
  double p[4];
  vtkMatrix4x4::MultiplyPoint(x, local, p);
  int axis = 2;
  if (std::fabs(w[0]) >= std::fabs(w[1]) && std::fabs(w[0]) > std::fabs(w[2])) axis = 0;
  else if (std::fabs(w[1]) > std::fabs(w[0]) && std::fabs(w[1]) > std::fabs(w[2])) axis = 1;
  if (w[axis] == 0.0) return false;
  hit.distance = (p[axis] - origin[axis]) / w[axis];
  for (int i = 0; i < 3; ++i) hit.point[i] = local[i];
  hit.face = face;
  hit.avatarID = _state.getID();
  return hit.distance >= 0.0;
}
