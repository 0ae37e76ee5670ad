// Dense kernels on row-major n x n matrices. Products and the inverse go
// through BLAS/LAPACK; a plain Crout elimination covers the singular and
// non-finite cases whose outcome LAPACK does not define the way we need.
#include "matrix/dense.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

#include "base/fatal.h"
#include "matrix/lapack.h"

namespace {

constexpr size_t kTransposeBlock = 32;

// dst (column-major copy of the row-major src, i.e. its transpose in our
// layout). Blocked so that both sides stay in cache. Returns false if src
// holds a NaN or an infinity.
bool TransposeCopy(const double* src, double* dst, size_t n) {
  bool finite = true;
  for (size_t ib = 0; ib < n; ib += kTransposeBlock) {
    size_t ie = std::min(n, ib + kTransposeBlock);
    for (size_t jb = 0; jb < n; jb += kTransposeBlock) {
      size_t je = std::min(n, jb + kTransposeBlock);
      for (size_t i = ib; i < ie; ++i) {
        for (size_t j = jb; j < je; ++j) {
          double v = src[i * n + j];
          finite &= std::isfinite(v);
          dst[j * n + i] = v;
        }
      }
    }
  }
  return finite;
}

// Crout LU with row pivoting followed by the in-place inversion of the
// factors. Pivot choice: largest magnitude in the updated column, lowest row
// on ties; fails when a pivot drops below feps times the largest pivot so far.
// A zero pivot that passes this test divides by zero on purpose, so that a
// singular matrix comes out non-finite instead of silently wrong.
int CroutInverse(double* a, int n, double feps) {
  const size_t sn = static_cast<size_t>(n);
  auto at = [a, sn](int i, int j) -> double& { return a[i * sn + j]; };
  std::vector<int> pivot(sn);
  double vmax = 0.0;
  for (int j = 0; j < n; ++j) {
    for (int i = 1; i < n; ++i) {
      int rmax = std::min(i, j);
      double sum = at(i, j);
      for (int r = 0; r < rmax; ++r) sum -= at(i, r) * at(r, j);
      at(i, j) = sum;
    }
    int p = j;
    double v = std::fabs(at(j, j));
    for (int i = j + 1; i < n; ++i) {
      if (std::fabs(at(i, j)) > v) {
        v = std::fabs(at(i, j));
        p = i;
      }
    }
    if (v > vmax) vmax = v;
    if (v < feps * vmax) return -1;
    pivot[j] = p;
    if (p != j) {
      std::swap_ranges(a + j * sn, a + (j + 1) * sn, a + p * sn);
    }
    double d = 1.0 / at(j, j);
    for (int i = j + 1; i < n; ++i) at(i, j) *= d;
    at(j, j) = d;
  }

  // U = Uhat * D with Uhat unit upper; scale the columns to get Uhat.
  for (int j = 1; j < n; ++j) {
    for (int i = 0; i < j; ++i) at(i, j) *= at(j, j);
  }
  // Uhat^-1 in place, column by column from the top (X * Uhat = I).
  for (int j = 1; j < n; ++j) {
    for (int i = 0; i < j; ++i) {
      double sum = at(i, j);
      for (int r = i + 1; r < j; ++r) sum += at(i, r) * at(r, j);
      at(i, j) = -sum;
    }
  }
  // L^-1 in place, columns from the right, rows from the bottom (Y * L = I).
  for (int j = n - 2; j >= 0; --j) {
    for (int i = n - 1; i > j; --i) {
      double sum = at(i, j);
      for (int r = j + 1; r < i; ++r) sum += at(i, r) * at(r, j);
      at(i, j) = -sum;
    }
  }
  // inv(PA) = D^-1 * Uhat^-1 * L^-1. Scale the rows of Uhat^-1 by the
  // reciprocal pivots on the diagonal; then column j of the product needs only
  // columns >= j of the upper factor, so it may overwrite column j.
  for (int i = 0; i < n; ++i) {
    for (int r = i + 1; r < n; ++r) at(i, r) *= at(i, i);
  }
  std::vector<double> col(sn);
  for (int j = 0; j < n; ++j) {
    col[j] = 1.0;
    for (int r = j + 1; r < n; ++r) col[r] = at(r, j);
    for (int i = 0; i < n; ++i) {
      double sum = 0.0;
      for (int r = std::max(i, j); r < n; ++r) sum += at(i, r) * col[r];
      at(i, j) = sum;
    }
  }
  // Undo the row interchanges: inv(A) = inv(PA) * P, column swaps in reverse.
  for (int j = n - 2; j >= 0; --j) {
    int p = pivot[j];
    if (p == j) continue;
    for (int i = 0; i < n; ++i) std::swap(at(i, j), at(i, p));
  }
  return 0;
}

// MxInverse with its work arrays supplied (resized as needed).
// LU factors of the row-major n x n `a` in `lu` (column-major A itself, so
// that the row pivoting, and hence the pivots and the status, are those of A
// rather than of A^T). Returns 0; -1 when a pivot falls below feps times the
// largest pivot so far; 1 when the factors cannot be used (a non-finite
// entry, or an exact zero pivot that passed the test): the elimination of
// CroutInverse then yields the non-finite result such a matrix must give.
int FactorLu(const double* a, int n, double feps, std::vector<double>& lu, std::vector<int>& ipiv) {
  const size_t sn = static_cast<size_t>(n);
  lu.resize(sn * sn);
  if (!TransposeCopy(a, lu.data(), sn)) return 1;
  ipiv.resize(sn);
  int info = 0;
  dgetrf_(&n, &n, lu.data(), &n, ipiv.data(), &info);
  if (info < 0) LapackArgumentBug("dgetrf", info);

  // U's diagonal holds the pivots in the order they were chosen.
  double vmax = 0.0;
  for (size_t j = 0; j < sn; ++j) {
    double v = std::fabs(lu[j * sn + j]);
    if (v > vmax) vmax = v;
    if (v < feps * vmax) return -1;
    // From an exact zero pivot on, the elimination yields only non-finite
    // pivots, which never fail; later LAPACK pivots must not decide.
    if (v == 0.0) break;
  }
  // An exact zero pivot passed the test (feps 0, or nothing but zero pivots
  // before it): LAPACK refuses to go on.
  return info > 0 ? 1 : 0;
}

int InverseWith(double* a, int n, double feps, std::vector<double>& lu, std::vector<int>& ipiv,
                std::vector<double>& work) {
  if (n <= 0) return 0;
  const size_t sn = static_cast<size_t>(n);
  const int factored = FactorLu(a, n, feps, lu, ipiv);
  if (factored < 0) return factored;
  if (factored > 0) return CroutInverse(a, n, feps);  // `a` is still the original

  int info = 0;
  int lwork = -1;
  double query = 0.0;
  dgetri_(&n, lu.data(), &n, ipiv.data(), &query, &lwork, &info);
  if (info < 0) LapackArgumentBug("dgetri", info);
  lwork = std::max(n, static_cast<int>(query));
  if (work.size() < static_cast<size_t>(lwork)) work.resize(static_cast<size_t>(lwork));
  dgetri_(&n, lu.data(), &n, ipiv.data(), work.data(), &lwork, &info);
  if (info < 0) LapackArgumentBug("dgetri", info);
  // INFO > 0 is a zero pivot of U, which dgetrf already reported.
  if (info != 0) return CroutInverse(a, n, feps);
  TransposeCopy(lu.data(), a, sn);
  return 0;
}

// b <- a^-1 b for row-major n x n `a` and `b`, solved on the LU factors with
// n right-hand sides rather than through the inverse and a product: fewer
// operations and less rounding. `a` is left as it was, except on a return
// of 1 (factors unusable, see FactorLu), where it holds its inverse by
// CroutInverse and b is a^-1 b by that inverse. -1: a pivot below feps.
int SolveWith(double* a, double* b, int n, double feps, std::vector<double>& lu,
              std::vector<int>& ipiv, std::vector<double>& work) {
  if (n <= 0) return 0;
  const size_t sn = static_cast<size_t>(n);
  const int factored = FactorLu(a, n, feps, lu, ipiv);
  if (factored < 0) return factored;
  work.resize(sn * sn);
  if (factored > 0) {
    if (CroutInverse(a, n, feps) != 0) return -1;
    MxGemm(n, n, n, a, b, work.data());
    std::copy(work.begin(), work.begin() + static_cast<std::ptrdiff_t>(sn * sn), b);
    return 1;
  }
  // Column-major right-hand sides, solved in place, back to row-major.
  TransposeCopy(b, work.data(), sn);
  int info = 0;
  dgetrs_("N", &n, &n, lu.data(), &n, ipiv.data(), work.data(), &n, &info, 1);
  if (info < 0) LapackArgumentBug("dgetrs", info);
  TransposeCopy(work.data(), b, sn);
  return 0;
}

}  // namespace

