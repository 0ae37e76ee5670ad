// The factorised double solver against the multiple-precision reference on
// stiff landscapes (rates spanning 1e6 to 1e36), a flat and a deep landscape,
// and its statuses on input it must refuse or handle at the edges of the
// double range.
#include "spectral/reversible_spectrum.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "tests/reference/reference_kinetics.h"
#include "tests/test_util.h"

namespace {

// U row-major (U[i * n + j] = rate j -> i) from a rates file whose line i
// lists the rates i -> 1..n.
std::vector<double> ReadRates(const std::string& path, int& n) {
  std::istringstream in(ReadFile(path));
  std::vector<std::vector<double>> lines;
  for (std::string line; std::getline(in, line);) {
    std::istringstream words(line);
    std::vector<double> row;
    for (std::string w; words >> w;) row.push_back(strtod(w.c_str(), nullptr));
    if (!row.empty()) lines.push_back(row);
  }
  n = static_cast<int>(lines.size());
  std::vector<double> u(static_cast<size_t>(n) * n, 0.0);
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j) {
      if (i != j) u[j * n + i] = lines[i][j];
    }
  }
  return u;
}

// The rates file of U, for the reference.
std::string RatesText(const std::vector<double>& u, int n) {
  std::string text;
  char buf[40];
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j) {
      snprintf(buf, sizeof buf, "%.17g ", i == j ? 0.0 : u[j * n + i]);
      text += buf;
    }
    text += "\n";
  }
  return text;
}

// p(t) = P^1/2 V exp(Lambda t) V^T P^-1/2 p0 for p0 = e_start, in double as
// the time evolution does it.
std::vector<std::vector<double>> Populations(const ReversibleSpectrum& s, int start,
                                             const std::vector<double>& times) {
  const int n = static_cast<int>(s.evals.size());
  std::vector<double> coef(n);
  for (int k = 0; k < n; ++k) coef[k] = s.evecs[start * n + k] / std::sqrt(s.p8[start]);
  std::vector<std::vector<double>> result;
  for (double t : times) {
    std::vector<double> p(n);
    for (int i = 0; i < n; ++i) {
      double sum = 0.0;
      for (int k = 0; k < n; ++k) sum += s.evecs[i * n + k] * coef[k] * std::exp(s.evals[k] * t);
      p[i] = std::sqrt(s.p8[i]) * sum;
    }
    result.push_back(p);
  }
  return result;
}

struct Errors {
  double eigenvalue = 0.0;  // relative
  double p8 = 0.0;          // relative
  double population = 0.0;  // absolute
};

// Worst errors of the solver against the reference, populations started in
// the most and (unless `from_top` is false) in the least populated state, on
// a time axis from well before the fastest to well after the slowest
// relaxation.
Errors Compare(const ReversibleSpectrum& s, const reference::Kinetics& ref, bool from_top = true) {
  Errors e;
  const int n = ref.states();
  const std::vector<double> lambda = ref.Eigenvalues();
  for (int k = 1; k < n; ++k) {
    e.eigenvalue = std::max(e.eigenvalue, std::fabs(s.evals[k] - lambda[k]) / std::fabs(lambda[k]));
  }
  const std::vector<double> p8 = ref.Equilibrium();
  for (int i = 0; i < n; ++i) e.p8 = std::max(e.p8, std::fabs(s.p8[i] - p8[i]) / p8[i]);
  std::vector<double> times;
  const double fast = std::log10(-1.0 / lambda[n - 1]), slow = std::log10(-1.0 / lambda[1]);
  for (double x = fast - 2.0; x <= slow + 2.0; x += (slow - fast + 4.0) / 23.0) {
    times.push_back(std::pow(10.0, x));
  }
  const int lowest = static_cast<int>(std::max_element(p8.begin(), p8.end()) - p8.begin());
  const int highest = static_cast<int>(std::min_element(p8.begin(), p8.end()) - p8.begin());
  std::vector<int> starts = {lowest};
  if (from_top) starts.push_back(highest);
  for (int start : starts) {
    std::vector<double> p0(n, 0.0);
    p0[start] = 1.0;
    const auto want = ref.Populations(p0, times);
    const auto got = Populations(s, start, times);
    for (size_t t = 0; t < times.size(); ++t) {
      for (int i = 0; i < n; ++i) {
        e.population = std::max(e.population, std::fabs(got[t][i] - want[t][i]));
      }
    }
  }
  return e;
}

