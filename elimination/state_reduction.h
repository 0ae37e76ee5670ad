// State reduction of a continuous-time Markov chain without subtractions:
// eliminating a state adds the rates of the paths through it to the rates
// between the states that remain, and every pivot (the rate of leaving the
// eliminated state) is summed afresh from those rates instead of being
// carried on a diagonal. Every operation adds, multiplies or divides
// non-negative numbers, so each result keeps a small relative error whatever
// the spread of the rates, where a diagonal of sums loses every rate below
// the rounding of the fastest one. Used for the mean first passage times and
// for the quasi-stationary reduction.
//
// Convention here: a chain of `count` states is a row-major matrix `k` with
// row stride `ld` >= count, k[i * ld + j] (i != j) the rate from i to j; the
// diagonal is never read (any value may stand there). Extra columns beyond
// the rates (a right-hand side) may follow at k[i * ld + extra_col + e].
#ifndef ZOLVANE_ELIMINATION_STATE_REDUCTION_H_
#define ZOLVANE_ELIMINATION_STATE_REDUCTION_H_

#include <algorithm>
#include <cstddef>
#include <vector>

#include "base/step_hook.h"

// States eliminated per panel.
inline constexpr size_t kEliminationPanel = 64;

// c += a * b for row-major a (rows x inner, stride lda), b (inner x cols,
// stride ldb) and c (rows x cols, stride ldc): the block update of the
// elimination. In double it is one BLAS product; with non-negative a and b
// every entry of c only receives non-negative terms either way.
void AddRatesProduct(size_t rows, size_t cols, size_t inner, const double* a, size_t lda,
                     const double* b, size_t ldb, double* c, size_t ldc);
template <class T>
void AddRatesProduct(size_t rows, size_t cols, size_t inner, const T* a, size_t lda, const T* b,
                     size_t ldb, T* c, size_t ldc) {
  for (size_t i = 0; i < rows; ++i) {
    T* ci = c + i * ldc;
    for (size_t t = 0; t < inner; ++t) {
      const T f = a[i * lda + t];
      if (f == T(0)) continue;
      const T* bt = b + t * ldb;
      for (size_t j = 0; j < cols; ++j) ci[j] += f * bt[j];
    }
  }
}

// Eliminates the states count-1, count-2, ..., keep in that order. When state
// l goes, the states 0..l-1 remain; its pivot r_l = sum of k[l][j], j < l,
// goes to pivots[l], and k[i][j] += k[i][l] * k[l][j] / r_l for i, j < l
// (diagonals included, harmlessly) and for the `extra` columns from
// extra_col on (extra_col >= count). Afterwards rows and columns 0..keep-1
// hold the reduced chain, and row l >= keep keeps the rates out of l as they
// were when l went (columns j < l, and the extra columns): the record that
// BackSubstitute reads. Columns >= l of row i < l are left stale.
// Returns -1, or the first state whose pivot is 0 (nothing leads from it to a
// remaining state: the reduced chain does not exist); the states after it
// are not eliminated then. The updates of the remaining block run as one
// product per panel (BLAS in double); every entry still only receives
// non-negative terms. Written once over the scalar T: double for the first
// passage times and the default reduction, each extended arithmetic for its
// own reduction.
template <class T>
long EliminateLastStates(T* k, size_t ld, size_t count, size_t keep, size_t extra_col, size_t extra,
                         T* pivots);
extern template long EliminateLastStates<double>(double* k, size_t ld, size_t count, size_t keep,
                                                 size_t extra_col, size_t extra, double* pivots);

// The solution over the eliminated states from the record of
// EliminateLastStates(k, ld, count, keep, ...): rows 0..keep-1 of the
// row-major count x nrhs matrix `x` (row stride ldx) are given, and for
// l = keep..count-1 in turn
//   x[l][:] = (k[l][rhs_col] + sum over j < l of k[l][j] * x[j][:]) / pivots[l],
// which is the back-substitution of first passage times when the column
// rhs_col held the mean waiting times (1 before any elimination).
void BackSubstitute(const double* k, size_t ld, size_t count, size_t keep, size_t rhs_col,
                    const double* pivots, double* x, size_t ldx, size_t nrhs);

