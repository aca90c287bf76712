#pragma once
// Everything the headset user manipulates for one render buffer: the two controllers (models,
// inputs, tool sets), the model's placement in the room, the head pose, the planes and markers
// placed in the scene, the overlays and the room, the shared switches (HUD, fly mode, floor),
// the avatar group and the part-widget manager. The scene view keeps two, one per render
// buffer.
//
// Threads: the back-buffer updater creates a buffer's state and runs startSessionScene and
// AnalyseSceneOnLoad for the buffer it prepares; the render thread updates the active
// buffer's state every frame and runs syncFrom at a buffer swap while the updater is idle.
// The state has no lock of its own: the scene view's frame mutex and buffer hand-over keep the
// two threads on different states.
//
// Coordinates: hands, head and room are in tracking space (metres, x right, y up, -z
// forward). The model matrix maps tracking space into the scene's coordinates (the model
// scale is the number of scene units per metre), so the camera sits at model x head pose, and
// everything drawn in the room (controllers, HUD, floor) is placed through the model matrix.
// Matrices are 4x4 doubles, row-major, applied to column vectors. Hand 0 is the left-role
// controller, hand 1 the right-role one.
#include <openvr.h>

#include <array>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include <vtkSmartPointer.h>

#include "AnalysisValues.h"
#include "AvatarGroup.h"
#include "ControllerInput.h"
#include "ControllerModel.h"
#include "Environment.h"
#include "HudMessage.h"
#include "HudOverlay.h"
#include "PaletteImages.h"
#include "SimplePlaneSection.h"
#include "ToolSet.h"
#include "VRWidgetManager.h"
#include "kvg/Ptr.h"

class ClipMarker;
class CollabSession;
class IconTextureCache;
class IsoValueMarker;
class OpenVRCamera;
class OpenVRRenderWindow;
class OpenVRTexture;
class SeedMarker;
class VolumeRepresentation;
class VRWidgetCommandHandler;
class vtkCamera;
class vtkPlane;
class vtkPlaneCollection;
class vtkProp;
class vtkRenderer;
class vtkTransform;
struct SceneViewSettings;
namespace kvg {
class CollectionNode;
class DrawableScene;
class DrawableSession;
class Plane;
class VRClientState;
}  // namespace kvg

class VRInteractionState {
 public:
  // The four head-fixed overlays, in member order.
  enum Overlay { HudPanel = 0, UpdatingIcon = 1, FlyModeIcon = 2, LinkIcon = 3, OverlayCount = 4 };

  // The icon cache is the scene view's; it is borrowed and outlives the state.
  explicit VRInteractionState(IconTextureCache* iconCache);
  // Releases every member in reverse order; nothing is removed from renderers.
  ~VRInteractionState();
  VRInteractionState(const VRInteractionState&) = delete;
  VRInteractionState& operator=(const VRInteractionState&) = delete;

  // ---- Per frame (render thread) ----

  // One frame of interaction: controller poll, view reset gesture, quick-start paging, the
  // active tool, palette, pad icons, camera at the head, overlays and room, marker scaling,
  // particles, volume rendering, fog and part widgets. updateInProgress: the scene view is
  // preparing its back buffer; openQuickStart: the user asked for the quick-start panel.
  void update(kvg::DrawableScene& scene, bool updateInProgress, const SceneViewSettings& settings,
              bool openQuickStart);
  // Polls head and controllers under the render lock (waiting in the compositor, which paces
  // the frame); valid[i]: hand i had a tracked, valid pose in this frame.
  void pollControllers(bool valid[2]);
  // The tool of hand (0/1) as its direction and the other hand's say; true when a tool acted.
  bool dispatchTool(OpenVRRenderWindow* window, vtkRenderer* renderer, kvg::DrawableScene& scene, int hand,
                    const SceneViewSettings& settings);
  // First step of a frame: room rebuild on changed textures, clip planes into the scene, the
  // scene bounds, frame time, interactive items cleared, marker visibility, quick-start page.
  void refreshMarkersAndClipPlanes(vtkRenderer* renderer, kvg::DrawableScene& scene,
                                   const SceneViewSettings& settings, bool openQuickStart);
  // The palette's twelve buttons, the model drag and the laser (render thread).
  void handlePaletteButtons(OpenVRRenderWindow* window, vtkRenderer* renderer, kvg::DrawableScene& scene,
                            const SceneViewSettings& settings);
  // The palette button at (u, v) of the palette hand's panel, hovered, pressed or held by the
  // pointing hand's trigger: its overlay and its action (render thread).
  void pressPaletteButton(double u, double v, int pointing, ToolSet& palette, OpenVRRenderWindow* window,
                          vtkRenderer* renderer, kvg::DrawableScene& scene, const SceneViewSettings& settings);

