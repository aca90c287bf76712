#include "CollaborativeStateMapping.h"

#include <vtkImageData.h>
#include <vtkMath.h>
#include <vtkPlane.h>
#include <vtkRenderer.h>
#include <vtkSmartPointer.h>

#include <algorithm>
#include <cmath>
#include <deque>
#include <cstring>
#include <iostream>

#include "AvatarGroup.h"
#include "ClipMarker.h"
#include "Configuration.h"
#include "IsoValueMarker.h"
#include "OpenVRRenderWindow.h"
#include "kvg/OpenGLRenderer.h"
#include "ParticleAdvectionManager.h"
#include "SeedMarker.h"
#include "VRInteractionState.h"
#include "VolumeRenderingManager.h"
#include "kvg/DrawableScene.h"

namespace {

constexpr double NO_TOOL = kvg::VRClientState::NO_TOOL;

bool hasNoValue(const double* v, int n) {
  for (int i = 0; i < n; ++i)
    if (v[i] == NO_TOOL) return true;
  return false;
}

bool isFinite(const double* v, int n) {
  for (int i = 0; i < n; ++i)
    if (!std::isfinite(v[i])) return false;
  return true;
}

// A point with a flow direction there; false for a point outside every volume or without flow.
bool flowAt(kvg::ParticleAdvectionManager& particles, const double p[3], double direction[3]) {
  if (!isFinite(p, 3) || !particles.checkInsideResampledVolume(p)) return false;
  return particles.getDirection(p, direction) && !hasNoValue(direction, 3);
}

vtkRenderer* layerRenderer(OpenVRRenderWindow& window, const char* name) {
  return static_cast<vtkRenderer*>(window.GetLayerRenderer(name));
}

}  // namespace

// ---- Local scene into the shared state ----

void CollectSeedPoints(VRInteractionState& state, std::vector<double>& out) {
  out.clear();
  std::vector<std::array<double, 3>> points;
  for (const auto& marker : state.seedMarkers)
    if (marker.isValid()) {
      const double* c = marker->getCenter();
      points.push_back({c[0], c[1], c[2]});
    }
  // Received seeds this buffer cannot show go back where they were in the received list.
  for (const auto& kept : state.unrealisedSharedSeeds)
    points.insert(points.begin() + std::ptrdiff_t(std::min(kept.first, points.size())), kept.second);
  for (const auto& p : points) out.insert(out.end(), p.begin(), p.end());
}

void CollectPlaneSections(VRInteractionState& state, std::vector<double>& out) {
  out.clear();
  for (const auto& section : state.persistentPlaneSections) {
    out.insert(out.end(), section.getOrigin(), section.getOrigin() + 3);
    out.insert(out.end(), section.getUp(), section.getUp() + 3);
    out.insert(out.end(), section.getRight(), section.getRight() + 3);
  }
}

namespace {

// Edges of a kept clip plane as they travel: the marker's edges turned into the plane (the
// marker may keep the controller's tilt while the plane's normal snapped to an axis), with
// right x up = the plane's normal, which is how the receivers make the plane from them.
void planeEdges(vtkPlane& plane, const double* markerUp, const double* markerRight, double up[3], double right[3]) {
  double n[3];
  plane.GetNormal(n);
  vtkMath::Normalize(n);
  for (const double* from : {markerUp, markerRight}) {
    const double along = vtkMath::Dot(from, n);
    for (int k = 0; k < 3; ++k) up[k] = from[k] - along * n[k];
    if (vtkMath::Normalize(up) > 1e-9) break;
  }
  if (vtkMath::Norm(up) < 0.5) vtkMath::Perpendiculars(n, up, right, 0.0);
  vtkMath::Cross(up, n, right);
}

}  // namespace

