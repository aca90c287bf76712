#include "SharedStateMerge.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

bool near(double a, double b) { return std::abs(a - b) <= 1e-9 * std::max(1.0, std::max(std::abs(a), std::abs(b))); }

// A flat list of items of n values each.
struct Items {
  const std::vector<double>& values;
  size_t n;
  size_t count() const { return values.size() / n; }
  const double* at(size_t i) const { return values.data() + i * n; }
  bool holds(const double* item) const {
    for (size_t i = 0; i < count(); ++i)
      if (std::equal(item, item + n, at(i), near)) return true;
    return false;
  }
};

std::vector<double> mergeItems(const std::vector<double>& base, const std::vector<double>& local,
                               const std::vector<double>& received, size_t n) {
  const Items b{base, n}, l{local, n}, r{received, n};
  std::vector<double> out;
  for (size_t i = 0; i < r.count(); ++i)
    if (!(b.holds(r.at(i)) && !l.holds(r.at(i)))) out.insert(out.end(), r.at(i), r.at(i) + n);
  for (size_t i = 0; i < l.count(); ++i)
    if (!b.holds(l.at(i)) && !r.holds(l.at(i))) out.insert(out.end(), l.at(i), l.at(i) + n);
  return out;
}

using IsoValues = std::vector<kvg::VRSharedState::IsoValue>;

bool holdsIso(const IsoValues& values, const kvg::VRSharedState::IsoValue& v) {
  return std::any_of(values.begin(), values.end(),
                     [&](const kvg::VRSharedState::IsoValue& w) { return w.first == v.first && near(w.second, v.second); });
}

IsoValues mergeIsoValues(const IsoValues& base, const IsoValues& local, const IsoValues& received) {
  IsoValues out;
  for (const auto& v : received)
    if (!(holdsIso(base, v) && !holdsIso(local, v))) out.push_back(v);
  for (const auto& v : local)
    if (!holdsIso(base, v) && !holdsIso(received, v)) out.push_back(v);
  return out;
}

}  // namespace

kvg::VRSharedState MergeUnpublishedEdits(const kvg::VRSharedState& base, const kvg::VRSharedState& local,
                                         const kvg::VRSharedState& received) {
  kvg::VRSharedState merged(received);
  merged.setSeedPoints(mergeItems(base.getSeedPoints(), local.getSeedPoints(), received.getSeedPoints(), 3));
  merged.setPlaneSections(
      mergeItems(base.getPlaneSections(), local.getPlaneSections(), received.getPlaneSections(), 9));
  merged.setClipPlanes(mergeItems(base.getClipPlanes(), local.getClipPlanes(), received.getClipPlanes(), 9));
  merged.setIsoValues(mergeIsoValues(base.getIsoValues(), local.getIsoValues(), received.getIsoValues()));
  if (local.getParticleStepScale() != base.getParticleStepScale())
    merged.setParticleStepScale(local.getParticleStepScale());
  if (local.getParticleRadiusScale() != base.getParticleRadiusScale())
    merged.setParticleRadiusScale(local.getParticleRadiusScale());
  // Bits of the shared UI word that local flipped keep local's value.
  const unsigned flipped = local.getShareableState() ^ base.getShareableState();
  merged.setShareableState((received.getShareableState() & ~flipped) | (local.getShareableState() & flipped));
  return merged;
}
