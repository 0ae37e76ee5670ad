#include "calc/spectrum/eigen_checks.h"

#include <cmath>
#include <cstdio>

#include "base/exit_status.h"

void WarnWeirdRates(int i, int j, double sij, double sji) {
  fprintf(stderr, "Weird rates! r(%5d,%5d)=(%e, %e)\n", i, j, sij, sji);
}

namespace {

Status RatesAreNotGood(double err) {
  return Failure(kExitInconsistentRates,
                 "Rates are not good -- check your rates (maybe the equilibrium was not "
                 "computed correctly? rerun with --equil-file or -v set)!!!... (%Lf)\n",
                 static_cast<long double>(err));
}

}  // namespace

Status EndSymmetryCorrection(const RunOptions& opts, int n, double err, bool bad) {
  if (n > 0 && bad) return RatesAreNotGood(err);
  if (!opts.quiet) {
    fprintf(stderr, "Corrected numerical error: %e (%e per number)\n", err,
            err / (static_cast<double>(n) * n));
  }
  return Status{};
}

Status RefuseRatesNotFinite(const std::vector<double>& U, int n) {
  const size_t count = static_cast<size_t>(n) * static_cast<size_t>(n);
  for (size_t k = 0; k < count && k < U.size(); ++k) {
    if (!std::isfinite(U[k])) return RatesAreNotGood(U[k]);
  }
  return Status{};
}

std::optional<std::vector<int>> EvecsReachability(const std::function<EvecsLines(int h)>& lines,
                                                  int n) {
  if (n <= 1) return std::nullopt;
  std::vector<int> marked(n, 0);
  std::vector<int> queue;
  queue.reserve(n);
  marked[0] = 1;
  queue.push_back(0);
  int count = 1;
  for (size_t head = 0; head < queue.size() && count < n; ++head) {
    const int h = queue[head];
    const EvecsLines l = lines(h);
    for (int i = 0; i < n; ++i) {
      if (i == h || marked[i]) continue;
      const size_t k = static_cast<size_t>(i);
      if (!(l.column[k * l.column_stride] == 0.0) && !(l.row[k * l.row_stride] == 0.0)) {
        marked[i] = 1;
        queue.push_back(i);
        ++count;
      }
    }
  }
  if (count == n) return std::nullopt;
  return marked;
}

void WarnUnreachedEigenstates(const std::vector<int>& reached) {
  fprintf(stderr,
          "WARNING: Eigenvector matrix is non-ergodic (unreachable states from 1st state):");
  for (size_t i = 0; i < reached.size(); ++i) {
    if (!reached[i]) fprintf(stderr, " %4d", static_cast<int>(i + 1));
  }
  fprintf(stderr,
          "\n         the overall probability can start to decrease if this state(s) is(are) "
          "populated!!!");
}

void WarnPopulationTraps(const RunOptions& opts, int traps) {
  fprintf(stderr,
          "WARNING: There are multiple evals=%d.0 (%4d) (multiple population traps -- maybe "
          "we compute crap)\n",
          opts.useplusI ? 1 : 0, traps);
}

std::optional<std::vector<int>> MxEvecsReachability(const double* evecs, int n) {
  const size_t nn = static_cast<size_t>(n);
  return EvecsReachability(
      [evecs, nn](int h) {
        const size_t k = static_cast<size_t>(h);
        return EvecsLines{evecs + k, nn, evecs + k * nn, 1};
      },
      n);
}
