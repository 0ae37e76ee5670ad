// Whether the rates of U obey detailed balance with respect to p8: the one
// condition under which the factorised eigensolver gives the spectrum of U.
#ifndef ZOLVANE_CALC_MODEL_DETAILED_BALANCE_H_
#define ZOLVANE_CALC_MODEL_DETAILED_BALANCE_H_

#include <vector>

// Relative mismatch of the two flows of a pair that still counts as balance:
// rates read from files are rounded to their printed digits, and a
// mismatch that small is far below what any table shows.
constexpr double kBalanceTolerance = 1e-6;

// True when every p8 entry is positive and finite, every off-diagonal rate
// of the n x n U (element (i, j) the rate j -> i) is finite and
// non-negative, and for every pair the flows U(i, j) p8[j] and U(j, i) p8[i]
// are both zero or agree within kBalanceTolerance relative. The flows are
// compared in logarithms where a product would leave the normal range, so
// no spread of the rates or of p8 decides the answer. O(n^2).
bool HoldsDetailedBalance(const std::vector<double>& U, const std::vector<double>& p8, int n);

// The test of one pair i, j of HoldsDetailedBalance: r_ji the rate j -> i,
// r_ij the rate i -> j, p_j and p_i (checked positive by the caller) their
// equilibrium weights.
bool PairHoldsDetailedBalance(double r_ji, double p_j, double r_ij, double p_i);

// The rates among the states but the last, (n-1) x (n-1) in U's layout
// (row-major, element (i, j) the rate j -> i); empty when n < 2 or when a
// rate leaves the last state, which then is not absorbing.
std::vector<double> TransientBlock(const std::vector<double>& U, int n);

// Whether the states but the last (the absorbing state of the run) obey
// detailed balance among themselves with the weights local balance gives
// them, form one chain of two-way rates, and receive no rate from the last:
// the conditions under which the factorised solver takes an absorbing-state
// run. O(n^2).
bool TransientStatesHoldDetailedBalance(const std::vector<double>& U, int n);

// The largest relative mismatch max |a - b| / max(a, b) of the two flows of
// a pair, a = U(i, j) p8[j] and b = U(j, i) p8[i], over all pairs with a
// rate (1 for a rate without its reverse, or a NaN or negative rate): what
// HoldsDetailedBalance compares with kBalanceTolerance, for messages.
double BalanceDeviation(const std::vector<double>& U, const std::vector<double>& p8, int n);

// The same for the states but the last among themselves, with the weights
// local balance gives them (TransientStatesHoldDetailedBalance); 1 when they
// have none.
double TransientBalanceDeviation(const std::vector<double>& U, int n);

// Largest over smallest entry of p8 (1 when p8 has no positive entry).
double EquilibriumSpread(const std::vector<double>& p8);

#endif  // ZOLVANE_CALC_MODEL_DETAILED_BALANCE_H_
