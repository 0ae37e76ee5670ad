// The quasi-stationary reduction in double: state reduction
// (elimination/state_reduction.h), whose pivots are fresh sums of exit rates
// and whose updates only add the rates of the paths through the eliminated
// states, so a stiff landscape keeps its slow rates.
#include "calc/passage/reduce_in_double.h"

#include <cmath>
#include <cstdio>
#include <utility>
#include <vector>

#include "base/status.h"
#include "elimination/state_reduction.h"
#include "matrix/mx_print.h"

namespace {

// Makes every column sum to zero: the input diagonal carries no information
// the reduction may trust.
void RebuildDiagonal(std::vector<double>& mat, size_t n) {
  std::vector<double> sums(n, 0.0);
  for (size_t j = 0; j < n; ++j) mat[j * n + j] = 0.0;
  // Row by row keeps the summation order of each column (row 0 first) while
  // streaming the matrix in memory order.
  for (size_t i = 0; i < n; ++i) {
    const double* row = mat.data() + i * n;
    for (size_t j = 0; j < n; ++j) sums[j] += row[j];
  }
  for (size_t j = 0; j < n; ++j) mat[j * n + j] = -sums[j];
}

void Transpose(std::vector<double>& mat, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    for (size_t j = i + 1; j < n; ++j) std::swap(mat[i * n + j], mat[j * n + i]);
  }
}

// What one block of the reduction subtracted from the kept block, in the
// generator's convention with diagonals, as the block inverse would have
// printed it: gb * bb^-1 * bg = M_gg - M'. `before` and `after` hold the
// rates (row = from) over the first `count` and `kept` states, row stride n,
// scaled by 2^scale.
void PrintBlockProduct(const std::vector<double>& before, const std::vector<double>& after,
                       size_t n, size_t count, size_t kept, int scale) {
  std::vector<double> s(kept * kept);
  for (size_t j = 0; j < kept; ++j) {
    double out_before = 0.0, out_after = 0.0;
    for (size_t i = 0; i < count; ++i) {
      if (i != j) out_before += before[j * n + i];
    }
    for (size_t i = 0; i < kept; ++i) {
      if (i == j) continue;
      out_after += after[j * n + i];
      s[i * kept + j] = std::ldexp(before[j * n + i] - after[j * n + i], -scale);
    }
    s[j * kept + j] = std::ldexp(out_after - out_before, -scale);
  }
  MxPrintBraced(s.data(), "gb*bb-1*bg", static_cast<int>(kept), static_cast<int>(kept), stderr);
}

}  // namespace

// Eliminates the last states of the n x n rates `mat` (column j = rates out
// of j, diagonal rebuilt afterwards) down to m, in blocks of at most b
// states, or one at a time when b is 1 (then a progress line at every
// hundred states left, as the blocks print one per block but the last).
// Leaves `mat` as the m x m reduced matrix.
Status ReduceInDouble(const RunOptions& opts, std::vector<double>& mat, int n, int m, int b) {
  const size_t sn = static_cast<size_t>(n);
  // Row i of the state reduction holds the rates out of i.
  Transpose(mat, sn);
  for (size_t i = 0; i < sn; ++i) mat[i * sn + i] = 0.0;
  const int scale = ScaleRates(mat.data(), sn, sn, sn);
  std::vector<double> pivots(sn);
  std::vector<double> before;

  for (int c = n; c > m;) {
    int next;
    if (b == 1) {
      next = (c - 1) / 100 * 100;
      if (next < m) next = m;
    } else {
      next = c - b > m ? c - b : m;
    }
    const bool print_block = b > 1 && opts.verbose;
    if (print_block) before = mat;
    const long failed = EliminateLastStates(mat.data(), sn, static_cast<size_t>(c),
                                            static_cast<size_t>(next), sn, 0, pivots.data());
    if (failed >= 0 && b == 1) {
      // Nothing leads from the state to one that is left.
      return Failure(
          1, "ERROR: quasi-stationary reduction: state %d cannot be eliminated (pivot %g)\n",
          static_cast<int>(failed) + 1, 0.0);
    }
    if (failed >= 0) {
      return Failure(
          1, "ERROR: quasi-stationary reduction: the block of eliminated states is singular\n");
    }
    if (print_block) {
      PrintBlockProduct(before, mat, sn, static_cast<size_t>(c), static_cast<size_t>(next), scale);
    }
    if (!opts.quiet && next > m && b > 1) fprintf(stderr, "%d done...\n", next);
    if (!opts.quiet && b == 1 && next % 100 == 0) fprintf(stderr, "%d done...\n", next);
    c = next;
  }

  // Back to the generator's convention, compacted to m x m.
  const size_t sm = static_cast<size_t>(m);
  std::vector<double> reduced(sm * sm);
  for (size_t i = 0; i < sm; ++i) {
    for (size_t j = 0; j < sm; ++j) {
      reduced[j * sm + i] = i == j ? 0.0 : std::ldexp(mat[i * sn + j], -scale);
    }
  }
  mat.swap(reduced);
  RebuildDiagonal(mat, sm);
  return Status{};
}
