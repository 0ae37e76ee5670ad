// zolvane-mpi's default run (the factorised solver over MPI) on every family
// of stiff landscapes against the multiple-precision reference: every
// printed population is the reference rounded to the printed digits, as for
// the serial default run, on 1 to 4 processes (each family meets several
// process counts in turn; 3 and 4 divide no fixture's state count evenly).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/stiff/stiff_fixture.h"
#include "tests/test_util.h"

namespace {

// What the double arithmetic may add to a population once the printed
// digits are rounded: far below anything printed.
constexpr double kPopulationSlack = 2e-12;

TEST(DistributedStiff, EveryPrintedPopulationIsTheReferenceRounded) {
  int count = 0;
  for (const stiff::Fixture& f : stiff::EveryFamily()) {
    const int processes = 1 + count++ % 4;
    SCOPED_TRACE(stiff::Name(f) + " on " + std::to_string(processes) + " processes");
    const reference::Kinetics& ref = stiff::Reference(f);
    ScopedTempDir dir;
    const RunResult r =
        RunProgram(SourcePath("tests/distributed/mpirun.sh"),
                   Concat({std::to_string(processes), ZOLVANE_MPI}, stiff::PopulationArgs(f, ref)));
    stiff::ExpectReferenceTable(r.status, r.out, r.err, f, ref, kPopulationSlack);
  }
}

}  // namespace
