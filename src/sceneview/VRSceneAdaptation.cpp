#include "VRSceneAdaptation.h"

#include <array>

#include <vtkDataArray.h>
#include <vtkDoubleArray.h>
#include <vtkPointData.h>
#include <vtkPolyData.h>
#include <vtkSmartPointer.h>

#include "Configuration.h"
#include "SceneViewSettings.h"
#include "kvg/AnimationAttributes.h"
#include "kvg/BaseAttributes.h"
#include "kvg/BaseCanvasAttributes.h"
#include "kvg/BoundedPlaneAxisAttribute.h"
#include "kvg/CollectionNode.h"
#include "kvg/GlyphAttributes.h"
#include "kvg/GridDrawable.h"
#include "kvg/LICDrawable.h"
#include "kvg/LabelDrawable.h"
#include "kvg/LineAttributes.h"
#include "kvg/PointSphereAttributes.h"
#include "kvg/PointSphereDrawable.h"
#include "kvg/PolyDataNode.h"
#include "kvg/PolyLineDrawable.h"
#include "kvg/RayTraceAttributes.h"
#include "kvg/SceneGridDrawable.h"
#include "kvg/SphereDrawable.h"
#include "kvg/TriadDrawable.h"
#include "kvg/VectorSurfaceDrawable.h"
#include "kvg/WidgetDrawableAttributes.h"

