// Rate rescaling: powers, the minimal-rate exponent with its report line, the
// factor, and the diagonal that follows each of them.
#include "calc/model/rescale.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "calc/model/calc.h"
#include "tests/test_util.h"

namespace {

enum class Step { kHard, kMinimal, kTimes };

// Off-diagonal rates of a 3-state generator (diagonals are recomputed); the
// smallest positive rate below 1 is 1e-6, one rate is 0 and one is above 1.
std::vector<double> Rates() { return {9, 1e-6, 0.25, 0.04, 9, 4, 0, 0.01, 9}; }

// Applies f to the off-diagonal elements and sets the diagonal by hand.
std::vector<double> Expected(double (*f)(double), double base) {
  std::vector<double> m = Rates();
  for (int j = 0; j < 3; ++j) {
    double sum = 0;
    for (int i = 0; i < 3; ++i) {
      if (i == j) continue;
      m[i * 3 + j] = f(m[i * 3 + j]);
      sum += m[i * 3 + j];
    }
    m[j * 3 + j] = base - sum;
  }
  return m;
}

TEST(Rescale, TableOfSteps) {
  struct Case {
    const char* name;
    Step step;
    double value;
    int useplusI;
    double (*f)(double);  // applied to every rate; nullptr: U must stay as it was
    std::string report;
  };
  const Case cases[] = {
      {"hard 0.5 takes square roots", Step::kHard, 0.5, 0, [](double x) { return std::sqrt(x); },
       ""},
      {"minimal 1e-3 gives exponent 0.5", Step::kMinimal, 1e-3, 0,
       [](double x) { return std::pow(x, 0.5); },
       "rescale params:                1e-06                0.001                  0.5\n"},
      {"minimal 1e-9 is already met: U untouched", Step::kMinimal, 1e-9, 0, nullptr,
       "rescale params:                1e-06                1e-09                  1.5\n"},
      {"minimal at the smallest rate", Step::kMinimal, 1e-6, 0, [](double x) { return x; },
       "rescale params:                1e-06                1e-06                    1\n"},
      {"times 2 doubles every rate", Step::kTimes, 2, 0, [](double x) { return 2 * x; }, ""},
      {"times 2 with plus I", Step::kTimes, 2, 1, [](double x) { return 2 * x; }, ""},
      {"hard 2 with plus I", Step::kHard, 2, 1, [](double x) { return x * x; }, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RunOptions opts;
    opts.quiet = 1;  // the report line is printed anyway
    opts.useplusI = c.useplusI;
    Calc calc(3, opts);
    std::vector<double> U = Rates();
    testing::internal::CaptureStderr();
    switch (c.step) {
      case Step::kHard:
        MxRescaleHard(calc, U.data(), 3, c.value);
        break;
      case Step::kMinimal:
        MxRescaleMinimal(calc, U.data(), 3, c.value);
        break;
      case Step::kTimes:
        MxRescaleTimes(calc, U.data(), 3, c.value);
        break;
    }
    EXPECT_EQ(c.report, testing::internal::GetCapturedStderr());
    if (c.f == nullptr) {
      EXPECT_EQ(Rates(), U);
    } else {
      ExpectArrayNear(Expected(c.f, c.useplusI ? 1.0 : 0.0), U, 1e-14);
    }
  }
}

// A desired rate that every rate already exceeds, or one of 1 or more, leaves
// U untouched (diagonal included): exponents of 0, below 0 or infinite would
// create or invert rates.
TEST(Rescale, MinimalRateLeavesUAloneWhenNoPositiveExponentExists) {
  struct Case {
    const char* name;
    std::vector<double> U;
    double d;
    std::string report;
  };
  const Case cases[] = {
      {"desired rate 1",
       {7, 0.5, 0, 7},
       1.0,
       "rescale params:                  0.5                    1                   -0\n"},
      {"desired rate above 1",
       {7, 0.5, 0, 7},
       4.0,
       "rescale params:                  0.5                    4                   -2\n"},
      {"no rate below 1",
       {7, 2, 3, 7},
       4.0,
       "rescale params:                    1                    4                  inf\n"},
      {"no rate below 1, desired below 1",
       {7, 2, 3, 7},
       0.1,
       "rescale params:                    1                  0.1                 -inf\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RunOptions opts;
    Calc calc(2, opts);
    std::vector<double> U = c.U;
    testing::internal::CaptureStderr();
    MxRescaleMinimal(calc, U.data(), 2, c.d);
    EXPECT_EQ(c.report, testing::internal::GetCapturedStderr());
    EXPECT_EQ(c.U, U);
  }
}

// The options together: --hard-rescale wins over --minimal-rate, --times
// comes last, and only a power counts as reshaping the rates.
TEST(Rescale, OptionsApplyInOrderAndSayWhetherTheyReshaped) {
  struct Case {
    const char* name;
    double hard, minimal, times;
    double (*f)(double);  // nullptr: U must stay as it was
    bool reshaped;
  };
  const Case cases[] = {
      {"nothing asked", 1.0, 0.0, 1.0, nullptr, false},
      {"hard wins over minimal", 0.5, 1e-3, 1.0, [](double x) { return std::sqrt(x); }, true},
      {"NaN counts as a hard exponent", NAN, 0.0, 1.0, [](double) { return double(NAN); }, true},
      {"minimal then times", 1.0, 1e-3, 3.0, [](double x) { return 3 * std::sqrt(x); }, true},
      {"minimal already met still counts", 1.0, 1e-9, 1.0, nullptr, true},
      {"times alone keeps the proportions", 1.0, 0.0, 2.0, [](double x) { return 2 * x; }, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RunOptions opts;
    opts.hard_rescale = c.hard;
    opts.minimal_rate = c.minimal;
    opts.times = c.times;
    Calc calc(3, opts);
    std::vector<double> U = Rates();
    testing::internal::CaptureStderr();
    EXPECT_EQ(c.reshaped, RescaleMatrix(calc, U.data(), 3));
    testing::internal::GetCapturedStderr();
    if (c.f == nullptr) {
      EXPECT_EQ(Rates(), U);
    } else if (std::isnan(c.f(1.0))) {
      // pow(x, NaN) is NaN for every rate but 1.
      for (int k : {1, 2, 3, 5, 7}) EXPECT_TRUE(std::isnan(U[k])) << k;
    } else {
      ExpectArrayNear(Expected(c.f, 0.0), U, 1e-14);
    }
    // An empty system is left alone whatever is asked.
    testing::internal::CaptureStderr();
    EXPECT_EQ(c.reshaped, RescaleMatrix(calc, nullptr, 0));
    testing::internal::GetCapturedStderr();
  }
}

}  // namespace
