// View reset, zoom, dolly, fly mode and the clip planes of the scene. Render thread (the reset
// also on the back-buffer updater at a scene's start-up).
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>

#include <vtkCamera.h>
#include <vtkDataArray.h>
#include <vtkMatrix4x4.h>
#include <vtkPlane.h>
#include <vtkPlaneCollection.h>
#include <vtkPointData.h>
#include <vtkPolyData.h>
#include <vtkRenderer.h>
#include <vtkTransform.h>

#include "ClipMarker.h"
#include "Configuration.h"
#include "OpenVRCamera.h"
#include "Logger.h"
#include "ToolGeometry.h"
#include "VRInteractionState.h"
#include "kvg/CollectionNode.h"
#include "kvg/DrawableSession.h"
#include "kvg/Plane.h"
#include "kvg/PointSphereDrawable.h"
#include "kvg/PolyDataNode.h"

namespace {

// Every change of the model matrix: identity, the current matrix, then the new operations
// (each applied to points before the ones already there), copied back.
class ModelMatrixEdit {
 public:
  explicit ModelMatrixEdit(VRInteractionState& state) : _state(state) {
    vtkTransform* t = _state.modelTransform;
    t->PreMultiply();
    t->Identity();
    t->Concatenate(_state.modelMatrix);
  }
  ~ModelMatrixEdit() {
    vtkTransform* t = _state.modelTransform;
    t->Update();
    double edited[16];
    vtkMatrix4x4::DeepCopy(edited, t->GetMatrix());
    // An edit that overflows would leave the view unusable for good: keep the last sane matrix.
    if (isFiniteMatrix4x4(edited)) std::memcpy(_state.modelMatrix, edited, sizeof(edited));
  }
  vtkTransform* operator->() { return _state.modelTransform; }

 private:
  VRInteractionState& _state;
};

void radiiOf(kvg::PolyDataNode& node, double radius) {
  vtkDataArray* radii = node.getPolyData()->GetPointData()->GetArray("radii");
  if (!radii) return;
  radii->Modified();
  const int components = radii->GetNumberOfComponents();
  for (vtkIdType t = 0; t < radii->GetNumberOfTuples(); ++t)
    for (int c = 0; c < std::min(components, 3); ++c) radii->SetComponent(t, c, radius);
}

kvg::Ptr<kvg::Plane> createPlaneNode(vtkPlane* plane) {
  kvg::Ptr<kvg::Plane> node(new kvg::Plane());
  node->setOrigin(plane->GetOrigin());
  node->setNormal(plane->GetNormal());
  return node;
}

}  // namespace

bool computeSceneBounds(vtkRenderer* renderer, double bounds[6], const double orientation[16]) {
  const double fallback[6] = {-1.0, 1.0, -1.0, 1.0, -1.0, 1.0};
  std::memcpy(bounds, fallback, sizeof(fallback));
  if (!renderer) return false;
  double b[6];
  renderer->ComputeVisiblePropBounds(b);
  if (b[1] < b[0] || b[3] < b[2] || b[5] < b[4]) return false;
  if (b[0] == b[1] && b[2] == b[3] && b[4] == b[5]) {
    for (int i = 0; i < 3; ++i) {
      bounds[2 * i] = b[2 * i] - 1.0;
      bounds[2 * i + 1] = b[2 * i + 1] + 1.0;
    }
    return true;
  }
  double out[6] = {1e299, -1e299, 1e299, -1e299, 1e299, -1e299};
  for (int x = 0; x < 2; ++x)
    for (int y = 0; y < 2; ++y)
      for (int z = 0; z < 2; ++z) {
        const double corner[3] = {b[x], b[2 + y], b[4 + z]};
        double p[3];
        transformPointByMatrix(corner, orientation, p);
        for (int i = 0; i < 3; ++i) {
          out[2 * i] = std::min(out[2 * i], p[i]);
          out[2 * i + 1] = std::max(out[2 * i + 1], p[i]);
        }
      }
  std::memcpy(bounds, out, sizeof(out));
  return true;
}

