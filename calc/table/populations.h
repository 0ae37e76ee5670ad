// The populations at chosen times from a Spectrum:
// p(t) = CL * (exp(evals * t / T) .* c) with c = CR * p0. The population table
// (MxIterate) and the Python module both evaluate through these
// functions, so they give the same numbers.
#ifndef ZOLVANE_CALC_TABLE_POPULATIONS_H_
#define ZOLVANE_CALC_TABLE_POPULATIONS_H_

#include <cmath>
#include <cstddef>
#include <functional>
#include <vector>

#include "base/run_options.h"
#include "base/status.h"
#include "calc/model/calc.h"
#include "calc/model/spectrum.h"
#include "calc/table/table_walk.h"

struct Evolution {
  int n = 0;
  std::vector<double> CL;    // n x n, row-major: coefficients to populations
  std::vector<double> c;     // CR * p0
  std::vector<double> rate;  // evals / --times: the exponents per unscaled time
};

// From spectrum.evals and its scalings, the eigenvectors `evecs`
// (spectrum.evecs or a copy, taken over: CL is formed in their place) and p0
// (dim entries), into `e`. With an absorbing state CR is the inverse of the eigenvectors (a
// singular one fails), unless the factorised solver made them: c then comes
// from its transient weights. Verbose runs print the CL * CR checks.
Status MakeEvolution(const Calc& calc, const Spectrum& spectrum, std::vector<double>&& evecs,
                     const std::vector<double>& p0, Evolution& e);

// Populations at times[0..count): `pops` receives count contiguous n-vectors;
// out_of_range[k * n + i] is set when exp(rate_i * t_k) left the range of a
// double. `w` is count * n work space.
void EvolveBlock(const Evolution& e, const double* times, size_t count, double* w, double* pops,
                 char* out_of_range);

// The table's walk over the time axis of the options (--t0, --t8, --tinc):
// the line at time 0 when --t0 is 0 (p0 itself), then the axis in blocks until
// every population is within 1e-6 of p8, then a closing line at t8 with the
// last populations when the table converged before it. `line` gets each time
// and its n populations (it may change them: the next convergence test sees
// what it left); the first line that fails ends the walk, and its failure is
// returned. `count` receives the number of axis points evaluated.
Status WalkPopulationTable(const Calc& calc, const Evolution& e, std::vector<double>& p0,
                           const std::vector<double>& p8, const TableWalk::Line& line, int& count);

// The checks of one table line in the --num-err mode of the options: a
// population below -0.01 or a sum of |p| off 1 by more than 0.05 fails in
// mode H (and a sum of 0 or not finite in every mode); mode R sets negative
// entries to 0, modes I and R warn on stderr. `sum` receives the sum of |p|.
Status CheckPopulationLine(const RunOptions& opts, double* p, int n, double t, double& sum);

// The value a table line shows for population x, `sum` from
// CheckPopulationLine.
inline double TableValue(char num_err, double x, double sum) {
  return num_err == 'R' ? std::fabs(x) / sum : std::fabs(x);
}

#endif  // ZOLVANE_CALC_TABLE_POPULATIONS_H_