  // ---- Tools (render thread); each returns true when it acted ----

  // Seed tool: 0 shows an interactive seed, 1 adds a seed, 2 removes the nearest.
  bool handleSeedTool(int hand, int mode, vtkRenderer* renderer, kvg::DrawableScene& scene);
  // The seed tool on its own: its result into the hand's table at (row, column), markers
  // recoloured; a failure pulses the hand.
  bool placeSeedMarker(int hand, int row, int column, vtkRenderer* renderer, kvg::DrawableScene& scene);
  // Colour-bar tool: 0 moves the selection (interactive iso value), 1 keeps it, 2 removes the
  // nearest kept value.
  bool handleColorBarTool(int hand, int mode, vtkRenderer* renderer, kvg::DrawableScene& scene);
  // Plane-section and clip tools: 0 interactive, 1 keep, 2 remove the nearest.
  bool handlePlaneSectionTool(int hand, int mode, vtkRenderer* renderer, kvg::DrawableScene& scene,
                              const SceneViewSettings& settings);
  bool handleClipTool(int hand, int mode, const SceneViewSettings& settings);
  // The plane the hand holds, in model coordinates, by "planeSectionOrientation" (0 flat along
  // the pointing direction, 1 across it, other: upright along it, mirrored for hand 1); the
  // hand's tool icons show the orientation at the page (5 clip, 6 plane section).
  void orientPlaneSection(int hand, int page, double origin[3], double up[3], double right[3], double normal[3]);
  // Index of the clip plane whose marker is nearest the hand's tool tip (the later of equals;
  // the last plane by default), -1 without clip planes.
  int nearestClipMarker(int hand) const;
  // Index of the kept plane section whose origin is nearest the tool tip (the later of equals;
  // the last marker by default).
  int nearestPlaneSection(int hand) const;
  // The kept iso values of the field under the controller's tool tip shown as markers (hidden
  // ones reused, new ones made in markerRenderer), the one nearest the normalised target
  // highlighted; with placeAtController every shown marker is placed at the controller.
  void handleIsoValueTool(const ControllerInput& input, int hand, kvg::DrawableScene& scene, vtkRenderer* markerRenderer,
                          const double matrix[16], double target, bool placeAtController);

  // ---- Navigation ----

  // Places the model: its centre at "resetViewModelPositionXYZ" in the room, its largest side
  // "resetViewModelSize" long, turned like the scene's own camera when preserveOrientation.
  void resetView(vtkRenderer* renderer, bool preserveOrientation, kvg::DrawableSession* session);
  // Scales the model by 1/factor about the room point pivot; false (nothing changed) when the
  // model's largest side would leave the limits (in units of "resetViewModelSize").
  bool applyModelSize(double factor, const double pivot[3], kvg::DrawableSession* session, double lower,
                      double upper);
  bool handleZoom(int hand, bool in, kvg::DrawableSession* session, double lower, double upper);
  bool handleDolly(int hand, bool forward);
  // The user's clip planes (and the peers') into the scene graph and the renderer's planes.
  void syncClipPlanes(kvg::CollectionNode& node, vtkPlaneCollection* planes);

  // ---- Scene set-up (back-buffer updater) ----

  // Prepares a new state for its buffer's scene, under the render lock: session settings,
  // camera on the three layers, placement, HUD and status icons, room, tool sets, avatars,
  // widgets and textures; everything starts hidden.
  void startSessionScene(OpenVRRenderWindow* window, vtkRenderer* modelRenderer, kvg::DrawableScene& scene,
                         int bufferIndex, const SceneViewSettings& settings, const CollabSession& collab,
                         VRWidgetCommandHandler* commandHandler, const std::string& sceneKey);
  // Volume-rendering settings, cleared tools and planes, the room and HUD on, fly mode off,
  // palette pages 0, the view reset (the reset button, the start-up, an unbounded scene).
  void applyVolumeRendering(vtkRenderer* renderer, kvg::DrawableSession* session, OpenVRRenderWindow* window,
                            const SceneViewSettings& settings);
  // After every back-buffer refresh: the scene's model renderer gets the camera back, and the
  // scene's clip-plane count, particle speed, volume boxes, part props and iso-value count
  // are recorded.
  void AnalyseSceneOnLoad(kvg::DrawableScene& scene, vtkCamera* camera);

