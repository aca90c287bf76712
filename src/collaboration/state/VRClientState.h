#pragma once
// One participant's personal VR state: head and scene transforms, both hands with their lasers
// and buttons, the tool in use and the palette layout. Sent many times a second in a packed
// little-endian byte form (first byte 1) that every other participant reads back to draw an
// avatar; see fillArray for the layout. Plain data: copies are independent.
#include <cstddef>
#include <string>
#include <utility>

#include "kvg/VRState.h"

namespace kvg {

// One hand: its pose, laser settings, button state and what it shows. The meaning of the
// LaserProps and ControllerState entries belongs to the filler and to the avatar.
struct VRClientController {
  double ControllerTrafo[16] = {};
  double LaserProps[10] = {};
  int ControllerState[9] = {};
  bool Flag1 = false;  // laser beam shown
  bool Flag2 = false;  // palette panel shown
  bool Flag3 = false;  // quick-start panel shown
  bool Flag4 = false;  // laser spot or palette laser circle shown

  // The flags as the byte form packs them: bit 0 Flag2, bit 1 Flag4, bit 2 Flag3, bit 3 Flag1.
  unsigned char flagsByte() const;
  void setFlagsByte(unsigned char flags);
};

class VRClientState : public VRState {
 public:
  // Marks a tool field whose tool is not in use: the most negative finite float, as a double.
  static constexpr double NO_TOOL = -3.4028234663852886e+38;
  // Size of a message with every optional block absent.
  static constexpr size_t FIXED_SIZE = 243;
  // Tool kinds of the byte form.
  enum ToolKind : unsigned char { NoTool = 0, SeedTool = 1, ClipTool = 2, PlaneSectionTool = 3, IsoTool = 4 };
  using IsoFieldValue = std::pair<std::string, double>;

  VRClientState();
  VRClientState(const VRClientState&) = default;
  VRClientState& operator=(const VRClientState&) = default;
  // Reads a byte message of size bytes; throws std::invalid_argument when it is malformed.
  VRClientState(const unsigned char* bytes, size_t size);
  ~VRClientState() override;

  // Reads a byte message into out (replacing all of it). Refused, with a reason and out unchanged:
  // a first byte of 0 (a shared state), a message shorter than its flags, companion and tool kind
  // announce, a negative or oversized iso-name length, and bytes left over at the end.
  static bool fromBytes(const unsigned char* bytes, size_t size, VRClientState& out, std::string* error = nullptr);
  // Exact length of this state's message.
  size_t byteSize() const;
  // The tool that travels: the first of seed point, clip plane, plane section, iso value in use.
  ToolKind toolKind() const;

  void reset() override;
  void fillProps(Properties& props) const override;
  void fillArray(vtkUnsignedCharArray* array) const override;

  void setView(const double m[16]);
  const double* getView() const { return _view; }
  void setModel(const double m[16]);
  const double* getModel() const { return _model; }
  void setCompanionTrafo(const double m[16]);
  const double* getCompanionTrafo() const { return _companionTrafo; }
  // left true selects the left hand.
  void setController(const VRClientController& controller, bool left) { (left ? _left : _right) = controller; }
  const VRClientController& getController(bool left) const { return left ? _left : _right; }
  void setColorID(unsigned id) { _colorID = id; }
  unsigned getColorID() const { return _colorID; }
  void setCurrentAvatarColorID(int id) { _currentAvatarColorID = id; }
  int getCurrentAvatarColorID() const { return _currentAvatarColorID; }
  void setPreviousAvatarColorID(int id) { _previousAvatarColorID = id; }
  int getPreviousAvatarColorID() const { return _previousAvatarColorID; }
  void setNextAvatarColorID(int id) { _nextAvatarColorID = id; }
  int getNextAvatarColorID() const { return _nextAvatarColorID; }
  void setModelScale(double scale) { _modelScale = scale; }
  double getModelScale() const { return _modelScale; }
  void setCompanionID(int id) { _companionID = id; }
  int getCompanionID() const { return _companionID; }
  void setBoxVis(bool visible) { _boxVis = visible; }
  bool getBoxVis() const { return _boxVis; }
  void setSwapLR(bool swap) { _swapLR = swap; }
  bool getSwapLR() const { return _swapLR; }
  void setPlaneSection(const double v[9]);
  const double* getPlaneSection() const { return _planeSection; }
  void setClipPlane(const double v[6]);
  const double* getClipPlane() const { return _clipPlane; }
  void setSeedPoint(const double v[3]);
  const double* getSeedPoint() const { return _seedPoint; }
  // Field name and value of the iso-value tool.
  void setIsoField(const IsoFieldValue& iso) {
    _isoField = iso.first;
    _isoValue = iso.second;
  }
  IsoFieldValue getIsoField() const { return {_isoField, _isoValue}; }
  void setToolsAngle(double v) { _toolsAngle = v; }
  double getToolsAngle() const { return _toolsAngle; }
  void setToolIconSize(double v) { _toolIconSize = v; }
  double getToolIconSize() const { return _toolIconSize; }
  void setPaletteAngle(double v) { _paletteAngle = v; }
  double getPaletteAngle() const { return _paletteAngle; }
  void setPaletteWidth(double v) { _paletteWidth = v; }
  double getPaletteWidth() const { return _paletteWidth; }
  void setPaletteHeight(double v) { _paletteHeight = v; }
  double getPaletteHeight() const { return _paletteHeight; }
  void setToolsOffset(const double v[3]);
  const double* getToolsOffset() const { return _toolsOffset; }
  void setPaletteOffsetXYZ(const double v[3]);
  const double* getPaletteOffsetXYZ() const { return _paletteOffsetXYZ; }

 private:
  void writeBytes(unsigned char* out, size_t size) const;

  double _view[16];
  double _model[16];
  double _companionTrafo[16];
  VRClientController _left;
  VRClientController _right;
  unsigned _colorID;
  int _currentAvatarColorID;
  int _previousAvatarColorID;
  int _nextAvatarColorID;
  double _modelScale;
  int _companionID;
  bool _boxVis;
  bool _swapLR;
  double _planeSection[9];
  double _clipPlane[6];
  double _seedPoint[3];
  std::string _isoField;
  double _isoValue;
  double _toolsAngle;
  double _toolIconSize;
  double _paletteAngle;
  double _paletteWidth;
  double _paletteHeight;
  double _toolsOffset[3];
  double _paletteOffsetXYZ[3];
};

}  // namespace kvg
