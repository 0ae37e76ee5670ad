// Quasi-stationary reduction: agreement with an independently solved Schur
// complement in block and single-state mode, and the exact progress lines.
#include "calc/backend/reduce.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "tests/test_util.h"

namespace {

using Matrix = std::vector<double>;

// Random rates (column j = rates out of j) with a garbage diagonal, which the
// reduction must ignore.
Matrix RandomRates(int n, unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> dist(0.0, 1.0);
  Matrix m(static_cast<size_t>(n) * n);
  for (double& v : m) v = dist(gen);
  for (int i = 0; i < n; ++i) m[i * n + i] = 1e3 * (i + 1);
  return m;
}

// M_gg - M_gb * M_bb^-1 * M_bg with the diagonal rebuilt from the columns,
// solving M_bb X = M_bg by Gaussian elimination with partial pivoting.
Matrix SchurReference(Matrix mat, int n, int m) {
  for (int j = 0; j < n; ++j) {
    double sum = 0.0;
    for (int i = 0; i < n; ++i)
      if (i != j) sum += mat[i * n + j];
    mat[j * n + j] = -sum;
  }
  const int k = n - m;
  // Augmented [M_bb | M_bg], k x (k + m).
  const int w = k + m;
  std::vector<double> aug(static_cast<size_t>(k) * w);
  for (int i = 0; i < k; ++i) {
    for (int j = 0; j < k; ++j) aug[i * w + j] = mat[(m + i) * n + m + j];
    for (int j = 0; j < m; ++j) aug[i * w + k + j] = mat[(m + i) * n + j];
  }
  for (int c = 0; c < k; ++c) {
    int p = c;
    for (int i = c + 1; i < k; ++i)
      if (std::fabs(aug[i * w + c]) > std::fabs(aug[p * w + c])) p = i;
    for (int j = 0; j < w; ++j) std::swap(aug[c * w + j], aug[p * w + j]);
    for (int i = 0; i < k; ++i) {
      if (i == c) continue;
      double f = aug[i * w + c] / aug[c * w + c];
      for (int j = c; j < w; ++j) aug[i * w + j] -= f * aug[c * w + j];
    }
  }
  Matrix out(static_cast<size_t>(m) * m);
  for (int i = 0; i < m; ++i) {
    for (int j = 0; j < m; ++j) {
      double s = 0.0;
      for (int r = 0; r < k; ++r) s += mat[i * n + m + r] * aug[r * w + k + j] / aug[r * w + r];
      out[i * m + j] = mat[i * n + j] - s;
    }
  }
  return out;
}

struct Reduced {
  int dim;
  Matrix mat;
  std::string err;
};

Reduced Reduce(Matrix mat, int n, int m, int b, bool quiet = false, bool verbose = false) {
  RunOptions opts;
  opts.quiet = quiet;
  opts.verbose = verbose;
  testing::internal::CaptureStderr();
  int dim = 0;
  const Status status = MxReduce(opts, mat, m, n, b, dim);
  EXPECT_TRUE(status.ok()) << status.message;
  return {dim, std::move(mat), testing::internal::GetCapturedStderr()};
}

// Rates that are not finite numbers, and states that lead nowhere, are
// refused with status 1 before any table is built from them.
TEST(MxReduce, RefusalsComeBackAsStatus) {
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    const char* name;
    Matrix mat;  // 3 x 3, column j = rates out of j
    int b;
    std::string message;
  };
  const Case cases[] = {
      {"a rate that is not a number",
       {0, 1, 1, 1, 0, std::nan(""), 1, 1, 0},
       1,
       "ERROR: quasi-stationary reduction: the rate from state 3 to state 2 is nan\n"},
      {"a rate beyond every double",
       {0, 1, 1, inf, 0, 1, 1, 1, 0},
       1000000,
       "ERROR: quasi-stationary reduction: the rate from state 1 to state 2 is inf\n"},
      {"a state with no way out, one at a time",
       {0, 1, 0, 1, 0, 0, 1, 1, 0},
       1,
       "ERROR: quasi-stationary reduction: state 3 cannot be eliminated (pivot 0)\n"},
      {"a state with no way out, in one block",
       {0, 1, 0, 1, 0, 0, 1, 1, 0},
       1000000,
       "ERROR: quasi-stationary reduction: the block of eliminated states is singular\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RunOptions opts;
    opts.quiet = 1;
    Matrix mat = c.mat;
    int dim = -1;
    const Status status = MxReduce(opts, mat, 1, 3, c.b, dim);
    EXPECT_EQ(kExitError, status.exit_status);
    EXPECT_EQ(c.message, status.message);
    EXPECT_EQ(3, dim);
  }
}

TEST(MxReduce, TargetNotBelowDimensionLeavesMatrixAlone) {
  const Matrix input = RandomRates(4, 1);
  for (int m : {4, 9, 2147483647}) {
    SCOPED_TRACE(m);
    Reduced r = Reduce(input, 4, m, 1000000);
    EXPECT_EQ(4, r.dim);
    EXPECT_EQ(input, r.mat);  // diagonal untouched too
    EXPECT_EQ("", r.err);
  }
}

TEST(MxReduce, MatchesIndependentSchurComplementInEveryMode) {
  struct Case {
    int n, m, b;
  };
  const Case cases[] = {
      {3, 2, 1},  {3, 2, 2},  {3, 2, 1000000}, {10, 5, 1},    {10, 5, 2},
      {10, 5, 3}, {10, 1, 4}, {300, 40, 1},    {300, 40, 77}, {300, 40, 1000000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("n=" + std::to_string(c.n) + " m=" + std::to_string(c.m) +
                 " b=" + std::to_string(c.b));
    const Matrix input = RandomRates(c.n, c.n);
    Reduced r = Reduce(input, c.n, c.m, c.b, /*quiet=*/true);
    ASSERT_EQ(c.m, r.dim);
    ExpectArrayNear(SchurReference(input, c.n, c.m), r.mat, 1e-10);
    for (int j = 0; j < c.m; ++j) {
      double sum = 0.0;
      for (int i = 0; i < c.m; ++i) sum += r.mat[i * c.m + j];
      EXPECT_NEAR(0.0, sum, 1e-10) << "column " << j;
    }
  }
}

// Panels and block products only regroup the sums of the plain step, which
// adds the rate of every path through the eliminated state l,
// a[i][l] * a[l][j] / r_l, with r_l the fresh sum of the rates out of l.
TEST(MxReduce, EveryModeAgreesWithThePlainStep) {
  const int n = 131, m = 3;  // several panels and a partial one
  const Matrix input = RandomRates(n, 17);
  Matrix plain = input;
  for (int c = n; c > m; --c) {
    const int l = c - 1;
    double r = 0.0;
    for (int i = 0; i < l; ++i) r += plain[i * n + l];
    for (int i = 0; i < l; ++i)
      for (int j = 0; j < l; ++j)
        if (i != j) plain[i * n + j] += plain[i * n + l] * plain[l * n + j] / r;
  }
  Matrix expected(m * m, 0.0);
  for (int j = 0; j < m; ++j) {
    double out = 0.0;
    for (int i = 0; i < m; ++i) {
      if (i == j) continue;
      expected[i * m + j] = plain[i * n + j];
      out += plain[i * n + j];
    }
    expected[j * m + j] = -out;
  }
  for (int b : {1, 7, 1000000}) {
    SCOPED_TRACE(b);
    const Matrix got = Reduce(input, n, m, b, /*quiet=*/true).mat;
    ASSERT_EQ(expected.size(), got.size());
    for (size_t k = 0; k < got.size(); ++k) {
      EXPECT_NEAR(expected[k], got[k], 1e-13 * std::fabs(expected[k])) << k;
    }
  }
}

TEST(MxReduce, InputDiagonalIsIgnored) {
  Matrix a = RandomRates(6, 3);
  Matrix b = a;
  for (int i = 0; i < 6; ++i) b[i * 6 + i] = -7.0 * i;
  for (int limit : {1, 2}) {
    SCOPED_TRACE(limit);
    EXPECT_EQ(Reduce(a, 6, 3, limit).mat, Reduce(b, 6, 3, limit).mat);
  }
}

TEST(MxReduce, ProgressLines) {
  struct Case {
    std::string name;
    int n, m, b;
    bool quiet;
    std::string err;
  };
  const Case cases[] = {
      {"blocks of 2", 10, 5, 2, false, "decreasing 10 to 5\n8 done...\n6 done...\n"},
      {"one at a time", 250, 50, 1, false, "decreasing 250 to 50\n200 done...\n100 done...\n"},
      {"one step ending on a hundred", 201, 200, 1, false, "decreasing 201 to 200\n200 done...\n"},
      {"single block", 10, 5, 1000000, false, "decreasing 10 to 5\n"},
      {"limit below 1 works as 1", 101, 99, 0, false, "decreasing 101 to 99\n100 done...\n"},
      {"quiet blocks", 10, 5, 2, true, ""},
      {"quiet one at a time", 250, 50, 1, true, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Reduced r = Reduce(RandomRates(c.n, 5), c.n, c.m, c.b, c.quiet);
    EXPECT_EQ(c.m, r.dim);
    EXPECT_EQ(c.err, r.err);
  }
}

TEST(MxReduce, VerbosePrintsOneBracedProductPerBlock) {
  auto count = [](const std::string& s, const std::string& what) {
    int k = 0;
    for (size_t p = s.find(what); p != std::string::npos; p = s.find(what, p + 1)) ++k;
    return k;
  };
  const Matrix input = RandomRates(10, 9);
  Reduced blocks = Reduce(input, 10, 5, 2, /*quiet=*/true, /*verbose=*/true);
  EXPECT_EQ(3, count(blocks.err, "gb*bb-1*bg:{\n"));
  // The last block (6 -> 5) prints a 5 x 5 product.
  EXPECT_EQ(5 * 5 - 1, count(blocks.err.substr(blocks.err.rfind("gb*bb-1*bg")), ","));
  EXPECT_EQ("", Reduce(input, 10, 5, 1, true, true).err);
}

}  // namespace