  // ---- Buffer swap (render thread) ----

  // This (newly active) state follows the previously active one.
  void syncFrom(VRInteractionState& source, kvg::DrawableScene& scene, const SceneViewSettings& settings,
                int startIndex);
  // The member copy of syncFrom.
  void copyStateFrom(const VRInteractionState& source);

  // ---- Scene view ----

  // Shows the hand's quick-start panel at the page; -1 or a page out of range selects none.
  void setQuickStartPage(int hand, int page);
  int getQuickStartPage(int hand) const;
  OpenVRCamera* getCamera() const { return camera; }
  // View matrix (head rotation with the head position as translation) and model matrix.
  void CopyPoseMatrixA(double out[16]) const;
  void CopyPoseMatrixB(double out[16]) const;
  std::string controllerType() const { return controllerTypeName; }
  // On a scene change: all tools hidden, palette page of tool set 0 from the toggles, volume
  // rendering on or off, the scene's interactive iso value and plane section when asked for.
  void applySceneVolumeState(int toggleMask, OpenVRRenderWindow* window, kvg::DrawableScene& scene,
                             vtkRenderer* renderer, bool volumeRendering, bool takeIsoValue,
                             bool takePlaneSection);
  void resetToolSets();
  // Render thread, per frame: both tool sets take the cache's palette images once they are
  // ready (the set-up may have run while they were still being built).
  void attachPaletteImages();
  // Render thread: this participant's situation into a fresh client state for the others.
  void fillClientState(kvg::VRClientState& client, kvg::DrawableSession* session);

  // ---- State (declaration order is construction order) ----

  ControllerModel controllerModels[2];
  ToolSet toolSets[2];
  ControllerInput controllerInputs[2];
  Environment environment;
  HudOverlay overlays[OverlayCount];
  HudMessage hudMessage;  // why a part command was refused, below the middle of the view
  double headRotation[16];
  double headPosition[3];
  double modelMatrix[16];              // tracking space -> scene; all zero until set-up
  double sceneCameraOrientation[16];   // rotation of the scene's own camera
  double modelScale;                   // scene units per metre
  double particleStepScale;
  double particleRadiusScale;
  int32_t sceneClipPlaneCount;
  int32_t maxClipPlanes;
  int32_t updatingFrameCount;
  uint64_t frameCounter;               // controller event frame numbers refer to it
  OpenVRCamera* camera;
  vtkTransform* modelTransform;
  std::deque<vtkSmartPointer<vtkPlane>> clipPlanes;
  std::vector<kvg::SimplePlaneSection> persistentPlaneSections;
  std::deque<kvg::IsoValue> persistentIsoValues;
  vtkSmartPointer<vtkPlane> interactiveClipPlane;
  kvg::SimplePlaneSection interactivePlaneSection;
  kvg::Ptr<IsoValueMarker> interactiveIsoMarker;
  std::string interactiveIsoField;
  double interactiveIsoValue;
  std::vector<kvg::Ptr<SeedMarker>> seedMarkers;
  std::vector<kvg::Ptr<ClipMarker>> planeSectionMarkers;
  std::deque<kvg::Ptr<ClipMarker>> clipMarkerPool;  // one per clip plane, same order
  std::deque<kvg::Ptr<IsoValueMarker>> isoValueMarkers;
  std::vector<kvg::SimplePlaneSection> peerPlaneSections;
  kvg::IsoValueList peerIsoValues;
  std::vector<vtkSmartPointer<vtkPlane>> peerClipPlanes;
  int refusedPeerClipPlanes = 0;       // beyond the clip-plane limit, as last logged
  // Received shared items this buffer cannot show (a seed outside its volumes with its place in
  // the received list, clip planes beyond its markers): published again as received, so that
  // this participant's next publication does not delete them for everybody.
  std::vector<std::pair<size_t, std::array<double, 3>>> unrealisedSharedSeeds;
  std::vector<std::array<double, 9>> unmarkedSharedClipPlanes;
  std::vector<vtkSmartPointer<OpenVRTexture>> planeSectionTextures;
  std::vector<kvg::Ptr<VolumeRepresentation>> volumeRepresentations;
  std::vector<kvg::Ptr<kvg::Plane>> clipPlaneNodes;
  bool flyMode;
  bool hudShown;
  bool viewResetLatch;
  bool floorShown;
  bool sceneBoundsValid;
  bool handsSwapped;
  double colorBarPosition;
  double smallestSceneSide;
  double largestSceneSide;
  double medianParticleSpeed;          // median velocity magnitude of the particle field
  double frameTime;                    // milliseconds, smoothed
  double frameTimeFactor;              // frame time / 20
  double hudDistance;                  // within [1, 2]
  IconTextureCache* iconCache;
  int32_t isoMarkerLimit;
  std::string controllerTypeName;      // sanitised type of the first controller seen
  std::string scalarFieldName;
  std::string handIdentification[2];   // render-model names, read once per hand
  int32_t sceneIsoValueCount;
  AvatarGroup avatarGroup;
  VRWidgetManager widgetManager;

