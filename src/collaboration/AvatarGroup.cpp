#include "AvatarGroup.h"

#include <vtkDataArray.h>
#include <vtkImageData.h>
#include <vtkImageResize.h>
#include <vtkMatrix4x4.h>
#include <vtkOBJReader.h>
#include <vtkPolyData.h>
#include <vtkPointData.h>
#include <vtkPolyDataMapper.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <iostream>

#include "AvatarContext.h"
#include "Configuration.h"
#include "ControllerInput.h"
#include "FreezablePipeline.h"
#include "IconPreload.h"
#include "IconTextureCache.h"
#include "PaletteImages.h"
#include "PngImage.h"
#include "ToolGeometry.h"
#include "ToolSet.h"
#include "IsoValueMarker.h"
#include "OpenVRCamera.h"
#include "OpenVRRenderWindow.h"
#include "OpenVRTexture.h"
#include "kvg/OpenGLRenderer.h"

namespace {

const unsigned char kColors[AvatarGroup::ColorCount][3] = {
    {50, 50, 50},    {0, 153, 153},   {235, 120, 10},  {0, 100, 135},   {175, 35, 95},   {255, 185, 0},
    {100, 125, 45},  {190, 205, 215}, {85, 160, 185},  {153, 0, 0},     {255, 255, 255}, {100, 25, 70},
    {170, 170, 150}, {170, 180, 20},  {215, 215, 205}, {135, 155, 170}};

// Pool entries made when a group is set up.
constexpr size_t ISO_MARKER_POOL_SIZE = 10;

// A head mesh of the assets folder; an empty mesh, silently, when the file is missing.
vtkSmartPointer<vtkPolyDataMapper> loadMesh(const char* name) {
  auto mapper = vtkSmartPointer<vtkPolyDataMapper>::New();
  const std::string path = getVRAssetsDir() + name;
  if (!std::ifstream(path).good()) {
    mapper->SetInputData(vtkSmartPointer<vtkPolyData>::New());
    return mapper;
  }
  auto reader = vtkSmartPointer<vtkOBJReader>::New();
  reader->SetFileName(path.c_str());
  reader->Update();
  mapper->SetInputConnection(reader->GetOutputPort());
  mapper->Update();
  return mapper;
}

vtkRenderer* modelsRenderer(OpenVRRenderWindow* window) {
  return window ? static_cast<vtkRenderer*>(window->GetLayerRenderer("vrModels")) : nullptr;
}

}  // namespace

AvatarGroup::AvatarGroup(IconTextureCache* iconCache) : _iconCache(iconCache) {
  std::memset(_companionMatrix, 0, sizeof(_companionMatrix));
  for (int i = 0; i < ColorCount; ++i)
    for (int c = 0; c < 3; ++c) _colorTable[i][c] = kColors[i][c] / 255.0;
}

AvatarGroup::~AvatarGroup() = default;

void AvatarGroup::setup(uint32_t colorID, int bufferIndex, uint32_t stateID, OpenVRRenderWindow* window) {
  _stateID = stateID;
  _colorID = colorID;
  _bufferIndex = bufferIndex;
  _window = window;
  if (!_headMapper) {
    _headMapper = loadMesh("openhat.obj");
    _inlayMapper = loadMesh("inlays.obj");
  }
  if (vtkRenderer* models = modelsRenderer(window))
    while (_isoMarkerPool.size() < ISO_MARKER_POOL_SIZE) {
      kvg::Ptr<IsoValueMarker> marker = IsoValueMarker::create(models);
      if (marker.isValid()) marker->setVisibility(false);
      _isoMarkerPool.push_back(marker);
    }
  resetCompanion();
  _boxVisible = false;
  _companionHand = 0;
  createLinkedOverlays(bufferIndex);
}

void AvatarGroup::copySettings(const AvatarGroup& other) {
  if (&other == this) return;
  std::memcpy(_companionMatrix, other._companionMatrix, sizeof(_companionMatrix));
  _companionModelScale = other._companionModelScale;
  _companionID = other._companionID;
  std::memcpy(_attachPoint, other._attachPoint, sizeof(_attachPoint));
  std::memcpy(_attachNormal, other._attachNormal, sizeof(_attachNormal));
  _hasCompanion = other._hasCompanion;
  _boxVisible = other._boxVisible;
  _colorID = other._colorID;
  _stateID = other._stateID;
  _shareMask = other._shareMask;
  _companionHand = other._companionHand;
}

