// Transition matrix: Arrhenius rates over the tree of minima, the saddle
// search, given rate matrices, the absorbing state, the diagonal and --dumpU.
#include "calc/model/transition_matrix.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "calc/model/calc.h"
#include "calc/model/matrix_files.h"
#include "tests/test_util.h"

namespace {

const double kT37 = (37.0 + 273.15) * 0.00198717;

QorpRecord Minimum(int index, int father, double energy, double height, double free_energy = 0.0) {
  QorpRecord r;
  r.index = index;
  r.father = father;
  r.energy = energy;
  r.saddle_height = height;
  r.free_energy = free_energy;
  return r;
}

double At(const std::vector<double>& m, int n, int i, int j) { return m[i * n + j]; }

// U of a stage that must go through.
std::vector<double> BuildU(Calc& calc, const std::vector<QorpRecord>* records,
                           std::vector<double>&& rates) {
  std::vector<double> U;
  const Status status = MxQorp2Matrix(calc, records, std::move(rates), U);
  EXPECT_TRUE(status.ok()) << status.message;
  return U;
}

std::vector<double> MethodA(Calc& calc, const std::vector<QorpRecord>& records) {
  std::vector<double> U;
  const Status status = MxMethodA(calc, records, U);
  EXPECT_TRUE(status.ok()) << status.message;
  return U;
}

void ExpectColumnSums(const std::vector<double>& U, int n, double want) {
  for (int j = 0; j < n; ++j) {
    double sum = 0;
    for (int i = 0; i < n; ++i) sum += At(U, n, i, j);
    EXPECT_NEAR(want, sum, 1e-12) << "column " << j;
  }
}

// The recursive definition of the saddle between minima a != b (0-based),
// the oracle for method A's one-pass search: climb one of the two minima
// towards its father until they meet, and take the highest join on the way.
// The folding order reproduces the nesting max(s1, max(s2, ... sk)) exactly.
double FindSaddle(int a, int b, const std::vector<QorpRecord>& records) {
  const int size = static_cast<int>(records.size());
  std::vector<double> joins;
  for (;;) {
    EXPECT_TRUE(a >= 0 && a < size && b >= 0 && b < size) << "the tree leaves the records";
    if (a < 0 || a >= size || b < 0 || b >= size) return NAN;
    const bool climb_a = records[a].index > records[b].father;
    const QorpRecord& A = records[climb_a ? a : b];
    const QorpRecord& B = records[climb_a ? b : a];
    joins.push_back(A.energy + A.saddle_height);
    if (A.father == B.index) break;
    EXPECT_LE(static_cast<int>(joins.size()), size) << "the tree has a cycle";
    if (static_cast<int>(joins.size()) > size) return NAN;
    a = A.father - 1;
    b = B.index - 1;
  }
  double result = joins.back();
  for (int k = static_cast<int>(joins.size()) - 2; k >= 0; --k) {
    result = joins[k] > result ? joins[k] : result;
  }
  return result;
}

// A random tree of minima: minimum k >= 2 merges into one of 1..k-1.
std::vector<QorpRecord> RandomTree(int n, unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> energy(-20.0, -1.0);
  std::uniform_real_distribution<double> height(0.1, 8.0);
  std::vector<QorpRecord> records;
  for (int k = 1; k <= n; ++k) {
    const int father = k == 1 ? 0 : std::uniform_int_distribution<int>(1, k - 1)(gen);
    records.push_back(Minimum(k, father, energy(gen), height(gen)));
  }
  return records;
}

TEST(MethodA, SmallLandscapes) {
  struct Case {
    const char* name;
    int useplusI;
    std::vector<QorpRecord> records;
    std::vector<double> want;  // row-major, diagonal included
  };
  const double r01 = std::exp(-2.0 / kT37);            // 1 -> 0 over join(1) = -7
  const double r10 = std::exp(-(-7.0 + 10.0) / kT37);  // 0 -> 1
  const Case cases[] = {
      {"one minimum", 0, {Minimum(1, 0, -5, 0)}, {0.0}},
      {"one minimum with plus I", 1, {Minimum(1, 0, -5, 0)}, {1.0}},
      {"two minima", 0, {Minimum(1, 0, -10, 0), Minimum(2, 1, -9, 2)}, {-r10, r01, r10, -r01}},
      {"two minima with plus I",
       1,
       {Minimum(1, 0, -10, 0), Minimum(2, 1, -9, 2)},
       {1 - r10, r01, r10, 1 - r01}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RunOptions opts;
    opts.method = 'A';
    opts.useplusI = c.useplusI;
    Calc calc(static_cast<int>(c.records.size()), opts);
    std::vector<double> U = BuildU(calc, &c.records, {});
    ExpectArrayNear(c.want, U, 1e-15);
    ExpectColumnSums(U, calc.dim(), c.useplusI ? 1.0 : 0.0);
  }
}

// The highest join on the tree path, by hand: tree 1 <- 2, 1 <- 3 <- 4 <- 5.
TEST(FindSaddle, HighestJoinOnThePath) {
  const std::vector<QorpRecord> records = {
      Minimum(1, 0, -10, 0), Minimum(2, 1, -8, 3),  // join -5
      Minimum(3, 1, -9, 5),                         // join -4
      Minimum(4, 3, -7, 1),                         // join -6
      Minimum(5, 4, -6, 4),                         // join -2
  };
  struct Case {
    int a, b;  // 0-based
    double want;
  };
  const Case cases[] = {
      {0, 1, -5}, {1, 0, -5}, {1, 2, -4}, {1, 3, -4}, {3, 2, -6},
      {0, 3, -4}, {4, 0, -2}, {1, 4, -2}, {3, 4, -2},
  };
  RunOptions opts;
  Calc calc(5, opts);
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.a << " - " << c.b);
    EXPECT_EQ(c.want, FindSaddle(c.a, c.b, records));
  }
}

