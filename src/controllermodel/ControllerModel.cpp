#include "ControllerModel.h"

#include <openvr.h>

#include <cstring>
#include <iostream>

#include <vtkCellArray.h>
#include <vtkFloatArray.h>
#include <vtkImageData.h>
#include <vtkMatrix4x4.h>
#include <vtkNew.h>
#include <vtkPointData.h>
#include <vtkPolyData.h>
#include <vtkPolyDataMapper.h>
#include <vtkProperty.h>
#include <vtkRenderer.h>
#include <vtkUnsignedCharArray.h>

#include "ControllerInput.h"
#include "FreezablePipeline.h"
#include "OpenVRActor.h"
#include "OpenVRTexture.h"
#include "RenderLock.h"
#include "RepeatFilter.h"
#include "kvg/PropLighting.h"

namespace {

void applyStandardAppearance(OpenVRActor* actor) {
  actor->SetDepthTestDisabled(0);
  kvg::SetPropLighting(actor, kvg::PropLighting::Lit);
  vtkProperty* property = actor->GetProperty();
  property->SetAmbient(0.0);
  property->SetDiffuse(1.0);
  property->SetSpecular(0.1);
  property->SetSpecularPower(100.0);
}

}  // namespace

ControllerModel::ControllerModel() : _actor(OpenVRActor::New()) {}

ControllerModel::~ControllerModel() {
  _texture = nullptr;
  _mapper = nullptr;
  _polyData = nullptr;
  _actor->Delete();
}

void ControllerModel::init(bool textureWanted) {
  _loadState = _loaded ? Built : NotLoaded;
  _textureWanted = textureWanted;
  vtkNew<vtkMatrix4x4> user;
  _actor->SetUserMatrix(user);
}

void ControllerModel::setRenderModel(const ControllerModel& source) {
  if (&source == this) return;
  if (source._renderModel) {
    _renderModel = source._renderModel;
    _textureMap = source._textureMap;
  }
  if (_loadState == ReadyToBuild || _loadState == Built || !_renderModel) return;
  if (_textureWanted && !_textureMap && _renderModel->diffuseTextureId >= 0) return;
  _loadState = ReadyToBuild;
}

void ControllerModel::setTextureEnabled(bool enabled) { _actor->SetTexture(enabled ? _texture.GetPointer() : nullptr); }

void ControllerModel::build(vtkRenderer* renderer) {
  const vr::RenderModel_t& model = *_renderModel;
  const bool textured = _textureWanted && model.diffuseTextureId >= 0 && _textureMap;

  _polyData = vtkSmartPointer<vtkPolyData>::New();
  vtkNew<vtkCellArray> triangles;
  triangles->AllocateEstimate(model.unTriangleCount, 3);
  // A triangle naming a vertex the model does not have is dropped, not drawn from stray memory.
  for (uint32_t t = 0; t < model.unTriangleCount; ++t) {
    const vtkIdType ids[3] = {model.rIndexData[t * 3], model.rIndexData[t * 3 + 1], model.rIndexData[t * 3 + 2]};
    if (ids[0] >= vtkIdType(model.unVertexCount) || ids[1] >= vtkIdType(model.unVertexCount) ||
        ids[2] >= vtkIdType(model.unVertexCount))
      continue;
    triangles->InsertNextCell(3, ids);
  }
  _polyData->SetPolys(triangles);

  vtkNew<vtkPoints> points;
  points->SetDataTypeToFloat();
  points->SetNumberOfPoints(model.unVertexCount);
  vtkNew<vtkFloatArray> normals;
  normals->SetName("Normals");
  normals->SetNumberOfComponents(3);
  normals->SetNumberOfTuples(model.unVertexCount);
  vtkNew<vtkFloatArray> tcoords;
  tcoords->SetName("Texture Coordinates");
  tcoords->SetNumberOfComponents(2);
  tcoords->SetNumberOfTuples(textured ? model.unVertexCount : 0);
  for (uint32_t v = 0; v < model.unVertexCount; ++v) {
    const vr::RenderModel_Vertex_t& vertex = model.rVertexData[v];
    points->SetPoint(v, vertex.vPosition.v[0], vertex.vPosition.v[1], vertex.vPosition.v[2]);
    normals->SetTypedTuple(v, vertex.vNormal.v);
    if (textured) tcoords->SetTypedTuple(v, vertex.rfTextureCoord);
  }
  _polyData->SetPoints(points);
  if (textured) _polyData->GetPointData()->SetTCoords(tcoords);
  _polyData->GetPointData()->SetNormals(normals);

  _mapper = vtkSmartPointer<vtkPolyDataMapper>::New();
  _mapper->SetInputData(_polyData);
  _mapper->ScalarVisibilityOff();
  _actor->SetMapper(_mapper);

  if (textured) {
    const int w = _textureMap->unWidth, h = _textureMap->unHeight;
    vtkNew<vtkImageData> image;
    image->SetDimensions(w, h, 1);
    image->AllocateScalars(VTK_UNSIGNED_CHAR, 4);
    std::memcpy(image->GetScalarPointer(), _textureMap->rubTextureMapData, size_t(w) * h * 4);
    _texture = vtkSmartPointer<OpenVRTexture>::New();
    _texture->SetInputData(image);
    _texture->InterpolateOn();
    _texture->SetWidth(w);
    _texture->SetHeight(h);
    _actor->SetTexture(_texture);
  }
  applyStandardAppearance(_actor);
  if (renderer) renderer->AddActor(_actor);
  {
    RestoreThreadFlag unfrozen(false);
    _mapper->Update();
  }
  _mapper->GetBounds(_bounds);
  _loadState = Built;
}

