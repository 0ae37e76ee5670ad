// Populations p(t) = exp(U t) p0 with every entry to a few ulps relative, for
// any generator (reversible or not), by scaling and squaring without a single
// subtraction: the transition matrix of a tiny step by a series of
// non-negative terms, then repeated squaring in which every column is rebuilt
// from its accurately summed off-diagonal part, and the population columns
// updated by one product per level for the times whose binary digit of that
// level is set.
#ifndef ZOLVANE_PROPAGATOR_EXACT_PROPAGATOR_H_
#define ZOLVANE_PROPAGATOR_EXACT_PROPAGATOR_H_

#include <vector>

enum class PropagatorStatus {
  kOk,
  kNotFinite,    // a NaN, infinite or negative off-diagonal rate; no result
  kBadArgument,  // p0 of the wrong length, a negative or non-finite time
};

struct PropagatorResult {
  // times.size() x n, row-major: row k holds p(times[k]).
  std::vector<double> populations;
  int squarings = 0;  // levels squared (the cost is about 2 n^3 flops each)
};

// `u`: n x n row-major in the program's convention: element (i, j), i != j,
// the rate j -> i; the diagonal is ignored (the --useplusI shift included).
// `p0`: n non-negative entries. `times`: any order, each >= 0.
PropagatorStatus PropagateExactly(int n, const std::vector<double>& u,
                                  const std::vector<double>& p0, const std::vector<double>& times,
                                  PropagatorResult& out);

#endif  // ZOLVANE_PROPAGATOR_EXACT_PROPAGATOR_H_
