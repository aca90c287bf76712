#pragma once
// The markers and plane/iso-value hand-overs of an interaction state that the tools, the
// buffer swap and the scene set-up call. Thread of the state's owner.
#include "AnalysisValues.h"

class OpenVRRenderWindow;
class VRInteractionState;
class vtkRenderer;
struct SceneViewSettings;
namespace kvg {
class DrawableScene;
class DrawableSession;
class SimplePlaneSection;
}  // namespace kvg

// After a buffer swap: the destination's seed, plane-section and iso-value markers follow the
// source's in number and shape, built in the scene's own renderers (none without a model
// renderer; such entries are built at a later swap).
void CreateMarkers(VRInteractionState& destination, const VRInteractionState& source, kvg::DrawableScene& scene);
// Seed markers (in the scene's model renderer) for the seeds of the session's particle
// advection that have none; then every marker re-shaped to the flow at its seed.
void CreateSeedMarkersFromParticles(VRInteractionState& state, kvg::DrawableScene& scene);
// Every seed marker inside the flow re-shaped to the flow at its seed (cone opening downstream).
void refreshSeedMarkerShapes(VRInteractionState& state, kvg::DrawableSession* session);
// The persistent iso values (with the peers') and the interactive one to the session's volume
// renderer.
void ApplyIsoValues(VRInteractionState& state, kvg::DrawableScene& scene, const SceneViewSettings& settings);
// Iso-value mode switched by a scene's volume state. Off: the state's interactive iso value
// becomes none and every iso-value marker (the avatars' pooled ones too) is hidden. On: the
// colour-bar tool runs again for hand 1, then hand 0, so the value follows the tool, and the
// markers show on hand 1. Either way the session's volume renderer takes the state's value.
void SetInteractiveIsoValue(VRInteractionState& state, kvg::DrawableScene& scene, vtkRenderer* renderer, bool on);
// The interactive plane section switched the same way. Off: the state's section becomes none.
// On: hand 0's plane-section tool runs again and recomputes it. The session's volume renderer
// takes the state's section.
void SetInteractivePlaneSection(VRInteractionState& state, kvg::DrawableScene& scene, vtkRenderer* renderer,
                                const SceneViewSettings& settings, bool on);
// Once per state: the clip-plane limit of the driver and one hidden clip-plane marker per
// plane in the widget layer ("clip2.png" normal, "clip_bw2.png" highlighted). The GL context
// of the window must be current.
void CreateClipToolVisual(VRInteractionState& state, OpenVRRenderWindow* window);
// One box per volume of the scene, rebuilt only when the volumes' bounds changed; false
// without a renderer.
bool refreshVolumeRepresentations(VRInteractionState& state, vtkRenderer* renderer, kvg::DrawableScene& scene);
// Every iso-value marker taken out of the window's "vrModels" layer; the list emptied.
void clearIsoValueMarkers(VRInteractionState& state, OpenVRRenderWindow* window);
// The flow direction at a point (default (1, 0, 0)); false outside the particle field or
// where it has no value.
bool probeParticleDirection(const double point[3], double direction[3], kvg::DrawableSession* session);