 private:
  // Hand 0's quick-start panel paged with the menu buttons.
  void pageQuickStart();
  // The four touch-pad labels of each hand: page and colour from both hands' directions.
  void colorPadIcons(const SceneViewSettings& settings);
};

// Where the pointing hand's laser meets the palette held by the other hand: the distance t
// along the laser, the palette point (u across, v up, 0..1 on the panel) and the face.
struct PaletteHit {
  bool hit = false;
  bool onFront = false;
  double t = 0.0;
  double u = 0.0;
  double v = 0.0;
};
PaletteHit hitPalette(const ControllerInput& pointer, const ControllerInput& holder, const VirtualPostIt& palette);
// Strictly inside: a point on an edge is in no button.
bool isInsideRect(double u, double v, const PaletteRect& rect);

// A string property of a tracked device, under the render lock; empty when it has none.
std::string GetTrackedDeviceString(vr::IVRSystem* system, vr::TrackedDeviceIndex_t device,
                                   vr::ETrackedDeviceProperty property);
// Both triggers held longer than "bothTriggersPressedDelay" and pressed within
// "bothTriggersPressedTolerance" of each other.
bool areBothTriggersHeld(const ControllerInput& a, const ControllerInput& b);
// The compositor's frame time in milliseconds, smoothed over its recent frames; 20 when it
// reports none. Render thread; takes the render lock.
double averageFrameTime(double factor);
// A short pulse on the hand's controller (render lock held for the call).
void triggerHapticPulse(const ControllerInput& input);
// A runtime pose as rotation (4x4, translation zero) and position.
void convertPose(const vr::HmdMatrix34_t& pose, double rotation[16], double position[3]);
// A runtime pose as a full 4x4 matrix.
void PoseToVtkMatrix(const vr::HmdMatrix34_t& pose, double out[16]);
// The inverse of the head pose: tracking space into head coordinates.
void computeHeadViewMatrix(const VRInteractionState& state, double out[16]);
// The hand's first laser direction in the frame of b, normalised ((0, 0, 0) without length).
void computeLaserDirection(const ControllerInput& input, const ToolSet& tools, const double b[16], double out[3]);
// Point radius "defaultPointRadius" x radius scale x model scale on every particle sphere.
void UpdatePointRadii(VRInteractionState& state, kvg::DrawableSession* session);
// Fly mode on or off; turning it off moves the model back by the distance flown.
void ToggleFlyMode(VRInteractionState& state);
// The scene camera orientation from the renderer's active camera (identity without one).
void SyncViewMatrixFromCamera(VRInteractionState& state, vtkRenderer* renderer);
// Visible-prop bounds of the renderer along the axes of the orientation; false (bounds
// -1..1) without a renderer or visible props.
bool computeSceneBounds(vtkRenderer* renderer, double bounds[6], const double orientation[16]);
// The controller identification and per-frame controller, tool-set and avatar update.
void IdentifyControllers(VRInteractionState& state, kvg::DrawableScene& scene, OpenVRRenderWindow* window,
                         const double modelMatrix[16]);
// The volume prop under the tool tip of the hand (tip through the matrix a), null when the tip
// lies in no drawn volume; its scalar field's name into fieldName when given.
vtkProp* findVolumeAtToolTip(const ControllerInput& input, kvg::DrawableScene& scene, const double a[16], int hand,
                             std::string* fieldName = nullptr);
// Height and opening angle (degrees) of a seed marker's cone in a flow of that velocity: the
// base radius is "seedMarkerSize" x "defaultPointRadius"; the faster, the slimmer.
void GetSeedMarkerShape(const VRInteractionState& state, const double flow[3], double& height, double& angle);
// The section with its normal snapped to the nearest coordinate axis when it lies within
// snappingAngle degrees of it (up and right turned to match); unchanged otherwise.
kvg::SimplePlaneSection alignPlaneSectionBasis(const kvg::SimplePlaneSection& section, double snappingAngle);
// Every one of < > : " / \ | ? * and blank replaced by '_'.
std::string SanitizeFileName(const std::string& name);
