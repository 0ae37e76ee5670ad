// The checks and reports every eigen-decomposition of U goes through, whatever
// the arithmetic (double, the extended types) or the layout (one process or a
// distributed matrix): the symmetry correction's report, the eigenvector
// graph's reachability warning, the largest eigenvalue's warning and the
// clamp of the stationary eigenvalues.
#ifndef ZOLVANE_CALC_SPECTRUM_EIGEN_CHECKS_H_
#define ZOLVANE_CALC_SPECTRUM_EIGEN_CHECKS_H_

#include <cmath>
#include <cstddef>
#include <cstdio>
#include <functional>
#include <optional>
#include <vector>

#include "base/run_options.h"
#include "base/status.h"
#include "calc/model/scalar_traits.h"

// One pair (i, j), 0-based, whose symmetrisation gave NaN.
void WarnWeirdRates(int i, int j, double sij, double sji);

// The end of the symmetry correction of an n x n matrix that moved its
// entries by `err` in total: a correction that met NaN (`bad`) fails with
// kExitInconsistentRates, any other is reported unless --quiet.
Status EndSymmetryCorrection(const RunOptions& opts, int n, double err, bool bad);

// Beside an absorbing state U goes to the general eigensolver unsymmetrised,
// so no symmetrisation meets a rate that is not finite (an inf in the file,
// a qorp rate that overflows): the n x n U is refused here, as the
// symmetrisation refuses it without one, with kExitInconsistentRates and the
// first such entry.
Status RefuseRatesNotFinite(const std::vector<double>& U, int n);

// Row h and column h of an n x n eigenvector matrix: column[i * column_stride]
// = evecs(i, h), row[i * row_stride] = evecs(h, i).
struct EvecsLines {
  const double* column;
  size_t column_stride;
  const double* row;
  size_t row_stride;
};

// Breadth-first search from state 0 over pairs h, i whose entries (i, h) and
// (h, i) are both non-zero (NaN counts as non-zero). `lines(h)` stays valid
// until the next call. nullopt when every state is reached, else 1 for
// reached and 0 for unreached states.
std::optional<std::vector<int>> EvecsReachability(const std::function<EvecsLines(int h)>& lines,
                                                  int n);

// The warning for the states `reached` marks 0.
void WarnUnreachedEigenstates(const std::vector<int>& reached);

// The warning for `traps` >= 2 stationary eigenvalues.
void WarnPopulationTraps(const RunOptions& opts, int traps);

// A generator's largest eigenvalue is the stationary value 0 (1 with
// --useplusI). True when `evals[0]` (T, of an n x n decomposition sorted
// descending) lies more than 10 --feps from it and not --quiet: the warning
// is printed, and the caller writes evals.txt and evecs.txt to be looked at.
template <class T, class Values>
bool WarnLargestEigenvalue(const RunOptions& opts, const Values& evals, int n) {
  using std::abs;
  if (opts.quiet || n <= 0) return false;
  const T stationary = opts.useplusI ? T(1) : T(0);
  if (!(abs(evals[0] - stationary) > T(10 * opts.feps))) return false;
  fprintf(stderr, "WARNING largest eigenvalue is %g, see evals.txt and evecs.txt\n",
          ScalarTraits<T>::ToDouble(evals[0]));
  return true;
}

// Leading eigenvalues (descending, `evals[k]` for k < n) at or above the
// stationary value 0 (1 with --useplusI) are rounding noise of a stationary
// one, and a positive one would blow up the time evolution: they become the
// stationary value, with a warning when there are several.
template <class T, class Values>
void ClampStationaryEigenvalues(const RunOptions& opts, Values& evals, int n) {
  if (n <= 0) return;
  const T stationary = opts.useplusI ? T(1) : T(0);
  evals[0] = stationary;
  int traps = 0;
  for (int k = 0; k < n && evals[k] >= stationary; ++k) {
    evals[k] = stationary;
    ++traps;
  }
  if (traps >= 2) WarnPopulationTraps(opts, traps);
}

// EvecsReachability of a dense n x n row-major eigenvector matrix (column k
// the eigenvector k): nullopt when every state is reached from state 0 in
// the eigenvector graph, else 1 for reached and 0 for unreached states.
std::optional<std::vector<int>> MxEvecsReachability(const double* evecs, int n);

#endif  // ZOLVANE_CALC_SPECTRUM_EIGEN_CHECKS_H_
