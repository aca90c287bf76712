#pragma once
// The server's part widgets in VR: picking point parts, line parts, plane sections and plane
// probes with a controller, highlighting, cloning and deleting them by commands to the
// simulation server. A member of each interaction state, used by the thread that drives that
// state. Without a command handler (no server connection) nothing can be selected and the
// manager consumes no controller input.
#include <string>

class ToolSet;
class VRWidgetCommandHandler;
class vtkRenderer;
class vtkRenderWindowInteractor;
struct ControllerInput;
struct SceneViewSettings;
namespace kvg {
class DrawableScene;
}

class VRWidgetManager {
 public:
  VRWidgetManager();
  ~VRWidgetManager();
  // The buffer copy: selection and interaction state of the other buffer's manager.
  VRWidgetManager& operator=(const VRWidgetManager& other);
  VRWidgetManager(const VRWidgetManager&) = delete;

  // VR start-up of a session's scene. The handler (null without a server connection) carries
  // the manager's server commands; it and the interactor are not owned.
  void initialize(VRWidgetCommandHandler* handler, const std::string& sceneKey,
                  vtkRenderWindowInteractor* interactor);
  // Last step of the buffer-swap copy; startIndex is the other buffer's update count minus
  // this buffer's.
  void syncFrom(const VRWidgetManager& source, kvg::DrawableScene& scene, const SceneViewSettings& settings,
                int startIndex);
  // Refills the part-prop lists from the model renderer after a scene update.
  void collectPartProps(vtkRenderer* renderer);

  bool hasSelectedPart() const { return _selectedPart; }
  bool isInteracting() const { return _interacting; }
  int activeHand() const { return _activeHand; }

  // Re-evaluates the widgets and tells the widget observers (2 palette without pointer, 3 laser
  // on the palette or view reset, 5 volume-state reset).
  void refreshWidgets(int eventCode);
  // True when the part-widget tool consumed the hand's input (the tool dispatch ends).
  bool handleTool(kvg::DrawableScene& scene, int hand, const ControllerInput inputs[2], ToolSet tools[2],
                  const double modelMatrix[16], double largestSceneSide, double modelScale, double radiusScale,
                  vtkRenderer* renderer, const SceneViewSettings& settings);
  // The pointing laser off the palette, when no avatar pick runs.
  void update(kvg::DrawableScene& scene, int hand, const ControllerInput inputs[2], ToolSet tools[2],
              const double modelMatrix[16], double laserLength, double modelScale, double radiusScale);
  // Per frame, last step of the interaction update.
  void updateInteractive(const ControllerInput inputs[2], ToolSet tools[2], const double modelMatrix[16],
                         double modelScale, double radiusScale);

  VRWidgetCommandHandler* commandHandler() const { return _handler; }
  const std::string& sceneKey() const { return _sceneKey; }
  int lastEventCode() const { return _lastEventCode; }

 private:
  VRWidgetCommandHandler* _handler = nullptr;
  std::string _sceneKey;
  vtkRenderWindowInteractor* _interactor = nullptr;
  bool _selectedPart = false;
  bool _interacting = false;
  int _activeHand = 0;
  int _lastEventCode = 0;
};
