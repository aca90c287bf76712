#pragma once
// The server's part widgets in VR: picking point parts, line parts, plane sections and plane
// probes with a controller's laser, having the server highlight the picked part, dragging its
// widget, deleting it and placing copies, by commands to the simulation server. The widgets
// themselves belong to the widget library loaded at start-up; the manager talks to it only
// through the VTK user events 1001 to 1008 on the render window's interactor, with a
// WidgetEvent record as call data. A member of each interaction state; every call comes from
// the thread that drives that state (render thread per frame and at the swap, back-buffer
// updater at scene set-up).
#include <deque>
#include <map>
#include <set>
#include <string>

#include "PartPicker.h"
#include "WidgetEvent.h"
#include "kvg/Object.h"
#include "kvg/Ptr.h"

class OpenVRActor;
class ToolSet;
class VRWidgetCommandHandler;
class vtkCylinderSource;
class vtkPolyDataMapper;
class vtkPropCollection;
class vtkRenderer;
class vtkRenderWindowInteractor;
class vtkTransform;
struct ControllerInput;
struct SceneViewSettings;
namespace kvg {
class DrawableScene;
}

class VRWidgetManager {
 public:
  // The disc that stands for a placed plane-section copy until the server's section arrives.
  // Owns its VTK objects; the manager adds the actor to the model renderer and removes it.
  class PlaneProxy : public kvg::Object {
   public:
    PlaneProxy();
    ~PlaneProxy() override;
    PlaneProxy(const PlaneProxy&) = delete;
    PlaneProxy& operator=(const PlaneProxy&) = delete;

    // Stores the placement, builds the disc and adds its actor to the renderer.
    void setup(const double orientation[16], const double position[3], const double normal[3], double scale,
               vtkRenderer* renderer, const SceneViewSettings& settings);
    // The actor's placement: the normal snapped to an axis within the snapping angle, the disc
    // turned towards the controller's forward axis, "planeProxySize" x scale across.
    void updateTransform(double scale, const SceneViewSettings& settings);

    vtkCylinderSource* cylinder = nullptr;
    OpenVRActor* actor = nullptr;
    vtkPolyDataMapper* mapper = nullptr;
    vtkTransform* transform = nullptr;
    double orientation[16] = {};
    double position[3] = {0, 0, 0};
    double normal[3] = {0, 0, 0};
    double scale = 1.0;
  };

  enum PartType { None = 0, PointPart = 1, LinePart = 2, PlaneSection = 3, PlaneProbePart = 4 };

  VRWidgetManager();
  ~VRWidgetManager();
  // The buffer copy: state, selection, counter, hands and delete latch of the other manager.
  VRWidgetManager& operator=(const VRWidgetManager& other);
  VRWidgetManager(const VRWidgetManager&) = delete;

  // VR start-up of a session's scene (render lock held). The handler (null without a server
  // connection) carries the manager's server commands; it and the interactor are not owned.
  void initialize(VRWidgetCommandHandler* handler, const std::string& sceneName,
                  vtkRenderWindowInteractor* interactor);
  // Render thread, last step of the buffer-swap copy; startIndex: the first of the other
  // manager's plane proxies to rebuild here (clamped to its proxies).
  void syncFrom(const VRWidgetManager& source, kvg::DrawableScene& scene, const SceneViewSettings& settings,
                int startIndex);
  // Refills the pick candidates from the model renderer after a scene update.
  void collectPartProps(vtkRenderer* renderer);

  bool hasSelectedPart() const { return !_selectedPart.empty(); }
  bool isInteracting() const { return _state.state == 1; }
  int activeHand() const { return _activeHand; }
  const std::string& selectedPart() const { return _selectedPart; }
  const WidgetState& widgetState() const { return _state; }
  size_t planeProxyCount() const { return _planeProxies.size(); }
  const PlaneProxy* planeProxy(size_t i) const { return _planeProxies[i].get(); }

