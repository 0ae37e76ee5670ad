// Population table by the matrix exponential: p(t) = exp(G t) p0 at the
// geometric time points t0, t0*f, t0*f^2, ... up to t8, until the populations
// come within 1e-4 of equilibrium. The exact propagator computes them, every
// entry to a few ulps relative at any stiffness, for all points of a batch
// at once.
#include "calc/table/iterate_exponent.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "base/exit_status.h"
#include "base/fatal.h"
#include "base/progress.h"
#include "base/status.h"
#include "calc/model/calc.h"
#include "calc/table/exact_populations.h"
#include "calc/table/iterate.h"
#include "calc/table/table_walk.h"
#include "matrix/number_text.h"

namespace {

constexpr double kConvergence = 1e-4;
constexpr double kNegative = -1e-5;
constexpr double kSumTolerance = 0.01;

}  // namespace

Status MxIterateExponent(Calc& calc, const std::vector<double>& p0, const std::vector<double>& p8,
                         std::vector<double>& U) {
  const int n = calc.dim();
  const size_t nn = static_cast<size_t>(n);

  // The time-0 line may zero negative entries (--num-err R); the table
  // starts from the populations as that line left them.
  std::vector<double> start(p0.begin(), p0.begin() + n);
  if (calc.opts.t0 == 0.0) {
    if (Status status = MxOutputLine(calc, start.data(), n, 0.0); !status.ok()) return status;
  }
  MxOutputHeader(calc);

  const double t8 = calc.opts.t8;
  const double f = calc.opts.tinc;
  // The points of the axis, each printed as min(tau, t8), laid out a batch at
  // a time. With f <= 1 tau never grows: the table also ends once a step no
  // longer advances it.
  double tau = FirstTableTime(calc);
  bool advanced = true;
  std::vector<double> times;
  const auto next_batch = [&] {
    times.clear();
    while (n > 0 && advanced && f * t8 > tau && times.size() < kExactBatch) {
      times.push_back(tau < t8 ? tau : t8);
      const double next = tau * f;
      advanced = next > tau;
      tau = next;
    }
    return !times.empty();
  };

  int count = 0;
  int squarings = 0;
  const std::vector<int> columns = calc.numbering().ReducedIndices(calc.dim());
  // A line that ends the table: by convergence (`converged`, no line) or by
  // a failure (`failure`).
  bool converged = false;
  Status failure;
  const auto line = [&](double t, const double* p) -> Status {
    converged = true;
    for (int i = 0; i < n; ++i) {
      // Written so that NaN counts as "not converged".
      if (!(std::fabs(p8[i] - p[i]) < kConvergence)) converged = false;
    }
    if (converged) return Status{};

    double sum = 0.0;
    for (int m = 0; m < n; ++m) {
      if (p[m] < kNegative) return Failure(1, "prob of lmin %i has become negative!\n", m + 1);
      sum += std::fabs(p[m]);
    }
    // A non-finite sum stops the run in every mode, before its line is printed.
    if (!std::isfinite(sum)) {
      return Failure(1, "overall probability at time %e is %e != 1.0 exiting!\n", t, sum);
    }
    // The same input-numbered columns as the time-0 line: states removed by
    // the ergodicity reduction print 0.
    std::string text((columns.size() + 1) * (FormatBound(0, 6) + 1) + 1, '\0');
    char* out = FormatE(text.data(), t, 0, 6);
    *out++ = ' ';
    for (int r : columns) {
      out = FormatE(out, r < 0 ? 0.0 : std::fabs(p[r]), 0, 6);
      *out++ = ' ';
    }
    *out++ = '\n';
    fwrite(text.data(), 1, static_cast<size_t>(out - text.data()), stdout);
    FlushTable();
    ProgressTimePoint(t, FirstTableTime(calc), t8);

    if (!(std::fabs(sum - 1.0) <= kSumTolerance)) {
      fprintf(stderr, "overall probability at time %e is %e != 1.0 %s!\n", t, sum,
              calc.opts.num_err == 'R' ? "rescaling" : "exiting");
      // Printed above: the run ends with no message of its own.
      if (calc.opts.num_err == 'H') return Status{kExitError, ""};
    }
    return Status{};
  };
  // Each line as soon as its populations are final; the squaring stops with
  // the table. The exponential of G t, not G t / --times, as this table
  // always took.
  while (!converged && failure.ok() && next_batch()) {
    const ExactLines lines = [&](const double* pops, size_t from, size_t end) {
      for (size_t k = from; k < end; ++k) {
        failure = line(times[k], pops + k * nn);
        if (!failure.ok() || converged) return true;
        ++count;
      }
      return false;
    };
    if (Status status = ExactPopulations(U, n, start, times, 1.0, lines, squarings); !status.ok()) {
      return status;
    }
  }
  if (!failure.ok()) return failure;
  EndPopulationTable(count);
  return Status{};
}
