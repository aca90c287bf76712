#pragma once
#include <string>

namespace scenegen {

// Writes folder/sample_vr.sce and its data files under folder/sample_vr_data: air flowing at
// 10 m/s past a cylinder standing on a ground plate, with vortex shedding in its wake.
void writeSampleScene(const std::string& folder);

}  // namespace scenegen
