#include "VRClientState.h"

#include <vtkUnsignedCharArray.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "ByteReader.h"
#include "Properties.h"

namespace kvg {

namespace {

constexpr unsigned char FLAG2_BIT = 1, FLAG4_BIT = 2, FLAG3_BIT = 4, FLAG1_BIT = 8;
// Order of the ControllerState entries in each hand's fixed group.
constexpr int FIXED_STATE_ORDER[6] = {7, 8, 0, 1, 2, 3};

class Writer {
 public:
  explicit Writer(unsigned char* out) : _p(out) {}
  void u8(unsigned char v) { *_p++ = v; }
  void i32(int32_t value) {
    uint32_t v = uint32_t(value);
    for (int i = 0; i < 4; ++i) *_p++ = (unsigned char)(v >> (8 * i));
  }
  void f32(double value) {
    float f = float(value);
    uint32_t v;
    std::memcpy(&v, &f, 4);
    for (int i = 0; i < 4; ++i) *_p++ = (unsigned char)(v >> (8 * i));
  }
  void f32s(const double* values, int n) {
    for (int i = 0; i < n; ++i) f32(values[i]);
  }
  void bytes(const std::string& s) {
    std::memcpy(_p, s.data(), s.size());
    _p += s.size();
  }
  unsigned char* position() const { return _p; }

