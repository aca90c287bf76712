#include "ReceivedStateBounds.h"

#include <algorithm>
#include <vector>

namespace {

void note(std::string& phrase, size_t count, const char* what) {
  if (count == 0) return;
  if (!phrase.empty()) phrase += ", ";
  phrase += std::to_string(count) + " " + what;
}

// Keeps the first `items` items of `width` values each.
size_t trim(std::vector<double>& values, size_t width, size_t items) {
  const size_t whole = values.size() / width;
  const size_t refused = whole > items ? whole - items : 0;
  values.resize(std::min(whole, items) * width);
  return refused;
}

}  // namespace

std::string ReceivedStateBounds::bound(kvg::VRSharedState& state) {
  std::string phrase;
  if (state.getSeedPoints().size() > MAX_SEED_POINTS * 3) {
    std::vector<double> v = state.getSeedPoints();
    note(phrase, trim(v, 3, MAX_SEED_POINTS), "seed points");
    state.setSeedPoints(v);
  }
  if (state.getPlaneSections().size() > MAX_PLANE_SECTIONS * 9) {
    std::vector<double> v = state.getPlaneSections();
    note(phrase, trim(v, 9, MAX_PLANE_SECTIONS), "plane sections");
    state.setPlaneSections(v);
  }
  if (state.getClipPlanes().size() > MAX_CLIP_PLANES * 9) {
    std::vector<double> v = state.getClipPlanes();
    note(phrase, trim(v, 9, MAX_CLIP_PLANES), "clip planes");
    state.setClipPlanes(v);
  }
  const auto& iso = state.getIsoValues();
  if (iso.size() > MAX_ISO_VALUES) {
    note(phrase, iso.size() - MAX_ISO_VALUES, "iso values");
    state.setIsoValues(std::vector<kvg::VRSharedState::IsoValue>(iso.begin(), iso.begin() + MAX_ISO_VALUES));
  }
  return phrase;
}

std::string ReceivedStateBounds::bound(kvg::VRClientState& state) {
  const auto iso = state.getIsoField();
  if (iso.first.size() <= kvg::VRSharedState::MAX_NAME_LENGTH) return std::string();
  state.setIsoField({std::string(), kvg::VRClientState::NO_TOOL});
  return "an iso value with a field name of " + std::to_string(iso.first.size()) + " bytes";
}
