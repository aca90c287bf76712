#pragma once
// The other participants of a collaborative session as seen from one render buffer: their
// avatars, the local participant's colour id and state id, the avatar selection of the
// palette buttons and the companion link. A member of each interaction state; used by the
// thread that drives that state (render thread per frame, back-buffer updater at set-up).
//
// Avatars appear when remote client states arrive through the collaborative session; until
// then the group is empty and every query answers for "no avatar".
#include <cstdint>
#include <map>
#include <vector>

#include <vtkSmartPointer.h>

#include "Avatar.h"
#include "VRClientState.h"
#include "kvg/Ptr.h"
#include "kvg/ShareableStateMask.h"

class AvatarContext;
class IconTextureCache;
class IsoValueMarker;
class OpenVRCamera;
class vtkPolyDataMapper;
class OpenVRRenderWindow;
class OpenVRTexture;
class ToolSet;
class vtkImageData;
class VRInteractionState;
struct ControllerInput;
namespace kvg {
class DrawableScene;
}

class AvatarGroup {
 public:
  static constexpr int ColorCount = 16;

  // The cache is borrowed and outlives the group.
  explicit AvatarGroup(IconTextureCache* iconCache);
  ~AvatarGroup();
  AvatarGroup(const AvatarGroup&) = delete;
  AvatarGroup& operator=(const AvatarGroup&) = delete;

  // VR start-up of a session's scene: the local identity, the companion link dropped.
  void setup(uint32_t colorID, int bufferIndex, uint32_t stateID, OpenVRRenderWindow* window);
  // Buffer swap: the link and identity fields of the other group (not its avatars).
  void copySettings(const AvatarGroup& other);

  // Per frame: keeps or drops the companion link and follows the companion.
  void updateAvatarPoses(const ControllerInput inputs[2], double modelMatrix[16], double& modelScale);
  // Shows that avatar's head box while the laser is on it (nothing for an unknown id).
  void highlightAvatar(int stateID);
  // The group's matrix becomes the identity (every frame while the view-reset latch is set).
  void resetMatrix();
  void resetCompanion() { resetMatrix(); }
  const double* getMatrix() const { return _companionMatrix; }
  bool hasCompanion() const { return _hasCompanion; }
  int getCompanionID() const { return _companionID; }
  int getCompanionHand() const { return _companionHand; }

  // True while a participant has this user as its companion (the link icon shows it).
  bool isBoxVisible() const { return _boxVisible; }
  // Other participants' avatars; 0 when alone.
  int avatarCount() const { return int(_avatars.size()); }
  // The avatar of a participant's state id, null when there is none.
  Avatar* avatar(int stateID) const;
  const std::map<int, kvg::Ptr<Avatar>>& avatars() const { return _avatars; }

  // Per frame, with every client state the session's listener holds: an avatar for each new
  // participant, the latest state into each, the avatars of those who left removed.
  void updateAvatar(const std::vector<kvg::VRClientState>& states, OpenVRRenderWindow* window,
                    kvg::DrawableScene& scene);
  void setShareableStateMask(const ShareableStateMask& mask) { _shareMask = mask.getState(); }
  // Per frame: every avatar follows its state, seen by the local user (camera, model, head,
  // controller models of local).
  void updateAvatars(OpenVRRenderWindow* window, kvg::DrawableScene* scene, AvatarContext& local);
  // Iso-value markers lent to avatars and kept for the next ones.
  size_t isoMarkerPoolSize() const { return _isoMarkerPool.size(); }
  // Shows or hides every pooled iso-value marker (iso-value mode switched by a scene change).
  void setIsoMarkersVisible(bool visible);

