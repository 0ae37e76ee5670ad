// Populations p(t) = exp(U t) p0 with every entry to a few ulps relative, for
// any generator (reversible or not), by scaling and squaring without a single
// subtraction: the transition matrix of a tiny step by a series of
// non-negative terms, then repeated squaring in which every column is rebuilt
// from its accurately summed off-diagonal part, and the population columns
// updated by one product per level for the times whose binary digit of that
// level is set.
#ifndef ZOLVANE_PROPAGATOR_EXACT_PROPAGATOR_H_
#define ZOLVANE_PROPAGATOR_EXACT_PROPAGATOR_H_

#include <cstddef>
#include <functional>
#include <vector>

enum class PropagatorStatus {
  kOk,
  kNotFinite,    // a NaN, infinite or negative off-diagonal rate; no result
  kBadArgument,  // u or p0 of the wrong size, a negative or non-finite time
};

struct PropagatorOptions {
  // The first step tau0 is 2^-margin_bits over the largest exit rate or
  // less; the digits of a time below it are taken by the series on its
  // population column. Any margin gives the same populations to rounding: a
  // larger one costs one squaring per bit, a smaller one more series terms.
  int margin_bits = 10;
  // Off: every level is squared, also once the transition matrix no longer
  // changes (for tests of that stop).
  bool stop_when_stationary = true;
  // Off: plain squaring, without the rebuild of every column from its
  // off-diagonal sum. Only to show what the rebuild prevents.
  bool rebuild_columns = true;
  // Called whenever more of the leading times (in the order of `times`) have
  // their final populations, with their count; returning true ends the
  // propagation there (the rows after them are then not final). Times in
  // increasing order become final in that order, so a table can be printed,
  // and stopped, while the squaring goes on.
  std::function<bool(size_t final_times)> on_final;
};

struct PropagatorResult {
  // times.size() x n, row-major: row k holds p(times[k]).
  std::vector<double> populations;
  int squarings = 0;     // levels squared (the cost is about 2 n^3 flops each)
  int series_terms = 0;  // most terms of the start series in one column block
  // Level products E * V over all times (each n^2 multiply-adds per column).
  long long column_products = 0;
  // Leading rows of `populations` that are final: all of them unless
  // on_final ended the propagation.
  size_t final_times = 0;
};

// `u`: n x n row-major in the program's convention: element (i, j), i != j,
// the rate j -> i; the diagonal is ignored (the --useplusI shift included).
// `p0`: n entries, non-negative for the relative accuracy (others are
// propagated all the same). `times`: any order, each >= 0 and finite.
// Every time is taken exactly (a double is an integer multiple of a power of
// two, and so of the first step). Values below the smallest normal double
// (2.2e-308) keep only the bits a subnormal holds. Memory: two n x n
// matrices, the result and three n x 128 blocks.
PropagatorStatus PropagateExactly(int n, const std::vector<double>& u,
                                  const std::vector<double>& p0, const std::vector<double>& times,
                                  PropagatorResult& out,
                                  const PropagatorOptions& options = PropagatorOptions{});

#endif  // ZOLVANE_PROPAGATOR_EXACT_PROPAGATOR_H_
