// End-to-end runs of the built executable: the driver's stage order, its own
// messages and outputs, and the main table on small landscapes.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "calc/table/iterate.h"
#include "run/entry_point.h"
#include "tests/test_util.h"

#if defined(__SANITIZE_ADDRESS__)
#define ZOLVANE_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZOLVANE_TEST_ASAN 1
#endif
#endif

namespace {

// Two states: rate 1 -> 2 is 1, rate 2 -> 1 is 2; equilibrium (2/3, 1/3).
const char kTwoStates[] = "0 1\n2 0\n";

// Five-state rates file and a three-minimum qorp file for the absorbing case.
const char kFiveStates[] = "0 1 1 1 1\n1 0 1 1 1\n1 1 0 1 1\n1 1 1 0 1\n1 1 1 1 0\n";
const char kQorp[] =
    "GGGAAACCC\n"
    "    1 ((...)) -5.0 1 0.0\n"
    "    2 (.....) -4.0 1 2.0\n"
    "    3 ....... -3.0 2 1.5\n";

bool Contains(const std::string& s, const std::string& part) {
  return s.find(part) != std::string::npos;
}

// A run that must end with status 1 and `message` on standard error.
struct FailingRun {
  const char* name;
  std::vector<std::string> args;
  std::string stdin_text;
  std::string message;
};

// Runs `run`, with `extra` options after its own, and checks the status and
// the message; returns standard output for the caller's checks.
std::string ExpectFailure(const FailingRun& run, const std::vector<std::string>& extra = {}) {
  std::vector<std::string> args = run.args;
  args.insert(args.end(), extra.begin(), extra.end());
  RunResult r = RunZolvane(args, run.stdin_text);
  EXPECT_EQ(1, r.status) << run.name;
  EXPECT_TRUE(Contains(r.err, run.message)) << run.name << ": " << r.err;
  return r.out;
}

// Table lines of the population output (lines not starting with '#').
std::vector<std::string> TableLines(const std::string& out) {
  std::vector<std::string> lines;
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line[0] != '#') lines.push_back(line);
  }
  return lines;
}

TEST(Driver, FailuresOfTheInputStage) {
  ScopedTempDir dir;
  WriteFile("five.rates", kFiveStates);
  WriteFile("three.qorp", kQorp);
  WriteFile("empty.qorp", "GGGAAACCC\n");
  const int32_t announced = 1500;
  WriteFile("short.bin", std::string(reinterpret_cast<const char*>(&announced), 4));
  // Empty lines still count as minima: a 1 MB file announces an 8 TB matrix.
  WriteFile("million.qorp", "GGGAAACCC\n" + std::string(1000000, '\n'));
  const FailingRun runs[] = {
      {"empty rates file", {}, "", "ERROR: Rate file empty!\n"},
      {"heading instead of numbers", {}, "from to\n1 2\n", "ERROR: Rate file empty!\n"},
      {"absorbing state, rates on stdin, no qorp file",
       {"--absorb", "1"},
       kTwoStates,
       "ERROR: Qorpmap file handle is either NULL or already closed!"},
      {"qorp limited by --nstates, rates not",
       {"--absorb", "1", "-f", "five.rates", "--qorp", "three.qorp", "-n", "3"},
       "",
       "ERROR: dimension mismatch among input rates file and qorp file 5 != 3\n"},
      // A 4-byte file announcing 1500 states used to run through a zero matrix.
      {"binary rates shorter than announced",
       {"-b", "-f", "short.bin", "-n", "1"},
       "",
       "ERROR: short.bin is truncated: 18000004 bytes expected, 4 found\n"},
      {"binary rates on standard input shorter than announced",
       {"-b"},
       std::string("\x02\0\0\0", 4) + std::string(8, '\0'),
       "ERROR: standard input is truncated: 36 bytes expected, 12 found\n"},
      {"method A without minima",
       {"-m", "A", "--qorp", "empty.qorp"},
       "",
       "ERROR: qorp file holds no local minimum!\n"},
      {"method A with more minima than memory can hold",
       {"-m", "A", "--qorp", "million.qorp"},
       "",
       "ERROR: a transition matrix of dimension 1000000 does not fit in memory\n"},
  };
  for (const FailingRun& run : runs) EXPECT_EQ("", ExpectFailure(run)) << run.name;
}

