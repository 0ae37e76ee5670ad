// Mean first passage times of the default double path on stiff landscapes
// against the multiple-precision reference, within 1e-12 relative at any
// spread of the rates: the stiff fixtures, flat landscapes whose basins are
// joined by one slow rate (the fundamental matrix lost every time inside a
// basin there), and an RNA-like landscape at 37 degrees Celsius where a solve
// with the generator printed negative times.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "calc/model/calc.h"
#include "calc/passage/first_passage.h"
#include "elimination/state_reduction.h"
#include "tests/reference/reference_kinetics.h"
#include "tests/stiff/stiff_fixture.h"
#include "tests/test_util.h"

namespace {

constexpr double kBound = 1e-12;

double RelativeError(double got, double want) {
  if (want == 0.0) return got == 0.0 ? 0.0 : HUGE_VAL;
  const double err = std::fabs(got - want) / std::fabs(want);
  return std::isnan(err) ? HUGE_VAL : err;
}

// A rates file (line i: the rates from i to every state) as n x n, row i the
// rates out of i.
std::vector<double> ReadRates(const std::string& path, size_t& n) {
  const std::vector<double> v = ParseNumbers(ReadFile(path));
  n = static_cast<size_t>(std::lround(std::sqrt(static_cast<double>(v.size()))));
  EXPECT_EQ(n * n, v.size()) << path;
  return v;
}

// The program's generator: U(i, j) the rate j -> i, columns summing to 0, or
// to 1 with --useplusI.
std::vector<double> Generator(const std::vector<double>& rates, size_t n, bool plus_i) {
  std::vector<double> u(n * n, 0.0);
  for (size_t j = 0; j < n; ++j) {
    double out = 0.0;
    for (size_t i = 0; i < n; ++i) {
      if (i == j) continue;
      u[i * n + j] = rates[j * n + i];
      out += rates[j * n + i];
    }
    u[j * n + j] = (plus_i ? 1.0 : 0.0) - out;
  }
  return u;
}

// Ten states of equal energy in two basins of five: inside a basin every
// pair is joined at rate 1 ("clique") or neighbours along a line at rate 1
// ("line"); the basins meet only through states 5 and 6, at rate 1/R.
std::string FlatLandscape(const std::string& shape, double spread) {
  const int n = 10;
  std::string text;
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j) {
      double rate = 0.0;
      if ((i == 4 && j == 5) || (i == 5 && j == 4)) {
        rate = 1.0 / spread;
      } else if (i != j && (i < 5) == (j < 5)) {
        rate = shape == "clique" || std::abs(i - j) == 1 ? 1.0 : 0.0;
      }
      char buf[40];
      snprintf(buf, sizeof buf, "%.17g ", rate);
      text += buf;
    }
    text += '\n';
  }
  return text;
}

// An RNA-like landscape: a deep native state and two basins behind barriers
// of about 30 kcal/mol (rates spanning about 1e24 at 37 degrees Celsius).
const char kRnaLike[] =
    "GGGAAACCCAGCUUCGGCUGGGAAACCCAGCUUCGGCUGG\n"
    "   1 (((((((((....)))))))))..((((....)))).... -24.50    0 0.00\n"
    "   2 ((((((....)))))).......((((....)))).... -17.20    1 33.10\n"
    "   3 .((((((....))))))......((((....)))).... -16.80    2 1.40\n"
    "   4 ((((((....))))))........(((....)))..... -15.90    2 2.30\n"
    "   5 ..(((((....)))))....................... -12.10    3 3.10\n"
    "   6 ........((((....))))...((((....)))).... -14.40    1 29.70\n"
    "   7 .........(((....)))....((((....)))).... -13.80    6 0.90\n"
    "   8 ........((((....)))).....((....))...... -11.20    7 2.60\n"
    "   9 ........................((((....)))).... -8.30    6 4.20\n"
    "  10 ........................................ 0.00    9 0.40\n";

