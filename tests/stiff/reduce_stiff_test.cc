// The quasi-stationary reduction (-n) of stiff landscapes keeps its slow
// rates: every reduced rate, however small next to the fast ones, within
// 1e-12 of the Schur complement computed with 2048-bit MPFR by Gaussian
// elimination, in every step mode and every arithmetic of --mlapack-method
// (each eliminates in its own scalar).
#include <gtest/gtest.h>
#include <mpfr.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "calc/backend/reduce.h"
#include "tests/stiff/stiff_fixture.h"
#include "tests/test_util.h"

namespace {

// Column j = rates out of j (the reduction's convention), from a rates file
// whose line i lists the rates from i; the diagonal is left 0.
std::vector<double> ReadColumns(const std::string& path, int& n) {
  const std::vector<double> v = ParseNumbers(ReadFile(path));
  n = static_cast<int>(std::lround(std::sqrt(static_cast<double>(v.size()))));
  std::vector<double> m(v.size(), 0.0);
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j) {
      if (i != j) m[j * n + i] = v[i * n + j];
    }
  }
  return m;
}

// M_gg - M_gb * M_bb^-1 * M_bg of the generator with diagonal -(column sum),
// the first m states kept, by Gauss-Jordan elimination with partial pivoting
// at 2048 bits, then rounded to doubles.
std::vector<double> SchurInMpfr(const std::vector<double>& rates, int n, int m) {
  const mpfr_prec_t prec = 2048;
  std::vector<__mpfr_struct> a(static_cast<size_t>(n) * n);
  for (__mpfr_struct& x : a) mpfr_init2(&x, prec);
  auto at = [&](int i, int j) { return &a[static_cast<size_t>(i) * n + j]; };
  for (int j = 0; j < n; ++j) {
    mpfr_set_zero(at(j, j), 1);
    for (int i = 0; i < n; ++i) {
      if (i == j) continue;
      mpfr_set_d(at(i, j), rates[i * n + j], MPFR_RNDN);
      mpfr_sub(at(j, j), at(j, j), at(i, j), MPFR_RNDN);
    }
  }
  // Gauss-Jordan on the rows m..n-1 over the columns m..n-1 turns M_bg (the
  // columns 0..m-1 of those rows) into M_bb^-1 M_bg.
  mpfr_t f;
  mpfr_init2(f, prec);
  for (int c = m; c < n; ++c) {
    int p = c;
    for (int r = c + 1; r < n; ++r) {
      if (mpfr_cmpabs(at(r, c), at(p, c)) > 0) p = r;
    }
    for (int j = 0; j < n; ++j) mpfr_swap(at(c, j), at(p, j));
    for (int r = m; r < n; ++r) {
      if (r == c) continue;
      mpfr_div(f, at(r, c), at(c, c), MPFR_RNDN);
      for (int j = 0; j < n; ++j) {
        if (j == c) continue;
        mpfr_fms(at(r, j), f, at(c, j), at(r, j), MPFR_RNDN);
        mpfr_neg(at(r, j), at(r, j), MPFR_RNDN);
      }
      mpfr_set_zero(at(r, c), 1);
    }
  }
  std::vector<double> out(static_cast<size_t>(m) * m);
  for (int i = 0; i < m; ++i) {
    for (int j = 0; j < m; ++j) {
      mpfr_set(f, at(i, j), MPFR_RNDN);
      for (int r = m; r < n; ++r) {
        // Row r of the block now holds x_r / pivot_r of M_bb^-1 M_bg.
        mpfr_t t;
        mpfr_init2(t, prec);
        mpfr_div(t, at(r, j), at(r, r), MPFR_RNDN);
        mpfr_mul(t, t, at(i, r), MPFR_RNDN);
        mpfr_sub(f, f, t, MPFR_RNDN);
        mpfr_clear(t);
      }
      out[i * m + j] = mpfr_get_d(f, MPFR_RNDN);
    }
  }
  mpfr_clear(f);
  for (__mpfr_struct& x : a) mpfr_clear(&x);
  return out;
}

constexpr std::pair<Arithmetic, const char*> kArithmetics[] = {
    {Arithmetic::kDefault, "the default arithmetic"},
    {Arithmetic::kDouble, "DOUBLE"},
    {Arithmetic::kLongDouble, "LD"},
    {Arithmetic::kDoubleDouble, "DD"},
    {Arithmetic::kQuadDouble, "QD"},
    {Arithmetic::kFloat128, "FLOAT128"},
    {Arithmetic::kMpfr, "MPFR"},
    {Arithmetic::kGmp, "GMP"},
};

TEST(StiffReduction, KeepsTheSlowRatesOfEveryFixture) {
  for (const stiff::Fixture& f : stiff::AllFixtures()) {
    if (f.qorp || f.absorb != 0 || f.exponent < 18) continue;
    int n = 0;
    const std::vector<double> rates = ReadColumns(stiff::Path(f), n);
    for (int m : {1, 3, n / 2}) {
      const std::vector<double> want = SchurInMpfr(rates, n, m);
      for (const auto& [arithmetic, name] : kArithmetics) {
        for (int b : {1, 2, 1000000}) {
          SCOPED_TRACE(stiff::Name(f) + " -n " + std::to_string(m) + " by " + std::to_string(b) +
                       " in " + name);
          RunOptions opts;
          opts.quiet = 1;
          opts.mlapack_method = arithmetic;
          opts.mlapack_precision = 128;
          std::vector<double> got = rates;
          int reduced = 0;
          ASSERT_TRUE(MxReduce(opts, got, m, n, b, reduced).ok());
          ASSERT_EQ(m, reduced);
          double worst = 0.0;
          std::string where = "nowhere";
          for (int i = 0; i < m; ++i) {
            for (int j = 0; j < m; ++j) {
              const double w = want[i * m + j], g = got[i * m + j];
              const double err = w == 0.0 ? std::fabs(g) : std::fabs(g - w) / std::fabs(w);
              if (!(err <= worst)) {
                worst = err;
                char buf[120];
                snprintf(buf, sizeof buf, "(%d, %d): %.17g for %.17g", i + 1, j + 1, g, w);
                where = buf;
              }
            }
          }
          EXPECT_LE(worst, 1e-12) << where;
        }
      }
    }
  }
}

}  // namespace
