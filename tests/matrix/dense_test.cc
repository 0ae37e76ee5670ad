// Dense kernels: inverse pivots and status, aliasing products, and the Pade
// exponential against closed forms and an independent Taylor series.
#include "matrix/dense.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "matrix/lapack.h"
#include "tests/test_util.h"

namespace {

using Matrix = std::vector<double>;

Matrix NaiveProduct(const Matrix& a, const Matrix& b, int m, int n, int k) {
  Matrix c(static_cast<size_t>(m) * n, 0.0);
  for (int i = 0; i < m; ++i)
    for (int j = 0; j < n; ++j)
      for (int r = 0; r < k; ++r) c[i * n + j] += a[i * k + r] * b[r * n + j];
  return c;
}

Matrix Identity(int n) {
  Matrix m(static_cast<size_t>(n) * n, 0.0);
  for (int i = 0; i < n; ++i) m[i * n + i] = 1.0;
  return m;
}

Matrix Random(int rows, int cols, unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> dist(-1.0, 1.0);
  Matrix m(static_cast<size_t>(rows) * cols);
  for (double& v : m) v = dist(gen);
  return m;
}

double MaxAbsDiff(const Matrix& a, const Matrix& b) {
  double d = 0.0;
  for (size_t i = 0; i < a.size(); ++i) d = std::max(d, std::fabs(a[i] - b[i]));
  return d;
}

bool AnyNonFinite(const Matrix& m) {
  for (double v : m)
    if (!std::isfinite(v)) return true;
  return false;
}

TEST(MxInverse, SmallCasesStatusAndPivotRules) {
  struct Case {
    std::string name;
    int n;
    Matrix a;
    double feps;
    int status;
    Matrix inverse;  // checked only when status is 0
  };
  const Case cases[] = {
      {"1x1", 1, {4.0}, 1e-15, 0, {0.25}},
      {"diagonal", 3, {2, 0, 0, 0, -4, 0, 0, 0, 0.5}, 1e-15, 0, {0.5, 0, 0, 0, -0.25, 0, 0, 0, 2}},
      {"general 2x2", 2, {4, 7, 2, 6}, 1e-15, 0, {0.6, -0.7, -0.2, 0.4}},
      {"permutation inverts to its transpose",
       3,
       {0, 1, 0, 0, 0, 1, 1, 0, 0},
       1e-15,
       0,
       {0, 0, 1, 1, 0, 0, 0, 1, 0}},
      // Each pivot is compared with the pivots before it and itself only.
      {"small pivot first passes", 2, {1e-20, 0, 0, 1}, 1e-15, 0, {1e20, 0, 0, 1}},
      {"small pivot after a large one fails", 2, {1, 0, 0, 1e-20}, 1e-15, -1, {}},
      {"equal rows give a zero second pivot", 2, {1, 2, 1, 2}, 1e-15, -1, {}},
      // Row pivoting of A: pivots 1e-20, 1e-20. Pivoting the columns instead
      // (factoring A^T) would take 1 first and then fail on 1e-40.
      {"upper triangle keeps its row pivots",
       2,
       {1e-20, 1, 0, 1e-20},
       1e-15,
       0,
       {1e20, -1e40, 0, 1e20}},
      {"its transpose pivots and fails", 2, {1e-20, 0, 1, 1e-20}, 1e-15, -1, {}},
      // Rows 0 and 1 tie in column 0. Taking the upper row gives pivots 2, 3, 2
      // (the last below 0.7 * 3); taking the lower row would give 2, 2, 3.
      {"tie goes to the upper row", 3, {2, -2, 2, -2, 0, 0, -1, -2, -1}, 0.7, -1, {}},
      {"same matrix under a looser threshold",
       3,
       {2, -2, 2, -2, 0, 0, -1, -2, -1},
       0.6,
       0,
       {0, -0.5, 0, -1.0 / 6, 0, -1.0 / 3, 1.0 / 3, 0.5, -1.0 / 3}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Matrix a = c.a;
    EXPECT_EQ(c.status, MxInverse(a.data(), c.n, c.feps));
    if (c.status != 0) continue;
    for (size_t i = 0; i < a.size(); ++i) {
      EXPECT_NEAR(c.inverse[i], a[i], 1e-13 * (std::fabs(c.inverse[i]) + 1)) << "at " << i;
    }
  }
}

TEST(MxInverse, ZeroPivotThatPassesGivesNonFiniteEntries) {
  struct Case {
    std::string name;
    int n;
    Matrix a;
    double feps;
  };
  Matrix zero_column = Random(40, 40, 7);
  for (int i = 0; i < 40; ++i) zero_column[i * 40 + 3] = 0.0;
  const Case cases[] = {
      {"1x1 zero", 1, {0.0}, 1e-15},
      {"zero first pivot", 2, {0, 0, 0, 1}, 1e-15},
      // After a zero first pivot every later pivot is non-finite: a small
      // pivot further down must not turn the result into a failure.
      {"zero first pivot, then a small one", 3, {0, 1, 0, 0, 0, 1e-20, 0, 1, 1}, 1e-15},
      {"equal rows with feps 0", 2, {1, 2, 1, 2}, 0.0},
      {"zero column with feps 0", 40, zero_column, 0.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Matrix a = c.a;
    EXPECT_EQ(0, MxInverse(a.data(), c.n, c.feps));
    EXPECT_TRUE(AnyNonFinite(a));
  }
  Matrix a = zero_column;
  EXPECT_EQ(-1, MxInverse(a.data(), 40, 1e-15));
}

TEST(MxInverse, RandomMatricesAgainstNaiveProduct) {
  for (int n : {2, 5, 64, 300}) {
    SCOPED_TRACE(n);
    const Matrix a = Random(n, n, 100 + n);
    Matrix inv = a;
    ASSERT_EQ(0, MxInverse(inv.data(), n, 1e-15));
    EXPECT_LT(MaxAbsDiff(NaiveProduct(a, inv, n, n, n), Identity(n)), 1e-10);
    EXPECT_LT(MaxAbsDiff(NaiveProduct(inv, a, n, n, n), Identity(n)), 1e-10);
  }
}

TEST(MxInverse, NonFiniteInputGivesNonFiniteInverse) {
  Matrix a = {1, 2, NAN, 4};
  MxInverse(a.data(), 2, 1e-15);
  EXPECT_TRUE(AnyNonFinite(a));
}

TEST(MxGemm, RectangularAndEmptyInnerDimension) {
  const Matrix a = Random(4, 7, 3);
  const Matrix b = Random(7, 5, 4);
  Matrix c(4 * 5, 99.0);
  MxGemm(4, 5, 7, a.data(), b.data(), c.data());
  EXPECT_LT(MaxAbsDiff(NaiveProduct(a, b, 4, 5, 7), c), 1e-14);

  Matrix empty_inner(6, 99.0);
  MxGemm(2, 3, 0, nullptr, nullptr, empty_inner.data());
  EXPECT_EQ(Matrix(6, 0.0), empty_inner);
}

// exp(a) by Taylor series after scaling to a norm below 1/2, then squaring.
Matrix TaylorExp(const Matrix& a, int n) {
  double norm = 0.0;
  for (double v : a) norm = std::max(norm, std::fabs(v) * n);
  int s = 0;
  while (norm > 0.5) {
    norm /= 2;
    ++s;
  }
  Matrix scaled = a;
  for (double& v : scaled) v = std::ldexp(v, -s);
  Matrix sum = Identity(n), term = Identity(n);
  for (int k = 1; k < 30; ++k) {
    term = NaiveProduct(term, scaled, n, n, n);
    for (double& v : term) v /= k;
    for (size_t i = 0; i < sum.size(); ++i) sum[i] += term[i];
  }
  for (int i = 0; i < s; ++i) sum = NaiveProduct(sum, sum, n, n, n);
  return sum;
}

TEST(MxExponential, ClosedForms) {
  const double t = 20.0;  // largest entry 20: scaled by 2^2, squared twice
  const double a = 40.0, b = 20.0, e = std::exp(-(a + b));  // largest 40: 2^3
  struct Case {
    std::string name;
    int n;
    Matrix a;
    Matrix expected;
    double rel_tol;
  };
  const Case cases[] = {
      {"zero", 3, Matrix(9, 0.0), Identity(3), 1e-15},
      {"1x1", 1, {-2.5}, {std::exp(-2.5)}, 1e-14},
      {"diagonal with scaling",
       3,
       {-30, 0, 0, 0, 20, 0, 0, 0, 0.5},
       {std::exp(-30.0), 0, 0, 0, std::exp(20.0), 0, 0, 0, std::exp(0.5)},
       1e-12},
      {"rotation", 2, {0, t, -t, 0}, {std::cos(t), std::sin(t), -std::sin(t), std::cos(t)}, 1e-11},
      {"two-state generator",
       2,
       {-a, b, a, -b},
       {(b + a * e) / (a + b), (b - b * e) / (a + b), (a - a * e) / (a + b), (a + b * e) / (a + b)},
       1e-13},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Matrix out(c.a.size(), -1.0);
    ASSERT_TRUE(MxExponential(c.a.data(), out.data(), c.n, 30, 1e-15).ok());
    for (size_t i = 0; i < out.size(); ++i) {
      EXPECT_NEAR(c.expected[i], out[i], c.rel_tol * (std::fabs(c.expected[i]) + 1e-3))
          << "at " << i;
    }
  }
}

TEST(MxExponential, RandomGeneratorColumnsSumToOneAndMatchTaylor) {
  const int n = 30;
  Matrix g = Random(n, n, 11);
  for (double& v : g) v = std::fabs(v) * 10;  // rates up to 10: scaled path
  for (int j = 0; j < n; ++j) {
    double sum = 0.0;
    for (int i = 0; i < n; ++i)
      if (i != j) sum += g[i * n + j];
    g[j * n + j] = -sum;
  }
  const Matrix input = g;
  Matrix out(g.size());
  ASSERT_TRUE(MxExponential(g.data(), out.data(), n, 30, 1e-15).ok());
  EXPECT_EQ(input, g);
  for (int j = 0; j < n; ++j) {
    double sum = 0.0;
    for (int i = 0; i < n; ++i) sum += out[i * n + j];
    EXPECT_NEAR(1.0, sum, 1e-12) << "column " << j;
  }
  EXPECT_LT(MaxAbsDiff(TaylorExp(input, n), out), 1e-12);
}

}  // namespace

namespace {

TEST(MxTransposeInPlace, MatchesTheElementwiseTransposeAroundTileEdges) {
  // Orders below, at and across the tile size, and an odd one of several tiles.
  for (int n : {0, 1, 2, 31, 32, 33, 70, 97}) {
    SCOPED_TRACE(n);
    Matrix a = Random(n, n, 11 + n);
    Matrix t(a.size());
    for (int i = 0; i < n; ++i)
      for (int j = 0; j < n; ++j) t[j * n + i] = a[i * n + j];
    MxTransposeInPlace(a.data(), n);
    EXPECT_EQ(t, a);
  }
}

}  // namespace

namespace {

TEST(MxExponential, KeptWorkSpaceGivesTheSameBitsAsAFreshOne) {
  // One work space through orders that grow and shrink, and through a matrix
  // that needs squarings after one that does not.
  ExponentialWork work;
  int call = 0;
  for (int n : {6, 40, 6, 1, 40}) {
    for (double scale : {0.5, 50.0}) {
      SCOPED_TRACE(std::to_string(n) + " " + std::to_string(scale));
      Matrix a = Random(n, n, 100 + call++);
      for (double& v : a) v *= scale;
      Matrix fresh(a.size()), kept(a.size());
      ASSERT_TRUE(MxExponential(a.data(), fresh.data(), n, 30, 1e-15).ok());
      ASSERT_TRUE(MxExponential(a.data(), kept.data(), n, 30, 1e-15, work).ok());
      EXPECT_EQ(fresh, kept);
    }
  }
}

// LAPACK's complaint about an argument goes to standard error: the library's
// own went to standard output, into the population table.
TEST(LapackErrors, ComplaintsStayOffStandardOutput) {
  const int m = -1, n = 1, lda = 1;
  int ipiv = 0, info = 0;
  double a = 0.0;
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  dgetrf_(&m, &n, &a, &lda, &ipiv, &info);
  fflush(stdout);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(info, -1);
  EXPECT_NE(err.find("DGETRF"), std::string::npos) << err;
  EXPECT_NE(err.find("parameter number 1 "), std::string::npos) << err;
}

}  // namespace
