#pragma once
// What the avatars need each frame of the local user's interaction state: the camera, the
// local model matrix and head pose, the local controller models whose meshes the avatars
// share, and the iso-value tool that shows a participant's iso value at its hand. The
// interaction layer implements it and hands it to AvatarGroup::updateAvatars. Render thread.
class ControllerModel;
class OpenVRCamera;
class vtkRenderer;
struct ControllerInput;
namespace kvg {
class DrawableScene;
}

class AvatarContext {
 public:
  virtual ~AvatarContext() = default;
  // Null when there is no camera yet: every head then counts as in view.
  virtual OpenVRCamera* camera() const = 0;
  // Room -> scene.
  virtual void modelMatrix(double out[16]) const = 0;
  // The local head in the room: its rotation with its position as translation.
  virtual void headPose(double out[16]) const = 0;
  // The local model of the hand, whose mesh an avatar's controller shares once it is loaded.
  virtual const ControllerModel& controllerModel(int hand) const = 0;
  // The kept iso values of the field at the participant's tool tip, shown at its hand; matrix
  // maps the input's room into the scene, target is the normalised iso position.
  virtual void handleIsoValueTool(const ControllerInput& input, int hand, kvg::DrawableScene& scene,
                                  vtkRenderer* markerRenderer, const double matrix[16], double target) = 0;
};
