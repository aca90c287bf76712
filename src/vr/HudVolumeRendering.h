#pragma once
// What the HUD snapshot changes in a drawable session's volume rendering (enable flag, quality,
// plane sections, iso values) and puts back afterwards.
namespace kvg {
class DrawableSession;
}

struct HudVolumeRenderingState {
  bool saved = false;
};

// Remembers the session's volume rendering, then renders it enabled, at quality 1 and without
// plane sections or iso values. Null session: nothing to do.
HudVolumeRenderingState PrepareVolumeRenderingForHud(kvg::DrawableSession* session);
// Puts back everything PrepareVolumeRenderingForHud changed.
void RestoreVolumeRenderingAfterHud(kvg::DrawableSession* session, const HudVolumeRenderingState& state);
