// Edits a participant made while another's state with the same stamp won at the service: what
// the receiver applies keeps both sides' changes.
#include <gtest/gtest.h>

#include <vector>

#include "SharedStateMerge.h"

namespace {

kvg::VRSharedState withSeeds(const std::vector<double>& seeds) {
  kvg::VRSharedState s;
  s.setSeedPoints(seeds);
  return s;
}

}  // namespace

TEST(SharedStateMerge, BothSidesEditsSurviveAndNothingIsDoubled) {
  struct Case {
    const char* what;
    std::vector<double> base, local, received, merged;
  };
  const std::vector<Case> cases = {
      {"both added one", {1, 1, 1}, {1, 1, 1, 2, 2, 2}, {1, 1, 1, 3, 3, 3}, {1, 1, 1, 3, 3, 3, 2, 2, 2}},
      {"both added the same", {}, {2, 2, 2}, {2, 2, 2}, {2, 2, 2}},
      {"local removed, other added", {1, 1, 1}, {}, {1, 1, 1, 3, 3, 3}, {3, 3, 3}},
      {"other removed, local added", {1, 1, 1}, {1, 1, 1, 2, 2, 2}, {}, {2, 2, 2}},
      {"no local edit", {1, 1, 1}, {1, 1, 1}, {3, 3, 3}, {3, 3, 3}},
      {"local added at join", {}, {2, 2, 2}, {1, 1, 1}, {1, 1, 1, 2, 2, 2}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    kvg::VRSharedState received = withSeeds(c.received);
    received.setID(7);
    received.setTimeStamp(12);
    const kvg::VRSharedState merged = MergeUnpublishedEdits(withSeeds(c.base), withSeeds(c.local), received);
    EXPECT_EQ(merged.getSeedPoints(), c.merged);
    EXPECT_EQ(merged.getID(), 7);
    EXPECT_EQ(merged.getTimeStamp(), 12u);
  }
}

TEST(SharedStateMerge, PlanesIsoValuesAndSharedValuesFollowTheSameRule) {
  const std::vector<double> plane = {0, 0, 0, 0, 1, 0, 1, 0, 0}, other = {0, 0, 1, 0, 1, 0, 1, 0, 0};
  kvg::VRSharedState base, local, received;
  local.setClipPlanes(plane);
  received.setPlaneSections(other);
  base.setIsoValues({{"p", 1.0}});
  local.setIsoValues({{"p", 1.0}, {"p", 2.0}});
  received.setIsoValues({});
  base.setShareableState(1);
  local.setShareableState(1 | 4);
  received.setShareableState(0);
  local.setParticleStepScale(2.0);
  const kvg::VRSharedState merged = MergeUnpublishedEdits(base, local, received);
  EXPECT_EQ(merged.getClipPlanes(), plane);
  EXPECT_EQ(merged.getPlaneSections(), other);
  ASSERT_EQ(merged.getIsoValues().size(), 1u);
  EXPECT_EQ(merged.getIsoValues()[0].second, 2.0);
  EXPECT_EQ(merged.getShareableState(), 4u);
  EXPECT_EQ(merged.getParticleStepScale(), 2.0);
}
