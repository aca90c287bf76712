#include "kvg/VRSharedState.h"

#include <vtkUnsignedCharArray.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <stdexcept>

#include "ByteReader.h"
#include "Properties.h"

namespace kvg {

namespace {

class Writer {
 public:
  explicit Writer(std::vector<unsigned char>& out) : _out(out) {}
  void u8(unsigned char v) { _out.push_back(v); }
  void u32(uint32_t v) {
    for (int i = 0; i < 4; ++i) _out.push_back((unsigned char)(v >> (8 * i)));
  }
  void f64(double v) {
    uint64_t bits;
    std::memcpy(&bits, &v, 8);
    for (int i = 0; i < 8; ++i) _out.push_back((unsigned char)(bits >> (8 * i)));
  }
  void doubles(const std::vector<double>& v) {
    u32(uint32_t(v.size()));
    for (double d : v) f64(d);
  }

 private:
  std::vector<unsigned char>& _out;
};

// The shared state's compound fields on top of the checked reads.
class Reader : public ByteReader {
 public:
  using ByteReader::ByteReader;
  // A count of 8-byte values: refused before anything is allocated when the rest cannot hold it.
  bool doubles(std::vector<double>& v, const char* what) {
    uint32_t n = u32(what);
    if (!ok()) return false;
    if (n > _left / 8) {
      _error = std::string("the count of ") + what + " exceeds the message";
      return false;
    }
    v.resize(n);
    for (double& d : v) d = f64(what);
    return ok();
  }
};

// Two doubles are the same content when equal, or both NaN (a NaN must not count as a change
// every frame).
bool same(double a, double b) { return a == b || (a != a && b != b); }

bool same(const std::vector<double>& a, const std::vector<double>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (!same(a[i], b[i])) return false;
  return true;
}

}  // namespace

VRSharedState::VRSharedState(const unsigned char* bytes, size_t size) {
  std::string error;
  if (!fromBytes(bytes, size, *this, &error)) throw std::invalid_argument("shared state: " + error);
}

VRSharedState::~VRSharedState() = default;

bool VRSharedState::fromBytes(const unsigned char* bytes, size_t size, VRSharedState& out, std::string* error) {
  Reader r(bytes, size);
  VRSharedState s;
  unsigned char type = r.u8("the type");
  if (r.ok() && type != SHARED_STATE_TYPE) r.fail("the message is no shared state");
  s.setID(int32_t(r.u32("the ID")));
  s.setShareableStateMask(r.u32("the mask"));
  s._timeStamp = r.u32("the time stamp");
  s._shareableState = r.u32("the shareable state");
  s._particleStepScale = r.f64("the particle step scale");
  s._particleRadiusScale = r.f64("the particle radius scale");
  s._sceneMinSideLen = r.f64("the scene size");
  s._sceneMaxSideLen = r.f64("the scene size");
  r.doubles(s._seedPoints, "seed points");
  r.doubles(s._planeSections, "plane sections");
  r.doubles(s._clipPlanes, "clip planes");
  uint32_t isoCount = r.u32("the iso values");
  // Each iso value needs at least 12 bytes.
  if (r.ok() && isoCount > r.left() / 12) r.fail("the count of iso values exceeds the message");
  for (uint32_t i = 0; r.ok() && i < isoCount; ++i) {
    uint32_t n = r.u32("an iso-value name");
    if (r.ok() && n > MAX_NAME_LENGTH) r.fail("an iso-value name is longer than " + std::to_string(MAX_NAME_LENGTH));
    std::string name = r.text(n, "an iso-value name");
    double value = r.f64("an iso value");
    s._isoValues.emplace_back(std::move(name), value);
  }
  if (r.ok() && r.left() != 0) r.fail(std::to_string(r.left()) + " bytes follow the shared state");
  if (!r.ok()) {
    if (error) *error = r.error();
    return false;
  }
  out = std::move(s);
  return true;
}

void VRSharedState::reset() {
  VRState::reset();
  *this = VRSharedState();
}

void VRSharedState::fillProps(Properties& props) const {
  VRState::fillProps(props);
  props.set("IsClient", false);
  props.set("TimeStamp", int64_t(_timeStamp));
  props.set("SeedPoints", _seedPoints);
  props.set("PlaneSections", _planeSections);
  props.set("ClipPlanes", _clipPlanes);
  std::vector<std::string> names;
  std::vector<double> values;
  for (const IsoValue& iso : _isoValues) {
    names.push_back(iso.first);
    values.push_back(iso.second);
  }
  props.set("IsoFields", names);
  props.set("IsoValues", values);
  props.set("ParticleStepScale", _particleStepScale);
  props.set("ParticleRadiusScale", _particleRadiusScale);
  props.set("SceneMinSideLen", _sceneMinSideLen);
  props.set("SceneMaxSideLen", _sceneMaxSideLen);
  props.set("ShareableState", int64_t(_shareableState));
}

void VRSharedState::fillArray(vtkUnsignedCharArray* array) const {
  std::vector<unsigned char> bytes;
  bytes.reserve(64 + 8 * (_seedPoints.size() + _planeSections.size() + _clipPlanes.size() + 2 * _isoValues.size()));
  Writer w(bytes);
  w.u8(SHARED_STATE_TYPE);
  w.u32(uint32_t(getID()));
  w.u32(getShareableStateMask());
  w.u32(_timeStamp);
  w.u32(_shareableState);
  w.f64(_particleStepScale);
  w.f64(_particleRadiusScale);
  w.f64(_sceneMinSideLen);
  w.f64(_sceneMaxSideLen);
  w.doubles(_seedPoints);
  w.doubles(_planeSections);
  w.doubles(_clipPlanes);
  w.u32(uint32_t(_isoValues.size()));
  for (const IsoValue& iso : _isoValues) {
    // A longer name would make a message no reader accepts: cut it to the limit.
    size_t n = std::min(iso.first.size(), MAX_NAME_LENGTH);
    w.u32(uint32_t(n));
    bytes.insert(bytes.end(), iso.first.begin(), iso.first.begin() + n);
    w.f64(iso.second);
  }
  if (array->GetNumberOfComponents() != 1 || array->GetNumberOfTuples() != vtkIdType(bytes.size())) {
    array->SetNumberOfComponents(1);
    array->SetNumberOfTuples(vtkIdType(bytes.size()));
  }
  std::memcpy(array->GetPointer(0), bytes.data(), bytes.size());
}

bool VRSharedState::operator!=(const VRSharedState& other) const {
  if (!same(_seedPoints, other._seedPoints) || !same(_planeSections, other._planeSections) ||
      !same(_clipPlanes, other._clipPlanes))
    return true;
  if (_isoValues.size() != other._isoValues.size()) return true;
  for (size_t i = 0; i < _isoValues.size(); ++i)
    if (_isoValues[i].first != other._isoValues[i].first || !same(_isoValues[i].second, other._isoValues[i].second))
      return true;
  return !same(_particleStepScale, other._particleStepScale) ||
         !same(_particleRadiusScale, other._particleRadiusScale) || !same(_sceneMinSideLen, other._sceneMinSideLen) ||
         !same(_sceneMaxSideLen, other._sceneMaxSideLen) || _shareableState != other._shareableState;
}

}  // namespace kvg