// Every rates file of the test: the fixtures' and the flat landscapes,
// written into the working directory (a ScopedTempDir).
std::vector<std::string> RatesFiles() {
  std::vector<std::string> paths;
  for (const stiff::Fixture& f : stiff::AllFixtures()) {
    if (!f.qorp && f.absorb == 0) paths.push_back(stiff::Path(f));
  }
  for (const char* shape : {"clique", "line"}) {
    for (int exponent : {12, 18, 24, 30, 36}) {
      const std::string path = std::string("flat_") + shape + "_1e" + std::to_string(exponent);
      WriteFile(path, FlatLandscape(shape, std::pow(10.0, exponent)));
      paths.push_back(path);
    }
  }
  return paths;
}

TEST(StiffFirstPassage, TimesToEveryTargetMatchTheReference) {
  ScopedTempDir dir;
  for (const std::string& path : RatesFiles()) {
    SCOPED_TRACE(path);
    size_t n = 0;
    const std::vector<double> rates = ReadRates(path, n);
    const reference::Kinetics ref = reference::Kinetics::FromRates(path);
    std::vector<std::vector<double>> want(n);
    for (size_t t = 0; t < n; ++t) want[t] = ref.FirstPassageTo(static_cast<int>(t));
    for (bool plus_i : {false, true}) {
      RunOptions opts;
      opts.useplusI = plus_i;
      Calc calc(static_cast<int>(n), opts);
      const std::vector<double> u = Generator(rates, n, plus_i);
      double worst = 0.0;
      std::string where = "nowhere";
      for (size_t t = 0; t < n; ++t) {
        const auto got = MxFirstPassageTo(calc, u, static_cast<int>(t));
        ASSERT_TRUE(got.has_value());
        for (size_t i = 0; i < n; ++i) {
          const double err = RelativeError((*got)[i], want[t][i]);
          if (err > worst) {
            worst = err;
            where = std::to_string(i + 1) + " -> " + std::to_string(t + 1) + ": " +
                    std::to_string((*got)[i]) + " for " + std::to_string(want[t][i]);
          }
        }
      }
      EXPECT_LE(worst, kBound) << (plus_i ? "useplusI " : "") << where;
    }
  }
}

// The all-pairs matrix by divide and conquer, as doubles, and as the file
// the stage writes (seven digits).
TEST(StiffFirstPassage, AllPairsMatchTheReference) {
  ScopedTempDir dir;
  for (const std::string& path : RatesFiles()) {
    SCOPED_TRACE(path);
    size_t n = 0;
    const std::vector<double> rates = ReadRates(path, n);
    const reference::Kinetics ref = reference::Kinetics::FromRates(path);
    std::vector<double> want;
    for (const std::vector<double>& row : ref.FirstPassageAll()) {
      want.insert(want.end(), row.begin(), row.end());
    }

    std::vector<double> got;
    ASSERT_TRUE(FirstPassageTimesAll({rates.data(), n, n, 1}, got));
    double worst = 0.0;
    size_t at = 0;
    for (size_t k = 0; k < n * n; ++k) {
      const double err = RelativeError(got[k], want[k]);
      if (err > worst) worst = err, at = k;
    }
    EXPECT_LE(worst, kBound) << "from " << at / n + 1 << " to " << at % n + 1 << ": " << got[at]
                             << " for " << want[at];

    RunOptions opts;
    Calc calc(static_cast<int>(n), opts);
    FILE* f = tmpfile();
    MxFirstPassageTimes(calc, Generator(rates, n, false), std::vector<double>(n, 1.0 / n), f);
    std::string text(static_cast<size_t>(ftell(f)), '\0');
    rewind(f);
    ASSERT_EQ(fread(text.data(), 1, text.size(), f), text.size());
    fclose(f);
    std::string where;
    EXPECT_LE(stiff::MaxRelativeError(stiff::PrintedNumbers(text), want, where), kBound) << where;
  }
}

