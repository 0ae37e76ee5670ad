// The stiffness warning of the paths left in double: when it fires, the
// figure it prints (the spread it measured) and the rerun it names.
#include "calc/spectrum/stiffness.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "calc/model/calc.h"

namespace {

struct Case {
  const char* name;
  Calc::SpectrumSolver solver;
  int absorbing_state;
  std::vector<double> evals;
  std::vector<double> p8;
  double rate_spread;
  const char* want;  // the whole line, or "" for none
};

TEST(StiffnessWarning, PrintsWhatItMeasuredAndNamesTheRerun) {
  using S = Calc::SpectrumSolver;
  const std::vector<double> mild_p8 = {0.5, 0.25, 0.25};
  const std::vector<double> deep_p8 = {1.0, 1e-10, 1e-20};
  const Case cases[] = {
      {"resolved", S::kLapackSymmetric, 0, {0, -1, -1e-3}, mild_p8, 1e3, ""},
      // The rates may all be alike (a common factor that underflowed most of
      // them): the figure is the spread of the eigenvalues the test measured.
      {"lapack",
       S::kLapackSymmetric,
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
       "spread over 1e+20), the table may be wrong: rerun with --mlapack-method QD\n"},
      {"absorbing, moderate",
       S::kLapackGeneral,
       3,
       {0, -1, -1e-20},
       mild_p8,
       1e20,
       "WARNING: the slowest relaxations are below what double precision resolves (eigenvalues "
       "spread over 1e+20), the table may be wrong: rerun with --mlapack-method DD\n"},
      {"absorbing, beyond DD",
       S::kLapackGeneral,
       3,
       {0, -1, -1e-30},
       mild_p8,
       1e30,
       "WARNING: the slowest relaxations are below what double precision resolves (eigenvalues "
       "spread over 1e+30), the table may be wrong: rerun with --mlapack-method QD\n"},
      {"deep equilibrium, mild spectrum",
       S::kLapackSymmetric,
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
    calc.spectrum_solver = c.solver;
    calc.absorbing_state = c.absorbing_state;
    calc.evals = c.evals;
    testing::internal::CaptureStderr();
    WarnIfSpectrumUnresolved(calc, c.rate_spread, c.p8);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.want);

    RunOptions quiet;
    quiet.quiet = 1;
    Calc silent(3, quiet);
    silent.spectrum_solver = c.solver;
    silent.evals = c.evals;
    testing::internal::CaptureStderr();
    WarnIfSpectrumUnresolved(silent, c.rate_spread, c.p8);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  }
}

TEST(StiffnessWarning, DistributedRunNamesTheSerialSolver) {
  RunOptions opts;
  Calc calc(3, opts);
  calc.evals = {0, -1, -1e-20};
  testing::internal::CaptureStderr();
  WarnIfSpectrumUnresolved(calc, 1e20, {0.5, 0.25, 0.25}, true);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "WARNING: the slowest relaxations are below what double precision resolves "
            "(eigenvalues spread over 1e+20), the table may be wrong: rerun the serial zolvane "
            "with --eigensolver accurate\n");
}

}  // namespace
