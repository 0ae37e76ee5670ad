// First passage times: closed forms for two states, absorbing times, the
// framing on standard error against plain numbers in a file, singular
// systems, and a generated reversible landscape against an independent
// solve of the backward equations.
#include "calc/passage/first_passage.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "calc/model/calc.h"
#include "elimination/state_reduction.h"
#include "tests/test_util.h"

namespace {

// Row-major U with U(i, j) the rate j -> i and columns summing to 0, or to 1
// with the --useplusI shift.
std::vector<double> Generator(const std::vector<std::vector<double>>& rate, bool plus_i) {
  const int n = static_cast<int>(rate.size());
  std::vector<double> u(n * n, 0.0);
  for (int j = 0; j < n; ++j) {
    double out = 0.0;
    for (int i = 0; i < n; ++i) {
      if (i == j) continue;
      u[i * n + j] = rate[j][i];  // rate[j][i]: from j to i
      out += rate[j][i];
    }
    u[j * n + j] = (plus_i ? 1.0 : 0.0) - out;
  }
  return u;
}

// Two states: k01 from 0 to 1, k10 from 1 to 0.
std::vector<double> TwoStates(double k01, double k10, bool plus_i) {
  return Generator({{0, k01}, {k10, 0}}, plus_i);
}

// Runs MxFirstPassageTimes into a file and returns what it wrote.
std::string TimesToFile(const Calc& calc, const std::vector<double>& u,
                        const std::vector<double>& p8) {
  FILE* f = tmpfile();
  MxFirstPassageTimes(calc, u, p8, f);
  std::string text(static_cast<size_t>(ftell(f)), '\0');
  rewind(f);
  EXPECT_EQ(fread(text.data(), 1, text.size(), f), text.size());
  fclose(f);
  return text;
}

int CountLines(const std::string& text) {
  int lines = 0;
  for (char c : text) lines += c == '\n';
  return lines;
}

TEST(FirstPassageTest, TwoStatesGiveInverseRates) {
  const double k01 = 2.0, k10 = 0.25;
  const std::vector<double> p8 = {k10 / (k01 + k10), k01 / (k01 + k10)};
  for (bool plus_i : {false, true}) {
    SCOPED_TRACE(plus_i ? "useplusI" : "plain");
    RunOptions opts;
    opts.useplusI = plus_i;
    Calc calc(2, opts);
    const std::vector<double> u = TwoStates(k01, k10, plus_i);

    const std::string text = TimesToFile(calc, u, p8);
    EXPECT_EQ(CountLines(text), 2);
    EXPECT_EQ(text.find_first_not_of("0123456789.e+- \n"), std::string::npos) << text;
    ExpectArrayNear({0, 1 / k01, 1 / k10, 0}, ParseNumbers(text), 1e-6);

    auto to_second = MxFirstPassageTo(calc, u, 1);
    ASSERT_TRUE(to_second.has_value());
    ExpectArrayNear({1 / k01, 0}, *to_second, 1e-12);
    auto to_first = MxFirstPassageTo(calc, u, 0);
    ASSERT_TRUE(to_first.has_value());
    ExpectArrayNear({0, 1 / k10}, *to_first, 1e-12);
  }
}

// Times and rates at the ends of the double range, against closed forms:
// every time is finite and right, where the scaled chain used to overflow
// (inf from state 1 to state 2, which takes exactly 1).
TEST(FirstPassageTest, TimesNearTheEndsOfTheDoubleRange) {
  const double k = 9e307;
  const struct {
    const char* name;
    std::vector<std::vector<double>> rates;  // rates[i][j]: from i to j
    std::vector<double> times;               // from i to j at i * n + j
  } cases[] = {
      {"a rate of 1e308 back", {{0, 1}, {1e308, 0}}, {0, 1, 1e-308, 0}},
      {"a subnormal equilibrium entry", {{0, 1e-308}, {1, 0}}, {0, 1e308, 1, 0}},
      // States 2 and 3 are symmetric; from state 1 half the way goes over
      // the other one.
      {"two states joined by 9e307",
       {{0, 1, 1}, {1, 0, k}, {1, k, 0}},
       {0, (1 + 2 / k) / (2 + 1 / k), (1 + 2 / k) / (2 + 1 / k), 1, 0, 1.5 / k, 1, 1.5 / k, 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const size_t n = c.rates.size();
    const std::vector<double> u = Generator(c.rates, false);
    auto expect_times = [&](const std::vector<double>& got, size_t stride, size_t column) {
      for (size_t i = 0; i < n; ++i) {
        const double want = c.times[i * n + column];
        EXPECT_NEAR(got[i * stride], want, 1e-14 * want) << "from " << i << " to " << column;
      }
    };
    std::vector<double> all;
    ASSERT_TRUE(FirstPassageTimesAll({u.data(), n, 1, n}, all));
    for (size_t j = 0; j < n; ++j)
      expect_times(std::vector<double>(all.begin() + j, all.end()), n, j);
    RunOptions opts;
    Calc calc(static_cast<int>(n), opts);
    for (size_t j = 0; j < n; ++j) {
      auto to = MxFirstPassageTo(calc, u, static_cast<int>(j));
      ASSERT_TRUE(to.has_value());
      expect_times(*to, 1, j);
    }
    EXPECT_EQ(TimesToFile(calc, u, std::vector<double>(n, 1.0 / n)).find("inf"), std::string::npos);
  }
}

// Two minima with k01 from 0 to 1, the second absorbing (appended state 2):
// the times to the absorbed minimum are (1/k01, 0) whatever the way back.
TEST(FirstPassageTest, AbsorbingTimesEndAtAbsorbedMinimum) {
  const double k01 = 0.5;
  for (double k10 : {0.0, 3.0}) {
    for (bool plus_i : {false, true}) {
      SCOPED_TRACE("k10 " + std::to_string(k10) + (plus_i ? " useplusI" : ""));
      RunOptions opts;
      opts.useplusI = plus_i;
      Calc calc(3, opts);
      SetAbsorbingState(calc, 3, 1);
      const std::vector<double> u = Generator({{0, k01, 0}, {k10, 0, 1.7}, {0, 0, 0}}, plus_i);
      const std::vector<double> p8 = {0.2, 0.3, 0.5};  // not used for absorbing times
      const std::string text = TimesToFile(calc, u, p8);
      EXPECT_EQ(CountLines(text), 1);
      ExpectArrayNear({1 / k01, 0}, ParseNumbers(text), 1e-6);
    }
  }
}

TEST(FirstPassageTest, StandardErrorCarriesHeadingAndDashes) {
  RunOptions opts;
  const std::vector<double> p8 = {0.25 / 2.25, 2 / 2.25};
  Calc two(2, opts);
  testing::internal::CaptureStderr();
  MxFirstPassageTimes(two, TwoStates(2.0, 0.25, false), p8, stderr);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "First passage times (i-th row, j-th column represents fpt from i-th to j-th "
            "state):\n"
            "              0             0.5 \n"
            "              4               0 \n"
            "---\n");

  Calc three(3, opts);
  SetAbsorbingState(three, 3, 1);
  testing::internal::CaptureStderr();
  MxFirstPassageTimes(three, Generator({{0, 0.5, 0}, {1, 0, 1}, {0, 0, 0}}, false), p8, stderr);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Absorbing times: :\n"
            "              2               0 \n"
            "---\n");
}

TEST(FirstPassageTest, TargetBeyondDimensionAndSingleState) {
  RunOptions opts;
  Calc two(2, opts);
  testing::internal::CaptureStderr();
  EXPECT_FALSE(MxFirstPassageTo(two, TwoStates(1, 1, false), 2).has_value());
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "State 3 does not exist (--fpt 3)");