namespace {

bool triggerActive(const ControllerInput& input) { return input.triggerPressed || input.triggerHeld; }

// The laser ends at distance d, with the spot there turned to the hit surface (normal in room
// space; the spot's position is an offset from the controller in room space, its turn in the
// controller's frame).
void showLaserHit(const ControllerInput& input, ToolSet& tools, double d, const double normal[3]) {
  tools.setLaserLength(d);
  tools.setLaserSpotVisible(true);
  const double* l = tools.laserDirection();
  const double along[3] = {d * l[0], d * l[1], d * l[2]};
  double offset[3];
  transformPoint(input, along, offset);
  tools.setLaserSpotPosition(offset);
  const double* r = input.pose;
  double n[3] = {r[0] * normal[0] + r[4] * normal[1] + r[8] * normal[2],
                 r[1] * normal[0] + r[5] * normal[1] + r[9] * normal[2],
                 r[2] * normal[0] + r[6] * normal[1] + r[10] * normal[2]};
  const double length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
  if (!(length > 0.0) || !std::isfinite(length)) return;
  for (double& v : n) v /= length;
  tools.alignLaserSpot(n);
}

// Unit axis of a head-box face: +1 on axis (face mod 3), -1 for faces 3..5.
void faceNormal(int face, double out[3]) {
  out[0] = out[1] = 0.0;
  out[2] = 1.0;
  if (face < 0) return;
  out[2] = 0.0;
  out[face % 3] = face > 2 ? -1.0 : 1.0;
}

// The head box of the avatar in room space: the local model's inverse after the avatar's
// Model x View.
bool headToRoom(const Avatar& avatar, const double inverseModel[16], double out[16]) {
  double head[16];
  avatar.computeCombinedMatrix(head);
  vtkMatrix4x4::Multiply4x4(inverseModel, head, out);
  return isUsablePose(out);
}

}  // namespace

// Render thread. While a trigger stays held the local model repeats every move and zoom of the
// companion's model.
void AvatarGroup::updateAvatarPoses(const ControllerInput inputs[2], double modelMatrix[16], double& modelScale) {
  const int h = _companionHand;
  if (!triggerActive(inputs[h])) {
    if (!triggerActive(inputs[1 - h])) {
      resetCompanion();
      _picking = false;
      return;
    }
    _companionHand = 1 - h;
  }
  if (!_hasCompanion) return;
  const Avatar* companion = avatar(_companionID);
  if (!companion) {
    resetCompanion();
    _picking = false;
    return;
  }
  const double* m = companion->getModelMatrix();
  const double s = companion->getModelScale();
  // A peer's unusable matrix or scale skips the frame; the link holds.
  if (!isUsablePose(m) || !isUsablePose(_companionMatrix) || !(s > 0.0) || !std::isfinite(s) ||
      !(_companionModelScale > 0.0))
    return;
  double inverse[16], x[16], model[16];
  vtkMatrix4x4::Invert(_companionMatrix, inverse);
  vtkMatrix4x4::Multiply4x4(m, inverse, x);
  vtkMatrix4x4::Multiply4x4(x, modelMatrix, model);
  if (!isUsablePose(model)) return;
  std::copy(model, model + 16, modelMatrix);
  modelScale *= s / _companionModelScale;
  std::copy(m, m + 16, _companionMatrix);
  _companionModelScale = s;
}

void AvatarGroup::resetMatrix() {
  std::memset(_companionMatrix, 0, sizeof(_companionMatrix));
  _companionMatrix[0] = _companionMatrix[5] = _companionMatrix[10] = _companionMatrix[15] = 1.0;
  _companionModelScale = 1.0;
  _companionID = -1;
  _hasCompanion = false;
  _attachPoint[0] = _attachPoint[1] = _attachPoint[2] = 0.0;
  _attachNormal[0] = _attachNormal[1] = 0.0;
  _attachNormal[2] = 1.0;
}

const double* AvatarGroup::currentColor() const { return colorAt(static_cast<int>(_colorID)); }

