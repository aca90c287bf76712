// The hand tools that act on the scene (seeds, colour bar, plane sections, clip planes).
// Render thread.
#include <cfloat>
#include <cmath>

#include "Configuration.h"
#include "ToolGeometry.h"
#include "SeedMarker.h"
#include "VRInteractionState.h"

// The tools below report that they did not act until their scene work exists; the dispatch
// then marks their icon as failed and gives the hand its haptic pulse, as for any tool that
// finds nothing to act on.
bool VRInteractionState::handleSeedTool(int hand, int mode, vtkRenderer* renderer, kvg::DrawableScene& scene) {
  toolSets[hand].setToolIconState(0, true, 7);
  toolSets[hand].setToolIconState(1, false, 7);
  toolSets[hand].setToolIconState(2, false, 7);
  return false;
}

bool VRInteractionState::handleColorBarTool(int hand, int mode, vtkRenderer* renderer, kvg::DrawableScene& scene) {
  return false;
}

bool VRInteractionState::handlePlaneSectionTool(int hand, int mode, vtkRenderer* renderer, kvg::DrawableScene& scene,
                                                const SceneViewSettings& settings) {
  return false;
}

bool VRInteractionState::handleClipTool(int hand, int mode, const SceneViewSettings& settings) { return false; }

bool VRInteractionState::placeSeedMarker(int hand, int row, int column, vtkRenderer* renderer,
                                         kvg::DrawableScene& scene) {
  const bool ok = handleSeedTool(hand, 0, renderer, scene);
  if (!ok) triggerHapticPulse(controllerInputs[hand]);
  toolSets[hand].toolStatus.set(row, column, ok);
  const std::array<double, 3> color = GetConfigVector3("seedMarkerRGB", {0.0, 0.37255, 0.52941});
  for (const auto& marker : seedMarkers)
    if (marker.isValid()) marker->setColor(color.data());
  if (seedMarkers.empty()) return ok;
  // The marker nearest to the tool tip; of equal distances the later one.
  double tip[3];
  computeToolTipPosition(controllerInputs[hand], modelMatrix, hand, tip);
  double best = FLT_MAX;
  size_t nearest = seedMarkers.size() - 1;
  for (size_t i = seedMarkers.size(); i-- > 0;) {
    if (!seedMarkers[i].isValid()) continue;
    const double* c = seedMarkers[i]->getCenter();
    const double d = std::sqrt((c[0] - tip[0]) * (c[0] - tip[0]) + (c[1] - tip[1]) * (c[1] - tip[1]) +
                               (c[2] - tip[2]) * (c[2] - tip[2]));
    if (d < best) {
      best = d;
      nearest = i;
    }
  }
  const std::array<double, 3> highlight = GetConfigVector3("seedMarkerHighlightRGB", {0.1, 1.0, 1.5});
  if (seedMarkers[nearest].isValid()) seedMarkers[nearest]->setColor(highlight.data());
  return ok;
}
