// Whole runs on rates without detailed balance and on --exponent: the table
// of --exponent on every family of stiff landscapes, and the table
// of the rates' own dynamics (every printed population the exact value
// rounded, against the multiple-precision reference of any generator), their
// equilibrium, first passage times, the one line that says which propagator
// runs, and the refusals of what cannot describe such rates.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "tests/propagator/chains.h"
#include "tests/reference/reference_kinetics.h"
#include "tests/stiff/stiff_fixture.h"
#include "tests/test_util.h"

namespace {

using chains::Chain;

bool Contains(const std::string& s, const std::string& part) {
  return s.find(part) != std::string::npos;
}

std::string Printed(double x) {
  char text[32];
  snprintf(text, sizeof text, "%e", x);
  return text;
}

// The three states: line i lists the rates i -> j. Equilibrium
// (1/3, 1/4, 5/12), where local balance would give (1/3, 1/3, 1/3).
const char kThreeStates[] = "0 1 1\n1 0 2\n1 1 0\n";

Chain ThreeStates() {
  Chain c{"three", 3, std::vector<double>(9, 0.0)};
  const double rows[3][3] = {{0, 1, 1}, {1, 0, 2}, {1, 1, 0}};
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      if (i != j) c.rate(i, j) = rows[i][j];
    }
  }
  return c;
}

// The populations of every table line as printed; `exact_times`: the time
// field is the exact time ("%22.20e"); otherwise the times are t0 * f^k up
// to t8 (--exponent prints them rounded). A last line that repeats the
// populations before it at t8 (the table reached p8 earlier) is left out.
struct Printout {
  std::vector<double> times;
  std::vector<std::vector<std::string>> values;
};

Printout ParsePrintout(const std::string& out, bool exact_times, double t0, double f,
                       double t8 = HUGE_VAL) {
  Printout p;
  double tau = t0;
  for (const std::string& line : Lines(out)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    std::string time;
    fields >> time;
    p.times.push_back(exact_times ? strtod(time.c_str(), nullptr) : std::fmin(tau, t8));
    tau *= f;
    std::vector<std::string> row;
    for (std::string v; fields >> v;) row.push_back(v);
    p.values.push_back(row);
  }
  const size_t lines = p.values.size();
  if (lines >= 2 && p.values[lines - 1] == p.values[lines - 2]) {
    p.times.pop_back();
    p.values.pop_back();
  }
  return p;
}

// Misprints of a table against the reference of the generator `c` from the
// state `start` (0-based): values whose "%e" is not the exact value's.
int Misprints(const Printout& p, const Chain& c, int start, std::string& where) {
  std::vector<double> p0(static_cast<size_t>(c.n), 0.0);
  p0[static_cast<size_t>(start)] = 1.0;
  const std::vector<std::vector<double>> want =
      reference::PopulationsOfGenerator(c.n, c.u, p0, p.times);
  int misprints = 0;
  for (size_t k = 0; k < p.times.size(); ++k) {
    if (p.values[k].size() != static_cast<size_t>(c.n)) {
      where = "a line of " + std::to_string(p.values[k].size()) + " values";
      return -1;
    }
    for (int i = 0; i < c.n; ++i) {
      if (p.values[k][i] == Printed(want[k][i])) continue;
      if (misprints++ == 0) {
        where = "t = " + Printed(p.times[k]) + ", state " + std::to_string(i + 1) + ": " +
                p.values[k][i] + " for " + Printed(want[k][i]);
      }
    }
  }
  return misprints;
}

