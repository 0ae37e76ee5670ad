// Inputs that drive the arithmetic to its edges (negative and zero rates,
// NaN and infinities in the file, rates of 1e-300 next to 1e300, the whole
// population in an absorbing state, --useplusI, first passage times, the
// reduction) through the LAPACK path and every --mlapack-method. A run ends
// with status 0, 1 or 255 (the refusal of bad rates), never by a signal or an
// uncaught exception, and prints no library's own error text. GMP has neither
// NaN nor infinities, so it is the type that used to die here; libqd printed
// messages of its own. tests/stiff/signal_sweep.sh runs the same check over
// the stiff fixtures, by hand.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "calc/table/iterate.h"
#include "tests/test_util.h"

namespace {

// Every arithmetic; the empty one is the LAPACK path.
const std::vector<std::vector<std::string>> kMethods = [] {
  std::vector<std::vector<std::string>> methods = {{}};
  methods.insert(methods.end(), ExtendedMethods().begin(), ExtendedMethods().end());
  return methods;
}();

std::string MethodName(const std::vector<std::string>& method) {
  return method.empty() ? "LAPACK" : method[1];
}

// No signal, no abort, no text of a library's own error path.
void ExpectOrderlyEnd(const RunResult& r) {
  EXPECT_TRUE(r.status == 0 || r.status == 1 || r.status == 255)
      << "status " << r.status << " (-1: killed by a signal)\n"
      << r.err;
  for (const char* noise :
       {"terminate called", "what()", "dd_real::", "qd_real::", "runtime error", "Sanitizer"}) {
    EXPECT_EQ(r.err.find(noise), std::string::npos) << noise << " in:\n" << r.err;
  }
}

// Three minima of the bundled landscape: method A, and the states an
// absorbing state is appended to.
// A binary rates file: the count, then the matrix column by column (column
// i = the rates out of state i); `rates` is given row by row as rate i -> j.
void WriteBinaryRates(const std::string& path, int n, const std::vector<double>& rates) {
  FILE* f = fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  const int32_t count = n;
  fwrite(&count, sizeof count, 1, f);
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j)
      fwrite(&rates[static_cast<size_t>(j * n + i)], sizeof(double), 1, f);
  }
  fclose(f);
}

class HostileInputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFirstMinima("three.qorp", 3);
    // Rates i -> j by row. neg: 1 -> 3 is -1, so state 3's weight is -1.
    WriteFile("neg.rates", "0 1 -1\n1 0 1\n1 1 0\n");
    // Weights 1, 1 and -2: they sum to 0.
    WriteFile("zero_sum.rates", "0 1 -2\n1 0 1\n1 1 0\n");
    WriteFile("zero.rates", "0 0 0\n0 0 0\n0 0 0\n");
    WriteFile("nan.rates", "0 1 nan\n1 0 1\n1 1 0\n");
    WriteFile("inf.rates", "0 1 inf\n1 0 1\n1 1 0\n");
    WriteFile("tiny.rates", "0 1e-300 1e-300\n1e-300 0 1e-300\n1e-300 1e-300 0\n");
    WriteFile("huge.rates", "0 1e300 1e300\n1e300 0 1e300\n1e300 1e300 0\n");
    WriteFile("wild.rates", "0 1e-300 1e300\n1e300 0 1e-300\n1e-300 1e300 0\n");
    WriteBinaryRates("sink.bin", 3, {0, 1, 0, 0, 0, 0, 0, 1, 0});
    WriteBinaryRates("wild.bin", 3, {0, 1e300, 1e-300, 1e-300, 0, 1e300, 1e300, 1e-300, 0});
    WriteBinaryRates("neg.bin", 3, {0, -1, 1, 1, 0, 1, 1, 1, 0});
  }
  ScopedTempDir dir_;
};

// Statuses may differ between the arithmetics (one refuses what another
// computes), but each is an orderly end.
TEST_F(HostileInputTest, EveryArithmeticEndsInAnOrderlyWay) {
  const std::vector<std::vector<std::string>> cases = {
      {"--ratesfile", "zero.rates"},
      {"--ratesfile", "zero_sum.rates", "--fpt", "all"},
      {"--ratesfile", "nan.rates"},
      {"--ratesfile", "inf.rates", "--fpt", "2"},
      {"--ratesfile", "tiny.rates", "--fpt", "all"},
      {"--ratesfile", "huge.rates", "--useplusI"},
      {"--ratesfile", "wild.rates"},
      {"--ratesfile", "wild.rates", "--fpt", "3"},
      {"--ratesfile", "wild.rates", "-a", "2", "--qorp", "three.qorp", "--useplusI"},
      {"--ratesfile", "huge.rates", "-a", "2", "--qorp", "three.qorp", "--useplusI"},
      {"--ratesfile", "tiny.rates", "-a", "2", "--qorp", "three.qorp", "--useplusI"},
      {"--ratesfile", "wild.rates", "-a", "2", "--qorp", "three.qorp", "--fpt", "4"},
      {"--ratesfile", "huge.rates", "-a", "2", "--qorp", "three.qorp", "--fpt", "all"},
      {"--ratesfile", "neg.rates", "-a", "2", "--qorp", "three.qorp"},
      {"-m", "A", "--qorp", "three.qorp", "-a", "2", "--fpt", "all"},
      {"-m", "A", "--qorp", "three.qorp", "--times", "1e-300", "--t8", "1e300"},
      {"--bin", "--ratesfile", "sink.bin", "-n", "1"},
      {"--bin", "--ratesfile", "wild.bin", "-n", "2", "--fpt", "all"},
      {"--bin", "--ratesfile", "wild.bin", "-n", "1"},
      {"--bin", "--ratesfile", "neg.bin", "-n", "2"},
      {"--bin", "--ratesfile", "neg.bin", "-n", "1", "--max-decrease", "1"},
  };
  for (const std::vector<std::string>& c : cases) {
    std::string what;
    for (const std::string& a : c) what += a + " ";
    for (const std::vector<std::string>& method : kMethods) {
      SCOPED_TRACE(what + MethodName(method));
      ExpectOrderlyEnd(RunZolvane(Concat(c, method)));
    }
  }
}