void CollectClipPlanes(VRInteractionState& state, std::vector<double>& out) {
  out.clear();
  const size_t planes = state.clipPlanes.size();
  const size_t markers = std::min(planes, state.clipMarkerPool.size());
  for (size_t i = 0; i < markers; ++i) {
    const auto& marker = state.clipMarkerPool[i];
    if (!marker.isValid()) continue;
    double up[3], right[3];
    planeEdges(*state.clipPlanes[i], marker->getUp(), marker->getRight(), up, right);
    out.insert(out.end(), marker->getCenter(), marker->getCenter() + 3);
    out.insert(out.end(), up, up + 3);
    out.insert(out.end(), right, right + 3);
  }
  // Planes received beyond the local markers travel on as they came.
  for (size_t i = markers, k = 0; i < planes && k < state.unmarkedSharedClipPlanes.size(); ++i, ++k)
    out.insert(out.end(), state.unmarkedSharedClipPlanes[k].begin(), state.unmarkedSharedClipPlanes[k].end());
}

void CollectIsoValues(VRInteractionState& state, std::vector<kvg::VRSharedState::IsoValue>& out) {
  out.assign(state.persistentIsoValues.begin(), state.persistentIsoValues.end());
}

// Render thread.
void StoreSceneInSharedState(VRInteractionState& state, kvg::VRSharedState& shared, kvg::DrawableSession* session) {
  std::vector<double> values;
  CollectSeedPoints(state, values);
  shared.setSeedPoints(values);
  CollectPlaneSections(state, values);
  shared.setPlaneSections(values);
  std::vector<kvg::VRSharedState::IsoValue> iso;
  CollectIsoValues(state, iso);
  shared.setIsoValues(iso);
  CollectClipPlanes(state, values);
  shared.setClipPlanes(values);
  shared.setSceneMinSideLen(state.smallestSceneSide);
  shared.setSceneMaxSideLen(state.largestSceneSide);
  const bool volumes = session && kvg::VolumeRenderingManager::getSingleton(session).getEnableVolRend();
  shared.setShareableState((state.hudShown ? 1u : 0u) + (state.flyMode ? 2u : 0u) + (state.floorShown ? 4u : 0u) +
                           (volumes ? 8u : 0u));
  shared.setParticleRadiusScale(state.particleRadiusScale);
  shared.setParticleStepScale(state.particleStepScale);
}

// ---- Shared state into the local scene ----

void CreateSeedMarkers(VRInteractionState& state, const kvg::VRSharedState& shared, vtkRenderer* renderer,
                       kvg::DrawableSession* session) {
  state.unrealisedSharedSeeds.clear();
  if (!session) return;
  auto& particles = kvg::ParticleAdvectionManager::getSingleton(session);
  particles.clearSeeds();
  const std::vector<double>& points = shared.getSeedPoints();
  size_t used = 0;
  for (size_t i = 0; i + 2 < points.size(); i += 3) {
    const double p[3] = {points[i], points[i + 1], points[i + 2]};
    double d[3];
    if (!flowAt(particles, p, d)) {
      state.unrealisedSharedSeeds.push_back({i / 3, {p[0], p[1], p[2]}});
      continue;
    }
    double height = 0.0, angle = 0.0;
    GetSeedMarkerShape(state, d, height, angle);
    if (vtkMath::Normalize(d) == 0.0) d[0] = d[1] = d[2] = 0.0;
    const double back[3] = {-d[0], -d[1], -d[2]};
    if (used < state.seedMarkers.size() && state.seedMarkers[used].isValid()) {
      state.seedMarkers[used]->removeFromRenderer(renderer);
      state.seedMarkers[used]->createActor(renderer, p, back, height, angle);
    } else {
      kvg::Ptr<SeedMarker> marker(new SeedMarker());
      marker->createActor(renderer, p, back, height, angle);
      if (used < state.seedMarkers.size())
        state.seedMarkers[used] = marker;
      else
        state.seedMarkers.push_back(marker);
    }
    particles.addSeedPosition(p);
    ++used;
  }
  for (size_t i = used; i < state.seedMarkers.size(); ++i)
    if (state.seedMarkers[i].isValid()) state.seedMarkers[i]->removeFromRenderer(renderer);
  state.seedMarkers.resize(used);
}