  Calc one(1, opts);
  auto times = MxFirstPassageTo(one, {0.0}, 0);
  ASSERT_TRUE(times.has_value());
  EXPECT_EQ(*times, std::vector<double>{0.0});
}

// A state that can never reach the target has no finite time; the solvers'
// leftovers must not pass for times.
TEST(FirstPassageTest, SingularSystemsGiveNaNAndAWarning) {
  const std::string warning = "WARNING: singular system, first passage times are undefined\n";
  RunOptions opts;
  Calc two(2, opts);

  testing::internal::CaptureStderr();
  auto to = MxFirstPassageTo(two, TwoStates(0.0, 1.0, false), 1);  // state 0 never leaves
  EXPECT_EQ(testing::internal::GetCapturedStderr(), warning);
  ASSERT_TRUE(to.has_value());
  EXPECT_TRUE(std::isnan((*to)[0]));
  EXPECT_EQ((*to)[1], 0.0);

  testing::internal::CaptureStderr();
  const std::string all = TimesToFile(two, TwoStates(0.0, 0.0, false), {0.5, 0.5});
  EXPECT_EQ(testing::internal::GetCapturedStderr(), warning);
  for (double x : ParseNumbers(all)) EXPECT_TRUE(std::isnan(x)) << all;
  EXPECT_EQ(ParseNumbers(all).size(), 4u);

  RunOptions quiet_opts;
  quiet_opts.quiet = 1;
  Calc three(3, quiet_opts);
  SetAbsorbingState(three, 3, 1);
  testing::internal::CaptureStderr();
  const std::string absorbing =
      TimesToFile(three, Generator({{0, 0, 0}, {1, 0, 1}, {0, 0, 0}}, false), {0.3, 0.3, 0.4});
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");  // quiet
  for (double x : ParseNumbers(absorbing)) EXPECT_TRUE(std::isnan(x)) << absorbing;
}