void SyncViewMatrixFromCamera(VRInteractionState& state, vtkRenderer* renderer) {
  if (!renderer) {
    identityMatrix4x4(state.sceneCameraOrientation);
    return;
  }
  vtkCamera* active = renderer->GetActiveCamera();
  if (!active || active == static_cast<vtkCamera*>(state.camera)) return;
  vtkMatrix4x4* view = active->GetViewTransformMatrix();
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) state.sceneCameraOrientation[r * 4 + c] = view->GetElement(r, c);
  state.sceneCameraOrientation[3] = state.sceneCameraOrientation[7] = state.sceneCameraOrientation[11] = 0.0;
}

void VRInteractionState::resetView(vtkRenderer* renderer, bool preserveOrientation, kvg::DrawableSession* session) {
  double before[16];
  std::memcpy(before, modelMatrix, sizeof(before));
  double r[16];
  if (preserveOrientation) std::memcpy(r, sceneCameraOrientation, sizeof(r));
  else identityMatrix4x4(r);

  // Centre of the scene along the axes the model will be shown in.
  double bounds[6];
  computeSceneBounds(renderer, bounds, r);
  const double c[3] = {(bounds[0] + bounds[1]) / 2, (bounds[2] + bounds[3]) / 2, (bounds[4] + bounds[5]) / 2};

  identityMatrix4x4(modelMatrix);
  double l[16];
  vtkMatrix4x4::Invert(r, l);

  modelScale = 1.0;
  updateHmdProjection(camera, modelScale);
  UpdatePointRadii(*this, session);

  // The model matrix maps the room into the scene: the room point p of
  // "resetViewModelPositionXYZ" must land on the scene's centre, so the placement is
  // L x T(c) x S(f) x T(-p) (the centre term positive, the position term negative).
  {
    ModelMatrixEdit edit(*this);
    edit->Translate(c[0], c[1], c[2]);
  }
  const double origin[3] = {0.0, 0.0, 0.0};
  applyModelSize(largestSceneSide / GetConfigReal("resetViewModelSize", 2.0), origin, session, 0.0, FLT_MAX);
  multiplyMatrix4x4(l, modelMatrix, modelMatrix);
  const std::array<double, 3> p = GetConfigVector3("resetViewModelPositionXYZ", {0.0, 1.0, -2.0});
  {
    ModelMatrixEdit edit(*this);
    edit->Translate(-p[0], -p[1], -p[2]);
  }
  // Bounds or settings too large for doubles leave the view where it was.
  if (!isFiniteMatrix4x4(modelMatrix)) {
    Logger::getSingleton().error("View reset: the scene's bounds give no usable placement; the view stays as it was");
    if (isFiniteMatrix4x4(before)) std::memcpy(modelMatrix, before, sizeof(before));
    else identityMatrix4x4(modelMatrix);
  }
  environment.setPosition(origin);
}

bool VRInteractionState::applyModelSize(double factor, const double pivot[3], kvg::DrawableSession* session,
                                        double lower, double upper) {
  const double s = modelScale * factor;
  if (factor != 1.0) {
    const double size = GetConfigReal("resetViewModelSize", 2.0);
    if (factor > 1.0 && 1.0 / s < size * lower / largestSceneSide) return false;
    if (factor < 1.0 && size * upper / largestSceneSide < 1.0 / s) return false;
  }
  modelScale = s;
  updateHmdProjection(camera, modelScale);
  UpdatePointRadii(*this, session);
  ModelMatrixEdit edit(*this);
  edit->Translate(pivot[0], pivot[1], pivot[2]);
  edit->Scale(factor, factor, factor);
  edit->Translate(-pivot[0], -pivot[1], -pivot[2]);
  return true;
}

bool VRInteractionState::handleZoom(int hand, bool in, kvg::DrawableSession* session, double lower, double upper) {
  ToolSet& tools = toolSets[hand];
  const int page = in ? 1 : 2;
  tools.setToolIconState(0, true, page);
  tools.setToolIconState(1, true, page);
  tools.setToolIconState(2, false, page);
  double pivot[3];
  computeToolTransform(controllerInputs[hand], hand, pivot);
  double f = 1.0 + GetConfigReal("zoomFactor", 0.03) * frameTimeFactor;
  if (in) f = 1.0 / f;
  return applyModelSize(f, pivot, session, lower, upper);
}

