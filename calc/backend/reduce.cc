// Quasi-stationary reduction: the Schur complement of the eliminated states
// by state reduction (elimination/state_reduction.h), whose pivots are fresh
// sums of exit rates and whose updates only add the rates of the paths
// through the eliminated states, so a stiff landscape keeps its slow rates.
#include "calc/backend/reduce.h"

#include <cmath>
#include <cstdio>
#include <vector>

#include "base/status.h"
#include "calc/backend/arithmetic_backend.h"

namespace {

// Every eliminated rate is mixed into every kept one: a rate that is not a
// finite number would spread through the reduced matrix unseen, in whatever
// arithmetic the elimination runs. The diagonal is rebuilt from the others,
// so only they are checked. `what` names the rates in the message.
Status CheckRates(const std::vector<double>& mat, size_t n, const char* what) {
  for (size_t i = 0; i < n; ++i) {
    for (size_t j = 0; j < n; ++j) {
      const double x = mat[i * n + j];
      if (i != j && !std::isfinite(x)) {
        return Failure(1,
                       "ERROR: quasi-stationary reduction: %s from state %zu to state %zu is %g\n",
                       what, j + 1, i + 1, x);
      }
    }
  }
  return Status{};
}

}  // namespace

Status MxReduce(const RunOptions& opts, std::vector<double>& m_mat, int m, int n, int b,
                int& reduced) {
  reduced = n;
  if (m < 1) m = 1;  // the options never allow fewer; keeps the loops in bounds
  if (n <= m) return Status{};
  if (b < 1) b = 1;
  Status status = CheckRates(m_mat, static_cast<size_t>(n), "the rate");
  if (!status.ok()) return status;
  if (!opts.quiet) fprintf(stderr, "decreasing %d to %d\n", n, m);
  status = BackendFor(opts.mlapack_method).reduce(opts, m_mat, n, m, b);
  if (!status.ok()) return status;
  // Rates beyond the range of a double after the reduction: no table is
  // built from them.
  status = CheckRates(m_mat, static_cast<size_t>(m), "the reduced rate");
  if (status.ok()) reduced = m;
  return status;
}