// LAPACK reports an argument it rejects through xerbla_, whose library
// version prints to standard output, into the population table. This one,
// which the program's own definition puts in its place, says the same on
// standard error; the caller then stops on the INFO it gets back.
extern "C" void xerbla_(const char* name, const int* info, size_t name_len) {
  fprintf(stderr, " ** On entry to %.*s parameter number %d had an illegal value\n",
          static_cast<int>(name_len), name, *info);
}

void LapackArgumentBug(const char* routine, int info) {
  Fatal(1, "ERROR: %s rejected its argument %d; this is a bug in zolvane, please report it\n",
        routine, -info);
}

int MxInverse(double* a, int n, double feps) {
  std::vector<double> lu, work;
  std::vector<int> ipiv;
  return InverseWith(a, n, feps, lu, ipiv, work);
}

void MxGemm(int m, int n, int k, const double* a, const double* b, double* c) {
  if (m <= 0 || n <= 0) return;
  if (k <= 0) {
    std::fill(c, c + static_cast<size_t>(m) * n, 0.0);
    return;
  }
  // Row-major C = A * B is column-major C^T = B^T * A^T.
  const double one = 1.0;
  const double zero = 0.0;
  dgemm_("N", "N", &n, &m, &k, &one, b, &n, a, &k, &zero, c, &n, 1, 1);
}