// Ids beyond the table wrap round it, so that peers with ids 16 apart share a colour rather
// than all ids above 15 one colour.
const double* AvatarGroup::colorAt(int colorID) const { return _colorTable[((colorID % ColorCount) + ColorCount) % ColorCount]; }

namespace {

// Keys after / before the id, wrapping round; -1 for an empty map.
template <typename Map>
int nextKey(const Map& map, int id) {
  if (map.empty()) return -1;
  auto it = map.upper_bound(id);
  return it == map.end() ? map.begin()->first : it->first;
}

template <typename Map>
int previousKey(const Map& map, int id) {
  if (map.empty()) return -1;
  auto it = map.lower_bound(id);
  return it == map.begin() ? map.rbegin()->first : std::prev(it)->first;
}

// A colour id as the table shows it: ids from a peer above 15 wrap round, as in colorAt.
int tableColorID(unsigned id) { return int(id % unsigned(AvatarGroup::ColorCount)); }

}  // namespace

Avatar* AvatarGroup::avatar(int stateID) const {
  auto it = _avatars.find(stateID);
  return it == _avatars.end() ? nullptr : it->second.get();
}

Avatar* AvatarGroup::currentAvatar() {
  if (_avatars.empty()) return nullptr;
  if (!avatar(_currentAvatarID)) _currentAvatarID = nextKey(_avatars, _currentAvatarID);
  return avatar(_currentAvatarID);
}

int AvatarGroup::currentAvatarColorID() {
  const Avatar* a = currentAvatar();
  return a ? tableColorID(a->getColorID()) : 0;
}

int AvatarGroup::previousAvatarColorID() const {
  const Avatar* a = avatar(previousKey(_avatars, _currentAvatarID));
  return a ? tableColorID(a->getColorID()) : 0;
}

int AvatarGroup::nextAvatarColorID() const {
  const Avatar* a = avatar(nextKey(_avatars, _currentAvatarID));
  return a ? tableColorID(a->getColorID()) : 0;
}

void AvatarGroup::selectPreviousAvatar() { _currentAvatarID = previousKey(_avatars, _currentAvatarID); }
void AvatarGroup::selectNextAvatar() { _currentAvatarID = nextKey(_avatars, _currentAvatarID); }

const double* AvatarGroup::currentAvatarPose() {
  const Avatar* a = currentAvatar();
  if (!a) return nullptr;
  a->computeCombinedMatrix(_currentPose);
  return _currentPose;
}

// Render thread.
void AvatarGroup::updateAvatar(const std::vector<kvg::VRClientState>& states, OpenVRRenderWindow* window,
                               kvg::DrawableScene& scene) {
  for (auto& entry : _avatars) entry.second->setActive(false);
  _boxVisible = false;
  for (const kvg::VRClientState& state : states) {
    const int id = state.getID();
    kvg::Ptr<Avatar>& slot = _avatars[id];
    if (!slot.isValid()) {
      slot = kvg::Ptr<Avatar>(new Avatar());
      if (_isoMarkerPool.empty()) {
        if (vtkRenderer* models = modelsRenderer(window)) _isoMarkerPool.push_back(IsoValueMarker::create(models));
      }
      kvg::Ptr<IsoValueMarker> marker;
      if (!_isoMarkerPool.empty()) {
        marker = _isoMarkerPool.back();
        _isoMarkerPool.pop_back();
      }
      slot->setupPointers(window, &scene, _headMapper, _inlayMapper, _iconCache, false, this, marker);
      std::cerr << "Avatar " << id << " joined, colour " << state.getColorID() << std::endl;
    }
    slot->setClientState(state);
    slot->setActive(true);
    if (state.getCompanionID() == int(_stateID)) _boxVisible = true;
  }
  for (auto it = _avatars.begin(); it != _avatars.end();) {
    Avatar* a = it->second.get();
    if (a->isActive()) {
      ++it;
      continue;
    }
    a->removeFromRenderWindow(window);
    a->releaseGraphicsResources(window);
    // The marker goes back to the pool, so joins and leaves do not grow it.
    if (a->getIsoValueMarker().isValid()) _isoMarkerPool.push_back(a->getIsoValueMarker());
    a->setIsoValueMarker(nullptr);
    std::cerr << "Avatar " << it->first << " left" << std::endl;
    it = _avatars.erase(it);
  }
  const std::array<double, 3> laser = GetConfigVector3("laserColorRGB", {0.0, 0.37255, 1.0});
  for (auto& entry : _avatars) {
    Avatar* a = entry.second.get();
    const int c = a->getCompanionID();
    if (c == int(_stateID)) {
      a->setLaserColor(currentColor());
      a->setFollowsLocalUser(true);
    } else if (const Avatar* companion = avatar(c)) {
      double rgb[3];
      companion->getColor(rgb);
      a->setLaserColor(rgb);
    } else {
      a->setLaserColor(laser.data());
    }
  }
}

