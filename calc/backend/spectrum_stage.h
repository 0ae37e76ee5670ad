// The spectrum of a run as one value: made by the solver ChooseSolver picks
// (calc/backend/solver_choice.h), or read back by --recoverE; and the
// population table from it, in the arithmetic that made it. The driver holds
// the Spectrum between the two; nothing in it points back at the run.
#ifndef ZOLVANE_CALC_BACKEND_SPECTRUM_STAGE_H_
#define ZOLVANE_CALC_BACKEND_SPECTRUM_STAGE_H_

#include <vector>

#include "base/status.h"
#include "calc/model/calc.h"
#include "calc/model/spectrum.h"
#include "input/qorp_file.h"

// Symmetrisation and eigen-decomposition, with their messages, warnings and
// files, by the solver ChooseSolver picks; when the factorised solver hits
// its sweep cap, the arithmetic the choice names for it (quad-double) makes
// the spectrum instead. A double spectrum that double cannot resolve gets
// the warning that names the remedy. U (calc.dim() x calc.dim()) is the solvers'
// work space: undefined on return. `energies`: the local minima whose
// Boltzmann weights are p8 (method A on unchanged rates), or nullptr when p8
// comes from the balance of U. spectrum.dumped_only when --dumpX wrote the
// eigenvalues. Fails as Calc::MxDiagonalize and ExtendedDiagonalize do; what
// was printed stays printed.
Status MakeSpectrum(Calc& calc, std::vector<double>& U, const std::vector<double>& p8,
                    const std::vector<QorpRecord>* energies, Spectrum& spectrum);

// The decomposition --recoverE stored (Calc::MxRecover), used in double
// whatever made it, with the warning where double does not resolve it on
// these rates (U, p8). Fails as MxRecover does.
Status RecoverSpectrum(const Calc& calc, const std::vector<double>& U,
                       const std::vector<double>& p8, Spectrum& spectrum);

// The population table from p0, in the arithmetic that made `spectrum`
// (Calc::MxIterate on a double one, which consumes its eigenvectors;
// ExtendedTable on an extended one). Fails as they do.
Status PopulationTable(Calc& calc, Spectrum& spectrum, std::vector<double>& p0,
                       const std::vector<double>& p8);

#endif  // ZOLVANE_CALC_BACKEND_SPECTRUM_STAGE_H_