TEST(UnbalancedRates, ThreeStatesFollowTheirOwnDynamics) {
  ScopedTempDir dir;
  WriteFile("nr3.rates", kThreeStates);
  const Chain c = ThreeStates();
  const std::vector<std::string> run = {"--ratesfile", "nr3.rates", "--t8", "10", "--tinc", "3"};

  RunResult r = RunZolvane(Concat(run, {"--equil-file", "p8.txt"}));
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_TRUE(Contains(r.err,
                       "The rates do not obey detailed balance (largest relative deviation "
                       "5.0e-01): the populations come from the exact propagator\n"))
      << r.err;
  EXPECT_FALSE(Contains(r.err, "Corrected numerical error")) << r.err;
  EXPECT_TRUE(Contains(r.out, "e+00 3.468279e-01 2.486209e-01 4.045512e-01 \n")) << r.out;
  std::string where;
  EXPECT_EQ(0, Misprints(ParsePrintout(r.out, true, 0, 0), c, 0, where)) << where;
  const std::vector<double> p8 = ParseNumbers(ReadFile("p8.txt"));
  ASSERT_EQ(3u, p8.size());
  EXPECT_NEAR(1.0 / 3, p8[0], 1e-7);
  EXPECT_NEAR(1.0 / 4, p8[1], 1e-7);
  EXPECT_NEAR(5.0 / 12, p8[2], 1e-7);
  // The last line is the equilibrium of these rates, reached before t8.
  EXPECT_TRUE(
      Contains(r.out, "1.00000000000000000000e+01 3.333333e-01 2.500000e-01 4.166667e-01 \n"))
      << r.out;

  EXPECT_FALSE(Contains(RunZolvane(Concat(run, {"-q"})).err, "do not obey"));

  // --exponent: the same dynamics on its own axis.
  r = RunZolvane(Concat(run, {"--exponent"}));
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_EQ(0, Misprints(ParsePrintout(r.out, false, 0.1, 3, 10), c, 0, where)) << where;

  // First passage times by elimination, which needs no balance.
  r = RunZolvane(Concat(run, {"--fpt", "all", "--fptfile", "fpt.txt", "--just-shorten"}));
  ASSERT_EQ(0, r.status) << r.err;
  const reference::Kinetics k = reference::Kinetics::FromRates("nr3.rates");
  std::vector<double> want;
  for (const std::vector<double>& row : k.FirstPassageAll())
    want.insert(want.end(), row.begin(), row.end());
  EXPECT_LE(stiff::MaxRelativeError(stiff::PrintedNumbers(ReadFile("fpt.txt")), want, where), 1e-12)
      << where;

  // --eigensolver lapack keeps its path and says what it does not resolve.
  r = RunZolvane(Concat(run, {"--eigensolver", "lapack"}));
  EXPECT_EQ(0, r.status) << r.err;
  EXPECT_TRUE(Contains(r.err,
                       "WARNING: the rates do not obey detailed balance (largest relative "
                       "deviation 5.0e-01), which --eigensolver lapack does not resolve, the table "
                       "may be wrong: rerun with --eigensolver auto\n"))
      << r.err;
}

// Transitions one way only leave no local balance at all: an irreducible
// chain of them (a driven cycle) still gets its own table and equilibrium;
// a chain that is not irreducible has no equilibrium and stays refused.
TEST(UnbalancedRates, OneWayTransitionsFollowTheirOwnDynamics) {
  ScopedTempDir dir;
  WriteFile("cycle.rates", "0 1 0\n0 0 1e-8\n1 0 0\n");
  Chain c{"cycle", 3, std::vector<double>(9, 0.0)};
  c.rate(0, 1) = 1.0;
  c.rate(1, 2) = 1e-8;
  c.rate(2, 0) = 1.0;
  RunResult r = RunZolvane(
      {"--ratesfile", "cycle.rates", "--t8", "1e12", "--tinc", "4", "--equil-file", "p8.txt"});
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_TRUE(Contains(r.err, "the populations come from the exact propagator")) << r.err;
  std::string where;
  EXPECT_EQ(0, Misprints(ParsePrintout(r.out, true, 0, 0), c, 0, where)) << where;
  const std::vector<double> p8 = ParseNumbers(ReadFile("p8.txt"));
  ASSERT_EQ(3u, p8.size());
  const double total = 2.0 + 1e8;
  EXPECT_NEAR(1.0 / total, p8[0], 1e-15);
  EXPECT_NEAR(1e8 / total, p8[1], 1e-7);

  // State 3 leaks into a pair it never returns from.
  WriteFile("leak.rates", "0 1 0\n1 0 0\n1 0 0\n");
  r = RunZolvane({"--ratesfile", "leak.rates", "--t8", "10", "--p0", "3=1"});
  EXPECT_EQ(1, r.status);
  EXPECT_TRUE(Contains(r.err, "Local balance is unsatisfiable")) << r.err;
  EXPECT_FALSE(Contains(r.out, "e-01 ")) << r.out;
}

