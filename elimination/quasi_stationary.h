// The quasi-stationary reduction of a rate matrix by state reduction
// (elimination/state_reduction.h), written once over the scalar T of the
// elimination: whose pivots are fresh sums of exit rates and whose updates
// only add the rates of the paths through the eliminated states, so a stiff
// landscape keeps its slow rates in any arithmetic. The one entry is MxReduce
// (calc/backend/reduce.h); each arithmetic's backend calls this with its T.
#ifndef ZOLVANE_ELIMINATION_QUASI_STATIONARY_H_
#define ZOLVANE_ELIMINATION_QUASI_STATIONARY_H_

#include <cmath>
#include <cstddef>
#include <cstdio>
#include <type_traits>
#include <utility>
#include <vector>

#include "base/run_options.h"
#include "base/status.h"
#include "elimination/state_reduction.h"

// Prints a rows x columns row-major matrix with its label (the -v output of
// each block); matrix/mx_print.h has the printer, a layer this one may not
// include.
using BracedPrinter = void (*)(const double* values, const char* label, int rows, int columns,
                               FILE* stream);

namespace quasi_stationary {

// Makes every column sum to zero: the input diagonal carries no information
// the reduction may trust.
inline void RebuildDiagonal(std::vector<double>& mat, size_t n) {
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

inline void Transpose(std::vector<double>& mat, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    for (size_t j = i + 1; j < n; ++j) std::swap(mat[i * n + j], mat[j * n + i]);
  }
}

// What one block of the reduction subtracted from the kept block, in the
// generator's convention with diagonals, as the block inverse would have
// printed it: gb * bb^-1 * bg = M_gg - M'. `before` and `after` hold the
// rates (row = from) over the first `count` and `kept` states, row stride n,
// scaled by 2^scale. Differences are taken in T, printed in double.
template <class T, class Arith>
void PrintBlockProduct(const std::vector<T>& before, const T* after, size_t n, size_t count,
                       size_t kept, int scale, BracedPrinter print) {
  std::vector<double> s(kept * kept);
  for (size_t j = 0; j < kept; ++j) {
    T out_before(0), out_after(0);
    for (size_t i = 0; i < count; ++i) {
      if (i != j) out_before += before[j * n + i];
    }
    for (size_t i = 0; i < kept; ++i) {
      if (i == j) continue;
      out_after += after[j * n + i];
      s[i * kept + j] = std::ldexp(Arith::ToDouble(before[j * n + i] - after[j * n + i]), -scale);
    }
    s[j * kept + j] = std::ldexp(Arith::ToDouble(out_after - out_before), -scale);
  }
  print(s.data(), "gb*bb-1*bg", static_cast<int>(kept), static_cast<int>(kept), stderr);
}

}  // namespace quasi_stationary

// Eliminates the last states of the n x n rates `mat` (row-major, column j =
// rates out of j; the diagonal is ignored and rebuilt afterwards) down to m,
// in T, in blocks of at most b states, or one at a time when b is 1 (then a
// progress line at every hundred states left, as the blocks print one per
// block but the last); -v prints each block's product through `print`.
// Leaves `mat` as the m x m reduced matrix, in double. Fails when a state (b
// = 1) or a block of states cannot be eliminated. `Arith` converts T to
// double (ScalarTraits<T> of calc/model/scalar_traits.h); an arithmetic of
// variable precision has its precision set by the caller.
template <class T, class Arith>
Status ReduceQuasiStationary(const RunOptions& opts, std::vector<double>& mat, int n, int m, int b,
                             BracedPrinter print) {
  using quasi_stationary::PrintBlockProduct;
  const size_t sn = static_cast<size_t>(n);
  // Row i of the state reduction holds the rates out of i, scaled exactly by
  // a power of two in double before any conversion.
  quasi_stationary::Transpose(mat, sn);
  for (size_t i = 0; i < sn; ++i) mat[i * sn + i] = 0.0;
  const int scale = ScaleRates(mat.data(), sn, sn, sn);
  // The chain in T: the doubles themselves in double.
  std::vector<T> converted;
  T* k = nullptr;
  if constexpr (std::is_same_v<T, double>) {
    k = mat.data();
  } else {
    converted.reserve(sn * sn);
    for (const double x : mat) converted.push_back(T(x));
    k = converted.data();
  }
  std::vector<T> pivots(sn);
  std::vector<T> before;

  for (int c = n; c > m;) {
    int next;
    if (b == 1) {
      next = (c - 1) / 100 * 100;
      if (next < m) next = m;
    } else {
      next = c - b > m ? c - b : m;
    }
    const bool print_block = b > 1 && opts.verbose;
    if (print_block) before.assign(k, k + sn * sn);
    const long failed = EliminateLastStates<T>(k, sn, static_cast<size_t>(c),
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
      PrintBlockProduct<T, Arith>(before, k, sn, static_cast<size_t>(c), static_cast<size_t>(next),
                                  scale, print);
    }
    if (!opts.quiet && next > m && b > 1) fprintf(stderr, "%d done...\n", next);
    if (!opts.quiet && b == 1 && next % 100 == 0) fprintf(stderr, "%d done...\n", next);
    c = next;
  }

  // Back to the generator's convention, compacted to m x m, in double.
  const size_t sm = static_cast<size_t>(m);
  std::vector<double> reduced(sm * sm);
  for (size_t i = 0; i < sm; ++i) {
    for (size_t j = 0; j < sm; ++j) {
      reduced[j * sm + i] = i == j ? 0.0 : std::ldexp(Arith::ToDouble(k[i * sn + j]), -scale);
    }
  }
  mat.swap(reduced);
  quasi_stationary::RebuildDiagonal(mat, sm);
  return Status{};
}

#endif  // ZOLVANE_ELIMINATION_QUASI_STATIONARY_H_
