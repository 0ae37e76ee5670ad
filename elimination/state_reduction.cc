// State reduction without subtractions: panels of single eliminations with
// the update of the remaining block deferred to one BLAS product per panel,
// the back-substitution in panels likewise, and the all-pairs first passage
// times by divide and conquer over the targets.
#include "elimination/state_reduction.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <memory>
#include <vector>

// elimination/ sits beside matrix/ in the include layers and may not include
// matrix/lapack.h; this is the same Fortran BLAS prototype.
extern "C" void dgemm_(const char* transa, const char* transb, const int* m, const int* n,
                       const int* k, const double* alpha, const double* a, const int* lda,
                       const double* b, const int* ldb, const double* beta, double* c,
                       const int* ldc, size_t transa_len, size_t transb_len);

namespace {

// Rows per panel of the back-substitution, as in the elimination.
constexpr size_t kPanel = kEliminationPanel;

}  // namespace

// Column-major BLAS sees the transposes, so it computes c^T += b^T a^T.
void AddRatesProduct(size_t rows, size_t cols, size_t inner, const double* a, size_t lda,
                     const double* b, size_t ldb, double* c, size_t ldc) {
  if (rows == 0 || cols == 0 || inner == 0) return;
  const int m = static_cast<int>(cols), n = static_cast<int>(rows), k = static_cast<int>(inner);
  const int la = static_cast<int>(ldb), lb = static_cast<int>(lda), lc = static_cast<int>(ldc);
  const double one = 1.0;
  dgemm_("N", "N", &m, &n, &k, &one, b, &la, a, &lb, &one, c, &lc, 1, 1);
}

template long EliminateLastStates<double>(double* k, size_t ld, size_t count, size_t keep,
                                          size_t extra_col, size_t extra, double* pivots);

