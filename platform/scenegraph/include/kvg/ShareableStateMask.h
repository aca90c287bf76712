#pragma once
// Which of the six shareable UI states a participant shares with the others. A received shared
// state carries its sender's mask; a value travels into the local scene only for a state that
// both sides share.
namespace kvg {

enum ShareableState : unsigned {
  SHARE_HUD = 1,
  SHARE_FLY_MODE = 2,
  SHARE_FLOOR = 4,
  SHARE_VOLUME_RENDERING = 8,
  SHARE_PARTICLE_RADIUS = 16,
  SHARE_PARTICLE_SPEED = 32
};

}  // namespace kvg

class ShareableStateMask {
 public:
  static constexpr unsigned ALL = 63;

  // Shares nothing.
  ShareableStateMask() = default;
  ShareableStateMask(bool hud, bool flyMode, bool floor, bool volumeRendering, bool particleRadius,
                     bool particleSpeed);
  // From a mask word; bits above the six states are dropped.
  static ShareableStateMask fromState(unsigned state);

  unsigned getState() const { return _state; }
  // True when every state of other is shared here as well.
  bool contains(const ShareableStateMask& other) const { return (other._state & ~_state) == 0; }
  bool hasField(kvg::ShareableState field) const { return (_state & field) != 0; }

  // Called on the local mask with a received state's mask: writes the received value of field
  // into target only when both this mask and the received mask share field. The word form takes
  // the field's bit out of a word of UI states.
  void setStateConditionally(unsigned receivedMask, kvg::ShareableState field, unsigned receivedWord,
                             bool& target) const;
  void setStateConditionally(unsigned receivedMask, kvg::ShareableState field, double receivedValue,
                             double& target) const;

  bool operator==(const ShareableStateMask& other) const { return _state == other._state; }
  bool operator!=(const ShareableStateMask& other) const { return _state != other._state; }

 private:
  bool shared(unsigned receivedMask, kvg::ShareableState field) const {
    return (_state & field) != 0 && (receivedMask & field) != 0;
  }
  unsigned _state = 0;
};