TEST(Driver, NormalRunPrintsTableAndTimingLinesInOrder) {
  ScopedTempDir dir;
  RunResult r = RunZolvane({"--t8", "100"}, kTwoStates);
  ASSERT_EQ(0, r.status) << r.err;
  size_t using_line =
      r.err.find("Using rates matrix from STDIN for constructing transition matrix\n");
  size_t init = r.err.find("Time to initialize: ");
  size_t diag = r.err.find("Time to diagonalize: ");
  size_t iter = r.err.find("Time to iterate: ");
  ASSERT_NE(std::string::npos, using_line);
  ASSERT_NE(std::string::npos, init);
  ASSERT_NE(std::string::npos, diag);
  ASSERT_NE(std::string::npos, iter);
  EXPECT_LT(using_line, init);
  EXPECT_LT(init, diag);
  EXPECT_LT(diag, iter);
  EXPECT_EQ(0u, r.out.find("# Date: "));
  EXPECT_TRUE(Contains(r.out, "# Method: I\n"));
  EXPECT_TRUE(Contains(r.out, "\n# of iterations: "));
  // The last line before the count is at the stop time and at equilibrium.
  std::vector<std::string> lines = TableLines(r.out);
  ASSERT_FALSE(lines.empty());
  double t, p1, p2;
  ASSERT_EQ(3, sscanf(lines.back().c_str(), "%lf %lf %lf", &t, &p1, &p2));
  EXPECT_DOUBLE_EQ(100.0, t);
  EXPECT_NEAR(2.0 / 3.0, p1, 1e-6);
  EXPECT_NEAR(1.0 / 3.0, p2, 1e-6);
}

TEST(Driver, DumpXEndsTheRunAfterTheEigenvalues) {
  ScopedTempDir dir;
  // Every solver that can dump: the factorised one, dsyevd, an extended
  // arithmetic; with --useplusI the file holds the shifted values.
  const struct {
    std::vector<std::string> args;
    double shift;
  } cases[] = {{{}, 0.0},
               {{"--eigensolver", "lapack"}, 0.0},
               {{"--mlapack-method", "DD"}, 0.0},
               {{"--useplusI"}, 1.0}};
  for (const auto& c : cases) {
    std::filesystem::remove("evals.txt");
    RunResult r = RunZolvane(Concat({"--dumpX"}, c.args), kTwoStates);
    SCOPED_TRACE(c.args.empty() ? "default" : c.args[0]);
    EXPECT_EQ(0, r.status) << r.err;
    EXPECT_EQ("", r.out);
    EXPECT_TRUE(Contains(r.err, "Time to initialize: "));
    EXPECT_FALSE(Contains(r.err, "Time to diagonalize")) << r.err;
    // Rates 1 and 2 between two states: eigenvalues 0 and -3.
    double e0 = NAN, e1 = NAN;
    ASSERT_EQ(2, sscanf(ReadFile("evals.txt").c_str(), "%lf %lf", &e0, &e1));
    EXPECT_NEAR(c.shift, e0, 1e-12);
    EXPECT_NEAR(c.shift - 3.0, e1, 1e-12);
  }
}

// --recoverE --useplusI after --dumpE --useplusI gives the dumping run's
// table: the stored eigenvalues carried the shift, and 1 - 3e-14 in a double
// kept two or three digits of the slow mode (0.9055741 for 0.9055104 at
// t = 1.1e13). The solvers that dump: the factorised one and an extended
// arithmetic, whose tables are exact (the latter's decomposition is stored
// in doubles, so its smallest printed populations change), and dsyevd on
// the shifted matrix, which loses the slow mode itself.
TEST(Driver, RecoveryAfterAShiftedDumpKeepsTheSlowModes) {
  ScopedTempDir dir;
  // Rates 1e-14 from 1 to 2 and 2e-14 back: p1(t) = 2/3 + exp(-3e-14 t) / 3.
  WriteFile("slow.rates", "0 1e-14\n2e-14 0\n");
  const std::vector<std::string> axis = {"-q",   "-f",     "slow.rates", "--t8",
                                         "1e15", "--tinc", "10",         "--useplusI"};
  const struct {
    std::vector<std::string> solver;
    bool same_table;
    bool exact;
  } cases[] = {{{}, true, true},
               {{"--eigensolver", "lapack"}, true, false},
               {{"--mlapack-method", "DD"}, false, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.solver.empty() ? "default" : c.solver[1]);
    const RunResult dumped = RunZolvane(Concat(Concat(axis, {"--dumpE"}), c.solver));
    ASSERT_EQ(0, dumped.status) << dumped.err;
    const RunResult recovered = RunZolvane(Concat(axis, {"--recoverE"}));
    ASSERT_EQ(0, recovered.status) << recovered.err;
    const std::vector<std::string> lines = TableLines(recovered.out);
    ASSERT_GT(lines.size(), 5u);
    if (c.same_table) {
      EXPECT_EQ(lines, TableLines(dumped.out));
    }
    for (const std::string& line : lines) {
      double t = 0, p1 = 0;
      ASSERT_EQ(2, sscanf(line.c_str(), "%lf %lf", &t, &p1)) << line;
      // Within the printed digits.
      if (c.exact) {
        EXPECT_NEAR(2.0 / 3.0 + std::exp(-3e-14 * t) / 3.0, p1, 1e-6) << line;
      }
    }
  }
}

