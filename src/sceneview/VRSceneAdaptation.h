#pragma once
// Adapts a drawable session's scene graph for the headset, in place: thin lines widened,
// triads, plane and grid axes, scene grids, labels and the pick line hidden, highlighting,
// advanced rendering and ray tracing off, transparency mode reset, vector surfaces with spaced
// glyphs hidden, point spheres given one radius per point, LIC drawables without their
// collection data, widget colours and snapping angle applied, and on request animations off.
//
// Entry point: AdaptSceneForVR(session, settings, disableAnimation) runs every step below in
// the order the back-buffer updater needs; call it in every updater pass that is not
// suspended, so that each server update of the scene is adapted again. The steps are also
// callable one by one.
//
// Back-buffer updater thread only, on the back buffer's session (which the render thread does
// not touch meanwhile). The configuration is read at each use.
#include <string>
#include <vector>

#include "kvg/DrawableSession.h"
#include "kvg/NodeRegistry.h"

struct SceneViewSettings;

namespace kvg {
class Drawable;
}

namespace VRSceneAdaptation {

// Every node of class T in the session's registry: keys whose class part (before the last
// '_', the whole key without one) is exactly T::getClassName(), the scene table first, then the
// run-time table when it is in use, each in key order. A node whose key names T but whose
// object is of another class is left out, so no step ever works on an object of the wrong
// type. Built anew at every call.
template <class T>
std::vector<T*> collectAttributes(kvg::DrawableSession& session) {
  return session.getNodeRegistry().template findNodesOfClass<T>();
}

// Hides a drawable through its base attributes (without telling the server); a drawable
// without base attributes is left alone.
void hideDrawable(kvg::Drawable* drawable);

// The steps, in the order AdaptSceneForVR runs them.
void enforceMinimumLineWidth(kvg::DrawableSession& session);
void hideTriads(kvg::DrawableSession& session);
void hideBoundedPlaneAxes(kvg::DrawableSession& session);
void hidePickLine(kvg::DrawableSession& session);
void hideGridAxes(kvg::DrawableSession& session);
void resetTransparencyMode(kvg::DrawableSession& session);
void hideSpacedGlyphSurfaces(kvg::DrawableSession& session);
// "defaultPointRadius" (0.005) into a 3-component "radii" point array of every poly data of a
// point-sphere drawable's collection, and the sphere attributes set to read it.
void applyPointRadii(kvg::DrawableSession& session);
void disableAdvancedRendering(kvg::DrawableSession& session);
// Highlighted drawables end visible only with "showColorsForHighlighting"; labels are hidden.
void applyHighlighting(kvg::DrawableSession& session);
void hideSceneGrids(kvg::DrawableSession& session);
void refreshLicDrawables(kvg::DrawableSession& session);
// The settings' snapping angle, "widgetHighlightColor" and "widgetDefaultColor".
void applyWidgetColors(kvg::DrawableSession& session, const SceneViewSettings& settings);
void disableAnimations(kvg::DrawableSession& session);

// Steps 1 to 13 in order, then disableAnimations when disableAnimation is true (the caller
// reads "disableAnimation").
void AdaptSceneForVR(kvg::DrawableSession& session, const SceneViewSettings& settings, bool disableAnimation);

}  // namespace VRSceneAdaptation