std::string FixturePath(const std::string& name) {
  return SourcePath("tests/stiff/fixtures/" + name + ".rates");
}

std::vector<std::string> StiffFixtures() {
  std::vector<std::string> names;
  for (const char* kind : {"funnel", "cascade"}) {
    for (int r = 6; r <= 36; r += 6) names.push_back(std::string(kind) + "_1e" + std::to_string(r));
  }
  names.push_back("funnel30_1e30");
  names.push_back("funnel30_1e36");
  return names;
}

// Panel widths small enough to make several panels (and their products) of
// the factorisation and several column blocks of the Jacobi on n = 8..30.
struct Blocking {
  int gth;
  int jacobi;
};
constexpr Blocking kBlockings[] = {{64, 32}, {1, 1}, {3, 4}, {7, 5}};

TEST(ReversibleSpectrum, StiffFixturesMatchTheReference) {
  for (const std::string& name : StiffFixtures()) {
    const reference::Kinetics ref = reference::Kinetics::FromRates(FixturePath(name));
    for (const Blocking& b : kBlockings) {
      SCOPED_TRACE(name + " blocks " + std::to_string(b.gth) + "/" + std::to_string(b.jacobi));
      int n = 0;
      std::vector<double> u = ReadRates(FixturePath(name), n);
      SpectrumOptions options;
      options.gth_block = b.gth;
      options.jacobi.block = b.jacobi;
      ReversibleSpectrum s;
      ASSERT_EQ(SpectrumStatus::kOk, ComputeReversibleSpectrum(n, u, s, options));
      EXPECT_EQ(0.0, s.evals[0]);
      EXPECT_LE(s.sweeps, 12);
      const Errors e = Compare(s, ref);
      EXPECT_LE(e.eigenvalue, 1e-12);
      EXPECT_LE(e.p8, 1e-13);
      EXPECT_LE(e.population, 1e-12);
    }
  }
}

// Two landscapes that a stiffness ratio does not describe: all barriers
// equal (one eigenvalue of multiplicity n - 1), and a deep funnel whose
// equilibrium spans 1e24 and more while every relaxation rate stays between
// 2 and 40. Its eigenvectors are spread over all states, so populations
// started at the top, sqrt(p_i / p_j) sum_k v_ik v_jk exp(lambda_k t), sum
// terms up to sqrt(p_i / p_j) ~ 1e14 times larger than their result: no
// double eigen-decomposition, however exact, gives those to better than
// ~1e-2. From the bottom, and in eigenvalues and p8, it must be exact.
std::vector<double> FlatLandscape(int n) {
  std::vector<double> u(static_cast<size_t>(n) * n, 0.0);
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j) {
      if (i != j) u[i * n + j] = 0.5;
    }
  }
  return u;
}

std::vector<double> DeepFunnel(int n) {
  std::mt19937 rng(11);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  std::vector<double> u(static_cast<size_t>(n) * n, 0.0);
  for (int i = 1; i < n; ++i) {
    // Downhill i -> i-1 fast, uphill slower by a drop of 6 to 8 per step.
    const double down = 15.0 * (1.0 + 0.2 * unit(rng));
    const double drop = 6.0 + 2.0 * unit(rng);
    u[(i - 1) * n + i] = down;
    u[i * n + i - 1] = down / drop;
  }
  return u;
}