namespace VRSceneAdaptation {

namespace {

const char* const kRadiiArray = "radii";

template <class T>
void hideAll(kvg::DrawableSession& session) {
  for (T* drawable : collectAttributes<T>(session)) hideDrawable(drawable);
}

template <class T>
void hideNamed(kvg::DrawableSession& session, const std::string& name) {
  for (T* drawable : collectAttributes<T>(session))
    if (drawable->getName() == name) hideDrawable(drawable);
}

// The poly data's "radii" point array as 3 x points doubles, every component r. An array of
// that name holding another type is replaced: the sphere mapper reads doubles.
void fillRadii(vtkPolyData* polyData, double r) {
  vtkPointData* pointData = polyData->GetPointData();
  vtkDoubleArray* radii = vtkDoubleArray::SafeDownCast(pointData->GetAbstractArray(kRadiiArray));
  if (!radii) {
    pointData->RemoveArray(kRadiiArray);
    auto created = vtkSmartPointer<vtkDoubleArray>::New();
    created->SetName(kRadiiArray);
    pointData->AddArray(created);
    radii = created;
  }
  radii->SetNumberOfComponents(3);
  radii->SetNumberOfTuples(polyData->GetNumberOfPoints());
  radii->FillValue(r);
  radii->Modified();
}

}  // namespace

void hideDrawable(kvg::Drawable* drawable) {
  if (!drawable) return;
  if (kvg::BaseAttributes* base = drawable->hasBaseAttributes()) base->setVisibility(false, false);
}

void enforceMinimumLineWidth(kvg::DrawableSession& session) {
  for (kvg::LineAttributes* line : collectAttributes<kvg::LineAttributes>(session))
    if (line->getLineWidth() <= 2.0) line->setLineWidth(2.0);
}

void hideTriads(kvg::DrawableSession& session) { hideAll<kvg::TriadDrawable>(session); }

void hideBoundedPlaneAxes(kvg::DrawableSession& session) {
  for (kvg::BoundedPlaneAxisAttribute* axis : collectAttributes<kvg::BoundedPlaneAxisAttribute>(session))
    axis->setShowAxis(false);
}

void hidePickLine(kvg::DrawableSession& session) {
  hideNamed<kvg::PolyLineDrawable>(session, "PickLine");
  hideNamed<kvg::SphereDrawable>(session, "PickLineStart");
  hideNamed<kvg::SphereDrawable>(session, "PickLineEnd");
}

void hideGridAxes(kvg::DrawableSession& session) {
  for (kvg::GridDrawable* grid : collectAttributes<kvg::GridDrawable>(session)) grid->setShowAxis(false);
}

void resetTransparencyMode(kvg::DrawableSession& session) {
  for (kvg::BaseCanvasAttributes* canvas : collectAttributes<kvg::BaseCanvasAttributes>(session))
    canvas->setTranparencyMode(0);
}

void hideSpacedGlyphSurfaces(kvg::DrawableSession& session) {
  for (kvg::VectorSurfaceDrawable* surface : collectAttributes<kvg::VectorSurfaceDrawable>(session)) {
    const kvg::GlyphAttributes* glyphs = surface->hasGlyphAttributes();
    if (glyphs && glyphs->getSpacingMode() == 1) hideDrawable(surface);
  }
}

void applyPointRadii(kvg::DrawableSession& session) {
  const double r = GetConfigReal("defaultPointRadius", 0.005);
  for (kvg::PointSphereDrawable* drawable : collectAttributes<kvg::PointSphereDrawable>(session)) {
    if (!drawable) continue;
    if (kvg::PointSphereAttributes* spheres = drawable->getPointSphereAttributes()) {
      spheres->setPointRadiusOption(1);
      spheres->setPointStyle(0);
      spheres->setRadiusRangeParams(0.0, 0.0, -1.0, -1.0);
      if (spheres->getRadiusDataArray() != kRadiiArray) spheres->setRadiusDataArray(kRadiiArray);
    }
    const auto* collection = drawable->getDataNode().tryCast<kvg::CollectionNode>();
    if (!collection) continue;
    kvg::CollectionNode::Iterator it(*collection);
    while (it.traverse()) {
      const kvg::Ptr<kvg::Node> node = it.getNode();
      if (const auto* polyDataNode = node.tryCast<kvg::PolyDataNode>()) fillRadii(polyDataNode->getPolyData(), r);
    }
  }
}

void disableAdvancedRendering(kvg::DrawableSession& session) {
  for (kvg::BaseAttributes* base : collectAttributes<kvg::BaseAttributes>(session))
    base->setAdvancedRenderingEnabled(false);
  for (kvg::RayTraceAttributes* rayTrace : collectAttributes<kvg::RayTraceAttributes>(session))
    rayTrace->setEnabled(false);
}

void applyHighlighting(kvg::DrawableSession& session) {
  for (kvg::BaseAttributes* base : collectAttributes<kvg::BaseAttributes>(session)) {
    if (!base->getHighlightEnabled()) continue;
    base->setVisibility(GetConfigBool("showColorsForHighlighting", false), false);
    base->setHighlightEnabled(false);
  }
  hideAll<kvg::LabelDrawable>(session);
}

void hideSceneGrids(kvg::DrawableSession& session) { hideAll<kvg::SceneGridDrawable>(session); }

void refreshLicDrawables(kvg::DrawableSession& session) {
  for (kvg::LICDrawable* lic : collectAttributes<kvg::LICDrawable>(session)) {
    if (!lic->getDataNode().tryCast<kvg::CollectionNode>()) continue;
    lic->setDataNode(nullptr);
    lic->modified();
  }
}

void applyWidgetColors(kvg::DrawableSession& session, const SceneViewSettings& settings) {
  for (kvg::WidgetDrawableAttributes* widget : collectAttributes<kvg::WidgetDrawableAttributes>(session)) {
    widget->setSnappingAngle(settings.snappingAngle);
    const std::array<double, 3> highlight =
        GetConfigVector3("widgetHighlightColor", std::array<double, 3>{0.79, 0.14, 0.57});
    widget->setWidgetHighlightColor(highlight.data());
    const std::array<double, 3> normal = GetConfigVector3("widgetDefaultColor", std::array<double, 3>{0.39, 0.1, 0.37});
    widget->setWidgetDefaultColor(normal.data());
  }
}

void disableAnimations(kvg::DrawableSession& session) {
  for (kvg::AnimationAttributes* animation : collectAttributes<kvg::AnimationAttributes>(session))
    animation->setAnimationEnabled(false);
}

void AdaptSceneForVR(kvg::DrawableSession& session, const SceneViewSettings& settings, bool disableAnimation) {
  enforceMinimumLineWidth(session);
  hideTriads(session);
  hideBoundedPlaneAxes(session);
  hidePickLine(session);
  hideGridAxes(session);
  resetTransparencyMode(session);
  hideSpacedGlyphSurfaces(session);
  applyPointRadii(session);
  disableAdvancedRendering(session);
  applyHighlighting(session);
  hideSceneGrids(session);
  refreshLicDrawables(session);
  applyWidgetColors(session, settings);
  if (disableAnimation) disableAnimations(session);
}

}  // namespace VRSceneAdaptation