// Render thread.
void AvatarGroup::updateAvatars(OpenVRRenderWindow* window, kvg::DrawableScene* scene, AvatarContext& local) {
  if (_avatars.empty()) return;
  for (auto& marker : _isoMarkerPool)
    if (marker.isValid()) marker->setVisibility(false);
  double model[16], inverse[16];
  local.modelMatrix(model);
  if (!isUsablePose(model)) return;
  vtkMatrix4x4::Invert(model, inverse);
  std::copy(inverse, inverse + 16, _inverseModel);
  for (auto& entry : _avatars) entry.second->updateFromState(window, scene, local, inverse);
}

void AvatarGroup::highlightAvatar(int stateID) {
  if (Avatar* a = avatar(stateID)) a->setBoxVisible(true);
}

// Render thread. The laser of the pointing hand grabs the avatar it meets while the trigger is
// held; afterwards the link holds until the trigger is let go (updateAvatarPoses).
int AvatarGroup::pickAvatars(const ControllerInput& input, ToolSet& tools, int hand, AvatarHitRecord& hit) {
  if (_boxVisible) {
    _picking = false;
    return 0;
  }
  int id = -1;
  if (!_hasCompanion) {
    const double d = intersectAvatars(input, tools, hit, _inverseModel);
    if (d == AvatarHitRecord().distance) {
      resetCompanion();
      _picking = false;
      return 1;
    }
    highlightAvatar(hit.avatarID);
    double local[3], normal[3], x[16];
    faceNormal(hit.face, local);
    if (headToRoom(*avatar(hit.avatarID), _inverseModel, x)) {
      rotateVector(x, local, normal);
      showLaserHit(input, tools, d, normal);
    } else {
      tools.setLaserLength(d);
    }
    if (triggerActive(input)) id = hit.avatarID;
  } else {
    const Avatar* companion = avatar(_companionID);
    if (!companion) {
      resetCompanion();
      _picking = false;
      return 1;
    }
    id = _companionID;
    hit.avatarID = id;
    // The laser stays on the point where it grabbed the head, wherever the head goes.
    highlightAvatar(id);
    double x[16];
    if (headToRoom(*companion, _inverseModel, x)) {
      double point[3], normal[3];
      transformPointByMatrix(_attachPoint, x, point);
      rotateVector(x, _attachNormal, normal);
      const double to[3] = {point[0] - input.position[0], point[1] - input.position[1],
                            point[2] - input.position[2]};
      const double d = std::sqrt(to[0] * to[0] + to[1] * to[1] + to[2] * to[2]);
      if (d > 0.0 && std::isfinite(d)) {
        // Into the controller's frame, where the laser's direction lives.
        const double* r = input.pose;
        const double local[3] = {(r[0] * to[0] + r[4] * to[1] + r[8] * to[2]) / d,
                                 (r[1] * to[0] + r[5] * to[1] + r[9] * to[2]) / d,
                                 (r[2] * to[0] + r[6] * to[1] + r[10] * to[2]) / d};
        tools.setLaserDirection(local);
        showLaserHit(input, tools, d, normal);
      }
    }
  }
  if (id == -1) {
    resetCompanion();
    _picking = false;
    return 1;
  }
  _hasCompanion = true;
  const Avatar* companion = avatar(id);
  if (id != _companionID) {
    _companionID = id;
    std::copy(companion->getModelMatrix(), companion->getModelMatrix() + 16, _companionMatrix);
    _companionModelScale = companion->getModelScale();
    std::copy(hit.point, hit.point + 3, _attachPoint);
    _attachNormal[0] = _attachNormal[1] = _attachNormal[2] = 0.0;
    if (hit.face >= 0) _attachNormal[hit.face % 3] = hit.face > 2 ? -1.0 : 1.0;
  }
  double rgb[3];
  companion->getColor(rgb);
  tools.setLaserColor(rgb);
  tools.setLaserSpotColor(rgb);
  _companionHand = hand;
  // The picking hand points while the pick lasts.
  _pickingHand = hand;
  _picking = true;
  return 1;
}

