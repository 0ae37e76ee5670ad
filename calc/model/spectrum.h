// Spectrum: what the diagonalisation of a run's generator U derives, handed
// as one value to every stage that reads it (the eigen checks, the matrix
// files, the population table, the stiffness warning). The diagonalisation
// (MxDiagonalize, or MxRecover for a stored one) fills it; the
// stages take it as an argument.
#ifndef ZOLVANE_CALC_MODEL_SPECTRUM_H_
#define ZOLVANE_CALC_MODEL_SPECTRUM_H_

#include <vector>

// Which solver made the spectrum; the stiffness warning names the remedy by
// it.
enum class SpectrumSolver {
  kNone,
  kAccurate,             // the factorised solver (rates in detailed balance)
  kLapackChosen,         // LAPACK chosen by --eigensolver lapack where the factorised
                         // solver would take the rates (dsyevd on S; dgeevx on U
                         // beside an absorbing state)
  kLapackNotReversible,  // dsyevd on S of rates without detailed balance
  kLapackGeneral,        // dgeevx on U beside an absorbing state, the transient
                         // states not in detailed balance
  kStored,               // read back by --recoverE
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
};

#endif  // ZOLVANE_CALC_MODEL_SPECTRUM_H_