  // Ends the interaction and drops the selection; the argument is not used.
  void refreshWidgets(int eventCode);
  // The pad actions on the selected part (West delete, South copy at the controller, East copy
  // in place, North copy at the laser hit); true when they consumed the hand's input.
  bool handleTool(kvg::DrawableScene& scene, int hand, const ControllerInput inputs[2], ToolSet tools[2],
                  const double modelMatrix[16], double largestSceneSide, double modelScale, double sceneScale,
                  vtkRenderer* renderer, const SceneViewSettings& settings);
  // The pointing laser off the palette: pick, select, and the trigger-driven drag.
  void update(kvg::DrawableScene& scene, int hand, const ControllerInput inputs[2], ToolSet tools[2],
              const double modelMatrix[16], double laserLength, double modelScale, double sceneScale);
  // Per frame, last step of the interaction update. Also takes the commands the server refused:
  // a part whose deletion was refused may be picked again, and when nothing was picked since,
  // its widget comes back selected at once, as the manager held it before the deletion.
  void updateInteractive(const ControllerInput inputs[2], ToolSet tools[2], const double modelMatrix[16],
                         double modelScale, double sceneScale);

  // Pick and selection from a ray in model coordinates: 0, or whether the selection changed.
  int handleController(kvg::DrawableScene& scene, const double tip[3], const double direction[3], double pickLength,
                       double modelScale, double sceneScale, vtkPropCollection* candidates);
  // The picked part's name, as the server named it (empty on a miss or without a model
  // renderer); the part props are picked through their bounds tree.
  std::string pickRay(kvg::DrawableScene& scene, const double tip[3], const double direction[3], double length,
                      double toleranceFactor, vtkPropCollection* candidates, double& hitDistance);
  bool intersectPlaneWidget(const double tip[3], const double direction[3], double& distance) const;
  bool handlePartSelection(const std::string& name);
  bool sendHighlightParts(const std::string& name);
  int partTypeOf(const std::string& name) const;

  // The last refusal taken from the server since the last call ("The server refused
  // COMMAND: REASON"), empty when none came; the interaction state shows it to the user.
  std::string takeRefusalMessage();

  VRWidgetCommandHandler* commandHandler() const { return _handler; }
  const std::string& sceneName() const { return _sceneName; }

 private:
  using Geometry = double[3][3];
  struct HandRay {
    double tip[3];
    double direction[3];
    double orientation[16];
  };
  static HandRay handRay(const ControllerInput& input, const ToolSet& tools, int hand, const double modelMatrix[16]);

  // True when an observer aborted the event.
  bool fire(unsigned long id, WidgetEvent& event);
  // Sent with the state: the state goes in, and comes back when the event is aborted.
  bool fireWithState(unsigned long id, WidgetEvent& event);
  // A query: the active widget's part.
  std::string queryActivePart();
  void buildEvent(WidgetEvent& event, const ControllerInput& input, const ToolSet& tools, int hand,
                  const double modelMatrix[16], double factorA, double factorB);
  bool deletePart();
  void placePartAt(Geometry geometry, const double point[3], const double direction[3], double offset);
  void clonePart(const Geometry geometry, const double orientation[16], double modelScale, vtkRenderer* renderer,
                 const SceneViewSettings& settings, const double direction[3]);
  bool cloneAtController(const HandRay& ray, double modelScale, vtkRenderer* renderer,
                         const SceneViewSettings& settings);
  bool cloneAtLaserHit(kvg::DrawableScene& scene, const HandRay& ray, double laserLength, double modelScale,
                       double sceneScale, vtkRenderer* renderer, const SceneViewSettings& settings);
  void notImplemented(int type, const std::string& part) const;

  vtkRenderWindowInteractor* _interactor = nullptr;
  VRWidgetCommandHandler* _handler = nullptr;
  WidgetState _state;
  std::string _sceneName;
  std::string _selectedPart;
  vtkPropCollection* _partProps;
  vtkPropCollection* _surfaceProps;
  PartPicker _partPicker;  // over _partProps, indexed with them
  int32_t _updateCounter = 0;
  int32_t _activeHand = 0;
  int32_t _deleteHand = 0;
  std::map<int32_t, std::string> _partTypes;
  bool _interactiveUpdateIssued = false;
  std::deque<kvg::Ptr<PlaneProxy>> _planeProxies;
  bool _selectionHighlighted = false;
  bool _deleteLatch = false;
  // Parts this manager asked the server to delete: never picked or highlighted again (the
  // server's scene may still show one for a few frames).
  std::set<std::string> _deletedParts;
  // The last part whose deletion was asked for and this manager's state just before it; the
  // state comes back when the server refuses that deletion.
  std::string _deletingPart;
  WidgetState _deletingState;
  std::string _refusalMessage;
};