void CreatePlaneSectionMarkers(VRInteractionState& state, const kvg::VRSharedState& shared, vtkRenderer* renderer) {
  const std::vector<double>& v = shared.getPlaneSections();
  state.persistentPlaneSections.clear();
  const double size = GetConfigFinite("toolIconSize", 0.1, true);
  size_t count = 0;
  for (size_t i = 0; i + 8 < v.size(); i += 9) {
    const kvg::SimplePlaneSection section(&v[i], &v[i + 3], &v[i + 6]);
    state.persistentPlaneSections.push_back(section);
    if (count >= state.planeSectionMarkers.size() || !state.planeSectionMarkers[count].isValid()) {
      kvg::Ptr<ClipMarker> marker(new ClipMarker());
      vtkTexture* t0 = state.planeSectionTextures.size() > 0 ? (vtkTexture*)state.planeSectionTextures[0].Get() : nullptr;
      vtkTexture* t1 = state.planeSectionTextures.size() > 1 ? (vtkTexture*)state.planeSectionTextures[1].Get() : nullptr;
      marker->createTextured(renderer, &v[i], &v[i + 3], &v[i + 6], size, t0, t1);
      if (count < state.planeSectionMarkers.size())
        state.planeSectionMarkers[count] = marker;
      else
        state.planeSectionMarkers.push_back(marker);
    }
    state.planeSectionMarkers[count]->setGeometry(&v[i], &v[i + 3], &v[i + 6], size);
    ++count;
  }
  for (size_t i = count; i < state.planeSectionMarkers.size(); ++i)
    if (state.planeSectionMarkers[i].isValid()) state.planeSectionMarkers[i]->removeFromRenderer(renderer);
  state.planeSectionMarkers.resize(count);
}

void ApplySharedIsoValues(VRInteractionState& state, const kvg::VRSharedState& shared, OpenVRRenderWindow& window) {
  const auto& values = shared.getIsoValues();
  state.persistentIsoValues.assign(values.begin(), values.end());
  vtkRenderer* models = layerRenderer(window, "vrModels");
  const size_t markers = std::min(values.size(), size_t(std::max(0, state.isoMarkerLimit)));
  while (models && state.isoValueMarkers.size() < markers)
    state.isoValueMarkers.push_back(IsoValueMarker::create(models));
}

void ApplySharedClipPlanes(VRInteractionState& state, const kvg::VRSharedState& shared) {
  // A plane the state holds as this buffer would send it is the state's own: it stays as it is,
  // marker and all, so that a state changing something else never moves it.
  std::vector<double> held;
  CollectClipPlanes(state, held);
  const std::deque<vtkSmartPointer<vtkPlane>> previous = state.clipPlanes;
  for (auto& marker : state.clipMarkerPool)
    if (marker.isValid()) marker->setVisibility(false);
  state.clipPlanes.clear();
  state.unmarkedSharedClipPlanes.clear();
  const double size = GetConfigFinite("toolIconSize", 0.1, true);
  const std::vector<double>& v = shared.getClipPlanes();
  for (size_t i = 0, k = 0; i + 8 < v.size(); i += 9, ++k) {
    const double* c = &v[i];
    const double* e1 = &v[i + 3];
    const double* e2 = &v[i + 6];
    // Edges made again from a received plane may differ in the last bits from the sent ones.
    const bool unchanged = k < previous.size() && i + 8 < held.size() &&
                           std::equal(c, c + 9, &held[i], [](double a, double b) { return std::abs(a - b) < 1e-9; });
    if (unchanged) {
      state.clipPlanes.push_back(previous[k]);
    } else {
      double n[3];
      vtkMath::Cross(e2, e1, n);
      vtkMath::Normalize(n);
      auto plane = vtkSmartPointer<vtkPlane>::New();
      plane->SetOrigin(c[0], c[1], c[2]);
      plane->SetNormal(n);
      state.clipPlanes.push_back(plane);
    }
    if (k < state.clipMarkerPool.size() && state.clipMarkerPool[k].isValid()) {
      if (!unchanged) state.clipMarkerPool[k]->setGeometry(c, e1, e2, size);
      state.clipMarkerPool[k]->setVisibility(true);
    } else {
      std::array<double, 9> kept;
      std::copy(&v[i], &v[i] + 9, kept.begin());
      state.unmarkedSharedClipPlanes.push_back(kept);
    }
  }
}

