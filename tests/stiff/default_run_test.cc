// The default run on every family of stiff landscapes against the
// multiple-precision reference: every printed population is the reference
// rounded to the printed digits, with and without an absorbing state, and
// first passage times are right to 1e-12 relative, at rate spreads from 1e6
// to 1e36; on a landscape too large for the reference, the default run
// prints what the exact propagator computes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "base/run_options.h"
#include "calc/model/calc.h"
#include "calc/model/transition_matrix.h"
#include "input/input_context.h"
#include "input/qorp_file.h"
#include "propagator/exact_propagator.h"
#include "tests/stiff/stiff_fixture.h"
#include "tests/test_util.h"

namespace {

// What the double arithmetic may add to a population once the printed
// digits are rounded: far below anything printed.
constexpr double kPopulationSlack = 2e-12;
constexpr double kTimeRelative = 1e-12;

// Every family, started at the top of the landscape and in its native state;
// the qorp files also with the native minimum leaking into an absorbing
// state, which the factorised solver takes as well.
std::vector<stiff::Fixture> Cases() {
  std::vector<stiff::Fixture> cases;
  for (stiff::Fixture f : stiff::InThisBuild(stiff::EveryFamily())) {
    for (int absorb : {0, 1}) {
      if (absorb != 0 && !f.qorp) continue;
      f.absorb = absorb;
      for (bool native : {false, true}) {
        f.from_native = native;
        cases.push_back(f);
      }
    }
  }
  return cases;
}

TEST(StiffDefaultRun, EveryPrintedPopulationIsTheReferenceRounded) {
  for (const stiff::Fixture& f : Cases()) {
    SCOPED_TRACE(stiff::Name(f));
    const reference::Kinetics& ref = stiff::Reference(f);
    const RunResult r = RunZolvane(stiff::PopulationArgs(f, ref));
    stiff::ExpectReferenceTable(r.status, r.out, r.err, f, ref, kPopulationSlack);
  }
}

TEST(StiffDefaultRun, FirstPassageTimesAreRightTo1e12) {
  for (const stiff::Fixture& f : stiff::InThisBuild(stiff::EveryFamily())) {
    SCOPED_TRACE(stiff::Name(f));
    for (const std::string which : {"1", "all"}) {
      ScopedTempDir dir;
      const RunResult r = RunZolvane(stiff::FirstPassageArgs(f, which));
      ASSERT_EQ(0, r.status) << r.err;
      EXPECT_EQ(r.err.find("WARNING"), std::string::npos) << r.err;
      std::string where;
      EXPECT_LE(stiff::MaxRelativeError(stiff::PrintedNumbers(ReadFile("fpt.txt")),
                                        stiff::ReferenceTimes(f, which), where),
                kTimeRelative)
          << "--fpt " << which << ": " << where;
    }
  }
}

// 300 minima at R = 1e24, started at the top: beyond the multiple-precision
// reference, so the exact propagator (a different method, every population
// right to a few ulps at any spread, as its own tests show against the
// reference) decides. Every printed population agrees to one unit of its
// last printed digit (7 significant digits); the LAPACK path is off by
// hundreds of units.
TEST(StiffDefaultRun, LargeLandscapeMatchesTheExactPropagator) {
  if (kSanitized) GTEST_SKIP() << "numbers only, checked in the optimised build";
  const std::string qorp = SourcePath("tests/stiff/fixtures/funnel300_1e24.qorp");
  const RunResult r =
      RunZolvane({"-m", "A", "--qorp", qorp, "--p0", "300=1", "--t8", "1e28", "--tinc", "4"});
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_EQ(r.err.find("WARNING"), std::string::npos) << r.err;
  stiff::Table got;
  std::string error;
  ASSERT_TRUE(stiff::ParseTable(r.out, 300, got, error)) << error;

  // The same generator in process: the qorp file's minima at the default
  // temperature, as the run builds it.
  RunOptions opts;
  opts.method = 'A';
  opts.quiet = 1;
  InputContext ctx{opts};
  FILE* f = fopen(qorp.c_str(), "r");
  ASSERT_NE(f, nullptr);
  std::vector<QorpRecord> records;
  int n = 0;
  const Status read = ParseQorpFile(ctx, f, records, n);  // closes f
  ASSERT_TRUE(read.ok()) << read.message;
  ASSERT_EQ(300, n);
  Calc calc(n, opts);
  std::vector<double> u;
  ASSERT_TRUE(MxQorp2Matrix(calc, &records, {}, u).ok());
  std::vector<double> p0(static_cast<size_t>(n), 0.0);
  p0[static_cast<size_t>(n - 1)] = 1.0;
  PropagatorResult want;
  ASSERT_EQ(PropagatorStatus::kOk, PropagateExactly(n, u, p0, got.times, want));

  for (size_t t = 0; t < got.times.size(); ++t) {
    for (size_t i = 0; i < got.populations[t].size(); ++i) {
      const double w = want.populations[t * static_cast<size_t>(n) + i];
      const double unit =
          w == 0.0 ? 1e-300 : std::pow(10.0, std::floor(std::log10(std::fabs(w))) - 6);
      EXPECT_LE(std::fabs(got.populations[t][i] - w), unit * 1.0001)
          << "time " << got.times[t] << ", state " << i + 1;
    }
  }
}

}  // namespace
