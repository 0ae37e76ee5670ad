// The default run on every family of stiff landscapes against the
// multiple-precision reference: every printed population is the reference
// rounded to the printed digits, and first passage times are right to 1e-12
// relative, at rate spreads from 1e6 to 1e36.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "tests/stiff/stiff_fixture.h"
#include "tests/test_util.h"

namespace {

// What the double arithmetic may add to a population once the printed
// digits are rounded: far below anything printed.
constexpr double kPopulationSlack = 2e-12;
constexpr double kTimeRelative = 1e-12;

// Every family, started at the top of the landscape and in its native state.
std::vector<stiff::Fixture> Cases() {
  std::vector<stiff::Fixture> cases;
  for (stiff::Fixture f : stiff::EveryFamily()) {
    cases.push_back(f);
    f.from_native = true;
    cases.push_back(f);
  }
  return cases;
}

TEST(StiffDefaultRun, EveryPrintedPopulationIsTheReferenceRounded) {
  for (const stiff::Fixture& f : Cases()) {
    SCOPED_TRACE(stiff::Name(f));
    const reference::Kinetics ref = stiff::Reference(f);
    const RunResult r = RunZolvane(stiff::PopulationArgs(f, ref));
    ASSERT_EQ(0, r.status) << r.err;
    EXPECT_EQ(r.err.find("WARNING"), std::string::npos) << r.err;
    stiff::Table table;
    std::string error, where;
    ASSERT_TRUE(stiff::ParseTable(r.out, ref.states(), table, error)) << error;
    EXPECT_LE(
        stiff::MaxPopulationErrorBeyondPrint(table, ref, stiff::StartPopulation(f, ref), where),
        kPopulationSlack)
        << where;
  }
}

TEST(StiffDefaultRun, FirstPassageTimesAreRightTo1e12) {
  for (const stiff::Fixture& f : stiff::EveryFamily()) {
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

}  // namespace