TEST(ReversibleSpectrum, FlatAndDeepLandscapesMatchTheReference) {
  struct Case {
    const char* name;
    int n;
    std::vector<double> u;
    bool from_top;
  };
  const Case cases[] = {{"flat", 12, FlatLandscape(12), true}, {"deep", 36, DeepFunnel(36), false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScopedTempDir dir;
    WriteFile("landscape.rates", RatesText(c.u, c.n));
    const reference::Kinetics ref = reference::Kinetics::FromRates(dir.path() + "/landscape.rates");
    if (std::string(c.name) == "deep") {
      const std::vector<double> p8 = ref.Equilibrium();
      const std::vector<double> lambda = ref.Eigenvalues();
      ASSERT_GE(*std::max_element(p8.begin(), p8.end()) / *std::min_element(p8.begin(), p8.end()),
                1e24);
      ASSERT_GE(-lambda[1], 2.0);
      ASSERT_LE(-lambda.back(), 40.0);
    }
    std::vector<double> u = c.u;
    ReversibleSpectrum s;
    ASSERT_EQ(SpectrumStatus::kOk, ComputeReversibleSpectrum(c.n, u, s));
    const Errors e = Compare(s, ref, c.from_top);
    EXPECT_LE(e.eigenvalue, 1e-12);
    EXPECT_LE(e.p8, 1e-13);
    EXPECT_LE(e.population, 1e-12);
  }
}

// Why the Jacobi stops at the rounding level of each product and not of the
// columns' norms: on a stiff funnel the norm-wise test stops with the
// eigenvalues right but the small components of the eigenvectors, which the
// populations multiply by sqrt(p_i / p_j), visibly off.
TEST(ReversibleSpectrum, OnlyTheComponentwiseStopKeepsThePopulations) {
  const std::string name = "funnel30_1e36";
  const reference::Kinetics ref = reference::Kinetics::FromRates(FixturePath(name));
  Errors by_stop[2];
  for (JacobiStop stop : {JacobiStop::kComponentwise, JacobiStop::kNormwise}) {
    int n = 0;
    std::vector<double> u = ReadRates(FixturePath(name), n);
    SpectrumOptions options;
    options.jacobi.stop = stop;
    ReversibleSpectrum s;
    ASSERT_EQ(SpectrumStatus::kOk, ComputeReversibleSpectrum(n, u, s, options));
    by_stop[stop == JacobiStop::kNormwise] = Compare(s, ref);
  }
  EXPECT_LE(by_stop[0].population, 1e-12);
  EXPECT_LE(by_stop[1].eigenvalue, 1e-12);
  EXPECT_GE(by_stop[1].population, 1e-6);
}

// p(t) = sum_k c_k exp(lambda_k t) v_k from the absorbing solver, with the
// coefficients its weights promise: c_0 = sum p0, c_k = <v_k, p0> / <v_k, v_k>
// in the product weighted by 1 / p over the transient states.
std::vector<std::vector<double>> Populations(const AbsorbingSpectrum& s,
                                             const std::vector<double>& p0,
                                             const std::vector<double>& times) {
  const int n = static_cast<int>(s.evals.size());
  std::vector<double> coef(n, 0.0);
  for (int i = 0; i < n; ++i) coef[0] += p0[i];
  for (int k = 1; k < n; ++k) {
    double along = 0.0, norm = 0.0;
    for (int i = 0; i + 1 < n; ++i) {
      const double w = s.evecs[i * n + k] / std::sqrt(s.weights[i]);
      along += w * p0[i] / std::sqrt(s.weights[i]);
      norm += w * w;
    }
    coef[k] = along / norm;
  }
  std::vector<std::vector<double>> result;
  for (double t : times) {
    std::vector<double> p(n, 0.0);
    for (int i = 0; i < n; ++i) {
      for (int k = 0; k < n; ++k) p[i] += s.evecs[i * n + k] * coef[k] * std::exp(s.evals[k] * t);
    }
    result.push_back(p);
  }
  return result;
}

// An absorbing state behind a stiff landscape: the leak from the most or the
// least populated minimum, slow or fast against the landscape's rates.
// Eigenvalues of the transient block and populations (the absorbing state's
// included) against the reference, started at the bottom and at the top.
TEST(AbsorbingSpectrum, StiffFixturesWithALeakMatchTheReference) {
  for (const std::string name : {"funnel_1e18", "cascade_1e24", "funnel30_1e36"}) {
    const reference::Kinetics landscape = reference::Kinetics::FromRates(FixturePath(name));
    const std::vector<double> p8 = landscape.Equilibrium();
    const int lowest = static_cast<int>(std::max_element(p8.begin(), p8.end()) - p8.begin());
    const int highest = static_cast<int>(std::min_element(p8.begin(), p8.end()) - p8.begin());
    for (int leaking : {lowest, highest}) {
      for (double rate : {1.0, 1e-30}) {
        const reference::Kinetics ref = landscape.WithAbsorbingState(leaking, rate);
        const int n = ref.states();
        const std::vector<double> lambda = ref.Eigenvalues();
        std::vector<double> times;
        const double fast = std::log10(-1.0 / lambda.back()), slow = std::log10(-1.0 / lambda[0]);
        for (double x = fast - 2.0; x <= slow + 2.0; x += (slow - fast + 4.0) / 23.0) {
          times.push_back(std::pow(10.0, x));
        }
        for (const Blocking& b : {kBlockings[0], kBlockings[2]}) {
          SCOPED_TRACE(name + " leak from " + std::to_string(leaking) + " at " +
                       std::to_string(rate) + " blocks " + std::to_string(b.gth));
          int m = 0;
          const std::vector<double> rates = ReadRates(FixturePath(name), m);
          std::vector<double> u(static_cast<size_t>(n) * n, 0.0);
          for (int i = 0; i < m; ++i) {
            std::copy(rates.begin() + i * m, rates.begin() + (i + 1) * m, u.begin() + i * n);
          }
          u[(n - 1) * n + leaking] = rate;
          SpectrumOptions options;
          options.gth_block = b.gth;
          options.jacobi.block = b.jacobi;
          AbsorbingSpectrum s;
          ASSERT_EQ(SpectrumStatus::kOk, ComputeAbsorbingSpectrum(n, u, s, nullptr, options));
          EXPECT_EQ(0.0, s.evals[0]);
          double eigenvalue = 0.0;
          for (int k = 1; k < n; ++k) {
            eigenvalue =
                std::max(eigenvalue, std::fabs(s.evals[k] - lambda[k - 1]) / -lambda[k - 1]);
          }
          EXPECT_LE(eigenvalue, 1e-12);
          double population = 0.0;
          for (int start : {lowest, highest}) {
            std::vector<double> p0(n, 0.0);
            p0[start] = 1.0;
            const auto want = ref.Populations(p0, times);
            const auto got = Populations(s, p0, times);
            for (size_t t = 0; t < times.size(); ++t) {
              for (int i = 0; i < n; ++i) {
                population = std::max(population, std::fabs(got[t][i] - want[t][i]));
              }
            }
          }
          EXPECT_LE(population, 1e-12);
        }
      }
    }
  }
}

// What the absorbing solver refuses: a caller's test of the weights that
// fails (before any Jacobi work), a chain that never reaches the sink, and
// transient states in two pieces, whose weights have no common scale.
TEST(AbsorbingSpectrum, StatusesOnInputItCannotSolve) {
  struct Case {
    const char* name;
    int n;
    std::vector<double> u;  // column j: the rates out of j; the last state absorbs
    bool accept;
    SpectrumStatus status;
  };
  const Case cases[] = {
      {"weights refused", 3, {0, 1, 0, 2, 0, 0, 0, 1, 0}, false, SpectrumStatus::kRejected},
      {"no leak", 3, {0, 1, 0, 2, 0, 0, 0, 0, 0}, true, SpectrumStatus::kReducible},
      {"two pieces", 3, {0, 0, 0, 0, 0, 0, 1, 1, 0}, true, SpectrumStatus::kReducible},
      {"one state", 1, {0}, true, SpectrumStatus::kReducible},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<double> u = c.u;
    AbsorbingSpectrum s;
    EXPECT_EQ(c.status, ComputeAbsorbingSpectrum(
                            c.n, u, s, [&c](const std::vector<double>&) { return c.accept; }));
  }
}

TEST(ReversibleSpectrum, StatusesOnInputItCannotSolve) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    const char* name;
    int n;
    std::vector<double> u;
    SpectrumStatus status;
  };
  // Column j: the rates out of j.
  const Case cases[] = {
      {"two blocks",
       4,
       {0, 1, 0, 0, 2, 0, 0, 0, 0, 0, 0, 3, 0, 0, 4, 0},
       SpectrumStatus::kReducible},
      {"no rates at all", 3, std::vector<double>(9, 0.0), SpectrumStatus::kReducible},
      {"NaN rate", 3, {0, 1, 1, 1, 0, nan, 1, 1, 0}, SpectrumStatus::kNotFinite},
      {"infinite rate", 3, {0, 1, 1, 1, 0, 1, inf, 1, 0}, SpectrumStatus::kNotFinite},
      {"negative rate", 3, {0, 1, 1, -1, 0, 1, 1, 1, 0}, SpectrumStatus::kNotFinite},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<double> u = c.u;
    ReversibleSpectrum s;
    EXPECT_EQ(c.status, ComputeReversibleSpectrum(c.n, u, s));
  }
}

