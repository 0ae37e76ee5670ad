// --mlapack-method through the binary: the generic pipeline in double against
// the LAPACK path, every method against it on the bundled example (table,
// absorbing state, reduction), and stiff three-state chains that double gets
// wrong, against their closed-form solution in 100-digit arithmetic (Boost's
// cpp_bin_float, a library the program does not use).
#include <gtest/gtest.h>

#include <boost/multiprecision/cpp_bin_float.hpp>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "tests/calc/spectral_fixture.h"
#include "tests/test_util.h"

namespace {

using Big = boost::multiprecision::cpp_bin_float_100;
using spectral_test::ParseTable;
using spectral_test::Table;

// Every population of two tables within `abs` plus the rounding of the
// printed "%e" (7 significant digits); same time axis.
void ExpectTablesNear(const Table& expected, const Table& actual, double abs) {
  ASSERT_EQ(expected.lines.size(), actual.lines.size());
  for (size_t k = 0; k < expected.lines.size(); ++k) {
    ASSERT_EQ(expected.lines[k].time_text, actual.lines[k].time_text);
    const std::vector<double>& e = expected.lines[k].pops;
    const std::vector<double>& a = actual.lines[k].pops;
    ASSERT_EQ(e.size(), a.size());
    for (size_t i = 0; i < e.size(); ++i) {
      ASSERT_NEAR(e[i], a[i], abs + 1e-6 * std::fabs(e[i])) << "line " << k << " state " << i + 1;
    }
  }
}

std::vector<double> ReadBinVector(const std::string& path) {
  std::vector<double> v;
  FILE* f = fopen(path.c_str(), "rb");
  if (f == nullptr) return v;
  int32_t n = 0;
  if (fread(&n, sizeof n, 1, f) == 1 && n > 0) {
    v.resize(static_cast<size_t>(n));
    if (fread(v.data(), sizeof(double), v.size(), f) != v.size()) v.clear();
  }
  fclose(f);
  return v;
}

TEST(ExtendedTest, DoubleMethodReproducesTheLapackPath) {
  ScopedTempDir dir;
  const std::vector<std::string> base = {"--ratesfile", SourcePath("examples/landscape.rates"),
                                         "-q", "--t0", "0"};
  RunResult lapack = RunZolvane(Concat(base, {"-e"}));
  ASSERT_EQ(lapack.status, 0) << lapack.err;
  const std::vector<double> lapack_evals = ReadBinVector("evals.bin");
  RunResult generic = RunZolvane(Concat(base, {"-e", "--mlapack-method", "DOUBLE"}));
  ASSERT_EQ(generic.status, 0) << generic.err;
  const std::vector<double> generic_evals = ReadBinVector("evals.bin");

  ASSERT_EQ(lapack_evals.size(), 20u);
  ASSERT_EQ(generic_evals.size(), 20u);
  double largest = 0.0;
  for (double e : lapack_evals) largest = std::fmax(largest, std::fabs(e));
  for (size_t k = 0; k < lapack_evals.size(); ++k) {
    EXPECT_NEAR(lapack_evals[k], generic_evals[k], 1e-10 * largest) << "eigenvalue " << k;
  }
  ExpectTablesNear(ParseTable(lapack.out), ParseTable(generic.out), 1e-10);

  // The first passage times, through the same writers.
  const std::vector<std::string> fpt = {"--just-shorten", "--fpt", "all", "--fptfile"};
  ASSERT_EQ(RunZolvane(Concat(Concat(base, fpt), {"lapack.txt"})).status, 0);
  ASSERT_EQ(
      RunZolvane(Concat(Concat(base, fpt), {"generic.txt", "--mlapack-method", "DOUBLE"})).status,
      0);
  std::istringstream a(ReadFile("lapack.txt")), b(ReadFile("generic.txt"));
  double x = 0.0, y = 0.0;
  int numbers = 0;
  while (a >> x && b >> y) {
    EXPECT_NEAR(x, y, 1e-6 * std::fabs(x)) << numbers;
    ++numbers;
  }
  EXPECT_EQ(numbers, 400);
  EXPECT_FALSE(b >> y);
}

TEST(ExtendedTest, EveryMethodMatchesTheLapackPathOnTheExample) {
  ScopedTempDir dir;
  struct Case {
    const char* what;
    std::vector<std::string> args;
  };
  const std::string rates = SourcePath("examples/landscape.rates");
  const std::string qorp = SourcePath("examples/landscape.qorp");
  const std::string bin = SourcePath("examples/landscape.bin");
  const Case cases[] = {
      {"table", {"--ratesfile", rates, "--p0", "4=1"}},
      {"method A with an absorbing state", {"-m", "A", "--qorp", qorp, "-a", "3"}},
      {"reduction in blocks", {"-b", "--ratesfile", bin, "-n", "12", "--max-decrease", "3"}},
      {"reduction state by state", {"-b", "--ratesfile", bin, "-n", "9", "--max-decrease", "1"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::vector<std::string> args = Concat(c.args, {"-q", "--t8", "1e8"});
    RunResult lapack = RunZolvane(args);
    ASSERT_EQ(lapack.status, 0) << lapack.err;
    const Table expected = ParseTable(lapack.out);
    for (const std::vector<std::string>& method : ExtendedMethods()) {
      SCOPED_TRACE(method[1]);
      RunResult r = RunZolvane(Concat(args, method));
      ASSERT_EQ(r.status, 0) << r.err;
      ExpectTablesNear(expected, ParseTable(r.out), 1e-9);
    }
  }
}

// ---------------------------------------------------------------------------
// Stiff chain 1 <-> 2 <-> 3 (rates k01: 1 -> 2, k10: 2 -> 1, k12: 2 -> 3,
// k21: 3 -> 2), all population in state 1 at the start.

struct Chain {
  double k01, k10, k12, k21;
};

std::string RatesFile(const Chain& c) {
  char text[256];
  snprintf(text, sizeof text, "0 %.17g 0\n%.17g 0 %.17g\n0 %.17g 0\n", c.k01, c.k10, c.k12, c.k21);
  return text;
}

// exp(G t) e_1 by Sylvester's formula over the eigenvalues 0, ls, lf of G.
std::vector<double> ChainPopulations(const Chain& c, double time) {
  const Big k01(c.k01), k10(c.k10), k12(c.k12), k21(c.k21), t(time);
  const Big g[3][3] = {{-k01, k10, 0}, {k01, -(k10 + k12), k21}, {0, k12, -k21}};
  const Big b = k01 + k10 + k12 + k21;
  const Big q = k01 * k12 + k01 * k21 + k10 * k21;
  const Big lf = -(b + sqrt(b * b - 4 * q)) / 2;
  const Big ls = q / lf;  // the product of the two roots is q
  Big p8[3] = {1, k01 / k10, k01 * k12 / (k10 * k21)};
  const Big z = p8[0] + p8[1] + p8[2];
  // G (G - l) e_1 for l = lf and l = ls.
  auto g_times = [&g](const Big v[3], Big out[3]) {
    for (int i = 0; i < 3; ++i) out[i] = g[i][0] * v[0] + g[i][1] * v[1] + g[i][2] * v[2];
  };
  const Big e1[3] = {1, 0, 0};
  Big ge[3], gge[3];
  g_times(e1, ge);
  g_times(ge, gge);
  std::vector<double> p(3);
  for (int i = 0; i < 3; ++i) {
    const Big slow = (gge[i] - lf * ge[i]) / (ls * (ls - lf));
    const Big fast = (gge[i] - ls * ge[i]) / (lf * (lf - ls));
    const Big value = p8[i] / z + exp(ls * t) * slow + exp(lf * t) * fast;
    p[i] = value.convert_to<double>();
  }
  return p;
}

// Largest deviation of the table from the closed form; infinity when the run
// failed or printed nothing.
double ChainError(const RunResult& r, const Chain& c) {
  const Table table = ParseTable(r.out);
  if (r.status != 0 || table.lines.empty()) return INFINITY;
  double worst = 0.0;
  for (const auto& line : table.lines) {
    const std::vector<double> p = ChainPopulations(c, line.time);
    for (size_t i = 0; i < 3 && i < line.pops.size(); ++i) {
      worst = std::fmax(worst, std::fabs(p[i] - line.pops[i]));
    }
  }
  return worst;
}

TEST(ExtendedTest, StiffChainsThatDoubleGetsWrong) {
  ScopedTempDir dir;
  struct Case {
    std::vector<std::string> method;
    double slow;  // k12 = k21; the fast pair is k01 = 1, k10 = 0.5
    double tolerance;
  };
  const Case cases[] = {
      {{"--mlapack-method", "LD"}, 1e-15, 1e-3},
      {{"--mlapack-method", "DD"}, 1e-24, 1e-6},
      {{"--mlapack-method", "FLOAT128"}, 1e-24, 1e-6},
      {{"--mlapack-method", "QD"}, 1e-36, 1e-6},
      {{"--mlapack-method", "MPFR", "-c", "256"}, 1e-36, 1e-6},
      {{"--mlapack-method", "GMP", "-c", "256"}, 1e-36, 1e-6},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.method[1]);
    const Chain chain{1.0, 0.5, c.slow, c.slow};
    WriteFile("chain.rates", RatesFile(chain));
    char t8[32];
    snprintf(t8, sizeof t8, "%g", 100.0 / c.slow);
    const std::vector<std::string> args = {"--ratesfile", "chain.rates", "-q", "--tinc",
                                           "1.5",         "--t8",        t8};
    const double lapack = ChainError(RunZolvane(Concat(args, {"--eigensolver", "lapack"})), chain);
    EXPECT_GT(lapack, 1e-2) << "the LAPACK path resolves this chain; it tests nothing";
    RunResult r = RunZolvane(Concat(args, c.method));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_LT(ChainError(r, chain), c.tolerance);
  }
}

TEST(ExtendedTest, StiffChainFirstPassageTimes) {
  ScopedTempDir dir;
  const Chain c{1.0, 0.5, 1e-24, 1e-24};
  WriteFile("chain.rates", RatesFile(c));
  // Closed forms of the birth-death chain; y1 = time from 2 to 1.
  const double x1 = (1 + c.k10 / c.k01) / c.k12;  // 2 -> 3
  const double x0 = 1 / c.k01 + x1;               // 1 -> 3
  const double y1 = (1 + c.k12 / c.k21) / c.k10;  // 2 -> 1
  const double all[3][3] = {{0, 1 / c.k01, x0}, {y1, 0, x1}, {1 / c.k21 + y1, 1 / c.k21, 0}};
  for (const char* method : {"DD", "QD"}) {
    SCOPED_TRACE(method);
    RunResult to = RunZolvane({"--ratesfile", "chain.rates", "-q", "--just-shorten", "--fpt", "3",
                               "--fptfile", "to.txt", "--mlapack-method", method});
    ASSERT_EQ(to.status, 0) << to.err;
    std::istringstream in(ReadFile("to.txt"));
    double v[3] = {-1, -1, -1};
    in >> v[0] >> v[1] >> v[2];
    EXPECT_NEAR(v[0], x0, 1e-6 * x0);
    EXPECT_NEAR(v[1], x1, 1e-6 * x1);
    EXPECT_EQ(v[2], 0.0);

    RunResult pairs = RunZolvane({"--ratesfile", "chain.rates", "-q", "--just-shorten", "--fpt",
                                  "all", "--fptfile", "all.txt", "--mlapack-method", method});
    ASSERT_EQ(pairs.status, 0) << pairs.err;
    std::istringstream m(ReadFile("all.txt"));
    for (int i = 0; i < 3; ++i) {
      for (int j = 0; j < 3; ++j) {
        double x = -1;
        m >> x;
        EXPECT_NEAR(x, all[i][j], 1e-6 * all[i][j]) << i << " -> " << j;
      }
    }
  }
}

// Every path that stays in plain double warns on stiff rates and names its
// remedy: the LAPACK eigensolver from its eigenvalues (also when they come
// from a stored decomposition). The default run and --exponent (the exact
// propagator) resolve these rates and say nothing, also when the last state
// is absorbing (the two others still in balance), so the remedies stay the
// same there.
TEST(ExtendedTest, DoublePathsWarnOnStiffRates) {
  ScopedTempDir dir;
  WriteFile("stiff.rates", RatesFile({1.0, 0.5, 1e-16, 1e-16}));
  WriteFile("mild.rates", RatesFile({1.0, 0.5, 1e-10, 1e-10}));
  WriteFirstMinima("three.qorp", 3);
  struct Path {
    const char* name;
    std::vector<std::string> args;
    const char* warning;  // nullptr: none, even on the stiff rates
    const char* remedy;
  };
  const Path paths[] = {
      {"default", {}, nullptr, nullptr},
      {"lapack", {"--eigensolver", "lapack"}, "WARNING: the slowest", "--eigensolver accurate\n"},
      {"exponent", {"--exponent"}, nullptr, nullptr},
      {"recovered", {"--recoverE"}, "WARNING: the slowest", "without --recoverE\n"},
      {"LD",
       {"--mlapack-method", "LD"},
       "WARNING: the rates spread over 1e+16",
       "without --mlapack-method\n"},
  };
  for (const Path& path : paths) {
    SCOPED_TRACE(path.name);
    // --recoverE reads the decomposition the run before stored with --dumpE
    // (made by LAPACK, which the warning is about).
    auto store = [&](const std::string& rates) {
      if (path.args != std::vector<std::string>{"--recoverE"}) return;
      ASSERT_EQ(RunZolvane(
                    {"--ratesfile", rates, "--dumpE", "--t8", "1", "-q", "--eigensolver", "lapack"})
                    .status,
                0);
    };
    const std::vector<std::string> stiff_run =
        Concat({"--ratesfile", "stiff.rates", "--t8", "1e18", "--tinc", "10", "--num-err", "I"},
               path.args);
    store("stiff.rates");
    RunResult stiff = RunZolvane(stiff_run);
    if (path.warning == nullptr) {
      EXPECT_EQ(stiff.err.find("WARNING"), std::string::npos) << stiff.err;
      RunResult absorbing = RunZolvane(Concat(stiff_run, {"-a", "3", "--qorp", "three.qorp"}));
      EXPECT_EQ(absorbing.err.find("WARNING"), std::string::npos) << absorbing.err;
      continue;
    }
    EXPECT_NE(stiff.err.find(path.warning), std::string::npos) << stiff.err;
    EXPECT_NE(stiff.err.find(path.remedy), std::string::npos) << stiff.err;
    if (path.args != std::vector<std::string>{"--recoverE"}) {
      RunResult absorbing = RunZolvane(Concat(stiff_run, {"-a", "3", "--qorp", "three.qorp"}));
      // LAPACK's general solver may also find the eigenvectors singular on
      // such rates (its rounding differs between processors): the run then
      // ends with the same remedy instead of a table.
      if (path.args == std::vector<std::string>{"--eigensolver", "lapack"} &&
          absorbing.status == 1) {
        EXPECT_NE(absorbing.err.find("singular"), std::string::npos) << absorbing.err;
      } else {
        EXPECT_EQ(absorbing.status, 0) << absorbing.err;
      }
      EXPECT_NE(absorbing.err.find(path.remedy), std::string::npos) << absorbing.err;
    }
    RunResult quiet = RunZolvane(Concat(stiff_run, {"-q"}));
    EXPECT_EQ(quiet.err.find("WARNING"), std::string::npos) << quiet.err;
    for (const char* file : {"mild.rates", "examples"}) {
      SCOPED_TRACE(file);
      const std::string name =
          std::string(file) == "examples" ? SourcePath("examples/landscape.rates") : file;
      store(name);
      RunResult r = RunZolvane(Concat({"--ratesfile", name, "--t8", "1e14"}, path.args));
      EXPECT_EQ(r.status, 0);
      EXPECT_EQ(r.err.find("WARNING"), std::string::npos) << r.err;
    }
  }
}

// Each wider arithmetic runs the stiffness test of the double paths with its
// own precision. States 1 and 2 joined by K, both by 1 to state 3: from
// t = 10 on every population is 1/3, but past its precision an arithmetic
// left state 3 empty, with status 0 and no word. Now one line names the
// arithmetic and the rerun; a spread it resolves says nothing.
TEST(ExtendedTest, WiderArithmeticsWarnPastTheirPrecision) {
  ScopedTempDir dir;
  auto chain = [](const char* k) { return std::string("0 ") + k + " 1\n" + k + " 0 1\n1 1 0\n"; };
  WriteFile("k20.rates", chain("1e20"));
  WriteFile("k40.rates", chain("1e40"));
  WriteFile("k70.rates", chain("1e70"));
  const struct {
    std::vector<std::string> method;
    const char* stiff;  // rates the arithmetic gets wrong
    const char* remedy;
  } cases[] = {
      {{"--mlapack-method", "DD"}, "k40.rates", "without --mlapack-method"},
      {{"--mlapack-method", "FLOAT128"}, "k40.rates", "without --mlapack-method"},
      {{"--mlapack-method", "QD"}, "k70.rates", "without --mlapack-method"},
      {{"--mlapack-method", "MPFR", "-c", "128"}, "k40.rates", "with --mlapack-precision 256"},
      {{"--mlapack-method", "GMP", "-c", "128"}, "k40.rates", "with --mlapack-precision 256"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.method[1] + " " + c.stiff);
    const std::vector<std::string> args = Concat({"--t8", "100", "--ratesfile", c.stiff}, c.method);
    const RunResult r = RunZolvane(args);
    ASSERT_EQ(r.status, 0) << r.err;
    const Table table = ParseTable(r.out);
    ASSERT_FALSE(table.lines.empty());
    EXPECT_GT(std::fabs(table.lines.back().pops[2] - 1.0 / 3.0), 1e-2)
        << "the arithmetic resolves these rates; the case tests nothing";
    int warnings = 0;
    for (const std::string& line : Lines(r.err)) {
      if (line.rfind("WARNING: the slowest relaxations are below what --mlapack-method " +
                         c.method[1] + " resolves",
                     0) != 0) {
        continue;
      }
      ++warnings;
      EXPECT_EQ(line.substr(line.size() - std::string(c.remedy).size()), c.remedy) << line;
    }
    EXPECT_EQ(warnings, 1) << r.err;
    EXPECT_EQ(RunZolvane(Concat(args, {"-q"})).err.find("WARNING"), std::string::npos);
    const RunResult mild =
        RunZolvane(Concat({"--t8", "100", "--ratesfile", "k20.rates"}, c.method));
    EXPECT_EQ(mild.err.find("WARNING: the slowest"), std::string::npos) << mild.err;
    EXPECT_EQ(mild.err.find("WARNING: the equilibrium"), std::string::npos) << mild.err;
  }
}

}  // namespace
