#include "kvg/VRState.h"

#include "Properties.h"

namespace kvg {

VRState::~VRState() = default;

void VRState::reset() {
  _id = 0;
  _shareableStateMask = 0;
}

void VRState::fillProps(Properties& props) const {
  props.set("ID", _id);
  props.set("ShareableStateMask", int64_t(_shareableStateMask));
}

}  // namespace kvg