// -v names the eigensolver that made the printed eigenpairs.
TEST(Driver, VerboseNamesTheSolverThatRan) {
  ScopedTempDir dir;
  WriteFile("five.rates", kFiveStates);
  WriteFile("three.qorp", kQorp);
  // Rates without detailed balance beside an absorbing state.
  WriteFile("cycle.rates", "0 1 3\n2 0 1\n1 5 0\n");
  const struct {
    std::vector<std::string> args;
    const char* solver;
  } cases[] = {
      {{"-f", "five.rates"}, "factorised solver"},
      {{"-f", "five.rates", "--eigensolver", "lapack"}, "LAPACK dsyevd"},
      {{"-f", "cycle.rates", "-B", "three.qorp", "-a", "1", "--eigensolver", "lapack"},
       "LAPACK dgeevx"},
      {{"-f", "five.rates", "--mlapack-method", "DD"}, "--mlapack-method DD"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.solver);
    const RunResult r = RunZolvane(Concat(c.args, {"-v", "--dumpX"}));
    ASSERT_EQ(0, r.status) << r.err;
    EXPECT_TRUE(Contains(r.err, std::string("Eigenvectors of U (") + c.solver + "):\n")) << r.err;
    EXPECT_TRUE(Contains(r.err, std::string("Eigenvalues of U (") + c.solver + "):\n")) << r.err;
    EXPECT_FALSE(Contains(r.err, "(LAPACK)")) << r.err;
  }
}

TEST(Driver, QuietSilencesTheDriverButNotTheTable) {
  ScopedTempDir dir;
  RunResult loud = RunZolvane({"--t8", "100"}, kTwoStates);
  RunResult quiet =
      RunZolvane({"--t8", "100", "-q", "--fpt", "2", "--fptfile", "/no/such/dir/f"}, kTwoStates);
  ASSERT_EQ(0, quiet.status) << quiet.err;
  for (const char* line : {"Using rates matrix", "Time to", "Cannot open file"}) {
    EXPECT_FALSE(Contains(quiet.err, line)) << line;
  }
  EXPECT_EQ(TableLines(loud.out), TableLines(quiet.out));
}

TEST(Driver, JustShortenStopsAfterFirstPassageTimes) {
  ScopedTempDir dir;
  RunResult r = RunZolvane({"--just-shorten", "--equil-file", "p8.txt", "--fpt", "2"}, kTwoStates);
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_EQ("", r.out);
  EXPECT_EQ("      0.6666667       0.3333333 \n", ReadFile("p8.txt"));
  EXPECT_TRUE(Contains(r.err,
                       "First passage times to state number 2:\n"
                       "      1.0000000       0.0000000 \n---\n"))
      << r.err;
  EXPECT_TRUE(Contains(r.err, "Time to compute fpt: "));
  EXPECT_FALSE(Contains(r.err, "Time to diagonalize"));
  EXPECT_FALSE(Contains(r.err, "Time to iterate"));
}

TEST(Driver, FirstPassageTimesToAFileHoldOnlyTheValues) {
  ScopedTempDir dir;
  RunResult r = RunZolvane({"--just-shorten", "--fpt", "1", "--fptfile", "fpt.txt"}, kTwoStates);
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_EQ("      0.0000000       0.5000000 \n", ReadFile("fpt.txt"));
  EXPECT_FALSE(Contains(r.err, "First passage times to state number"));
  EXPECT_TRUE(Contains(r.err, "Time to compute fpt: "));
}

TEST(Driver, UnwritableFptFileFallsBackToStandardError) {
  ScopedTempDir dir;
  RunResult r =
      RunZolvane({"--just-shorten", "--fpt", "2", "--fptfile", "/no/such/dir/f"}, kTwoStates);
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_TRUE(Contains(r.err,
                       "Cannot open file \"/no/such/dir/f\" for FPT output, using \"stderr\" "
                       "instead\n"
                       "First passage times to state number 2:\n"))
      << r.err;
}

TEST(Driver, MethodAWritesNoRateGraph) {
  ScopedTempDir dir;
  WriteFile("three.qorp", kQorp);
  RunResult r =
      RunZolvane({"-m", "A", "--qorp", "three.qorp", "--visualize", "graph", "--just-shorten"});
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_TRUE(Contains(r.err, "Using qorp file from STDIN for constructing transition matrix\n"));
  EXPECT_FALSE(std::filesystem::exists("graph.dot"));
  EXPECT_FALSE(std::filesystem::exists("graph.eps"));
}

TEST(Driver, RatesWithQorpForTheAbsorbingState) {
  ScopedTempDir dir;
  WriteFile("three.qorp", kQorp);
  RunResult r =
      RunZolvane({"--absorb", "2", "--qorp", "three.qorp", "--t8", "1e3"}, "0 1 0\n1 0 1\n0 1 0\n");
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_TRUE(Contains(r.err, "dim increased to 4\n"));
  EXPECT_TRUE(Contains(r.out, "# Absorbing state: 4\n"));
  EXPECT_TRUE(Contains(r.out, "# Sequence: GGGAAACCC\n"));
}

// Four states; state 2 only emits (2 -> 1), so the initial population in
// state 1 never reaches it. The rest is the chain 1 <-> 3 <-> 4 with rates
// 1 -> 3: 1, 3 -> 1: 1, 3 -> 4: 1, 4 -> 3: 2; equilibrium (0.4, 0, 0.4, 0.2).
const char kStateTwoUnreachable[] =
    "0 0 1 0\n"
    "1 0 0 0\n"
    "1 0 0 1\n"
    "0 0 2 0\n";

