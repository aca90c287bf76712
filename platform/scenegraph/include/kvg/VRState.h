#pragma once
// Base of the states participants exchange in a collaborative session: the sender's state id and
// its shareable-state mask, plus the two forms every state has (a property set and one byte
// message). The first byte of a message names its kind: 0 a shared state, 1 a client state.
#include "kvg/Object.h"

class Properties;
class vtkUnsignedCharArray;

namespace kvg {

class VRState : public Object {
 public:
  // First byte of each kind's message.
  static constexpr unsigned char SHARED_STATE_TYPE = 0;
  static constexpr unsigned char CLIENT_STATE_TYPE = 1;

  VRState() = default;
  VRState(const VRState&) = default;
  VRState& operator=(const VRState&) = default;
  ~VRState() override;

  // Back to the defaults: ID 0, empty mask.
  virtual void reset();
  // Writes "ID" and "ShareableStateMask".
  virtual void fillProps(Properties& props) const;
  // Writes the state's byte message into array (one component, one tuple per byte).
  virtual void fillArray(vtkUnsignedCharArray* array) const = 0;

  void setID(int id) { _id = id; }
  int getID() const { return _id; }
  void setShareableStateMask(unsigned mask) { _shareableStateMask = mask; }
  unsigned getShareableStateMask() const { return _shareableStateMask; }

 private:
  int _id = 0;
  unsigned _shareableStateMask = 0;
};

}  // namespace kvg
