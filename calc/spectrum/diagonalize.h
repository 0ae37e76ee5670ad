// Symmetrisation and diagonalisation of U: the factorised solver for rates in
// detailed balance, LAPACK's symmetric or general solver otherwise.
#ifndef ZOLVANE_CALC_SPECTRUM_DIAGONALIZE_H_
#define ZOLVANE_CALC_SPECTRUM_DIAGONALIZE_H_

#include <vector>

#include "base/status.h"
#include "calc/model/calc.h"
#include "calc/model/spectrum.h"

enum class SpectrumOutcome {
  kDone,
  kUseLapack,      // (MxDiagonalizeAccurate) the factorised solver cannot take the rates
  kUseQuadDouble,  // it hit its sweep cap: U is unchanged, the run goes on in QD
};

// Fills `spectrum` with the double solver `choice` names (ChooseSolver in
// calc/backend/solver_choice.h; not kExtended): the factorised solver, or
// choice.declined when it hands the rates back; dsyevd on S or dgeevx on
// U otherwise. U is overwritten (work space), except on kUseQuadDouble.
// `outcome` says how the stage ended when it did not fail (kDone also
// when --dumpX stopped it: spectrum.dumped_only). Fails on rates
// whose symmetrisation meets NaN (kExitInconsistentRates), a solver that
// gives up, or a matrix file that cannot be written; what the stage
// printed before stays printed.
Status MxDiagonalize(Calc& calc, std::vector<double>& U, const std::vector<double>& p8,
                     const SolverChoice& choice, Spectrum& spectrum, SpectrumOutcome& outcome);
// The factorised solver's part of MxDiagonalize; U stays unchanged. On
// kDone with --useplusI, spectrum.evals carry the shift and `unshifted`
// receives them without it, computed whole (1 + lambda - 1 would lose
// every slow lambda).
Status MxDiagonalizeAccurate(Calc& calc, std::vector<double>& U, const std::vector<double>& p8,
                             Spectrum& spectrum, std::vector<double>& unshifted,
                             SpectrumOutcome& outcome);
// The solvers fill spectrum.evals and spectrum.evecs only. Symmetric
// solver: dsyevd, or dsyevr when dsyevd's work space cannot be had. S is
// consumed. evals come out ascending. Both solvers fail on NaN input and
// when LAPACK gives up.
Status MxEigenSymmetric(const Calc& calc, std::vector<double>& S, Spectrum& spectrum);
Status MxEigenGeneral(const Calc& calc, std::vector<double>& U, Spectrum& spectrum);
// The eigenvectors of a chain with an absorbing state made ready for the
// time evolution (calc/spectrum/absorbing_evecs.h).
void MxCompleteEvecs(const Calc& calc, Spectrum& spectrum);

#endif  // ZOLVANE_CALC_SPECTRUM_DIAGONALIZE_H_
