#pragma once
// Two participants that publish in the same round trip send the same stamp, and the service
// keeps only the first: the other finds its edit missing from the state it receives. The
// receiver therefore carries what it changed since the last state it accepted (items it added
// and items it removed, and the shared values it changed) into the state it applies, and
// publishes the result with the next stamp.
#include "kvg/VRSharedState.h"

// The received state with the local edits made since base (the last accepted state) carried
// over: items local added are added unless received holds them already, items local removed
// are removed, shared values local changed take local's value. ID, stamp and mask stay
// received's.
kvg::VRSharedState MergeUnpublishedEdits(const kvg::VRSharedState& base, const kvg::VRSharedState& local,
                                         const kvg::VRSharedState& received);