// The one-pass saddle search must give exactly the recursive definition.
TEST(MethodA, MatchesFindSaddleOnRandomTrees) {
  for (unsigned seed : {1u, 2u, 3u}) {
    SCOPED_TRACE(seed);
    const int n = 80;
    const std::vector<QorpRecord> records = RandomTree(n, seed);
    RunOptions opts;
    Calc calc(n, opts);
    const std::vector<double> U = MethodA(calc, records);
    for (int i = 0; i < n; ++i) {
      for (int j = 0; j < n; ++j) {
        if (i == j) continue;
        const double s = FindSaddle(i, j, records);
        ASSERT_EQ(std::exp(-(s - records[j].energy) / calc.kT), At(U, n, i, j)) << i << ", " << j;
      }
    }
  }
}

TEST(MethodA, AbsorbingState) {
  const std::vector<QorpRecord> records = {Minimum(1, 0, -10, 0), Minimum(2, 1, -9, 2),
                                           Minimum(3, 1, -8, 1)};
  RunOptions opts;
  opts.method = 'A';
  opts.quiet = 1;  // the two messages are printed anyway
  opts.absorb = 2;
  Calc calc(3, opts);
  testing::internal::CaptureStderr();
  const std::vector<double> U = BuildU(calc, &records, {});
  EXPECT_EQ("dim increased to 4\nnew absorbing lmin is: 4\n",
            testing::internal::GetCapturedStderr());
  EXPECT_EQ(4, calc.dim());
  EXPECT_EQ(4, calc.numbering().absorbing_state);
  EXPECT_EQ(1, calc.numbering().absorbed_minimum);
  EXPECT_EQ(2, opts.absorb);  // the request stays as given
  ASSERT_EQ(16u, U.size());
  for (int j = 0; j < 4; ++j) EXPECT_EQ(j == 1 ? 1.0 : 0.0, At(U, 4, 3, j)) << j;
  for (int i = 0; i < 4; ++i) EXPECT_EQ(0.0, At(U, 4, i, 3)) << i;
  ExpectColumnSums(U, 4, 0.0);
}

TEST(MethodA, VerbosePrintsTheInflatedMatrixFirst) {
  const std::vector<QorpRecord> records = {Minimum(1, 0, -1, 0)};
  RunOptions opts;
  opts.method = 'A';
  opts.verbose = 1;
  opts.absorb = 1;
  Calc calc(1, opts);
  testing::internal::CaptureStderr();
  BuildU(calc, &records, {});
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(
      "dim increased to 2\nnew absorbing lmin is: 2\n"
      "aufgeblasene Matrix:\n"
      "              0               0 \n"
      "              1               0 \n---\n"
      "U with Methode A:\n"
      "             -1               0 \n"
      "              1               0 \n---\n",
      err);
}