 private:
  unsigned char* _p;
};

// The client state's compound fields on top of the checked reads.
class Reader : public ByteReader {
 public:
  using ByteReader::ByteReader;
  void f32s(double* values, int n, const char* what) {
    for (int i = 0; i < n; ++i) values[i] = f32(what);
  }
  // Three rows of a row-major matrix; the fourth becomes 0, 0, 0, 1.
  void matrix(double* m, const char* what) {
    f32s(m, 12, what);
    m[12] = m[13] = m[14] = 0.0;
    m[15] = 1.0;
  }
};

bool anyFlag2(const VRClientController& l, const VRClientController& r) { return l.Flag2 || r.Flag2; }
bool anyPalette(const VRClientController& l, const VRClientController& r) {
  return l.Flag2 || l.Flag3 || r.Flag2 || r.Flag3;
}
bool sendsLaser(const VRClientController& c) { return c.Flag1 || c.Flag4; }

}  // namespace

unsigned char VRClientController::flagsByte() const {
  return (Flag2 ? FLAG2_BIT : 0) | (Flag4 ? FLAG4_BIT : 0) | (Flag3 ? FLAG3_BIT : 0) | (Flag1 ? FLAG1_BIT : 0);
}

void VRClientController::setFlagsByte(unsigned char flags) {
  Flag2 = flags & FLAG2_BIT;
  Flag4 = flags & FLAG4_BIT;
  Flag3 = flags & FLAG3_BIT;
  Flag1 = flags & FLAG1_BIT;
}

VRClientState::VRClientState() { reset(); }

VRClientState::VRClientState(const unsigned char* bytes, size_t size) {
  std::string error;
  if (!fromBytes(bytes, size, *this, &error)) throw std::invalid_argument("client state: " + error);
}

VRClientState::~VRClientState() = default;

void VRClientState::reset() {
  VRState::reset();
  std::fill(std::begin(_view), std::end(_view), 0.0);
  std::fill(std::begin(_model), std::end(_model), 0.0);
  std::fill(std::begin(_companionTrafo), std::end(_companionTrafo), 0.0);
  _left = VRClientController();
  _right = VRClientController();
  _colorID = 0;
  _currentAvatarColorID = _previousAvatarColorID = _nextAvatarColorID = 0;
  _modelScale = 1.0;
  _companionID = -1;
  _boxVis = _swapLR = false;
  std::fill(std::begin(_planeSection), std::end(_planeSection), 0.0);
  std::fill(std::begin(_clipPlane), std::end(_clipPlane), 0.0);
  std::fill(std::begin(_seedPoint), std::end(_seedPoint), 0.0);
  _isoField.clear();
  _isoValue = 0.0;
  _toolsAngle = _toolIconSize = _paletteAngle = _paletteWidth = _paletteHeight = 0.0;
  std::fill(std::begin(_toolsOffset), std::end(_toolsOffset), 0.0);
  std::fill(std::begin(_paletteOffsetXYZ), std::end(_paletteOffsetXYZ), 0.0);
}

void VRClientState::setView(const double m[16]) { std::copy(m, m + 16, _view); }
void VRClientState::setModel(const double m[16]) { std::copy(m, m + 16, _model); }
void VRClientState::setCompanionTrafo(const double m[16]) { std::copy(m, m + 16, _companionTrafo); }
void VRClientState::setPlaneSection(const double v[9]) { std::copy(v, v + 9, _planeSection); }
void VRClientState::setClipPlane(const double v[6]) { std::copy(v, v + 6, _clipPlane); }
void VRClientState::setSeedPoint(const double v[3]) { std::copy(v, v + 3, _seedPoint); }
void VRClientState::setToolsOffset(const double v[3]) { std::copy(v, v + 3, _toolsOffset); }
void VRClientState::setPaletteOffsetXYZ(const double v[3]) { std::copy(v, v + 3, _paletteOffsetXYZ); }

VRClientState::ToolKind VRClientState::toolKind() const {
  if (_seedPoint[0] != NO_TOOL) return SeedTool;
  if (_clipPlane[0] != NO_TOOL) return ClipTool;
  if (_planeSection[0] != NO_TOOL) return PlaneSectionTool;
  if (!_isoField.empty() && _isoValue != NO_TOOL) return IsoTool;
  return NoTool;
}

size_t VRClientState::byteSize() const {
  size_t size = FIXED_SIZE;
  for (const VRClientController* c : {&_left, &_right}) {
    if (c->Flag2) size += 2;
    if (c->Flag3) size += 1;
    if (sendsLaser(*c)) size += 40;
  }
  if (anyFlag2(_left, _right)) size += 3;
  if (anyPalette(_left, _right)) size += 24;
  if (_companionID >= 0) size += 48;
  switch (toolKind()) {
    case SeedTool: size += 12; break;
    case ClipTool: size += 24; break;
    case PlaneSectionTool: size += 36; break;
    case IsoTool: size += 8 + _isoField.size(); break;
    default: break;
  }
  return size;
}

void VRClientState::writeBytes(unsigned char* out, size_t size) const {
  Writer w(out);
  w.u8(CLIENT_STATE_TYPE);
  for (const VRClientController* c : {&_left, &_right}) {
    w.u8(c->flagsByte());
    for (int index : FIXED_STATE_ORDER) w.u8((unsigned char)c->ControllerState[index]);
    if (c->Flag2) {
      w.u8((unsigned char)c->ControllerState[4]);
      w.u8((unsigned char)c->ControllerState[5]);
    }
    if (c->Flag3) w.u8((unsigned char)c->ControllerState[6]);
  }
  w.u8((unsigned char)getShareableStateMask());
  w.u8((unsigned char)_colorID);
  w.u8((_boxVis ? 1 : 0) | (_swapLR ? 2 : 0));
  const ToolKind kind = toolKind();
  w.u8(kind);
  if (anyFlag2(_left, _right)) {
    w.u8((unsigned char)_currentAvatarColorID);
    w.u8((unsigned char)_previousAvatarColorID);
    w.u8((unsigned char)_nextAvatarColorID);
  }
  w.i32(getID());
  w.i32(_companionID);
  w.f32(_modelScale);
  w.f32s(_model, 12);
  w.f32s(_view, 12);
  if (_companionID >= 0) w.f32s(_companionTrafo, 12);
  w.f32(_toolsAngle);
  w.f32(_toolIconSize);
  w.f32s(_toolsOffset, 3);
  if (anyPalette(_left, _right)) {
    w.f32(_paletteAngle);
    w.f32(_paletteWidth);
    w.f32(_paletteHeight);
    w.f32s(_paletteOffsetXYZ, 3);
  }
  for (const VRClientController* c : {&_left, &_right}) {
    w.f32s(c->ControllerTrafo, 12);
    if (sendsLaser(*c)) w.f32s(c->LaserProps, 10);
  }
  switch (kind) {
    case SeedTool: w.f32s(_seedPoint, 3); break;
    case ClipTool: w.f32s(_clipPlane, 6); break;
    case PlaneSectionTool: w.f32s(_planeSection, 9); break;
    case IsoTool:
      w.f32(_isoValue);
      w.i32(int32_t(_isoField.size()));
      w.bytes(_isoField);
      break;
    default: break;
  }
  if (size_t(w.position() - out) != size) throw std::logic_error("client state: byte size mismatch");
}

void VRClientState::fillArray(vtkUnsignedCharArray* array) const {
  const size_t size = byteSize();
  if (array->GetNumberOfComponents() != 1 || array->GetNumberOfTuples() != vtkIdType(size)) {
    array->SetNumberOfComponents(1);
    array->SetNumberOfTuples(vtkIdType(size));
  }
  writeBytes(array->GetPointer(0), size);
}

bool VRClientState::fromBytes(const unsigned char* bytes, size_t size, VRClientState& out, std::string* error) {
  Reader r(bytes, size);
  VRClientState s;
  std::fill(std::begin(s._seedPoint), std::end(s._seedPoint), NO_TOOL);
  std::fill(std::begin(s._clipPlane), std::end(s._clipPlane), NO_TOOL);
  std::fill(std::begin(s._planeSection), std::end(s._planeSection), NO_TOOL);
  s._isoValue = NO_TOOL;

  const unsigned char type = r.u8("the type");
  if (r.ok() && type == SHARED_STATE_TYPE) r.fail("the message is no client state");
  for (VRClientController* c : {&s._left, &s._right}) {
    c->setFlagsByte(r.u8("a hand's flags"));
    for (int index : FIXED_STATE_ORDER) c->ControllerState[index] = r.u8("a hand's state");
    if (c->Flag2) {
      c->ControllerState[4] = r.u8("a hand's palette state");
      c->ControllerState[5] = r.u8("a hand's palette state");
    }
    if (c->Flag3) c->ControllerState[6] = r.u8("a hand's quick-start state");
  }
  s.setShareableStateMask(r.u8("the mask"));
  s._colorID = r.u8("the colour id");
  const unsigned char box = r.u8("the box flags");
  s._boxVis = box & 1;
  s._swapLR = box & 2;
  const unsigned char kind = r.u8("the tool kind");
  if (anyFlag2(s._left, s._right)) {
    s._currentAvatarColorID = r.u8("the avatar colour ids");
    s._previousAvatarColorID = r.u8("the avatar colour ids");
    s._nextAvatarColorID = r.u8("the avatar colour ids");
  }
  s.setID(r.i32("the ID"));
  s._companionID = r.i32("the companion ID");
  s._modelScale = r.f32("the model scale");
  r.matrix(s._model, "the model matrix");
  r.matrix(s._view, "the view matrix");
  if (s._companionID >= 0) r.matrix(s._companionTrafo, "the companion matrix");
  s._toolsAngle = r.f32("the tool layout");
  s._toolIconSize = r.f32("the tool layout");
  r.f32s(s._toolsOffset, 3, "the tool layout");
  if (anyPalette(s._left, s._right)) {
    s._paletteAngle = r.f32("the palette layout");
    s._paletteWidth = r.f32("the palette layout");
    s._paletteHeight = r.f32("the palette layout");
    r.f32s(s._paletteOffsetXYZ, 3, "the palette layout");
  }
  for (VRClientController* c : {&s._left, &s._right}) {
    r.matrix(c->ControllerTrafo, "a controller matrix");
    if (sendsLaser(*c)) r.f32s(c->LaserProps, 10, "a hand's laser");
  }
  switch (kind) {
    case SeedTool: r.f32s(s._seedPoint, 3, "the seed point"); break;
    case ClipTool: r.f32s(s._clipPlane, 6, "the clip plane"); break;
    case PlaneSectionTool: r.f32s(s._planeSection, 9, "the plane section"); break;
    case IsoTool: {
      s._isoValue = r.f32("the iso value");
      const int32_t n = r.i32("the iso-field length");
      if (r.ok() && n < 0) r.fail("a negative iso-field length");
      if (r.ok() && size_t(n) > r.left()) r.fail("the iso-field length exceeds the message");
      if (r.ok()) s._isoField = r.text(size_t(n), "the iso field");
      break;
    }
    default: break;  // no payload
  }
  if (r.ok() && r.left() != 0) r.fail(std::to_string(r.left()) + " bytes follow the client state");
  if (!r.ok()) {
    if (error) *error = r.error();
    return false;
  }
  out = std::move(s);
  return true;
}

void VRClientState::fillProps(Properties& props) const {
  VRState::fillProps(props);
  auto list = [](const double* v, int n) { return std::vector<double>(v, v + n); };
  props.set("IsClient", true);
  props.set("View", list(_view, 16));
  props.set("Model", list(_model, 16));
  props.set("ModelScale", _modelScale);
  props.set("ClipPlane", list(_clipPlane, 6));
  props.set("PlaneSection", list(_planeSection, 9));
  props.set("SeedPoint", list(_seedPoint, 3));
  props.set("IsoField", _isoField);
  props.set("IsoValue", _isoValue);
  for (const char* prefix : {"Left", "Right"}) {
    const VRClientController& c = prefix[0] == 'L' ? _left : _right;
    props.set(std::string(prefix) + "ControllerTrafo", list(c.ControllerTrafo, 16));
    props.set(std::string(prefix) + "LaserProps", list(c.LaserProps, 10));
    std::vector<double> state(c.ControllerState, c.ControllerState + 9);
    state.push_back(c.flagsByte());
    props.set(std::string(prefix) + "ControllerState", state);
  }
  props.set("ColorID", int64_t(_colorID));
  props.set("CompanionID", _companionID);
  props.set("CompanionTrafo", list(_companionTrafo, 16));
  props.set("BoxVis", _boxVis);
  props.set("SwapLR", _swapLR);
  props.set("ToolsAngle", _toolsAngle);
  props.set("ToolIconSize", _toolIconSize);
  props.set("PaletteAngle", _paletteAngle);
  props.set("PaletteWidth", _paletteWidth);
  props.set("PaletteHeight", _paletteHeight);
  props.set("ToolsOffset", list(_toolsOffset, 3));
  props.set("PaletteOffsetXYZ", list(_paletteOffsetXYZ, 3));
}

}  // namespace kvg
