// Subtraction-free (GTH) factorisation of the generator of a reversible
// Markov chain. Eliminating the states one at a time, with every pivot a
// fresh sum of the remaining exit rates and every update a sum of
// non-negative terms, keeps each entry accurate to a few ulps at any spread
// of the rates; the factor X then carries the whole spectrum of
// S = P^-1/2 U P^1/2 (P = diag(p8)) as -S = scale * X X^T, and the
// elimination yields p8 by back-substitution without cancellation.
#ifndef ZOLVANE_SPECTRAL_GTH_FACTOR_H_
#define ZOLVANE_SPECTRAL_GTH_FACTOR_H_

#include <functional>
#include <vector>

// Outcome of the spectral kernels; every kernel returns one and never prints
// or ends the run.
enum class SpectrumStatus {
  kOk,
  kSweepCapHit,  // the Jacobi sweeps hit their cap; the result is the last iterate
  kReducible,    // a zero pivot before the last step: the chain is not irreducible
  kNotFinite,    // a NaN, infinite or negative rate
  kRejected,     // the caller's test of the equilibrium turned the rates down
};

struct GthFactor {
  int n = 0;
  // order[s] = the state eliminated at step s: increasing equilibrium
  // population, so the states of high energy go first.
  std::vector<int> order;
  // The rates were divided by `scale` (the largest rate) before the
  // elimination, so that products of rates neither overflow nor underflow.
  double scale = 1.0;
  // Equilibrium, by state; sums to 1. With a sink: the equilibrium of the
  // other states among themselves (the chain without its leak), 0 at the sink.
  std::vector<double> p8;
};

// Logarithms of the equilibrium weights that local balance gives along a
// breadth-first tree of two-way rates: log p_j - log p_c = log k(c -> j) -
// log k(j -> c) for each tree edge c - j. Exact up to rounding when the rates
// obey detailed balance; only an estimate otherwise. Each component of the
// two-way graph has its own root at 0; `components` receives their count.
// `q` as for EliminationOrder. O(n^2).
std::vector<double> LocalBalanceLogWeights(int n, const double* q, int* components = nullptr);

// The same over rates fetched state by state: lines(c) is called once for
// each state c the search expands, in the order it expands them, and
// returns the rates into c and out of c (element j: the rate j -> c, the
// rate c -> j) with their strides; the pointers need to stay valid until
// the next call. For rates held by other processes (zolvane-mpi).
struct BalanceLines {
  const double* into;
  int into_stride;
  const double* out_of;
  int out_of_stride;
};
std::vector<double> LocalBalanceLogWeights(int n, const std::function<BalanceLines(int c)>& lines,
                                           int* components = nullptr);

// EliminationOrder from the weights LocalBalanceLogWeights gives.
std::vector<int> EliminationOrderOf(const std::vector<double>& log_weights);

// Static elimination order: the states sorted by increasing equilibrium
// population as local balance along a breadth-first tree of two-way rates
// estimates it (in logarithms, so no spread of the rates overflows). Any
// order gives an accurate factor; this one keeps the most populated state
// last, where p8 starts its back-substitution. `q` is the rates matrix
// column-major, q[j * n + i] = rate i -> j (the program's U row-major).
std::vector<int> EliminationOrder(int n, const double* q);

// Factorises the rates held in `u`: n x n row-major, element (i, j), i != j,
// the rate j -> i (column j holds the rates out of j); the diagonal is
// ignored. `u` is work space and is overwritten by the factor: read
// column-major (X(r, s) at u[s * n + r]), columns s = 0 .. n-2 of X are the
// n-1 columns of an n x (n-1) lower trapezoidal matrix whose rows are the
// states in elimination order (row r is state order[r]); rows above the
// diagonal hold zeros; column n-1 is left as zeros too.
// `block` is the panel width of the blocked elimination (1: unblocked).
// Returns kNotFinite for NaN, infinite or negative off-diagonal rates (u is
// then left as it was), kReducible on a zero pivot before the last step
// (u undefined), kOk otherwise. Rates need not obey detailed balance: p8 is
// right for any irreducible chain; X is then still defined, but X X^T is not
// similar to U.
// `sink`: the last state is absorbing (nothing leaves it; the caller sees to
// that). It is eliminated last, so the pivots of the others include their
// rates into it and all n-1 of them are positive: then -S of the transient
// block (its leak on the diagonal) is scale * X X^T with the first n-1 rows
// of X, and row n-1 is zero. p8 is then the transient states' equilibrium
// without the leak, from the pivots without the sink's term; it needs the
// transient states to form one irreducible chain (kReducible otherwise).
SpectrumStatus GthFactorize(int n, double* u, GthFactor& factor, int block = 64, bool sink = false);

#endif  // ZOLVANE_SPECTRAL_GTH_FACTOR_H_
