#pragma once
// One other participant of a shared scene as the local user sees it: a head model whose visor
// inlays carry the participant's colour, placed where the participant's head is, a box round
// the head while someone follows the participant, a direction marker while the head is not
// seen, and both controllers with the participant's tool sets (lasers, laser spot or palette
// circle, palette, quick-start, labels, tool icons, colour bar). Follows the participant's
// latest client state, of which it keeps a copy. Owned by an AvatarGroup; render thread only.
#include <vtkSmartPointer.h>

#include "ControllerModel.h"
#include "DirectionMarker.h"
#include "IsoValueMarker.h"
#include "ToolSet.h"
#include "VRClientState.h"
#include "VolumeRepresentation.h"
#include "kvg/Object.h"
#include "kvg/Ptr.h"

class AvatarContext;
class AvatarGroup;
class IconTextureCache;
struct ControllerInput;
class OpenVRActor;
class OpenVRTexture;
class OpenVRCamera;
class OpenVRRenderWindow;
class vtkPolyDataMapper;
class vtkRenderer;
class vtkWindow;
namespace kvg {
class DrawableScene;
}

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

  // Once after construction: the head and box into the window's "vrModels" renderer, the tool
  // sets and the direction marker into "vrWidgets", both controllers prepared (textured when
  // controllerTexture), the lent marker hidden. A null window builds nothing into renderers.
  void setupPointers(OpenVRRenderWindow* window, kvg::DrawableScene* scene, vtkPolyDataMapper* headMapper,
                     vtkPolyDataMapper* inlayMapper, IconTextureCache* iconCache, bool controllerTexture,
                     AvatarGroup* group, const kvg::Ptr<IsoValueMarker>& isoMarker);
  // A member-wise copy of the participant's latest state; clears followsLocalUser; the box
  // shows the state's BoxVis.
  void setClientState(const kvg::VRClientState& state);
  const kvg::VRClientState& getClientState() const { return _state; }
  // Per frame: head, box, direction marker and both hands from the state, seen by the local
  // user (inverseModel: the inverse of the local model matrix). False when the participant's
  // matrices are not finite or singular: the head stays hidden and nothing else changes.
  bool updateFromState(OpenVRRenderWindow* window, kvg::DrawableScene* scene, AvatarContext& local,
                       const double inverseModel[16]);

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
  // The box round the head (the participant's BoxVis, or the group's hover highlight).
  void setBoxVisible(bool visible);
  bool isBoxVisible() const;

  // The hand's laser against the head box (grown by 0.1 % of its width), with A the matrix from
  // scene to the caller's frame (the group passes the inverse local model). Fills hit on any
  // overlap of the ray's line with the box; true when the hit lies ahead of the controller.
  bool intersectRay(const ControllerInput& input, const ToolSet& tools, AvatarHitRecord& hit,
                    const double a[16]) const;

  HMDRepresentation& head() { return _head; }
  VolumeRepresentation& box() { return _box; }
  // Hand 0 mirrors the state's Right record, hand 1 its Left record.
  ToolSet& toolSet(int hand) { return _toolSets[hand]; }
  ControllerModel& controller(int hand) { return _controllers[hand]; }
  DirectionMarker& directionMarker() { return _directionMarker; }
  bool isDirectionMarkerVisible() const;
  void removeFromRenderWindow(OpenVRRenderWindow* window);
  // Render thread, the window's context current.
  void releaseGraphicsResources(vtkWindow* window);

 private:
  // Steps of updateFromState for one hand, in the local room (input) and scene (Ml, Mr).
  void updateHand(int hand, const kvg::VRClientController& record, const ControllerInput inputs[2],
                  vtkRenderer* models, kvg::DrawableScene* scene, AvatarContext& local, const double localModel[16],
                  const AnnotationLayoutSettings& annotations, const ToolLayoutSettings& tools);

  HMDRepresentation _head;
  VolumeRepresentation _box;
  ToolSet _toolSets[2];
  ControllerModel _controllers[2];
  bool _active = false;
  kvg::Ptr<IsoValueMarker> _isoMarker;
  kvg::VRClientState _state;
  double _laserColor[3] = {0.0, 0.0, 0.0};
  AvatarGroup* _group = nullptr;
  IconTextureCache* _iconCache = nullptr;  // not owned; gives the tool sets a palette built late
  bool _followsLocalUser = false;
  DirectionMarker _directionMarker;
  vtkSmartPointer<OpenVRTexture> _pointerTextures[2];
  bool _markerShown = false;
  bool _swapLR = false;
};

// The colour-bar offset factor of a participant's iso value within the scalar range (lo, hi)
// at its tool tip: (value - lo) / (hi - lo), 0.5 (the bar's middle) for an empty range.
double IsoValuePosition(double value, double lo, double hi);
// Whether the palette laser circle is drawn on the palette's front: the pointing laser
// (pointingDirection, in the pointing hand's frame) meets the palette's laser-spot normal
// (spotNormal, in the palette hand's frame) head on.
bool LaserCircleOnFront(const double pointingDirection[3], const double pointingPose[16], const double spotNormal[3],
                        const double palettePose[16]);

// The participant's matrices are usable: finite and not singular.
bool isUsablePose(const double m[16]);
