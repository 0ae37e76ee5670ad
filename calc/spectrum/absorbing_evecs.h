// The eigenvectors of a generator with an absorbing state, made ready for the
// time evolution, written once for every scalar type. The general solver
// returns each stationary eigenvector spread over noise; it becomes the unit
// vector of its absorbing state, every decaying mode is moved to carry no net
// population, and each column is normalised.
#ifndef ZOLVANE_CALC_SPECTRUM_ABSORBING_EVECS_H_
#define ZOLVANE_CALC_SPECTRUM_ABSORBING_EVECS_H_

#include <cmath>
#include <cstdio>

#include "base/run_options.h"

// `v(r, j)` is a reference to entry r of eigenvector j of the n x n matrix,
// `evals[j]` its eigenvalue (T). Unless `stationary_complete` (a solver whose
// stationary columns need no repair), a column of eigenvalue exactly 1 (the
// stationary value under --useplusI) is one absorbing state: it becomes the
// unit vector on its largest entry. The sum of every later column is then
// taken out of its first rows, one share per absorbing state. Then every
// column is divided by its 2-norm. column_sum(j) and squared_norm(j) are
// column j's sum and sum of squares as the caller's storage forms them (the
// order of a sum decides its last bits); report(normalised) is called after
// the move and after the normalisation (for the -v prints). Two or more
// absorbing states are listed on stderr (--quiet drops the warning's words).
template <class T, class Values, class Entry, class ColumnSum, class SquaredNorm, class Report>
void CompleteAbsorbingEvecs(const RunOptions& opts, const Values& evals, int n,
                            bool stationary_complete, Entry&& v, ColumnSum&& column_sum,
                            SquaredNorm&& squared_norm, Report&& report) {
  using std::abs;
  using std::sqrt;
  int absorbing = 0;
  for (int j = 0; j < n && !stationary_complete; ++j) {
    if (!(evals[j] == T(1))) continue;
    int a = 0;
    T best(0);
    for (int r = 0; r < n; ++r) {
      if (abs(v(r, j)) > best) {
        best = abs(v(r, j));
        a = r;
      }
    }
    for (int r = 0; r < n; ++r) v(r, j) = T(0);
    v(a, j) = T(1);
    ++absorbing;
  }
  // Decaying modes carry no net population: move each column's sum out of
  // the first rows.
  for (int j = absorbing; j < n && absorbing > 0; ++j) {
    const T shift = column_sum(j) / T(absorbing);
    for (int r = 0; r < absorbing; ++r) v(r, j) -= shift;
  }
  report(false);
  for (int j = 0; j < n; ++j) {
    const T q = squared_norm(j);
    const T factor = q > T(0) ? T(1) / sqrt(q) : q;
    for (int r = 0; r < n; ++r) v(r, j) *= factor;
  }
  report(true);
  if (absorbing > 1) {
    if (!opts.quiet) {
      fprintf(stderr, "\nWARNING: found %d additional absorbing state(s): ", absorbing - 1);
    }
    for (int j = 1; j < n; ++j) {
      if (!(evals[j] == T(1))) continue;
      for (int k = 0; k < n; ++k) {
        if (v(k, j) == T(1)) fprintf(stderr, " %5d", k + 1);
      }
    }
    fprintf(stderr, "\n");
  }
  fflush(stderr);
}

#endif  // ZOLVANE_CALC_SPECTRUM_ABSORBING_EVECS_H_
