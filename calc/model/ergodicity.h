// Ergodicity reduction: the states the initial population can never reach
// are removed, for the serial U (MxErgodicity) and for runs that keep U
// elsewhere and reduce it themselves (zolvane-mpi).
#ifndef ZOLVANE_CALC_MODEL_ERGODICITY_H_
#define ZOLVANE_CALC_MODEL_ERGODICITY_H_

#include <cstddef>
#include <functional>
#include <vector>

#include "base/status.h"
#include "calc/model/calc.h"
#include "calc/model/state_numbering.h"

// Removes the states the initial population cannot reach; replaces U and
// p0 when it reduces, and renumbers calc (the new dimension, the kept
// states, the absorbed minimum). When one state is left, the caller prints
// its whole table (PrintOneStateTable, calc/table/iterate.h). Fails as
// MxFindUnreached does, or when the absorbing state is out of reach.
Status MxErgodicity(Calc& calc, std::vector<double>& U, std::vector<double>& p0, int n);

// Its search, for callers that do not hold U whole: out_of(d) gives the
// rates out of state d, rates[k * stride] = U(k, d) (valid until the next
// call). Fails when p0 is 0 everywhere or a populated state lies outside
// what the first populated state reaches. `kept` stays empty when every
// state is reached; otherwise it receives the reached states, ascending, and
// `reached` 1 for each of them.
struct RatesOutOf {
  const double* rates;
  size_t stride;
};
Status MxFindUnreached(const std::vector<double>& p0, int n,
                       const std::function<RatesOutOf(int d)>& out_of, std::vector<char>& reached,
                       std::vector<int>& kept);

// After U and p0 were reduced from n states to the numbering.kept.size()
// states MxFindUnreached kept: renumbers calc to `numbering` and warns (not
// with --quiet).
void EndErgodicityReduction(Calc& calc, int n, StateNumbering numbering);

#endif  // ZOLVANE_CALC_MODEL_ERGODICITY_H_
