#include "calc/table/time_axis.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/run_options.h"
#include "base/status.h"
#include "calc/table/table_walk.h"

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

// A line that fails ends the walk there: no later line is handed on, not
// even the closing one, nothing is counted for it, and the walk says why.
TEST(TableWalk, FailedLineEndsTheWalk) {
  struct Case {
    const char* name;
    double fail_at;  // the time whose line fails; -1 for none
    bool converge;   // the table reaches equilibrium at its first axis point
    std::vector<double> handed;
    int count;
  };
  const Case cases[] = {
      {"no failure", -1, false, {0, 1, 3, 7, 15, 20}, 5},
      {"the time-0 line", 0, false, {0}, 0},
      {"an axis point", 7, false, {0, 1, 3, 7}, 2},
      {"the last axis point", 20, false, {0, 1, 3, 7, 15, 20}, 4},
      {"converged, no failure", -1, true, {0, 1, 20}, 1},
      {"the closing line", 20, true, {0, 1, 20}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RunOptions opts;
    opts.t0 = 0.0;
    opts.t8 = 20.0;
    opts.tinc = 2.0;
    std::vector<double> handed;
    TableWalk walk(opts, 1.0, 1, [&](double t, double*) {
      handed.push_back(t);
      return t == c.fail_at ? Failure(1, "line at %g\n", t) : Status{};
    });
    double p0 = 1.0;
    walk.Start(&p0);
    std::vector<double> times;
    while (walk.NextBlock(times, 2)) {
      for (double t : times) {
        double p = 1.0;
        walk.Take(t, &p);
        if (c.converge && walk.Converged(true)) break;
      }
    }
    EXPECT_EQ(walk.Finish(), c.count);
    EXPECT_EQ(handed, c.handed);
    if (c.fail_at < 0) {
      EXPECT_TRUE(walk.status().ok());
    } else {
      EXPECT_EQ(walk.status().exit_status, 1);
      EXPECT_EQ(walk.status().message,
                "line at " + std::to_string(static_cast<int>(c.fail_at)) + "\n");
    }
  }
}

}  // namespace