// Scales the rates (columns 0..cols-1 of `rows` rows, diagonal skipped when
// finding the largest) by a power of two so that the largest lies in
// [0.5, 1): products of rates neither overflow nor underflow for any spread
// a double can hold, and the scaling itself is exact. Returns the exponent e
// applied (rates * 2^e); the times of the chain are the scaled chain's times
// * 2^e. All zero or not finite: nothing is scaled, 0.
int ScaleRates(double* k, size_t ld, size_t rows, size_t cols);

// The rates of an n-state chain where they lie in the caller's matrix: the
// rate from i to j at data[i * from_stride + j * to_stride] (i != j; the
// diagonal is never read). {u, n, 1, ld} reads the generator's layout
// (column j = rates out of j, row stride ld), {k, n, ld, 1} rows of rates.
struct RatesView {
  const double* data;
  size_t n;
  size_t from_stride;
  size_t to_stride;
};

// Mean first passage times to `target` from every state of the chain:
// times[target] = 0. Returns false when some state cannot reach the target
// (its time is infinite); `times` is then unspecified.
bool FirstPassageTimesTo(const RatesView& rates, size_t target, std::vector<double>& times);

// All mean first passage times of the chain: times[i * n + j] from i to j
// (n x n, zero diagonal), by divide and conquer over the targets: for the
// targets of one half the other half is eliminated once, the half is solved
// recursively and the eliminated states follow by back-substitution, which
// costs O(n^3) in all. Returns false when some state cannot reach some other.
bool FirstPassageTimesAll(const RatesView& rates, std::vector<double>& times);

// ---------------------------------------------------------------------------
// The elimination, written once over T.

template <class T>
long EliminateLastStates(T* k, size_t ld, size_t count, size_t keep, size_t extra_col, size_t extra,
                         T* pivots) {
  // rows[t * width + j]: k[l][j] / r_l of step t for j < l, the extras from
  // column c on; cols[i * nb + t] = k[i][l] of step t, for the rows i < q.
  std::vector<T> rows, cols;
  for (size_t c = count; c > keep;) {
    StepDone("eliminating", -1.0);
    const size_t nb = std::min(kEliminationPanel, c - keep);
    const size_t q = c - nb;  // the remaining block after the panel
    const size_t width = c + extra;
    rows.resize(nb * width);
    cols.resize(q * nb);

    // The panel's own rows are the pivot rows: each step brings them up to
    // date in every column before the next pivot is summed.
    for (size_t t = 0; t < nb; ++t) {
      const size_t l = c - 1 - t;
      const T* kl = k + l * ld;
      // The rate of leaving l, summed afresh: a diagonal carried along would
      // hold it as a difference of large numbers.
      T r(0);
      for (size_t j = 0; j < l; ++j) r += kl[j];
      pivots[l] = r;
      if (!(r > T(0))) return static_cast<long>(l);
      T* w = rows.data() + t * width;
      for (size_t j = 0; j < l; ++j) w[j] = kl[j] / r;
      for (size_t e = 0; e < extra; ++e) w[c + e] = kl[extra_col + e] / r;
      for (size_t i = q; i < l; ++i) {
        T* ki = k + i * ld;
        const T f = ki[l];
        if (f == T(0)) continue;
        for (size_t j = 0; j < l; ++j) ki[j] += f * w[j];
        for (size_t e = 0; e < extra; ++e) ki[extra_col + e] += f * w[c + e];
      }
    }
    // The remaining rows depend on the pivot rows only: each goes through
    // all steps of the panel in its own columns of the panel while it sits
    // in cache, and records what the block product below needs.
    for (size_t i = 0; i < q; ++i) {
      T* ki = k + i * ld;
      T* ci = cols.data() + i * nb;
      for (size_t t = 0; t < nb; ++t) {
        const size_t l = c - 1 - t;
        const T f = ki[l];
        ci[t] = f;
        if (f == T(0)) continue;
        const T* w = rows.data() + t * width;
        for (size_t j = q; j < l; ++j) ki[j] += f * w[j];
      }
    }
    AddRatesProduct(q, q, nb, cols.data(), nb, rows.data(), width, k, ld);
    for (size_t e = 0; e < extra; ++e) {
      for (size_t i = 0; i < q; ++i) {
        T s(0);
        for (size_t t = 0; t < nb; ++t) s += cols[i * nb + t] * rows[t * width + c + e];
        k[i * ld + extra_col + e] += s;
      }
    }
    c = q;
  }
  return -1;
}

#endif  // ZOLVANE_ELIMINATION_STATE_REDUCTION_H_