// What would describe other rates, or has nothing to write, is refused
// before any table.
TEST(UnbalancedRates, RefusesWhatCannotDescribeThem) {
  ScopedTempDir dir;
  WriteFile("nr3.rates", kThreeStates);
  const std::vector<std::string> run = {"--ratesfile", "nr3.rates", "--t8", "10"};
  const struct {
    std::vector<std::string> args;
    std::string message;
  } cases[] = {
      {{"--mlapack-method", "QD"}, "which --mlapack-method cannot take: rerun without it"},
      {{"--mlapack-method", "QD", "--fpt", "all"},
       "which --mlapack-method cannot take: rerun without it"},
      {{"--mlapack-method", "DD", "-a", "3", "--qorp", "three.qorp"},
       "which --mlapack-method cannot take"},
      {{"--recoverE"}, "which --recoverE cannot take: rerun without it"},
      {{"--dumpE"}, "makes no eigen-decomposition for --dumpE"},
      {{"--dumpX"}, "makes no eigen-decomposition for --dumpX"},
  };
  WriteFirstMinima("three.qorp", 3);
  for (const auto& c : cases) {
    const RunResult r = RunZolvane(Concat(run, c.args));
    SCOPED_TRACE(c.args[0]);
    EXPECT_EQ(1, r.status);
    EXPECT_TRUE(Contains(r.err, "ERROR: the rates do not obey detailed balance")) << r.err;
    EXPECT_TRUE(Contains(r.err, c.message)) << r.err;
    EXPECT_FALSE(Contains(r.out, "e-01 ")) << r.out;
  }
}

// Driven cycles, random stiff chains and reversible landscapes perturbed by
// 1e-6 and 1e-5, from the first and the last state, on the default table
// and on --exponent's; every printed population the exact value rounded.
TEST(UnbalancedRates, StiffChainsPrintTheExactPopulations) {
  ScopedTempDir dir;
  struct Case {
    Chain chain;
    const char* t8;
  };
  std::vector<Case> cases = {{chains::DrivenCycle(6, 20, 1), "1e22"}};
  if (!kSanitized) {
    cases.push_back({chains::DrivenCycle(10, 30, 2), "1e32"});
    cases.push_back({chains::RandomStiff(10, 24, 3), "1e26"});
    cases.push_back({chains::Perturbed(chains::FromRatesFile("flat_1e24"), 1e-6, 4), "1e26"});
    cases.push_back({chains::Perturbed(chains::FromRatesFile("cascade_1e30"), 1e-5, 5), "1e32"});
  }
  for (const Case& c : cases) {
    WriteFile("chain.rates", chains::RatesText(c.chain));
    for (int start : {0, c.chain.n - 1}) {
      const std::string p0 = std::to_string(start + 1) + "=1";
      for (bool exponent : {false, true}) {
        SCOPED_TRACE(c.chain.name + " from " + p0 + (exponent ? " --exponent" : ""));
        std::vector<std::string> args = {"--ratesfile", "chain.rates", "--p0",   p0,
                                         "--t8",        c.t8,          "--tinc", "1.5"};
        if (exponent) args.push_back("--exponent");
        const RunResult r = RunZolvane(args);
        ASSERT_EQ(0, r.status) << r.err;
        EXPECT_EQ(!exponent, Contains(r.err, "the populations come from the exact propagator"))
            << r.err;
        EXPECT_FALSE(Contains(r.err, "WARNING")) << r.err;
        std::string where;
        EXPECT_EQ(0, Misprints(ParsePrintout(r.out, !exponent, 0.1, 1.5, strtod(c.t8, nullptr)),
                               c.chain, start, where))
            << where;
      }
    }
  }
}

