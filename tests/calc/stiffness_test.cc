// The stiffness warning of the paths left in double: when it fires, the
// figure it prints (the spread it measured) and the rerun it names.
#include "calc/spectrum/stiffness.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "calc/model/calc.h"
#include "tests/test_util.h"

namespace {

struct Case {
  const char* name;
  SpectrumSolver solver;
  int absorbing_state;
  std::vector<double> evals;
  std::vector<double> p8;
  double rate_spread;
  const char* want;  // the whole line, or "" for none
};

TEST(StiffnessWarning, PrintsWhatItMeasuredAndNamesTheRerun) {
  using S = SpectrumSolver;
  const std::vector<double> mild_p8 = {0.5, 0.25, 0.25};
  const std::vector<double> deep_p8 = {1.0, 1e-10, 1e-20};
  const Case cases[] = {
      {"resolved", S::kLapackInPlaceOfAccurate, 0, {0, -1, -1e-3}, mild_p8, 1e3, ""},
      // The rates may all be alike (a common factor that underflowed most of
      // them): the figure is the spread of the eigenvalues the test measured.
      {"lapack",
       S::kLapackInPlaceOfAccurate,
       0,
       {0, -1, -1e-20},
       mild_p8,
       1.0,
       "WARNING: the slowest relaxations are below what double precision resolves (eigenvalues "
       "spread over 1e+20), the table may be wrong: rerun with --eigensolver accurate\n"},
      {"accurate", S::kAccurate, 0, {0, -1, -1e-20}, deep_p8, 1e30, ""},
      {"not reversible",
       S::kLapackNotReversible,
       0,
       {0, -1, -1e-20},
       mild_p8,
       1e20,
       "WARNING: the slowest relaxations are below what double precision resolves (eigenvalues "
       "spread over 1e+20), the table may be wrong: rerun with --eigensolver auto\n"},
      {"absorbing, general solver",
       S::kLapackGeneral,
       3,
       {0, -1, -1e-20},
       mild_p8,
       1e20,
       "WARNING: the slowest relaxations are below what double precision resolves (eigenvalues "
       "spread over 1e+20), the table may be wrong: rerun with --eigensolver auto\n"},
      {"absorbing, lapack chosen",
       S::kLapackInPlaceOfAccurate,
       3,
       {0, -1, -1e-30},
       mild_p8,
       1e30,
       "WARNING: the slowest relaxations are below what double precision resolves (eigenvalues "
       "spread over 1e+30), the table may be wrong: rerun with --eigensolver accurate\n"},
      {"deep equilibrium, mild spectrum",
       S::kLapackInPlaceOfAccurate,
       0,
       {0, -2, -40},
       deep_p8,
       1e20,
       "WARNING: the equilibrium spreads over 1e+20, beyond what double precision resolves in "
       "the eigenvectors, the table may be wrong: rerun with --eigensolver accurate\n"},
      {"stored",
       S::kStored,
       0,
       {0, -1, -1e-20},
       mild_p8,
       1e20,
       "WARNING: the slowest relaxations are below what double precision resolves (eigenvalues "
       "spread over 1e+20), the table may be wrong: rerun without --recoverE\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RunOptions opts;
    Calc calc(3, opts);
    SetAbsorbingState(calc, c.absorbing_state);
    Spectrum spectrum;
    spectrum.solver = c.solver;
    spectrum.evals = c.evals;
    testing::internal::CaptureStderr();
    WarnIfSpectrumUnresolved(calc, spectrum, c.rate_spread, c.p8);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.want);

    RunOptions quiet;
    quiet.quiet = 1;
    Calc silent(3, quiet);
    testing::internal::CaptureStderr();
    WarnIfSpectrumUnresolved(silent, spectrum, c.rate_spread, c.p8);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  }
}

// The warnings of the paths that stay in double send the user to the
// default run exactly where it takes the rates: detailed balance of the
// whole chain, or beside an absorbing state (the last) of the states that
// can leave, among themselves.
TEST(StiffnessWarning, DefaultRunResolvesBalancedRatesAndTransientBlocks) {
  const double nan = std::nan("");
  // U(i, j) is the rate j -> i; p8 (1, 2, 4) balances the chain 0 - 1 - 2.
  const std::vector<double> chain = {-2, 1, 0, 2, -3, 1, 0, 2, -1};
  const std::vector<double> chain_p8 = {1.0 / 7, 2.0 / 7, 4.0 / 7};
  // States 0 and 1 in balance (weights 1, 2), both leaking into the sink 2;
  // the spread of the rates (1e-30) changes nothing.
  const std::vector<double> leaky = {-3, 1, 0, 2, -2e-30 - 1, 0, 1, 2e-30, 0};
  const std::vector<double> back_out = {-3, 1, 1, 2, -2, 0, 1, 1, -1};
  // 0 -> 1 -> 2 -> 0 driven (2 one way, 1 back), all into the sink 3.
  const std::vector<double> cycle = {-4, 1, 2, 0, 2, -3, 1, 0, 1, 2, -3, 0, 1, 0, 0, 0};
  // Two transient states with no rate between them.
  const std::vector<double> apart = {-1, 0, 0, 0, -1, 0, 1, 1, 0};
  const std::vector<double> not_finite = {-3, 1, 0, nan, -2, 0, 1, 1, 0};
  struct Case {
    const char* name;
    const std::vector<double>& U;
    int absorbing_state;
    bool resolves;
  };
  const Case cases[] = {
      {"balanced chain", chain, 0, true},
      {"leaky balanced block", leaky, 3, true},
      {"a rate out of the sink", back_out, 3, false},
      {"driven cycle", cycle, 4, false},
      {"transient states apart", apart, 3, false},
      {"NaN rate", not_finite, 3, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const int n = static_cast<int>(std::lround(std::sqrt(c.U.size())));
    RunOptions opts;
    Calc calc(n, opts);
    SetAbsorbingState(calc, c.absorbing_state);
    std::vector<double> p8(static_cast<size_t>(n), 0.0);
    if (c.absorbing_state == 0) p8 = chain_p8;
    EXPECT_EQ(DefaultRunResolves(calc, c.U, p8), c.resolves);
  }
}

TEST(StiffnessWarning, DistributedRunNamesTheSerialSolver) {
  RunOptions opts;
  Calc calc(3, opts);
  Spectrum spectrum;
  spectrum.evals = {0, -1, -1e-20};
  testing::internal::CaptureStderr();
  WarnIfSpectrumUnresolved(calc, spectrum, 1e20, {0.5, 0.25, 0.25}, true);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "WARNING: the slowest relaxations are below what double precision resolves "
            "(eigenvalues spread over 1e+20), the table may be wrong: rerun the serial zolvane "
            "with --eigensolver accurate\n");
}

}  // namespace
