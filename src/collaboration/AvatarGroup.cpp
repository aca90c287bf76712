#include "AvatarGroup.h"

#include <algorithm>
#include <cstring>

#include "OpenVRTexture.h"

namespace {

const unsigned char kColors[AvatarGroup::ColorCount][3] = {
    {50, 50, 50},    {0, 153, 153},   {235, 120, 10},  {0, 100, 135},   {175, 35, 95},   {255, 185, 0},
    {100, 125, 45},  {190, 205, 215}, {85, 160, 185},  {153, 0, 0},     {255, 255, 255}, {100, 25, 70},
    {170, 170, 150}, {170, 180, 20},  {215, 215, 205}, {135, 155, 170}};

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
  resetCompanion();
  _boxVisible = false;
  _companionHand = 0;
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

void AvatarGroup::updateAvatarPoses(const ControllerInput inputs[2], double modelMatrix[16], double& modelScale) {
  // Without avatars there is no companion to follow.
  _hasCompanion = false;
  _companionID = -1;
}

void AvatarGroup::resetMatrix() {
  std::memset(_companionMatrix, 0, sizeof(_companionMatrix));
  _companionMatrix[0] = _companionMatrix[5] = _companionMatrix[10] = _companionMatrix[15] = 1.0;
  _companionModelScale = 1.0;
  _companionID = -1;
  _hasCompanion = false;
}

const double* AvatarGroup::currentColor() const { return colorAt(static_cast<int>(_colorID)); }

const double* AvatarGroup::colorAt(int colorID) const {
  return _colorTable[std::max(0, std::min(ColorCount - 1, colorID))];
}

int AvatarGroup::currentAvatarColorID() { return 0; }
int AvatarGroup::previousAvatarColorID() const { return 0; }
int AvatarGroup::nextAvatarColorID() const { return 0; }
void AvatarGroup::selectPreviousAvatar() { _currentAvatarID = -1; }
void AvatarGroup::selectNextAvatar() { _currentAvatarID = -1; }

int AvatarGroup::pickAvatars(const ControllerInput& input, ToolSet& tools, int hand, AvatarHitRecord& hit) {
  _picking = false;
  return 0;
}

double AvatarGroup::intersectAvatars(const ControllerInput& input, ToolSet& tools, AvatarHitRecord& hit,
                                     const double inverseModel[16]) {
  hit = AvatarHitRecord();
  return hit.distance;
}

bool AvatarGroup::teleportToAvatar(const double* avatarPose, const double headView[16], double modelMatrix[16],
                                   double& modelScale) {
  return false;
}

void AvatarGroup::updateLinkedStates() {}

OpenVRTexture* AvatarGroup::linkedOverlayTexture() const { return _linkedOverlayTexture; }

void AvatarGroup::setScene(OpenVRRenderWindow* window) {}

void AvatarGroup::updateAvatars(OpenVRRenderWindow* window, kvg::DrawableScene& scene, VRInteractionState& state) {}
