#include "calc/table/exact_populations.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <utility>
#include <vector>

#include "base/fatal.h"
#include "calc/model/calc.h"
#include "calc/table/iterate.h"
#include "calc/table/table_walk.h"
#include "propagator/exact_propagator.h"

Status ExactPopulations(const std::vector<double>& U, int n, const std::vector<double>& p0,
                        const std::vector<double>& times, double time_unit, const ExactLines& lines,
                        int& squarings) {
  const size_t nn = static_cast<size_t>(n) * static_cast<size_t>(n);
  // --times T: exp(G t / T), one rounding of each rate, on a copy; U itself
  // otherwise (no third n x n matrix beside the propagator's two).
  std::vector<double> scaled;
  const std::vector<double>* rates = &U;
  if (time_unit != 1.0 || U.size() != nn) {
    scaled.assign(U.begin(), U.begin() + static_cast<std::ptrdiff_t>(nn));
    for (double& x : scaled) x /= time_unit;
    rates = &scaled;
  }
  PropagatorResult result;
  PropagatorOptions options;
  size_t handed = 0;
  options.on_final = [&](size_t final_times) {
    const bool stop = lines(result.populations.data(), handed, final_times);
    handed = final_times;
    return stop;
  };
  const PropagatorStatus status = PropagateExactly(n, *rates, p0, times, result, options);
  squarings += result.squarings;
  if (status == PropagatorStatus::kNotFinite) {
    return Failure(1, "ERROR: a rate is NaN, infinite or negative: no populations\n");
  }
  if (status != PropagatorStatus::kOk) {
    return Failure(1, "ERROR: the exact propagator cannot take these times or populations\n");
  }
  return Status{};
}

Status WalkExactTable(const Calc& calc, const std::vector<double>& U, std::vector<double>& p0,
                      const std::vector<double>& p8, const TableWalk::Line& line, int& count,
                      int& squarings) {
  const int n = calc.dim();
  const size_t nn = static_cast<size_t>(n);
  TableWalk walk(calc.opts, FirstTableTime(calc), n, line);
  walk.Start(p0.data());
  std::vector<double> times, p(nn);
  while (walk.NextBlock(times, kExactBatch)) {
    // Each line as soon as its populations are final; the squaring stops
    // with the table.
    const ExactLines lines = [&](const double* pops, size_t first, size_t end) {
      for (size_t k = first; k < end; ++k) {
        std::copy(pops + k * nn, pops + (k + 1) * nn, p.begin());
        walk.Take(times[k], p.data());
        if (!walk.status().ok() || walk.Converged(p.data(), p8)) return true;
      }
      return false;
    };
    if (Status status = ExactPopulations(U, n, p0, times, calc.opts.times, lines, squarings);
        !status.ok()) {
      return status;
    }
  }
  count = walk.Finish();
  return walk.status();
}

Status MxIterateExact(const Calc& calc, const std::vector<double>& U, std::vector<double>& p0,
                      const std::vector<double>& p8) {
  MxOutputHeader(calc);
  int count = 0, squarings = 0;
  const TableWalk::Line line = [&calc](double t, double* p) {
    Status printed = MxOutputLine(calc, p, calc.dim(), t);
    if (printed.ok()) FlushTable();
    return printed;
  };
  if (Status status = WalkExactTable(calc, U, p0, p8, line, count, squarings); !status.ok()) {
    return status;
  }
  EndPopulationTable(count);
  if (calc.opts.verbose) fprintf(stderr, "Squarings of the exact propagator: %d\n", squarings);
  return Status{};
}