bool VRInteractionState::handleDolly(int hand, bool forward) {
  ToolSet& tools = toolSets[hand];
  const int page = forward ? 3 : 4;
  tools.setToolIconState(0, true, page);
  tools.setToolIconState(1, false, page);
  tools.setToolIconState(2, false, page);
  double d[3];
  computeToolDirection(controllerInputs[hand], GetConfigFinite("toolsAngle", 20.0), d);
  // Forward (the pad's North half, labelled "Pull" and "Fly forward") brings the model towards
  // the user: the viewer advances along the tool direction, so the model matrix, which maps the
  // room into the model, moves by -t with t pointing backwards.
  const double k = GetConfigReal("dollyFactor", 0.04) * (forward ? -1.0 : 1.0) * frameTimeFactor;
  const double t[3] = {d[0] * k, d[1] * k, d[2] * k};
  {
    ModelMatrixEdit edit(*this);
    edit->Translate(-t[0], -t[1], -t[2]);
  }
  if (flyMode) environment.translate(t);
  return true;
}

void VRInteractionState::syncClipPlanes(kvg::CollectionNode& node, vtkPlaneCollection* planes) {
  for (const kvg::Ptr<kvg::Plane>& plane : clipPlaneNodes) node.removeNode(kvg::Ptr<kvg::Node>(&*plane));
  clipPlaneNodes.clear();

  if (planes)
    for (int i = planes->GetNumberOfItems() - 1; i >= sceneClipPlaneCount; --i) planes->RemoveItem(i);

  const int64_t limit = int64_t(maxClipPlanes) - sceneClipPlaneCount - 1;
  // Marker i marks plane i: the oldest plane's marker goes hidden to the end of the pool, so the
  // pool keeps one marker per plane the driver allows and no dropped marker stays drawn.
  while (!clipPlanes.empty() && int64_t(clipPlanes.size()) > limit) {
    clipPlanes.pop_front();
    if (!clipMarkerPool.empty()) {
      kvg::Ptr<ClipMarker> oldest = clipMarkerPool.front();
      clipMarkerPool.pop_front();
      if (oldest.isValid()) oldest->setVisibility(false);
      clipMarkerPool.push_back(oldest);
    }
  }

  auto add = [&](vtkPlane* plane) {
    kvg::Ptr<kvg::Plane> planeNode = createPlaneNode(plane);
    node.addNode(planeNode);
    clipPlaneNodes.push_back(planeNode);
    if (planes) planes->AddItem(plane);
  };
  for (const auto& plane : clipPlanes) add(plane);
  if (interactiveClipPlane) add(interactiveClipPlane);
  // The others' planes count against the limit too: only what is left of it.
  int64_t room = int64_t(maxClipPlanes) - sceneClipPlaneCount - int64_t(clipPlaneNodes.size());
  for (const auto& plane : peerClipPlanes)
    if (room-- > 0) add(plane);
}

void UpdatePointRadii(VRInteractionState& state, kvg::DrawableSession* session) {
  if (!session) return;
  const double r = GetConfigReal("defaultPointRadius", 0.005) * state.particleRadiusScale * state.modelScale;
  for (kvg::PointSphereDrawable* drawable :
       session->getNodeRegistry().findNodesOfClass<kvg::PointSphereDrawable>()) {
    const kvg::Ptr<kvg::Object>& data = drawable->getDataNode();
    if (kvg::PolyDataNode* polyData = data.tryCast<kvg::PolyDataNode>()) radiiOf(*polyData, r);
    if (kvg::CollectionNode* children = data.tryCast<kvg::CollectionNode>())
      for (const kvg::Ptr<kvg::Node>& child : children->getNodes())
        if (kvg::PolyDataNode* polyData = child.tryCast<kvg::PolyDataNode>()) radiiOf(*polyData, r);
  }
}

void ToggleFlyMode(VRInteractionState& state) {
  state.flyMode = !state.flyMode;
  state.environment.setVisible(state.flyMode);
  if (state.flyMode) return;
  const double* c = state.environment.getPosition();
  {
    ModelMatrixEdit edit(state);
    edit->Translate(c[0], c[1], c[2]);
  }
  const double origin[3] = {0.0, 0.0, 0.0};
  state.environment.setPosition(origin);
}
