// What the module computes on a chain beyond the program's stages: first
// passage times into a set, committors and the equilibrium of any
// irreducible chain, each by state elimination without subtractions
// (elimination/, spectral/gth_factor.h), so that values spanning many decades
// keep their relative accuracy.
//
// Convention: `u` is the program's generator layout, n x n row-major,
// u[j * n + i] the rate from state i to state j (i != j); the diagonal is
// never read. States are 0-based.
#ifndef ZOLVANE_PYTHON_CHAIN_SOLVES_H_
#define ZOLVANE_PYTHON_CHAIN_SOLVES_H_

#include <cstddef>
#include <vector>

// in_set[i] != 0 for the states of a set.
using StateSet = std::vector<char>;

// The states from which a path of positive rates leads into `set` (the set
// itself included).
StateSet StatesReaching(const std::vector<double>& u, size_t n, const StateSet& set);

// Mean first passage times from every state into `target` (0 on it):
// infinity from a state whose walk misses the target with a positive
// probability (it can enter states that never reach the target).
std::vector<double> MeanTimesInto(const std::vector<double>& u, size_t n, const StateSet& target);

// The probability, from every state, of entering `to` before `avoid` (1 on
// `to`, 0 on `avoid`); NaN from states that reach neither. The two sets
// must be disjoint and not empty.
std::vector<double> HittingProbabilities(const std::vector<double>& u, size_t n, const StateSet& to,
                                         const StateSet& avoid);

// The rates of the time-reversed chain, k~(i -> j) = p8[j] k(j -> i) / p8[i],
// in the same layout; `p8` positive.
std::vector<double> ReversedRates(const std::vector<double>& u, size_t n,
                                  const std::vector<double>& p8);

// The equilibrium of an irreducible chain (GTH elimination), reversible or
// not; false when the chain is reducible or a rate is not finite.
bool StationaryDistribution(const std::vector<double>& u, size_t n, std::vector<double>& p8);

#endif  // ZOLVANE_PYTHON_CHAIN_SOLVES_H_