// Reversible rates whose digits were rounded (within 1e-6 relative) keep
// the symmetrised path; a little more and the propagator takes them.
TEST(UnbalancedRates, TheSwitchSitsAtTheBalanceTolerance) {
  ScopedTempDir dir;
  for (double eps : {3e-7, 3e-6}) {
    WriteFile("p.rates",
              chains::RatesText(chains::Perturbed(chains::FromRatesFile("flat_1e12"), eps, 9)));
    const RunResult r = RunZolvane({"--ratesfile", "p.rates", "--t8", "1e14"});
    ASSERT_EQ(0, r.status) << r.err;
    EXPECT_EQ(eps > 1e-6, Contains(r.err, "do not obey detailed balance")) << eps << r.err;
    EXPECT_EQ(eps < 1e-6, Contains(r.err, "Corrected numerical error")) << eps << r.err;
  }
}

// Beside an absorbing state the transient rates need no balance either: the
// table is that of the whole generator, the absorbing state filling up.
TEST(UnbalancedRates, AbsorbingStateBesideRatesWithoutBalance) {
  ScopedTempDir dir;
  WriteFile("nr3.rates", kThreeStates);
  // Minimum 3 at -3 kcal/mol, free energy 0: the rate into the absorbing
  // state is exp(3 / kT).
  WriteFile("three.qorp",
            "GGGAAACCC\n"
            "    1 ((...)) -5.0 1 0.0\n"
            "    2 (.....) -4.0 1 2.0\n"
            "    3 ....... -3.0 2 1.5\n");
  const RunResult r = RunZolvane({"--ratesfile", "nr3.rates", "-a", "3", "--qorp", "three.qorp",
                                  "--t8", "100", "--tinc", "1.5"});
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_TRUE(Contains(r.err, "the populations come from the exact propagator")) << r.err;
  Chain c = ThreeStates();
  Chain a{"absorbing", 4, std::vector<double>(16, 0.0)};
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j)
      a.u[static_cast<size_t>(i) * 4 + j] = c.u[static_cast<size_t>(i) * 3 + j];
  }
  const double kT = (37.0 + 273.15) * 0.00198717;
  a.rate(2, 3) = std::exp(-(-3.0) / kT - (-0.0 / kT));
  std::string where;
  EXPECT_EQ(0, Misprints(ParsePrintout(r.out, true, 0, 0), a, 0, where)) << where;
}

// --exponent on every family of stiff landscapes, reversible, started at the
// top and in the native state, also beside an absorbing state: every printed
// population is the exact value rounded, the smallest included.
TEST(ExponentTable, EveryFamilyPrintsTheReferenceRounded) {
  std::vector<stiff::Fixture> cases;
  for (stiff::Fixture f : stiff::EveryFamily()) {
    if (kSanitized && f.exponent != 24) continue;
    for (int absorb : {0, 1}) {
      if (absorb != 0 && !f.qorp) continue;
      f.absorb = absorb;
      for (bool native : {false, true}) {
        f.from_native = native;
        cases.push_back(f);
      }
    }
  }
  for (const stiff::Fixture& f : cases) {
    SCOPED_TRACE(stiff::Name(f) + (f.from_native ? " from the native state" : " from the top") +
                 (f.absorb != 0 ? " absorbing" : ""));
    const reference::Kinetics& ref = stiff::Reference(f);
    std::vector<std::string> args = stiff::PopulationArgs(f, ref);
    args.push_back("--exponent");
    const RunResult r = RunZolvane(args);
    ASSERT_EQ(0, r.status) << r.err;
    EXPECT_FALSE(Contains(r.err, "WARNING")) << r.err;
    const double t8 = std::pow(10.0, f.exponent + 4);
    const Printout p = ParsePrintout(r.out, false, 0.1, 4, t8);
    ASSERT_FALSE(p.times.empty()) << r.out;
    const std::vector<std::vector<double>> want =
        ref.Populations(stiff::StartPopulation(f, ref), p.times);
    int misprints = 0;
    std::string where;
    for (size_t k = 0; k < p.times.size(); ++k) {
      ASSERT_EQ(static_cast<size_t>(ref.states()), p.values[k].size());
      for (int i = 0; i < ref.states(); ++i) {
        if (p.values[k][i] == Printed(want[k][i])) continue;
        if (misprints++ == 0) {
          where = "t = " + Printed(p.times[k]) + ", state " + std::to_string(i + 1) + ": " +
                  p.values[k][i] + " for " + Printed(want[k][i]);
        }
      }
    }
    EXPECT_EQ(0, misprints) << where;
  }
}

}  // namespace
