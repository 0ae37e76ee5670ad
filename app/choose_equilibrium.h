// Choosing the equilibrium p8 of a run, and with it how the table is made:
// the Boltzmann weights of the minima, the balance of the rates, or the
// elimination for rates without detailed balance. The command line and the
// Python module choose through it.
#ifndef ZOLVANE_APP_CHOOSE_EQUILIBRIUM_H_
#define ZOLVANE_APP_CHOOSE_EQUILIBRIUM_H_

#include <vector>

#include "base/status.h"
#include "calc/model/calc.h"
#include "input/qorp_file.h"

// What ChooseEquilibrium decided.
struct EquilibriumChoice {
  std::vector<double> p8;  // calc.dim() entries
  // The local minima whose Boltzmann weights are p8 (the caller's records,
  // cut to the kept states), or nullptr when p8 comes from the rates.
  const std::vector<QorpRecord>* energies = nullptr;
  // The rates lack detailed balance and the table is the exact propagator's.
  bool exact_table = false;
};

// The equilibrium of U after the ergodicity reduction. It must be that of the
// process that is integrated: the Boltzmann weights of `records` (cut to the
// kept states here) for method A on rates that are not `reshaped` (a
// rescale that no longer follows the weights), otherwise the balance of U.
//
// With `settle_balance` (the run's own choice) two more decisions follow. A
// one-way transition leaves no local balance at all: such rates, when the
// chain is irreducible, take the elimination's equilibrium (which needs none)
// unless --eigensolver lapack. Rates without detailed balance (beyond the
// rounding of their digits) have no symmetric form: their equilibrium comes
// from the elimination and their table from the exact propagator
// (exact_table), unless --eigensolver lapack keeps the LAPACK path (with a
// warning) or --exponent its own; --mlapack-method and --recoverE cannot take
// them, nor --dumpE/--dumpX, which the propagator makes no files for.
// Without `settle_balance` p8 is the weights or the balance, failing as they
// do. Fails with the stage's message or the refusal's (status 1).
Status ChooseEquilibrium(Calc& calc, const std::vector<double>& U, std::vector<QorpRecord>& records,
                         bool reshaped, bool settle_balance, EquilibriumChoice& choice);

#endif  // ZOLVANE_APP_CHOOSE_EQUILIBRIUM_H_
