#include "VRWidgetManager.h"

VRWidgetManager::VRWidgetManager() = default;

VRWidgetManager::~VRWidgetManager() = default;

VRWidgetManager& VRWidgetManager::operator=(const VRWidgetManager& other) {
  if (&other == this) return *this;
  _selectedPart = other._selectedPart;
  _interacting = other._interacting;
  _activeHand = other._activeHand;
  return *this;
}

void VRWidgetManager::initialize(VRWidgetCommandHandler* handler, const std::string& sceneKey,
                                 vtkRenderWindowInteractor* interactor) {
  _handler = handler;
  _sceneKey = sceneKey;
  _interactor = interactor;
  _selectedPart = false;
  _interacting = false;
}

void VRWidgetManager::syncFrom(const VRWidgetManager& source, kvg::DrawableScene& scene,
                               const SceneViewSettings& settings, int startIndex) {}

void VRWidgetManager::collectPartProps(vtkRenderer* renderer) {}

void VRWidgetManager::refreshWidgets(int eventCode) { _lastEventCode = eventCode; }

bool VRWidgetManager::handleTool(kvg::DrawableScene& scene, int hand, const ControllerInput inputs[2],
                                 ToolSet tools[2], const double modelMatrix[16], double largestSceneSide,
                                 double modelScale, double radiusScale, vtkRenderer* renderer,
                                 const SceneViewSettings& settings) {
  return false;
}

void VRWidgetManager::update(kvg::DrawableScene& scene, int hand, const ControllerInput inputs[2], ToolSet tools[2],
                             const double modelMatrix[16], double laserLength, double modelScale,
                             double radiusScale) {}

void VRWidgetManager::updateInteractive(const ControllerInput inputs[2], ToolSet tools[2],
                                        const double modelMatrix[16], double modelScale, double radiusScale) {}