// Render thread.
double AvatarGroup::intersectAvatars(const ControllerInput& input, ToolSet& tools, AvatarHitRecord& hit,
                                     const double inverseModel[16]) {
  hit = AvatarHitRecord();
  for (const auto& entry : _avatars) {
    AvatarHitRecord candidate;
    if (entry.second->intersectRay(input, tools, candidate, inverseModel) && candidate.distance < hit.distance)
      hit = candidate;
  }
  return hit.distance;
}

// Render thread. The local head lands at the avatar's head, moved by "avatarTeleportationOffset"
// (x right, then the second value down and the third back, in the avatar's head frame).
bool AvatarGroup::teleportToAvatar(const double* avatarPose, const double headView[16], double modelMatrix[16],
                                   double& modelScale) {
  if (!avatarPose || !isUsablePose(avatarPose) || !isUsablePose(headView)) return false;
  const std::array<double, 3> offset = GetConfigVector3("avatarTeleportationOffset", {0.0, -0.7, 0.2});
  const double shift[16] = {1, 0, 0, offset[0], 0, 1, 0, offset[2], 0, 0, 1, -offset[1], 0, 0, 0, 1};
  double t[16], model[16];
  vtkMatrix4x4::Multiply4x4(shift, headView, t);
  vtkMatrix4x4::Multiply4x4(avatarPose, t, model);
  if (!isUsablePose(model)) return false;
  std::copy(model, model + 16, modelMatrix);
  const Avatar* selected = avatar(_currentAvatarID);
  if (selected && selected->getModelScale() > 0.0 && std::isfinite(selected->getModelScale()))
    modelScale = selected->getModelScale();
  return true;
}

// Render thread.
void AvatarGroup::setIsoMarkersVisible(bool visible) {
  for (auto& marker : _isoMarkerPool)
    if (marker.isValid()) marker->setVisibility(visible);
}

// Render thread.
void AvatarGroup::rebuildIsoMarkers(OpenVRRenderWindow* window) {
  vtkRenderer* models = modelsRenderer(window);
  if (!models) return;
  for (auto& marker : _isoMarkerPool)
    if (marker.isValid()) marker->removeFromRenderer(models);
  for (auto& entry : _avatars)
    if (entry.second->getIsoValueMarker().isValid()) entry.second->getIsoValueMarker()->removeFromRenderer(models);
  _isoMarkerPool.clear();
  for (auto& entry : _avatars) {
    kvg::Ptr<IsoValueMarker> marker = IsoValueMarker::create(models);
    if (marker.isValid()) marker->setVisibility(false);
    entry.second->setIsoValueMarker(marker);
  }
  while (_isoMarkerPool.size() + _avatars.size() < ISO_MARKER_POOL_SIZE) {
    kvg::Ptr<IsoValueMarker> marker = IsoValueMarker::create(models);
    if (marker.isValid()) marker->setVisibility(false);
    _isoMarkerPool.push_back(marker);
  }
}