// Render thread.
void ApplySharedStateToScene(VRInteractionState& state, const kvg::VRSharedState& shared, vtkRenderer* renderer,
                             OpenVRRenderWindow& window, kvg::DrawableSession* session,
                             const ShareableStateMask& localMask) {
  state.smallestSceneSide = shared.getSceneMinSideLen();
  state.largestSceneSide = shared.getSceneMaxSideLen();
  CreateSeedMarkers(state, shared, renderer, session);
  CreatePlaneSectionMarkers(state, shared, renderer);
  ApplySharedIsoValues(state, shared, window);
  ApplySharedClipPlanes(state, shared);

  const unsigned m = shared.getShareableStateMask();
  const unsigned w = shared.getShareableState();
  const double radius = state.particleRadiusScale;
  localMask.setStateConditionally(m, kvg::SHARE_HUD, w, state.hudShown);
  const bool flyMode = state.flyMode;
  bool flyTarget = flyMode;
  localMask.setStateConditionally(m, kvg::SHARE_FLY_MODE, w, flyTarget);
  if (flyTarget != flyMode) ToggleFlyMode(state);
  localMask.setStateConditionally(m, kvg::SHARE_FLOOR, w, state.floorShown);
  localMask.setStateConditionally(m, kvg::SHARE_PARTICLE_RADIUS, shared.getParticleRadiusScale(),
                                  state.particleRadiusScale);
  localMask.setStateConditionally(m, kvg::SHARE_PARTICLE_SPEED, shared.getParticleStepScale(), state.particleStepScale);
  bool volumes = false;
  if (session) {
    auto& manager = kvg::VolumeRenderingManager::getSingleton(session);
    volumes = manager.getEnableVolRend();
    localMask.setStateConditionally(m, kvg::SHARE_VOLUME_RENDERING, w, volumes);
    manager.setEnableVolRend(volumes);
  }
  if (state.particleRadiusScale != radius) UpdatePointRadii(state, session);

  for (auto& tools : state.toolSets) {
    tools.setPaletteStateBit(1, state.hudShown);
    tools.setPaletteStateBit(2, state.flyMode);
    tools.setPaletteStateBit(8, volumes);
    tools.setPaletteStateBit(4, state.floorShown);
    tools.setPaletteStateBit(16, state.avatarGroup.avatarCount() != 0);
  }
  std::cerr << "Shared scene " << shared.getTimeStamp() << " from " << shared.getID()
            << " applied: seeds " << state.seedMarkers.size() << ", plane sections "
            << state.persistentPlaneSections.size() << ", clip planes " << state.clipPlanes.size()
            << ", iso values " << state.persistentIsoValues.size() << std::endl;
}

// ---- The other participants ----

void ApplyPeerSeeds(VRInteractionState& state, const std::vector<kvg::VRClientState>& clients,
                    kvg::DrawableSession* session) {
  if (!session) return;
  auto& particles = kvg::ParticleAdvectionManager::getSingleton(session);
  particles.clearCollaborativeClientSeeds();
  for (const auto& client : clients) {
    const double* p = client.getSeedPoint();
    double d[3];
    if (p[0] != NO_TOOL && flowAt(particles, p, d)) particles.addCollaborativeClientSeed(p, d);
  }
}

void ApplyPeerPlaneSections(VRInteractionState& state, const std::vector<kvg::VRClientState>& clients) {
  state.peerPlaneSections.clear();
  for (const auto& client : clients) {
    const double* v = client.getPlaneSection();
    if (v[0] != NO_TOOL && isFinite(v, 9)) state.peerPlaneSections.emplace_back(v, v + 3, v + 6);
  }
}

void ApplyPeerIsoValues(VRInteractionState& state, const std::vector<kvg::VRClientState>& clients) {
  state.peerIsoValues.clear();
  for (const auto& client : clients) {
    const auto iso = client.getIsoField();
    if (!iso.first.empty() && iso.second != NO_TOOL) state.peerIsoValues.push_back(iso);
  }
}

