// The controller identification with its per-type settings, and the per-frame update of the
// controller models, tool sets and avatars. Render thread.
#include <algorithm>
#include <iostream>

#include <vtkImageData.h>  // OpenVRRenderWindow.h uses it without including it
#include <vtkProperty.h>

#include "AnnotationLayoutSettings.h"
#include "AvatarContext.h"
#include "Configuration.h"
#include "IsoValueMarker.h"
#include "OpenVRRenderWindow.h"
#include "RenderLock.h"
#include "RepeatFilter.h"
#include "ToolGeometry.h"
#include "ToolLayoutSettings.h"
#include "VRInteractionState.h"
#include "VolumeRenderingManager.h"
#include "kvg/DrawableScene.h"
#include "kvg/OpenGLRenderer.h"

namespace {

vr::ETrackedDeviceClass deviceClass(vr::TrackedDeviceIndex_t device) {
  Lock::AutoLock lock(GetRenderLock());
  vr::IVRSystem* system = vr::VRSystem();
  return system ? system->GetTrackedDeviceClass(device) : vr::TrackedDeviceClass_Invalid;
}

// Prints the four identifying properties and stores the controller type; merges the type's
// settings file once a type is known. A controller whose type stays empty is asked again every
// frame, but its properties are printed once, and again only when they change.
void identify(VRInteractionState& state, vr::TrackedDeviceIndex_t device) {
  vr::IVRSystem* system = vr::VRSystem();
  state.controllerTypeName = SanitizeFileName(GetTrackedDeviceString(system, device, vr::Prop_ControllerType_String));
  const std::string lines =
      "Prop_ManufacturerName_String   =" + GetTrackedDeviceString(system, device, vr::Prop_ManufacturerName_String) +
      "\nProp_ModelNumber_String        =" + GetTrackedDeviceString(system, device, vr::Prop_ModelNumber_String) +
      "\nProp_RenderModelName_String    =" + GetTrackedDeviceString(system, device, vr::Prop_RenderModelName_String) +
      "\nProp_TrackingSystemName_String =" +
      GetTrackedDeviceString(system, device, vr::Prop_TrackingSystemName_String);
  if (RepeatFilter::console().changed("controller " + std::to_string(device), lines))
    std::cout << lines << std::endl;
  if (!state.controllerTypeName.empty()) mergeConfigFile(state.controllerTypeName + ".ini");
}

// The local user as the avatars see it.
class InteractionAvatarContext : public AvatarContext {
 public:
  explicit InteractionAvatarContext(VRInteractionState& state) : _state(state) {}
  OpenVRCamera* camera() const override { return _state.getCamera(); }
  void modelMatrix(double out[16]) const override { std::copy(_state.modelMatrix, _state.modelMatrix + 16, out); }
  void headPose(double out[16]) const override { _state.CopyPoseMatrixA(out); }
  const ControllerModel& controllerModel(int hand) const override { return _state.controllerModels[hand]; }
  void handleIsoValueTool(const ControllerInput& input, int hand, kvg::DrawableScene& scene,
                          vtkRenderer* markerRenderer, const double matrix[16], double target) override {
    _state.handleIsoValueTool(input, hand, scene, markerRenderer, matrix, target, true);
  }

 private:
  VRInteractionState& _state;
};

}  // namespace

void computeHeadViewMatrix(const VRInteractionState& state, double out[16]) {
  computeInversePose(state.headRotation, state.headPosition, out);
}

void computeLaserDirection(const ControllerInput& input, const ToolSet& tools, const double b[16], double out[3]) {
  double v[3];
  transformPoint(input, tools.getLaserDirection(), v);
  rotateVector(b, v, out);
  Normalize3(out);
}

void IdentifyControllers(VRInteractionState& state, kvg::DrawableScene& scene, OpenVRRenderWindow* window,
                         const double modelMatrix[16]) {
  const ToolLayoutSettings tools;
  const AnnotationLayoutSettings annotations;
  vtkRenderer* models = window ? window->GetLayerRenderer(OpenVRRenderWindow::ModelLayer) : nullptr;

  if (state.interactiveIsoMarker.isValid() && state.interactiveIsoMarker->value() != tools.toolsAngle) {
    state.interactiveIsoMarker->removeFromRenderer(models);
    state.interactiveIsoMarker = IsoValueMarker::create(models);
    state.avatarGroup.rebuildIsoMarkers(window);
  }
  // The kept values' markers take the new tilt too (a per-controller file may change it).
  for (kvg::Ptr<IsoValueMarker>& marker : state.isoValueMarkers) {
    if (!marker.isValid() || marker->value() == tools.toolsAngle) continue;
    const bool shown = marker->getVisibility();
    double rgb[3];
    marker->getActor()->GetProperty()->GetDiffuseColor(rgb);
    marker->removeFromRenderer(models);
    marker = IsoValueMarker::create(models);
    marker->setColor(rgb);
    marker->setVisibility(shown);
  }

  const bool volumeRendering = kvg::VolumeRenderingManager::getSingleton(scene.getSession()).getEnableVolRend();
  const bool avatars = state.avatarGroup.avatarCount() > 0;
  static const double white[3] = {1.0, 1.0, 1.0};
  for (int hand = 0; hand < 2; ++hand) {
    const ControllerInput& input = state.controllerInputs[hand];
    ControllerModel& model = state.controllerModels[hand];
    if (input.hasDevice() && deviceClass(input.deviceIndex) == vr::TrackedDeviceClass_Controller) {
      if (state.controllerTypeName.empty()) identify(state, input.deviceIndex);
      if (state.handIdentification[hand].empty())
        state.handIdentification[hand] =
            GetTrackedDeviceString(vr::VRSystem(), input.deviceIndex, vr::Prop_RenderModelName_String);
      EnsureControllerModelLoaded(model, models, state.handIdentification[hand]);
      UpdateControllerActorPose(model, modelMatrix, input);
      SetActorColor(model, avatars ? state.avatarGroup.currentColor() : white);
      model.setTextureEnabled(!avatars);
    }
    ToolSet& toolSet = state.toolSets[hand];
    toolSet.setPaletteStateBit(1, state.hudShown);
    toolSet.setPaletteStateBit(2, state.flyMode);
    toolSet.setPaletteStateBit(4, state.floorShown);
    toolSet.setPaletteStateBit(8, volumeRendering);
    toolSet.setPaletteStateBit(16, avatars);
  }

  for (int hand = 0; hand < 2; ++hand) {
    double view[16];
    computeHeadViewMatrix(state, view);
    ToolSet& toolSet = state.toolSets[hand];
    toolSet.update(modelMatrix, view, state.controllerInputs[hand], hand, annotations, tools);
    AvatarGroup& group = state.avatarGroup;
    toolSet.setPaletteColors(group.colorAt(group.currentAvatarColorID()), group.colorAt(group.previousAvatarColorID()),
                             group.colorAt(group.nextAvatarColorID()));
  }
  InteractionAvatarContext local(state);
  state.avatarGroup.updateAvatars(window, &scene, local);
}
