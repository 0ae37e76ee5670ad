// The populations at chosen times from a Spectrum:
// p(t) = CL * (exp(evals * t / T) .* c) with c = CR * p0. The population table
// (MxIterate) and the Python module both evaluate through these
// functions, so they give the same numbers.
//
// And the table loop itself, WalkTableBlocks, written once for every scalar
// and every way of evaluating a block of time points: the double table here,
// the extended arithmetics' (calc/extended/extended_pipeline.h) and the
// distributed run's all walk the axis through it.
#ifndef ZOLVANE_CALC_TABLE_POPULATIONS_H_
#define ZOLVANE_CALC_TABLE_POPULATIONS_H_

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <type_traits>
#include <vector>

#include "base/run_options.h"
#include "base/status.h"
#include "calc/model/calc.h"
#include "calc/model/scalar_traits.h"
#include "calc/model/spectrum.h"
#include "calc/table/iterate.h"
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
// returned. `count` receives the number of axis points evaluated. The table
// loop below (WalkTableBlocks) with EvolveBlock as the evaluation.
Status WalkPopulationTable(const Calc& calc, const Evolution& e, std::vector<double>& p0,
                           const std::vector<double>& p8, const TableWalk::Line& line, int& count);

// One block of time points as its evaluation hands it to the table loop.
template <class T>
struct PopulationBlock {
  // Line k's n populations at pops[k * n], in T. The loop reads each line in
  // double; a double line is handed on in place, where --num-err R may change
  // it.
  T* pops = nullptr;
  // Line k's flags at out_of_range[k * n]: mode i's exponential left the
  // range of a double at that time. nullptr when the evaluation has told the
  // walk itself.
  const char* out_of_range = nullptr;
};

// Whether line `pops` (in T; `p` the same line as the table shows it) has
// reached the equilibrium p8: every population within 1e-6 of it, judged in
// T. NaN never has.
template <class T>
bool ReachedEquilibrium(const T* p8, const T* pops, const double* p, size_t n) {
  using std::abs;
  const T tolerance(1e-6);
  for (size_t i = 0; i < n; ++i) {
    // --num-err R may have set a negative population to 0 in p.
    const T x = p[i] == 0.0 ? T(0) : pops[i];
    if (!(abs(p8[i] - x) < tolerance)) return false;
  }
  return true;
}

// Where a table's lines are taken: `work` runs there and its value is every
// caller's. A serial table takes them in place; a distributed one on the
// rank that prints.
struct TakeLinesInPlace {
  template <class Work>
  int64_t operator()(Work&& work) const {
    return work();
  }
};

// The table loop: the walk of the time axis of calc.opts (TableWalk) with
// `line` for each line, in blocks of at most `block` time points. p0 is the
// line at time 0 (when --t0 is 0) and p8 (n entries, in T) the equilibrium
// that ends the table. `evaluate(times, walk)` returns the populations of
// the block's times (PopulationBlock<T>), valid until its next call; it may
// report modes out of range to `walk` itself. `take_lines(work)` runs the
// part that takes the lines, and starts and finishes the walk (a
// TakeLinesInPlace or the like). `count` receives the number of axis points
// taken; returns the first failure of `line`.
template <class T, class Evaluate, class TakeLines = TakeLinesInPlace>
Status WalkTableBlocks(const Calc& calc, int n, const TableWalk::Line& line, double* p0,
                       const T* p8, size_t block, Evaluate&& evaluate, int& count,
                       TakeLines&& take_lines = {}) {
  const RunOptions& opts = calc.opts;
  const size_t nn = static_cast<size_t>(n);
  TableWalk walk(opts, FirstTableTime(calc), n, line);
  take_lines([&]() -> int64_t {
    walk.Start(p0);
    return 0;
  });
  std::vector<double> times;
  // A line of another type is shown from a copy in double.
  std::vector<double> shown(std::is_same_v<T, double> ? 0 : nn);
  PopulationBlock<T> populations;
  // The lines of the block in turn; 1 once one has reached p8.
  auto take_block = [&]() -> int64_t {
    for (size_t k = 0; k < times.size(); ++k) {
      T* pops = populations.pops + k * nn;
      if (populations.out_of_range != nullptr) {
        const char* flags = populations.out_of_range + k * nn;
        for (size_t i = 0; i < nn; ++i) {
          if (flags[i]) walk.OutOfRange(i, times[k] / opts.times);
        }
      }
      double* p = nullptr;
      if constexpr (std::is_same_v<T, double>) {
        p = pops;
      } else {
        for (size_t i = 0; i < nn; ++i) shown[i] = ScalarTraits<T>::ToDouble(pops[i]);
        p = shown.data();
      }
      walk.Take(times[k], p);
      if (!walk.status().ok()) return 0;
      if (ReachedEquilibrium(p8, pops, p, nn)) return 1;
    }
    return 0;
  };
  while (walk.NextBlock(times, block)) {
    populations = evaluate(times, walk);
    walk.Converged(take_lines(take_block) != 0);
  }
  count = static_cast<int>(take_lines([&]() -> int64_t { return walk.Finish(); }));
  return walk.status();
}

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
