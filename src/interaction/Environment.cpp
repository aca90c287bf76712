#include "Environment.h"

#include <array>

#include <vtkAppendPolyData.h>
#include <vtkMatrix4x4.h>
#include <vtkNew.h>
#include <vtkPlaneSource.h>
#include <vtkPolyDataMapper.h>
#include <vtkProperty.h>
#include <vtkRenderer.h>
#include <vtkTextureMapToPlane.h>

#include "Configuration.h"
#include "FreezablePipeline.h"
#include "IconPreload.h"
#include "IconTextureCache.h"
#include "OpenVRActor.h"
#include "OpenVRTexture.h"
#include "SceneViewSettings.h"
#include "TextureParameters.h"
#include "kvg/PropLighting.h"

namespace {

// Unit corners of the six planes: point 1, point 2, origin (floor, ceiling, then the walls at
// z = -S/2, x = +S/2, z = +S/2, x = -S/2).
const double kCorners[6][3][3] = {
    {{0.5, 0, -0.5}, {-0.5, 0, 0.5}, {-0.5, 0, -0.5}},   {{0.5, 1, -0.5}, {-0.5, 1, 0.5}, {-0.5, 1, -0.5}},
    {{0.5, 0, -0.5}, {-0.5, 1, -0.5}, {-0.5, 0, -0.5}},  {{0.5, 0, 0.5}, {0.5, 1, -0.5}, {0.5, 0, -0.5}},
    {{-0.5, 0, 0.5}, {0.5, 1, 0.5}, {0.5, 0, 0.5}},      {{-0.5, 0, -0.5}, {-0.5, 1, 0.5}, {-0.5, 0, 0.5}}};

void scaled(const double unit[3], const double s[3], double out[3]) {
  for (int i = 0; i < 3; ++i) out[i] = unit[i] * s[i];
}

std::array<double, 3> configColor(const char* key, const std::array<double, 3>& defaults) {
  return GetConfigVector3(key, defaults);
}

}  // namespace

Environment::Environment() : _append(vtkAppendPolyData::New()) {
  for (PlanePair& p : _planes) {
    p.plane = vtkPlaneSource::New();
    p.map = vtkTextureMapToPlane::New();
  }
  _actors[0] = vtkSmartPointer<OpenVRActor>::New();
  _actors[1] = vtkSmartPointer<OpenVRActor>::New();
}

Environment::~Environment() {
  _actors[1] = nullptr;
  _actors[0] = nullptr;
  _append->Delete();
  for (int i = 5; i >= 0; --i) {
    _planes[i].map->Delete();
    _planes[i].plane->Delete();
  }
}

void Environment::buildPlanes(double floorScale, double ceilingScale, int floorW, int floorH, int ceilW, int ceilH) {
  // A room of no size (or a negative one) would divide the texture scale by zero.
  double S = GetConfigReal("floorSize", 200.0);
  double H = GetConfigReal("ceilingHeight", 10.0);
  if (!(S > 0.0)) S = 200.0;
  if (!(H > 0.0)) H = 10.0;
  const double size[3] = {S, H, S};
  const double floorRatio = floorW > 0 ? double(floorH) / floorW : 1.0;
  const double ceilRatio = ceilW > 0 ? double(ceilH) / ceilW : 1.0;
  RestoreThreadFlag unfrozen(false);
  for (int i = 0; i < 6; ++i) {
    double p1[3], p2[3], o[3];
    scaled(kCorners[i][0], size, p1);
    scaled(kCorners[i][1], size, p2);
    scaled(kCorners[i][2], size, o);
    vtkPlaneSource* plane = _planes[i].plane;
    plane->SetOrigin(o);
    plane->SetPoint1(p1);
    plane->SetPoint2(p2);
    plane->Update();
    const double scale = i == 0 ? floorScale : ceilingScale;
    double t[3] = {1.0, 1.0, 1.0};
    if (i == 0) t[2] = -floorRatio;
    else if (i == 1) t[2] = ceilRatio;
    else t[1] = ceilRatio;
    const double du = 2.0 * scale / S, dv = 2.0 * scale / H;
    const double f[3] = {du * t[0], dv * t[1], du * t[2]};
    double mo[3], m1[3], m2[3];
    scaled(o, f, mo);
    scaled(p1, f, m1);
    scaled(p2, f, m2);
    vtkTextureMapToPlane* map = _planes[i].map;
    map->SetInputConnection(plane->GetOutputPort());
    map->SetOrigin(mo);
    map->SetPoint1(m1);
    map->SetPoint2(m2);
    map->AutomaticPlaneGenerationOff();
    map->Update();
  }
}

