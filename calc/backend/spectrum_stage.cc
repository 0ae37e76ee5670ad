#include "calc/backend/spectrum_stage.h"

#include "calc/backend/solver_choice.h"
#include "calc/extended/extended.h"
#include "calc/spectrum/diagonalize.h"
#include "calc/spectrum/stiffness.h"
#include "calc/spectrum/stored_decomposition.h"
#include "calc/table/iterate.h"

Status MakeSpectrum(Calc& calc, std::vector<double>& U, const std::vector<double>& p8,
                    const std::vector<QorpRecord>* energies, Spectrum& spectrum) {
  const SolverChoice choice = ChooseSolver(calc, U, p8);
  if (choice.solver == SpectrumSolver::kExtended) {
    return ExtendedDiagonalize(choice.arithmetic, calc, U, energies, spectrum);
  }
  // Measured before the solver takes U as its work space.
  const double spread = RateSpread(U, calc.dim());
  SpectrumOutcome outcome = SpectrumOutcome::kDone;
  if (Status status = MxDiagonalize(calc, U, p8, choice, spectrum, outcome); !status.ok()) {
    return status;
  }
  if (outcome == SpectrumOutcome::kUseQuadDouble) {
    // U is whole: the solver warned and handed it over.
    spectrum = Spectrum{};
    return ExtendedDiagonalize(choice.arithmetic, calc, U, energies, spectrum);
  }
  if (spectrum.dumped_only) return Status{};
  WarnIfSpectrumUnresolved(calc, spectrum, spread, p8);
  return Status{};
}

Status RecoverSpectrum(const Calc& calc, const std::vector<double>& U,
                       const std::vector<double>& p8, Spectrum& spectrum) {
  if (Status status = MxRecover(calc, p8, spectrum); !status.ok()) return status;
  WarnIfSpectrumUnresolved(calc, spectrum, RateSpread(U, calc.dim()), p8);
  return Status{};
}

Status PopulationTable(Calc& calc, Spectrum& spectrum, std::vector<double>& p0,
                       const std::vector<double>& p8) {
  if (spectrum.solver == SpectrumSolver::kExtended) return ExtendedTable(calc, spectrum, p0);
  return MxIterate(calc, spectrum, p0, p8);
}
