// The population table of rates without detailed balance: the populations
// of the exact propagator (propagator/exact_propagator.h) on the table's
// time axis, with the table's checks, convergence and closing lines; and the
// propagator's populations at chosen times as a stage, for --exponent too.
#ifndef ZOLVANE_CALC_TABLE_EXACT_POPULATIONS_H_
#define ZOLVANE_CALC_TABLE_EXACT_POPULATIONS_H_

#include <cstddef>
#include <functional>
#include <vector>

#include "base/status.h"
#include "calc/table/table_walk.h"

class Calc;

// Time points handed to the propagator at once: each batch repeats the
// squarings, and the populations of a batch take n doubles per point (32 MB
// at n = 1000); the default axis to t8 = 1e30 has about 3600 points.
constexpr size_t kExactBatch = 4096;

// Hands on p(times[k]) = exp(G times[k] / time_unit) p0, G the generator of
// the n x n U in the program's layout (its diagonal, the --useplusI shift
// included, is not read), as they become final: `lines(populations, first,
// end)` gets rows first..end-1 of the row-major times.size() x n
// `populations`, in the order of `times` (give them increasing, and the rows
// come while the squaring goes on); returning true ends the computation.
// `squarings` adds the levels the propagator squared. Fails on rates that
// are NaN, infinite or negative.
using ExactLines = std::function<bool(const double* populations, size_t first, size_t end)>;
Status ExactPopulations(const std::vector<double>& U, int n, const std::vector<double>& p0,
                        const std::vector<double>& times, double time_unit, const ExactLines& lines,
                        int& squarings);

// The table's walk over the time axis of calc's options with the propagator's
// populations: the line at time 0 when --t0 is 0, then the axis in batches,
// each line as soon as it is final, until every population is within 1e-6 of
// p8 (the squaring stops there too), then the closing line at t8. `line` as in
// WalkPopulationTable (calc/table/populations.h); `count` receives the axis
// points taken, `squarings` adds the levels squared.
Status WalkExactTable(const Calc& calc, const std::vector<double>& U, std::vector<double>& p0,
                      const std::vector<double>& p8, const TableWalk::Line& line, int& count,
                      int& squarings);

// The table of MxIterate (calc/table/iterate.h) for rates without detailed
// balance, from the exact propagator on U itself: the same axis, lines,
// checks, convergence to p8 and closing lines. Fails as a line's checks do,
// or on rates that are not finite and non-negative.
Status MxIterateExact(const Calc& calc, const std::vector<double>& U, std::vector<double>& p0,
                      const std::vector<double>& p8);

#endif  // ZOLVANE_CALC_TABLE_EXACT_POPULATIONS_H_