namespace {

// The palette buttons that show linked settings, in painting order: the shareable-state bit,
// the button's key and its default rectangle (x0, x1, y0, y1 as fractions of the palette
// image). Particle radius and speed have a decrease and an increase button each.
struct LinkedButton {
  unsigned bit;
  const char* key;
  PaletteRect defaultRect;
};
const LinkedButton kLinkedButtons[] = {
    {kvg::SHARE_HUD, "uiToggleHUD", {0.0, 0.5, 0.4, 0.6}},
    {kvg::SHARE_FLY_MODE, "uiToggleFlyMode", {0.5, 1.0, 0.4, 0.6}},
    {kvg::SHARE_FLOOR, "uiToggleFloor", {0.0, 0.5, 0.2, 0.4}},
    {kvg::SHARE_VOLUME_RENDERING, "uiToggleVolume", {0.5, 1.0, 0.2, 0.4}},
    {kvg::SHARE_PARTICLE_RADIUS, "uiDecreaseParticleSize", {0.0, 0.5, 0.6, 0.8}},
    {kvg::SHARE_PARTICLE_SPEED, "uiDecreaseParticleSpeed", {0.0, 0.5, 0.8, 1.0}},
    {kvg::SHARE_PARTICLE_RADIUS, "uiIncreaseParticleSize", {0.5, 1.0, 0.6, 0.8}},
    {kvg::SHARE_PARTICLE_SPEED, "uiIncreaseParticleSpeed", {0.5, 1.0, 0.8, 1.0}},
};
constexpr int kLinkedButtonCount = int(sizeof(kLinkedButtons) / sizeof(kLinkedButtons[0]));
constexpr int kLinkIconSide = 48;

// The buttons' bits that both masks share, summed per button (the particle bits twice).
uint32_t linkedValue(unsigned local, unsigned remote) {
  uint32_t value = 0;
  for (const LinkedButton& button : kLinkedButtons)
    if ((local & button.bit) && (remote & button.bit)) value += button.bit;
  return value;
}

bool isRgba8Image(vtkImageData* image) {
  if (!image || image->GetScalarType() != VTK_UNSIGNED_CHAR || image->GetNumberOfScalarComponents() != 4) return false;
  const int* dims = image->GetDimensions();
  return dims[0] > 0 && dims[1] > 0 && image->GetScalarPointer() != nullptr;
}

// "Link2.png" of the assets as 48 x 48 RGBA; an image without pixels when it cannot be read.
vtkSmartPointer<vtkImageData> readLinkIcon() {
  auto icon = vtkSmartPointer<vtkImageData>::New();
  vtkSmartPointer<vtkImageData> png = ReadPngRgba8(getVRAssetsDir() + "Link2.png");
  if (!png) return icon;
  // Set-up may run on a thread whose pipeline updates are frozen between frames.
  RestoreThreadFlag thawed(false);
  auto resize = vtkSmartPointer<vtkImageResize>::New();
  resize->SetInputData(png);
  resize->SetOutputDimensions(kLinkIconSide, kLinkIconSide, 1);
  resize->Update();
  vtkSmartPointer<vtkImageData> rgba = ConvertToRgba8(resize->GetOutput());
  if (rgba) icon->DeepCopy(rgba);
  return icon;
}

// Writes the icon, tinted, with its first pixel at (row0, col0) of the overlay;
// what falls outside the overlay is left out pixel by pixel.
void stampIcon(vtkImageData* icon, vtkImageData* overlay, long row0, long col0, const double color[3]) {
  const int iw = icon->GetDimensions()[0], ih = icon->GetDimensions()[1];
  const int ow = overlay->GetDimensions()[0], oh = overlay->GetDimensions()[1];
  const auto* in = static_cast<const unsigned char*>(icon->GetScalarPointer());
  auto* out = static_cast<unsigned char*>(overlay->GetScalarPointer());
  double tint[3];
  for (int c = 0; c < 3; ++c) tint[c] = std::isfinite(color[c]) ? std::max(0.0, std::min(1.0, color[c])) : 0.0;
  for (int r = 0; r < ih; ++r) {
    const long y = row0 + r;
    if (y < 0) continue;
    if (y >= oh) break;
    for (int c = 0; c < iw; ++c) {
      const long x = col0 + c;
      if (x < 0) continue;
      if (x >= ow) break;
      const unsigned char* src = in + (size_t(r) * iw + c) * 4;
      unsigned char* dst = out + (size_t(y) * ow + x) * 4;
      for (int k = 0; k < 3; ++k) dst[k] = static_cast<unsigned char>(std::trunc(src[k] * tint[k]));
      dst[3] = src[3];
    }
  }
}

}  // namespace

// Render thread, from the palette handler of every frame.
void AvatarGroup::updateLinkedStates() {
  bool changed = false;
  for (const auto& entry : _avatars) {
    const uint32_t value = linkedValue(_shareMask, entry.second->getShareableStateMask());
    auto it = _linkedSignature.find(entry.first);
    if (it != _linkedSignature.end() && it->second == value) continue;
    _linkedSignature[entry.first] = value;
    changed = true;
  }
  // A departed participant's icons go with it.
  for (auto it = _linkedSignature.begin(); it != _linkedSignature.end();) {
    if (_avatars.count(it->first)) {
      ++it;
      continue;
    }
    it = _linkedSignature.erase(it);
    changed = true;
  }
  if (changed) paintLinkedOverlays();
}

