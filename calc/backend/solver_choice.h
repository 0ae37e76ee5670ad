// Which solver makes a run's spectrum, decided once from the options and the
// rates: an arithmetic of --mlapack-method, or in double the factorised
// solver (with its quad-double fallback) for rates in detailed balance,
// LAPACK's symmetric solver on S, or LAPACK's general solver on U beside an
// absorbing state whose transient states lack detailed balance.
#ifndef ZOLVANE_CALC_BACKEND_SOLVER_CHOICE_H_
#define ZOLVANE_CALC_BACKEND_SOLVER_CHOICE_H_

#include <vector>

#include "calc/model/calc.h"
#include "calc/model/spectrum.h"

// U (calc.dim() x calc.dim(), after the ergodicity reduction) and p8 as the
// driver holds them. The double solvers: the factorised one unless
// --eigensolver lapack, except without an absorbing state on rates that do
// not hold detailed balance with p8 (LAPACK's symmetric solver); with
// --eigensolver lapack, LAPACK's symmetric solver, or beside an absorbing
// state its general one, named by whether the transient states are in
// detailed balance. Prints nothing.
SolverChoice ChooseSolver(const Calc& calc, const std::vector<double>& U,
                          const std::vector<double>& p8);

#endif  // ZOLVANE_CALC_BACKEND_SOLVER_CHOICE_H_