void Environment::applySettings(IconTextureCache* cache, const SceneViewSettings& settings,
                                const std::string& fallback) {
  vtkSmartPointer<OpenVRTexture> floorTexture, ceilingTexture;
  if (cache) {
    cache->getTexture(floorTexture, settings.floorTexFileName, 0, fallback);
    cache->getTexture(ceilingTexture, settings.ceilTexFileName, 0, fallback);
  }
  _floorTexture = settings.floorTexFileName;
  _ceilingTexture = settings.ceilTexFileName;
  _floorScale = settings.floorTexScale;
  _ceilingScale = settings.ceilTexScale;
  buildPlanes(_floorScale, _ceilingScale, floorTexture ? floorTexture->GetWidth() : 1,
              floorTexture ? floorTexture->GetHeight() : 1, ceilingTexture ? ceilingTexture->GetWidth() : 1,
              ceilingTexture ? ceilingTexture->GetHeight() : 1);
  for (const auto& texture : {floorTexture, ceilingTexture})
    if (texture) ApplyRoomTextureFilter(texture->GetIndex());
  _actors[0]->SetTexture(ceilingTexture);
  _actors[1]->SetTexture(floorTexture);
}

void Environment::buildEnvironment(vtkRenderer* renderer, IconTextureCache* cache, const SceneViewSettings& settings) {
  applySettings(cache, settings, std::string());
  _append->RemoveAllInputs();
  for (int i = 1; i < 6; ++i) _append->AddInputConnection(_planes[i].map->GetOutputPort());

  const bool useFog = GetConfigBool("useFog", true);
  const std::array<double, 3> fog[2] = {configColor("ceilFogColorRGB", {0.6, 0.6, 0.625}),
                                        configColor("floorFogColorRGB", {0.5, 0.5, 0.5})};
  for (int a = 0; a < 2; ++a) {
    vtkNew<vtkPolyDataMapper> mapper;
    mapper->SetInputConnection(a == 0 ? _append->GetOutputPort() : _planes[0].map->GetOutputPort());
    mapper->ScalarVisibilityOff();
    {
      RestoreThreadFlag unfrozen(false);
      mapper->Update();
    }
    OpenVRActor* actor = _actors[a];
    actor->SetFogColor(fog[a].data());
    actor->SetMapper(mapper);
    actor->SetFogColorOverride(useFog);
    actor->SetDepthTestDisabled(0);
    kvg::SetPropLighting(actor, kvg::PropLighting::Unlit);
    actor->GetProperty()->SetColor(1.0, 1.0, 1.0);
    vtkNew<vtkMatrix4x4> user;
    actor->SetUserMatrix(user);
    if (renderer) renderer->AddActor(actor);
  }
  _built = true;
}

void Environment::build(vtkRenderer* renderer, IconTextureCache* cache, const SceneViewSettings& settings) {
  if (!_built) {
    buildEnvironment(renderer, cache, settings);
    return;
  }
  applySettings(cache, settings, GetRoomTextureFallback());
  RestoreThreadFlag unfrozen(false);
  for (const auto& actor : _actors)
    if (vtkMapper* mapper = actor->GetMapper()) mapper->Update();
}

bool Environment::differsFrom(const SceneViewSettings& settings) const {
  return settings.floorTexFileName != _floorTexture || settings.ceilTexFileName != _ceilingTexture ||
         settings.floorTexScale != _floorScale || settings.ceilTexScale != _ceilingScale;
}

void Environment::setVisible(bool visible) {
  for (const auto& actor : _actors) actor->SetVisibility(visible ? 1 : 0);
}

bool Environment::isVisible() const { return _actors[0]->GetVisibility() != 0; }

void Environment::followPose(const double modelMatrix[16], bool shown) {
  setVisible(shown);
  if (!shown) return;
  double n[16];
  for (int i = 0; i < 16; ++i) n[i] = modelMatrix[i];
  for (int r = 0; r < 3; ++r)
    n[r * 4 + 3] += modelMatrix[r * 4] * _origin[0] + modelMatrix[r * 4 + 1] * _origin[1] +
                    modelMatrix[r * 4 + 2] * _origin[2];
  for (const auto& actor : _actors) {
    if (!actor->GetUserMatrix()) {
      vtkNew<vtkMatrix4x4> matrix;
      actor->SetUserMatrix(matrix);
    }
    actor->GetUserMatrix()->DeepCopy(n);
    actor->GetUserMatrix()->Modified();
  }
}

bool Environment::translate(const double offset[3]) {
  for (int i = 0; i < 3; ++i) _origin[i] += offset[i];
  return true;
}

void Environment::setPosition(const double origin[3]) {
  for (int i = 0; i < 3; ++i) _origin[i] = origin[i];
}

void Environment::copyStateFrom(const Environment& other) {
  setPosition(other._origin);
  setVisible(other._shown);
}