// Every number in `text` (strtod's spelling: nan and inf included).
std::vector<double> Numbers(const std::string& text) {
  std::vector<double> values;
  const char* p = text.c_str();
  for (;;) {
    char* end = nullptr;
    const double x = strtod(p, &end);
    if (end == p) break;
    values.push_back(x);
    p = end;
  }
  return values;
}

// Equal numbers, NaN equal to NaN.
void ExpectSameNumbers(const std::vector<double>& expected, const std::vector<double>& actual) {
  ASSERT_EQ(expected.size(), actual.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    if (std::isnan(expected[i])) {
      EXPECT_TRUE(std::isnan(actual[i])) << "at " << i << ": " << actual[i];
    } else if (std::isinf(expected[i])) {
      EXPECT_EQ(expected[i], actual[i]) << "at " << i;
    } else {
      EXPECT_NEAR(expected[i], actual[i], 1e-6) << "at " << i;
    }
  }
}

// After the ergodicity reduction every output still names input states. The
// first passage times of the chain by hand (exit rate 1 from 1, 2 from 3 and
// 4): T(1,3) = 1, T(4,3) = 1/2, T(3,1) = 1/2 + T(4,1)/2 and T(4,1) = 1/2 +
// T(3,1) give 3/2 and 2; T(3,4) = 1/2 + (1 + T(3,4))/2 gives 2, T(1,4) = 3.
TEST(Driver, OutputsAfterTheReductionUseInputNumbering) {
  ScopedTempDir dir;
  const double nan = std::nan(""), inf = INFINITY;
  struct Case {
    const char* name;
    std::vector<std::string> args;
    const char* file;
    std::vector<double> expected;
  } cases[] = {
      {"fpt all: nan from the removed state, inf to it",
       {"--fpt", "all"},
       "fpt.txt",
       {0, inf, 1, 3, nan, nan, nan, nan, 1.5, inf, 0, 2, 2, inf, 0.5, 0}},
      {"fpt to input state 3", {"--fpt", "3"}, "fpt.txt", {1, nan, 0, 0.5}},
      {"fpt to input state 4", {"--fpt", "4"}, "fpt.txt", {3, nan, 2, 0}},
      {"equilibrium file", {"--equil-file", "p8.txt"}, "p8.txt", {0.4, 0, 0.4, 0.2}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> args = {"--just-shorten", "--fptfile", "fpt.txt"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    RunResult r = RunZolvane(args, kStateTwoUnreachable);
    ASSERT_EQ(0, r.status) << r.err;
    ExpectSameNumbers(c.expected, Numbers(ReadFile(c.file)));
  }

  RunResult verbose = RunZolvane({"--just-shorten", "-v"}, kStateTwoUnreachable);
  ASSERT_EQ(0, verbose.status) << verbose.err;
  const size_t at = verbose.err.find("p8 (detailed balance):\n");
  ASSERT_NE(std::string::npos, at) << verbose.err;
  ExpectSameNumbers({0.4, 0, 0.4, 0.2},
                    Numbers(verbose.err.substr(at + 23, verbose.err.find("---", at) - at - 23)));

  RunResult removed = RunZolvane({"--just-shorten", "--fpt", "2"}, kStateTwoUnreachable);
  EXPECT_EQ(1, removed.status);
  EXPECT_TRUE(Contains(removed.err,
                       "ERROR: state 2 (--fpt 2) is unreachable from the initial population\n"))
      << removed.err;
}

// With an absorbing state the absorbing times have one value per input state
// but the absorbing one; the removed state prints nan.
TEST(Driver, AbsorbingTimesAfterTheReductionUseInputNumbering) {
  ScopedTempDir dir;
  WriteFile("four.qorp", "SEQ\n1 . -5.0 1 0.0\n2 . -4.0 1 2.0\n3 . -3.0 1 1.5\n4 . -3.0 3 1.0\n");
  RunResult r = RunZolvane({"--absorb", "4", "--qorp", "four.qorp", "--just-shorten", "--fpt",
                            "all", "--fptfile", "fpt.txt"},
                           kStateTwoUnreachable);
  ASSERT_EQ(0, r.status) << r.err;
  // Chain 1 <-> 3 <-> 4 absorbed at 4: times to reach 4 are T(1,4) = 3,
  // T(3,4) = 2 as above, 0 at 4 itself.
  ExpectSameNumbers({3, std::nan(""), 2, 0}, Numbers(ReadFile("fpt.txt")));
}

// --exponent after the reduction: every line, the time-0 one included, has a
// column per input state, the removed one at 0.
TEST(Driver, ExponentialTableKeepsTheInputColumns) {
  ScopedTempDir dir;
  RunResult r = RunZolvane({"--exponent", "--t0", "0", "--t8", "10"}, kStateTwoUnreachable);
  ASSERT_EQ(0, r.status) << r.err;
  const std::vector<std::string> lines = TableLines(r.out);
  ASSERT_GT(lines.size(), 3u);
  for (size_t k = 0; k + 1 < lines.size(); ++k) {
    SCOPED_TRACE(lines[k]);
    const std::vector<double> v = Numbers(lines[k]);
    ASSERT_EQ(5u, v.size());
    EXPECT_EQ(0.0, v[2]);
    EXPECT_NEAR(1.0, v[1] + v[3] + v[4], 1e-6);
  }
}

// Method A with rates reshaped by a power: the populations converge to the
// equilibrium of the rescaled rates, exp(-e E / kT), not to that of the
// energies. The qorp minima have energies -5, -4 and -3; the highest saddle
// between 1 and 3 is -1.5, so the smallest rate is exp(-3.5 / kT), which
// --minimal-rate d lifts to d with the exponent log d / log(exp(-3.5 / kT)).
TEST(Driver, MethodAEquilibriumFollowsTheRescaledRates) {
  ScopedTempDir dir;
  WriteFile("three.qorp", kQorp);
  const double kT = (37.0 + 273.15) * 0.00198717;
  struct Case {
    std::vector<std::string> args;
    double exponent;
  } cases[] = {
      {{"--hard-rescale", "2"}, 2.0},
      {{"--hard-rescale", "0.5"}, 0.5},
      {{"--minimal-rate", "0.01"}, std::log(0.01) / (-3.5 / kT)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0] + " " + c.args[1]);
    std::vector<std::string> args = {"-m", "A", "--qorp", "three.qorp", "--t8", "1e12"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    RunResult r = RunZolvane(args);
    ASSERT_EQ(0, r.status) << r.err;
    std::vector<double> w;
    double z = 0;
    for (double energy : {-5.0, -4.0, -3.0}) {
      w.push_back(std::exp(-c.exponent * (energy + 5.0) / kT));
      z += w.back();
    }
    const std::vector<double> last = Numbers(TableLines(r.out).back());
    ASSERT_EQ(4u, last.size());
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(w[i] / z, last[i + 1], 1e-6) << i;
  }
}

// A tiny --times factor must not turn t / T into an overflow: the table is
// that of the unscaled rates.
TEST(Driver, TinyTimesFactorLeavesTheTableAlone) {
  ScopedTempDir dir;
  RunResult plain = RunZolvane({"--t0", "1e9", "--t8", "1e10"}, kTwoStates);
  RunResult tiny = RunZolvane({"--t0", "1e9", "--t8", "1e10", "--times", "1e-300"}, kTwoStates);
  ASSERT_EQ(0, plain.status) << plain.err;
  ASSERT_EQ(0, tiny.status) << tiny.err;
  EXPECT_EQ(TableLines(plain.out), TableLines(tiny.out));
}

// A write that fails (here: a full device) is an error, never a success:
// the table on standard output, the FPT file and the equilibrium file.
TEST(Driver, FailedWritesEndWithStatusOne) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  ScopedTempDir dir;
  WriteFile("two.rates", kTwoStates);
  struct Case {
    const char* name;
    std::string args;
    std::string message;
  } cases[] = {
      {"table", "> /dev/full",
       "ERROR: could not write the population table to standard output: No space left on "
       "device\n"},
      {"exponential table", "--exponent > /dev/full",
       "ERROR: could not write the population table to standard output: No space left on "
       "device\n"},
      {"FPT file", "--just-shorten --fpt all --fptfile /dev/full",
       "ERROR: could not write FPT output /dev/full\n"},
      {"single-target FPT file", "--just-shorten --fpt 1 --fptfile /dev/full",
       "ERROR: could not write FPT output /dev/full\n"},
      {"equilibrium file", "--just-shorten --equil-file /dev/full",
       "ERROR: could not write equilibrium file /dev/full\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string command =
        std::string(ZOLVANE_BIN) + " -q -f two.rates " + c.args + " 2> err.txt";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(1, WEXITSTATUS(status));
    EXPECT_TRUE(Contains(ReadFile("err.txt"), c.message)) << ReadFile("err.txt");
  }
}

// An output file that cannot be opened ends the run as one that cannot be
// written does (it used to be skipped without a word, with status 0).
TEST(Driver, OutputFilesThatCannotBeOpenedEndWithStatusOne) {
  ScopedTempDir dir;
  const FailingRun runs[] = {
      {"equilibrium file",
       {"--equil-file", "/no/such/dir/eq"},
       kTwoStates,
       "ERROR: could not write equilibrium file /no/such/dir/eq\n"},
      {"rate graph",
       {"--visualize", "/no/such/dir/g"},
       kTwoStates,
       "ERROR: could not write DOT file /no/such/dir/g.dot\n"},
  };
  for (const FailingRun& run : runs) {
    EXPECT_EQ("", ExpectFailure(run)) << run.name;
  }
}

// Without dot on the PATH, --visualize leaves NAME.dot but no empty NAME.eps,
// and says so once unless quiet.
TEST(Driver, VisualizeWithoutDotLeavesNoEps) {
  ScopedTempDir dir;
  const char* old = getenv("PATH");
  const std::string saved = old ? old : "";
  setenv("PATH", dir.path().c_str(), 1);
  RunResult loud = RunZolvane({"--visualize", "g", "--just-shorten"}, kTwoStates);
  RunResult quiet = RunZolvane({"--visualize", "q", "--just-shorten", "-q"}, kTwoStates);
  setenv("PATH", saved.c_str(), 1);
  ASSERT_EQ(0, loud.status) << loud.err;
  ASSERT_EQ(0, quiet.status) << quiet.err;
  EXPECT_TRUE(std::filesystem::exists("g.dot"));
  EXPECT_FALSE(std::filesystem::exists("g.eps"));
  EXPECT_FALSE(std::filesystem::exists("q.eps"));
  EXPECT_TRUE(Contains(loud.err, "WARNING: could not draw g.eps: dot: No such file or directory\n"))
      << loud.err;
  EXPECT_FALSE(Contains(quiet.err, "WARNING")) << quiet.err;
}

// Four states with rate 1 between every pair as a binary rates file, but
// `rate` from state 4 to state 2, and nothing leaving state 3 when `sink`.
std::string FourStates(double rate, bool sink = false) {
  std::vector<double> u(16, 1.0);
  for (int i = 0; i < 4; ++i) {
    u[i * 4 + i] = 0.0;
    if (sink) u[i * 4 + 2] = 0.0;
  }
  u[1 * 4 + 3] = rate;
  const int32_t n = 4;
  return std::string(reinterpret_cast<const char*>(&n), 4) +
         std::string(reinterpret_cast<const char*>(u.data()), 16 * 8);
}

// A failed inverse whose result would be used stops the run naming the stage
// (it used to go on with whatever the inverse left behind and print a
// plausible table). A high --feps makes the threshold refuse ordinary
// matrices.
TEST(Driver, FailedInversesStopTheRun) {
  ScopedTempDir dir;
  // Four states, rate 1 between every pair except out of state 3, which is
  // therefore absorbing; eliminating it (-n 2) is impossible.
  WriteFile("sink.bin", FourStates(1.0, true));
  WriteFile("three.qorp", kQorp);
  const FailingRun runs[] = {
      {"reduction by blocks",
       {"-b", "-f", "sink.bin", "-n", "2"},
       "",
       "ERROR: quasi-stationary reduction: the block of eliminated states is singular\n"},
      {"reduction one state at a time",
       {"-b", "-f", "sink.bin", "-n", "2", "--max-decrease", "1"},
       "",
       "ERROR: quasi-stationary reduction: state 3 cannot be eliminated (pivot 0)\n"},
      // The general solver's eigenvectors: the factorised one needs no inverse.
      {"eigenvectors with an absorbing state",
       {"--qorp", "three.qorp", "-a", "2", "--feps", "0.9", "--eigensolver", "lapack"},
       "0 1 0\n1 0 1\n0 1 0\n",
       "ERROR: MxIterate: the eigenvector matrix is singular and cannot be inverted: rerun with "
       "--eigensolver accurate\n"},
  };
  for (const FailingRun& run : runs) {
    const std::string out = ExpectFailure(run, {"-q", "--t8", "10"});
    EXPECT_EQ(std::string::npos, out.find("# of iterations")) << run.name << ": " << out;
  }
}

// The reduction refuses in every arithmetic what it refuses in double. In
// extended arithmetic a state that nothing leaves, or a rate that is not a
// finite number, used to give a reduced matrix of NaN, which the ergodicity
// stage cut down to one state: status 0 and a table; GMP died of SIGFPE or
// an uncaught exception. Non-finite rates now stop every arithmetic at once.
TEST(Driver, ReductionRefusesTheSameInEveryArithmetic) {
  ScopedTempDir dir;
  WriteFile("sink.bin", FourStates(1.0, true));  // nothing leaves state 3
  WriteFile("nan.bin", FourStates(std::nan("")));
  WriteFile("inf.bin", FourStates(INFINITY));
  const FailingRun runs[] = {
      {"blocks, a state nothing leaves",
       {"-b", "-f", "sink.bin", "-n", "2"},
       "",
       "ERROR: quasi-stationary reduction: the block of eliminated states is singular\n"},
      {"one at a time, a state nothing leaves",
       {"-b", "-f", "sink.bin", "-n", "2", "--max-decrease", "1"},
       "",
       "ERROR: quasi-stationary reduction: state 3 cannot be eliminated (pivot "},
      {"blocks, a rate that is not a number",
       {"-b", "-f", "nan.bin", "-n", "2"},
       "",
       "ERROR: quasi-stationary reduction: the rate from state 4 to state 2 is nan\n"},
      {"one at a time, an infinite rate",
       {"-b", "-f", "inf.bin", "-n", "2", "--max-decrease", "1"},
       "",
       "ERROR: quasi-stationary reduction: the rate from state 4 to state 2 is inf\n"},
  };
  const std::vector<std::string> arithmetics[] = {
      {},
      {"--mlapack-method", "DD"},
      {"--mlapack-method", "MPFR", "--mlapack-precision", "64"},
      {"--mlapack-method", "GMP", "--mlapack-precision", "64"},
  };
  for (const std::vector<std::string>& arithmetic : arithmetics) {
    SCOPED_TRACE(arithmetic.empty() ? "LAPACK" : arithmetic[1]);
    std::vector<std::string> extra = arithmetic;
    extra.insert(extra.end(), {"-q", "--t8", "10"});
    for (const FailingRun& run : runs) {
      const std::string out = ExpectFailure(run, extra);
      EXPECT_EQ(std::string::npos, out.find("# of iterations")) << run.name << ": " << out;
    }
  }
}

// GMP numbers hold no infinity and no NaN, and GMP raises SIGFPE when asked
// to convert one: such input is refused with one line before any conversion
// (the other arithmetics carry it on to the error of the double path). An
// infinite temperature is computed (tests/calc/hostile_input_test.cc).
TEST(Driver, GmpRefusesNumbersItCannotHold) {
  ScopedTempDir dir;
  WriteFile("nan.bin", FourStates(std::nan("")));
  WriteFile("nan.qorp", "SEQ\n1 . -nan 0 0\n");
  WriteFile("three.qorp", kQorp);
  const std::string nan_rate =
      "ERROR: --mlapack-method GMP cannot hold the rate nan from state 4 to state 2\n";
  const FailingRun runs[] = {
      {"rate, table", {"-b", "-f", "nan.bin"}, "", nan_rate},
      {"rate, all first passage times", {"-b", "-f", "nan.bin", "--fpt", "all"}, "", nan_rate},
      {"rate, first passage times to one state",
       {"-b", "-f", "nan.bin", "--fpt", "2"},
       "",
       nan_rate},
      {"energy of a single minimum",
       {"-m", "A", "--qorp", "nan.qorp"},
       "",
       "ERROR: --mlapack-method GMP cannot hold the energy -nan of state 1\n"},
  };
  for (const FailingRun& run : runs) {
    const std::string out =
        ExpectFailure(run, {"--mlapack-method", "GMP", "--mlapack-precision", "64", "-q"});
    EXPECT_EQ(std::string::npos, out.find("# of iterations")) << run.name << ": " << out;
  }
}

// Energies around -600 kcal/mol: exp(-E/kT) alone overflows, so the rate
// into the absorbing state must be formed as one exponential (it used to be
// inf / inf = NaN and "cannot reach the absorbing state"). Method A gives
// that rate 1; method I exp(-(E - F)/kT) with F the free energy (column 8).
TEST(Driver, AbsorbingRateForDeepEnergies) {
  ScopedTempDir dir;
  WriteFile("deep.qorp",
            "SEQ\n"
            "1 . -600.0 1 0.0 0 0 0 0 -600.0\n"
            "2 . -599.5 1 1.0 0 0 0 0 -599.5\n"
            "3 . -599.0 2 1.0 0 0 0 0 -599.5\n");
  struct Case {
    const char* name;
    std::vector<std::string> args;
    std::string stdin_text;
  } cases[] = {
      {"method A", {"-m", "A"}, ""},
      {"method I", {}, "0 1 0\n1 0 1\n0 1 0\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> args = {"--qorp", "deep.qorp", "-a", "3", "--t8", "1e9"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    RunResult r = RunZolvane(args, c.stdin_text);
    ASSERT_EQ(0, r.status) << r.err;
    std::vector<double> last = Numbers(TableLines(r.out).back());
    ASSERT_EQ(5u, last.size());
    ExpectSameNumbers({0, 0, 0, 1}, std::vector<double>(last.begin() + 1, last.end()));
  }
}

// A subnormal start time whose step cannot grow ends the table (it used to
// creep forward one subnormal step per line for ever); no time repeats.
TEST(Driver, SubnormalStartTimeEnds) {
  ScopedTempDir dir;
  RunResult r = RunZolvane({"--t0", "4.9e-324"}, kTwoStates);
  ASSERT_EQ(0, r.status) << r.err;
  const std::vector<std::string> lines = TableLines(r.out);
  ASSERT_FALSE(lines.empty());
  std::vector<double> times;
  for (const std::string& line : lines) times.push_back(Numbers(line).at(0));
  for (size_t k = 1; k < times.size(); ++k) EXPECT_LT(times[k - 1], times[k]) << k;
}

// All initial population in the absorbing state: nothing else is reached, and
// the table stays on the absorbing state.
TEST(Driver, PopulationStartingInTheAbsorbingStateStaysThere) {
  ScopedTempDir dir;
  WriteFile("three.qorp", kQorp);
  RunResult r =
      RunZolvane({"-m", "A", "--qorp", "three.qorp", "-a", "2", "--p0", "4=1", "--t8", "100"});
  ASSERT_EQ(0, r.status) << r.err;
  const std::vector<std::string> lines = TableLines(r.out);
  ASSERT_FALSE(lines.empty());
  for (const std::string& line : lines) {
    std::vector<double> v = Numbers(line);
    ASSERT_FALSE(v.empty());
    v.erase(v.begin());  // the time
    ExpectSameNumbers({0, 0, 0, 1}, v);
  }
}

// A reduction to one state prints that state's whole table; the time
// evolution stage must not print a second one after it, whatever computes it.
TEST(Driver, OneStateLeftGivesOneTable) {
  ScopedTempDir dir;
  // States 2 and 3 flow into state 1, which nothing leaves.
  WriteFile("sink.rates", "0 0 0\n1 0 0\n1 0 0\n");
  WriteFile("three.qorp", kQorp);
  struct Case {
    const char* name;
    std::vector<std::string> args;
    std::vector<double> pops;
  };
  const std::vector<std::string> sink = {"-f", "sink.rates", "--t8", "10"};
  const Case cases[] = {
      {"spectral", sink, {1, 0, 0}},
      {"exponent", Concat(sink, {"--exponent"}), {1, 0, 0}},
      {"double-double", Concat(sink, {"--mlapack-method", "DD"}), {1, 0, 0}},
      {"start at 0", Concat(sink, {"--t0", "0"}), {1, 0, 0}},
      {"absorbing state",
       {"-m", "A", "--qorp", "three.qorp", "-a", "2", "--p0", "4=1", "--t8", "100"},
       {0, 0, 0, 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RunResult r = RunZolvane(c.args);
    ASSERT_EQ(0, r.status) << r.err;
    size_t headers = 0;
    for (size_t at = r.out.find("# Date: "); at != std::string::npos;
         at = r.out.find("# Date: ", at + 1)) {
      ++headers;
    }
    EXPECT_EQ(1u, headers) << r.out;
    const std::vector<std::string> lines = TableLines(r.out);
    ASSERT_EQ(2u, lines.size()) << r.out;
    double last_time = -1;
    for (const std::string& line : lines) {
      std::vector<double> v = Numbers(line);
      ASSERT_FALSE(v.empty());
      EXPECT_GT(v[0], last_time) << line;
      last_time = v[0];
      v.erase(v.begin());
      ExpectSameNumbers(c.pops, v);
    }
  }
}

// Read errors are not the end of the input: a directory given as any input
// file is named with the reason.
TEST(Driver, UnreadableInputIsAnError) {
  ScopedTempDir dir;
  std::filesystem::create_directory("dir");
  WriteFile("three.qorp", kQorp);
  const std::string message = "ERROR: cannot read dir: Is a directory\n";
  const FailingRun runs[] = {
      {"text rates", {"-f", "dir"}, kTwoStates, message},
      {"binary rates", {"-b", "-f", "dir"}, kTwoStates, message},
      {"qorp file", {"-m", "A", "--qorp", "dir"}, kTwoStates, message},
      {"qorp file for the absorbing state", {"-a", "1", "--qorp", "dir"}, kTwoStates, message},
  };
  for (const FailingRun& run : runs) EXPECT_EQ("", ExpectFailure(run)) << run.name;
  std::filesystem::create_directory("saddles.txt");
  ExpectFailure({"saddles.txt",
                 {"-m", "A", "--qorp", "three.qorp", "--degeneracy"},
                 "",
                 "ERROR: cannot read saddles.txt: Is a directory\n"});
}

// --degeneracy sizes D by the number of minima: a qorp file of empty lines is
// rejected before anything is sized by its count (and before saddles.txt,
// which does not exist here, is looked at).
TEST(Driver, DegeneracyWaitsForAValidTree) {
  ScopedTempDir dir;
  WriteFile("blank.qorp", "SEQ\n" + std::string(2000, '\n'));
  RunResult r = RunZolvane({"-m", "A", "--qorp", "blank.qorp", "--degeneracy"});
  EXPECT_EQ(1, r.status);
  EXPECT_TRUE(Contains(r.err, "ERROR: local minimum 1 is numbered 0 in the qorp file\n")) << r.err;
}

void LimitAddressSpaceTo400MoreMegabytes() {
  long pages = 0;
  FILE* statm = fopen("/proc/self/statm", "r");
  if (statm == nullptr || fscanf(statm, "%ld", &pages) != 1) exit(2);
  fclose(statm);
  const rlim_t room = static_cast<rlim_t>(pages) * sysconf(_SC_PAGESIZE) + (400u << 20);
  const rlimit limit = {room, room};
  if (setrlimit(RLIMIT_AS, &limit) != 0) exit(2);
}

// A stage that runs out of memory ends the run with one line, not an abort.
TEST(DriverDeathTest, RunningOutOfMemoryEndsWithAMessage) {
#ifdef ZOLVANE_TEST_ASAN
  GTEST_SKIP() << "an address-space limit does not mix with the address sanitizer";
#endif
  ScopedTempDir dir;
  // 6000 minima: U (288 MB) fits under the limit set below; the eigenvector
  // storage of the same size does not.
  const int n = 6000;
  std::string qorp = "SEQ\n";
  for (int k = 1; k <= n; ++k) qorp += std::to_string(k) + " . -1 " + (k > 1 ? "1" : "0") + " 1\n";
  WriteFile("n.qorp", qorp);
  std::vector<std::string> store = {"zolvane", "-m", "A", "-B", "n.qorp", "-q"};
  std::vector<char*> argv;
  for (std::string& a : store) argv.push_back(a.data());
  argv.push_back(nullptr);
  EXPECT_EXIT(
      {
        LimitAddressSpaceTo400MoreMegabytes();
        ZolvaneMain(static_cast<int>(store.size()), argv.data());
      },
      testing::ExitedWithCode(1), "ERROR: out of memory\n$");
}

}  // namespace
