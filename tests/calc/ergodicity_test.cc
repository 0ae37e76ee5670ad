// Ergodicity reduction: which states the initial population reaches, the
// compaction of U and p0, `kept`, and the ways the population can be cut off.
#include "calc/model/ergodicity.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "calc/model/calc.h"
#include "calc/table/iterate.h"
#include "tests/test_util.h"

namespace {

// U of order n with U(i, j) = 10 i + j + 1 for every rate j -> i listed in
// `edges` as {j, i}, and -1 on the diagonal (the diagonal plays no part).
std::vector<double> Graph(int n, const std::vector<std::pair<int, int>>& edges) {
  std::vector<double> U(n * n, 0.0);
  for (int i = 0; i < n; ++i) U[i * n + i] = -1;
  for (auto [from, to] : edges) U[to * n + from] = 10 * to + from + 1;
  return U;
}

// The block of U over the given states.
std::vector<double> Block(const std::vector<double>& U, int n, const std::vector<int>& states) {
  std::vector<double> b;
  for (int i : states) {
    for (int j : states) b.push_back(U[i * n + j]);
  }
  return b;
}

TEST(MxErgodicity, TableOfReductions) {
  const double nan = std::nan("");
  // 0 -> 1, 1 -> 0, 2 -> 0.
  const std::vector<double> three = Graph(3, {{0, 1}, {1, 0}, {2, 0}});
  // 0 -> 2 -> 4 -> 0, 4 -> 2; 1 and 3 only emit.
  const std::vector<double> five = Graph(5, {{0, 2}, {2, 4}, {4, 0}, {4, 2}, {1, 0}, {3, 4}});
  std::vector<double> nan_rate = Graph(3, {{0, 1}, {1, 0}, {0, 2}, {2, 0}});
  nan_rate[1 * 3 + 0] = nan;  // 0 -> 1 is not a number: no connection
  struct Case {
    const char* name;
    int n;
    std::vector<double> U, p0;
    int quiet;
    std::vector<int> kept;  // empty: nothing removed
    std::string err;
  };
  const std::string warn2 = "WARNING: Matrix is non-ergodic! Decreasing dimension to 2.\n";
  const Case cases[] = {
      {"all states reached from state 0", 2, {-1, 1, 1, -1}, {1, 0}, 0, {}, ""},
      {"state 2 only emits and is removed", 3, three, {1, 0, 0}, 0, {0, 1}, warn2},
      {"the warning is quiet", 3, three, {1, 0, 0}, 1, {0, 1}, ""},
      {"all population in state 2 reaches everything", 3, three, {0, 0, 1}, 0, {}, ""},
      {"interleaved removals keep the right block",
       5,
       five,
       {0.5, 0, 0.5, 0, 0},
       0,
       {0, 2, 4},
       "WARNING: Matrix is non-ergodic! Decreasing dimension to 3.\n"},
      {"a sink survives once reached", 3, Graph(3, {{0, 2}, {1, 0}}), {1, 0, 0}, 0, {0, 2}, warn2},
      {"a rate that is not a number does not connect", 3, nan_rate, {1, 0, 0}, 0, {0, 2}, warn2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RunOptions opts;
    opts.quiet = c.quiet;
    Calc calc(c.n, opts);
    std::vector<double> U = c.U;
    std::vector<double> p0 = c.p0;
    testing::internal::CaptureStderr();
    ASSERT_TRUE(MxErgodicity(calc, U, p0, c.n).ok());
    const int m = calc.dim();
    EXPECT_EQ(c.err, testing::internal::GetCapturedStderr());
    EXPECT_EQ(c.kept, calc.numbering().kept);
    if (c.kept.empty()) {
      EXPECT_EQ(c.n, m);
      EXPECT_EQ(c.n, calc.dim());
      EXPECT_EQ(0, calc.numbering().kept_columns);
      // Unchanged, NaN included.
      ASSERT_EQ(c.U.size(), U.size());
      EXPECT_EQ(0, memcmp(c.U.data(), U.data(), U.size() * sizeof(double)));
      EXPECT_EQ(c.p0, p0);
    } else {
      const int k = static_cast<int>(c.kept.size());
      EXPECT_EQ(k, m);
      EXPECT_EQ(k, calc.dim());
      EXPECT_EQ(c.n, calc.numbering().kept_columns);
      EXPECT_EQ(Block(c.U, c.n, c.kept), U);
      std::vector<double> want_p0;
      for (int s : c.kept) want_p0.push_back(c.p0[s]);
      EXPECT_EQ(want_p0, p0);
    }
  }
}

// With one state left, the table's header and its first and last lines are
// written here.
TEST(MxErgodicity, OneStateLeftPrintsTheTable) {
  RunOptions opts;
  opts.quiet = 1;
  Calc calc(2, opts);
  std::vector<double> U = Graph(2, {{1, 0}});
  std::vector<double> p0 = {1, 0};
  testing::internal::CaptureStdout();
  ASSERT_TRUE(MxErgodicity(calc, U, p0, 2).ok());
  EXPECT_EQ(1, calc.dim());
  ASSERT_TRUE(PrintOneStateTable(calc, p0).ok());
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(std::string::npos, out.find("# Method: I\n"));
  EXPECT_NE(std::string::npos, out.find("\n1.00000000000000005551e-01 "));
  EXPECT_NE(std::string::npos, out.find("\n1.00000000000000000000e+12 "));
  EXPECT_EQ((std::vector<double>{-1}), U);
  EXPECT_EQ((std::vector<double>{1}), p0);
}

// Later stages take the absorbed minimum by its index in the reduced problem.
TEST(MxErgodicity, AbsorbedMinimumIsRenumbered) {
  RunOptions opts;
  opts.quiet = 1;
  Calc calc(5, opts);
  SetAbsorbingState(calc, 5, 2);
  // Minima 0..3 with 1 unreachable; the absorbed minimum 2 feeds state 4.
  std::vector<double> U = Graph(5, {{0, 2}, {2, 0}, {0, 3}, {3, 0}, {1, 0}, {2, 4}});
  std::vector<double> p0 = {1, 0, 0, 0, 0};
  ASSERT_TRUE(MxErgodicity(calc, U, p0, 5).ok());
  EXPECT_EQ(4, calc.dim());
  EXPECT_EQ((std::vector<int>{0, 2, 3, 4}), calc.numbering().kept);
  EXPECT_EQ(1, calc.numbering().absorbed_minimum);
  EXPECT_EQ(5, calc.numbering().absorbing_state);
}

TEST(MxErgodicity, CutOffPopulationsAreRefused) {
  const std::vector<double> three = Graph(3, {{0, 1}, {1, 0}, {2, 0}});
  struct Case {
    const char* name;
    std::vector<double> U, p0;
    int absorb;
    int status;
    const char* message;
  };
  const Case cases[] = {
      {"populated state 2 unreachable from state 0",
       three,
       {0.5, 0, 0.5},
       0,
       kExitInconsistentRates,
       "ERROR: Matrix is non-ergodic and initial populations are disconected!! "
       "Exiting...\n"},
      {"no population at all",
       three,
       {0, 0, 0},
       0,
       kExitError,
       "ERROR: the initial population is 0 in every state\n"},
      {"absorbing state out of reach",
       three,
       {1, 0, 0},
       3,
       kExitError,
       "ERROR: the initial population cannot reach the absorbing state through minimum 2\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RunOptions opts;
    Calc calc(3, opts);
    SetAbsorbingState(calc, c.absorb, 1);
    std::vector<double> U = c.U;
    std::vector<double> p0 = c.p0;
    const Status status = MxErgodicity(calc, U, p0, 3);
    EXPECT_EQ(c.status, status.exit_status);
    EXPECT_EQ(c.message, status.message);
  }
}

}  // namespace
