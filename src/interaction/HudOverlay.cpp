#include "HudOverlay.h"

#include <algorithm>
#include <cmath>

#include <vtkCylinderSource.h>
#include <vtkImageData.h>
#include <vtkPointData.h>
#include <vtkUnsignedCharArray.h>
#include <vtkMatrix4x4.h>
#include <vtkNew.h>
#include <vtkPolyDataMapper.h>
#include <vtkProperty.h>
#include <vtkRenderer.h>
#include <vtkTransform.h>
#include <vtkTexture.h>
#include <vtkTransformTextureCoords.h>

#include "Configuration.h"
#include "FreezablePipeline.h"
#include "OpenVRActor.h"
#include "OpenVRTexture.h"
#include "kvg/PropLighting.h"

namespace {
// Metres from the eyes to the nearest point of the band straight ahead.
constexpr double kHudNearestDepth = 0.3;

enum class PanelImage { Unknown, Empty, Opaque, Translucent };

// What the alpha of an RGBA image allows: nothing to draw, an opaque draw (every texel wholly
// opaque or wholly transparent; the transparent ones are discarded), or blending.
PanelImage classify(vtkImageData* image) {
  auto* scalars = image ? vtkUnsignedCharArray::SafeDownCast(image->GetPointData()->GetScalars()) : nullptr;
  if (!scalars || scalars->GetNumberOfComponents() != 4 || scalars->GetNumberOfTuples() == 0)
    return PanelImage::Unknown;
  const unsigned char* p = scalars->GetPointer(0);
  const vtkIdType n = scalars->GetNumberOfTuples();
  bool any = false;
  for (vtkIdType i = 0; i < n; ++i) {
    const unsigned char a = p[4 * i + 3];
    if (a != 0 && a != 255) return PanelImage::Translucent;
    any = any || a != 0;
  }
  return any ? PanelImage::Opaque : PanelImage::Empty;
}

}  // namespace

HudOverlay::HudOverlay()
    : _actor(OpenVRActor::New()),
      _cylinder(vtkCylinderSource::New()),
      _transform(vtkTransform::New()),
      _texCoordTransform(vtkTransformTextureCoords::New()) {}

HudOverlay::~HudOverlay() {
  _texCoordTransform->Delete();
  _transform->Delete();
  _texture = nullptr;
  _cylinder->Delete();
  _actor->Delete();
}

bool HudOverlay::build(vtkRenderer* renderer, OpenVRTexture* texture, double height, double radius) {
  _cylinder->SetCenter(0.0, 0.0, 0.0);
  _cylinder->SetHeight(GetConfigReal("hudSize", 0.35));
  _cylinder->SetRadius(radius);
  _cylinder->SetResolution(1000);
  _cylinder->SetCapping(0);
  {
    RestoreThreadFlag unfrozen(false);
    _cylinder->Update();
  }
  _texCoordTransform->SetInputConnection(_cylinder->GetOutputPort(0));
  // The second factor turns the picture upright.
  _texCoordTransform->SetScale(M_PI * radius / height, -1.0, 1.0);

  vtkNew<vtkPolyDataMapper> mapper;
  mapper->SetInputConnection(_texCoordTransform->GetOutputPort());
  mapper->ScalarVisibilityOff();

  _texture = texture;
  if (_texture) {
    _texture->SetBlendingMode(1);
    _texture->EdgeClampOff();
    _texture->SetRepeat(0);
    // Outside the picture the band shows the transparent border, not the picture's edge
    // texels stretched round the cylinder.
    _texture->SetWrap(vtkTexture::ClampToBorder);
  }
  kvg::SetPropLighting(_actor, kvg::PropLighting::Unlit);
  _actor->GetProperty()->SetColor(1.0, 1.0, 1.0);
  _actor->SetMapper(mapper);
  _actor->SetTexture(_texture);
  _actor->SetDepthTestDisabled(GetConfigBool("hudAlwaysOnTop", false) ? 1 : 0);
  vtkNew<vtkMatrix4x4> user;
  _actor->SetUserMatrix(user);
  if (renderer) renderer->AddActor(_actor);

  RestoreThreadFlag unfrozen(false);
  mapper->Update();
  return true;
}

void HudOverlay::update(const double headPose[16], bool visible, double distance) {
  _actor->SetVisibility(visible ? 1 : 0);
  if (!visible) return;
  // A panel whose image is drawn for it (the HUD snapshot) costs no translucent pass of its
  // layer unless the image needs blending.
  if (vtkImageData* image = _texture ? _texture->GetInput() : nullptr) {
    if (image->GetMTime() != _classifiedImageTime) {
      _classifiedImageTime = image->GetMTime();
      const PanelImage content = classify(image);
      _actor->SetShowsNothing(content == PanelImage::Empty);
      _actor->SetForceOpaque(content == PanelImage::Opaque);
    }
  }
  if (distance != _distance) {
    _distance = distance;
    const double r = _cylinder->GetRadius();
    const double h = _cylinder->GetHeight();
    if (h != 0.0) _texCoordTransform->SetScale(M_PI * r * distance / h, -1.0, 1.0);
    RestoreThreadFlag unfrozen(false);
    _texCoordTransform->Update();
  }
  const double curvature = GetConfigReal("hudCurvature", 0.5);
  // The band's front stays beyond the camera's near plane (0.2 m), which the default radius
  // and curvature alone would put it inside of.
  const double radius = _cylinder->GetRadius();
  double depthScale = curvature * distance;
  if (radius > 0.0) depthScale = std::max(depthScale, kHudNearestDepth / radius);
  _transform->Identity();
  _transform->Scale(distance, 1.0, depthScale);
  _transform->Update();
  vtkMatrix4x4* user = _actor->GetUserMatrix();
  if (!user) {
    vtkNew<vtkMatrix4x4> matrix;
    _actor->SetUserMatrix(matrix);
    user = matrix;
  }
  vtkMatrix4x4::Multiply4x4(headPose, _transform->GetMatrix()->GetData(), user->GetData());
  user->Modified();
}

void HudOverlay::requestTextureUpload() {
  if (_texture) _texture->RequestUpload();
}

void setPropVisible(HudOverlay& overlay, bool visible) { overlay.actor()->SetVisibility(visible ? 1 : 0); }

void copyPropVisibility(HudOverlay& overlay, const HudOverlay& other) {
  overlay.actor()->SetVisibility(other.actor()->GetVisibility());
}
