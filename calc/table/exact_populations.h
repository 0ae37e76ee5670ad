// The population table of rates without detailed balance: the populations
// of the exact propagator (propagator/exact_propagator.h) on the table's
// time axis, with the table's checks, convergence and closing lines; and the
// propagator's populations at chosen times as a stage, for --exponent too.
#ifndef ZOLVANE_CALC_TABLE_EXACT_POPULATIONS_H_
#define ZOLVANE_CALC_TABLE_EXACT_POPULATIONS_H_

#include <vector>

#include "base/status.h"

// Time points handed to the propagator at once: each batch repeats the
// squarings, and the populations of a batch take n doubles per point (32 MB
// at n = 1000); the default axis to t8 = 1e30 has about 3600 points.
constexpr int kExactBatch = 4096;

// Row k of `populations` (times.size() x n, row-major) becomes p(times[k]) =
// exp(G times[k] / time_unit) p0, G the generator of the n x n U in the
// program's layout (its diagonal, the --useplusI shift included, is not
// read). `squarings` adds the levels the propagator squared. Fails on rates
// that are NaN, infinite or negative.
Status ExactPopulations(const std::vector<double>& U, int n, const std::vector<double>& p0,
                        const std::vector<double>& times, double time_unit,
                        std::vector<double>& populations, int& squarings);

#endif  // ZOLVANE_CALC_TABLE_EXACT_POPULATIONS_H_
