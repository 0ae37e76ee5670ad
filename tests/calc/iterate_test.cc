// Population table: agreement with an independent exp(U t) p0, the exact
// header, time axis and closing line, and the per-line probability checks.
#include "calc/table/iterate.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "calc/backend/solver_choice.h"
#include "calc/model/calc.h"
#include "calc/spectrum/diagonalize.h"
#include "calc/spectrum/stored_decomposition.h"
#include "calc/table/populations.h"
#include "tests/calc/spectral_fixture.h"
#include "tests/test_util.h"

namespace {

using spectral_test::ExpTimesVector;
using spectral_test::Landscape;
using spectral_test::ParseTable;
using spectral_test::ReversibleLandscape;
using spectral_test::SetDiagonal;
using spectral_test::Table;

RunOptions QuietOptions() {
  RunOptions opts;
  opts.quiet = 1;
  return opts;
}

// Diagonalises a copy of U, runs the time evolution and returns its stdout.
// `err` receives everything written to stderr on the way. `absorbing_state`
// and `sequence` stand for what the earlier stages would have derived.
std::string Evolve(const RunOptions& opts, int n, const std::vector<double>& U,
                   const std::vector<double>& p8, std::vector<double> p0,
                   std::string* err = nullptr, int absorbing_state = 0,
                   const char* sequence = nullptr) {
  Calc calc(n, opts);
  SetAbsorbingState(calc, absorbing_state);
  if (sequence != nullptr) calc.sequence = sequence;
  std::vector<double> work = U;
  testing::internal::CaptureStderr();
  SpectrumOutcome outcome = SpectrumOutcome::kDone;
  Spectrum spectrum;
  EXPECT_TRUE(MxDiagonalize(calc, work, p8, ChooseSolver(calc, work, p8), spectrum, outcome).ok());
  testing::internal::CaptureStdout();
  const Status status = MxIterate(calc, spectrum, p0, p8);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_TRUE(status.ok()) << status.message;
  std::string e = testing::internal::GetCapturedStderr();
  if (err != nullptr) *err = e;
  return out;
}

std::vector<double> TwoState(double a, double b) {  // a: rate 0 -> 1, b: 1 -> 0
  return {-a, b, a, -b};
}

// The populations of every line at `step` intervals, plus the last computed
// line, against `expected(t)`. A closing copy of the converged line at t8 is
// only within the convergence threshold of the truth and is left out.
void ExpectTableNear(const Table& table, const std::function<std::vector<double>(double)>& expected,
                     size_t step = 1) {
  ASSERT_FALSE(table.lines.empty());
  size_t end = table.lines.size();
  if (end >= 2 && table.lines[end - 1].pops == table.lines[end - 2].pops) --end;
  for (size_t k = 0; k < end; ++k) {
    if (k % step != 0 && k + 1 != end) continue;
    SCOPED_TRACE("time " + table.lines[k].time_text);
    ExpectArrayNear(expected(table.lines[k].time), table.lines[k].pops, 1e-6);
  }
}

TEST(MxIterate, TwoStateTableIsExact) {
  RunOptions opts = QuietOptions();
  opts.t0 = 0.1;
  opts.tinc = 2.0;
  opts.t8 = 1.0;
  opts.Temp = 25.0;
  opts.method = 'A';
  opts.degeneracy = 1;
  std::string out =
      Evolve(opts, 2, TwoState(1.0, 0.5), {1.0 / 3, 2.0 / 3}, {1.0, 0.0}, nullptr, 0, "GGGAAACCC");

  // The date line is the only one that changes from run to run.
  ASSERT_EQ(out.rfind("# Date: ", 0), 0u);
  std::string rest = out.substr(out.find('\n') + 1);
  const std::string header =
      "# Sequence: GGGAAACCC\n"
      "# Method: A\n"
      "# Start time: 0.10\n"
      "# Stop time: 1.00\n"
      "# Temperature: 25.00\n"
      "# Basename: <stdin>\n"
      "# Time increment: 2.00\n"
      "# Degeneracy:  on\n"
      "# Absorbing state: none\n"
      "# States limit: 2147483647\n";
  ASSERT_EQ(rest.substr(0, header.size()), header);

  Table table = ParseTable(out);
  std::vector<std::string> times;
  for (const auto& line : table.lines) times.push_back(line.time_text);
  EXPECT_EQ(times,
            (std::vector<std::string>{"1.00000000000000005551e-01", "3.00000000000000044409e-01",
                                      "7.00000000000000066613e-01", "1.00000000000000000000e+00"}));
  EXPECT_EQ(table.closing, "# of iterations: 4");
  EXPECT_EQ(out.substr(out.size() - 19), "# of iterations: 4\n");
  // Every population is "%e " with its trailing blank.
  EXPECT_NE(out.find("\n3.00000000000000044409e-01 7.584188e-01 2.415812e-01 \n"),
            std::string::npos);
  ExpectTableNear(table, [](double t) {
    double x = std::exp(-1.5 * t);
    return std::vector<double>{1.0 / 3 + 2.0 / 3 * x, 2.0 / 3 - 2.0 / 3 * x};
  });
}

TEST(MxIterate, ClosedFormsByHand) {
  struct Case {
    const char* name;
    std::vector<double> U;
    std::vector<double> p8;
    double times;
    std::function<std::vector<double>(double)> expected;
  };
  const double k = 0.7;
  const Case cases[] = {
      {"two states",
       TwoState(2.0, 0.5),
       {0.2, 0.8},
       1.0,
       [](double t) {
         double x = std::exp(-2.5 * t);
         return std::vector<double>{0.2 + 0.8 * x, 0.8 - 0.8 * x};
       }},
      {"two states, --times 10 scales the exponent only",
       TwoState(2.0, 0.5),
       {0.2, 0.8},
       10.0,
       [](double t) {
         double x = std::exp(-2.5 * t / 10);
         return std::vector<double>{0.2 + 0.8 * x, 0.8 - 0.8 * x};
       }},
      // Symmetric chain 0 - 1 - 2: eigenvalues 0, -k, -3k.
      {"three-state chain",
       {-k, k, 0, k, -2 * k, k, 0, k, -k},
       {1.0 / 3, 1.0 / 3, 1.0 / 3},
       1.0,
       [k](double t) {
         double a = std::exp(-k * t), b = std::exp(-3 * k * t);
         return std::vector<double>{1.0 / 3 + a / 2 + b / 6, 1.0 / 3 - b / 3,
                                    1.0 / 3 - a / 2 + b / 6};
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RunOptions opts = QuietOptions();
    opts.t0 = 0.01;
    opts.tinc = 1.3;
    opts.t8 = 1e4;
    opts.times = c.times;
    std::vector<double> p0(c.p8.size(), 0.0);
    p0[0] = 1.0;
    Table table = ParseTable(Evolve(opts, static_cast<int>(c.p8.size()), c.U, c.p8, p0));
    ExpectTableNear(table, c.expected);
  }
}

// A reversible landscape, optionally with an absorbing sink appended, solved
// by the program and by an independent matrix exponential.
TEST(MxIterate, AgreesWithMatrixExponential) {
  struct Case {
    const char* name;
    int n;  // states before the sink
    bool absorbing;
    int useplusI;
    char num_err;
  };
  const Case cases[] = {
      {"300 reversible states", 300, false, 0, 'H'},
      {"300 reversible states, --useplusI", 300, false, 1, 'H'},
      {"60 reversible states, --num-err R", 60, false, 0, 'R'},
      {"3 states and a sink", 3, true, 0, 'H'},
      {"40 states and a sink, --useplusI", 40, true, 1, 'H'},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Landscape l = ReversibleLandscape(c.n, 17u + c.n);
    int n = c.n;
    std::vector<double> U = l.U, p8 = l.p8;
    if (c.absorbing) {
      // State 0 drains into the new last state, which never leaves.
      n = c.n + 1;
      U.assign(static_cast<size_t>(n) * n, 0.0);
      for (int i = 0; i < c.n; ++i) {
        for (int j = 0; j < c.n; ++j) U[i * n + j] = l.U[i * c.n + j];
      }
      U[c.n * n + 0] = 0.05;
      SetDiagonal(U, n);
      p8.assign(n, 0.0);
      p8[n - 1] = 1.0;
    }
    std::vector<double> shifted = U;
    if (c.useplusI) {
      for (int i = 0; i < n; ++i) shifted[i * n + i] += 1.0;
    }
    RunOptions opts = QuietOptions();
    opts.useplusI = c.useplusI;
    opts.num_err = c.num_err;
    opts.t0 = 0.1;
    opts.tinc = 1.2;
    opts.t8 = 1e10;
    std::vector<double> p0(n, 0.0);
    p0[c.absorbing ? 1 % c.n : 0] = 1.0;
    std::string err;
    Table table = ParseTable(Evolve(opts, n, shifted, p8, p0, &err, c.absorbing ? n : 0));
    EXPECT_EQ(table.closing.rfind("# of iterations: ", 0), 0u);
    ExpectTableNear(
        table, [&](double t) { return ExpTimesVector(U, n, t, p0); }, c.n > 10 ? 15 : 1);
  }
}

TEST(MxIterate, TimeAxis) {
  struct Case {
    const char* name;
    double t0, t8, tinc, rate;
    std::vector<std::string> times;  // every line of the table
    std::string closing;
    std::string start_line;  // header line 4
  };
  const Case cases[] = {
      {"t0 of zero adds a line at time 0 and then starts at 1e-4",
       0.0,
       1e-3,
       2.0,
       1e-3,
       {"0.00000000000000000000e+00", "1.00000000000000004792e-04", "3.00000000000000027929e-04",
        "7.00000000000000101308e-04", "1.00000000000000002082e-03"},
       "# of iterations: 4",
       "# Start time: 0.00"},
      {"t0 above t8 gives one line at t8",
       5.0,
       1.0,
       2.0,
       1e-3,
       {"1.00000000000000000000e+00"},
       "# of iterations: 1",
       "# Start time: 5.00"},
      {"t0 + t8 == t0 computes nothing",
       1e20,
       1.0,
       2.0,
       1e-3,
       {},
       "# of iterations: 0",
       "# Start time: 100000000000000000000.00"},
      {"convergence repeats the last line at t8",
       0.1,
       100.0,
       2.0,
       10.0,
       {"1.00000000000000005551e-01", "3.00000000000000044409e-01", "7.00000000000000066613e-01",
        "1.00000000000000000000e+02"},
       "# of iterations: 3",
       "# Start time: 0.10"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RunOptions opts = QuietOptions();
    opts.t0 = c.t0;
    opts.t8 = c.t8;
    opts.tinc = c.tinc;
    std::string out = Evolve(opts, 2, TwoState(c.rate, c.rate), {0.5, 0.5}, {1.0, 0.0});
    Table table = ParseTable(out);
    std::vector<std::string> times;
    for (const auto& line : table.lines) times.push_back(line.time_text);
    EXPECT_EQ(times, c.times);
    EXPECT_EQ(table.closing, c.closing);
    ASSERT_GE(table.header.size(), 5u);
    EXPECT_EQ(table.header[3], c.start_line);
  }

  // The populations at time 0 are p0 itself; the repeated line at t8 copies
  // the converged one.
  RunOptions opts = QuietOptions();
  opts.t0 = 0.0;
  opts.t8 = 1e-3;
  opts.tinc = 2.0;
  Table zero = ParseTable(Evolve(opts, 2, TwoState(1, 1), {0.5, 0.5}, {0.25, 0.75}));
  EXPECT_EQ(zero.lines[0].pops, (std::vector<double>{0.25, 0.75}));
  opts = QuietOptions();
  opts.t0 = 0.1;
  opts.t8 = 100;
  opts.tinc = 2.0;
  Table converged = ParseTable(Evolve(opts, 2, TwoState(10, 10), {0.5, 0.5}, {1.0, 0.0}));
  ASSERT_EQ(converged.lines.size(), 4u);
  EXPECT_EQ(converged.lines[3].pops, converged.lines[2].pops);
}

TEST(MxIterate, TincBelowOneEndsWhenTimeStopsAdvancing) {
  RunOptions opts = QuietOptions();
  opts.t0 = 1.0;
  opts.tinc = 0.5;
  opts.t8 = 10.0;
  // Slow enough never to converge: only the stalled axis can end the loop.
  Table table = ParseTable(Evolve(opts, 2, TwoState(1e-6, 1e-6), {0.5, 0.5}, {1.0, 0.0}));
  ASSERT_GT(table.lines.size(), 40u);
  for (size_t k = 1; k < table.lines.size(); ++k) {
    EXPECT_GT(table.lines[k].time, table.lines[k - 1].time);
  }
  // Times approach 2 = t0 / (1 - tinc); nothing is claimed at t8.
  EXPECT_LE(table.lines.back().time, 2.0);
  EXPECT_GT(table.lines.back().time, 1.999);
  EXPECT_EQ(table.closing, "# of iterations: " + std::to_string(table.lines.size()));
}

TEST(MxIterate, UnderflowWarnings) {
  // Chain 0 - 1 fast, 1 - 2 slow: the fast eigenvalue (the third after
  // sorting, about -1000) underflows from t = 1.5 on.
  const double f = 500, s = 0.001;
  const std::vector<double> U = {-f, f, 0, f, -f - s, s, 0, s, -s};
  for (int warnings : {0, 1}) {
    SCOPED_TRACE(warnings);
    RunOptions opts = QuietOptions();
    opts.t0 = 0.1;
    opts.tinc = 2.0;
    opts.t8 = 1e3;
    opts.warnings = warnings;
    std::string err;
    Evolve(opts, 3, U, {1.0 / 3, 1.0 / 3, 1.0 / 3}, {1, 0, 0}, &err);
    EXPECT_EQ(err.find("underflow") != std::string::npos, warnings == 1) << err;
    if (warnings) {
      EXPECT_NE(err.find("underflow     3 at time          1.5"), std::string::npos);
    }
  }
}

TEST(MxIterate, RecoverAfterDumpGivesTheSameTable) {
  Landscape l = ReversibleLandscape(20, 5);
  for (int useplusI : {0, 1}) {
    SCOPED_TRACE(useplusI);
    ScopedTempDir dir;
    std::vector<double> U = l.U;
    if (useplusI) {
      for (int i = 0; i < l.n; ++i) U[i * l.n + i] += 1.0;
    }
    std::vector<double> p0(l.n, 0.0);
    p0[3] = 1.0;
    // One time axis for the run that dumps the decomposition and the one
    // that reads it back.
    RunOptions opts = QuietOptions();
    opts.t0 = 0.1;
    opts.tinc = 1.5;
    opts.t8 = 1e9;
    opts.useplusI = useplusI;
    RunOptions dump = opts;
    dump.dumpE = 1;
    Table dumped = ParseTable(Evolve(dump, l.n, U, l.p8, p0));

    RunOptions again = opts;
    again.recoverE = 1;
    Calc calc(l.n, again);
    testing::internal::CaptureStderr();
    Spectrum stored;
    EXPECT_TRUE(MxRecover(calc, l.p8, stored).ok());
    testing::internal::CaptureStdout();
    EXPECT_TRUE(MxIterate(calc, stored, p0, l.p8).ok());
    Table recovered = ParseTable(testing::internal::GetCapturedStdout());
    testing::internal::GetCapturedStderr();

    ASSERT_EQ(recovered.lines.size(), dumped.lines.size());
    for (size_t k = 0; k < dumped.lines.size(); ++k) {
      EXPECT_EQ(recovered.lines[k].time_text, dumped.lines[k].time_text);
      EXPECT_EQ(recovered.lines[k].pops, dumped.lines[k].pops);
    }
    EXPECT_EQ(recovered.closing, dumped.closing);
    ExpectTableNear(
        recovered, [&](double t) { return ExpTimesVector(l.U, l.n, t, p0); }, 5);
  }
}

// MxOutputLine on its own: the three --num-err modes and the reduced columns.
// With an absorbing state the table needs the inverse of the eigenvectors:
// eigenvectors that have none are refused before any line is printed.
TEST(MxIterate, SingularEigenvectorsAreRefused) {
  const std::vector<std::vector<double>> singular = {
      {0, 0, 0, 0}, {1, 2, 2, 4}, {1, 0, std::nan(""), 1}};
  for (const std::vector<double>& evecs : singular) {
    SCOPED_TRACE(testing::PrintToString(evecs));
    RunOptions opts = QuietOptions();
    Calc calc(2, opts);
    SetAbsorbingState(calc, 2);
    Spectrum spectrum;
    spectrum.evals = {0, -1};
    spectrum.evecs = evecs;
    spectrum.solver = SpectrumSolver::kLapackGeneral;
    std::vector<double> p0 = {1, 0};
    testing::internal::CaptureStdout();
    const Status status = MxIterate(calc, spectrum, p0, {0, 1});
    EXPECT_EQ("", testing::internal::GetCapturedStdout());
    EXPECT_EQ(kExitError, status.exit_status);
    // The general solver ran on rates out of balance: the default run
    // propagates them without eigenvectors.
    EXPECT_EQ(
        "ERROR: MxIterate: the eigenvector matrix is singular and cannot be inverted: rerun with "
        "--eigensolver auto\n",
        status.message);
  }
}

TEST(MxOutputLine, ModesAndColumns) {
  struct Case {
    const char* name;
    char mode;
    std::vector<double> p;
    std::vector<int> kept;
    int kept_columns;
    std::string out, err;
    std::vector<double> p_after;
  };
  const std::string t = "1.00000000000000000000e+00 ";
  const std::string neg =
      "prob of lmin 2 at time 1.000000e+00 has become negative: -1.000000e-01 \n";
  const Case cases[] = {
      {"H within bounds",
       'H',
       {0.25, 0.75},
       {},
       0,
       t + "2.500000e-01 7.500000e-01 \n",
       "",
       {0.25, 0.75}},
      {"small negatives are printed as magnitudes",
       'H',
       {1.005, -0.005},
       {},
       0,
       t + "1.005000e+00 5.000000e-03 \n",
       "",
       {1.005, -0.005}},
      {"R divides every value by the sum",
       'R',
       {0.6, 0.6},
       {},
       0,
       t + "5.000000e-01 5.000000e-01 \n",
       "overall probability at time 1.000000e+00 is 1.200000e+00 != 1.0 rescaling!\n",
       {0.6, 0.6}},
      {"R also divides a sum close to 1",
       'R',
       {0.51, 0.51},
       {},
       0,
       t + "5.000000e-01 5.000000e-01 \n",
       "",
       {0.51, 0.51}},
      {"R zeroes negatives",
       'R',
       {1.1, -0.1},
       {},
       0,
       t + "1.000000e+00 0.000000e+00 \n",
       neg + "overall probability at time 1.000000e+00 is 1.100000e+00 != 1.0 rescaling!\n",
       {1.1, 0.0}},
      {"I keeps negatives and goes on",
       'I',
       {1.1, -0.1},
       {},
       0,
       t + "1.100000e+00 1.000000e-01 \n",
       neg + "overall probability at time 1.000000e+00 is 1.200000e+00 != 1.0 exiting!\n",
       {1.1, -0.1}},
      {"removed states keep a zero column",
       'H',
       {0.25, 0.75},
       {0, 2},
       4,
       t + "2.500000e-01 0.000000e+00 7.500000e-01 0.000000e+00 \n",
       "",
       {0.25, 0.75}},
      {"removed leading state",
       'H',
       {0.25, 0.75},
       {1, 2},
       3,
       t + "0.000000e+00 2.500000e-01 7.500000e-01 \n",
       "",
       {0.25, 0.75}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RunOptions opts;
    opts.num_err = c.mode;
    Calc calc(2, opts);
    StateNumbering numbering;
    numbering.kept = c.kept;
    numbering.kept_columns = c.kept_columns;
    calc.Renumber(calc.dim(), numbering);
    std::vector<double> p = c.p;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_TRUE(MxOutputLine(calc, p.data(), 2, 1.0).ok());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.err);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), c.out);
    EXPECT_EQ(p, c.p_after);
  }
}

// The checks that stop a table come back as status 1 with the message (the
// warnings of modes I and R go to standard error before it).
TEST(CheckPopulationLine, FailuresComeBackAsStatus) {
  struct Case {
    const char* name;
    char mode;
    std::vector<double> p;
    std::string message;
  };
  const Case cases[] = {
      {"H stops on a negative population",
       'H',
       {1.1, -0.1},
       "prob of lmin 2 at time 2.500000e+00 has become negative: -1.000000e-01 \n"},
      {"H stops on a lost probability",
       'H',
       {0.5, 0.4},
       "overall probability at time 2.500000e+00 is 9.000000e-01 != 1.0 exiting!\n"},
      {"R stops when nothing is left",
       'R',
       {0.0, -0.5},
       "overall probability at time 2.500000e+00 is 0.000000e+00 != 1.0 exiting!\n"},
      {"H stops on populations that are not a number",
       'H',
       {NAN, 0.5},
       "overall probability at time 2.500000e+00 is nan != 1.0 exiting!\n"},
      {"I stops on a zero sum",
       'I',
       {0.0, 0.0},
       "overall probability at time 2.500000e+00 is 0.000000e+00 != 1.0 exiting!\n"},
      // Nothing can be rescaled from a non-finite sum, whatever the mode.
      {"R stops on populations that are not a number",
       'R',
       {NAN, 0.5},
       "overall probability at time 2.500000e+00 is nan != 1.0 exiting!\n"},
      {"I stops on populations that are not a number",
       'I',
       {0.5, NAN},
       "overall probability at time 2.500000e+00 is nan != 1.0 exiting!\n"},
      {"R stops on an infinite population",
       'R',
       {INFINITY, 0.5},
       "overall probability at time 2.500000e+00 is inf != 1.0 exiting!\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RunOptions opts;
    opts.num_err = c.mode;
    std::vector<double> p = c.p;
    double sum = 0.0;
    testing::internal::CaptureStderr();
    const Status status = CheckPopulationLine(opts, p.data(), 2, 2.5, sum);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(kExitError, status.exit_status);
    EXPECT_EQ(c.message, status.message);
  }
}

// The table's line printer returns the failure of such a line, before
// printing any of it.
TEST(MxOutputLine, FailedCheckIsReturnedUnprinted) {
  RunOptions opts;
  opts.num_err = 'H';
  Calc calc(2, opts);
  std::vector<double> p = {0.5, 0.4};
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  const Status status = MxOutputLine(calc, p.data(), 2, 2.5);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(kExitError, status.exit_status);
  EXPECT_EQ("overall probability at time 2.500000e+00 is 9.000000e-01 != 1.0 exiting!\n",
            status.message);
}

TEST(MxOutputHeader, AbsorbingStateAndStatesLimit) {
  RunOptions opts;
  opts.nstates = 12;
  Calc calc(7, opts);
  SetAbsorbingState(calc, 7);
  testing::internal::CaptureStdout();
  MxOutputHeader(calc);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("\n# Sequence: (null)\n# Method: I\n"), std::string::npos);
  EXPECT_NE(out.find("\n# Degeneracy:  off\n# Absorbing state: 7\n# States limit: 12\n"),
            std::string::npos);
}

}  // namespace