// A state of negative weight, and weights that sum to 0: the symmetrisation
// meets NaN in an IEEE type, and every arithmetic refuses the rates as the
// LAPACK path does, naming the same pairs (the sign of their NaN varies).
// GMP died of SIGFPE on the square root, or threw on the division by the
// sum; DD and QD printed libqd's complaint about the square root.
TEST_F(HostileInputTest, NegativeWeightsAreRefusedAlike) {
  for (const char* file : {"neg.rates", "zero_sum.rates"}) {
    SCOPED_TRACE(file);
    const RunResult lapack = RunZolvane({"--ratesfile", file});
    ASSERT_EQ(lapack.status, 255) << lapack.err;
    std::vector<std::string> weird;
    for (const std::string& line : Lines(lapack.err)) {
      if (line.rfind("Weird rates! ", 0) == 0) weird.push_back(line.substr(0, line.find('=')));
    }
    ASSERT_FALSE(weird.empty());
    for (const std::vector<std::string>& method : kMethods) {
      SCOPED_TRACE(MethodName(method));
      const RunResult r = RunZolvane(Concat({"--ratesfile", file}, method));
      ExpectOrderlyEnd(r);
      EXPECT_EQ(r.status, 255);
      std::vector<std::string> lines = Lines(r.err);
      ASSERT_FALSE(lines.empty());
      EXPECT_EQ(lines.back().rfind("Rates are not good -- check your rates", 0), 0u) << r.err;
      EXPECT_NE(lines.back().find("(nan)"), std::string::npos) << lines.back();
      std::vector<std::string> got;
      for (const std::string& line : lines) {
        if (line.rfind("Weird rates! ", 0) == 0) got.push_back(line.substr(0, line.find('=')));
      }
      EXPECT_EQ(got, weird);
    }
  }
}

// A NaN rate is refused by every double eigensolver, also where the
// ergodicity reduction has moved it onto the diagonal of a kept state (the
// rate into a removed state), which the factorised solver never reads: it
// printed a table with status 0.
TEST_F(HostileInputTest, NaNRatesAreRefusedByEverySolver) {
  WriteFile("nan_to_removed.rates", "0 nan\n1 0\n");
  WriteFile("nan_three.rates", "0 1 nan\n1 0 0\n0 0 0\n");
  for (const char* file : {"nan.rates", "nan_to_removed.rates", "nan_three.rates"}) {
    for (const std::vector<std::string>& solver :
         std::vector<std::vector<std::string>>{{}, {"--eigensolver", "lapack"}}) {
      SCOPED_TRACE(std::string(file) + (solver.empty() ? "" : " --eigensolver lapack"));
      const RunResult r = RunZolvane(Concat({"--ratesfile", file}, solver));
      EXPECT_EQ(r.status, 255) << r.err;
      const std::vector<std::string> lines = Lines(r.err);
      ASSERT_FALSE(lines.empty());
      EXPECT_EQ(lines.back().rfind("Rates are not good -- check your rates", 0), 0u) << r.err;
    }
  }
}

