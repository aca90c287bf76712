#include "kvg/ShareableStateMask.h"

ShareableStateMask::ShareableStateMask(bool hud, bool flyMode, bool floor, bool volumeRendering, bool particleRadius,
                                       bool particleSpeed)
    : _state((hud ? kvg::SHARE_HUD : 0u) | (flyMode ? kvg::SHARE_FLY_MODE : 0u) | (floor ? kvg::SHARE_FLOOR : 0u) |
             (volumeRendering ? kvg::SHARE_VOLUME_RENDERING : 0u) |
             (particleRadius ? kvg::SHARE_PARTICLE_RADIUS : 0u) | (particleSpeed ? kvg::SHARE_PARTICLE_SPEED : 0u)) {}

ShareableStateMask ShareableStateMask::fromState(unsigned state) {
  ShareableStateMask mask;
  mask._state = state & ALL;
  return mask;
}

void ShareableStateMask::setStateConditionally(unsigned receivedMask, kvg::ShareableState field, unsigned receivedWord,
                                               bool& target) const {
  if (shared(receivedMask, field)) target = (receivedWord & field) != 0;
}

void ShareableStateMask::setStateConditionally(unsigned receivedMask, kvg::ShareableState field, double receivedValue,
                                               double& target) const {
  if (shared(receivedMask, field)) target = receivedValue;
}
