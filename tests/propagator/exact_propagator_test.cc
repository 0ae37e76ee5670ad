// The subtraction-free propagator against the multiple-precision reference
// of any generator: every population relatively right and printed as the
// exact value rounded, on reversible landscapes, on chains without detailed
// balance and on populations near the bottom of the double range; why the
// column rebuild is there; independence of the first step on a large
// landscape; and the refusal of bad arguments.
#include "propagator/exact_propagator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "calc/table/time_axis.h"
#include "tests/propagator/chains.h"
#include "tests/reference/reference_kinetics.h"
#include "tests/test_util.h"

namespace {

using chains::Chain;
using chains::DrivenCycle;
using chains::FromRatesFile;
using chains::Perturbed;
using chains::RandomStiff;

// A line of 32 states, downhill 1.0 and back 1e-3: started at one end, the
// far end fills as (t)^31 / 31! at early times, 6e-292 at t = 5e-9.
Chain UnderflowChain() {
  const int n = 32;
  Chain c{"underflow_chain", n, std::vector<double>(static_cast<size_t>(n) * n, 0.0)};
  for (int i = 0; i + 1 < n; ++i) {
    c.rate(i, i + 1) = 1.0;
    c.rate(i + 1, i) = 1e-3;
  }
  return c;
}

// The program's table axis from t0 to t8 by the factor f.
std::vector<double> Axis(double t0, double t8, double f) {
  TimeAxis axis(t0, t8, f);
  std::vector<double> times, block;
  while (axis.NextBlock(block, 1000)) times.insert(times.end(), block.begin(), block.end());
  return times;
}

std::string Printed(double x) {
  char text[32];
  snprintf(text, sizeof text, "%e", x);
  return text;
}

struct Comparison {
  double worst = 0.0;  // largest relative error over reference values >= 1e-300
  double smallest = 1.0;
  int misprints = 0;  // "%e" of the result differs from the reference rounded
  std::string where;
};

std::vector<double> StartIn(const Chain& c, int start) {
  std::vector<double> p0(static_cast<size_t>(c.n), 0.0);
  p0[static_cast<size_t>(start)] = 1.0;
  return p0;
}

// The propagator from `start` against `want`, the reference's populations.
Comparison Compare(const Chain& c, const std::vector<double>& times, int start,
                   const std::vector<std::vector<double>>& want) {
  PropagatorResult got;
  EXPECT_EQ(PropagatorStatus::kOk, PropagateExactly(c.n, c.u, StartIn(c, start), times, got));
  Comparison r;
  for (size_t k = 0; k < times.size(); ++k) {
    for (int i = 0; i < c.n; ++i) {
      const double x = got.populations[k * static_cast<size_t>(c.n) + i], y = want[k][i];
      if (y < 1e-300) continue;
      r.smallest = std::min(r.smallest, y);
      const double error = std::fabs(x - y) / y;
      if (!(error <= r.worst)) {
        r.worst = error;
        r.where = "t = " + Printed(times[k]) + ", state " + std::to_string(i + 1) + ": " +
                  Printed(x) + " for " + Printed(y);
      }
      if (Printed(x) != Printed(y)) ++r.misprints;
    }
  }
  return r;
}

Comparison Compare(const Chain& c, const std::vector<double>& times, int start) {
  return Compare(c, times, start,
                 reference::PopulationsOfGenerator(c.n, c.u, StartIn(c, start), times));
}

struct Case {
  Chain chain;
  double t8;
};

std::vector<Case> Cases() {
  std::vector<Case> cases;
  const auto fixture = [&](const char* name, double t8) {
    cases.push_back({FromRatesFile(name), t8});
  };
  if (kSanitized) {
    fixture("cascade_1e18", 1e20);
    cases.push_back({DrivenCycle(6, 16, 3), 1e18});
    return cases;
  }
  // Reversible families, spreads 1e6 to 1e36.
  fixture("funnel_1e6", 1e8);
  fixture("cascade_1e12", 1e14);
  fixture("funnel_1e24", 1e26);
  fixture("flat_1e24", 1e26);
  fixture("deep_1e30", 1e32);
  fixture("cascade_1e36", 1e38);
  fixture("flat_1e36", 1e38);
  // Without detailed balance.
  cases.push_back({DrivenCycle(8, 20, 1), 1e22});
  cases.push_back({DrivenCycle(12, 30, 2), 1e32});
  cases.push_back({RandomStiff(10, 24, 5), 1e26});
  cases.push_back({RandomStiff(12, 40, 6), 1e42});
  cases.push_back({Perturbed(FromRatesFile("flat_1e24"), 1e-6, 7), 1e26});
  cases.push_back({Perturbed(FromRatesFile("cascade_1e30"), 1e-5, 8), 1e32});
  return cases;
}

TEST(ExactPropagator, EveryPopulationIsTheReferenceRounded) {
  for (const Case& c : Cases()) {
    const std::vector<double> times = Axis(0.1, c.t8, kSanitized ? 3.0 : 1.3);
    const std::vector<int> starts = {0, c.chain.n - 1};
    const std::vector<std::vector<std::vector<double>>> want = reference::PopulationsOfGenerator(
        c.chain.n, c.chain.u, {StartIn(c.chain, starts[0]), StartIn(c.chain, starts[1])}, times);
    for (size_t k = 0; k < starts.size(); ++k) {
      const int start = starts[k];
      SCOPED_TRACE(c.chain.name + " from state " + std::to_string(start + 1));
      const Comparison r = Compare(c.chain, times, start, want[k]);
      EXPECT_LE(r.worst, 1e-12) << r.where;
      EXPECT_EQ(0, r.misprints) << "worst " << r.where;
    }
  }
}

// Populations down to 6e-292 at the far end of a line, relatively right.
TEST(ExactPropagator, PopulationsNearTheBottomOfTheRangeKeepTheirDigits) {
  const Chain c = UnderflowChain();
  std::vector<double> times;
  for (double t = 5e-9; t < 1e5; t *= kSanitized ? 100.0 : 1.5) times.push_back(t);
  const Comparison r = Compare(c, times, 0);
  EXPECT_LT(r.smallest, 1e-290);
  EXPECT_LE(r.worst, 1e-12) << r.where;
  EXPECT_EQ(0, r.misprints) << "worst " << r.where;
}

// Without the rebuild, the column sums drift like (1 + d)^(2^b) and the
// populations leave the range of doubles; with it the same case is exact.
TEST(ExactPropagator, ColumnRebuildKeepsStiffSquaringFinite) {
  const Chain c = RandomStiff(10, 30, 11);
  const std::vector<double> times = Axis(0.1, 1e30, 2.0);
  std::vector<double> p0(static_cast<size_t>(c.n), 0.0);
  p0[0] = 1.0;
  PropagatorOptions plain;
  plain.rebuild_columns = false;
  PropagatorResult rebuilt, drifted;
  ASSERT_EQ(PropagatorStatus::kOk, PropagateExactly(c.n, c.u, p0, times, rebuilt));
  ASSERT_EQ(PropagatorStatus::kOk, PropagateExactly(c.n, c.u, p0, times, drifted, plain));
  EXPECT_TRUE(std::any_of(drifted.populations.begin(), drifted.populations.end(),
                          [](double x) { return !std::isfinite(x); }));
  const std::vector<std::vector<double>> want =
      reference::PopulationsOfGenerator(c.n, c.u, p0, times);
  for (size_t k = 0; k < times.size(); ++k) {
    for (int i = 0; i < c.n; ++i) {
      const double y = want[k][i];
      if (y >= 1e-300) {
        EXPECT_LE(std::fabs(rebuilt.populations[k * c.n + i] - y), 1e-12 * y)
            << "t = " << times[k] << ", state " << i + 1;
      }
    }
  }
}

// A landscape of 300 states (beyond the reference) with two first steps
// 2^20 apart: the rounding of every product differs, the populations agree.
// The stop once the matrix no longer changes saves levels, not digits:
// squaring on past it only adds the rounding of each level.
TEST(ExactPropagator, LargeLandscapeDoesNotDependOnTheFirstStep) {
  const int n = kSanitized ? 40 : 300;
  Chain c = RandomStiff(n, 40, 21);
  const std::vector<double> times = Axis(0.1, 1e30, kSanitized ? 4.0 : 1.1);
  std::vector<double> p0(static_cast<size_t>(n), 0.0);
  p0[static_cast<size_t>(n) - 1] = 1.0;
  PropagatorOptions small_step, every_level;
  small_step.margin_bits = 30;
  every_level.stop_when_stationary = false;
  PropagatorResult run, small_step_run, full_run;
  ASSERT_EQ(PropagatorStatus::kOk, PropagateExactly(n, c.u, p0, times, run));
  ASSERT_EQ(PropagatorStatus::kOk, PropagateExactly(n, c.u, p0, times, small_step_run, small_step));
  ASSERT_EQ(PropagatorStatus::kOk, PropagateExactly(n, c.u, p0, times, full_run, every_level));
  EXPECT_GT(small_step_run.squarings, run.squarings);
  EXPECT_LT(run.squarings, full_run.squarings);
  double step_error = 0.0, full_error = 0.0, mass = 0.0;
  for (size_t k = 0; k < times.size(); ++k) {
    double sum = 0.0;
    for (int i = 0; i < n; ++i) {
      const size_t x = k * n + i;
      const double y = run.populations[x];
      sum += y;
      if (y < 1e-300) continue;
      step_error = std::max(step_error, std::fabs(small_step_run.populations[x] - y) / y);
      full_error = std::max(full_error, std::fabs(full_run.populations[x] - y) / y);
    }
    mass = std::max(mass, std::fabs(sum - 1.0));
  }
  EXPECT_LE(step_error, 1e-13);
  EXPECT_LE(full_error, 1e-12);
  EXPECT_LE(mass, 1e-13);
}

TEST(ExactPropagator, TimeZeroAndRepeatedTimesInAnyOrder) {
  const Chain c = DrivenCycle(5, 10, 4);
  const std::vector<double> p0 = {0.25, 0.0, 0.5, 0.0, 0.25};
  const std::vector<double> times = {3.0, 0.0, 1e-3, 3.0, 1e9};
  PropagatorResult r;
  ASSERT_EQ(PropagatorStatus::kOk, PropagateExactly(c.n, c.u, p0, times, r));
  ASSERT_EQ(times.size() * 5, r.populations.size());
  const std::vector<std::vector<double>> want =
      reference::PopulationsOfGenerator(c.n, c.u, p0, times);
  for (size_t k = 0; k < times.size(); ++k) {
    for (int i = 0; i < 5; ++i) {
      EXPECT_NEAR(want[k][i], r.populations[k * 5 + i], 1e-14 * want[k][i]) << times[k];
    }
  }
  for (int i = 0; i < 5; ++i) EXPECT_EQ(p0[i], r.populations[5 + i]);
}

TEST(ExactPropagator, RefusesBadArguments) {
  const std::vector<double> u = {0.0, 1.0, 2.0, 0.0};
  const std::vector<double> p0 = {1.0, 0.0};
  const double nan = std::nan("");
  struct Bad {
    const char* name;
    std::vector<double> u, p0, times;
    PropagatorStatus want;
  };
  const std::vector<Bad> cases = {
      {"p0 too short", u, {1.0}, {1.0}, PropagatorStatus::kBadArgument},
      {"negative time", u, p0, {1.0, -1.0}, PropagatorStatus::kBadArgument},
      {"NaN time", u, p0, {nan}, PropagatorStatus::kBadArgument},
      {"infinite time", u, p0, {HUGE_VAL}, PropagatorStatus::kBadArgument},
      {"U of the wrong size", {0.0, 1.0, 2.0}, p0, {1.0}, PropagatorStatus::kBadArgument},
      {"NaN rate", {0.0, nan, 2.0, 0.0}, p0, {1.0}, PropagatorStatus::kNotFinite},
      {"negative rate", {0.0, -1.0, 2.0, 0.0}, p0, {1.0}, PropagatorStatus::kNotFinite},
      {"infinite rate", {0.0, 1.0, HUGE_VAL, 0.0}, p0, {1.0}, PropagatorStatus::kNotFinite},
  };
  for (const Bad& b : cases) {
    PropagatorResult r;
    EXPECT_EQ(b.want, PropagateExactly(2, b.u, b.p0, b.times, r)) << b.name;
  }
  // A NaN on the diagonal is never read (it is not a rate).
  PropagatorResult r;
  EXPECT_EQ(PropagatorStatus::kOk, PropagateExactly(2, {nan, 1.0, 2.0, nan}, p0, {1.0}, r));
}

}  // namespace