// A rate that is not finite beside an absorbing state (an inf in the file,
// a method A rate that overflows at -273 degrees) is refused as it is
// without one, in every arithmetic, before any solver: it reached LAPACK,
// whose complaints went into the table on standard output, or ended as a
// singular eigenvector matrix.
TEST_F(HostileInputTest, RatesNotFiniteBesideAnAbsorbingStateAreRefused) {
  WriteFile("overflow.qorp", "SEQ\n1 . -1 0 0\n2 . -2 1 -5\n");
  const std::vector<std::vector<std::string>> cases = {
      {"--ratesfile", "inf.rates", "--qorp", "three.qorp", "-a", "1"},
      {"--ratesfile", "inf.rates", "--qorp", "three.qorp", "-a", "2", "--fpt", "all"},
      {"-m", "A", "--qorp", "overflow.qorp", "-T", "-273", "-a", "1"},
      {"-m", "A", "--qorp", "overflow.qorp", "-T", "-273", "-a", "1", "--exponent"},
  };
  for (const std::vector<std::string>& c : cases) {
    std::string what;
    for (const std::string& a : c) what += a + " ";
    for (const std::vector<std::string>& method : kMethods) {
      if (!method.empty() && c.back() == "--exponent") continue;  // refused with a method
      SCOPED_TRACE(what + MethodName(method));
      const RunResult r = RunZolvane(Concat(c, method));
      EXPECT_EQ(r.status, 255) << r.err;
      EXPECT_EQ(r.out, "");
      const std::vector<std::string> lines = Lines(r.err);
      ASSERT_FALSE(lines.empty());
      EXPECT_EQ(lines.back().rfind("Rates are not good -- check your rates", 0), 0u) << r.err;
    }
  }
}

// The whole population in the appended absorbing state: nothing moves, and
// every line of the table holds state 4 at 1 (after the reduction to the one
// state nothing leaves, the general eigensolver meets a zero matrix; GMP
// threw on it). The same with --useplusI.
TEST_F(HostileInputTest, PopulationInTheAbsorbingStateStaysThere) {
  for (const std::vector<std::string>& extra :
       std::vector<std::vector<std::string>>{{}, {"--useplusI"}}) {
    for (const std::vector<std::string>& method : kMethods) {
      SCOPED_TRACE(MethodName(method) + (extra.empty() ? "" : " --useplusI"));
      const RunResult r = RunZolvane(Concat(
          Concat({"-m", "A", "--qorp", "three.qorp", "-a", "2", "--p0", "4=1", "--t8", "1e4"},
                 extra),
          method));
      ExpectOrderlyEnd(r);
      ASSERT_EQ(r.status, 0) << r.err;
      int rows = 0;
      for (const std::string& line : Lines(r.out)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream in(line);
        double t = 0, p1 = -1, p2 = -1, p3 = -1, p4 = -1;
        ASSERT_TRUE(in >> t >> p1 >> p2 >> p3 >> p4) << line;
        EXPECT_EQ(p1, 0.0) << line;
        EXPECT_EQ(p2, 0.0) << line;
        EXPECT_EQ(p3, 0.0) << line;
        EXPECT_EQ(p4, 1.0) << line;
        ++rows;
      }
      EXPECT_GT(rows, 1) << r.out;
    }
  }
}

// An eigenvector matrix that cannot be inverted on a population that needs
// it: the LAPACK path's one line and status 1 in the arithmetics that meet
// it, never a table of NaN or a throw (GMP) on the zero pivot. These rates
// have no detailed balance, which the arithmetics of --mlapack-method now
// refuse in one line.
TEST_F(HostileInputTest, SingularEigenvectorsEndWithOneLine) {
  for (const std::vector<std::string>& method : kMethods) {
    SCOPED_TRACE(MethodName(method));
    const RunResult r = RunZolvane(Concat(
        {"--ratesfile", "wild.rates", "-a", "2", "--qorp", "three.qorp", "--useplusI"}, method));
    ExpectOrderlyEnd(r);
    if (r.status == 0) continue;  // this arithmetic's eigenvectors are regular
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out.find("nan"), std::string::npos) << r.out;
    const std::vector<std::string> lines = Lines(r.err);
    ASSERT_FALSE(lines.empty());
    EXPECT_TRUE(lines.back().rfind(
                    "ERROR: MxIterate: the eigenvector matrix is singular and cannot be inverted",
                    0) == 0 ||
                lines.back().rfind("overall probability", 0) == 0 ||
                lines.back().rfind("ERROR: the rates do not obey detailed balance", 0) == 0 ||
                lines.back().rfind("The general eigensolver did not converge", 0) == 0)
        << r.err;
  }
}

// --Temp inf flattens the Boltzmann weights: every arithmetic ends at equal
// populations, as the LAPACK path does (DD and QD refused the rates, since
// libqd's division by infinity gives NaN; GMP refused the infinite kT).
TEST_F(HostileInputTest, InfiniteTemperatureGivesEqualWeights) {
  for (const std::vector<std::string>& method : kMethods) {
    SCOPED_TRACE(MethodName(method));
    const RunResult r =
        RunZolvane(Concat({"-m", "A", "--qorp", "three.qorp", "--Temp", "inf", "-q"}, method));
    ExpectOrderlyEnd(r);
    ASSERT_EQ(r.status, 0) << r.err;
    std::string last;
    for (const std::string& line : Lines(r.out)) {
      if (!line.empty() && line[0] != '#') last = line;
    }
    std::istringstream in(last);
    double t = 0, p[3] = {0, 0, 0};
    ASSERT_TRUE(in >> t >> p[0] >> p[1] >> p[2]) << r.out;
    // Within the stop of the table (1e-6) and the printed digits.
    for (double x : p) EXPECT_NEAR(x, 1.0 / 3.0, 2e-6) << last;
  }
}

}  // namespace