  uint32_t getColorID() const { return _colorID; }
  uint32_t getStateID() const { return _stateID; }
  // The local participant's colour, and the colour of an id (ids outside 0..15 wrap round).
  const double* currentColor() const;
  const double* colorAt(int colorID) const;
  // Colour ids of the selected avatar and its neighbours, 0 without avatars.
  // The selected avatar; a selection whose participant left moves on to the next one.
  Avatar* currentAvatar();
  int currentAvatarColorID();
  int previousAvatarColorID() const;
  int nextAvatarColorID() const;
  void selectPreviousAvatar();
  void selectNextAvatar();
  int currentAvatarID() const { return _currentAvatarID; }

  // Avatar picking with a controller laser.
  bool isEnabled() const { return _picking; }
  int getMode() const { return _pickingHand; }
  // Laser of the hand against every avatar; highlights the nearest, starts or ends a pick.
  int pickAvatars(const ControllerInput& input, ToolSet& tools, int hand, AvatarHitRecord& hit);
  // Distance of the nearest avatar hit along the hand's laser (the hit filled in); the largest
  // float when nothing is hit or there are no avatars.
  double intersectAvatars(const ControllerInput& input, ToolSet& tools, AvatarHitRecord& hit,
                          const double inverseModel[16]);
  // The selected avatar's pose, null when there is none.
  const double* currentAvatarPose();
  // Moves the local user to the selected avatar; false (nothing changed) without one.
  bool teleportToAvatar(const double* avatarPose, const double headView[16], double modelMatrix[16],
                        double& modelScale);

  // New markers for the pool and every avatar after the marker geometry changed (the tools'
  // angle); the old ones leave "vrModels".
  void rebuildIsoMarkers(OpenVRRenderWindow* window);

  // The palette's linked-state overlay: on each toggle and particle button one link icon per
  // participant who shares that setting with this user, in the participant's colour.
  // Per frame (palette handler): repaints when some avatar's linked settings changed.
  void updateLinkedStates();
  // Set-up: the link icon, a cleared overlay of "linkedOverlayWidth" x "linkedOverlayHeight"
  // and the cached texture "LINKED<bufferIndex>" showing it; then paints.
  void createLinkedOverlays(int bufferIndex);
  // Clears the overlay, draws every avatar's icons and asks the texture for an upload. Nothing
  // is drawn without a link icon or with an overlay too small for one.
  void paintLinkedOverlays();
  OpenVRTexture* linkedOverlayTexture() const;
  vtkImageData* linkedOverlayImage() const;
  vtkImageData* linkIcon() const;

 private:
  double _companionMatrix[16];
  // Inverse of the local model matrix of the last avatar update: scene to room, for picking.
  double _inverseModel[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  double _companionModelScale = 1.0;
  int _companionID = -1;
  double _attachPoint[3] = {0.0, 0.0, 0.0};
  double _attachNormal[3] = {0.0, 0.0, 1.0};
  bool _hasCompanion = false;
  bool _boxVisible = false;
  uint32_t _colorID = 0;
  uint32_t _stateID = 0;
  double _colorTable[ColorCount][3];
  IconTextureCache* _iconCache;
  uint32_t _shareMask = 0;
  int _companionHand = 0;
  int _currentAvatarID = -1;
  bool _picking = false;
  int _pickingHand = 0;
  int _bufferIndex = 0;
  // Linked-state overlay: the icon, the image the texture shows, and per avatar id the last
  // linked-settings value painted.
  vtkSmartPointer<vtkImageData> _linkIcon;
  vtkSmartPointer<vtkImageData> _linkedOverlayImage;
  vtkSmartPointer<OpenVRTexture> _linkedOverlayTexture;
  std::map<int, uint32_t> _linkedSignature;
  std::map<int, kvg::Ptr<Avatar>> _avatars;
  vtkSmartPointer<vtkPolyDataMapper> _headMapper;
  vtkSmartPointer<vtkPolyDataMapper> _inlayMapper;
  // Markers not lent to an avatar; a leaving avatar's marker comes back here.
  std::vector<kvg::Ptr<IsoValueMarker>> _isoMarkerPool;
  OpenVRRenderWindow* _window = nullptr;
  mutable double _currentPose[16];
};