TEST(ReversibleSpectrum, OneState) {
  std::vector<double> u = {-7.0};
  ReversibleSpectrum s;
  ASSERT_EQ(SpectrumStatus::kOk, ComputeReversibleSpectrum(1, u, s));
  EXPECT_EQ(std::vector<double>{0.0}, s.evals);
  EXPECT_EQ(std::vector<double>{1.0}, s.evecs);
  EXPECT_EQ(std::vector<double>{1.0}, s.p8);
}

// Two states in closed form: p8 = (b, a) / (a + b), lambda = -(a + b), the
// second eigenvector orthogonal to sqrt(p8); at ordinary rates and at both
// ends of the double range, where products of rates would overflow or
// underflow without the scaling; the diagonal holds anything.
TEST(ReversibleSpectrum, TwoStatesInClosedForm) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (double unit : {1.0, 1e-300, 1e300}) {
    SCOPED_TRACE(unit);
    const double a = 3.0 * unit, b = 1.0 * unit;  // a: 0 -> 1, b: 1 -> 0
    std::vector<double> u = {nan, b, a, 1.0};
    ReversibleSpectrum s;
    ASSERT_EQ(SpectrumStatus::kOk, ComputeReversibleSpectrum(2, u, s));
    EXPECT_EQ(0.0, s.evals[0]);
    EXPECT_NEAR(-(a + b), s.evals[1], 4e-16 * (a + b));
    EXPECT_NEAR(0.25, s.p8[0], 2e-16);
    EXPECT_NEAR(0.75, s.p8[1], 2e-16);
    EXPECT_NEAR(0.5, s.evecs[0], 2e-16);
    EXPECT_NEAR(std::sqrt(0.75), s.evecs[2], 2e-16);
    EXPECT_NEAR(std::sqrt(0.75), std::fabs(s.evecs[1]), 2e-16);
    EXPECT_NEAR(0.5, std::fabs(s.evecs[3]), 2e-16);
    EXPECT_LT(s.evecs[1] * s.evecs[3], 0.0);
  }
}

// Rates without detailed balance: no symmetric S, but the result is still
// defined, and p8 is the chain's equilibrium (U p8 = 0 to rounding).
TEST(ReversibleSpectrum, IrreversibleRatesGiveTheEquilibrium) {
  const int n = 5;
  std::mt19937 rng(3);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  std::vector<double> u(n * n);
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j) u[i * n + j] = i == j ? 0.0 : std::pow(10.0, 8.0 * unit(rng));
  }
  std::vector<double> work = u;
  ReversibleSpectrum s;
  ASSERT_EQ(SpectrumStatus::kOk, ComputeReversibleSpectrum(n, work, s));
  for (int i = 0; i < n; ++i) {
    double in = 0.0, out = 0.0;
    for (int j = 0; j < n; ++j) {
      if (j == i) continue;
      in += u[i * n + j] * s.p8[j];
      out += u[j * n + i] * s.p8[i];
    }
    EXPECT_NEAR(in, out, 1e-14 * out) << "state " << i;
  }
  for (double x : s.evals) EXPECT_TRUE(std::isfinite(x));
  for (double x : s.evecs) EXPECT_TRUE(std::isfinite(x));
}

}  // namespace
