// Spectrum: what the diagonalisation of a run's generator U derives, handed
// as one value to every stage that reads it (the eigen checks, the matrix
// files, the population table, the stiffness warning). The diagonalisation
// (MakeSpectrum in calc/backend/spectrum_stage.h over MxDiagonalize or
// an extended arithmetic, or MxRecover for a stored one) fills it; the
// stages take it as an argument.
#ifndef ZOLVANE_CALC_MODEL_SPECTRUM_H_
#define ZOLVANE_CALC_MODEL_SPECTRUM_H_

#include <memory>
#include <vector>

#include "base/run_options.h"

// Which solver made the spectrum; the stiffness warning names the remedy by
// it.
enum class SpectrumSolver {
  kNone,
  kAccurate,  // the factorised solver (rates in detailed balance)
  // LAPACK where the factorised solver is the remedy: chosen by --eigensolver
  // lapack (dsyevd on S; dgeevx on U beside an absorbing state whose
  // transient states are in detailed balance), or taken after the factorised
  // solver handed back rates it cannot take (dsyevd on S).
  kLapackInPlaceOfAccurate,
  kLapackNotReversible,  // dsyevd on S of rates without detailed balance
  kLapackGeneral,        // dgeevx on U beside an absorbing state, the transient
                         // states not in detailed balance
  kStored,               // read back by --recoverE
  kExtended,             // an arithmetic of --mlapack-method, or the quad-double
                         // fallback of the factorised solver
};

// The solver chosen for a run's spectrum (ChooseSolver in
// calc/backend/solver_choice.h), before it runs.
struct SolverChoice {
  // kAccurate, kLapackInPlaceOfAccurate, kLapackNotReversible or
  // kLapackGeneral in double; kExtended in `arithmetic`.
  SpectrumSolver solver = SpectrumSolver::kNone;
  // With kAccurate: the LAPACK solver that takes the rates when the
  // factorised one hands them back (NaN, a chain it cannot factor).
  SpectrumSolver declined = SpectrumSolver::kNone;
  // With kExtended the arithmetic that makes the spectrum; with kAccurate the
  // one that takes over when the factorised solver hits its sweep cap.
  Arithmetic arithmetic = Arithmetic::kDefault;
};

// For n states (n = Calc::dim() after the ergodicity reduction), P = diag(p8):
struct Spectrum {
  // n eigenvalues, descending, the stationary ones clamped to 0. Once the
  // diagonalisation has returned they carry no --useplusI shift (the checks
  // and files inside it see the shifted values).
  std::vector<double> evals;
  // n x n, row-major; column k belongs to evals[k]. Without an absorbing
  // state the orthonormal eigenvectors of S = P^-1/2 U P^1/2 (those of U are
  // P^1/2 times them); with one the right eigenvectors of U itself, each
  // column of unit 2-norm.
  std::vector<double> evecs;
  // The diagonals of P^1/2 and P^-1/2, n entries each, with which the time
  // evolution turns the eigenvectors of S into those of U and U^T. With an
  // absorbing state only the factorised solver sets them, from the transient
  // equilibrium (inv_sqrt_p8 0 at the absorbing state); empty otherwise.
  std::vector<double> sqrt_p8;
  std::vector<double> inv_sqrt_p8;
  SpectrumSolver solver = SpectrumSolver::kNone;
  // The eigensolver that ran, as the -v prints name it.
  const char* routine = "";
  // A decomposition made in an extended arithmetic (solver kExtended), held
  // in that arithmetic's own number type, which only calc/extended/ reads
  // (ExtendedTable); evals, evecs and the scalings above stay empty then.
  // `bits`: the precision of MPFR and GMP it was made with.
  struct Extended {
    Arithmetic arithmetic = Arithmetic::kDefault;
    int bits = 0;
    std::shared_ptr<const void> decomposition;
  } extended;
  // --dumpX wrote the eigenvalues, the whole product of the run: no table
  // follows, and the run ends successfully.
  bool dumped_only = false;
};

#endif  // ZOLVANE_CALC_MODEL_SPECTRUM_H_