void BackSubstitute(const double* k, size_t ld, size_t count, size_t keep, size_t rhs_col,
                    const double* pivots, double* x, size_t ldx, size_t nrhs) {
  for (size_t p0 = keep; p0 < count; p0 += kPanel) {
    const size_t p1 = std::min(count, p0 + kPanel);
    for (size_t l = p0; l < p1; ++l) std::fill_n(x + l * ldx, nrhs, k[l * ld + rhs_col]);
    // What the states before the panel contribute, in one product.
    AddRatesProduct(p1 - p0, nrhs, p0, k + p0 * ld, ld, x, ldx, x + p0 * ldx, ldx);
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

namespace {

// The exponent that ScaleRates would apply to the chain's rates.
int ScaleExponent(const RatesView& v) {
  double top = 0.0;
  for (size_t i = 0; i < v.n; ++i) {
    for (size_t j = 0; j < v.n; ++j) {
      if (i != j) top = std::max(top, v.data[i * v.from_stride + j * v.to_stride]);
    }
  }
  if (!(top > 0.0) || !std::isfinite(top)) return 0;
  int e = 0;
  std::frexp(top, &e);
  return -e;
}

// The waiting time that every state of a chain starts with, 1 in the times'
// own unit, enters the scaled chain as 2^kWaitExponent. The rates are scaled
// to at most 1, so the times that come out are at least the waiting time
// over the number of states; starting them near the bottom of the exponent
// range rather than at 1 leaves the whole range above for the slow ones:
// a time of 1 beside a rate of 1e308, or one of 1e308 beside a rate of 1,
// would overflow the scaled chain from 1. Sums only meet products below
// 2^-1022 where those are 2^-60 of the waiting time they add to, so nothing
// printed depends on their rounding.
constexpr int kWaitExponent = -960;

// A chain to copy from: its rates, its waiting times (all 2^kWaitExponent
// when `wait` is null) and a power of two that scales the rates, exactly.
struct Source {
  RatesView rates;
  const double* wait;
  size_t wait_stride;
  double scale;
};

// k[a][b] = the rate order[a] -> order[b] (scaled; diagonal 0), and
// k[a][m] its waiting time, for the m states of `order`. Tiles keep both the
// rows written and the strided reads of a generator's columns in cache.
void CopyChain(const Source& src, const size_t* order, size_t m, double* k, size_t ld) {
  constexpr size_t kTile = 32;
  const RatesView& v = src.rates;
  for (size_t a0 = 0; a0 < m; a0 += kTile) {
    const size_t a1 = std::min(m, a0 + kTile);
    for (size_t b0 = 0; b0 < m; b0 += kTile) {
      const size_t b1 = std::min(m, b0 + kTile);
      for (size_t a = a0; a < a1; ++a) {
        const double* from = v.data + order[a] * v.from_stride;
        double* to = k + a * ld;
        for (size_t b = b0; b < b1; ++b) to[b] = from[order[b] * v.to_stride] * src.scale;
      }
    }
  }
  for (size_t a = 0; a < m; ++a) {
    k[a * ld + a] = 0.0;
    k[a * ld + m] =
        src.wait == nullptr ? std::ldexp(1.0, kWaitExponent) : src.wait[order[a] * src.wait_stride];
  }
}

}  // namespace

bool FirstPassageTimesTo(const RatesView& rates, size_t target, std::vector<double>& times) {
  const size_t n = rates.n;
  times.assign(n, 0.0);
  if (n <= 1) return true;
  // The target first, the others after it in their order, and the waiting
  // times in the last column.
  const size_t ld = n + 1;
  std::vector<size_t> order(n);
  order[0] = target;
  for (size_t a = 1; a < n; ++a) order[a] = a - 1 < target ? a - 1 : a;
  const int e = ScaleExponent(rates);
  std::vector<double> k(n * ld);
  CopyChain({rates, nullptr, 0, std::ldexp(1.0, e)}, order.data(), n, k.data(), ld);
  std::vector<double> pivots(n);
  if (EliminateLastStates(k.data(), ld, n, 1, n, 1, pivots.data()) >= 0) return false;
  std::vector<double> x(n, 0.0);
  BackSubstitute(k.data(), ld, n, 1, n, pivots.data(), x.data(), 1, 1);
  for (size_t a = 0; a < n; ++a) times[order[a]] = std::ldexp(x[a], e - kWaitExponent);
  return true;
}

namespace {

// Doubles SolveTargets takes at a node of m states, its subtree included:
// the reordered chain and its pivots, then either the half's chain and the
// subtree below it or the times back-substituted for the half.
size_t Workspace(size_t m) {
  if (m <= 1) return 0;
  size_t most = 0;
  for (const size_t nt : {m / 2, m - m / 2}) {
    most = std::max(most, std::max(nt * (nt + 1) + Workspace(nt), m * nt));
  }
  return m * (m + 1) + m + most;
}

// The times to every target among the m states `ids` of the chain `src`,
// into times[from * n + to]. `work` holds Workspace(m) doubles.
bool SolveTargets(const Source& src, const std::vector<size_t>& ids, double* times, size_t n,
                  double* work) {
  const size_t m = ids.size();
  if (m == 1) {
    times[ids[0] * n + ids[0]] = 0.0;
    return true;
  }
  const size_t ld = m + 1;
  const size_t half = m / 2;
  double* k = work;
  double* pivots = k + m * ld;
  double* rest = pivots + m;
  std::vector<size_t> order(m), sub_ids;
  for (int side = 0; side < 2; ++side) {
    // This side's targets first; the other side goes, last state first.
    const size_t nt = side == 0 ? half : m - half;
    for (size_t a = 0; a < m; ++a) order[a] = side == 0 ? a : (a + half) % m;
    CopyChain(src, order.data(), m, k, ld);
    if (EliminateLastStates(k, ld, m, nt, m, 1, pivots) >= 0) return false;

    sub_ids.resize(nt);
    for (size_t a = 0; a < nt; ++a) sub_ids[a] = ids[order[a]];
    // The reduced chain of the half, as the next node's source.
    double* sub = rest;
    for (size_t a = 0; a < nt; ++a) {
      std::copy_n(k + a * ld, nt, sub + a * (nt + 1));
      sub[a * (nt + 1) + nt] = k[a * ld + m];
    }
    const Source half_chain{{sub, nt, nt + 1, 1}, sub + nt, nt + 1, 1.0};
    if (!SolveTargets(half_chain, sub_ids, times, n, sub + nt * (nt + 1))) return false;

    // x[a][t]: from state a of this order to target t of this side.
    double* x = rest;
    for (size_t a = 0; a < nt; ++a) {
      for (size_t t = 0; t < nt; ++t) x[a * nt + t] = times[sub_ids[a] * n + sub_ids[t]];
    }
    BackSubstitute(k, ld, m, nt, m, pivots, x, nt, nt);
    for (size_t l = nt; l < m; ++l) {
      double* row = times + ids[order[l]] * n;
      for (size_t t = 0; t < nt; ++t) row[sub_ids[t]] = x[l * nt + t];
    }
  }
  return true;
}

}  // namespace

bool FirstPassageTimesAll(const RatesView& rates, std::vector<double>& times) {
  const size_t n = rates.n;
  times.assign(n * n, 0.0);
  if (n <= 1) return true;
  // One allocation for the whole recursion: fresh buffers at every node
  // cost more in page faults and zeroing than the arithmetic.
  const auto work = std::make_unique_for_overwrite<double[]>(Workspace(n));
  const int e = ScaleExponent(rates);
  std::vector<size_t> ids(n);
  for (size_t i = 0; i < n; ++i) ids[i] = i;
  const Source chain{rates, nullptr, 0, std::ldexp(1.0, e)};
  if (!SolveTargets(chain, ids, times.data(), n, work.get())) return false;
  for (double& t : times) t = std::ldexp(t, e - kWaitExponent);
  return true;
}