void MxSqrtScalings(const std::vector<double>& p, size_t n, std::vector<double>& sqrt_p,
                    std::vector<double>& inv_sqrt_p) {
  sqrt_p.resize(n);
  inv_sqrt_p.resize(n);
  for (size_t i = 0; i < n; ++i) {
    sqrt_p[i] = std::sqrt(p[i]);
    inv_sqrt_p[i] = 1.0 / sqrt_p[i];
  }
}

void MxRemovePlusIShift(std::vector<double>& evals) {
  for (double& e : evals) e -= 1.0;
}

void MxTransposeInPlace(double* a, int n) {
  const size_t sn = n > 0 ? static_cast<size_t>(n) : 0;
  for (size_t ib = 0; ib < sn; ib += kTransposeBlock) {
    const size_t ie = std::min(sn, ib + kTransposeBlock);
    // The diagonal tile swaps within itself, the others with their mirror tile.
    for (size_t jb = ib; jb < sn; jb += kTransposeBlock) {
      const size_t je = std::min(sn, jb + kTransposeBlock);
      for (size_t i = ib; i < ie; ++i) {
        for (size_t j = std::max(jb, i + 1); j < je; ++j) std::swap(a[i * sn + j], a[j * sn + i]);
      }
    }
  }
}

Status MxExponential(const double* a, double* out, int n, int degree, double feps) {
  ExponentialWork work;
  return MxExponential(a, out, n, degree, feps, work);
}

