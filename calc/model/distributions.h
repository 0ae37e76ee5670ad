// The distributions of a run: the start p0 and the equilibrium p8, from the
// energies of the minima, from local balance of U, or from the elimination
// of the states for any irreducible chain.
#ifndef ZOLVANE_CALC_MODEL_DISTRIBUTIONS_H_
#define ZOLVANE_CALC_MODEL_DISTRIBUTIONS_H_

#include <cstddef>
#include <functional>
#include <vector>

#include "base/status.h"
#include "calc/model/calc.h"
#include "input/qorp_file.h"

// p0 from --p0 (state 1 by default); fails on a state beyond dim.
Status MxMakeP0(const Calc& calc, std::vector<double>& p0);
// Returns p8 before any equilibrium stage filled it: dim zeros.
std::vector<double> MxAllocate(const Calc& calc);
// Fail on too few minima, or rates that local balance cannot satisfy (a
// chain that is not ergodic prints what it found and fails with no message).
Status MxEquilibriumFromEnergies(const Calc& calc, const std::vector<QorpRecord>& records,
                                 std::vector<double>& p8);
Status MxEquilibriumFromBalance(const Calc& calc, const std::vector<double>& U,
                                std::vector<double>& p8);
// p8 of any irreducible chain, with or without detailed balance, by the
// subtraction-free elimination of the states (spectral/gth_factor.h):
// right to rounding at any spread of the rates. Fails on a chain that is
// not irreducible or on rates that are not finite and non-negative.
Status MxEquilibriumByElimination(const Calc& calc, const std::vector<double>& U,
                                  std::vector<double>& p8);
// The walk of local balance for callers that do not hold U whole: lines(c)
// gives the rates into state c and the rates out of it, each indexed by the
// other state (valid until the next call).
struct RatesAtState {
  const double* into;  // into[j * into_stride] = U(c, j), the rate j -> c
  size_t into_stride;
  const double* out_of;  // out_of[j * out_stride] = U(j, c), the rate c -> j
  size_t out_stride;
};
Status MxEquilibriumFromBalanceLines(const Calc& calc,
                                     const std::function<RatesAtState(int c)>& lines,
                                     std::vector<double>& p8);

#endif  // ZOLVANE_CALC_MODEL_DISTRIBUTIONS_H_