TEST(MethodI, DiagonalIsIgnoredAndAbsorbingRateUsesFreeEnergy) {
  struct Case {
    const char* name;
    int absorb;
    std::vector<double> rates;
    std::vector<double> want;
  };
  // Minimum 2 has E = -3 and G = -4: rate into the absorbing state e^(-1/kT).
  const double ra = std::exp(3.0 / kT37) / std::exp(4.0 / kT37);
  const Case cases[] = {
      {"diagonal discarded", 0, {7, 2, 3, -5}, {-3, 2, 3, -2}},
      {"same rates, other diagonal", 0, {0, 2, 3, 0}, {-3, 2, 3, -2}},
      {"absorbing at minimum 2", 2, {7, 2, 3, -5}, {-3, 2, 0, 3, -2 - ra, 0, 0, ra, 0}},
  };
  const std::vector<QorpRecord> records = {Minimum(1, 0, -1, 0, -1), Minimum(2, 1, -3, 1, -4)};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RunOptions opts;
    opts.absorb = c.absorb;
    Calc calc(2, opts);
    testing::internal::CaptureStderr();
    const std::vector<double> U = BuildU(calc, &records, std::vector<double>(c.rates));
    testing::internal::GetCapturedStderr();
    ExpectArrayNear(c.want, U, 1e-15);
  }
}

TEST(TransitionMatrix, DumpUWritesTheFinishedMatrix) {
  ScopedTempDir dir;
  const std::vector<QorpRecord> records = {Minimum(1, 0, -10, 0), Minimum(2, 1, -9, 2)};
  RunOptions opts;
  opts.method = 'A';
  opts.dumpU = 1;
  opts.absorb = 2;
  Calc calc(2, opts);
  testing::internal::CaptureStderr();
  const std::vector<double> U = BuildU(calc, &records, {});
  testing::internal::GetCapturedStderr();
  std::vector<double> back;
  int stored = 0;
  testing::internal::CaptureStderr();
  EXPECT_TRUE(MxBinRead(calc, back, "U", 'm', stored).ok());
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(3, stored);
  EXPECT_EQ(U, back);
  const std::string text = ReadFile("U.txt");
  EXPECT_EQ(3, std::count(text.begin(), text.end(), '\n'));
}

TEST(TransitionMatrix, BadInputIsRefusedWithItsMessage) {
  struct Case {
    const char* name;
    char method;
    int absorb;
    std::vector<QorpRecord> records;
    const char* message;
  };
  const Case cases[] = {
      {"father not below the minimum",
       'A',
       0,
       {Minimum(1, 0, -1, 0), Minimum(2, 2, -1, 1)},
       "ERROR: local minimum 2 has father 2, which is not one of 1..1\n"},
      {"father 0",
       'A',
       0,
       {Minimum(1, 0, -1, 0), Minimum(2, 0, -1, 1)},
       "ERROR: local minimum 2 has father 0, which is not one of 1..1\n"},
      {"number differs from the line",
       'A',
       0,
       {Minimum(1, 0, -1, 0), Minimum(3, 1, -1, 1)},
       "ERROR: local minimum 2 is numbered 3 in the qorp file\n"},
      {"absorb beyond the minima, method A",
       'A',
       3,
       {Minimum(1, 0, -1, 0), Minimum(2, 1, -1, 1)},
       "ERROR: --absorb 3 names no local minimum (there are 2)\n"},
      {"absorb beyond the minima, method I",
       'I',
       3,
       {Minimum(1, 0, -1, 0), Minimum(2, 1, -1, 1)},
       "ERROR: --absorb 3 names no local minimum (there are 2)\n"},
      {"unknown method",
       'X',
       0,
       {Minimum(1, 0, -1, 0)},
       "ERROR in MxQorp2Matrix(): No handler 4 method X\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RunOptions opts;
    opts.method = c.method;
    opts.absorb = c.absorb;
    const int n = static_cast<int>(c.records.size());
    Calc calc(n, opts);
    std::vector<double> U;
    const Status status = MxQorp2Matrix(calc, &c.records, std::vector<double>(n * n, 1.0), U);
    EXPECT_EQ(kExitError, status.exit_status);
    EXPECT_EQ(c.message, status.message);
  }
}

}  // namespace
