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

#include <cstddef>
#include <vector>

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
// are not eliminated then. The updates of the remaining block run as BLAS
// products in panels; every entry still only receives non-negative terms.
long EliminateLastStates(double* k, size_t ld, size_t count, size_t keep, size_t extra_col,
                         size_t extra, double* pivots);

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

#endif  // ZOLVANE_ELIMINATION_STATE_REDUCTION_H_
