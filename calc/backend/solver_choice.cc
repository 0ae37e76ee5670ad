#include "calc/backend/solver_choice.h"

#include "calc/model/detailed_balance.h"

SolverChoice ChooseSolver(const Calc& calc, const std::vector<double>& U,
                          const std::vector<double>& p8) {
  const RunOptions& opts = calc.opts;
  const int n = calc.dim();
  if (opts.mlapack_method != Arithmetic::kDefault) {
    return {SpectrumSolver::kExtended, SpectrumSolver::kNone, opts.mlapack_method};
  }
  const bool absorbing = calc.numbering().absorbing_state != 0;
  // The factorised solver hands back rates it cannot take (NaN, a chain it
  // cannot factor) to the LAPACK solver of the same shape; past its sweep
  // cap quad-double takes over.
  const SolverChoice accurate = {
      SpectrumSolver::kAccurate,
      absorbing ? SpectrumSolver::kLapackGeneral : SpectrumSolver::kLapackInPlaceOfAccurate,
      Arithmetic::kQuadDouble};
  if (opts.eigensolver != Eigensolver::kLapack) {
    // Beside an absorbing state the solver tests the transient states'
    // balance itself, against the equilibrium its factor finds.
    if (absorbing || HoldsDetailedBalance(U, p8, n)) return accurate;
    return {SpectrumSolver::kLapackNotReversible};
  }
  if (absorbing && !TransientStatesHoldDetailedBalance(U, n)) {
    return {SpectrumSolver::kLapackGeneral};
  }
  return {SpectrumSolver::kLapackInPlaceOfAccurate};
}