// The whole program on the qorp files (method A at 37 degrees Celsius): times
// to state 1, all pairs, and the absorbing times behind the native state.
TEST(StiffFirstPassage, ProgramPrintsTheReferenceTimes) {
  for (const stiff::Fixture& f : stiff::InThisBuild(stiff::AllFixtures())) {
    if (!f.qorp || f.absorb != 0) continue;
    for (const stiff::Fixture& run : {f, stiff::Fixture{f.kind, f.exponent, true, 1}}) {
      for (const std::string which : {"1", "all"}) {
        if (run.absorb != 0 && which == "all") continue;  // the same absorbing times
        SCOPED_TRACE(stiff::Name(run) + " --fpt " + which);
        ScopedTempDir dir;
        const RunResult r = RunZolvane(stiff::FirstPassageArgs(run, which));
        ASSERT_EQ(0, r.status) << r.err;
        EXPECT_EQ(r.err.find("singular"), std::string::npos) << r.err;
        std::string where;
        EXPECT_LE(stiff::MaxRelativeError(stiff::PrintedNumbers(ReadFile("fpt.txt")),
                                          stiff::ReferenceTimes(run, which), where),
                  kBound)
            << where;
      }
    }
  }

  ScopedTempDir dir;
  WriteFile("rna.qorp", kRnaLike);
  const reference::Kinetics ref = reference::Kinetics::FromQorp("rna.qorp", 37.0);
  for (int target : {1, 2, 5}) {
    SCOPED_TRACE("rna.qorp --fpt " + std::to_string(target));
    const RunResult r = RunZolvane({"-m", "A", "--qorp", "rna.qorp", "--fpt",
                                    std::to_string(target), "--fptfile", "fpt.txt", "--t8", "1"});
    ASSERT_EQ(0, r.status) << r.err;
    std::string where;
    EXPECT_LE(stiff::MaxRelativeError(stiff::PrintedNumbers(ReadFile("fpt.txt")),
                                      ref.FirstPassageTo(target - 1), where),
              kBound)
        << where;
  }
}

// A hundred states, so that the eliminations run in several panels and the
// halves nest several levels deep: ten basins of ten states in a row, each
// joined to the next by one rate, 1e-4 to 1e-32 down the row.
TEST(StiffFirstPassage, ManyBasinsMatchTheReference) {
  ScopedTempDir dir;
  const size_t n = 100;
  std::vector<double> rates(n * n, 0.0);
  for (size_t i = 0; i < n; ++i) {
    for (size_t j = 0; j < n; ++j) {
      if (i != j && i / 10 == j / 10) rates[i * n + j] = 1.0 + static_cast<double>((i + j) % 3);
    }
  }
  for (size_t b = 0; b + 1 < 10; ++b) {
    const size_t from = 10 * b + 9, to = 10 * b + 10;
    rates[from * n + to] = rates[to * n + from] = std::pow(10.0, -4.0 * static_cast<double>(b + 1));
  }
  std::string text;
  for (size_t i = 0; i < n; ++i) {
    for (size_t j = 0; j < n; ++j) {
      char buf[40];
      snprintf(buf, sizeof buf, "%.17g ", rates[i * n + j]);
      text += buf;
    }
    text += '\n';
  }
  WriteFile("basins.rates", text);
  const reference::Kinetics ref = reference::Kinetics::FromRates("basins.rates");

  RunOptions opts;
  Calc calc(static_cast<int>(n), opts);
  const std::vector<double> u = Generator(rates, n, false);
  std::vector<double> all;
  ASSERT_TRUE(FirstPassageTimesAll({rates.data(), n, n, 1}, all));
  for (int target : {0, 37, 99}) {
    SCOPED_TRACE(target + 1);
    const std::vector<double> want = ref.FirstPassageTo(target);
    const auto to = MxFirstPassageTo(calc, u, target);
    ASSERT_TRUE(to.has_value());
    for (size_t i = 0; i < n; ++i) {
      EXPECT_LE(RelativeError((*to)[i], want[i]), kBound) << "from " << i + 1;
      EXPECT_LE(RelativeError(all[i * n + target], want[i]), kBound) << "from " << i + 1;
    }
  }
}

}  // namespace