// Reversible landscape: energies E, symmetric barriers B over a connected
// random graph, rate j -> i = exp(-(B_ij - E_j)), equilibrium ~ exp(-E).
struct Landscape {
  std::vector<std::vector<double>> rate;
  std::vector<double> p8;
};

Landscape MakeLandscape(int n, unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> uni(0.0, 1.0);
  std::vector<double> e(n);
  for (double& x : e) x = 3.0 * uni(gen);
  Landscape l{std::vector<std::vector<double>>(n, std::vector<double>(n, 0.0)), {}};
  for (int i = 0; i < n; ++i) {
    for (int j = i + 1; j < n; ++j) {
      if (j != i + 1 && uni(gen) > 0.2) continue;
      const double b = std::max(e[i], e[j]) + 0.5 + 2.5 * uni(gen);
      l.rate[j][i] = std::exp(-(b - e[j]));
      l.rate[i][j] = std::exp(-(b - e[i]));
    }
  }
  double z = 0.0;
  for (double x : e) z += std::exp(-x);
  for (double x : e) l.p8.push_back(std::exp(-x) / z);
  return l;
}

// Mean hitting times of `target` from the backward equations, one row per
// starting state: sum_i rate(j -> i) (x_i - x_j) = -1, x_target = 0; solved
// by plain Gaussian elimination with partial pivoting.
std::vector<double> HittingTimes(const std::vector<std::vector<double>>& rate, int target) {
  const int n = static_cast<int>(rate.size());
  std::vector<std::vector<double>> a(n, std::vector<double>(n + 1, 0.0));
  for (int j = 0; j < n; ++j) {
    if (j == target) {
      a[j][j] = 1.0;
      continue;
    }
    for (int i = 0; i < n; ++i) {
      if (i == j) continue;
      a[j][i] += rate[j][i];
      a[j][j] -= rate[j][i];
    }
    a[j][n] = -1.0;
  }
  for (int c = 0; c < n; ++c) {
    int p = c;
    for (int r = c + 1; r < n; ++r) {
      if (std::fabs(a[r][c]) > std::fabs(a[p][c])) p = r;
    }
    std::swap(a[c], a[p]);
    for (int r = c + 1; r < n; ++r) {
      const double f = a[r][c] / a[c][c];
      for (int k = c; k <= n; ++k) a[r][k] -= f * a[c][k];
    }
  }
  std::vector<double> x(n);
  for (int r = n - 1; r >= 0; --r) {
    double s = a[r][n];
    for (int k = r + 1; k < n; ++k) s -= a[r][k] * x[k];
    x[r] = s / a[r][r];
  }
  return x;
}

