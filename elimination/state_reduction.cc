// State reduction without subtractions: panels of single eliminations with
// the update of the remaining block deferred to one BLAS product per panel,
// the back-substitution in panels likewise, and the all-pairs first passage
// times by divide and conquer over the targets.
#include "elimination/state_reduction.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

// elimination/ sits beside matrix/ in the include layers and may not include
// matrix/lapack.h; this is the same Fortran BLAS prototype.
extern "C" void dgemm_(const char* transa, const char* transb, const int* m, const int* n,
                       const int* k, const double* alpha, const double* a, const int* lda,
                       const double* b, const int* ldb, const double* beta, double* c,
                       const int* ldc, size_t transa_len, size_t transb_len);

namespace {

// States eliminated per panel (rows per panel of the back-substitution).
constexpr size_t kPanel = 64;

// c += a * b for row-major a (rows x inner, stride lda), b (inner x cols,
// stride ldb) and c (rows x cols, stride ldc). Column-major BLAS sees the
// transposes, so it computes c^T += b^T a^T. With non-negative a and b every
// entry of c only receives non-negative terms.
void AddProduct(size_t rows, size_t cols, size_t inner, const double* a, size_t lda,
                const double* b, size_t ldb, double* c, size_t ldc) {
  if (rows == 0 || cols == 0 || inner == 0) return;
  const int m = static_cast<int>(cols), n = static_cast<int>(rows), k = static_cast<int>(inner);
  const int la = static_cast<int>(ldb), lb = static_cast<int>(lda), lc = static_cast<int>(ldc);
  const double one = 1.0;
  dgemm_("N", "N", &m, &n, &k, &one, b, &la, a, &lb, &one, c, &lc, 1, 1);
}

}  // namespace

long EliminateLastStates(double* k, size_t ld, size_t count, size_t keep, size_t extra_col,
                         size_t extra, double* pivots) {
  std::vector<double> rows;  // row t of a panel: k[l][j] / r_l for j < q, then the extras
  std::vector<double> cols;  // cols[i * nb + t] = k[i][l] of step t, for i < q
  std::vector<double> ratio(count);
  for (size_t c = count; c > keep;) {
    const size_t nb = std::min(kPanel, c - keep);
    const size_t q = c - nb;  // the remaining block after the panel
    const size_t width = q + extra;
    rows.assign(nb * width, 0.0);
    cols.assign(q * nb, 0.0);
    for (size_t t = 0; t < nb; ++t) {
      const size_t l = c - 1 - t;
      const double* kl = k + l * ld;
      // The rate of leaving l, summed afresh: a diagonal carried along would
      // hold it as a difference of large numbers.
      double r = 0.0;
      for (size_t j = 0; j < l; ++j) r += kl[j];
      pivots[l] = r;
      if (!(r > 0.0)) return static_cast<long>(l);
      double* row = rows.data() + t * width;
      for (size_t j = 0; j < l; ++j) ratio[j] = kl[j] / r;
      for (size_t j = 0; j < q; ++j) row[j] = ratio[j];
      for (size_t e = 0; e < extra; ++e) row[q + e] = kl[extra_col + e] / r;

      // The panel's own rows are pivot rows later: they are brought up to
      // date in every column now.
      for (size_t i = q; i < l; ++i) {
        double* ki = k + i * ld;
        const double f = ki[l];
        if (f == 0.0) continue;
        for (size_t j = 0; j < l; ++j) ki[j] += f * ratio[j];
        for (size_t e = 0; e < extra; ++e) ki[extra_col + e] += f * row[q + e];
      }
      // The remaining rows: only the panel's columns now, the rest below.
      for (size_t i = 0; i < q; ++i) {
        double* ki = k + i * ld;
        const double f = ki[l];
        cols[i * nb + t] = f;
        if (f == 0.0) continue;
        for (size_t j = q; j < l; ++j) ki[j] += f * ratio[j];
      }
    }
    AddProduct(q, q, nb, cols.data(), nb, rows.data(), width, k, ld);
    for (size_t e = 0; e < extra; ++e) {
      for (size_t i = 0; i < q; ++i) {
        double s = 0.0;
        for (size_t t = 0; t < nb; ++t) s += cols[i * nb + t] * rows[t * width + q + e];
        k[i * ld + extra_col + e] += s;
      }
    }
    c = q;
  }
  return -1;
}

void BackSubstitute(const double* k, size_t ld, size_t count, size_t keep, size_t rhs_col,
                    const double* pivots, double* x, size_t ldx, size_t nrhs) {
  for (size_t p0 = keep; p0 < count; p0 += kPanel) {
    const size_t p1 = std::min(count, p0 + kPanel);
    for (size_t l = p0; l < p1; ++l) std::fill_n(x + l * ldx, nrhs, k[l * ld + rhs_col]);
    // What the states before the panel contribute, in one product.
    AddProduct(p1 - p0, nrhs, p0, k + p0 * ld, ld, x, ldx, x + p0 * ldx, ldx);
    for (size_t l = p0; l < p1; ++l) {
      double* xl = x + l * ldx;
      const double* kl = k + l * ld;
      for (size_t j = p0; j < l; ++j) {
        const double f = kl[j];
        if (f == 0.0) continue;
        const double* xj = x + j * ldx;
        for (size_t t = 0; t < nrhs; ++t) xl[t] += f * xj[t];
      }
      const double r = pivots[l];
      for (size_t t = 0; t < nrhs; ++t) xl[t] /= r;
    }
  }
}

