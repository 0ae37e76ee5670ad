// The choice of the solver that makes a run's spectrum, and the spectrum the
// stage hands on for each kind of solver.
#include "calc/backend/solver_choice.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "calc/backend/spectrum_stage.h"
#include "calc/model/calc.h"
#include "tests/test_util.h"

namespace {

using S = SpectrumSolver;

// Two states in detailed balance with p8 = (1/3, 2/3); the same rates are
// out of balance with (1/2, 1/2).
const std::vector<double> kPair = {-2, 1, 2, -1};
const std::vector<double> kPairP8 = {1.0 / 3, 2.0 / 3};
const std::vector<double> kEvenP8 = {0.5, 0.5};
// The last state absorbs: two transient states in detailed balance, or three
// driven round a cycle.
const std::vector<double> kLeak = {-5, 1, 0, 2, -1, 0, 3, 0, 0};
const std::vector<double> kCycle = {-4, 1, 2, 0, 2, -3, 1, 0, 1, 2, -3, 0, 1, 0, 0, 0};

TEST(ChooseSolver, FromOptionsAndRates) {
  struct Case {
    const char* name;
    Arithmetic arithmetic;
    Eigensolver eigensolver;
    const std::vector<double>& U;
    std::vector<double> p8;  // empty: the unit vector on the absorbing state
    SolverChoice expected;
  };
  const SolverChoice accurate = {S::kAccurate, S::kLapackInPlaceOfAccurate,
                                 Arithmetic::kQuadDouble};
  const SolverChoice accurate_absorbing = {S::kAccurate, S::kLapackGeneral,
                                           Arithmetic::kQuadDouble};
  const Case cases[] = {
      {"auto", Arithmetic::kDefault, Eigensolver::kAuto, kPair, kPairP8, accurate},
      {"accurate", Arithmetic::kDefault, Eigensolver::kAccurate, kPair, kPairP8, accurate},
      {"auto, no balance",
       Arithmetic::kDefault,
       Eigensolver::kAuto,
       kPair,
       kEvenP8,
       {S::kLapackNotReversible}},
      {"accurate, no balance",
       Arithmetic::kDefault,
       Eigensolver::kAccurate,
       kPair,
       kEvenP8,
       {S::kLapackNotReversible}},
      {"lapack",
       Arithmetic::kDefault,
       Eigensolver::kLapack,
       kPair,
       kPairP8,
       {S::kLapackInPlaceOfAccurate}},
      // The balance is not asked once LAPACK is chosen.
      {"lapack, no balance",
       Arithmetic::kDefault,
       Eigensolver::kLapack,
       kPair,
       kEvenP8,
       {S::kLapackInPlaceOfAccurate}},
      {"absorbing, auto", Arithmetic::kDefault, Eigensolver::kAuto, kLeak, {}, accurate_absorbing},
      // The factorised solver judges the transient states itself.
      {"absorbing cycle, auto",
       Arithmetic::kDefault,
       Eigensolver::kAuto,
       kCycle,
       {},
       accurate_absorbing},
      {"absorbing, lapack",
       Arithmetic::kDefault,
       Eigensolver::kLapack,
       kLeak,
       {},
       {S::kLapackInPlaceOfAccurate}},
      {"absorbing cycle, lapack",
       Arithmetic::kDefault,
       Eigensolver::kLapack,
       kCycle,
       {},
       {S::kLapackGeneral}},
      // An arithmetic of --mlapack-method takes every run, whatever the rates.
      {"MPFR",
       Arithmetic::kMpfr,
       Eigensolver::kLapack,
       kPair,
       kEvenP8,
       {S::kExtended, S::kNone, Arithmetic::kMpfr}},
      {"DOUBLE",
       Arithmetic::kDouble,
       Eigensolver::kAuto,
       kPair,
       kPairP8,
       {S::kExtended, S::kNone, Arithmetic::kDouble}},
      {"QD, absorbing",
       Arithmetic::kQuadDouble,
       Eigensolver::kAuto,
       kCycle,
       {},
       {S::kExtended, S::kNone, Arithmetic::kQuadDouble}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const int n = static_cast<int>(std::lround(std::sqrt(c.U.size())));
    RunOptions opts;
    opts.mlapack_method = c.arithmetic;
    opts.eigensolver = c.eigensolver;
    Calc calc(n, opts);
    std::vector<double> p8 = c.p8;
    if (p8.empty()) {
      SetAbsorbingState(calc, n);
      p8.assign(static_cast<size_t>(n), 0.0);
      p8.back() = 1.0;
    }
    const SolverChoice choice = ChooseSolver(calc, c.U, p8);
    EXPECT_EQ(choice.solver, c.expected.solver);
    EXPECT_EQ(choice.declined, c.expected.declined);
    if (c.expected.solver == S::kAccurate || c.expected.solver == S::kExtended) {
      EXPECT_EQ(choice.arithmetic, c.expected.arithmetic);
    }
  }
}

// What the stage hands on: a double spectrum, or an extended decomposition
// with no double values beside it, or only the --dumpX stop; the table is
// printed from either, and the pair's eigenvalues are 0 and -3.
TEST(MakeSpectrum, HoldsWhatTheChosenSolverMade) {
  for (Arithmetic arithmetic : {Arithmetic::kDefault, Arithmetic::kDoubleDouble}) {
    for (int dumpX : {0, 1}) {
      SCOPED_TRACE(std::to_string(static_cast<int>(arithmetic)) + (dumpX ? " --dumpX" : ""));
      ScopedTempDir dir;
      RunOptions opts;
      opts.quiet = 1;
      opts.mlapack_method = arithmetic;
      opts.dumpX = dumpX;
      Calc calc(2, opts);
      std::vector<double> U = kPair;
      Spectrum spectrum;
      ASSERT_TRUE(MakeSpectrum(calc, U, kPairP8, nullptr, spectrum).ok());
      EXPECT_EQ(spectrum.dumped_only, dumpX != 0);
      const bool extended = arithmetic != Arithmetic::kDefault;
      EXPECT_EQ(spectrum.extended.decomposition != nullptr, extended && !dumpX);
      if (dumpX) continue;
      if (extended) {
        EXPECT_EQ(spectrum.solver, S::kExtended);
        EXPECT_TRUE(spectrum.evals.empty());
      } else {
        EXPECT_EQ(spectrum.solver, S::kAccurate);
        ASSERT_EQ(spectrum.evals.size(), 2u);
        EXPECT_NEAR(spectrum.evals[1], -3.0, 1e-14);
      }
      std::vector<double> p0 = {1.0, 0.0};
      testing::internal::CaptureStdout();
      const Status status = PopulationTable(calc, spectrum, p0, kPairP8);
      const std::string table = testing::internal::GetCapturedStdout();
      EXPECT_TRUE(status.ok()) << status.message;
      // p_0(t) = 1/3 + 2/3 exp(-3t) on the first line, at t = 0.1.
      char expected[64];
      snprintf(expected, sizeof expected, "e-01 %e ", 1.0 / 3 + 2.0 / 3 * std::exp(-0.3));
      EXPECT_NE(table.find(expected), std::string::npos) << table;
    }
  }
}

}  // namespace