TEST(FirstPassageTest, LandscapeAgreesWithBackwardEquations) {
  const int n = 50;
  const Landscape l = MakeLandscape(n, 7);
  std::vector<std::vector<double>> expected(n);  // expected[t][i]: from i to t
  for (int t = 0; t < n; ++t) expected[t] = HittingTimes(l.rate, t);

  for (bool plus_i : {false, true}) {
    SCOPED_TRACE(plus_i ? "useplusI" : "plain");
    RunOptions opts;
    opts.useplusI = plus_i;
    Calc calc(n, opts);
    const std::vector<double> u = Generator(l.rate, plus_i);

    const std::string text = TimesToFile(calc, u, l.p8);
    EXPECT_EQ(CountLines(text), n);
    // Every field is exactly what "%15.7g " prints for its value.
    for (size_t pos = 0; pos + 1 < text.size(); pos += 16) {
      if (text[pos] == '\n') ++pos;
      const std::string field = text.substr(pos, 16);
      char expect[32];
      snprintf(expect, sizeof expect, "%15.7g ", strtod(field.c_str(), nullptr));
      ASSERT_EQ(field, expect) << "at offset " << pos;
    }
    const std::vector<double> all = ParseNumbers(text);
    ASSERT_EQ(all.size(), static_cast<size_t>(n * n));
    for (int t = 0; t < n; ++t) {
      auto to = MxFirstPassageTo(calc, u, t);
      ASSERT_TRUE(to.has_value());
      for (int i = 0; i < n; ++i) {
        const double want = expected[t][i];
        // The file holds seven significant digits.
        EXPECT_NEAR(all[i * n + t], want, 1e-6 * std::fabs(want)) << i << " -> " << t;
        EXPECT_NEAR((*to)[i], want, 1e-9 * std::fabs(want)) << i << " -> " << t;
      }
    }
  }
}

// Beyond one panel of eliminations and several levels of halves (157 states,
// odd at every level): the times to a few targets, from the one-target stage
// and from the all-pairs matrix as doubles.
TEST(FirstPassageTest, LargerLandscapeAgreesWithBackwardEquations) {
  const int n = 157;
  const Landscape l = MakeLandscape(n, 11);
  RunOptions opts;
  Calc calc(n, opts);
  const std::vector<double> u = Generator(l.rate, false);
  std::vector<double> all;
  ASSERT_TRUE(
      FirstPassageTimesAll({u.data(), static_cast<size_t>(n), 1, static_cast<size_t>(n)}, all));
  for (int t : {0, 1, 78, 79, 155, 156}) {
    const std::vector<double> want = HittingTimes(l.rate, t);
    auto to = MxFirstPassageTo(calc, u, t);
    ASSERT_TRUE(to.has_value());
    EXPECT_EQ((*to)[t], 0.0);
    EXPECT_EQ(all[t * n + t], 0.0);
    for (int i = 0; i < n; ++i) {
      if (i == t) continue;  // the solve leaves a rounding residue there
      EXPECT_NEAR((*to)[i], want[i], 1e-9 * std::fabs(want[i])) << i << " -> " << t;
      EXPECT_NEAR(all[i * n + t], want[i], 1e-9 * std::fabs(want[i])) << i << " -> " << t;
    }
  }
}

}  // namespace
