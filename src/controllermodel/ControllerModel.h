#pragma once
// The drawn model of one hand controller: the runtime's render model of the controller,
// loaded asynchronously a step per frame, converted to VTK geometry and texture, and placed
// at the controller's pose every frame. Two per interaction state (index = hand); avatars of
// other participants take over an already loaded model. Used by the thread that drives its
// owner; every loading step holds the render lock.
#include <string>

#include <vtkPolyData.h>
#include <vtkPolyDataMapper.h>
#include <vtkSmartPointer.h>

#include "OpenVRActor.h"
#include "OpenVRTexture.h"

class vtkRenderer;
struct ControllerInput;
namespace vr {
struct RenderModel_t;
struct RenderModel_TextureMap_t;
}  // namespace vr

class ControllerModel {
 public:
  enum LoadState { NotLoaded = 0, WaitingForTexture = 1, ReadyToBuild = 2, Built = 3 };

  // Not loaded, texture wanted, an actor without geometry.
  ControllerModel();
  ~ControllerModel();
  ControllerModel(const ControllerModel&) = delete;
  ControllerModel& operator=(const ControllerModel&) = delete;

  // Load state 0 (a model built before stays built), whether the texture is wanted, and a new
  // identity user matrix on the actor.
  void init(bool textureWanted);
  // Takes over the source's runtime model and texture (the buffer copy), so this model builds
  // its own geometry from them without asking the runtime again.
  void setRenderModel(const ControllerModel& source);
  // The actor shows the model's texture, or none.
  void setTextureEnabled(bool enabled);

  OpenVRActor* actor() const { return _actor; }
  bool isLoaded() const { return _loaded != 0; }
  int loadState() const { return _loadState; }
  bool textureWanted() const { return _textureWanted; }
  const double* bounds() const { return _bounds; }
  vtkPolyData* polyData() const { return _polyData; }
  vtkPolyDataMapper* mapper() const { return _mapper; }
  OpenVRTexture* texture() const { return _texture; }

 private:
  friend bool EnsureControllerModelLoaded(ControllerModel&, vtkRenderer*, const std::string&);
  friend bool LoadControllerRenderModel(ControllerModel&, vtkRenderer*, const std::string&);
  friend bool AddControllerActorsToRenderers(ControllerModel&, const ControllerModel&, vtkRenderer*);

  void build(vtkRenderer* renderer);

  OpenVRActor* _actor;
  vr::RenderModel_t* _renderModel = nullptr;           // owned by the runtime
  vr::RenderModel_TextureMap_t* _textureMap = nullptr;  // owned by the runtime
  int _loaded = 0;
  int _loadState = NotLoaded;
  bool _textureWanted = true;
  double _bounds[6] = {0.0, 0.0, 0.0, 0.0, 0.0, 0.0};
  vtkSmartPointer<vtkPolyData> _polyData;
  vtkSmartPointer<vtkPolyDataMapper> _mapper;
  vtkSmartPointer<OpenVRTexture> _texture;
};

// The loaded flag after one loading step with the render-model name (nothing for an empty
// name or an already loaded model).
bool EnsureControllerModelLoaded(ControllerModel& model, vtkRenderer* renderer, const std::string& name);
// One step of loading, under the render lock; true when this step built the geometry (or it
// was built before). Runtime errors are written to standard output and retried next frame.
bool LoadControllerRenderModel(ControllerModel& model, vtkRenderer* renderer, const std::string& name);
// An avatar's model shares the local model's mesh, mapper and texture once that is loaded.
bool AddControllerActorsToRenderers(ControllerModel& model, const ControllerModel& source, vtkRenderer* renderer);
// The actor's user matrix := model matrix x [pose | position]; the actor is shown.
void UpdateControllerActorPose(ControllerModel& model, const double modelMatrix[16], const double pose[16],
                               const double position[3]);
void UpdateControllerActorPose(ControllerModel& model, const double modelMatrix[16], const ControllerInput& input);
// Diffuse and ambient colour of the actor.
void SetActorColor(ControllerModel& model, const double rgb[3]);
// The eight homogeneous corners of the built bounds, x outermost.
void BoundsToCorners(const ControllerModel& model, double corners[8][4]);
