#include "HudVolumeRendering.h"

// The scene graph's volume rendering manager is not part of this library's dependencies yet;
// until it is, the snapshot leaves a session's volume rendering as it is.

HudVolumeRenderingState PrepareVolumeRenderingForHud(kvg::DrawableSession*) { return HudVolumeRenderingState(); }

void RestoreVolumeRenderingAfterHud(kvg::DrawableSession*, const HudVolumeRenderingState&) {}
