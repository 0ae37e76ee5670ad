// Every --mlapack-method against the multiple-precision reference on the
// stiff fixtures, up to the stiffness each arithmetic is meant to carry:
// printed populations (absolute), first passage times to the native state and
// between all pairs (relative, beyond the rounding of the printed digits).
// Also: DOUBLE repeats the LAPACK path on ordinary landscapes, and the double
// path says when its spectrum cannot be trusted.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "tests/stiff/stiff_fixture.h"
#include "tests/test_util.h"

namespace {

// All fixtures up to stiffness 1e`max_exponent`: both files, or only the
// qorp files with the native minimum made absorbing.
std::vector<stiff::Fixture> FixturesUpTo(int max_exponent, bool absorbing = false) {
  std::vector<stiff::Fixture> fixtures;
  for (const stiff::Fixture& f : stiff::AllFixtures()) {
    if (f.exponent > max_exponent || (absorbing && !f.qorp)) continue;
    fixtures.push_back(f);
    if (absorbing) fixtures.back().absorb = 1;
  }
  return fixtures;
}

std::vector<std::string> With(std::vector<std::string> args, const std::vector<std::string>& more) {
  args.insert(args.end(), more.begin(), more.end());
  return args;
}

struct Bound {
  const char* name;                  // for the test's name
  std::vector<std::string> options;  // the method and its precision
  int max_exponent;                  // stiffest fixture it must carry
  double tolerance;
};

void PrintTo(const Bound& b, std::ostream* os) { *os << b.name; }

class PopulationAccuracy : public testing::TestWithParam<Bound> {};

TEST_P(PopulationAccuracy, EveryPrintedPopulationIsWithinTheBound) {
  const Bound& b = GetParam();
  std::vector<stiff::Fixture> fixtures = FixturesUpTo(b.max_exponent);
  for (const stiff::Fixture& f : FixturesUpTo(b.max_exponent, true)) fixtures.push_back(f);
  for (const stiff::Fixture& f : stiff::InThisBuild(fixtures)) {
    SCOPED_TRACE(stiff::Name(f));
    const reference::Kinetics& ref = stiff::Reference(f);
    const RunResult r = RunZolvane(With(stiff::PopulationArgs(f, ref), b.options));
    ASSERT_EQ(0, r.status) << r.err;
    stiff::Table table;
    std::string error, where;
    ASSERT_TRUE(stiff::ParseTable(r.out, ref.states(), table, error)) << error;
    EXPECT_LE(stiff::MaxPopulationError(table, ref, stiff::StartPopulation(f, ref), where),
              b.tolerance)
        << where;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Methods, PopulationAccuracy,
    testing::Values(
        Bound{"LD", {"--mlapack-method", "LD"}, 18, 1e-3},
        Bound{"DD", {"--mlapack-method", "DD"}, 30, 1e-6},
        Bound{"FLOAT128", {"--mlapack-method", "FLOAT128"}, 30, 1e-6},
        Bound{"QD", {"--mlapack-method", "QD"}, 36, 1e-6},
        Bound{"MPFR256", {"--mlapack-method", "MPFR", "--mlapack-precision", "256"}, 36, 1e-6},
        Bound{"GMP256", {"--mlapack-method", "GMP", "--mlapack-precision", "256"}, 36, 1e-6}),
    [](const testing::TestParamInfo<Bound>& info) { return std::string(info.param.name); });

struct FirstPassageBound {
  const char* name;
  std::string which;  // "1" (to the native state), "all", or "absorbing" (times)
  std::vector<std::string> options;
  int max_exponent;
  double tolerance;  // relative
};

void PrintTo(const FirstPassageBound& b, std::ostream* os) { *os << b.name; }

class FirstPassageAccuracy : public testing::TestWithParam<FirstPassageBound> {};

TEST_P(FirstPassageAccuracy, EveryPrintedTimeIsWithinTheBound) {
  const FirstPassageBound& b = GetParam();
  const bool absorbing = b.which == "absorbing";
  const std::string which = absorbing ? "all" : b.which;
  for (const stiff::Fixture& f : stiff::InThisBuild(FixturesUpTo(b.max_exponent, absorbing))) {
    SCOPED_TRACE(stiff::Name(f));
    ScopedTempDir dir;
    const RunResult r = RunZolvane(With(stiff::FirstPassageArgs(f, which), b.options));
    ASSERT_EQ(0, r.status) << r.err;
    std::string where;
    EXPECT_LE(stiff::MaxRelativeError(stiff::PrintedNumbers(ReadFile("fpt.txt")),
                                      stiff::ReferenceTimes(f, which), where),
              b.tolerance)
        << where;
  }
}

const std::vector<std::string> kMpfr256 = {"--mlapack-method", "MPFR", "--mlapack-precision",
                                           "256"};

INSTANTIATE_TEST_SUITE_P(
    Methods, FirstPassageAccuracy,
    testing::Values(
        FirstPassageBound{"DD_to_1", "1", {"--mlapack-method", "DD"}, 30, 1e-4},
        FirstPassageBound{"QD_to_1", "1", {"--mlapack-method", "QD"}, 36, 1e-6},
        FirstPassageBound{"MPFR256_to_1", "1", kMpfr256, 36, 1e-6},
        FirstPassageBound{"QD_all", "all", {"--mlapack-method", "QD"}, 36, 1e-6},
        FirstPassageBound{"MPFR256_all", "all", kMpfr256, 36, 1e-6},
        // Absorbing times come from one linear solve, like the
        // times to one state.
        FirstPassageBound{"DD_absorbing", "absorbing", {"--mlapack-method", "DD"}, 30, 1e-4},
        FirstPassageBound{"QD_absorbing", "absorbing", {"--mlapack-method", "QD"}, 36, 1e-6},
        FirstPassageBound{"MPFR256_absorbing", "absorbing", kMpfr256, 36, 1e-6}),
    [](const testing::TestParamInfo<FirstPassageBound>& info) {
      return std::string(info.param.name);
    });

// The ordinary landscapes: the mildest fixtures and the bundled example.
std::vector<std::vector<std::string>> OrdinaryRuns() {
  std::vector<std::vector<std::string>> runs;
  for (const stiff::Fixture& f : FixturesUpTo(6)) {
    runs.push_back(stiff::PopulationArgs(f, stiff::Reference(f)));
  }
  runs.push_back({"--ratesfile", SourcePath("examples/landscape.rates"), "--t8", "1e6"});
  runs.push_back({"-m", "A", "--qorp", SourcePath("examples/landscape.qorp"), "--t8", "1e6"});
  return runs;
}

// Same table lines; populations that may differ by 1e-10 before printing, so
// by that plus the rounding of either printed value.
TEST(MlapackDouble, RepeatsTheLapackPathOnOrdinaryLandscapes) {
  for (const std::vector<std::string>& args : OrdinaryRuns()) {
    SCOPED_TRACE(args[args[0] == "-m" ? 3 : 1]);
    const RunResult lapack = RunZolvane(args);
    const RunResult generic = RunZolvane(With(args, {"--mlapack-method", "DOUBLE"}));
    ASSERT_EQ(0, lapack.status) << lapack.err;
    ASSERT_EQ(0, generic.status) << generic.err;
    const std::vector<std::string> want = Lines(lapack.out), got = Lines(generic.out);
    ASSERT_EQ(want.size(), got.size());
    for (size_t i = 0; i < want.size(); ++i) {
      if (want[i].rfind('#', 0) == 0) continue;
      SCOPED_TRACE("line " + std::to_string(i + 1));
      const std::vector<stiff::Printed> a = stiff::PrintedNumbers(want[i]);
      const std::vector<stiff::Printed> b = stiff::PrintedNumbers(got[i]);
      ASSERT_EQ(a.size(), b.size());
      EXPECT_EQ(want[i].substr(0, want[i].find(' ')), got[i].substr(0, got[i].find(' ')));
      for (size_t k = 1; k < a.size(); ++k) {
        EXPECT_NEAR(a[k].value, b[k].value, 1e-10 + a[k].half_unit + b[k].half_unit)
            << "state " << k;
      }
    }
  }
}

// The method that a warning line "WARNING: ... --mlapack-method M ..."
// names, or "" when there is no such line.
// What the warning says to rerun with ("--eigensolver accurate",
// "--mlapack-method QD", ...) as arguments; none without a warning.
std::vector<std::string> SuggestedRerun(const std::string& err) {
  for (const std::string& line : Lines(err)) {
    // A warning may follow another on its line: the eigenvector
    // reachability warning ends without a line break.
    const size_t at = line.find("rerun with ");
    const size_t warning = line.rfind("WARNING:", at);
    if (at == std::string::npos || warning == std::string::npos) continue;
    std::istringstream rest(line.substr(at + 11));
    std::vector<std::string> args;
    for (std::string word; rest >> word;) args.push_back(word);
    return args.empty() ? std::vector<std::string>{"?"} : args;
  }
  return {};
}

// The warnings of the paths left in double fire where they fail and name
// a rerun that gets the table right; they stay away from ordinary landscapes
// and from quiet runs. The LAPACK eigensolver names the accurate one; beside
// an absorbing state whose other states it finds out of balance (the general
// solver, which --eigensolver lapack keeps) the default run, --eigensolver
// auto, whose exact propagator takes any rates.
TEST(StiffnessWarning, DoublePathWarnsFrom1e18WithAMethodThatWorks) {
  std::vector<stiff::Fixture> fixtures = FixturesUpTo(36);
  for (const stiff::Fixture& f : FixturesUpTo(36, true)) fixtures.push_back(f);
  for (const stiff::Fixture& f : stiff::InThisBuild(fixtures)) {
    if (f.exponent == 12) continue;  // between the two regimes: either is fine
    SCOPED_TRACE(stiff::Name(f));
    const reference::Kinetics& ref = stiff::Reference(f);
    const std::vector<std::string> args = stiff::PopulationArgs(f, ref);
    const std::vector<std::string> solver = {"--eigensolver", "lapack"};
    const std::vector<std::string> rerun = SuggestedRerun(RunZolvane(With(args, solver)).err);
    if (f.exponent < 18) {
      EXPECT_TRUE(rerun.empty());
      continue;
    }
    ASSERT_FALSE(rerun.empty());
    if (f.absorb == 0) {
      EXPECT_EQ(rerun, (std::vector<std::string>{"--eigensolver", "accurate"}));
    }
    const RunResult r = RunZolvane(With(args, rerun));
    ASSERT_EQ(0, r.status) << r.err;
    stiff::Table table;
    std::string error, where;
    ASSERT_TRUE(stiff::ParseTable(r.out, ref.states(), table, error)) << error;
    EXPECT_LE(stiff::MaxPopulationError(table, ref, stiff::StartPopulation(f, ref), where), 1e-6)
        << rerun.back() << ": " << where;
  }
  const stiff::Fixture stiffest{"funnel", 36, true};
  EXPECT_TRUE(
      SuggestedRerun(RunZolvane(With(stiff::PopulationArgs(stiffest, stiff::Reference(stiffest)),
                                     {"--quiet", "--eigensolver", "lapack"}))
                         .err)
          .empty());
  for (const std::vector<std::string>& args : OrdinaryRuns()) {
    SCOPED_TRACE(args[args[0] == "-m" ? 3 : 1]);
    EXPECT_TRUE(SuggestedRerun(RunZolvane(With(args, {"--eigensolver", "lapack"})).err).empty());
  }
}

}  // namespace
