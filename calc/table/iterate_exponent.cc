// Population table by the matrix exponential: p(t) = exp(G t) p0 evaluated
// afresh at the geometric time points t0, t0*f, t0*f^2, ... up to t8, until
// the populations come within 1e-4 of equilibrium.
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "base/exit_status.h"
#include "base/fatal.h"
#include "base/progress.h"
#include "base/status.h"
#include "calc/model/calc.h"
#include "calc/table/number_text.h"
#include "calc/table/table_walk.h"
#include "matrix/dense.h"

namespace {

constexpr int kPadeDegree = 30;
constexpr double kConvergence = 1e-4;
constexpr double kNegative = -1e-5;
constexpr double kSumTolerance = 0.01;

}  // namespace

Status Calc::MxIterateExponent(const std::vector<double>& p0, const std::vector<double>& p8,
                               std::vector<double>& U) {
  const int n = dim;
  const size_t nn = static_cast<size_t>(n) * n;

  // The generator G: with --useplusI U carries +1 on its diagonal, which
  // would bring a factor exp(t) into the exponential and overflow for large
  // t; taking it off keeps every column of exp(G t) summing to 1.
  std::vector<double> g(U.begin(), U.begin() + nn);
  if (opts.useplusI) {
    for (int i = 0; i < n; ++i) g[static_cast<size_t>(i) * n + i] -= 1.0;
  }

  // The time-0 line may zero negative entries (--num-err R); the products
  // below start from the populations as that line left them.
  std::vector<double> start(p0.begin(), p0.begin() + n);
  if (opts.t0 == 0.0) {
    if (Status status = MxOutputLine(start.data(), n, 0.0); !status.ok()) return status;
  }
  MxOutputHeader();

  const double t8 = opts.t8;
  const double f = opts.tinc;
  double tau = FirstTableTime();
  int count = 0;
  std::vector<double> e(nn);
  std::vector<double> p(n);
  // The exponential's work matrices serve every time point.
  ExponentialWork work;
  const std::vector<int> columns = numbering.ReducedIndices(dim);
  // With f <= 1 tau never grows: the table also ends once a step no longer
  // advances the time point.
  bool advanced = true;
  while (n > 0 && advanced && f * t8 > tau) {
    const double t = tau < t8 ? tau : t8;
    for (size_t k = 0; k < nn; ++k) U[k] = g[k] * t;
    Status status = MxExponential(U.data(), e.data(), n, kPadeDegree, opts.feps, work);
    if (!status.ok()) return status;

    // The columns of exp(G t) sum to 1 in exact arithmetic; rescaling by the
    // total removes the drift that rounding brings in.
    double sigma = 0.0;
    for (size_t k = 0; k < nn; ++k) sigma += e[k];
    const double factor = n / sigma;
    for (size_t k = 0; k < nn; ++k) e[k] *= factor;

    bool converged = true;
    for (int i = 0; i < n; ++i) {
      const double* row = &e[static_cast<size_t>(i) * n];
      double s = 0.0;
      for (int j = 0; j < n; ++j) s += row[j] * start[j];
      p[i] = s;
      // Written so that NaN counts as "not converged".
      if (!(std::fabs(p8[i] - s) < kConvergence)) converged = false;
    }
    if (converged) break;

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
    std::string line((columns.size() + 1) * (FormatBound(0, 6) + 1) + 1, '\0');
    char* out = FormatE(line.data(), t, 0, 6);
    *out++ = ' ';
    for (int r : columns) {
      out = FormatE(out, r < 0 ? 0.0 : std::fabs(p[r]), 0, 6);
      *out++ = ' ';
    }
    *out++ = '\n';
    fwrite(line.data(), 1, static_cast<size_t>(out - line.data()), stdout);
    FlushTable();
    ProgressTimePoint(t, FirstTableTime(), t8);

    if (!(std::fabs(sum - 1.0) <= kSumTolerance)) {
      fprintf(stderr, "overall probability at time %e is %e != 1.0 %s!\n", t, sum,
              opts.num_err == 'R' ? "rescaling" : "exiting");
      // Printed above: the run ends with no message of its own.
      if (opts.num_err == 'H') return Status{kExitError, ""};
    }

    ++count;
    const double next = tau * f;
    advanced = next > tau;
    tau = next;
  }
  EndPopulationTable(count);
  return Status{};
}
