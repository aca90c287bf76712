#pragma once
// What a received state may bring before it is applied: a participant (or a broken one) may
// send far more items than the program can draw, and every item costs memory and frame time.
// Items beyond these bounds are refused, the others kept as received. Plain functions on the
// listener thread; no state of their own.
#include <cstddef>
#include <string>

#include "VRClientState.h"
#include "kvg/VRSharedState.h"

class ReceivedStateBounds {
 public:
  static constexpr size_t MAX_SEED_POINTS = 256;
  static constexpr size_t MAX_PLANE_SECTIONS = 16;
  // The mapper's clip-plane limit; the scene's own planes and the others' interactive planes
  // take their share of it when the planes are applied.
  static constexpr size_t MAX_CLIP_PLANES = 6;
  static constexpr size_t MAX_ISO_VALUES = 16;
  // Participants whose client states are kept: the service's bound for one scene.
  static constexpr size_t MAX_PARTICIPANTS = 64;

  // Trims the state's lists to the bounds (and drops iso values with over-long field names);
  // what was refused as one phrase ("12 plane sections, 3 iso values"), empty when nothing was.
  static std::string bound(kvg::VRSharedState& state);
  // Drops an iso tool whose field name is longer than any field's; the phrase as above.
  static std::string bound(kvg::VRClientState& state);
};