Status MxExponential(const double* a, double* out, int n, int degree, double feps,
                     ExponentialWork& work) {
  if (n <= 0) return Status{};
  const size_t sn = static_cast<size_t>(n);
  const size_t nn = sn * sn;
  const int q = std::max(degree, 1);

  work.b.assign(a, a + nn);
  work.x.resize(nn);
  work.p.resize(nn);
  work.t.resize(nn);
  double* b = work.b.data();
  double* x = work.x.data();
  double* p = work.p.data();
  double* t = work.t.data();

  // Scale so that the largest entry is at most 8; the Pade approximant is
  // accurate there and k squarings undo the scaling.
  double norm = 0.0;
  for (size_t i = 0; i < nn; ++i) norm = std::max(norm, std::fabs(b[i]));
  double s = std::log(norm) / 0.6931471805599453;
  int k = 0;
  // An infinite entry gives s = inf: no scaling, the result is non-finite anyway.
  if (s >= 4 && std::isfinite(s)) {
    k = static_cast<int>(s - 2);
    double f = std::ldexp(1.0, k);
    for (size_t i = 0; i < nn; ++i) b[i] /= f;
  }

  std::vector<double> c(static_cast<size_t>(q) + 1);
  c[0] = 1.0;
  for (int j = 1; j <= q; ++j) {
    c[j] = c[j - 1] * static_cast<double>(q - j + 1) / static_cast<double>(j * (2 * q - j + 1));
  }

  auto add_diagonal = [sn](double* m, double v) {
    for (size_t i = 0; i < sn; ++i) m[i * sn + i] += v;
  };
  // m = X * (c_top I) + c_next I, written directly: a product with a multiple
  // of the identity is a scaling.
  auto start_horner = [&](double* m, int top) {
    if (top < 2) {
      std::fill(m, m + nn, 0.0);
      add_diagonal(m, c[top]);
      return;
    }
    for (size_t i = 0; i < nn; ++i) m[i] = x[i] * c[top];
    add_diagonal(m, c[top - 2]);
  };

  MxGemm(n, n, n, b, b, x);

  // Odd part P = B * (c_1 I + c_3 X + ...), Horner in X.
  const int odd_top = q % 2 == 1 ? q : q - 1;
  start_horner(p, odd_top);
  for (int j = odd_top - 4; j >= 1; j -= 2) {
    MxGemm(n, n, n, x, p, t);
    std::swap(p, t);
    add_diagonal(p, c[j]);
  }
  MxGemm(n, n, n, b, p, t);
  std::swap(p, t);

  // Even part Q = c_0 I + c_2 X + ...; B and t are free now.
  const int even_top = q % 2 == 0 ? q : q - 1;
  double* qm = b;
  start_horner(qm, even_top);
  for (int j = even_top - 4; j >= 0; j -= 2) {
    MxGemm(n, n, n, x, qm, t);
    std::swap(qm, t);
    add_diagonal(qm, c[j]);
  }

  // R = (Q - P)^-1 (Q + P) = 2 Z + I, where (Q - P) Z = P; X is free now
  // and holds the solver's right-hand sides.
  for (size_t i = 0; i < nn; ++i) qm[i] -= p[i];
  if (SolveWith(qm, p, n, feps, work.lu, work.pivots, work.x) < 0) {
    return Failure(1, "ERROR: matrix exponential: the Pade denominator cannot be inverted\n");
  }
  double* r = p;
  for (size_t i = 0; i < nn; ++i) r[i] *= 2.0;
  add_diagonal(r, 1.0);

  for (int i = 0; i < k; ++i) {
    MxGemm(n, n, n, r, r, t);
    std::swap(r, t);
  }
  std::memcpy(out, r, nn * sizeof(double));
  return Status{};
}
