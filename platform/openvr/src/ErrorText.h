#pragma once
// Names and user-facing descriptions of the runtime's enumerations.
#include "openvr.h"

namespace vrsim {

const char* initErrorSymbol(vr::EVRInitError error);
const char* initErrorDescription(vr::EVRInitError error);
const char* propertyErrorName(vr::ETrackedPropertyError error);
const char* eventTypeName(vr::EVREventType type);
const char* buttonName(vr::EVRButtonId button);
const char* axisTypeName(vr::EVRControllerAxisType type);
const char* renderModelErrorName(vr::EVRRenderModelError error);

}  // namespace vrsim
