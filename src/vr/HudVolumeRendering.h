#pragma once
// What the HUD snapshot changes in a drawable session's volume rendering (enable flag, quality,
// plane sections, iso values) and puts back afterwards, so the user's sections and iso-surfaces
// are still there in the next frame. Runs on the back-buffer updater thread with the snapshot.
#include <vector>

#include "AnalysisValues.h"
#include "SimplePlaneSection.h"

namespace kvg {
class DrawableSession;
}

struct HudVolumeRenderingState {
  bool saved = false;
  bool enabled = false;
  double quality = 0.5;
  std::vector<kvg::SimplePlaneSection> persistentSections;
  kvg::SimplePlaneSection interactiveSection;
  kvg::IsoValueList persistentIsoValues;
  kvg::IsoValue interactiveIsoValue{std::string(), kvg::NoValue};
};

// Remembers the session's volume rendering, then renders it enabled, at quality 1 and without
// plane sections or iso values. Null session: nothing to do.
HudVolumeRenderingState PrepareVolumeRenderingForHud(kvg::DrawableSession* session);
// Puts back everything PrepareVolumeRenderingForHud changed.
void RestoreVolumeRenderingAfterHud(kvg::DrawableSession* session, const HudVolumeRenderingState& state);
