// The hand tools that act on the scene: seeds, the colour bar with its iso values, plane
// sections and clip planes, with the frame every plane tool takes from its controller and the
// nearest-marker searches. Render thread.
#include <algorithm>
#include <cfloat>
#include <cmath>

#include <vtkImageData.h>  // OpenVRRenderWindow.h uses it without including it
#include <vtkLookupTable.h>
#include <vtkPlane.h>
#include <vtkRenderer.h>

#include "ClipMarker.h"
#include "Configuration.h"
#include "IsoValueMarker.h"
#include "OpenVRRenderWindow.h"
#include "OpenVRTexture.h"
#include "ParticleAdvectionManager.h"
#include "SceneViewSettings.h"
#include "SeedMarker.h"
#include "ToolGeometry.h"
#include "VRInteractionState.h"
#include "VolumeRenderingManager.h"
#include "kvg/DrawableScene.h"
#include "kvg/OpenGLRenderer.h"

namespace {

double distance3(const double a[3], const double b[3]) {
  const double d[3] = {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
  return std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
}

void cross3(const double a[3], const double b[3], double out[3]) {
  const double r[3] = {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
  copyVector3(r, out);
}

// Index of the centre nearest to p, searched from the last down with a strict comparison, so of
// equal distances the later one wins; `fallback` when none is nearer than FLT_MAX. Entries
// for which `centre` gives null take no part.
template <typename CentreOf>
int nearestIndex(int count, const double p[3], int fallback, CentreOf centre) {
  double best = FLT_MAX;
  int nearest = fallback;
  for (int i = count - 1; i >= 0; --i) {
    const double* c = centre(i);
    if (!c) continue;
    const double d = distance3(c, p);
    if (d < best) {
      best = d;
      nearest = i;
    }
  }
  return nearest;
}

// The seed-marker search of the seed tool: nearest to the tool tip, the last marker by default.
int nearestSeedMarker(const std::vector<kvg::Ptr<SeedMarker>>& markers, const double tip[3]) {
  return nearestIndex(int(markers.size()), tip, int(markers.size()) - 1,
                      [&](int i) { return markers[i].isValid() ? markers[i]->getCenter() : nullptr; });
}

}  // namespace

vtkProp* findVolumeAtToolTip(const ControllerInput& input, kvg::DrawableScene& scene, const double a[16], int hand,
                             std::string* fieldName) {
  double q[3];
  computeToolTipPosition(input, a, hand, q);
  const kvg::VolumeRenderingManager::ClosestProp answer =
      kvg::VolumeRenderingManager::getSingleton(scene.getSession()).findClosestProp(q, scene);
  if (!answer.found || !answer.prop) return nullptr;
  if (fieldName) *fieldName = answer.fieldName;
  return answer.prop;
}

void GetSeedMarkerShape(const VRInteractionState& state, const double flow[3], double& height, double& angle) {
  double minAngle = 15.0, maxAngle = 50.0;
  const std::vector<double> limits = GetConfigList("seedMarkerMinMaxAngle", {});
  if (limits.size() > 0) minAngle = limits[0];
  if (limits.size() > 1) maxAngle = limits[1];
  // The cone needs an opening strictly between 0 and 90 degrees: at 0 it would be infinitely
  // long, at 90 and beyond flat or inverted.
  minAngle = std::min(std::max(minAngle, 1.0), 89.0);
  maxAngle = std::min(std::max(maxAngle, minAngle), 89.0);
  const double speed = std::sqrt(flow[0] * flow[0] + flow[1] * flow[1] + flow[2] * flow[2]);
  const double t = 0.5 * speed / state.medianParticleSpeed;
  double a = minAngle * t + (1.0 - t) * maxAngle;
  a = minAngle <= a ? a : minAngle;  // also a NaN
  a = a <= maxAngle ? a : maxAngle;
  const double size = GetConfigReal("seedMarkerSize", 2.5);
  const double r = GetConfigReal("defaultPointRadius", 0.005);
  height = size * r / std::tan(a * M_PI / 180.0);
  angle = a;
}

void VRInteractionState::orientPlaneSection(int hand, int page, double origin[3], double up[3], double right[3],
                                            double normal[3]) {
  const ControllerInput& input = controllerInputs[hand];
  double r[16];
  computeRotationInFrame(input, modelMatrix, r);
  const double t = GetConfigFinite("toolsAngle", 20.0) * M_PI / 180.0;
  double x[3] = {1.0, 0.0, 0.0};
  const double v1[3] = {0.0, -std::cos(t), std::sin(t)};
  const double v2[3] = {0.0, -std::sin(t), -std::cos(t)};
  ToolSet& tools = toolSets[hand];
  for (int icon = 0; icon < ToolSet::ToolIconCount; ++icon) tools.setToolIconState(icon, false, page);
  const int orientation = GetConfigInt("planeSectionOrientation", 0);
  int icon = 2;
  if (orientation == 0) {
    rotateVector(r, x, up);
    rotateVector(r, v2, right);
    rotateVector(r, v1, normal);
    icon = 0;
  } else if (orientation == 1) {
    rotateVector(r, x, up);
    rotateVector(r, v1, right);
    rotateVector(r, v2, normal);
    icon = 1;
  } else {
    if (hand == 1) x[0] = -1.0;
    rotateVector(r, v1, up);
    rotateVector(r, v2, right);
    rotateVector(r, x, normal);
  }
  tools.setToolIconState(icon, true, page);
  Normalize3(up);
  Normalize3(right);
  Normalize3(normal);
  computeToolTipPosition(input, modelMatrix, hand, origin);
}

kvg::SimplePlaneSection alignPlaneSectionBasis(const kvg::SimplePlaneSection& section, double snappingAngle) {
  kvg::SimplePlaneSection result(section);
  double n[3];
  cross3(section.getRight(), section.getUp(), n);
  Normalize3(n);
  int k = std::abs(n[0]) >= std::abs(n[1]) ? 0 : 1;
  if (std::abs(n[2]) >= std::abs(n[k])) k = 2;
  const double theta = std::acos(std::max(-1.0, std::min(1.0, n[k]))) * 180.0 / M_PI;
  if (theta < snappingAngle || theta > 180.0 - snappingAngle) {
    double axis[3] = {0.0, 0.0, 0.0};
    axis[k] = n[k] < 0.0 ? -1.0 : 1.0;
    double right[3], up[3];
    cross3(section.getUp(), axis, right);
    Normalize3(right);
    cross3(axis, right, up);
    Normalize3(up);
    result.setUp(up);
    result.setRight(right);
  }
  return result;
}

int VRInteractionState::nearestClipMarker(int hand) const {
  const int count = int(clipPlanes.size());
  if (count == 0) return -1;
  double p[3];
  computeToolTipPosition(controllerInputs[hand], modelMatrix, hand, p);
  return nearestIndex(count, p, count - 1, [&](int i) -> const double* {
    if (i >= int(clipMarkerPool.size()) || !clipMarkerPool[i].isValid()) return nullptr;
    return clipMarkerPool[i]->getCenter();
  });
}

int VRInteractionState::nearestPlaneSection(int hand) const {
  double p[3];
  computeToolTipPosition(controllerInputs[hand], modelMatrix, hand, p);
  const int count = int(persistentPlaneSections.size());
  return nearestIndex(count, p, int(planeSectionMarkers.size()) - 1,
                      [&](int i) { return persistentPlaneSections[i].getOrigin(); });
}

bool VRInteractionState::handleClipTool(int hand, int mode, const SceneViewSettings& settings) {
  double origin[3], up[3], right[3], normal[3];
  orientPlaneSection(hand, 5, origin, up, right, normal);
  const kvg::SimplePlaneSection snapped =
      alignPlaneSectionBasis(kvg::SimplePlaneSection(origin, up, right), settings.snappingAngle);
  auto plane = vtkSmartPointer<vtkPlane>::New();
  double n[3];
  snapped.getNormal(n);
  plane->SetOrigin(origin);
  plane->SetNormal(n);

  const int count = int(clipPlanes.size());
  if (mode == 0) {
    interactiveClipPlane = plane;
  } else if (mode == 1) {
    // The marker square keeps the controller's tilt; the plane takes the snapped normal.
    if (count < int(clipMarkerPool.size()) && clipMarkerPool[count].isValid())
      clipMarkerPool[count]->setGeometry(origin, up, right, GetConfigFinite("toolIconSize", 0.1, true));
    clipPlanes.push_back(plane);
  } else if (mode == 2) {
    const int k = nearestClipMarker(hand);
    if (k < 0 || k >= count) return false;
    for (int j = k + 1; j < count && j < int(clipMarkerPool.size()); ++j)
      clipMarkerPool[j - 1].cast<ClipMarker>().setGeometryAlt(clipMarkerPool[j].cast<ClipMarker>());
    clipPlanes.erase(clipPlanes.begin() + k);
  }

  const int planes = int(clipPlanes.size());
  for (int i = 0; i < int(clipMarkerPool.size()); ++i) {
    ClipMarker& marker = clipMarkerPool[i].cast<ClipMarker>();
    marker.setVisibility(i < planes);
    marker.selectTexture(0);
  }
  const int nearest = nearestClipMarker(hand);
  if (nearest >= 0 && nearest < int(clipMarkerPool.size())) clipMarkerPool[nearest]->selectTexture(1);
  return true;
}

bool VRInteractionState::handlePlaneSectionTool(int hand, int mode, vtkRenderer* renderer, kvg::DrawableScene& scene,
                                                const SceneViewSettings& settings) {
  if (!findVolumeAtToolTip(controllerInputs[hand], scene, modelMatrix, hand)) return false;
  double origin[3], up[3], right[3], normal[3];
  orientPlaneSection(hand, 6, origin, up, right, normal);
  // Just in front of the marker, so the section does not fight with it for depth.
  const double shifted[3] = {origin[0] + 0.003 * normal[0], origin[1] + 0.003 * normal[1],
                             origin[2] + 0.003 * normal[2]};
  const kvg::SimplePlaneSection section =
      alignPlaneSectionBasis(kvg::SimplePlaneSection(shifted, up, right), settings.snappingAngle);

  if (mode == 0) {
    interactivePlaneSection = section;
  } else if (mode == 1) {
    persistentPlaneSections.push_back(section);
    kvg::Ptr<ClipMarker> marker(new ClipMarker());
    vtkTexture* normalLook = planeSectionTextures.size() > 0 ? planeSectionTextures[0].GetPointer() : nullptr;
    vtkTexture* highlighted = planeSectionTextures.size() > 1 ? planeSectionTextures[1].GetPointer() : nullptr;
    marker->createTextured(renderer, origin, section.getUp(), section.getRight(), GetConfigFinite("toolIconSize", 0.1, true),
                           normalLook, highlighted);
    planeSectionMarkers.push_back(marker);
  } else if (mode == 2) {
    if (persistentPlaneSections.empty()) return false;
    const int k = nearestPlaneSection(hand);
    if (k < 0 || k >= int(persistentPlaneSections.size())) return false;
    if (k < int(planeSectionMarkers.size())) {
      if (planeSectionMarkers[k].isValid()) planeSectionMarkers[k]->removeFromRenderer(renderer);
      planeSectionMarkers.erase(planeSectionMarkers.begin() + k);
    }
    persistentPlaneSections.erase(persistentPlaneSections.begin() + k);
  }

  for (const auto& marker : planeSectionMarkers) {
    if (!marker.isValid()) continue;
    marker->setVisibility(true);
    marker->selectTexture(0);
  }
  if (!persistentPlaneSections.empty()) {
    const int nearest = nearestPlaneSection(hand);
    if (nearest >= 0 && nearest < int(planeSectionMarkers.size()) && planeSectionMarkers[nearest].isValid())
      planeSectionMarkers[nearest]->selectTexture(1);
  }
  return true;
}

bool VRInteractionState::handleSeedTool(int hand, int mode, vtkRenderer* renderer, kvg::DrawableScene& scene) {
  ToolSet& tools = toolSets[hand];
  tools.setToolIconState(0, true, 7);
  tools.setToolIconState(1, false, 7);
  tools.setToolIconState(2, false, 7);
  const ControllerInput& input = controllerInputs[hand];
  double origin[3];
  computeToolTipPosition(input, modelMatrix, hand, origin);
  // Along the tool's tilted forward direction, where its icons point.
  const double a = GetConfigFinite("toolsAngle", 20.0) * M_PI / 180.0;
  const double local[3] = {0.0, -std::sin(a), -std::cos(a)};
  double ray[3];
  computeDirectionInFrame(input, modelMatrix, local, ray);

  kvg::ParticleAdvectionManager& particles = kvg::ParticleAdvectionManager::getSingleton(scene.getSession());
  double seed[3], direction[3];
  const bool found =
      particles.findSeedWithRayQuery(seed, direction, origin, ray, scene,
                                     GetConfigInt("maxSamplesForParticleSeedRayQuery", 32)) ||
      particles.findRandomSeed(seed, direction, origin, scene, GetConfigInt("maxSamplesForRandomParticleSeed", 32));

  if (mode == 0) {
    if (found) particles.setInteractiveSeedPosition(seed);
    return found;
  }
  if (mode == 1) {
    if (!found) return false;
    particles.addSeedPosition(seed);
    double height = 0.0, angle = 0.0;
    GetSeedMarkerShape(*this, direction, height, angle);
    // The cone opens along the flow: its apex points upstream.
    double against[3] = {-direction[0], -direction[1], -direction[2]};
    Normalize3(against);
    kvg::Ptr<SeedMarker> marker(new SeedMarker());
    marker->createActor(renderer, seed, against, height, angle);
    seedMarkers.push_back(marker);
    return true;
  }
  if (mode == 2) {
    if (seedMarkers.empty()) return false;
    const int k = nearestSeedMarker(seedMarkers, origin);
    particles.removeSeedPosition(k);
    if (seedMarkers[k].isValid()) seedMarkers[k]->removeFromRenderer(renderer);
    seedMarkers.erase(seedMarkers.begin() + k);
    return true;
  }
  return false;
}

bool VRInteractionState::placeSeedMarker(int hand, int row, int column, vtkRenderer* renderer,
                                         kvg::DrawableScene& scene) {
  const bool ok = handleSeedTool(hand, 0, renderer, scene);
  if (!ok) triggerHapticPulse(controllerInputs[hand]);
  toolSets[hand].toolStatus.set(row, column, ok);
  const std::array<double, 3> color = GetConfigVector3("seedMarkerRGB", {0.0, 0.37255, 0.52941});
  for (const auto& marker : seedMarkers)
    if (marker.isValid()) marker->setColor(color.data());
  if (seedMarkers.empty()) return ok;
  double tip[3];
  computeToolTipPosition(controllerInputs[hand], modelMatrix, hand, tip);
  const int nearest = nearestSeedMarker(seedMarkers, tip);
  const std::array<double, 3> highlight = GetConfigVector3("seedMarkerHighlightRGB", {0.1, 1.0, 1.5});
  if (seedMarkers[nearest].isValid()) seedMarkers[nearest]->setColor(highlight.data());
  return ok;
}

bool VRInteractionState::handleColorBarTool(int hand, int mode, vtkRenderer* renderer, kvg::DrawableScene& scene) {
  const ControllerInput& input = controllerInputs[hand];
  double tip[3];
  computeToolTipPosition(input, modelMatrix, hand, tip);
  // The tip's motion in the room since the last frame: a hand held still leaves the value.
  double now[3];
  computeToolTransform(input, hand, now);
  const double v[3] = {now[0] - input.previousToolTip[0], now[1] - input.previousToolTip[1],
                       now[2] - input.previousToolTip[2]};

  kvg::VolumeRenderingManager& volumes = kvg::VolumeRenderingManager::getSingleton(scene.getSession());
  vtkLookupTable* table = volumes.getLookupTable(tip);
  double min = 0.0, max = 1.0;
  volumes.getScalarRange(tip, min, max);
  std::string field;
  if (!findVolumeAtToolTip(input, scene, modelMatrix, hand, &field)) return false;

  ToolSet& tools = toolSets[hand];
  for (int icon = 0; icon < ToolSet::ToolIconCount; ++icon) tools.setToolIconState(icon, false, 0);
  tools.setColorBarSource(table);
  if (!scalarFieldName.empty() && scalarFieldName != field) triggerHapticPulse(input);
  scalarFieldName = field;

  const double forward[3] = {0.0, 0.0, -1.0};
  double f[3];
  transformPoint(input, forward, f);
  Normalize3(f);
  const double width = GetConfigFinite("colorBarWidth", 0.2, true);

  if (mode == 0) {
    const double length = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    double s = f[0] * v[0] + f[1] * v[1] + f[2] * v[2];
    if (!(length > 0.0) || std::abs(s / length) < 0.5) s = 0.0;
    const double p = colorBarPosition - s / width;
    if (p < 0.0 || p > 1.0) triggerHapticPulse(input);
    colorBarPosition = std::max(0.0, std::min(p, 1.0));
    interactiveIsoField = field;
    interactiveIsoValue = min + colorBarPosition * (max - min);
    tools.slideColorBar(input.pose, colorBarPosition, width);
    tools.setColorBarVisible(true);
    if (interactiveIsoMarker.isValid()) interactiveIsoMarker->setVisibility(true);
  } else if (mode == 1) {
    persistentIsoValues.emplace_back(field, min + colorBarPosition * (max - min));
  } else if (mode == 2) {
    int remove = -1;
    double best = FLT_MAX;
    if (!interactiveIsoField.empty()) {
      for (int i = int(persistentIsoValues.size()) - 1; i >= 0; --i) {
        const kvg::IsoValue& kept = persistentIsoValues[i];
        if (kept.first != interactiveIsoField) continue;
        const double t = max == min ? 0.5 : (kept.second - min) / (max - min);
        if (!(t >= 0.0 && t <= 1.0)) continue;
        const double d = std::abs(kept.second - interactiveIsoValue);
        if (d < best) {
          best = d;
          remove = i;
        }
      }
    }
    if (remove < 0) return false;
    persistentIsoValues.erase(persistentIsoValues.begin() + remove);
  }

  OpenVRRenderWindow* window = OpenVRRenderWindow::SafeDownCast(scene.getRenderWindow());
  vtkRenderer* models = renderer;
  if (window) models = window->GetLayerRenderer(OpenVRRenderWindow::ModelLayer);
  handleIsoValueTool(input, hand, scene, models, modelMatrix, colorBarPosition, false);
  return true;
}

void VRInteractionState::handleIsoValueTool(const ControllerInput& input, int hand, kvg::DrawableScene& scene,
                                            vtkRenderer* markerRenderer, const double matrix[16], double target,
                                            bool placeAtController) {
  double p[3];
  computeToolTipPosition(input, matrix, hand, p);
  kvg::VolumeRenderingManager& volumes = kvg::VolumeRenderingManager::getSingleton(scene.getSession());
  double min = 0.0, max = 1.0;
  volumes.getScalarRange(p, min, max);
  size_t k = isoValueMarkers.size();
  for (size_t i = 0; i < isoValueMarkers.size(); ++i)
    if (isoValueMarkers[i].isValid() && !isoValueMarkers[i]->getVisibility()) {
      k = i;
      break;
    }
  std::string field;
  if (!findVolumeAtToolTip(input, scene, matrix, hand, &field)) return;

  const std::array<double, 3> color = GetConfigVector3("seedMarkerRGB", {0.0, 0.37255, 0.52941});
  double best = FLT_MAX;
  long bestIndex = -1;
  for (const kvg::IsoValue& kept : persistentIsoValues) {
    if (kept.first != field) continue;
    const double t = max == min ? 0.5 : (kept.second - min) / (max - min);
    if (!(t >= 0.0 && t <= 1.0)) continue;
    if (k >= isoValueMarkers.size()) {
      isoValueMarkers.push_back(IsoValueMarker::create(markerRenderer));
      k = isoValueMarkers.size() - 1;
    }
    IsoValueMarker& marker = *isoValueMarkers[k];
    marker.setVisibility(true);
    marker.setColor(color.data());
    if (placeAtController) marker.updateTransform(matrix, input.pose, input.position);
    if (std::abs(target - t) < best) {
      best = std::abs(target - t);
      bestIndex = long(k);
    }
    ++k;
  }
  if (bestIndex >= 0 && size_t(bestIndex) < isoValueMarkers.size()) {
    const std::array<double, 3> highlight = GetConfigVector3("seedMarkerHighlightRGB", {0.1, 1.0, 1.5});
    isoValueMarkers[bestIndex]->setColor(highlight.data());
  }
}
