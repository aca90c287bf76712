#pragma once
// The scene content the participants of a collaborative session share: seed points, plane
// sections, clip planes, iso values, particle scales, the scene's size and the word of shared UI
// states. The time stamp is its version: 0 until one was received; a publisher sends the last
// accepted stamp + 1.
//
// Byte message (little-endian, doubles kept as IEEE doubles, so a round trip is lossless):
//   u8 0 | i32 ID | u32 mask | u32 time stamp | u32 shareable state
//   | f64 particle step scale, particle radius scale, scene min side, scene max side
//   | u32 n, n f64 seed points | u32 n, n f64 plane sections | u32 n, n f64 clip planes
//   | u32 n, n times (u32 name length, name bytes, f64 value) iso values
// A message that ends early, announces more than it holds, or has bytes left over is refused.
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "kvg/VRState.h"

namespace kvg {

class VRSharedState : public VRState {
 public:
  using IsoValue = std::pair<std::string, double>;
  // Longest field name a message may carry.
  static constexpr size_t MAX_NAME_LENGTH = 4096;

  VRSharedState() = default;
  VRSharedState(const VRSharedState&) = default;
  VRSharedState& operator=(const VRSharedState&) = default;
  // Reads a byte message of size bytes; throws std::invalid_argument when it is malformed.
  VRSharedState(const unsigned char* bytes, size_t size);
  ~VRSharedState() override;

  // Reads a byte message into out (replacing all of it); false with a reason when malformed,
  // out then unchanged.
  static bool fromBytes(const unsigned char* bytes, size_t size, VRSharedState& out, std::string* error = nullptr);

  void reset() override;
  void fillProps(Properties& props) const override;
  void fillArray(vtkUnsignedCharArray* array) const override;

  // Content differs; ID, time stamp and mask are not content.
  bool operator!=(const VRSharedState& other) const;
  bool operator==(const VRSharedState& other) const { return !(*this != other); }
  // This becomes equal to other, ID, mask and time stamp included.
  void copyState(const VRSharedState& other) { *this = other; }

  unsigned getTimeStamp() const { return _timeStamp; }
  void setTimeStamp(unsigned stamp) { _timeStamp = stamp; }

  void setSeedPoints(const std::vector<double>& v) { _seedPoints = v; }
  const std::vector<double>& getSeedPoints() const { return _seedPoints; }
  void setPlaneSections(const std::vector<double>& v) { _planeSections = v; }
  const std::vector<double>& getPlaneSections() const { return _planeSections; }
  void setClipPlanes(const std::vector<double>& v) { _clipPlanes = v; }
  const std::vector<double>& getClipPlanes() const { return _clipPlanes; }
  void setIsoValues(const std::vector<IsoValue>& v) { _isoValues = v; }
  const std::vector<IsoValue>& getIsoValues() const { return _isoValues; }
  void setParticleStepScale(double v) { _particleStepScale = v; }
  double getParticleStepScale() const { return _particleStepScale; }
  void setParticleRadiusScale(double v) { _particleRadiusScale = v; }
  double getParticleRadiusScale() const { return _particleRadiusScale; }
  void setSceneMinSideLen(double v) { _sceneMinSideLen = v; }
  double getSceneMinSideLen() const { return _sceneMinSideLen; }
  void setSceneMaxSideLen(double v) { _sceneMaxSideLen = v; }
  double getSceneMaxSideLen() const { return _sceneMaxSideLen; }
  void setShareableState(unsigned word) { _shareableState = word; }
  unsigned getShareableState() const { return _shareableState; }

 private:
  unsigned _timeStamp = 0;
  std::vector<double> _seedPoints;
  std::vector<double> _planeSections;
  std::vector<double> _clipPlanes;
  std::vector<IsoValue> _isoValues;
  double _particleStepScale = 1.0;
  double _particleRadiusScale = 1.0;
  double _sceneMinSideLen = 0.0;
  double _sceneMaxSideLen = 0.0;
  unsigned _shareableState = 0;
};

}  // namespace kvg