void ApplyPeerClipPlanes(VRInteractionState& state, const std::vector<kvg::VRClientState>& clients) {
  state.peerClipPlanes.clear();
  // The others' planes take what the scene's planes, the kept ones and the own interactive one
  // leave of the clip-plane limit.
  const int64_t room = std::max<int64_t>(0, int64_t(state.maxClipPlanes) - state.sceneClipPlaneCount - 1 -
                                                int64_t(state.clipPlanes.size()));
  int refused = 0;
  for (const auto& client : clients) {
    const double* v = client.getClipPlane();
    if (v[0] == NO_TOOL || !isFinite(v, 6)) continue;
    if (int64_t(state.peerClipPlanes.size()) >= room) {
      ++refused;
      continue;
    }
    auto plane = vtkSmartPointer<vtkPlane>::New();
    plane->SetOrigin(v[0], v[1], v[2]);
    plane->SetNormal(v[3], v[4], v[5]);
    state.peerClipPlanes.push_back(plane);
  }
  if (refused != state.refusedPeerClipPlanes && refused > 0)
    std::cerr << "Refused " << refused << " clip planes of other participants beyond the limit of "
              << state.maxClipPlanes << std::endl;
  state.refusedPeerClipPlanes = refused;
}

// Render thread.
void ApplyCollaborativeClientState(VRInteractionState& state, const std::vector<kvg::VRClientState>& clients,
                                   OpenVRRenderWindow& window, kvg::DrawableScene& scene,
                                   const ShareableStateMask& localMask) {
  state.avatarGroup.updateAvatar(clients, &window, scene);
  state.avatarGroup.setShareableStateMask(localMask);
  ApplyPeerSeeds(state, clients, scene.getSession());
  ApplyPeerPlaneSections(state, clients);
  ApplyPeerIsoValues(state, clients);
  ApplyPeerClipPlanes(state, clients);
}

// ---- The own client state ----

void interactivePlaneSectionFrame(const VRInteractionState& state, double out[9]) {
  const kvg::SimplePlaneSection& s = state.interactivePlaneSection;
  if (s.getOrigin()[0] == NO_TOOL) {
    for (int i = 0; i < 9; ++i) out[i] = NO_TOOL;
    return;
  }
  s.getOrigin(out);
  s.getUp(out + 3);
  s.getRight(out + 6);
}

void interactiveClipPlane(const VRInteractionState& state, double out[6]) {
  if (!state.interactiveClipPlane) {
    for (int i = 0; i < 6; ++i) out[i] = NO_TOOL;
    return;
  }
  state.interactiveClipPlane->GetOrigin(out);
  state.interactiveClipPlane->GetNormal(out + 3);
}

namespace {

// What one hand shows, for the avatars of the others.
kvg::VRClientController handRecord(const ControllerInput& input, const ToolSet& tools) {
  kvg::VRClientController h;
  std::memcpy(h.ControllerTrafo, input.pose, sizeof(h.ControllerTrafo));
  h.ControllerTrafo[3] = input.position[0];
  h.ControllerTrafo[7] = input.position[1];
  h.ControllerTrafo[11] = input.position[2];
  h.ControllerState[4] = tools.palettePage();
  h.ControllerState[5] = tools.paletteOverlay();
  h.Flag2 = tools.isPalettePanelVisible();
  h.ControllerState[6] = tools.quickStartPage();
  h.Flag3 = tools.isQuickStartVisible();
  h.ControllerState[7] = tools.toolIconPage(0);
  int icons = 0;
  for (int i = 0; i < 3; ++i)
    if (tools.isToolIconVisible(i)) icons |= 1 << i;
  if (tools.isColorBarVisible()) icons |= 8;
  h.ControllerState[8] = icons;
  h.LaserProps[9] = tools.laserLength();
  const double* d = tools.getLaserDirection();
  for (int i = 0; i < 3; ++i) h.LaserProps[i] = d[i];
  h.Flag1 = tools.isLaserVisible();
  // The laser target: the circle's palette coordinates, or the spot's offset from the
  // controller in the controller's own frame (the transpose of its rotation).
  if (tools.isLaserCircleVisible()) {
    const double* uv = tools.laserCirclePos();
    h.LaserProps[3] = uv[0];
    h.LaserProps[4] = uv[1];
    h.LaserProps[5] = 0.0;
  } else {
    double offset[3];
    tools.laserSpotPosition(offset);
    for (int i = 0; i < 3; ++i)
      h.LaserProps[3 + i] = input.pose[i] * offset[0] + input.pose[4 + i] * offset[1] + input.pose[8 + i] * offset[2];
  }
  double normal[3];
  tools.laserSpotNormal(normal);
  for (int i = 0; i < 3; ++i) h.LaserProps[6 + i] = normal[i];
  h.Flag4 = tools.isLaserSpotVisible() || tools.isLaserCircleVisible();
  for (int j = 0; j < 4; ++j) h.ControllerState[j] = std::max(0, tools.postItPage(j));
  return h;
}

}  // namespace

