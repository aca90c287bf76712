#include "Avatar.h"

#include <vtkImageData.h>
#include <vtkMatrix4x4.h>
#include <vtkPolyDataMapper.h>
#include <vtkProperty.h>
#include <vtkRenderer.h>

#include <algorithm>
#include <cmath>

#include "AvatarGroup.h"
#include "ControllerInput.h"
#include "ToolSet.h"
#include "OpenVRActor.h"
#include "OpenVRCamera.h"
#include "OpenVRRenderWindow.h"
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

Avatar::Avatar() = default;
Avatar::~Avatar() = default;

void Avatar::setupPointers(OpenVRRenderWindow* window, vtkPolyDataMapper* headMapper, vtkPolyDataMapper* inlayMapper,
                           AvatarGroup* group) {
  _group = group;
  vtkRenderer* models = window ? static_cast<vtkRenderer*>(window->GetLayerRenderer("vrModels")) : nullptr;
  _head.setModels(models, headMapper, inlayMapper);
  // Nothing is drawn before the first state has placed the head.
  _head.setVisible(false);
}

void Avatar::setClientState(const kvg::VRClientState& state) {
  _state = state;
  _followsLocalUser = false;
}

void Avatar::setIsoValueMarkerVisible(bool visible) {
  if (_isoMarker.isValid()) _isoMarker->setVisibility(visible);
}

void Avatar::setLaserColor(const double rgb[3]) { std::copy(rgb, rgb + 3, _laserColor); }

void Avatar::getColor(double rgb[3]) const {
  if (!_group) {
    rgb[0] = rgb[1] = rgb[2] = 0.0;
    return;
  }
  const double* c = _group->colorAt(int(std::min(_state.getColorID(), 255u)));
  std::copy(c, c + 3, rgb);
}

void Avatar::computeCombinedMatrix(double out[16]) const {
  vtkMatrix4x4::Multiply4x4(_state.getModel(), _state.getView(), out);
}

// Render thread.
bool Avatar::updateFromState(OpenVRCamera* camera, const double localModel[16], const double inverseModel[16],
                             const double localHead[16]) {
  double model[16];
  std::copy(_state.getModel(), _state.getModel() + 16, model);
  if (!isUsablePose(model) || !isUsablePose(_state.getView())) return false;
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

  double corners[8][4];
  _head.getBoundsCorners(corners);
  const bool inView = !camera || camera->isBoxInView(corners, p, 1.0);
  _head.setVisible(inView);
  if (!inView) return true;
  _head.setUserMatrix(p);
  double rgb[3];
  getColor(rgb);
  _head.setColor(rgb);

  // Faded while the local head is inside or right next to the participant's head.
  double q[16], inverseP[16], local[4];
  vtkMatrix4x4::Multiply4x4(localModel, localHead, q);
  vtkMatrix4x4::Invert(p, inverseP);
  const double origin[4] = {q[3], q[7], q[11], 1.0};
  vtkMatrix4x4::MultiplyPoint(inverseP, origin, local);
  double b1[6], b2[6];
  boxOfCorners(corners, b1);
  std::copy(b1, b1 + 6, b2);
  for (int a = 0; a < 3; ++a) {
    b2[2 * a] = std::min(b2[2 * a], local[a]);
    b2[2 * a + 1] = std::max(b2[2 * a + 1], local[a]);
  }
  const double d1 = diagonal(b1);
  _head.setOpacity(d1 > 0.0 && diagonal(b2) / d1 > 1.2 ? 1.0 : 0.2);
  (void)inverseModel;
  return true;
}

void Avatar::removeFromRenderWindow(OpenVRRenderWindow* window) {
  if (!window) return;
  _head.removeFromRenderer(static_cast<vtkRenderer*>(window->GetLayerRenderer("vrModels")));
  setIsoValueMarkerVisible(false);
}

void Avatar::releaseGraphicsResources(vtkWindow* window) { _head.releaseGraphicsResources(window); }

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
