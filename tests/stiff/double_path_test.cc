// The default double path on the mildly stiff fixtures, where double
// precision still resolves the spectrum: every printed population within
// 1e-6 of the multiple-precision reference, and first passage times (or
// absorbing times) within 1e-6 relative.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/stiff/stiff_fixture.h"
#include "tests/test_util.h"

namespace {

// Both files, and the qorp file with the native minimum made absorbing.
std::vector<stiff::Fixture> MildFixtures() {
  std::vector<stiff::Fixture> fixtures;
  for (const char* kind : {"funnel", "cascade"}) {
    for (int exponent : {6, 12}) {
      fixtures.push_back({kind, exponent, true});
      fixtures.push_back({kind, exponent, false});
      fixtures.push_back({kind, exponent, true, 1});
    }
  }
  return stiff::InThisBuild(fixtures);
}

TEST(StiffDoublePath, PopulationsMatchTheReferenceUpTo1e12) {
  for (const stiff::Fixture& f : MildFixtures()) {
    SCOPED_TRACE(stiff::Name(f));
    const reference::Kinetics& ref = stiff::Reference(f);
    const RunResult r = RunZolvane(stiff::PopulationArgs(f, ref));
    ASSERT_EQ(0, r.status) << r.err;
    stiff::Table table;
    std::string error, where;
    ASSERT_TRUE(stiff::ParseTable(r.out, ref.states(), table, error)) << error;
    EXPECT_LE(stiff::MaxPopulationError(table, ref, stiff::StartPopulation(f, ref), where), 1e-6)
        << where;
  }
}

TEST(StiffDoublePath, FirstPassageTimesMatchTheReferenceUpTo1e12) {
  for (const stiff::Fixture& f : MildFixtures()) {
    SCOPED_TRACE(stiff::Name(f));
    for (const std::string which : {"1", "all"}) {
      ScopedTempDir dir;
      const RunResult r = RunZolvane(stiff::FirstPassageArgs(f, which));
      ASSERT_EQ(0, r.status) << r.err;
      std::string where;
      EXPECT_LE(stiff::MaxRelativeError(stiff::PrintedNumbers(ReadFile("fpt.txt")),
                                        stiff::ReferenceTimes(f, which), where),
                1e-6)
          << "--fpt " << which << ": " << where;
    }
  }
}

}  // namespace
