#include "HudVolumeRendering.h"

#include "VolumeRenderingManager.h"

HudVolumeRenderingState PrepareVolumeRenderingForHud(kvg::DrawableSession* session) {
  HudVolumeRenderingState state;
  if (!session) return state;
  kvg::VolumeRenderingManager& volumes = kvg::VolumeRenderingManager::getSingleton(session);
  state.saved = true;
  state.enabled = volumes.getEnableVolRend();
  state.quality = volumes.getVolRendQuality();
  state.persistentSections = volumes.getPersistentPlaneSections();
  state.interactiveSection = volumes.getInteractivePlaneSection();
  state.persistentIsoValues = volumes.getPersistentIsoValues();
  state.interactiveIsoValue = volumes.getInteractiveIsoValue();

  volumes.setVolRendQuality(1.0);
  volumes.setEnableVolRend(true);
  volumes.setPersistentPlaneSections({});
  volumes.setInteractivePlaneSection(kvg::SimplePlaneSection());
  volumes.setPersistentIsoValues({});
  volumes.setInteractiveIsoValue(kvg::IsoValue(std::string(), kvg::NoValue));
  return state;
}

void RestoreVolumeRenderingAfterHud(kvg::DrawableSession* session, const HudVolumeRenderingState& state) {
  if (!session || !state.saved) return;
  kvg::VolumeRenderingManager& volumes = kvg::VolumeRenderingManager::getSingleton(session);
  volumes.setEnableVolRend(state.enabled);
  volumes.setVolRendQuality(state.quality);
  // Without these the snapshot would wipe the user's sections and iso-surfaces until a tool
  // handed them over again.
  volumes.setPersistentPlaneSections(state.persistentSections);
  volumes.setInteractivePlaneSection(state.interactiveSection);
  volumes.setPersistentIsoValues(state.persistentIsoValues);
  volumes.setInteractiveIsoValue(state.interactiveIsoValue);
}
