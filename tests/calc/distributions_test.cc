// Initial population, the storage for the spectral stage, and the equilibrium
// from the energies of the minima or from local balance on U.
#include "calc/model/distributions.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "calc/model/calc.h"
#include "tests/test_util.h"

namespace {

TEST(MxMakeP0, TableOfInitialPopulations) {
  struct Case {
    const char* name;
    int dim;
    std::vector<double> table;  // the --p0 table of RunOptions; empty = none
    std::vector<double> want;
  };
  const Case cases[] = {
      {"no table: all in state 1", 3, {}, {1, 0, 0}},
      {"two pairs", 4, {5, 2, 0.3, 3, 0.7}, {0, 0.3, 0.7, 0}},
      {"no accepted pair gives zeros", 3, {1, 0, 0}, {0, 0, 0}},
      {"later pair for a state wins", 3, {5, 2, 0.2, 2, 0.9}, {0, 0.9, 0}},
      {"dropped pieces behind the pairs are ignored", 3, {3, 2, 1, 0, 0}, {0, 1, 0}},
      {"the appended absorbing state can be named", 3, {3, 3, 1}, {0, 0, 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RunOptions opts;
    opts.p0 = c.table;
    Calc calc(c.dim, opts);
    std::vector<double> p0 = {42.0};
    ASSERT_TRUE(MxMakeP0(calc, p0).ok());
    EXPECT_EQ(c.want, p0);
  }
}

TEST(MxMakeP0, StateBeyondTheLastIsRefused) {
  RunOptions opts;
  opts.p0 = {5, 1, 0.5, 5, 0.5};
  Calc calc(4, opts);
  std::vector<double> p0;
  const Status status = MxMakeP0(calc, p0);
  EXPECT_EQ(kExitError, status.exit_status);
  EXPECT_EQ("ERROR: --p0 names state 5, but there are 4 states\n", status.message);
}

TEST(MxAllocate, EquilibriumOfTheCurrentDimension) {
  for (int absorb : {0, 3}) {
    SCOPED_TRACE(absorb);
    RunOptions opts;
    Calc calc(3, opts);
    SetAbsorbingState(calc, absorb);
    EXPECT_EQ(std::vector<double>(3, 0.0), MxAllocate(calc));
  }
}

TEST(MxEquilibriumFromEnergies, BoltzmannWeights) {
  const double kT = (37.0 + 273.15) * 0.00198717;
  const double e = std::exp(-1.0 / kT);
  struct Case {
    const char* name;
    std::vector<double> energies;
    int absorb;
    std::vector<double> want;
  };
  const Case cases[] = {
      {"two minima one kcal apart", {-10, -9}, 0, {1 / (1 + e), e / (1 + e)}},
      {"first minimum not the lowest",
       {-9, -10, -9},
       0,
       {e / (1 + 2 * e), 1 / (1 + 2 * e), e / (1 + 2 * e)}},
      {"one state", {-3}, 0, {1}},
      {"absorbing state takes everything", {-10, -9}, 3, {0, 0, 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<QorpRecord> records(c.energies.size());
    for (size_t i = 0; i < records.size(); ++i) records[i].energy = c.energies[i];
    RunOptions opts;
    Calc calc(static_cast<int>(c.want.size()), opts);
    SetAbsorbingState(calc, c.absorb);
    std::vector<double> p8 = MxAllocate(calc);
    ASSERT_TRUE(MxEquilibriumFromEnergies(calc, records, p8).ok());
    ExpectArrayNear(c.want, p8, 1e-15);
  }
}

TEST(MxEquilibriumFromBalance, LocalBalanceWalks) {
  struct Case {
    const char* name;
    int absorb;
    std::vector<double> U;  // U(i, j) = rate j -> i; diagonal unused
    std::vector<double> want;
    std::string err;  // printed whatever --quiet says
  };
  const Case cases[] = {
      {"two states",
       0,
       {-1, 2, 1, -2},
       {2.0 / 3, 1.0 / 3},
       "p8 (detailed balance):\n      0.6666667       0.3333333 \n---\n"},
      {"chain through state 1, with a weird intermediate value",
       0,
       {-2, 1, 0, 2, -4, 3, 0, 1, -3},
       {3.0 / 11, 6.0 / 11, 2.0 / 11},
       "Weird eqilibrium pop for state 1"
       "p8 (local balance):\n              1               2               0 \n---\n"
       "p8 (detailed balance):\n      0.2727273       0.5454545       0.1818182 \n---\n"},
      {"one state", 0, {0}, {1}, "p8 (detailed balance):\n              1 \n---\n"},
      {"absorbing state: its unit vector, no walk",
       3,
       {-1, 2, 0, 1, -2, 0, 0, 0, 0},
       {0, 0, 1},
       ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RunOptions opts;
    opts.quiet = 1;
    Calc calc(static_cast<int>(c.want.size()), opts);
    SetAbsorbingState(calc, c.absorb);
    std::vector<double> p8 = MxAllocate(calc);
    testing::internal::CaptureStderr();
    EXPECT_TRUE(MxEquilibriumFromBalance(calc, c.U, p8).ok());
    EXPECT_EQ(c.err, testing::internal::GetCapturedStderr());
    ExpectArrayNear(c.want, p8, 1e-15);
  }
}

// Rates local balance cannot satisfy are refused with status 1; a chain the
// walk cannot cover prints what it found and fails with no message of its
// own.
TEST(MxEquilibriumFromBalance, UnbalancedOrDisconnectedIsRefused) {
  struct Case {
    const char* name;
    std::vector<double> U;
    std::string message;
    std::string err;
  };
  const Case cases[] = {
      {"a rate one way and none back",
       {0, 2, 0, 0},
       "Local balance is unsatisfiable at U[0][1]=2.000000\n",
       ""},
      {"state 2 not connected",
       {0, 1, 0, 1, 0, 0, 0, 0, 0},
       "",
       "non-ergodic chain\np8 (local balance):\n              1               1               0 "
       "\n---\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RunOptions opts;
    const int n = c.U.size() == 4 ? 2 : 3;
    Calc calc(n, opts);
    std::vector<double> p8(n, 0.0);
    testing::internal::CaptureStderr();
    const Status status = MxEquilibriumFromBalance(calc, c.U, p8);
    EXPECT_EQ(c.err, testing::internal::GetCapturedStderr());
    EXPECT_EQ(kExitError, status.exit_status);
    EXPECT_EQ(c.message, status.message);
  }
}

}  // namespace