// Render thread.
void FillClientState(VRInteractionState& state, kvg::VRClientState& client, kvg::DrawableSession* session) {
  double m[16];
  state.CopyPoseMatrixA(m);
  client.setView(m);
  client.setModel(state.modelMatrix);
  client.setCompanionTrafo(state.avatarGroup.getMatrix());
  client.setModelScale(state.modelScale);
  AvatarGroup& group = state.avatarGroup;
  client.setColorID(group.getColorID());
  client.setCompanionID(group.getCompanionID());
  client.setBoxVis(group.isBoxVisible());
  client.setCurrentAvatarColorID(group.currentAvatarColorID());
  client.setNextAvatarColorID(group.nextAvatarColorID());
  client.setPreviousAvatarColorID(group.previousAvatarColorID());
  double seed[3] = {NO_TOOL, NO_TOOL, NO_TOOL};
  if (session) kvg::ParticleAdvectionManager::getSingleton(session).getInteractiveSeedPosition(seed);
  client.setSeedPoint(seed);
  double section[9], clip[6];
  interactivePlaneSectionFrame(state, section);
  client.setPlaneSection(section);
  interactiveClipPlane(state, clip);
  client.setClipPlane(clip);
  client.setIsoField({state.interactiveIsoField, state.interactiveIsoValue});
  client.setSwapLR(state.handsSwapped);
  client.setToolsAngle(GetConfigFinite("toolsAngle", 20.0));
  client.setToolIconSize(GetConfigFinite("toolIconSize", 0.1, true));
  client.setToolsOffset(GetConfigVector3("toolsOffset", {0.0, 0.1, -0.024}).data());
  client.setPaletteOffsetXYZ(GetConfigVector3("paletteOffsetXYZ", {0.0, 0.01, 0.0}).data());
  client.setPaletteAngle(GetConfigFinite("paletteAngle", 40.0));
  client.setPaletteWidth(GetConfigFinite("paletteWidth", 0.2, true));
  client.setPaletteHeight(GetConfigFinite("paletteHeight", 0.288, true));
  for (int hand = 0; hand < 2; ++hand)
    client.setController(handRecord(state.controllerInputs[hand], state.toolSets[hand]), hand == 1);
}

void VRInteractionState::fillClientState(kvg::VRClientState& client, kvg::DrawableSession* session) {
  FillClientState(*this, client, session);
}

void InteractionCollaborativeScene::storeScene(VRInteractionState& state, kvg::VRSharedState& shared,
                                               kvg::DrawableSession* session) {
  StoreSceneInSharedState(state, shared, session);
}

void InteractionCollaborativeScene::applySharedState(VRInteractionState& state, const kvg::VRSharedState& shared,
                                                     vtkRenderer* renderer, OpenVRRenderWindow& window,
                                                     kvg::DrawableSession* session,
                                                     const ShareableStateMask& localMask) {
  ApplySharedStateToScene(state, shared, renderer, window, session, localMask);
}

void InteractionCollaborativeScene::applyClientStates(VRInteractionState& state,
                                                      const std::vector<kvg::VRClientState>& clients,
                                                      OpenVRRenderWindow& window, kvg::DrawableScene& scene,
                                                      const ShareableStateMask& localMask) {
  ApplyCollaborativeClientState(state, clients, window, scene, localMask);
}

void InteractionCollaborativeScene::fillClientState(VRInteractionState& state, kvg::VRClientState& client,
                                                    kvg::DrawableSession* session) {
  state.fillClientState(client, session);
}

void InteractionCollaborativeScene::headPose(const VRInteractionState& state, double pose[16]) {
  state.CopyPoseMatrixA(pose);
}