int ScaleRates(double* k, size_t ld, size_t rows, size_t cols) {
  double top = 0.0;
  for (size_t i = 0; i < rows; ++i) {
    for (size_t j = 0; j < cols; ++j) {
      if (i != j) top = std::max(top, k[i * ld + j]);
    }
  }
  if (!(top > 0.0) || !std::isfinite(top)) return 0;
  int e = 0;
  std::frexp(top, &e);
  for (size_t i = 0; i < rows; ++i) {
    for (size_t j = 0; j < cols; ++j) k[i * ld + j] = std::ldexp(k[i * ld + j], -e);
  }
  return -e;
}

bool FirstPassageTimesTo(const std::vector<double>& rates, size_t n, size_t target,
                         std::vector<double>& times) {
  times.assign(n, 0.0);
  if (n <= 1) return true;
  // The target first, the others after it in their order, and the waiting
  // times (1 each) in the last column.
  const size_t ld = n + 1;
  std::vector<size_t> order(n);
  order[0] = target;
  for (size_t a = 1; a < n; ++a) order[a] = a - 1 < target ? a - 1 : a;
  std::vector<double> k(n * ld);
  for (size_t a = 0; a < n; ++a) {
    const double* from = rates.data() + order[a] * n;
    double* to = k.data() + a * ld;
    for (size_t b = 0; b < n; ++b) to[b] = a == b ? 0.0 : from[order[b]];
    to[n] = 1.0;
  }
  const int e = ScaleRates(k.data(), ld, n, n);
  std::vector<double> pivots(n);
  if (EliminateLastStates(k.data(), ld, n, 1, n, 1, pivots.data()) >= 0) return false;
  std::vector<double> x(n, 0.0);
  BackSubstitute(k.data(), ld, n, 1, n, pivots.data(), x.data(), 1, 1);
  for (size_t a = 0; a < n; ++a) times[order[a]] = std::ldexp(x[a], e);
  return true;
}

namespace {

// The times to every target among the m states `ids` of a chain held as
// m x (m + 1) (rates, then the waiting times), into times[from * n + to].
bool SolveTargets(const std::vector<double>& chain, const std::vector<size_t>& ids,
                  std::vector<double>& times, size_t n) {
  const size_t m = ids.size();
  if (m == 1) {
    times[ids[0] * n + ids[0]] = 0.0;
    return true;
  }
  const size_t ld = m + 1;
  const size_t half = m / 2;
  for (int side = 0; side < 2; ++side) {
    // This side's targets first; the other side goes, last state first.
    const size_t nt = side == 0 ? half : m - half;
    std::vector<size_t> order(m);
    for (size_t a = 0; a < m; ++a) order[a] = side == 0 ? a : (a + half) % m;
    std::vector<double> k(m * ld);
    for (size_t a = 0; a < m; ++a) {
      const double* from = chain.data() + order[a] * ld;
      double* to = k.data() + a * ld;
      for (size_t b = 0; b < m; ++b) to[b] = from[order[b]];
      to[m] = from[m];
    }
    std::vector<double> pivots(m);
    if (EliminateLastStates(k.data(), ld, m, nt, m, 1, pivots.data()) >= 0) return false;

    std::vector<size_t> sub_ids(nt);
    for (size_t a = 0; a < nt; ++a) sub_ids[a] = ids[order[a]];
    {
      std::vector<double> sub(nt * (nt + 1));
      for (size_t a = 0; a < nt; ++a) {
        std::copy_n(k.data() + a * ld, nt, sub.data() + a * (nt + 1));
        sub[a * (nt + 1) + nt] = k[a * ld + m];
      }
      if (!SolveTargets(sub, sub_ids, times, n)) return false;
    }
    // x[a][t]: from state a of this order to target t of this side.
    std::vector<double> x(m * nt);
    for (size_t a = 0; a < nt; ++a) {
      for (size_t t = 0; t < nt; ++t) x[a * nt + t] = times[sub_ids[a] * n + sub_ids[t]];
    }
    BackSubstitute(k.data(), ld, m, nt, m, pivots.data(), x.data(), nt, nt);
    for (size_t l = nt; l < m; ++l) {
      double* row = times.data() + ids[order[l]] * n;
      for (size_t t = 0; t < nt; ++t) row[sub_ids[t]] = x[l * nt + t];
    }
  }
  return true;
}

}  // namespace

bool FirstPassageTimesAll(const std::vector<double>& rates, size_t n, std::vector<double>& times) {
  times.assign(n * n, 0.0);
  if (n <= 1) return true;
  const size_t ld = n + 1;
  std::vector<double> chain(n * ld);
  for (size_t i = 0; i < n; ++i) {
    std::copy_n(rates.data() + i * n, n, chain.data() + i * ld);
    chain[i * ld + i] = 0.0;
    chain[i * ld + n] = 1.0;
  }
  const int e = ScaleRates(chain.data(), ld, n, n);
  std::vector<size_t> ids(n);
  for (size_t i = 0; i < n; ++i) ids[i] = i;
  if (!SolveTargets(chain, ids, times, n)) return false;
  if (e != 0) {
    for (double& t : times) t = std::ldexp(t, e);
  }
  return true;
}