bool LoadControllerRenderModel(ControllerModel& model, vtkRenderer* renderer, const std::string& name) {
  Lock::AutoLock lock(GetRenderLock());
  vr::IVRRenderModels* models = vr::VRRenderModels();
  switch (model._loadState) {
    case ControllerModel::NotLoaded: {
      if (!models) return false;
      const vr::EVRRenderModelError result = models->LoadRenderModel_Async(name.c_str(), &model._renderModel);
      if (result == vr::VRRenderModelError_Loading) return false;
      if (result != vr::VRRenderModelError_None) {
        // Asked again every frame: said once per model and code.
        if (RepeatFilter::console().changed("render model " + name, std::to_string(int(result))))
          std::cout << "Loading render model " << name << " failed with code " << int(result) << std::endl;
        return false;
      }
      const bool needsTexture = model._textureWanted && model._renderModel->diffuseTextureId >= 0;
      model._loadState = needsTexture ? ControllerModel::WaitingForTexture : ControllerModel::ReadyToBuild;
      return false;
    }
    case ControllerModel::WaitingForTexture: {
      if (!models) return false;
      const vr::EVRRenderModelError result =
          models->LoadTexture_Async(model._renderModel->diffuseTextureId, &model._textureMap);
      if (result == vr::VRRenderModelError_Loading) return false;
      if (result != vr::VRRenderModelError_None) {
        if (RepeatFilter::console().changed("texture of " + name, std::to_string(int(result))))
          std::cout << "Loading texture failed with code " << int(result) << std::endl;
        return false;
      }
      model._loadState = ControllerModel::ReadyToBuild;
      return false;
    }
    case ControllerModel::ReadyToBuild:
      model.build(renderer);
      return true;
    default:
      return true;
  }
}

bool EnsureControllerModelLoaded(ControllerModel& model, vtkRenderer* renderer, const std::string& name) {
  if (model.isLoaded()) return true;
  if (name.empty()) return false;
  if (!LoadControllerRenderModel(model, renderer, name)) return false;
  model._loaded = 1;
  return true;
}

bool AddControllerActorsToRenderers(ControllerModel& model, const ControllerModel& source, vtkRenderer* renderer) {
  if (model.isLoaded()) return true;
  if (!source._polyData || !source._mapper || !source.isLoaded()) return false;
  model._loaded = source._loaded;
  model._loadState = source._loadState;
  model._textureWanted = source._textureWanted;
  model._polyData = source._polyData;
  model._renderModel = source._renderModel;
  model._textureMap = source._textureMap;
  model._mapper = source._mapper;
  model._texture = source._texture;
  model._actor->SetMapper(model._mapper);
  model._actor->SetTexture(model._texture);
  applyStandardAppearance(model._actor);
  if (renderer) renderer->AddActor(model._actor);
  model._mapper->GetBounds(model._bounds);
  return true;
}

void UpdateControllerActorPose(ControllerModel& model, const double modelMatrix[16], const double pose[16],
                               const double position[3]) {
  double placed[16];
  std::memcpy(placed, pose, sizeof(placed));
  for (int r = 0; r < 3; ++r) placed[r * 4 + 3] = position[r];
  OpenVRActor* actor = model.actor();
  if (!actor->GetUserMatrix()) {
    vtkNew<vtkMatrix4x4> matrix;
    actor->SetUserMatrix(matrix);
  }
  vtkMatrix4x4::Multiply4x4(modelMatrix, placed, actor->GetUserMatrix()->GetData());
  actor->GetUserMatrix()->Modified();
  if (!actor->GetVisibility()) actor->SetVisibility(1);
}

void UpdateControllerActorPose(ControllerModel& model, const double modelMatrix[16], const ControllerInput& input) {
  UpdateControllerActorPose(model, modelMatrix, input.pose, input.position);
}

void SetActorColor(ControllerModel& model, const double rgb[3]) {
  model.actor()->GetProperty()->SetDiffuseColor(rgb[0], rgb[1], rgb[2]);
  model.actor()->GetProperty()->SetAmbientColor(rgb[0], rgb[1], rgb[2]);
}

void BoundsToCorners(const ControllerModel& model, double corners[8][4]) {
  const double* b = model.bounds();
  int i = 0;
  for (int x = 0; x < 2; ++x)
    for (int y = 0; y < 2; ++y)
      for (int z = 0; z < 2; ++z, ++i) {
        corners[i][0] = b[x];
        corners[i][1] = b[2 + y];
        corners[i][2] = b[4 + z];
        corners[i][3] = 1.0;
      }
}
