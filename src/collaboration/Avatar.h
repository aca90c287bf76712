#pragma once
// One other participant of a shared scene as the local user sees it: a head model whose visor
// inlays carry the participant's colour, placed where the participant's head is. Follows the
// participant's latest client state, of which it keeps a copy. Owned by an AvatarGroup; render
// thread only.
#include <vtkSmartPointer.h>

#include "IsoValueMarker.h"
#include "VRClientState.h"
#include "kvg/Object.h"
#include "kvg/Ptr.h"

class AvatarGroup;
class ToolSet;
struct ControllerInput;
class OpenVRActor;
class OpenVRCamera;
class OpenVRRenderWindow;
class vtkPolyDataMapper;
class vtkRenderer;
class vtkWindow;

// What a controller laser hit among the avatars.
struct AvatarHitRecord {
  double distance = 3.4028234663852886e38;  // along the laser; the largest float for no hit
  double point[3] = {0.0, 0.0, 0.0};
  int face = -1;       // face of the avatar's box that was hit
  int avatarID = -1;   // state id of the avatar hit
};

// The head of one avatar: the shell and the inlays, sharing the group's meshes.
class HMDRepresentation : public kvg::Object {
 public:
  HMDRepresentation();
  ~HMDRepresentation() override;
  // Both actors with their mesh into the renderer; bounds become the union of the meshes'.
  void setModels(vtkRenderer* renderer, vtkPolyDataMapper* headMapper, vtkPolyDataMapper* inlayMapper);
  void setUserMatrix(const double m[16]);
  // Diffuse and ambient colour of the inlays; the shell keeps its material.
  void setColor(const double rgb[3]);
  void getBoundsCorners(double corners[8][4]) const;
  // Below 1 the head is drawn translucent and without depth test.
  void setOpacity(double a);
  void setVisible(bool visible);
  bool isVisible() const;
  bool isOccluded() const;
  void removeFromRenderer(vtkRenderer* renderer);
  void releaseGraphicsResources(vtkWindow* window);
  OpenVRActor* headActor() const { return _head; }
  OpenVRActor* inlayActor() const { return _inlay; }
  const double* bounds() const { return _bounds; }

 private:
  OpenVRActor* _head;
  OpenVRActor* _inlay;
  double _bounds[6];
  vtkSmartPointer<vtkPolyDataMapper> _headMapper;
  vtkSmartPointer<vtkPolyDataMapper> _inlayMapper;
};

class Avatar : public kvg::Object {
 public:
  Avatar();
  ~Avatar() override;
  Avatar(const Avatar&) = delete;
  Avatar& operator=(const Avatar&) = delete;

  // Once after construction: the head into the window's "vrModels" renderer.
  void setupPointers(OpenVRRenderWindow* window, vtkPolyDataMapper* headMapper, vtkPolyDataMapper* inlayMapper,
                     AvatarGroup* group);
  // A member-wise copy of the participant's latest state; clears followsLocalUser.
  void setClientState(const kvg::VRClientState& state);
  const kvg::VRClientState& getClientState() const { return _state; }
  // Per frame, from the local model matrix, its inverse and the local head pose (tracking space).
  // False when the participant's matrices are not finite or singular: nothing changes this frame.
  bool updateFromState(OpenVRCamera* camera, const double localModel[16], const double inverseModel[16],
                       const double localHead[16]);

  void setActive(bool active) { _active = active; }
  bool isActive() const { return _active; }
  void setLaserColor(const double rgb[3]);
  const double* getLaserColor() const { return _laserColor; }
  void setFollowsLocalUser(bool follows) { _followsLocalUser = follows; }
  bool followsLocalUser() const { return _followsLocalUser; }

  // Entry ColorID of the group's table (ids above it read as its last entry); black without a group.
  void getColor(double rgb[3]) const;
  unsigned getColorID() const { return _state.getColorID(); }
  double getModelScale() const { return _state.getModelScale(); }
  int getCompanionID() const { return _state.getCompanionID(); }
  const double* getModelMatrix() const { return _state.getModel(); }
  unsigned getShareableStateMask() const { return _state.getShareableStateMask(); }
  // Model · View of the state: the participant's head in scene coordinates.
  void computeCombinedMatrix(double out[16]) const;

  // The iso-value marker lent by the group (hidden until the colour bar asks for it).
  void setIsoValueMarker(const kvg::Ptr<IsoValueMarker>& marker) { _isoMarker = marker; }
  const kvg::Ptr<IsoValueMarker>& getIsoValueMarker() const { return _isoMarker; }
  void setIsoValueMarkerVisible(bool visible);

  // The hand's laser against the head box (grown by 0.1 % of its width), with A the matrix from
  // scene to the caller's frame (the group passes the inverse local model). Fills hit on any
  // overlap of the ray's line with the box; true when the hit lies ahead of the controller.
  bool intersectRay(const ControllerInput& input, const ToolSet& tools, AvatarHitRecord& hit,
                    const double a[16]) const;

  HMDRepresentation& head() { return _head; }
  void removeFromRenderWindow(OpenVRRenderWindow* window);
  void releaseGraphicsResources(vtkWindow* window);

 private:
  HMDRepresentation _head;
  bool _active = false;
  kvg::Ptr<IsoValueMarker> _isoMarker;
  kvg::VRClientState _state;
  double _laserColor[3] = {0.0, 0.0, 0.0};
  AvatarGroup* _group = nullptr;
  bool _followsLocalUser = false;
};

// The participant's matrices are usable: finite and not singular.
bool isUsablePose(const double m[16]);