// Buffer set-up thread, its context current (the cache may make the texture).
void AvatarGroup::createLinkedOverlays(int bufferIndex) {
  _linkedSignature.clear();
  const int w = GetLinkedOverlayWidth(), h = GetLinkedOverlayHeight();
  _linkIcon = readLinkIcon();
  _linkedOverlayImage = vtkSmartPointer<vtkImageData>::New();
  _linkedOverlayImage->SetDimensions(w, h, 1);
  _linkedOverlayImage->AllocateScalars(VTK_UNSIGNED_CHAR, 4);
  std::memset(_linkedOverlayImage->GetScalarPointer(), 0, size_t(w) * size_t(h) * 4);
  _linkedOverlayTexture = nullptr;
  if (_iconCache) {
    char name[32];
    std::snprintf(name, sizeof(name), "LINKED%d", bufferIndex);
    // A texture made here (none preloaded) takes the overlay's size, not the HUD's.
    SetHudSize(*_iconCache, w, h);
    _iconCache->getTexture(_linkedOverlayTexture, name, 1);
    ReadHudSize(*_iconCache);
    if (_linkedOverlayTexture) _linkedOverlayTexture->SetInputData(_linkedOverlayImage);
  }
  paintLinkedOverlays();
}

void AvatarGroup::paintLinkedOverlays() {
  vtkImageData* overlay = _linkedOverlayImage;
  if (!isRgba8Image(overlay)) return;
  const int ow = overlay->GetDimensions()[0], oh = overlay->GetDimensions()[1];
  std::memset(overlay->GetScalarPointer(), 0, size_t(ow) * size_t(oh) * 4);
  overlay->GetPointData()->GetScalars()->Modified();
  overlay->Modified();

  // Without an icon (missing or unreadable "Link2.png") there is nothing to draw, and its
  // height must not divide anything.
  vtkImageData* icon = _linkIcon;
  const bool hasIcon = isRgba8Image(icon);
  const int iw = hasIcon ? icon->GetDimensions()[0] : 0, ih = hasIcon ? icon->GetDimensions()[1] : 0;
  // Icons per column: a button is a fifth of the palette's height.
  const int perColumn = hasIcon ? int(std::floor((1.0 / (double(ih) / oh)) / 5.0 - 0.01)) : 0;
  if (perColumn > 0) {
    PaletteRect rects[kLinkedButtonCount];
    for (int i = 0; i < kLinkedButtonCount; ++i)
      rects[i] = GetSettingRect(kLinkedButtons[i].key, kLinkedButtons[i].defaultRect);
    int counter[kLinkedButtonCount] = {};
    for (const auto& entry : _avatars) {
      const unsigned remote = entry.second->getShareableStateMask();
      double color[3];
      entry.second->getColor(color);
      for (int i = 0; i < kLinkedButtonCount; ++i) {
        const unsigned bit = kLinkedButtons[i].bit;
        if (!(_shareMask & bit) || !(remote & bit) || counter[i] >= 2 * perColumn) continue;
        const PaletteRect& rect = rects[i];
        int k = counter[i]++;
        double x = rect[0] + 0.01;
        if (k >= perColumn) {
          k -= perColumn;
          x = rect[1] - 0.01 - double(iw) / ow;
        }
        const double row = (rect[2] + 0.01 + k * double(ih) / oh) * (oh - 1);
        const double col = x * (ow - 1);
        // A configured rectangle that puts the icon wholly off the overlay draws nothing.
        if (!(row < oh && row > -ih && col < ow && col > -iw)) continue;
        stampIcon(icon, overlay, long(std::trunc(row)), long(std::trunc(col)), color);
      }
    }
  }
  if (_linkedOverlayTexture) _linkedOverlayTexture->RequestUpload();
}

OpenVRTexture* AvatarGroup::linkedOverlayTexture() const { return _linkedOverlayTexture; }
vtkImageData* AvatarGroup::linkedOverlayImage() const { return _linkedOverlayImage; }
vtkImageData* AvatarGroup::linkIcon() const { return _linkIcon; }
