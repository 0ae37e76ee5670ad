#include "calc/table/time_axis.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<double> AllPoints(TimeAxis& axis, size_t block) {
  std::vector<double> all, times;
  while (axis.NextBlock(times, block)) all.insert(all.end(), times.begin(), times.end());
  return all;
}

TEST(TimeAxis, GeometricStepsEndExactlyAtStopTime) {
  // Blocks of any size lay out the same axis.
  for (size_t block : {1u, 3u, 64u}) {
    TimeAxis axis(1.0, 20.0, 2.0);
    EXPECT_EQ(AllPoints(axis, block), (std::vector<double>{1, 3, 7, 15, 20})) << block;
    EXPECT_FALSE(axis.stalled());
  }
}

TEST(TimeAxis, EdgeCases) {
  struct Case {
    double t0, t8, tinc;
    std::vector<double> points;
    bool stalled;
  };
  const Case cases[] = {
      {5.0, 2.0, 1.5, {2.0}, false},  // start beyond stop: one point at the stop time
      {1e300, 1.0, 2.0, {}, false},   // t0 + t8 == t0: no point at all
      {1.0, 10.0, 1.0, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, false},  // tinc 1: a linear axis
      {1.0, 10.0, 0.5, {1.0, 1.5, 1.75, 1.875}, false},          // shrinking steps, cut below
      // The smallest subnormal step times 1.02 rounds back to itself: the
      // axis ends after its first point instead of creeping for ever.
      {4.9e-324, 1e-322, 1.02, {4.9e-324}, true},
  };
  for (const Case& c : cases) {
    TimeAxis axis(c.t0, c.t8, c.tinc);
    std::vector<double> all = AllPoints(axis, 64);
    if (c.tinc >= 1.0) {
      EXPECT_EQ(all, c.points) << c.t0 << " " << c.t8 << " " << c.tinc;
      EXPECT_EQ(axis.stalled(), c.stalled);
    } else {
      // A shrinking step ends once it no longer moves the time forward.
      ASSERT_GE(all.size(), c.points.size());
      for (size_t k = 0; k < c.points.size(); ++k) EXPECT_EQ(all[k], c.points[k]);
      EXPECT_TRUE(axis.stalled());
      EXPECT_LT(all.back(), c.t8);
    }
  }
}

}  // namespace
